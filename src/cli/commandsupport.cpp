// Options and helpers shared by the subcommands (see commandsupport.h).
#include "cli/commandsupport.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"

#include "measurement/document/measurementfile.h"
#include "measurement/streamwarningsjson.h"
#include "platform/numbers.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace cli {

namespace {

std::string Text(const QCommandLineParser &p, const QString &name) { return p.value(name).toStdString(); }
std::string FileName(const QCommandLineParser &p, const QString &name) { return LocalFileName(p.value(name)); }

// Length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
std::size_t Utf8Length(const std::string &text, std::size_t i)
{
    const auto at = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    const unsigned c = at(i);
    const auto cont = [&](std::size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) { return at(k) >= lo && at(k) <= hi; };
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return cont(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF; // no overlong forms, no surrogates
        return cont(i + 1, lo, hi) && cont(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return cont(i + 1, lo, hi) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

const QStringList kWaves{"sine", "square", "white", "pink"};

QString g_command;

// "line 4 (THDN_MAX)", "lines 2 to 9 (curve rows)": where limits of one kind are.
std::string DescribeLines(const std::vector<int> &lines, measure::LimitKind kind)
{
    const std::string name = measure::LimitKindName(kind);
    if (lines.size() == 1)
        return "line " + std::to_string(lines.front()) + " (" + name + ")";
    return "lines " + std::to_string(lines.front()) + " to " + std::to_string(lines.back()) + " (" +
           std::to_string(lines.size()) + " " + name + "s)";
}

} // namespace

QStringList ArgumentsFromArgv(int argc, char *argv[])
{
    QStringList out;
    for (int a = 0; a < argc; ++a) {
        const std::string arg = argv[a] ? argv[a] : "";
        QString s;
        for (std::size_t i = 0; i < arg.size();) {
            if (const std::size_t n = Utf8Length(arg, i)) {
                s += QString::fromUtf8(arg.data() + i, static_cast<qsizetype>(n));
                i += n;
            } else {
                s += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(arg[i])));
                ++i;
            }
        }
        out << s;
    }
    return out;
}

std::string LocalFileName(const QString &argument)
{
    std::string out;
    QString run;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const char16_t u = argument[i].unicode();
        const bool escaped = u >= 0xDC80 && u <= 0xDCFF && (i == 0 || !argument[i - 1].isHighSurrogate());
        if (escaped) {
            out += run.toUtf8().toStdString();
            run.clear();
            out += static_cast<char>(u - 0xDC00);
        } else {
            run += argument[i];
        }
    }
    return out + run.toUtf8().toStdString();
}

std::string TerminalSafe(const std::string &text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t n = Utf8Length(text, i);
        const bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (n == 0 || c < 0x20 || c == 0x7F || c1) {
            for (std::size_t k = 0; k < (c1 ? 2 : 1); ++k) {
                const unsigned char b = static_cast<unsigned char>(text[i + k]);
                out += "\\x";
                out += kHex[b >> 4];
                out += kHex[b & 15];
            }
            i += c1 ? 2 : 1;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

void AddCommonOptions(QCommandLineParser &p, bool withLimits)
{
    p.addOptions({
        {"settings", "Settings file to take calibration, corrections and defaults from (default: the program's "
                     "sonmain.ini). It is only read.", "file"},
        {"device", "Input and output device, by name as the sound card dialog lists it, or by number.", "name"},
        {"input", "Input device (overrides --device).", "name"},
        {"output", "Output device (overrides --device).", "name"},
        {"rate", "Sample rate of both devices in Hz (default: as stored for the device).", "hz"},
        {"bits", "Resolution of both devices: 8, 16 or 24 (default: as stored).", "bits"},
        {"format", "Output form: csv or json (default csv).", "form", "csv"},
    });
    if (!withLimits)
        return;
    p.addOptions({
        {"limits", "Limits file; exit status 0 pass, 1 fail, 2 error.", "file"},
        {"title", "Title of the result (JSON: \"title\").", "text"},
        {"remark", "Remark on the result (JSON: \"remark\").", "text"},
    });
}

CommonOptions OpenWithCommonOptions(const QCommandLineParser &p, MeasureSession &session, bool needOutput,
                                    bool withLimits)
{
    CommonOptions o;
    o.json = ChoiceOption(p, "format", {"csv", "json"}, 0) == 1;
    o.settings = FileName(p, "settings");
    o.input = p.isSet("input") ? Text(p, "input") : Text(p, "device");
    o.output = p.isSet("output") ? Text(p, "output") : Text(p, "device");
    o.rate = IntOption(p, "rate", 0, 1000, 192000);
    o.bits = IntOption(p, "bits", 0, 8, 24);
    if (withLimits) {
        o.title = p.value("title").toStdString();
        o.remark = p.value("remark").toStdString();
    }
    if (withLimits && p.isSet("limits")) {
        o.limitsFile = FileName(p, "limits");
        std::string error;
        if (!o.limits.Load(o.limitsFile, error))
            throw CommandError{error};
        o.haveLimits = true;
    }
    if (!session.Open(o.settings))
        throw CommandError{session.Error()};
    // A sound server's node is a source or a sink, never both: --device
    // naming a source leaves the output as stored for a command that plays
    // nothing.
    if (!needOutput && !p.isSet("output") && MeasureSession::FindDevice(false, o.output) < 0)
        o.output.clear();
    if (!session.SelectDevices(o.input, o.output) || !session.SetFormat(o.rate, o.bits, needOutput))
        throw CommandError{session.Error()};
    return o;
}

void RequireCheckableLimits(const CommonOptions &o, std::initializer_list<measure::LimitKind> checked)
{
    if (!o.haveLimits)
        return;
    std::vector<int> unchecked[measure::kLimitKinds];
    bool any = false;
    for (const measure::LimitLine &l : o.limits.Lines()) {
        if (std::find(checked.begin(), checked.end(), l.Kind) != checked.end())
            any = true;
        else
            unchecked[static_cast<int>(l.Kind)].push_back(l.Line);
    }
    std::string what;
    for (const measure::LimitKind k : checked)
        what += std::string(what.empty() ? "" : ", ") + measure::LimitKindName(k) +
                (k == measure::LimitKind::Curve ? "s" : "");
    if (!any)
        throw CommandError{"the limits file " + o.limitsFile + " holds nothing this command checks (it checks " +
                           what + ")"};
    for (int k = 0; k < measure::kLimitKinds; ++k)
        if (!unchecked[k].empty())
            Warn("limits file " + o.limitsFile + ": " + DescribeLines(unchecked[k], measure::LimitKind(k)) +
                 " not checked by this command");
}

void SetCommandName(const QString &command) { g_command = command; }

void Warn(const std::string &text)
{
    std::fprintf(stderr, "sonalyx-measure %s: warning: %s\n", g_command.toUtf8().constData(), text.c_str());
}

void WriteResults(const Report &report, bool json)
{
    if (!report.Write(json, stdout))
        throw CommandError{std::string("the results could not be written to standard output: ") +
                           std::strerror(errno != 0 ? errno : EIO)};
}

void WriteDocument(const measure::MeasurementDocument &document, bool json)
{
    QByteArray text;
    if (json) {
        text = measure::DocumentToJson(document);
    } else {
        const measure::ResultTable &t = document.Results;
        QStringList fields;
        for (const measure::ResultColumn &c : t.Columns)
            fields << CsvField(QString::fromStdString(c.Name));
        text += (fields.join(',') + '\n').toUtf8();
        for (std::size_t r = 0; r < t.Rows; ++r) {
            fields.clear();
            for (const measure::ResultColumn &c : t.Columns) {
                if (c.Text) {
                    fields << CsvField(QString::fromStdString(c.Texts[r]));
                    continue;
                }
                const double v = c.Numbers[r];
                fields << (!std::isfinite(v) ? QString()
                           : c.Decimals >= 0 ? QString::fromStdString(platform::FormatFixed(v, c.Decimals))
                                             : QString::fromStdString(platform::FormatNumber(v, 'g', 12)));
            }
            text += (fields.join(',') + '\n').toUtf8();
        }
    }
    WriteOut(text);
}

void WriteOut(const QByteArray &text)
{
    errno = 0;
    if (std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout) !=
            static_cast<std::size_t>(text.size()) ||
        std::fflush(stdout) != 0)
        throw CommandError{std::string("the results could not be written to standard output: ") +
                           std::strerror(errno != 0 ? errno : EIO)};
}

void AddGeneratorOptions(QCommandLineParser &p)
{
    p.addOptions({
        {"wave", "Generator signal: sine, square, white or pink.", "wave"},
        {"frequency", "Generator frequency in Hz (default 1000).", "hz", "1000"},
        {"gen-level", "Generator level in dB re full scale, both channels (default -6; -100 = off).", "db", "-6"},
        {"phase-left", "Phase of the left channel in degrees (default 0).", "deg", "0"},
        {"phase-right", "Phase of the right channel in degrees (default 0).", "deg", "0"},
    });
}

std::optional<audio::GeneratorSettings> GeneratorFromOptions(const QCommandLineParser &p)
{
    if (!p.isSet("wave"))
        return std::nullopt;
    audio::GeneratorSettings g = audio::Generator();
    g.Waveform = ChoiceOption(p, "wave", kWaves, 0);
    g.Frequency = static_cast<float>(RealOption(p, "frequency", 1000.0, 1.0, 96000.0));
    g.LevelL = g.LevelR = IntOption(p, "gen-level", -6, -100, 0);
    g.PhaseL = IntOption(p, "phase-left", 0, -360, 360);
    g.PhaseR = IntOption(p, "phase-right", 0, -360, 360);
    return g;
}

QJsonObject DescribeGenerator(const audio::GeneratorSettings &g)
{
    return QJsonObject{{"wave", kWaves.value(g.Waveform)},
                       {"frequency_hz", AsTyped(g.Frequency)},
                       {"level_db", g.LevelL},
                       {"phase_left_deg", g.PhaseL},
                       {"phase_right_deg", g.PhaseR},
                       {"loop", audio::GetLoop()}};
}

void StartGenerator(audio::GeneratorSettings &g)
{
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    if (g.Waveform <= audio::WaveSquare && !(g.Frequency <= rateOut / 2.0))
        throw CommandError{"the generator frequency is above half the output rate (" + std::to_string(rateOut) +
                           " Hz)"};
    if (const int rc = audio::StartOutput(g, -1.0, g.Frequency))
        throw CommandError{"the output device \"" + audio::DeviceName('O', audio::GetOutputDevice()) +
                           "\" cannot play: " + audio::ErrorText(rc)};
}

int IntOption(const QCommandLineParser &p, const QString &name, int fallback, int lo, int hi)
{
    if (!p.isSet(name) && p.value(name).isEmpty())
        return fallback;
    long long v = 0;
    const bool ok = platform::ParseInt(p.value(name).trimmed().toStdString(), v);
    if (!ok || v < lo || v > hi)
        throw CommandError{"--" + name.toStdString() + " must be a whole number from " + std::to_string(lo) +
                           " to " + std::to_string(hi)};
    return static_cast<int>(v);
}

double RealOption(const QCommandLineParser &p, const QString &name, double fallback, double lo, double hi)
{
    if (!p.isSet(name) && p.value(name).isEmpty())
        return fallback;
    double v = 0.0;
    const bool ok = platform::ParseFloat(p.value(name).trimmed().toStdString(), v);
    if (!ok || !(v >= lo && v <= hi))
        throw CommandError{"--" + name.toStdString() + " must be a number from " + platform::FormatNumber(lo, 'g', 12) +
                           " to " + platform::FormatNumber(hi, 'g', 12)};
    return v;
}

int ChoiceOption(const QCommandLineParser &p, const QString &name, const QStringList &choices, int fallback)
{
    if (!p.isSet(name) && p.value(name).isEmpty())
        return fallback;
    const int i = choices.indexOf(p.value(name).toLower());
    if (i < 0)
        throw CommandError{"--" + name.toStdString() + " must be one of: " + choices.join(", ").toStdString()};
    return i;
}

bool ParseArguments(QCommandLineParser &p, const QStringList &arguments, const QString &description,
                    int positional)
{
    p.setApplicationDescription(description);
    const QCommandLineOption help({"h", "help"}, "Shows this help.");
    p.addOption(help);
    if (!p.parse(arguments))
        throw CommandError{p.errorText().toStdString()};
    if (p.isSet(help)) {
        // Qt's usage line names the program's path only; this one names the
        // subcommand too.
        QString text = p.helpText();
        const qsizetype eol = text.indexOf('\n');
        const qsizetype options = text.indexOf("[options]");
        const QString names = options >= 0 && options < eol ? text.mid(options + 9, eol - options - 9) : QString();
        text.replace(0, eol, "Usage: sonalyx-measure " + arguments.value(0) + " [options]" + names);
        const QByteArray bytes = text.toUtf8();
        errno = 0;
        if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) != std::size_t(bytes.size()) ||
            std::fflush(stdout) != 0)
            throw CommandError{std::string("the help could not be written to standard output: ") +
                               std::strerror(errno != 0 ? errno : EIO)};
        return false;
    }
    const QStringList given = p.positionalArguments();
    if (given.size() > positional)
        throw CommandError{"unexpected argument \"" + given.value(positional).toStdString() + "\""};
    if (given.size() < positional)
        throw CommandError{"missing argument; see sonalyx-measure " + arguments.value(0).toStdString() + " --help"};
    return true;
}

Progress::Progress() : tty_(isatty(STDERR_FILENO) != 0)
{
    started_.start();
    last_.start();
}

Progress::~Progress()
{
    if (shown_ && tty_)
        std::fprintf(stderr, "\n");
}

void Progress::Update(const QString &text)
{
    if (started_.elapsed() < 1000 || (shown_ && last_.elapsed() < 250))
        return;
    last_.restart();
    shown_ = true;
    std::fprintf(stderr, tty_ ? "\r%-70s" : "%s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

QJsonObject LimitsObject(const CommonOptions &o, bool pass, const QJsonArray &failures)
{
    return QJsonObject{{"file", QString::fromStdString(o.limitsFile)},
                       {"sha256", QString::fromStdString(measure::FileSha256(o.limitsFile))},
                       {"pass", pass},
                       {"failures", failures}};
}

measure::MeasurementDocument CommandDocument(measure::MeasurementKind kind, const char *command,
                                             const CommonOptions &o, const QJsonObject &settings)
{
    measure::MeasurementDocument doc;
    doc.Kind = kind;
    doc.Title = o.title;
    doc.Remark = o.remark;
    measure::MeasurementSettings &s = doc.Settings;
    measure::StampProgram(s, "sonalyx-measure");
    s.Command = command;
    // The sections as the command has always written them; the reader
    // takes the ones it knows into their fields.
    s.Extra = settings;
    if (settings.value("settings_file").isString())
        s.SettingsFile = settings.value("settings_file").toString().toStdString();
    return doc;
}

void SetStreamWarnings(measure::MeasurementDocument &document, const std::vector<audio::StreamWarning> &warnings)
{
    for (const audio::StreamWarning &w : warnings)
        Warn(audio::StreamWarningText(w, 'E'));
    document.Warnings = measure::StreamWarningsJson(warnings);
}

void SetLimitsOutcome(measure::MeasurementDocument &document, const CommonOptions &o, bool pass,
                      const QJsonArray &failures)
{
    if (o.haveLimits)
        document.Limits = measure::LimitsOutcome{o.limitsFile, measure::FileSha256(o.limitsFile), pass, failures};
}

} // namespace cli
