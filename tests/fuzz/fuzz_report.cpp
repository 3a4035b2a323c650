// Fuzz target: the command line's results of any texts and numbers, written
// as CSV and JSON. A CSV reader (RFC 4180) finds every row and every field
// again - a text that a spreadsheet would take for a formula with the
// apostrophe before it, numbers as they were - and the JSON parses and holds
// every text unchanged. Input: fields split by 0x1F, rows by 0x1E, the first
// row naming the columns; a field that is a finite number is a number. Zero
// bytes are left out: no text the program reports can hold one (names come
// through audio::PlainName, files' texts through C strings).
#include "cli/report.h"

#include <QJsonDocument>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "report fuzz: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> Split(const std::string &text, char at)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == at) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return parts;
}

std::string Written(const cli::Report &r, bool json)
{
    std::FILE *f = std::tmpfile();
    Require(f != nullptr, "no temporary file");
    r.Write(json, f);
    std::rewind(f);
    std::string text;
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        text.append(buf, n);
    std::fclose(f);
    return text;
}

// RFC 4180, records ending in LF.
std::vector<std::vector<std::string>> ReadCsv(const std::string &text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, wasQuoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            Require(field.empty() && !wasQuoted, "a quote inside an unquoted field");
            quoted = wasQuoted = true;
        } else if (c == ',' || c == '\n') {
            row.push_back(field);
            field.clear();
            wasQuoted = false;
            if (c == '\n') {
                rows.push_back(row);
                row.clear();
            }
        } else {
            Require(!wasQuoted, "text after a closing quote");
            Require(c != '\r', "a bare carriage return splits the row");
            field += c;
        }
    }
    Require(!quoted && field.empty() && row.empty(), "the CSV does not end with a whole record");
    return rows;
}

bool IsNumber(const QString &s, double &v)
{
    bool ok = false;
    v = s.toDouble(&ok);
    return ok && std::isfinite(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    input.erase(std::remove(input.begin(), input.end(), '\0'), input.end());
    const std::vector<std::string> lines = Split(input, '\x1e');
    QStringList columns;
    for (const std::string &c : Split(lines[0], '\x1f'))
        columns << QString::fromStdString(c);
    cli::Report report("fuzz");
    report.SetColumns(columns);
    std::vector<QJsonArray> rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        QJsonArray row;
        for (const std::string &f : Split(lines[i], '\x1f')) {
            const QString s = QString::fromStdString(f);
            double v = 0;
            row.append(IsNumber(s, v) ? QJsonValue(v) : QJsonValue(s));
        }
        report.AddRow(row);
        rows.push_back(row);
    }

    // What a CSV reader finds: the header, then each row, field by field.
    const auto csv = ReadCsv(Written(report, false));
    Require(csv.size() == rows.size() + 1, "the CSV has another number of records");
    auto expectText = [](const QString &s) {
        const bool formula = !s.isEmpty() && QStringLiteral("=+-@\t\r").contains(s.front());
        return ((formula ? QStringLiteral("'") : QString()) + s).toUtf8().toStdString();
    };
    Require(csv[0].size() == std::size_t(columns.size()), "the header has another number of fields");
    for (int c = 0; c < columns.size(); ++c)
        Require(csv[0][std::size_t(c)] == expectText(columns[c]), "a column name does not read back");
    for (std::size_t r = 0; r < rows.size(); ++r) {
        Require(csv[r + 1].size() == std::size_t(rows[r].size()), "a row has another number of fields");
        for (int c = 0; c < rows[r].size(); ++c) {
            const std::string &got = csv[r + 1][std::size_t(c)];
            if (rows[r][c].isDouble()) {
                const double v = rows[r][c].toDouble();
                double back = 0;
                Require(IsNumber(QString::fromStdString(got), back) && std::abs(back - v) <= 1e-11 * std::abs(v),
                        "a number does not read back as a number");
            } else {
                Require(got == expectText(rows[r][c].toString()), "a text does not read back");
            }
        }
    }

    // The JSON: every text unchanged, under its column.
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(Written(report, true)), &error);
    Require(error.error == QJsonParseError::NoError, "the JSON does not parse");
    const QJsonArray results = doc.object().value("results").toArray();
    Require(std::size_t(results.size()) == rows.size(), "the JSON has another number of results");
    if (QSet<QString>(columns.begin(), columns.end()).size() == columns.size())
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (int c = 0; c < columns.size() && c < rows[r].size(); ++c)
                if (rows[r][c].isString())
                    Require(results[int(r)].toObject().value(columns[c]) == rows[r][c], "a JSON text changed");
    return 0;
}
