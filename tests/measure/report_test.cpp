// The CSV and JSON forms of a report against hand-written expectations: a
// text that would split a row or start a spreadsheet formula is quoted and
// prefixed in CSV, numbers never are, and JSON carries every text unchanged.
#include "cli/report.h"

#include <QJsonDocument>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Written(const cli::Report &r, bool json)
{
    std::FILE *f = std::tmpfile();
    EXPECT_NE(f, nullptr);
    r.Write(json, f);
    std::rewind(f);
    std::string text;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        text.append(buf, n);
    std::fclose(f);
    return text;
}

} // namespace

TEST(Report, CsvQuotesLineBreaksAndDefusesFormulasInTextsOnly)
{
    cli::Report r("devices");
    r.SetColumns({"name", "level", "other"});
    r.AddRow({"=1+2\rinjected", -20.5, "-x"});
    r.AddRow({"@SUM(A1)", 0.25, "say \"hi\", then\ngo"});
    r.AddRow({"+49 30", -0.0001, "plain"});
    EXPECT_EQ(Written(r, false), "name,level,other\n"
                                 "\"'=1+2\rinjected\",-20.5,'-x\n"
                                 "'@SUM(A1),0.25,\"say \"\"hi\"\", then\ngo\"\n"
                                 "'+49 30,-0.0001,plain\n");

    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(Written(r, true)));
    const QJsonArray results = doc.object().value("results").toArray();
    ASSERT_EQ(results.size(), 3);
    EXPECT_EQ(results[0].toObject().value("name").toString(), "=1+2\rinjected");
    EXPECT_EQ(results[0].toObject().value("level").toDouble(), -20.5);
}
