// Reading result documents from JSON (see measurementfile.h).
#include "measurement/document/measurementfile.h"

#include "measurement/document/jsonfields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace measure {

namespace {

// Qt builds every value before we can look at it, a few hundred bytes per
// object: the count of values is bounded first, so a file of millions of
// tiny values is refused without building them. The bounds leave room for
// kMaxRows rows of 32 values and a limits check failing in every row.
constexpr std::int64_t kMaxJsonValues = 32 * static_cast<std::int64_t>(kMaxRows);
constexpr std::int64_t kMaxJsonObjects = 4 * static_cast<std::int64_t>(kMaxRows) + 4096;

bool Fail(FileError &e, FileProblem problem, const std::string &field = {}, const std::string &detail = {})
{
    e.Problem = problem;
    e.Field = field;
    e.Detail = detail;
    return false;
}

bool WrongType(FileError &e, const std::string &field, Expected expected)
{
    e.Type = expected;
    return Fail(e, FileProblem::WrongType, field);
}

std::string Indexed(const char *array, qsizetype i) { return std::string(array) + "[" + std::to_string(i) + "]"; }

// Values, and objects among them, of JSON text, counted by its separators
// outside strings (an upper bound for valid text).
void CountValues(const QByteArray &text, std::int64_t &values, std::int64_t &objects)
{
    values = 1;
    objects = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == ',' || c == '[')
            ++values;
        else if (c == '{')
            ++values, ++objects;
    }
}

void LineAndColumn(const QByteArray &text, qsizetype offset, int &line, int &column)
{
    line = 1;
    column = 1;
    for (qsizetype i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column; // count characters, not UTF-8 continuation bytes
        }
    }
}

bool ParseVersion(const std::string &text, int &major, int &minor)
{
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size() || dot > 6 || text.size() - dot - 1 > 6)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != dot && (text[i] < '0' || text[i] > '9'))
            return false;
    major = std::stoi(text.substr(0, dot));
    minor = std::stoi(text.substr(dot + 1));
    return true;
}

// The object rebuilt from its keys as they read. Qt's UTF-8 decoder drops
// a byte-order mark at the start of a key when it hands the key out, but
// not when it looks a key up; the parts of a document that are kept as JSON
// (settings, readings, limits) are rebuilt so that both agree, and a
// written document reads back as it was.
QJsonValue Normalized(const QJsonValue &value)
{
    if (value.isObject()) {
        const QJsonObject in = value.toObject();
        QJsonObject out;
        for (auto it = in.begin(); it != in.end(); ++it)
            out.insert(it.key(), Normalized(it.value()));
        return out;
    }
    if (value.isArray()) {
        QJsonArray out;
        for (const QJsonValue &v : value.toArray())
            out.append(Normalized(v));
        return out;
    }
    return value;
}

bool ReadColumns(const QJsonArray &names, ResultTable &table, FileError &e)
{
    if (static_cast<std::size_t>(names.size()) > kMaxColumns) {
        e.Number = names.size();
        return Fail(e, FileProblem::TooManyColumns, "columns");
    }
    std::set<QString> seen;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString name = names.at(i).toString();
        if (!names.at(i).isString() || name.isEmpty())
            return WrongType(e, Indexed("columns", i), Expected::Text);
        if (!seen.insert(name).second)
            return Fail(e, FileProblem::DuplicateName, Indexed("columns", i), name.toStdString());
        ResultColumn c;
        c.Name = name.toStdString();
        table.Columns.push_back(std::move(c));
    }
    return true;
}

// The rows into the columns. A column takes numbers or texts, decided by
// its first value; null or a missing key is no value.
bool ReadRows(const QJsonArray &rows, ResultTable &table, FileError &e)
{
    if (static_cast<std::size_t>(rows.size()) > kMaxRows) {
        e.Number = rows.size();
        return Fail(e, FileProblem::TooManyRows, "results");
    }
    const std::size_t n = static_cast<std::size_t>(rows.size());
    std::vector<QString> keys;
    std::vector<int> kind(table.Columns.size(), 0); // 0 nothing yet, 1 numbers, 2 texts
    for (ResultColumn &c : table.Columns) {
        keys.push_back(QString::fromStdString(c.Name));
        c.Numbers.assign(n, std::nan(""));
    }
    for (std::size_t r = 0; r < n; ++r) {
        const QJsonValue row = rows.at(static_cast<qsizetype>(r));
        const std::string where = Indexed("results", static_cast<qsizetype>(r));
        if (!row.isObject())
            return WrongType(e, where, Expected::Object);
        const QJsonObject o = row.toObject();
        for (std::size_t c = 0; c < keys.size(); ++c) {
            const QJsonValue v = o.value(keys[c]);
            ResultColumn &col = table.Columns[c];
            if (v.isNull() || v.isUndefined())
                continue;
            if (v.isDouble()) {
                if (kind[c] == 2)
                    return WrongType(e, where + "." + col.Name, Expected::TextColumnCell);
                kind[c] = 1;
                col.Numbers[r] = v.toDouble();
            } else if (v.isString()) {
                if (kind[c] == 1)
                    return WrongType(e, where + "." + col.Name, Expected::NumberColumnCell);
                if (kind[c] == 0) {
                    kind[c] = 2;
                    col.Text = true;
                    col.Texts.assign(n, std::string());
                }
                col.Texts[r] = v.toString().toStdString();
            } else {
                return WrongType(e, where + "." + col.Name, Expected::NumberTextOrNull);
            }
        }
    }
    for (ResultColumn &c : table.Columns)
        if (c.Text)
            c.Numbers.clear();
    table.Rows = n;
    return true;
}

bool ReadCurve(const QJsonValue &value, const std::string &where, const ResultTable &table, CurveDefinition &c,
               FileError &e)
{
    if (!value.isObject())
        return WrongType(e, where, Expected::Object);
    JsonFields f(value.toObject(), where, e);
    bool hasPhase = false;
    std::string phaseUnit;
    if (!f.Text("name", c.Name) || !f.Text("quantity", c.Quantity) || !f.OptionalText("channel", c.Channel) ||
        !f.Text("x", c.X) || !f.Text("x_unit", c.XUnit) || !f.Text("y", c.Y) || !f.Text("y_unit", c.YUnit) ||
        !f.OptionalText("phase", c.Phase, &hasPhase))
        return false;
    if (f.Has("order") && !f.Int("order", c.Order))
        return false;
    if (hasPhase) {
        if (!f.Text("phase_unit", phaseUnit))
            return false;
        if (phaseUnit != "deg")
            return f.Fail("phase_unit", Expected::PhaseUnit);
    }
    for (const auto &[key, column] : {std::pair{"x", &c.X}, std::pair{"y", &c.Y}, std::pair{"phase", &c.Phase}}) {
        if (column->empty() && std::string(key) == "phase")
            continue;
        const ResultColumn *col = table.Find(*column);
        if (!col || col->Text)
            return Fail(e, FileProblem::UnknownColumn, f.Path(key), *column);
    }
    return true;
}

bool ReadImpulse(const QJsonValue &value, const std::string &where, ImpulseReference &i, FileError &e)
{
    if (!value.isObject())
        return WrongType(e, where, Expected::Object);
    JsonFields f(value.toObject(), where, e);
    return f.OptionalText("channel", i.Channel) && f.Text("file", i.File) && f.Text("sha256", i.Sha256) &&
           f.Number("rate_hz", i.RateHz) && f.Int64("frames", i.Frames) && f.Int64("zero_frame", i.ZeroFrame);
}

bool ReadLimits(const QJsonObject &o, LimitsOutcome &l, FileError &e)
{
    JsonFields f(o, "limits", e);
    if (!f.Text("file", l.File) || !f.Text("sha256", l.Sha256) || !f.Bool("pass", l.Pass))
        return false;
    if (!f.Has("failures"))
        return f.Missing("failures");
    const QJsonValue failures = f.Rest.take("failures");
    if (!failures.isArray())
        return f.Fail("failures", Expected::Array);
    l.Failures = failures.toArray();
    for (qsizetype i = 0; i < l.Failures.size(); ++i)
        if (!l.Failures.at(i).isObject())
            return WrongType(e, Indexed("limits.failures", i), Expected::Object);
    return true;
}

// An array under `key` (required unless `optional`).
bool TakeArray(JsonFields &f, const char *key, QJsonArray &out, bool optional)
{
    if (!f.Has(key))
        return optional || f.Missing(key);
    const QJsonValue v = f.Rest.take(QLatin1String(key));
    if (!v.isArray())
        return f.Fail(key, Expected::Array);
    out = v.toArray();
    return true;
}

bool ReadDocument(const QJsonObject &root, MeasurementDocument &d, FileError &e)
{
    JsonFields f(root, std::string(), e);
    if (!f.Has("version"))
        return Fail(e, FileProblem::NotDocument);
    std::string version, kind;
    if (!f.Text("version", version))
        return false;
    if (!ParseVersion(version, d.VersionMajor, d.VersionMinor) || d.VersionMajor < 1)
        return Fail(e, FileProblem::BadVersion, "version", version);
    if (d.VersionMajor > kFormatMajor)
        return Fail(e, FileProblem::NewerVersion, "version", version);
    if (!f.Text("kind", kind))
        return false;
    if (!KindFromName(kind, d.Kind))
        return Fail(e, FileProblem::UnknownKind, "kind", kind);
    QJsonObject settings;
    QJsonArray columns, rows, curves, impulses;
    if (!f.OptionalText("title", d.Title) || !f.OptionalText("remark", d.Remark) || !f.Object("settings", settings) ||
        !SettingsFromJson(Normalized(settings).toObject(), d.Settings, e) || !TakeArray(f, "columns", columns, false) ||
        !ReadColumns(columns, d.Results, e) || !TakeArray(f, "results", rows, false) ||
        !ReadRows(rows, d.Results, e) || !TakeArray(f, "curves", curves, false) ||
        !TakeArray(f, "impulses", impulses, true))
        return false;
    if (static_cast<std::size_t>(curves.size()) > kMaxColumns) {
        e.Number = curves.size();
        return Fail(e, FileProblem::TooManyColumns, "curves");
    }
    std::set<std::string> names;
    for (qsizetype i = 0; i < curves.size(); ++i) {
        CurveDefinition c;
        if (!ReadCurve(curves.at(i), Indexed("curves", i), d.Results, c, e))
            return false;
        if (!names.insert(c.Name).second)
            return Fail(e, FileProblem::DuplicateName, Indexed("curves", i) + ".name", c.Name);
        d.Curves.push_back(std::move(c));
    }
    if (d.Curves.empty() && KindHasCurves(d.Kind))
        return Fail(e, FileProblem::NoCurves, "curves", kind);
    for (qsizetype i = 0; i < impulses.size(); ++i) {
        ImpulseReference r;
        if (!ReadImpulse(impulses.at(i), Indexed("impulses", i), r, e))
            return false;
        d.Impulses.push_back(std::move(r));
    }
    if (f.Has("readings")) {
        if (!f.Object("readings", d.Readings))
            return false;
        d.Readings = Normalized(d.Readings).toObject();
    }
    if (f.Has("limits")) {
        QJsonObject o;
        LimitsOutcome l;
        if (!f.Object("limits", o) || !ReadLimits(Normalized(o).toObject(), l, e))
            return false;
        d.Limits = std::move(l);
    }
    QJsonArray warnings;
    if (f.Has("warnings")) {
        if (!TakeArray(f, "warnings", warnings, false))
            return false;
        for (qsizetype i = 0; i < warnings.size(); ++i)
            if (!warnings.at(i).isObject())
                return WrongType(e, Indexed("warnings", i), Expected::Object);
        d.Warnings = Normalized(warnings).toArray();
    }
    return true;
}

} // namespace

bool ParseMeasurementDocument(const QByteArray &input, const std::string &name, MeasurementDocument &document,
                              FileError &error)
{
    error = FileError{};
    error.File = name;
    QByteArray text = input;
    if (text.startsWith("\xEF\xBB\xBF")) // a byte-order mark some editors add
        text.remove(0, 3);
    if (text.trimmed().isEmpty())
        return Fail(error, FileProblem::NotDocument);

    std::int64_t values = 0, objects = 0;
    CountValues(text, values, objects);
    if (values > kMaxJsonValues || objects > kMaxJsonObjects) {
        error.Syntax = SyntaxProblem::TooManyValues;
        error.Number = values > kMaxJsonValues ? values : objects;
        return Fail(error, FileProblem::Syntax);
    }
    QJsonParseError parse;
    const QJsonDocument json = QJsonDocument::fromJson(text, &parse);
    if (parse.error != QJsonParseError::NoError) {
        qsizetype end = text.size();
        while (end > 0 && QChar::isSpace(static_cast<unsigned char>(text[end - 1])))
            --end;
        switch (parse.error) {
        case QJsonParseError::UnterminatedObject:
        case QJsonParseError::UnterminatedArray:
        case QJsonParseError::UnterminatedString:
        case QJsonParseError::TerminationByNumber:
            error.Syntax = SyntaxProblem::Truncated;
            break;
        case QJsonParseError::IllegalNumber:
            error.Syntax = SyntaxProblem::IllegalNumber;
            break;
        case QJsonParseError::DeepNesting:
            error.Syntax = SyntaxProblem::TooDeep;
            break;
        default:
            error.Syntax = parse.offset >= end ? SyntaxProblem::Truncated : SyntaxProblem::Other;
            break;
        }
        LineAndColumn(text, parse.offset, error.Line, error.Column);
        return Fail(error, FileProblem::Syntax);
    }
    if (!json.isObject())
        return Fail(error, FileProblem::NotDocument);

    MeasurementDocument d;
    if (!ReadDocument(json.object(), d, error))
        return false;
    document = std::move(d);
    return true;
}

bool ReadMeasurementFile(const std::string &fileName, MeasurementDocument &document, FileError &error)
{
    error = FileError{};
    error.File = fileName;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(fs::path(fileName), ec);
    if (status.type() == fs::file_type::not_found)
        return Fail(error, FileProblem::NotFound);
    if (ec)
        return Fail(error, FileProblem::Unreadable, {}, ec.message());
    if (!fs::is_regular_file(status))
        return Fail(error, FileProblem::NotRegular);
    const std::uintmax_t size = fs::file_size(fs::path(fileName), ec);
    if (!ec && size > static_cast<std::uintmax_t>(kMaxFileBytes)) {
        error.Number = static_cast<std::int64_t>(size);
        return Fail(error, FileProblem::TooLarge);
    }
    // Opened by the name's bytes: a name that is not UTF-8 is found too.
    errno = 0;
    std::ifstream file(fs::path(fileName), std::ios::binary);
    if (!file)
        return Fail(error, FileProblem::Unreadable, {}, std::strerror(errno != 0 ? errno : EIO));
    // Read one byte more than allowed: a file that grew since is refused too.
    QByteArray text;
    char buffer[16384];
    while (text.size() <= kMaxFileBytes && file.read(buffer, sizeof buffer).gcount() > 0)
        text.append(buffer, static_cast<qsizetype>(file.gcount()));
    if (file.bad())
        return Fail(error, FileProblem::Unreadable, {}, std::strerror(errno != 0 ? errno : EIO));
    if (text.size() > kMaxFileBytes) {
        error.Number = text.size();
        return Fail(error, FileProblem::TooLarge);
    }
    return ParseMeasurementDocument(text, fileName, document, error);
}

} // namespace measure
