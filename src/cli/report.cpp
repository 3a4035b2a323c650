// Results as CSV or JSON (see report.h).
#include "cli/report.h"

#include "platform/numbers.h"

#include <QDateTime>
#include <QJsonDocument>
#include <cerrno>
#include <cmath>

namespace cli {

double Rounded(double v, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const double r = std::round(v * scale) / scale;
    return std::isfinite(r) ? r : v;
}

double AsTyped(float v)
{
    double d = v;
    platform::ParseFloat(platform::FormatShortest(v), d);
    return d;
}

Report::Report(const QString &command) : command_(command)
{
    settings_.insert("program", "sonalyx-measure");
    settings_.insert("version", SONALYX_VERSION);
    settings_.insert("time", QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    settings_.insert("command", command);
}

void Report::AddSettings(const QJsonObject &settings)
{
    for (auto it = settings.begin(); it != settings.end(); ++it)
        settings_.insert(it.key(), it.value());
}

QString CsvField(const QJsonValue &v)
{
    if (v.isDouble())
        return QString::fromStdString(platform::FormatNumber(v.toDouble(), 'g', 12));
    if (v.isBool())
        return v.toBool() ? "true" : "false";
    // Only texts (names, never numbers) come here. One a spreadsheet would
    // take for a formula gets the apostrophe spreadsheets expect before it.
    QString s = v.toString();
    if (!s.isEmpty() && QStringLiteral("=+-@\t\r").contains(s.front()))
        s.prepend('\'');
    // A line break of either kind would split the row for a CSV reader.
    if (s.contains(',') || s.contains('"') || s.contains('\n') || s.contains('\r'))
        s = '"' + s.replace('"', "\"\"") + '"';
    return s;
}

bool Report::Write(bool json, std::FILE *out) const
{
    errno = 0;
    bool ok = true;
    auto put = [&](const QByteArray &text) {
        ok = ok && std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), out) ==
                       static_cast<std::size_t>(text.size());
    };
    if (json) {
        QJsonArray results;
        for (const QJsonValue &row : rows_) {
            QJsonObject o;
            const QJsonArray r = row.toArray();
            for (int i = 0; i < columns_.size() && i < r.size(); ++i)
                o.insert(columns_[i], r[i]);
            results.append(o);
        }
        QJsonObject doc{{"settings", settings_}, {"results", results}};
        put(QJsonDocument(doc).toJson(QJsonDocument::Indented));
    } else {
        QStringList header;
        for (const QString &c : columns_)
            header << CsvField(c);
        put((header.join(',') + '\n').toUtf8());
        for (const QJsonValue &row : rows_) {
            QStringList fields;
            for (const QJsonValue &v : row.toArray())
                fields << CsvField(v);
            put((fields.join(',') + '\n').toUtf8());
        }
    }
    // A full disk shows only when the buffer goes out.
    return std::fflush(out) == 0 && ok && !std::ferror(out);
}

} // namespace cli
