// Writing result documents as JSON (see measurementfile.h).
#include "measurement/document/measurementfile.h"
#include "platform/textfile.h"

#include <QJsonArray>
#include <QJsonValue>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace measure {

namespace {

class JsonWriter {
public:
    QByteArray Out;

    void Raw(const char *text) { Out.append(text); }
    void Indent(int depth) { Out.append(QByteArray(2 * depth, ' ')); }

    void String(const std::string &text) { String(QString::fromStdString(text)); }
    void String(const QString &text)
    {
        Out.append('"');
        // A lone surrogate (JSON text may hold one as an escape) is written
        // as the escape it came from; UTF-8 has no form for it.
        qsizetype from = 0;
        for (qsizetype i = 0; i <= text.size(); ++i) {
            const bool lone = i < text.size() && text[i].isSurrogate() &&
                              !(text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) &&
                              !(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate());
            if (!lone && i < text.size())
                continue;
            Utf8(text.mid(from, i - from).toUtf8());
            if (lone) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", text[i].unicode());
                Out.append(esc);
            }
            from = i + 1;
        }
        Out.append('"');
    }

    // Escapes what JSON wants escaped; invalid UTF-8 from a std::string has
    // become replacement characters on its way through QString.
    void Utf8(const QByteArray &utf8)
    {
        for (const char c : utf8) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                Out.append('\\').append(c);
            } else if (c == '\n') {
                Out.append("\\n");
            } else if (c == '\t') {
                Out.append("\\t");
            } else if (c == '\r') {
                Out.append("\\r");
            } else if (u < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", u);
                Out.append(esc);
            } else {
                Out.append(c);
            }
        }
    }

    void Number(double v, int decimals = -1)
    {
        if (!std::isfinite(v)) {
            Out.append("null");
            return;
        }
        char buf[400];
        char *end = buf;
        if (std::floor(v) == v && std::fabs(v) <= 9007199254740992.0) {
            end = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v)).ptr;
        } else if (decimals >= 0 && std::fabs(v) < 1e15) {
            end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals).ptr;
            // Trailing zeros say nothing in JSON; "-0" is 0.
            if (std::find(buf, end, '.') != end) {
                while (end[-1] == '0')
                    --end;
                if (end[-1] == '.')
                    --end;
            }
            if (end - buf == 2 && buf[0] == '-' && buf[1] == '0')
                buf[0] = '0', end = buf + 1;
        } else {
            end = std::to_chars(buf, buf + sizeof buf, v).ptr;
        }
        Out.append(buf, static_cast<qsizetype>(end - buf));
    }

    // Any JSON value; objects and arrays on one line when `depth` < 0, else
    // one member per line at that depth.
    void Value(const QJsonValue &v, int depth)
    {
        switch (v.type()) {
        case QJsonValue::Bool:
            Raw(v.toBool() ? "true" : "false");
            return;
        case QJsonValue::Double:
            Number(v.toDouble());
            return;
        case QJsonValue::String:
            String(v.toString());
            return;
        case QJsonValue::Array:
            Array(v.toArray(), depth);
            return;
        case QJsonValue::Object:
            Object(v.toObject(), depth);
            return;
        default:
            Raw("null");
            return;
        }
    }

    void Object(const QJsonObject &o, int depth)
    {
        if (o.isEmpty()) {
            Raw("{}");
            return;
        }
        Raw(depth < 0 ? "{" : "{\n");
        bool first = true;
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!first)
                Raw(depth < 0 ? ", " : ",\n");
            first = false;
            if (depth >= 0)
                Indent(depth + 1);
            String(it.key());
            Raw(": ");
            Value(it.value(), depth < 0 ? -1 : depth + 1);
        }
        if (depth >= 0) {
            Raw("\n");
            Indent(depth);
        }
        Raw("}");
    }

    // Arrays of objects get one element per line, others stay on one line.
    void Array(const QJsonArray &a, int depth)
    {
        const bool lines = depth >= 0 && !a.isEmpty() && a.first().isObject();
        Raw(lines ? "[\n" : "[");
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (i)
                Raw(lines ? ",\n" : ", ");
            if (lines)
                Indent(depth + 1);
            Value(a.at(i), -1);
        }
        if (lines) {
            Raw("\n");
            Indent(depth);
        }
        Raw("]");
    }

    void Key(const char *key, int depth)
    {
        Indent(depth);
        String(std::string(key));
        Raw(": ");
    }
};

void WriteCurve(JsonWriter &w, const CurveDefinition &c)
{
    w.Raw("{\"name\": ");
    w.String(c.Name);
    w.Raw(", \"quantity\": ");
    w.String(c.Quantity);
    if (!c.Channel.empty()) {
        w.Raw(", \"channel\": ");
        w.String(c.Channel);
    }
    if (c.Order != 0) {
        w.Raw(", \"order\": ");
        w.Number(c.Order);
    }
    w.Raw(", \"x\": ");
    w.String(c.X);
    w.Raw(", \"x_unit\": ");
    w.String(c.XUnit);
    w.Raw(", \"y\": ");
    w.String(c.Y);
    w.Raw(", \"y_unit\": ");
    w.String(c.YUnit);
    if (!c.Phase.empty()) {
        w.Raw(", \"phase\": ");
        w.String(c.Phase);
        w.Raw(", \"phase_unit\": \"deg\"");
    }
    w.Raw("}");
}

void WriteRow(JsonWriter &w, const ResultTable &t, std::size_t row)
{
    w.Raw("{");
    for (std::size_t c = 0; c < t.Columns.size(); ++c) {
        const ResultColumn &col = t.Columns[c];
        if (c)
            w.Raw(", ");
        w.String(col.Name);
        w.Raw(": ");
        if (col.Text)
            w.String(row < col.Texts.size() ? col.Texts[row] : std::string());
        else
            w.Number(row < col.Numbers.size() ? col.Numbers[row] : std::nan(""), col.Decimals);
    }
    w.Raw("}");
}

QJsonObject ImpulseJson(const ImpulseReference &i)
{
    QJsonObject o{{"file", QString::fromStdString(i.File)},
                  {"sha256", QString::fromStdString(i.Sha256)},
                  {"rate_hz", i.RateHz},
                  {"frames", static_cast<double>(i.Frames)},
                  {"zero_frame", static_cast<double>(i.ZeroFrame)}};
    if (!i.Channel.empty())
        o.insert("channel", QString::fromStdString(i.Channel));
    return o;
}

} // namespace

QByteArray DocumentToJson(const MeasurementDocument &d)
{
    JsonWriter w;
    w.Raw("{\n");
    w.Key("version", 1);
    w.String(std::to_string(d.VersionMajor) + "." + std::to_string(d.VersionMinor));
    w.Raw(",\n");
    w.Key("kind", 1);
    w.String(std::string(KindName(d.Kind)));
    w.Raw(",\n");
    w.Key("title", 1);
    w.String(d.Title);
    w.Raw(",\n");
    w.Key("remark", 1);
    w.String(d.Remark);
    w.Raw(",\n");
    w.Key("settings", 1);
    w.Object(SettingsToJson(d.Settings), 1);
    w.Raw(",\n");

    w.Key("columns", 1);
    w.Raw("[");
    for (std::size_t c = 0; c < d.Results.Columns.size(); ++c) {
        if (c)
            w.Raw(", ");
        w.String(d.Results.Columns[c].Name);
    }
    w.Raw("],\n");

    w.Key("curves", 1);
    w.Raw(d.Curves.empty() ? "[" : "[\n");
    for (std::size_t i = 0; i < d.Curves.size(); ++i) {
        w.Indent(2);
        WriteCurve(w, d.Curves[i]);
        w.Raw(i + 1 < d.Curves.size() ? ",\n" : "\n  ");
    }
    w.Raw("],\n");

    w.Key("results", 1);
    w.Raw(d.Results.Rows == 0 ? "[" : "[\n");
    for (std::size_t r = 0; r < d.Results.Rows; ++r) {
        w.Indent(2);
        WriteRow(w, d.Results, r);
        w.Raw(r + 1 < d.Results.Rows ? ",\n" : "\n  ");
    }
    w.Raw("]");

    if (!d.Readings.isEmpty()) {
        w.Raw(",\n");
        w.Key("readings", 1);
        w.Object(d.Readings, 1);
    }
    if (!d.Impulses.empty()) {
        QJsonArray impulses;
        for (const ImpulseReference &i : d.Impulses)
            impulses.append(ImpulseJson(i));
        w.Raw(",\n");
        w.Key("impulses", 1);
        w.Array(impulses, 1);
    }
    if (d.Limits) {
        w.Raw(",\n");
        w.Key("limits", 1);
        w.Object(QJsonObject{{"file", QString::fromStdString(d.Limits->File)},
                             {"sha256", QString::fromStdString(d.Limits->Sha256)},
                             {"pass", d.Limits->Pass},
                             {"failures", d.Limits->Failures}},
                 1);
    }
    if (d.Warnings) {
        w.Raw(",\n");
        w.Key("warnings", 1);
        w.Array(*d.Warnings, 1);
    }
    w.Raw("\n}\n");
    return w.Out;
}

bool WriteMeasurementFile(const std::string &fileName, const MeasurementDocument &document, FileError &error)
{
    error = FileError{};
    error.File = fileName;
    // Through the program's one writer: a temporary file beside the target,
    // renamed over it when complete.
    const QByteArray text = DocumentToJson(document);
    if (const int e = platform::WriteTextFile(fileName, std::string_view(text.constData(), std::size_t(text.size())))) {
        error.Problem = FileProblem::NotWritable;
        error.Detail = platform::FileErrorText(e);
        return false;
    }
    return true;
}

} // namespace measure
