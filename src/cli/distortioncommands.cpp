// The distortion commands of sonalyx-measure: thd (one tone: fundamental,
// H2 .. H9, THD, THD+N and noise), imd (the two-tone signals of SMPTE, DIN
// and CCIF), noise (idle noise unweighted, A-weighted and in the AES17
// band) and dynamic-range (AES17: a -60 dBFS tone's THD+N). Each plays its
// stimulus on both outputs, settles, captures one or more blocks and reads
// them with the distortion readings of dsp/harmonics.h and
// dsp/intermodulation.h; the results go out as CSV or as a result document.
//
// Spectra are averaged as powers (measurement/powerspectra.h).
#include "cli/commands.h"
#include "cli/commandsupport.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/streamwarnings.h"
#include "audio/wavefileoutput.h"
#include "dsp/analysis.h"
#include "dsp/harmonics.h"
#include "dsp/intermodulation.h"
#include "dsp/tonepower.h"
#include "dsp/weighting.h"
#include "measurement/blockwait.h"
#include "measurement/document/measurementfile.h"
#include "measurement/distortionsweep.h"
#include "measurement/levelunits.h"
#include "measurement/noisemeasurement.h"
#include "measurement/powerspectra.h"
#include "platform/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace cli {

namespace {

const QStringList kChannels{"left", "right", "both"};
const QStringList kBandwidths{"full", "20k", "40k"};
const QStringList kStandards{"smpte", "din", "ccif"};

QStringList WindowChoices()
{
    QStringList w;
    for (int i = 0; i < dsp::kWindowTypeCount; ++i)
        w << QString(dsp::WindowItemText(i)).toLower();
    return w;
}

// Four significant digits: percentages span many decades.
double Significant(double v)
{
    if (!(v > 0.0) || !std::isfinite(v))
        return v;
    const int digits = 3 - static_cast<int>(std::floor(std::log10(v)));
    return Rounded(v, digits);
}

// A level that stands for "nothing at all" is no number to print.
double OrNothing(double db) { return db > dsp::kNoSignalDb ? db : std::nan(""); }

// ---- capture --------------------------------------------------------------

void AddCaptureOptions(QCommandLineParser &p, bool withBand)
{
    p.addOptions({
        {"fft", "FFT size: 2048, 4096, 8192 or 16384 (default 16384).", "n", "16384"},
        {"window", "Window: " + WindowChoices().join(", ") + " (default rife-vinc3; the distortion readings want "
                   "bla/harris, flat-top or rife-vinc1..3).", "name", "rife-vinc3"},
        {"averages", "Blocks whose powers are averaged (default 1).", "n", "1"},
        {"channels", "Channels: left, right or both (default both).", "which", "both"},
        {"settle", "Time in ms the stimulus plays before the capture (default 300).", "ms", "300"},
        {"output-mode", "Output mode: stream or loop (default stream).", "stream|loop", "stream"},
    });
    if (!withBand)
        return;
    p.addOptions({
        {"bandwidth", "Upper band edge: full (half the rate), 20k or 40k (the AES17 low-pass).", "edge"},
        {"low", "Lower band edge in Hz (default 20).", "hz", "20"},
        {"weighting", "Weighting: none or a (IEC 61672 A-weighting; default none).", "none|a"},
        {"filter", "One of the analyser's weighting filters by name (USER with --filter-file), instead of "
                   "--weighting.", "name"},
        {"filter-file", "Correction file used as the USER weighting.", "file"},
    });
}

struct CaptureOptions {
    measure::SpectrumSetup setup;
    int averages = 1;
    int settleMs = 300;
};

CaptureOptions ReadCaptureOptions(const QCommandLineParser &p)
{
    CaptureOptions c;
    bool ok = false;
    c.setup.FftSize = p.value("fft").toInt(&ok);
    if (!ok || dsp::FftSizeIndex(c.setup.FftSize) < 0)
        throw CommandError{"--fft must be 2048, 4096, 8192 or 16384"};
    c.setup.Window = ChoiceOption(p, "window", WindowChoices(), dsp::kWindowRifeVincent3);
    c.averages = IntOption(p, "averages", 1, 1, 1000);
    c.setup.Averages = 1;
    const int channels = ChoiceOption(p, "channels", kChannels, 2);
    c.setup.Left = channels != 1;
    c.setup.Right = channels != 0;
    c.settleMs = IntOption(p, "settle", 300, 0, 60000);
    audio::SetLoop(ChoiceOption(p, "output-mode", {"stream", "loop"}, 0) == 1);
    if (!dsp::WindowShapeOf(c.setup.Window).fitForDistortion)
        Warn(std::string("the window ") + dsp::WindowItemText(c.setup.Window) +
             " leaks the tone into the residual; bla/harris, flat-top or rife-vinc1..3 are fit for distortion");
    return c;
}

// Spectra of `averages` blocks, averaged as powers, with the progress line
// and the overload warning.
class PowerSpectra {
public:
    void Run(const CaptureOptions &c, Progress &progress, const char *command)
    {
        const bool ok = m_.Run(c.setup, c.averages, [&](int block) {
            progress.Update(QString("%1: block %2 of %3").arg(command).arg(block + 1).arg(c.averages));
        });
        if (!ok)
            throw CommandError{m_.Error()};
        if (m_.Overloads() > 0)
            Warn(std::to_string(m_.Overloads()) + " clipped sample(s) in the measured blocks: the input was overloaded");
        // Before the output stops.
        warnings_ = audio::CurrentStreamWarnings(true);
    }
    const std::vector<audio::StreamWarning> &Warnings() const { return warnings_; }
    const float *Channel(bool right) const { return m_.Channel(right); }
    int Overloads() const { return m_.Overloads(); }
    int Rate() const { return m_.Rate(); }

private:
    measure::PowerSpectra m_;
    std::vector<audio::StreamWarning> warnings_;
};

// ---- the band -------------------------------------------------------------

struct Band {
    dsp::MeasurementBand band;
    dsp::SpectrumAnalysis analysis; // holds the weighting curve of --filter
    std::string weightingName = "none";
    std::string filterFile;
};

void ReadBand(const QCommandLineParser &p, Band &b, dsp::BandLimit fallback, double rate)
{
    b.band.limit = static_cast<dsp::BandLimit>(
        ChoiceOption(p, "bandwidth", kBandwidths, static_cast<int>(fallback)));
    b.band.lowHz = RealOption(p, "low", 20.0, 0.0, 1e6);
    if (b.band.limit != dsp::BandLimit::HalfRate && !(dsp::Aes17EdgeHz(b.band.limit) < rate / 2.0))
        Warn("the band edge " + std::to_string(static_cast<int>(dsp::Aes17EdgeHz(b.band.limit))) +
             " Hz is not below half the rate: the band ends at " + std::to_string(static_cast<int>(rate / 2.0)) + " Hz");
    if (!(b.band.lowHz < dsp::BandUpperHz(b.band, rate)))
        throw CommandError{"the lower band edge must be below the upper one (" +
                           std::to_string(static_cast<int>(dsp::BandUpperHz(b.band, rate))) + " Hz)"};
    if (p.isSet("filter") || p.isSet("filter-file")) {
        if (p.isSet("weighting"))
            throw CommandError{"--weighting and --filter exclude each other"};
        std::string filter = p.isSet("filter") ? p.value("filter").toStdString() : dsp::kWeightingUser;
        if (p.isSet("filter-file")) {
            b.filterFile = LocalFileName(p.value("filter-file"));
            std::string error;
            if (!MeasureSession::LoadCorrection(b.analysis.weighting(), b.filterFile, error))
                throw CommandError{error};
        } else if (filter == dsp::kWeightingUser) {
            throw CommandError{"the USER filter needs --filter-file"};
        }
        if (filter != dsp::kWeightingUser && !dsp::FindWeightingTable(filter))
            throw CommandError{"unknown filter \"" + filter + "\""};
        b.analysis.selectFilter(filter);
        if (filter != dsp::kWeightingNone) {
            b.band.weighting = dsp::BandWeighting::Curve;
            b.band.curve = &b.analysis.weighting();
        }
        b.weightingName = filter;
        return;
    }
    if (ChoiceOption(p, "weighting", {"none", "a"}, 0) == 1) {
        b.band.weighting = dsp::BandWeighting::A;
        b.weightingName = "A";
    }
}

QJsonObject DescribeBand(const Band &b, double rate)
{
    QJsonObject o{{"low_hz", b.band.lowHz},
                  {"high_hz", dsp::BandUpperHz(b.band, rate)},
                  {"bandwidth", kBandwidths[static_cast<int>(b.band.limit)]},
                  {"weighting", QString::fromStdString(b.weightingName)},
                  {"text", QString::fromStdString(dsp::BandText(b.band, rate, 'E', b.weightingName))}};
    if (!b.filterFile.empty()) {
        o.insert("filter_file", QString::fromStdString(b.filterFile));
        o.insert("filter_sha256", QString::fromStdString(measure::FileSha256(b.filterFile)));
    }
    return o;
}

// ---- running and writing ---------------------------------------------------

int InputRate()
{
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    return rateIn;
}

int OutputRate()
{
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    return rateOut;
}

// A wave file played instead of the command's own signal (--wave), as the
// generator's User wave plays it: the file's samples as they are, repeated
// endlessly. Empty when not given.
std::string WaveFileOption(const QCommandLineParser &p, std::initializer_list<const char *> excluded)
{
    if (!p.isSet("wave"))
        return {};
    for (const char *option : excluded)
        if (p.isSet(option))
            throw CommandError{std::string("--") + option + " and --wave exclude each other: the file is played as it is"};
    return LocalFileName(p.value("wave"));
}

QJsonObject DescribeWaveFile(const std::string &file)
{
    return QJsonObject{{"wave", "user"}, {"file", QString::fromStdString(file)},
                       {"file_sha256", QString::fromStdString(measure::FileSha256(file))}};
}

// Plays `g` (nothing when null) or the wave file `waveFile`, lets it settle
// and captures.
void PlayAndCapture(audio::GeneratorSettings *g, const CaptureOptions &c, PowerSpectra &spectra, const char *command,
                    const std::string &waveFile = {})
{
    if (!waveFile.empty()) {
        if (const int rc = audio::StartWaveFileOutput(waveFile))
            throw CommandError{"the wave file \"" + TerminalSafe(waveFile) + "\" cannot be played: " +
                               (rc == audio::MMSYSERR_ERROR ? std::string("it cannot be read")
                                                            : audio::ErrorText(rc))};
    } else if (g) {
        StartGenerator(*g);
        if (audio::GetLoop() && audio::LoopPrecision() != 0)
            Warn("the loop does not hold whole periods of the signal, so it clicks where it repeats; "
                 "--output-mode stream plays it without");
    }
    measure::WaitMs(c.settleMs);
    Progress progress;
    try {
        spectra.Run(c, progress, command);
    } catch (...) {
        audio::StopOutput();
        throw;
    }
    audio::StopOutput();
    if (measure::InterruptRequested())
        throw CommandError{"interrupted"};
}

measure::MeasurementDocument NewDocument(measure::MeasurementKind kind, const char *command, const MeasureSession &session,
                                         const CaptureOptions &c, int overloads, QJsonObject extra)
{
    measure::MeasurementDocument doc;
    doc.Kind = kind;
    measure::MeasurementSettings &s = doc.Settings;
    measure::StampProgram(s, "sonalyx-measure");
    s.Command = command;
    QJsonObject described = session.Describe();
    if (described.value("settings_file").isString())
        s.SettingsFile = described.value("settings_file").toString().toStdString();
    described.insert("spectrum", QJsonObject{{"fft_size", c.setup.FftSize},
                                             {"window", dsp::WindowItemText(c.setup.Window)},
                                             {"averages", c.averages},
                                             {"averaging", "power"},
                                             {"unit", "dBFS"},
                                             {"unit_shift_db", 0},
                                             {"overloads", overloads}});
    for (auto it = extra.begin(); it != extra.end(); ++it)
        described.insert(it.key(), it.value());
    s.Extra = described;
    return doc;
}

int Finish(measure::MeasurementDocument &doc, const CommonOptions &o, bool pass, const QJsonArray &failures)
{
    doc.Title = o.title;
    doc.Remark = o.remark;
    if (o.haveLimits) {
        const QJsonObject lo = LimitsObject(o, pass, failures);
        doc.Limits = measure::LimitsOutcome{lo.value("file").toString().toStdString(),
                                            lo.value("sha256").toString().toStdString(), pass, failures};
    }
    WriteDocument(doc, o.json);
    if (!pass)
        std::fprintf(stderr, "FAIL: %d value(s) outside the limits of %s\n", int(failures.size()),
                     TerminalSafe(o.limitsFile).c_str());
    return pass ? kPass : kFail;
}

struct ChannelPick {
    const char *name;
    bool right;
};

std::vector<ChannelPick> Picked(const measure::SpectrumSetup &s)
{
    std::vector<ChannelPick> out;
    if (s.Left)
        out.push_back({"left", false});
    if (s.Right)
        out.push_back({"right", true});
    return out;
}

// The tone must lie below half the rate, inside the band, and far enough
// from 0 Hz for the window to tell its harmonics apart.
void CheckTone(double frequency, const dsp::MeasurementBand &band, const CaptureOptions &c, double rate)
{
    const double half = std::min(rate, static_cast<double>(OutputRate())) / 2.0;
    if (!(frequency < half))
        throw CommandError{"the tone (" + platform::FormatShortest(frequency) +
                           " Hz) lies above half the sample rate (" + platform::FormatShortest(half) + " Hz)"};
    const double upper = dsp::BandUpperHz(band, rate);
    if (frequency > upper)
        throw CommandError{dsp::DistortionStatusText(dsp::DistortionStatus::FundamentalAboveBand, 'E', frequency,
                                                     upper)};
    const double binHz = rate / c.setup.FftSize;
    if (frequency / binHz < 2 * dsp::WindowShapeOf(c.setup.Window).lobeBins + 1)
        throw CommandError{dsp::DistortionStatusText(dsp::DistortionStatus::NotResolved, 'E', frequency, binHz)};
}


// The run setup of the noise commands: the capture options, with the
// progress line told each block.
measure::NoiseRunSetup RunSetup(const CaptureOptions &c, Progress &progress, const char *command)
{
    measure::NoiseRunSetup s;
    s.Spectrum = c.setup;
    s.Averages = c.averages;
    s.SettleMs = c.settleMs;
    s.OnBlock = [&progress, command, averages = c.averages](int block) {
        progress.Update(QString("%1: block %2 of %3").arg(command).arg(block + 1).arg(averages));
    };
    return s;
}

// What the noise commands say of a run besides its readings; a run that did
// not complete ends the command.
void CheckRun(const measure::NoiseRunOutcome &r)
{
    if (r.LoopClicks)
        Warn("the loop does not hold whole periods of the signal, so it clicks where it repeats; "
             "--output-mode stream plays it without");
    if (!r.Ok)
        throw CommandError{r.Error};
    if (r.Overloads > 0)
        Warn(std::to_string(r.Overloads) + " clipped sample(s) in the measured blocks: the input was overloaded");
}

} // namespace

// ---- thd ---------------------------------------------------------------------

int RunThd(const QStringList &arguments)
{
    QCommandLineParser p;
    AddCommonOptions(p, true);
    AddCaptureOptions(p, true);
    p.addOptions({
        {"frequency", "Tone frequency in Hz (default 1000).", "hz", "1000"},
        {"level", "Tone level in dB re full scale, a whole number from -99 to 0 (default -6).", "db", "-6"},
        {"wave", "Plays this wave file (as the generator's User wave) instead of the sine; --frequency names its "
                 "tone.", "file"},
    });
    if (!ParseArguments(p, arguments, "Plays a sine and measures its fundamental, the harmonics H2 to H9 (dB re "
                                      "the fundamental and %), THD, THD+N and the noise per channel."))
        return kPass;
    MeasureSession session;
    const CommonOptions o = OpenWithCommonOptions(p, session, true, true);
    RequireCheckableLimits(o, {measure::LimitKind::ThdMax});
    if (!session.UseCorrections(false, false))
        throw CommandError{session.Error()};
    const CaptureOptions c = ReadCaptureOptions(p);
    const double rate = InputRate();
    Band band;
    ReadBand(p, band, dsp::BandLimit::HalfRate, rate);
    const double frequency = RealOption(p, "frequency", 1000.0, 1.0, 96000.0);
    const int level = IntOption(p, "level", -6, -99, 0);
    const std::string waveFile = WaveFileOption(p, {"level"});
    CheckTone(frequency, band.band, c, rate);

    audio::GeneratorSettings g = measure::SineSettings(frequency, level);
    PowerSpectra spectra;
    PlayAndCapture(&g, c, spectra, "thd", waveFile);

    QJsonObject extra{{"generator", waveFile.empty() ? DescribeGenerator(g) : DescribeWaveFile(waveFile)},
                      {"band", DescribeBand(band, spectra.Rate())}};
    measure::MeasurementDocument doc =
        NewDocument(measure::MeasurementKind::Thd, "thd", session, c, spectra.Overloads(), extra);
    SetStreamWarnings(doc, spectra.Warnings());
    measure::ResultTable &t = doc.Results;
    const std::size_t chCol = t.AddTextColumn("channel");
    const std::size_t fCol = t.AddNumberColumn("fundamental_hz", 3);
    const std::size_t lCol = t.AddNumberColumn("fundamental_dbfs", 3);
    std::size_t hDb[dsp::kHarmonicCount], hPc[dsp::kHarmonicCount];
    for (int k = 2; k <= dsp::kHighestHarmonic; ++k)
        hDb[k - 2] = t.AddNumberColumn("h" + std::to_string(k) + "_db", 3);
    for (int k = 2; k <= dsp::kHighestHarmonic; ++k)
        hPc[k - 2] = t.AddNumberColumn("h" + std::to_string(k) + "_percent");
    const std::size_t thdDb = t.AddNumberColumn("thd_db", 3), thdPc = t.AddNumberColumn("thd_percent");
    const std::size_t thdnDb = t.AddNumberColumn("thdn_db", 3), thdnPc = t.AddNumberColumn("thdn_percent");
    const std::size_t noiseDb = t.AddNumberColumn("noise_db", 3), noisePc = t.AddNumberColumn("noise_percent");
    const std::size_t noiseDbfs = t.AddNumberColumn("noise_dbfs", 3);
    const std::size_t ovCol = t.AddNumberColumn("overloads", 0);

    dsp::HarmonicSetup hs;
    hs.fundamentalHz = frequency;
    hs.band = band.band;
    bool pass = true;
    QJsonArray failures;
    std::string omitted;
    bool windowFit = false;
    for (const ChannelPick &ch : Picked(c.setup)) {
        const dsp::HarmonicReading r =
            dsp::AnalyseHarmonics(spectra.Channel(ch.right), c.setup.FftSize, spectra.Rate(), c.setup.Window, hs);
        windowFit = r.windowFit;
        const std::size_t row = t.AddRow();
        t.Set(row, chCol, std::string(ch.name));
        t.Set(row, ovCol, spectra.Overloads());
        const bool ok = r.status == dsp::DistortionStatus::Ok;
        if (!ok) {
            Warn(std::string(ch.name) + " channel: " + dsp::HarmonicStatusText(r, 'E'));
        } else {
            t.Set(row, fCol, r.fundamentalHz);
            t.Set(row, lCol, r.fundamentalDbfs);
            for (int k = 2; k <= dsp::kHighestHarmonic; ++k) {
                const dsp::Component &h = r.harmonic(k);
                if (h.state != dsp::ComponentState::Measured)
                    continue;
                t.Set(row, hDb[k - 2], OrNothing(h.levelDb));
                t.Set(row, hPc[k - 2], Significant(h.percent()));
            }
            t.Set(row, thdDb, OrNothing(r.thdDb));
            t.Set(row, thdPc, Significant(100.0 * r.thd));
            t.Set(row, thdnDb, OrNothing(r.thdnDb));
            t.Set(row, thdnPc, Significant(100.0 * r.thdn));
            t.Set(row, noiseDb, OrNothing(r.noiseDb));
            t.Set(row, noisePc, Significant(100.0 * r.noise));
            t.Set(row, noiseDbfs, OrNothing(r.noiseDbfs));
            omitted = dsp::HarmonicsOmittedText(r, 'E');
        }
        if (o.haveLimits && (!ok || !o.limits.ThdPasses(r.thdDb))) {
            pass = false;
            failures.append(QJsonObject{{"channel", ch.name},
                                        {"thd_db", ok ? QJsonValue(Rounded(r.thdDb, 3)) : QJsonValue(QJsonValue::Null)}});
        }
    }
    if (!omitted.empty())
        Warn(omitted);
    QJsonObject readings{{"band", QString::fromStdString(dsp::BandText(band.band, spectra.Rate(), 'E', band.weightingName))},
                         {"window_fit", windowFit}};
    if (!omitted.empty())
        readings.insert("harmonics_left_out", QString::fromStdString(omitted));
    doc.Readings = readings;
    return Finish(doc, o, pass, failures);
}

// ---- imd ---------------------------------------------------------------------

int RunImd(const QStringList &arguments)
{
    QCommandLineParser p;
    AddCommonOptions(p, true);
    AddCaptureOptions(p, false);
    p.addOptions({
        {"standard", "smpte (60 Hz + 7 kHz, 4:1), din (250 Hz + 8 kHz, 4:1) or ccif (19 kHz + 20 kHz, 1:1).",
         "name", "smpte"},
        {"level", "Peak of the two tones' sum in dB re full scale, a whole number from -99 to 0 (default -6).", "db",
         "-6"},
        {"low-frequency", "SMPTE/DIN: the low tone in Hz (default: the standard's).", "hz"},
        {"high-frequency", "SMPTE/DIN: the high tone in Hz (default: the standard's).", "hz"},
        {"ratio", "SMPTE/DIN: the low tone's amplitude re the high tone's (default 4).", "x"},
        {"centre", "CCIF: the centre of the pair in Hz (default 19500).", "hz"},
        {"spacing", "CCIF: the spacing of the pair in Hz (default 1000).", "hz"},
        {"wave", "Plays this wave file (as the generator's User wave) instead of the two tones; the standard and "
                 "its frequencies name what it holds.", "file"},
    });
    if (!ParseArguments(p, arguments, "Plays a two-tone signal and measures its intermodulation per channel: "
                                      "SMPTE/DIN IMD re the high tone, CCIF d2 and d3 re the sum of both tones."))
        return kPass;
    MeasureSession session;
    const CommonOptions o = OpenWithCommonOptions(p, session, true, true);
    RequireCheckableLimits(o, {measure::LimitKind::ImdMax});
    if (!session.UseCorrections(false, false))
        throw CommandError{session.Error()};
    const CaptureOptions c = ReadCaptureOptions(p);
    const auto standard = static_cast<dsp::TwoToneStandard>(ChoiceOption(p, "standard", kStandards, 0));
    const bool ccif = standard == dsp::TwoToneStandard::Ccif;
    for (const char *option : {"low-frequency", "high-frequency", "ratio", "centre", "spacing"}) {
        const bool ccifOption = QString(option) == "centre" || QString(option) == "spacing";
        if (p.isSet(option) && ccifOption != ccif)
            throw CommandError{std::string("--") + option + " applies to " + (ccifOption ? "ccif" : "smpte and din") +
                               " only"};
    }
    dsp::TwoToneSetup setup = dsp::DefaultTwoTone(standard);
    const int level = IntOption(p, "level", -6, -99, 0);
    setup.levelDbfs = level;
    setup.lowHz = RealOption(p, "low-frequency", setup.lowHz, 0.001, 1e6);
    setup.highHz = RealOption(p, "high-frequency", setup.highHz, 0.001, 1e6);
    setup.ratio = RealOption(p, "ratio", setup.ratio, 0.001, 1000.0);
    setup.centreHz = RealOption(p, "centre", setup.centreHz, 0.001, 1e6);
    setup.spacingHz = RealOption(p, "spacing", setup.spacingHz, 0.001, 1e6);
    const double rate = std::min(InputRate(), OutputRate());
    if (const dsp::DistortionStatus v = dsp::ValidateTwoTone(setup, rate); v != dsp::DistortionStatus::Ok)
        throw CommandError{dsp::TwoToneStatusText(v, setup, rate, 'E')};
    const dsp::TwoToneSignal sig = dsp::TwoToneSignalOf(setup);
    const double binHz = InputRate() / static_cast<double>(c.setup.FftSize);
    const double spacing = ccif ? sig.f2Hz - sig.f1Hz : sig.f1Hz;
    if (spacing / binHz < 2 * dsp::WindowShapeOf(c.setup.Window).lobeBins + 1)
        throw CommandError{dsp::DistortionStatusText(dsp::DistortionStatus::NotResolved, 'E', spacing, binHz)};
    std::int64_t n1 = 0, n2 = 0;
    if (!audio::TwoTonePeriod(sig.f1Hz, sig.f2Hz, n1, n2))
        throw CommandError{"the tones cannot be played"};

    audio::GeneratorSettings g = audio::Generator();
    g.Waveform = audio::WaveTwoTone;
    g.Frequency = static_cast<float>(sig.f1Hz);
    g.SecondFrequency = sig.f2Hz;
    g.ToneRatio = sig.a1 / sig.a2;
    g.LevelL = g.LevelR = level;
    g.PhaseL = g.PhaseR = 0;
    const std::string waveFile = WaveFileOption(p, {"level"});
    PowerSpectra spectra;
    PlayAndCapture(&g, c, spectra, "imd", waveFile);

    const char *reference = dsp::ImdReferenceText(standard, 'E');
    QJsonObject generator{{"wave", "two-tone"},
                          {"frequency_hz", sig.f1Hz},
                          {"second_frequency_hz", sig.f2Hz},
                          {"ratio", g.ToneRatio},
                          {"level_db", level},
                          {"phase_left_deg", g.PhaseL},
                          {"phase_right_deg", g.PhaseR},
                          {"loop", audio::GetLoop()}};
    QJsonObject imd{{"standard", dsp::TwoToneStandardName(standard)}, {"level_db", level},
                    {"f1_hz", sig.f1Hz}, {"f2_hz", sig.f2Hz}};
    if (ccif) {
        imd.insert("centre_hz", setup.centreHz);
        imd.insert("spacing_hz", setup.spacingHz);
    } else {
        imd.insert("ratio", setup.ratio);
    }
    measure::MeasurementDocument doc = NewDocument(measure::MeasurementKind::Imd, "imd", session, c,
                                                   spectra.Overloads(),
                                                   {{"generator", waveFile.empty() ? generator : DescribeWaveFile(waveFile)},
                                                    {"imd", imd}});
    SetStreamWarnings(doc, spectra.Warnings());
    measure::ResultTable &t = doc.Results;
    const std::size_t chCol = t.AddTextColumn("channel");
    const std::size_t stCol = t.AddTextColumn("standard");
    const std::size_t f1Col = t.AddNumberColumn("f1_hz", 3), f2Col = t.AddNumberColumn("f2_hz", 3);
    const std::size_t a1Col = t.AddNumberColumn("a1_dbfs", 3), a2Col = t.AddNumberColumn("a2_dbfs", 3);
    const std::size_t refCol = t.AddTextColumn("reference");
    std::size_t figures[4] = {};
    std::vector<std::size_t> productCols;
    if (ccif) {
        figures[0] = t.AddNumberColumn("d2_db", 3);
        figures[1] = t.AddNumberColumn("d2_percent");
        figures[2] = t.AddNumberColumn("d3_db", 3);
        figures[3] = t.AddNumberColumn("d3_percent");
        for (const char *name : {"f2_minus_f1_db", "2f1_minus_f2_db", "2f2_minus_f1_db"})
            productCols.push_back(t.AddNumberColumn(name, 3));
    } else {
        figures[0] = t.AddNumberColumn("imd_db", 3);
        figures[1] = t.AddNumberColumn("imd_percent");
        for (const char *name : {"f2_minus_f1_db", "f2_plus_f1_db", "f2_minus_2f1_db", "f2_plus_2f1_db"})
            productCols.push_back(t.AddNumberColumn(name, 3));
    }
    const std::size_t ovCol = t.AddNumberColumn("overloads", 0);

    bool pass = true;
    QJsonArray failures;
    for (const ChannelPick &ch : Picked(c.setup)) {
        const dsp::ImdReading r =
            dsp::AnalyseImd(spectra.Channel(ch.right), c.setup.FftSize, spectra.Rate(), c.setup.Window, setup);
        const std::size_t row = t.AddRow();
        t.Set(row, chCol, std::string(ch.name));
        t.Set(row, stCol, std::string(dsp::TwoToneStandardName(standard)));
        t.Set(row, refCol, std::string(reference));
        t.Set(row, ovCol, spectra.Overloads());
        const bool ok = r.status == dsp::DistortionStatus::Ok;
        if (!ok) {
            Warn(std::string(ch.name) + " channel: " + dsp::ImdStatusText(r, setup, spectra.Rate(), 'E'));
        } else {
            t.Set(row, f1Col, r.f1Hz);
            t.Set(row, f2Col, r.f2Hz);
            t.Set(row, a1Col, OrNothing(dsp::RatioToDb(r.a1)));
            t.Set(row, a2Col, OrNothing(dsp::RatioToDb(r.a2)));
            if (ccif) {
                t.Set(row, figures[0], OrNothing(r.d2Db));
                t.Set(row, figures[1], Significant(100.0 * r.d2));
                t.Set(row, figures[2], OrNothing(r.d3Db));
                t.Set(row, figures[3], Significant(100.0 * r.d3));
            } else {
                t.Set(row, figures[0], OrNothing(r.imdDb));
                t.Set(row, figures[1], Significant(100.0 * r.imd));
            }
            for (int i = 0; i < r.productCount && i < static_cast<int>(productCols.size()); ++i)
                if (r.products[i].state == dsp::ComponentState::Measured)
                    t.Set(row, productCols[static_cast<std::size_t>(i)], OrNothing(r.products[i].levelDb));
        }
        if (!o.haveLimits)
            continue;
        QJsonObject failure{{"channel", ch.name}};
        bool failed = !ok;
        if (ccif) {
            failed = failed || !o.limits.ImdPasses(r.d2Db) || !o.limits.ImdPasses(r.d3Db);
            failure.insert("d2_db", ok ? QJsonValue(Rounded(r.d2Db, 3)) : QJsonValue(QJsonValue::Null));
            failure.insert("d3_db", ok ? QJsonValue(Rounded(r.d3Db, 3)) : QJsonValue(QJsonValue::Null));
        } else {
            failed = failed || !o.limits.ImdPasses(r.imdDb);
            failure.insert("imd_db", ok ? QJsonValue(Rounded(r.imdDb, 3)) : QJsonValue(QJsonValue::Null));
        }
        if (failed) {
            pass = false;
            failures.append(failure);
        }
    }
    doc.Readings = QJsonObject{{"standard", dsp::TwoToneStandardName(standard)}, {"reference", reference}};
    return Finish(doc, o, pass, failures);
}

// ---- noise -------------------------------------------------------------------

int RunNoise(const QStringList &arguments)
{
    QCommandLineParser p;
    AddCommonOptions(p, true);
    AddCaptureOptions(p, false);
    p.addOptions({
        {"low", "Lower band edge in Hz (default 20).", "hz", "20"},
        {"reference", "Level in dBFS the signal-to-noise ratios are taken against (default 0).", "dbfs", "0"},
        {"idle-output", "silent (play silence while measuring, the default) or off (leave the output closed).",
         "silent|off", "silent"},
    });
    if (!ParseArguments(p, arguments, "Measures the idle noise per channel in dBFS: unweighted up to half the "
                                      "rate, A-weighted and unweighted in the AES17 20 kHz band, and the "
                                      "signal-to-noise ratios re a reference level."))
        return kPass;
    MeasureSession session;
    const bool play = ChoiceOption(p, "idle-output", {"silent", "off"}, 0) == 0;
    const CommonOptions o = OpenWithCommonOptions(p, session, play, true);
    RequireCheckableLimits(o, {measure::LimitKind::NoiseMax});
    if (!session.UseCorrections(false, false))
        throw CommandError{session.Error()};
    const CaptureOptions c = ReadCaptureOptions(p);
    const double lowHz = RealOption(p, "low", 20.0, 0.0, 1e6);
    const double reference = RealOption(p, "reference", 0.0, -300.0, 100.0);

    Progress progress;
    const measure::IdleNoiseResult r = measure::MeasureIdleNoise(RunSetup(c, progress, "noise"), play, lowHz, reference);
    CheckRun(r);
    for (const measure::ChannelNoise &ch : r.Channels)
        if (ch.Levels.unweighted.status != dsp::DistortionStatus::Ok)
            throw CommandError{dsp::DistortionStatusText(ch.Levels.unweighted.status, 'E')};

    QJsonObject noise{{"low_hz", lowHz}, {"reference_dbfs", reference}, {"output", play ? "silent" : "off"}};
    measure::MeasurementDocument doc =
        NewDocument(measure::MeasurementKind::Noise, "noise", session, c, r.Overloads, {{"noise", noise}});
    SetStreamWarnings(doc, r.Warnings);
    measure::FillNoiseTable(doc.Results, r);
    bool pass = true;
    QJsonArray failures;
    for (const measure::ChannelNoise &ch : r.Channels) {
        if (o.haveLimits && !o.limits.NoisePasses(ch.Levels.aWeighted.dbfs)) {
            pass = false;
            failures.append(QJsonObject{{"channel", ch.Right ? "right" : "left"},
                                        {"a_weighted_dbfs", Rounded(ch.Levels.aWeighted.dbfs, 3)}});
        }
    }
    doc.Readings = QJsonObject{{"limit_applies_to", "a_weighted_dbfs"}};
    return Finish(doc, o, pass, failures);
}

// ---- dynamic-range -----------------------------------------------------------

int RunDynamicRange(const QStringList &arguments)
{
    QCommandLineParser p;
    AddCommonOptions(p, true);
    AddCaptureOptions(p, true);
    p.addOption({"frequency", "Tone frequency in Hz (default 997).", "hz", "997"});
    if (!ParseArguments(p, arguments, "Measures the dynamic range per AES17: the THD+N of a -60 dBFS tone in the "
                                      "20 kHz band, plus 60 dB (the residual's level re full scale)."))
        return kPass;
    MeasureSession session;
    const CommonOptions o = OpenWithCommonOptions(p, session, true, true);
    RequireCheckableLimits(o, {measure::LimitKind::DrMin});
    if (!session.UseCorrections(false, false))
        throw CommandError{session.Error()};
    const CaptureOptions c = ReadCaptureOptions(p);
    const double rate = InputRate();
    Band band;
    ReadBand(p, band, dsp::BandLimit::Aes17_20k, rate);
    const double frequency = RealOption(p, "frequency", dsp::kDynamicRangeToneHz, 1.0, 96000.0);
    if (const std::string problem = measure::DynamicRangeToneProblem(frequency, band.band, c.setup, rate, OutputRate());
        !problem.empty())
        throw CommandError{problem};

    Progress progress;
    const measure::DynamicRangeResult r =
        measure::MeasureDynamicRangeRun(RunSetup(c, progress, "dynamic-range"), band.band, frequency);
    CheckRun(r);

    QJsonObject extra{{"generator", DescribeGenerator(r.Generator)}, {"band", DescribeBand(band, r.Rate)}};
    measure::MeasurementDocument doc = NewDocument(measure::MeasurementKind::DynamicRange, "dynamic-range", session,
                                                   c, r.Overloads, extra);
    SetStreamWarnings(doc, r.Warnings);
    measure::FillDynamicRangeTable(doc.Results, r);
    bool pass = true;
    QJsonArray failures;
    for (const measure::ChannelDynamicRange &ch : r.Channels) {
        const char *name = ch.Right ? "right" : "left";
        const bool ok = ch.Reading.status == dsp::DistortionStatus::Ok;
        if (!ok) {
            dsp::HarmonicReading h;
            h.status = ch.Reading.status;
            Warn(std::string(name) + " channel: " + dsp::HarmonicStatusText(h, 'E'));
        }
        if (o.haveLimits && (!ok || !o.limits.DynamicRangePasses(ch.Reading.dynamicRangeDb))) {
            pass = false;
            failures.append(QJsonObject{{"channel", name},
                                        {"dynamic_range_db", ok ? QJsonValue(Rounded(ch.Reading.dynamicRangeDb, 3))
                                                                : QJsonValue(QJsonValue::Null)}});
        }
    }
    doc.Readings =
        QJsonObject{{"band", QString::fromStdString(dsp::BandText(band.band, r.Rate, 'E', band.weightingName))}};
    return Finish(doc, o, pass, failures);
}

} // namespace cli

// ---- distortion-sweep --------------------------------------------------------

namespace cli {

namespace {

const QStringList kSweepUnits{"dbfs", "dbv", "dbu", "w"};
const char *const kSweepUnitNames[] = {"dBFS", "dBV", "dBu", "W"};
const char *const kSweepUnitColumns[] = {"dbfs", "dbv", "dbu", "w"};

} // namespace

int RunDistortionSweep(const QStringList &arguments)
{
    QCommandLineParser p;
    AddCommonOptions(p, true);
    AddCaptureOptions(p, true);
    p.addOptions({
        {"vs", "frequency (at a fixed level) or level (at a fixed frequency).", "frequency|level"},
        {"from", "Against frequency: the first frequency in whole Hz (default 50); against level: the first level "
                 "in whole dB re full scale (default -60).", "value"},
        {"to", "Against frequency: the last frequency in whole Hz (default 10000); against level: the last level "
               "in whole dB re full scale (default 0).", "value"},
        {"steps", "Against frequency: the number of steps; steps + 1 frequencies (default 30).", "n", "30"},
        {"spacing", "Against frequency: log or lin (default log).", "log|lin", "log"},
        {"step", "Against level: the step in whole dB (default 6).", "db", "6"},
        {"level", "Against frequency: the tone's level in whole dB re full scale (default -6).", "db", "-6"},
        {"frequency", "Against level: the tone's frequency in Hz (default 1000).", "hz", "1000"},
        {"imd", "Against level: intermodulation of smpte, din or ccif instead of the harmonics of one tone.",
         "standard"},
        {"low-frequency", "--imd smpte/din: the low tone in Hz (default: the standard's).", "hz"},
        {"high-frequency", "--imd smpte/din: the high tone in Hz (default: the standard's).", "hz"},
        {"ratio", "--imd smpte/din: the low tone's amplitude re the high tone's (default 4).", "x"},
        {"centre", "--imd ccif: the centre of the pair in Hz (default 19500).", "hz"},
        {"tone-spacing", "--imd ccif: the spacing of the pair in Hz (default 1000).", "hz"},
        {"unit", "Level unit of the level columns: dbfs, dbv, dbu or w (W needs --load; default dbfs).", "unit",
         "dbfs"},
        {"load", "Load in ohms the power (--unit w) is taken into.", "ohms"},
    });
    if (!ParseArguments(p, arguments, "Steps a tone through frequencies at one level, or through levels at one "
                                      "frequency, and measures per step and channel the fundamental, H2 to H9, "
                                      "THD, THD+N and the noise; with --imd, steps a two-tone signal through "
                                      "levels and measures its intermodulation."))
        return kPass;
    if (!p.isSet("vs"))
        throw CommandError{"--vs frequency or --vs level is needed"};
    const bool vsLevel = ChoiceOption(p, "vs", {"frequency", "level"}, 0) == 1;
    const bool imd = p.isSet("imd");
    if (imd && !vsLevel)
        throw CommandError{"--imd sweeps against level only (--vs level)"};
    for (const char *option : {"steps", "spacing", "level"})
        if (vsLevel && p.isSet(option))
            throw CommandError{std::string("--") + option + " applies to --vs frequency only"};
    for (const char *option : {"step", "frequency"})
        if (!vsLevel && p.isSet(option))
            throw CommandError{std::string("--") + option + " applies to --vs level only"};
    for (const char *option : {"low-frequency", "high-frequency", "ratio", "centre", "tone-spacing"})
        if (!imd && p.isSet(option))
            throw CommandError{std::string("--") + option + " applies to --imd only"};
    for (const char *option : {"bandwidth", "low", "weighting", "filter", "filter-file"})
        if (imd && p.isSet(option))
            throw CommandError{std::string("--") + option + " applies to the harmonics, not to --imd"};

    MeasureSession session;
    const CommonOptions o = OpenWithCommonOptions(p, session, true, true);
    RequireCheckableLimits(o, {imd ? measure::LimitKind::ImdMax : measure::LimitKind::ThdMax});
    if (!session.UseCorrections(false, false))
        throw CommandError{session.Error()};
    const int unit = ChoiceOption(p, "unit", kSweepUnits, 0);
    double loadOhms = 0.0;
    if (unit == 3 && !p.isSet("load"))
        throw CommandError{"--unit w needs the load in ohms (--load)"};
    if (p.isSet("load")) {
        if (unit != 3)
            throw CommandError{"--load applies to --unit w only"};
        loadOhms = RealOption(p, "load", 8.0, 0.001, 1e9);
    }
    const CaptureOptions c = ReadCaptureOptions(p);
    const int rateIn = InputRate(), rateOut = OutputRate();

    measure::DistortionSweepSetup s;
    s.Spectrum = c.setup;
    s.Averages = c.averages;
    s.SettleMs = c.settleMs;
    Band band;
    dsp::TwoToneStandard standard = dsp::TwoToneStandard::Smpte;
    if (!vsLevel) {
        s.Kind = measure::DistortionSweepKind::Frequency;
        s.FromHz = IntOption(p, "from", 50, 1, 96000);
        s.ToHz = IntOption(p, "to", 10000, 1, 96000);
        s.Steps = IntOption(p, "steps", 30, 1, 1000);
        s.Linear = ChoiceOption(p, "spacing", {"log", "lin"}, 0) == 1;
        s.LevelDb = IntOption(p, "level", -6, -99, 100);
        if (s.FromHz >= s.ToHz)
            throw CommandError{"--to must lie above --from"};
    } else {
        s.Kind = imd ? measure::DistortionSweepKind::Imd : measure::DistortionSweepKind::Level;
        s.FromDb = IntOption(p, "from", -60, -99, 100);
        s.ToDb = IntOption(p, "to", 0, -99, 100);
        s.StepDb = IntOption(p, "step", 6, 1, 100);
        if (s.FromDb > s.ToDb)
            throw CommandError{"--to must not lie below --from"};
        s.FrequencyHz = RealOption(p, "frequency", 1000.0, 1.0, 96000.0);
    }
    if (imd) {
        standard = static_cast<dsp::TwoToneStandard>(ChoiceOption(p, "imd", kStandards, 0));
        const bool ccif = standard == dsp::TwoToneStandard::Ccif;
        for (const char *option : {"low-frequency", "high-frequency", "ratio", "centre", "tone-spacing"}) {
            const bool ccifOption = QString(option) == "centre" || QString(option) == "tone-spacing";
            if (p.isSet(option) && ccifOption != ccif)
                throw CommandError{std::string("--") + option + " applies to " +
                                   (ccifOption ? "ccif" : "smpte and din") + " only"};
        }
        dsp::TwoToneSetup &t = s.TwoTone;
        t = dsp::DefaultTwoTone(standard);
        t.lowHz = RealOption(p, "low-frequency", t.lowHz, 0.001, 1e6);
        t.highHz = RealOption(p, "high-frequency", t.highHz, 0.001, 1e6);
        t.ratio = RealOption(p, "ratio", t.ratio, 0.001, 1000.0);
        t.centreHz = RealOption(p, "centre", t.centreHz, 0.001, 1e6);
        t.spacingHz = RealOption(p, "tone-spacing", t.spacingHz, 0.001, 1e6);
    } else {
        ReadBand(p, band, dsp::BandLimit::HalfRate, rateIn);
        s.Band = band.band;
    }
    if (const std::string e = measure::DistortionSweep::Validate(s, rateIn, rateOut); !e.empty())
        throw CommandError{e};

    // The table: a row per step, the channels' readings side by side.
    const measure::MeasurementKind kind = imd ? measure::MeasurementKind::DistortionImd
                                          : vsLevel ? measure::MeasurementKind::DistortionLevel
                                                    : measure::MeasurementKind::DistortionFrequency;
    const app::MeasurementState &ms = session.State();
    // An analog unit needs the calibrations it is taken through: the output's
    // for the generator level, the input's for the fundamentals read.
    if (unit != 0 && !display::CalibrationUsable(ms.OutputCalibration))
        throw CommandError{std::string("--unit ") + kSweepUnits[unit].toStdString() +
                           " needs the output calibration in millivolts at full scale ([EICH] OUTPUT), not " +
                           platform::FormatShortest(ms.OutputCalibration)};
    if (unit != 0 && !imd && !display::CalibrationUsable(ms.InputCalibration))
        throw CommandError{std::string("--unit ") + kSweepUnits[unit].toStdString() +
                           " needs the input calibration in millivolts at full scale ([EICH] INPUT), not " +
                           platform::FormatShortest(ms.InputCalibration)};
    QJsonObject sweep{{"vs", vsLevel ? "level" : "frequency"}, {"steps", measure::DistortionSweep::StepCount(s)},
                      {"unit", kSweepUnitNames[unit]}};
    if (vsLevel) {
        sweep.insert("from_db", s.FromDb);
        sweep.insert("to_db", s.ToDb);
        sweep.insert("step_db", s.StepDb);
        if (!imd)
            sweep.insert("frequency_hz", s.FrequencyHz);
    } else {
        sweep.insert("from_hz", s.FromHz);
        sweep.insert("to_hz", s.ToHz);
        sweep.insert("spacing", s.Linear ? "lin" : "log");
        sweep.insert("level_db", s.LevelDb);
    }
    if (unit == 3)
        sweep.insert("load_ohms", loadOhms);
    QJsonObject extra{{"distortion_sweep", sweep},
                      {"generator", QJsonObject{{"wave", imd ? "two-tone" : "sine"}, {"loop", audio::GetLoop()}}}};
    if (imd) {
        const dsp::TwoToneSignal sig = dsp::TwoToneSignalOf(s.TwoTone);
        QJsonObject im{{"standard", dsp::TwoToneStandardName(standard)}, {"f1_hz", sig.f1Hz}, {"f2_hz", sig.f2Hz}};
        if (standard == dsp::TwoToneStandard::Ccif) {
            im.insert("centre_hz", s.TwoTone.centreHz);
            im.insert("spacing_hz", s.TwoTone.spacingHz);
        } else {
            im.insert("ratio", s.TwoTone.ratio);
        }
        extra.insert("imd", im);
    } else {
        extra.insert("band", DescribeBand(band, rateIn));
    }
    measure::MeasurementDocument doc = NewDocument(kind, "distortion-sweep", session, c, 0, extra);
    measure::ResultTable &t = doc.Results;
    const std::string unitColumn = kSweepUnitColumns[unit];
    const std::size_t stepCol = t.AddNumberColumn("step", 0);
    const std::size_t freqCol = t.AddNumberColumn("frequency_hz", 3);
    const std::size_t genCol = t.AddNumberColumn("generator_dbfs", 3);
    const std::size_t outCol = unit != 0 ? t.AddNumberColumn("generator_" + unitColumn, unit == 3 ? -1 : 3) : genCol;
    const std::vector<ChannelPick> picked = Picked(c.setup);
    struct Columns {
        std::size_t level = 0, levelUnit = 0, h[dsp::kHarmonicCount] = {}, thd = 0, thdPc = 0, thdn = 0, thdnPc = 0,
                    noise = 0, noiseDbfs = 0;
        std::size_t a1 = 0, a2 = 0, imd = 0, imdPc = 0, d3 = 0, d3Pc = 0;
    };
    Columns cols[2];
    const bool ccif = imd && standard == dsp::TwoToneStandard::Ccif;
    for (const ChannelPick &ch : picked) {
        Columns &k = cols[ch.right ? 1 : 0];
        const std::string pre = std::string(ch.name) + "_";
        if (imd) {
            k.a1 = t.AddNumberColumn(pre + "a1_dbfs", 3);
            k.a2 = t.AddNumberColumn(pre + "a2_dbfs", 3);
            k.imd = t.AddNumberColumn(pre + (ccif ? "d2_db" : "imd_db"), 3);
            k.imdPc = t.AddNumberColumn(pre + (ccif ? "d2_percent" : "imd_percent"));
            if (ccif) {
                k.d3 = t.AddNumberColumn(pre + "d3_db", 3);
                k.d3Pc = t.AddNumberColumn(pre + "d3_percent");
            }
            continue;
        }
        k.level = t.AddNumberColumn(pre + "fundamental_dbfs", 3);
        k.levelUnit = unit != 0 ? t.AddNumberColumn(pre + "fundamental_" + unitColumn, unit == 3 ? -1 : 3) : k.level;
        for (int h = 2; h <= dsp::kHighestHarmonic; ++h)
            k.h[h - 2] = t.AddNumberColumn(pre + "h" + std::to_string(h) + "_db", 3);
        k.thd = t.AddNumberColumn(pre + "thd_db", 3);
        k.thdPc = t.AddNumberColumn(pre + "thd_percent");
        k.thdn = t.AddNumberColumn(pre + "thdn_db", 3);
        k.thdnPc = t.AddNumberColumn(pre + "thdn_percent");
        k.noise = t.AddNumberColumn(pre + "noise_db", 3);
        k.noiseDbfs = t.AddNumberColumn(pre + "noise_dbfs", 3);
    }
    const std::size_t ovCol = t.AddNumberColumn("overloads", 0);

    // Curves: THD+N, THD, H2 and H3 (IMD: its figures) over the swept quantity.
    const std::string x = vsLevel ? t.Columns[outCol].Name : "frequency_hz";
    const std::string xUnit = vsLevel ? kSweepUnitNames[unit] : "Hz";
    const bool stereo = picked.size() > 1;
    for (const ChannelPick &ch : picked) {
        const std::string pre = std::string(ch.name) + "_", name = stereo ? std::string(ch.name) + " " : "";
        if (imd) {
            doc.Curves.push_back({name + (ccif ? "d2" : "IMD"), ccif ? "d2" : "imd", ch.name, 0, x, xUnit,
                                  pre + (ccif ? "d2_db" : "imd_db"), "dB", ""});
            if (ccif)
                doc.Curves.push_back({name + "d3", "d3", ch.name, 0, x, xUnit, pre + "d3_db", "dB", ""});
            continue;
        }
        doc.Curves.push_back({name + "THD+N", "thdn", ch.name, 0, x, xUnit, pre + "thdn_db", "dB", ""});
        doc.Curves.push_back({name + "THD", "thd", ch.name, 0, x, xUnit, pre + "thd_db", "dB", ""});
        for (int h = 2; h <= 3; ++h)
            doc.Curves.push_back({name + "H" + std::to_string(h), "harmonic", ch.name, h, x, xUnit,
                                  pre + "h" + std::to_string(h) + "_db", "dB", ""});
    }

    bool pass = true;
    QJsonArray failures;
    int overloads = 0;
    std::vector<audio::StreamWarning> warnings;
    std::string omitted;
    measure::DistortionSweep run;
    Progress progress;
    run.OnStep = [&](int i, int steps) {
        progress.Update(QString("distortion-sweep: step %1 of %2").arg(i + 1).arg(steps));
    };
    run.OnPoint = [&](const measure::DistortionStep &pt) {
        const std::size_t row = t.AddRow();
        t.Set(row, stepCol, pt.Step);
        t.Set(row, freqCol, pt.FrequencyHz);
        t.Set(row, genCol, pt.LevelDb);
        if (unit != 0)
            t.Set(row, outCol, display::OutputLevelInUnit(pt.LevelDb, unit, ms.OutputCalibration, loadOhms));
        t.Set(row, ovCol, pt.Overloads);
        overloads += pt.Overloads;
        audio::AddStreamWarnings(warnings, pt.Warnings);
        for (const ChannelPick &ch : picked) {
            const Columns &k = cols[ch.right ? 1 : 0];
            QJsonObject failure{{"channel", ch.name}, {"step", pt.Step}, {"frequency_hz", Rounded(pt.FrequencyHz, 3)},
                                {"generator_dbfs", pt.LevelDb}};
            bool failed = false;
            if (imd) {
                const dsp::ImdReading &r = pt.Imd[ch.right ? 1 : 0];
                const bool ok = r.status == dsp::DistortionStatus::Ok;
                if (!ok) {
                    Warn(std::string(ch.name) + " channel, step " + std::to_string(pt.Step) + ": " +
                         dsp::ImdStatusText(r, s.TwoTone, pt.Rate, 'E'));
                } else {
                    t.Set(row, k.a1, OrNothing(dsp::RatioToDb(r.a1)));
                    t.Set(row, k.a2, OrNothing(dsp::RatioToDb(r.a2)));
                    t.Set(row, k.imd, OrNothing(ccif ? r.d2Db : r.imdDb));
                    t.Set(row, k.imdPc, Significant(100.0 * (ccif ? r.d2 : r.imd)));
                    if (ccif) {
                        t.Set(row, k.d3, OrNothing(r.d3Db));
                        t.Set(row, k.d3Pc, Significant(100.0 * r.d3));
                    }
                }
                if (o.haveLimits) {
                    failed = !ok || !o.limits.ImdPasses(ccif ? r.d2Db : r.imdDb) ||
                             (ccif && !o.limits.ImdPasses(r.d3Db));
                    failure.insert(ccif ? "d2_db" : "imd_db",
                                   ok ? QJsonValue(Rounded(ccif ? r.d2Db : r.imdDb, 3)) : QJsonValue(QJsonValue::Null));
                    if (ccif)
                        failure.insert("d3_db", ok ? QJsonValue(Rounded(r.d3Db, 3)) : QJsonValue(QJsonValue::Null));
                }
            } else {
                const dsp::HarmonicReading &r = pt.Harmonics[ch.right ? 1 : 0];
                const bool ok = r.status == dsp::DistortionStatus::Ok;
                if (!ok) {
                    Warn(std::string(ch.name) + " channel, step " + std::to_string(pt.Step) + ": " +
                         dsp::HarmonicStatusText(r, 'E'));
                } else {
                    t.Set(row, k.level, r.fundamentalDbfs);
                    if (unit != 0)
                        t.Set(row, k.levelUnit,
                              display::OutputLevelInUnit(r.fundamentalDbfs, unit, ms.InputCalibration, loadOhms));
                    for (int h = 2; h <= dsp::kHighestHarmonic; ++h)
                        if (r.harmonic(h).state == dsp::ComponentState::Measured)
                            t.Set(row, k.h[h - 2], OrNothing(r.harmonic(h).levelDb));
                    t.Set(row, k.thd, OrNothing(r.thdDb));
                    t.Set(row, k.thdPc, Significant(100.0 * r.thd));
                    t.Set(row, k.thdn, OrNothing(r.thdnDb));
                    t.Set(row, k.thdnPc, Significant(100.0 * r.thdn));
                    t.Set(row, k.noise, OrNothing(r.noiseDb));
                    t.Set(row, k.noiseDbfs, OrNothing(r.noiseDbfs));
                    if (r.firstOmitted != 0)
                        omitted = dsp::HarmonicsOmittedText(r, 'E') + " (from " +
                                  platform::FormatShortest(Rounded(pt.FrequencyHz, 3)) + " Hz on)";
                }
                if (o.haveLimits) {
                    failed = !ok || !o.limits.ThdPasses(r.thdDb);
                    failure.insert("thd_db", ok ? QJsonValue(Rounded(r.thdDb, 3)) : QJsonValue(QJsonValue::Null));
                }
            }
            if (failed) {
                pass = false;
                failures.append(failure);
            }
        }
    };
    const measure::DistortionSweep::Outcome outcome = run.Run(s);
    if (outcome == measure::DistortionSweep::Outcome::Interrupted)
        throw CommandError{"interrupted"};
    if (outcome == measure::DistortionSweep::Outcome::Failed)
        throw CommandError{run.Error()};
    if (overloads > 0)
        Warn(std::to_string(overloads) + " clipped sample(s) in the measured blocks: the input was overloaded");
    if (!omitted.empty() && !imd)
        Warn(omitted);
    QJsonObject spectrum = doc.Settings.Extra.value("spectrum").toObject();
    spectrum.insert("overloads", overloads);
    doc.Settings.Extra.insert("spectrum", spectrum);
    QJsonObject readings{{"limit_applies_to", imd ? (ccif ? "d2_db, d3_db" : "imd_db") : "thd_db"}};
    if (imd)
        readings.insert("reference", dsp::ImdReferenceText(standard, 'E'));
    else
        readings.insert("band", QString::fromStdString(dsp::BandText(band.band, rateIn, 'E', band.weightingName)));
    if (!omitted.empty() && !imd)
        readings.insert("harmonics_left_out", QString::fromStdString(omitted));
    doc.Readings = readings;
    SetStreamWarnings(doc, warnings);
    return Finish(doc, o, pass, failures);
}

} // namespace cli
