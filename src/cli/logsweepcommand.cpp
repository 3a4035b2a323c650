// The logsweep command of sonalyx-measure: one or more synchronised log
// sweeps (measurement/logsweepdriver.h) giving the frequency response with
// phase, the harmonics H2 .. H5 and THD against the excitation frequency,
// the latency, and on request the impulse response as a wave file. JSON
// goes out as a result document of kind "logsweep".
#include "cli/commands.h"
#include "cli/commandsupport.h"

#include "audio/audioengine.h"
#include "measurement/impulsewave.h"
#include "measurement/document/measurementfile.h"
#include "audio/streamwarnings.h"
#include "measurement/logsweepdriver.h"
#include "platform/numbers.h"
#include "platform/textfile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace cli {

namespace {

const QStringList kModes{"left-ref", "right-ref", "stereo"};
const QStringList kSmoothings{"off", "1/48", "1/24", "1/12", "1/6", "1/3"};
constexpr int kSmoothingN[] = {0, 48, 24, 12, 6, 3};

std::string ChannelName(int input) { return input == 0 ? "left" : "right"; }

// The table as CSV: a header line, then one line per row; numbers with a
// decimal point whatever the locale, an empty field where a row has none.
std::string TableCsv(const measure::ResultTable &t)
{
    std::string out;
    for (std::size_t c = 0; c < t.Columns.size(); ++c)
        out += (c ? "," : "") + t.Columns[c].Name;
    out += '\n';
    for (std::size_t r = 0; r < t.Rows; ++r) {
        for (std::size_t c = 0; c < t.Columns.size(); ++c) {
            const measure::ResultColumn &col = t.Columns[c];
            if (c)
                out += ',';
            const double v = col.Numbers[r];
            if (std::isfinite(v))
                out += col.Decimals >= 0 ? platform::FormatFixed(v, col.Decimals) : platform::FormatNumber(v, 'g', 12);
        }
        out += '\n';
    }
    return out;
}

} // namespace

int RunLogSweep(const QStringList &arguments)
{
    QCommandLineParser p;
    AddCommonOptions(p, true);
    p.addOptions({
        {"from", "Start frequency in Hz (default 20).", "hz", "20"},
        {"to", "End frequency in Hz, at most half the rate (default 20000).", "hz", "20000"},
        {"seconds", "Sweep length in seconds (default 3).", "s", "3"},
        {"length", "Sweep length in samples (instead of --seconds).", "samples"},
        {"level", "Peak level of the sweep in dB re full scale (default -6).", "db", "-6"},
        {"mode", "left-ref (right measured against left), right-ref, or stereo (default: the stored sweep mode).", "mode"},
        {"averages", "Sweeps averaged, 1 to 100 (default 1).", "n", "1"},
        {"smoothing", "Fractional-octave smoothing: off, 1/48, 1/24, 1/12, 1/6 or 1/3 (default off).", "fraction", "off"},
        {"window-ms", "Time window of the frequency response after the impulse in ms (default 300).", "ms", "300"},
        {"harmonics", "Highest harmonic evaluated, 1 (none) to 5 (default 5).", "n", "5"},
        {"ir", "Writes the impulse response of the measured channel(s) to this 32-bit float WAV file.", "file"},
        {"corrections", "Input correction (stereo mode): on or off (default: as stored).", "on|off"},
    });
    if (!ParseArguments(p, arguments, "Measures the impulse response, the frequency response with phase and the "
                                      "harmonic distortion H2 to H5 with one or more logarithmic sine sweeps."))
        return kPass;

    MeasureSession session;
    const CommonOptions o = OpenWithCommonOptions(p, session, true, true);
    RequireCheckableLimits(o, {measure::LimitKind::Curve, measure::LimitKind::ThdMax});
    app::MeasurementState &ms = session.State();

    dsp::LogSweepParameters lp;
    lp.FromHz = RealOption(p, "from", 20.0, 0.001, 1e6);
    lp.ToHz = RealOption(p, "to", 20000.0, 0.001, 1e6);
    lp.Seconds = RealOption(p, "seconds", 3.0, 0.001, 3600.0);
    if (p.isSet("length"))
        lp.LengthFrames = IntOption(p, "length", 0, 1, std::numeric_limits<int>::max());
    lp.LevelDb = RealOption(p, "level", -6.0, -120.0, 0.0);
    lp.Mode = ChoiceOption(p, "mode", kModes, ms.Sweep.Mode);
    lp.Averages = IntOption(p, "averages", 1, 1, dsp::kLogSweepMaxAverages);
    lp.Smoothing = kSmoothingN[ChoiceOption(p, "smoothing", kSmoothings, 0)];
    lp.WindowMs = RealOption(p, "window-ms", 300.0, 1.0, 10000.0);
    lp.Harmonics = IntOption(p, "harmonics", dsp::kLogSweepMaxHarmonic, 1, dsp::kLogSweepMaxHarmonic);
    // The tail must hold the window.
    lp.TailSeconds = std::max(lp.TailSeconds, lp.WindowMs / 1000.0 + 0.2);
    const std::string irFile = p.isSet("ir") ? LocalFileName(p.value("ir")) : std::string();
    const bool stereo = lp.Mode == dsp::kSweepStereo;

    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    if (const dsp::LogSweepCheck check = dsp::CheckLogSweep(lp, rateIn); !check.ok())
        throw CommandError{"the log sweep cannot run: " + measure::LogSweepCheckText(check)};
    if (!session.UseCorrections(true, false,
                                p.isSet("corrections")
                                    ? std::optional<bool>(ChoiceOption(p, "corrections", {"off", "on"}, 0) == 1)
                                    : std::nullopt))
        throw CommandError{session.Error()};

    Progress progress;
    measure::LogSweepDriver driver;
    driver.OnProgress = [&](std::int64_t recorded, std::int64_t due) {
        progress.Update(QString("logsweep: %1 %").arg(due > 0 ? 100 * recorded / due : 0));
    };
    const measure::LogSweepDriver::Outcome outcome = driver.Run(lp, ms.InputCorrection);
    if (outcome == measure::LogSweepDriver::Outcome::Interrupted)
        throw CommandError{"interrupted"};
    if (outcome == measure::LogSweepDriver::Outcome::Invalid)
        throw CommandError{"the log sweep cannot run: " + driver.Error()};
    if (outcome == measure::LogSweepDriver::Outcome::Failed)
        throw CommandError{driver.Error()};
    const dsp::LogSweepResult r = driver.Result();
    if (driver.Overloads() > 0)
        Warn(std::to_string(driver.Overloads()) + " clipped sample(s) in the recording");

    // The table: frequency, then per channel level, phase, harmonics, THD.
    measure::MeasurementDocument doc;
    doc.Kind = measure::MeasurementKind::LogSweep;
    measure::ResultTable &t = doc.Results;
    const std::size_t fCol = t.AddNumberColumn("frequency_hz", 3);
    struct Columns {
        std::size_t level, phase, thd;
        std::size_t h[dsp::kLogSweepMaxHarmonic - 1];
    };
    std::vector<Columns> cols;
    for (int c = 0; c < r.ChannelCount; ++c) {
        const std::string prefix = stereo ? ChannelName(r.Channels[c].Input) + "_" : std::string();
        Columns k{};
        k.level = t.AddNumberColumn(prefix + "level_db", 4);
        k.phase = t.AddNumberColumn(prefix + "phase_deg", 2);
        for (int h = 2; h <= lp.Harmonics; ++h)
            k.h[h - 2] = t.AddNumberColumn(prefix + "h" + std::to_string(h) + "_db", 2);
        k.thd = lp.Harmonics >= 2 ? t.AddNumberColumn(prefix + "thd_db", 2) : 0;
        cols.push_back(k);
        const std::string channel = stereo ? ChannelName(r.Channels[c].Input) : std::string();
        const std::string name = stereo ? channel : std::string("level");
        doc.Curves.push_back({name, "level", channel, 0, "frequency_hz", "Hz", prefix + "level_db",
                              stereo ? "dBFS" : "dB", prefix + "phase_deg"});
        for (int h = 2; h <= lp.Harmonics; ++h)
            doc.Curves.push_back({(stereo ? channel + " " : std::string()) + "H" + std::to_string(h), "harmonic",
                                  channel, h, "frequency_hz", "Hz", prefix + "h" + std::to_string(h) + "_db", "dB", ""});
        if (lp.Harmonics >= 2)
            doc.Curves.push_back({(stereo ? channel + " " : std::string()) + "THD", "thd", channel, 0, "frequency_hz",
                                  "Hz", prefix + "thd_db", "dB", ""});
    }
    bool pass = true;
    QJsonArray failures;
    for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
        const std::size_t row = t.AddRow();
        const double f = r.FrequencyHz[i];
        t.Set(row, fCol, f);
        for (int c = 0; c < r.ChannelCount; ++c) {
            const dsp::LogSweepChannelResult &ch = r.Channels[c];
            const Columns &k = cols[c];
            t.Set(row, k.level, ch.LevelDb[i]);
            t.Set(row, k.phase, ch.PhaseDeg[i]);
            for (int h = 2; h <= lp.Harmonics; ++h)
                t.Set(row, k.h[h - 2], ch.HarmonicDb[h - 2][i]);
            if (lp.Harmonics >= 2)
                t.Set(row, k.thd, ch.ThdDb[i]);
            if (!o.haveLimits)
                continue;
            auto fail = [&](const char *what, double value) {
                pass = false;
                QJsonObject failure{{"frequency_hz", Rounded(f, 3)}, {what, Rounded(value, 4)}};
                if (stereo)
                    failure.insert("channel", QString::fromStdString(ChannelName(ch.Input)));
                failures.append(failure);
            };
            if (std::isfinite(ch.LevelDb[i]) && !o.limits.CurvePasses(f, ch.LevelDb[i]))
                fail("level_db", ch.LevelDb[i]);
            if (lp.Harmonics >= 2 && std::isfinite(ch.ThdDb[i]) && !o.limits.ThdPasses(ch.ThdDb[i]))
                fail("thd_db", ch.ThdDb[i]);
        }
    }

    // Readings: the latency and what the run was.
    QJsonObject readings{{"latency_frames", static_cast<qint64>(r.LatencyFrames)},
                         {"latency_ms", Rounded(1000.0 * static_cast<double>(r.LatencyFrames) / r.Rate, 3)},
                         // How far the latency may be off: 0 exact, -1 not known (see logsweepdriver.h).
                         {"latency_uncertainty_frames", static_cast<qint64>(r.LatencyUncertaintyFrames)},
                         {"averages", r.Averages},
                         {"sweep_frames", static_cast<qint64>(driver.Analyser().design().SweepFrames)},
                         {"overloads", driver.Overloads()}};
    QJsonObject channelLatency;
    for (int c = 0; c < r.ChannelCount; ++c)
        channelLatency.insert(QString::fromStdString(ChannelName(r.Channels[c].Input)),
                              static_cast<qint64>(r.Channels[c].LatencyFrames));
    readings.insert("input_latency_frames", channelLatency);
    doc.Readings = readings;
    SetStreamWarnings(doc, driver.Warnings());

    // The impulse response: written whole or not at all.
    if (!irFile.empty()) {
        const int channels = r.ChannelCount;
        std::int64_t frames = 0;
        std::string bytes, error;
        if (!measure::EncodeImpulseWave(r, bytes, frames, error))
            throw CommandError{"the impulse response could not be encoded: " + error};
        if (const int rc = platform::WriteTextFile(irFile, bytes))
            throw CommandError{"the impulse response could not be written to " + irFile + ": " +
                               platform::FileErrorText(rc)};
        for (int c = 0; c < channels; ++c)
            doc.Impulses.push_back({stereo ? ChannelName(r.Channels[c].Input) : std::string(), irFile, std::string(),
                                    r.Rate, frames, r.Channels[c].ImpulseZero});
    }

    measure::MeasurementSettings &s = doc.Settings;
    measure::StampProgram(s, "sonalyx-measure");
    s.Command = "logsweep";
    const QJsonObject described = session.Describe();
    s.Extra = described;
    if (described.value("settings_file").isString())
        s.SettingsFile = described.value("settings_file").toString().toStdString();
    measure::LogSweepSetting ls;
    const dsp::LogSweepDesign &d = driver.Analyser().design();
    ls.FromHz = lp.FromHz;
    ls.ToHz = lp.ToHz;
    ls.Seconds = d.seconds();
    ls.LevelDb = lp.LevelDb;
    ls.FadeInOctaves = lp.FadeInOctaves;
    ls.FadeOutOctaves = lp.FadeOutOctaves;
    ls.TailSeconds = lp.TailSeconds;
    ls.Mode = kModes[lp.Mode].toStdString();
    ls.Averages = lp.Averages;
    ls.Harmonics = lp.Harmonics;
    ls.WindowMs = lp.WindowMs;
    ls.Smoothing = lp.Smoothing;
    ls.PointsPerOctave = lp.PointsPerOctave;
    s.LogSweep = ls;
    doc.Title = o.title;
    doc.Remark = o.remark;
    if (o.haveLimits) {
        const QJsonObject lo = LimitsObject(o, pass, failures);
        doc.Limits = measure::LimitsOutcome{lo.value("file").toString().toStdString(),
                                            lo.value("sha256").toString().toStdString(), pass, failures};
    }
    WriteOut(o.json ? measure::DocumentToJson(doc) : QByteArray::fromStdString(TableCsv(t)));
    if (!pass)
        std::fprintf(stderr, "FAIL: %d point(s) outside the limits of %s\n", int(failures.size()),
                     TerminalSafe(o.limitsFile).c_str());
    return pass ? kPass : kFail;
}

} // namespace cli
