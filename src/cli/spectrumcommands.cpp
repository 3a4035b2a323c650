// The analyser commands of sonalyx-measure: spectrum (level per bin), thdn
// and level (one number per channel). A round of blocks is captured and
// averaged as on the analyser page (measurement/spectrummeasurement.h);
// levels, THD+N and band levels come from the same units as the page's.
// JSON goes out as a result document of kind "spectrum" (curves "left" and
// "right"), "thdn" or "level" (a row per channel, no curves).
#include "cli/commands.h"
#include "cli/commandsupport.h"

#include "audio/outputengine.h"
#include "measurement/document/measurementsettings.h"
#include "measurement/levelunits.h"
#include "dsp/analysis.h"
#include "dsp/weighting.h"
#include "measurement/blockwait.h"
#include "measurement/spectrumblock.h"
#include "measurement/spectrummeasurement.h"

#include <cmath>
#include <tuple>

namespace cli {

namespace {

enum class Kind { Spectrum, ThdN, Level };

const QStringList kUnits{"dbfs", "dbv", "dbu", "dbm"};
const QStringList kUnitNames{"dBFS", "dBV", "dBu", "dBm"};

QStringList WindowChoices()
{
    QStringList w;
    for (int i = 0; i < dsp::kWindowTypeCount; ++i)
        w << QString(dsp::WindowItemText(i)).toLower();
    return w;
}

void AddSpectrumOptions(QCommandLineParser &p, Kind kind)
{
    p.addOptions({
        {"fft", "FFT size: 2048, 4096, 8192 or 16384 (default: as stored).", "n"},
        {"window", "Window: " + WindowChoices().join(", ") + " (default: as stored).", "name"},
        {"averages", "Blocks averaged (default: as stored).", "n"},
        {"channels", "Channels: left, right or both (default both).", "which", "both"},
        {"unit", "Level unit: dBFS, dBV, dBu or dBm (default: as stored).", "unit"},
        {"corrections", "Input correction: on or off (default: as stored).", "on|off"},
    });
    if (kind == Kind::Spectrum)
        return;
    p.addOptions({
        {"low", "Lower band limit in Hz (default: as stored).", "hz"},
        {"high", "Upper band limit in Hz (default: as stored).", "hz"},
        {"filter", "Weighting filter by name (\"none\", \"A Weighting\", ...; USER with --filter-file).", "name"},
        {"filter-file", "Correction file used as the USER weighting.", "file"},
    });
    if (kind == Kind::ThdN)
        p.addOptions({
            {"fundamental", "Fundamental in Hz, or auto (default: as stored).", "hz|auto"},
            {"threshold", "Threshold in dB a bin must exceed to be the fundamental (default: as stored).", "db"},
        });
}

// The analysis settings of the settings file with the options applied.
void SetUpAnalysis(const QCommandLineParser &p, const MeasureSession &session, Kind kind, dsp::SpectrumAnalysis &a)
{
    a.readSettingsFile(session.SettingsCopy());
    dsp::AnalysisSettings &s = a.settings();
    s.lowFreq = IntOption(p, "low", s.lowFreq, 0, 1000000);
    s.highFreq = IntOption(p, "high", s.highFreq, 0, 1000000);
    if (s.highFreq <= s.lowFreq)
        throw CommandError{"the upper band limit must be above the lower one"};
    if (kind == Kind::ThdN) {
        if (p.value("fundamental").toLower() == "auto") {
            s.fundAuto = true;
        } else if (p.isSet("fundamental")) {
            s.fundAuto = false;
            s.fundamental = IntOption(p, "fundamental", 1000, 1, 1000000);
        }
        if (p.isSet("threshold"))
            s.threshold = std::pow(10.0, RealOption(p, "threshold", -60.0, -300.0, 0.0) / 20.0);
    }
    std::string filter = p.isSet("filter") ? p.value("filter").toStdString() : s.filterName;
    if (p.isSet("filter-file")) {
        std::string error;
        if (!MeasureSession::LoadCorrection(a.weighting(), LocalFileName(p.value("filter-file")), error))
            throw CommandError{error};
        if (!p.isSet("filter"))
            filter = dsp::kWeightingUser;
    } else if (p.isSet("filter") && filter == dsp::kWeightingUser) {
        throw CommandError{"the USER filter needs --filter-file"};
    }
    if (filter != dsp::kWeightingUser && !dsp::FindWeightingTable(filter))
        throw CommandError{"unknown filter \"" + filter + "\""};
    a.selectFilter(filter);
}

QJsonObject DescribeAnalysis(const dsp::SpectrumAnalysis &a, Kind kind)
{
    const dsp::AnalysisSettings &s = a.settings();
    QJsonObject o{{"low_hz", s.lowFreq}, {"high_hz", s.highFreq}, {"filter", QString::fromStdString(s.filterName)}};
    if (a.weighting().active() && !a.weighting().fileName().empty()) {
        o.insert("filter_file", QString::fromStdString(a.weighting().fileName()));
        o.insert("filter_sha256", QString::fromStdString(measure::FileSha256(a.weighting().fileName())));
    }
    if (kind == Kind::ThdN) {
        o.insert("fundamental", s.fundAuto ? QJsonValue("auto") : QJsonValue(s.fundamental));
        o.insert("threshold_db", Rounded(20.0 * std::log10(s.threshold), 2));
    }
    return o;
}

int RunSpectrumKind(const QStringList &arguments, Kind kind)
{
    QCommandLineParser p;
    AddCommonOptions(p, true);
    AddSpectrumOptions(p, kind);
    AddGeneratorOptions(p);
    const char *what = kind == Kind::Spectrum ? "Measures the spectrum: frequency and level per bin and channel."
                       : kind == Kind::ThdN   ? "Measures THD+N per channel, with its fundamental."
                                              : "Measures the weighted band level per channel.";
    if (!ParseArguments(p, arguments, QString(what) + " Runs one averaged round on the input device."))
        return kPass;

    MeasureSession session;
    std::optional<audio::GeneratorSettings> generator = GeneratorFromOptions(p);
    const CommonOptions o = OpenWithCommonOptions(p, session, generator.has_value(), true);
    if (kind == Kind::Spectrum)
        RequireCheckableLimits(o, {measure::LimitKind::Curve});
    else if (kind == Kind::ThdN)
        RequireCheckableLimits(o, {measure::LimitKind::ThdNMax});
    else
        RequireCheckableLimits(o, {measure::LimitKind::LevelMin, measure::LimitKind::LevelMax});
    app::MeasurementState &ms = session.State();

    measure::SpectrumSetup setup;
    setup.FftSize = dsp::FftSizeIndex(ms.FftSize) >= 0 ? ms.FftSize : dsp::FftSizeForIndex(0);
    if (p.isSet("fft")) {
        bool ok = false;
        setup.FftSize = p.value("fft").toInt(&ok);
        if (!ok || dsp::FftSizeIndex(setup.FftSize) < 0)
            throw CommandError{"--fft must be 2048, 4096, 8192 or 16384"};
    }
    setup.Window = ChoiceOption(p, "window", WindowChoices(), ms.FftWindow);
    setup.Averages = IntOption(p, "averages", ms.Averages, 1, 9999);
    const int channels = ChoiceOption(p, "channels", {"left", "right", "both"}, 2);
    setup.Left = channels != 1;
    setup.Right = channels != 0;
    const int unit = ChoiceOption(p, "unit", kUnits, ms.LevelUnit);
    // The analyser applies the input correction only.
    if (!session.UseCorrections(true, false,
                                p.isSet("corrections")
                                    ? std::optional<bool>(ChoiceOption(p, "corrections", {"off", "on"}, 0) == 1)
                                    : std::nullopt))
        throw CommandError{session.Error()};
    dsp::SpectrumAnalysis analysis;
    if (kind != Kind::Spectrum)
        SetUpAnalysis(p, session, kind, analysis);

    if (generator) {
        StartGenerator(*generator);
        measure::WaitMs(200); // the output reaches the input
    }
    Progress progress;
    measure::SpectrumMeasurement m;
    const bool ok = m.Run(setup);
    // Asked while the streams still run: the output stops next.
    const std::vector<audio::StreamWarning> warnings = audio::CurrentStreamWarnings(generator.has_value());
    audio::StopOutput();
    if (!ok)
        throw CommandError{m.Error()};
    progress.Update("done");

    const display::LevelScale scale =
        display::GetLevelScale(unit, ms.LevelFactor, ms.LevelOffset, ms.InputCalibration, 5);
    QJsonObject settings = session.Describe();
    settings.insert("spectrum", QJsonObject{{"fft_size", setup.FftSize},
                                            {"window", dsp::WindowItemText(setup.Window)},
                                            {"averages", setup.Averages},
                                            {"unit", kUnitNames[unit]},
                                            {"unit_shift_db", Rounded(scale.Shift, 4)},
                                            {"overloads", m.Overloads()}});
    if (kind != Kind::Spectrum)
        settings.insert("analysis", DescribeAnalysis(analysis, kind));
    if (generator)
        settings.insert("generator", DescribeGenerator(*generator));
    measure::MeasurementDocument doc =
        kind == Kind::Spectrum ? CommandDocument(measure::MeasurementKind::Spectrum, "spectrum", o, settings)
        : kind == Kind::ThdN   ? CommandDocument(measure::MeasurementKind::ThdN, "thdn", o, settings)
                               : CommandDocument(measure::MeasurementKind::Level, "level", o, settings);
    SetStreamWarnings(doc, warnings);
    measure::ResultTable &t = doc.Results;

    bool pass = true;
    QJsonArray failures;
    const std::string unitName = kUnitNames[unit].toStdString();
    // Clipped samples make every number of the round suspect: each row says
    // how many there were, and standard error warns.
    const int overloads = m.Overloads();
    if (overloads > 0)
        Warn(std::to_string(overloads) + " clipped sample(s) in the measured blocks: the input was overloaded");
    if (kind == Kind::Spectrum) {
        const std::size_t fc = t.AddNumberColumn("frequency_hz");
        const std::size_t lc = t.AddNumberColumn("left_" + unitName);
        const std::size_t rc = t.AddNumberColumn("right_" + unitName);
        const std::size_t oc = t.AddNumberColumn("overloads");
        // A channel that is off has a column of the no-signal level, as
        // always, but no curve.
        for (const auto &[name, on] : {std::pair{"left", setup.Left}, std::pair{"right", setup.Right}})
            if (on)
                doc.Curves.push_back({name, "level", name, 0, "frequency_hz", "Hz", name + ("_" + unitName), unitName, ""});
        for (int i = 0; i < m.Bins(); ++i) {
            const float f = dsp::BinFrequency(i, setup.FftSize, m.Rate());
            const double l = measure::SpectrumBinLevel(m.Left()[i], setup.Left, scale.Factor, scale.Offset,
                                                       ms.InputCorrection, f);
            const double r = measure::SpectrumBinLevel(m.Right()[i], setup.Right, scale.Factor, scale.Offset,
                                                       ms.InputCorrection, f);
            const std::size_t row = t.AddRow();
            t.Set(row, fc, Rounded(f, 3));
            t.Set(row, lc, Rounded(l, 4));
            t.Set(row, rc, Rounded(r, 4));
            t.Set(row, oc, overloads);
            for (const auto &[name, on, v] : {std::tuple{"left", setup.Left, l}, std::tuple{"right", setup.Right, r}})
                if (o.haveLimits && on && !o.limits.CurvePasses(f, v)) {
                    pass = false;
                    failures.append(QJsonObject{{"channel", name}, {"frequency_hz", Rounded(f, 3)}, {"level", Rounded(v, 4)}});
                }
        }
    } else {
        dsp::AnalysisSettings &s = analysis.settings();
        s.sampleRate = m.Rate();
        s.fftSize = setup.FftSize;
        s.windowType = setup.Window;
        const std::size_t cc = t.AddTextColumn("channel");
        const std::size_t fc = kind == Kind::ThdN ? t.AddNumberColumn("fundamental_hz") : 0;
        const std::size_t vc = t.AddNumberColumn(kind == Kind::ThdN ? "thdn_db" : "level_" + unitName);
        const std::size_t oc = t.AddNumberColumn("overloads");
        for (const auto &[name, on, spectrum] :
             {std::tuple{"left", setup.Left, m.Left()}, std::tuple{"right", setup.Right, m.Right()}}) {
            if (!on)
                continue;
            const std::size_t row = t.AddRow();
            t.Set(row, cc, std::string(name));
            t.Set(row, oc, overloads);
            if (kind == Kind::ThdN) {
                const double thd = analysis.thdN(spectrum, dsp::kLnToDb);
                // Without a fundamental the computation gives the band's
                // absolute level, and -192 stands for no signal at all:
                // neither is a THD+N, and neither passes a limit. The row
                // has no value there (null in JSON, empty in CSV).
                const bool measured = s.fundamental != 0.0 && thd > dsp::kNoSignalDb;
                const QJsonValue none(QJsonValue::Null);
                if (s.fundamental != 0.0)
                    t.Set(row, fc, Rounded(s.fundamental, 2));
                if (measured)
                    t.Set(row, vc, Rounded(thd, 4));
                if (!measured)
                    Warn(std::string(name) + " channel: " +
                         (s.fundamental == 0.0 ? "no fundamental" : "no signal") + ", no THD+N value");
                if (o.haveLimits && (!measured || !o.limits.ThdNPasses(thd))) {
                    pass = false;
                    failures.append(
                        QJsonObject{{"channel", name}, {"thdn_db", measured ? QJsonValue(Rounded(thd, 4)) : none}});
                }
            } else {
                const double level = analysis.bandLevel(spectrum, scale.Shift, dsp::kLnToDb);
                t.Set(row, vc, Rounded(level, 4));
                if (o.haveLimits && !o.limits.LevelPasses(level)) {
                    pass = false;
                    failures.append(QJsonObject{{"channel", name}, {"level", Rounded(level, 4)}});
                }
            }
        }
    }
    SetLimitsOutcome(doc, o, pass, failures);
    WriteDocument(doc, o.json);
    if (!pass)
        std::fprintf(stderr, "FAIL: %d value(s) outside the limits of %s\n", int(failures.size()), TerminalSafe(o.limitsFile).c_str());
    return pass ? kPass : kFail;
}

} // namespace

int RunSpectrum(const QStringList &arguments) { return RunSpectrumKind(arguments, Kind::Spectrum); }
int RunThdN(const QStringList &arguments) { return RunSpectrumKind(arguments, Kind::ThdN); }
int RunLevel(const QStringList &arguments) { return RunSpectrumKind(arguments, Kind::Level); }

} // namespace cli
