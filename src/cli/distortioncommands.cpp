// The distortion commands of sonalyx-measure: thd (one tone: fundamental,
// H2 .. H9, THD, THD+N and noise), imd (the two-tone signals of SMPTE, DIN
// and CCIF), noise (idle noise unweighted, A-weighted and in the AES17
// band) and dynamic-range (AES17: a -60 dBFS tone's THD+N). Each plays its
// stimulus on both outputs, settles, captures one or more blocks and reads
// them with the distortion readings of dsp/harmonics.h and
// dsp/intermodulation.h; the results go out as CSV or as a result document.
//
// Spectra are averaged as powers (each bin the root of the mean square of
// its magnitudes): an average of magnitudes, as the analyser's display
// takes it, reads noise 1.05 dB low (the mean of a Rayleigh-distributed
// magnitude is sqrt(pi)/2 of its RMS).
#include "cli/commands.h"
#include "cli/commandsupport.h"

#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "dsp/analysis.h"
#include "dsp/harmonics.h"
#include "dsp/intermodulation.h"
#include "dsp/tonepower.h"
#include "dsp/weighting.h"
#include "measurement/blockwait.h"
#include "measurement/document/measurementfile.h"
#include "measurement/spectrummeasurement.h"
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

// Spectra of `averages` blocks, averaged as powers. The buffers are taken
// once, before the first block.
class PowerSpectra {
public:
    void Run(const CaptureOptions &c, Progress &progress, const char *command)
    {
        const std::size_t bins = static_cast<std::size_t>(c.setup.FftSize / 2);
        sumLeft_.assign(bins, 0.0);
        sumRight_.assign(bins, 0.0);
        left_.assign(bins, 0.0f);
        right_.assign(bins, 0.0f);
        for (int block = 0; block < c.averages; ++block) {
            progress.Update(QString("%1: block %2 of %3").arg(command).arg(block + 1).arg(c.averages));
            if (!m_.Run(c.setup))
                throw CommandError{m_.Error()};
            overloads_ += m_.Overloads();
            for (std::size_t i = 0; i < bins; ++i) {
                sumLeft_[i] += double(m_.Left()[i]) * m_.Left()[i];
                sumRight_[i] += double(m_.Right()[i]) * m_.Right()[i];
            }
        }
        for (std::size_t i = 0; i < bins; ++i) {
            left_[i] = static_cast<float>(std::sqrt(sumLeft_[i] / c.averages));
            right_[i] = static_cast<float>(std::sqrt(sumRight_[i] / c.averages));
        }
        rate_ = m_.Rate();
        if (overloads_ > 0)
            Warn(std::to_string(overloads_) + " clipped sample(s) in the measured blocks: the input was overloaded");
    }
    const float *Channel(bool right) const { return right ? right_.data() : left_.data(); }
    int Overloads() const { return overloads_; }
    int Rate() const { return rate_; }

private:
    measure::SpectrumMeasurement m_;
    std::vector<double> sumLeft_, sumRight_;
    std::vector<float> left_, right_;
    int overloads_ = 0;
    int rate_ = 0;
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
        o.insert("filter_sha256", QString::fromStdString(FileChecksum(b.filterFile)));
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

// Plays `g` (nothing when null), lets it settle and captures.
void PlayAndCapture(audio::GeneratorSettings *g, const CaptureOptions &c, PowerSpectra &spectra, const char *command)
{
    if (g) {
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

audio::GeneratorSettings Sine(double frequency, int level)
{
    audio::GeneratorSettings g = audio::Generator();
    g.Waveform = audio::WaveSine;
    g.Frequency = static_cast<float>(frequency);
    g.LevelL = g.LevelR = level;
    g.PhaseL = g.PhaseR = 0;
    return g;
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
    CheckTone(frequency, band.band, c, rate);

    audio::GeneratorSettings g = Sine(frequency, level);
    PowerSpectra spectra;
    PlayAndCapture(&g, c, spectra, "thd");

    QJsonObject extra{{"generator", DescribeGenerator(g)}, {"band", DescribeBand(band, spectra.Rate())}};
    measure::MeasurementDocument doc =
        NewDocument(measure::MeasurementKind::Thd, "thd", session, c, spectra.Overloads(), extra);
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
    PowerSpectra spectra;
    PlayAndCapture(&g, c, spectra, "imd");

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
                                                   spectra.Overloads(), {{"generator", generator}, {"imd", imd}});
    measure::ResultTable &t = doc.Results;
    const std::size_t chCol = t.AddTextColumn("channel");
    const std::size_t stCol = t.AddTextColumn("standard");
    const std::size_t f1Col = t.AddNumberColumn("f1_hz", 3), f2Col = t.AddNumberColumn("f2_hz", 3);
    const std::size_t a1Col = t.AddNumberColumn("a1_dbfs", 3), a2Col = t.AddNumberColumn("a2_dbfs", 3);
    const std::size_t refCol = t.AddTextColumn("reference");
    std::size_t figures[4];
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

    audio::GeneratorSettings g = Sine(1000.0, -100); // -100 dB: both channels silent
    PowerSpectra spectra;
    PlayAndCapture(play ? &g : nullptr, c, spectra, "noise");

    const double rate = spectra.Rate();
    const bool high = rate / 2.0 > dsp::Aes17EdgeHz(dsp::BandLimit::Aes17_40k);
    QJsonObject noise{{"low_hz", lowHz}, {"reference_dbfs", reference}, {"output", play ? "silent" : "off"}};
    measure::MeasurementDocument doc =
        NewDocument(measure::MeasurementKind::Noise, "noise", session, c, spectra.Overloads(), {{"noise", noise}});
    measure::ResultTable &t = doc.Results;
    const std::size_t chCol = t.AddTextColumn("channel");
    const std::size_t unCol = t.AddNumberColumn("unweighted_dbfs", 3);
    const std::size_t aCol = t.AddNumberColumn("a_weighted_dbfs", 3);
    const std::size_t aesCol = t.AddNumberColumn("aes17_dbfs", 3);
    const std::size_t aes40Col = high ? t.AddNumberColumn("aes17_40k_dbfs", 3) : 0;
    const std::size_t snrCol = t.AddNumberColumn("snr_db", 3);
    const std::size_t snrACol = t.AddNumberColumn("snr_a_db", 3);
    const std::size_t ovCol = t.AddNumberColumn("overloads", 0);
    bool pass = true;
    QJsonArray failures;
    for (const ChannelPick &ch : Picked(c.setup)) {
        const float *m = spectra.Channel(ch.right);
        const dsp::NoiseLevels n = dsp::MeasureNoiseLevels(m, c.setup.FftSize, rate, c.setup.Window, lowHz);
        if (n.unweighted.status != dsp::DistortionStatus::Ok)
            throw CommandError{dsp::DistortionStatusText(n.unweighted.status, 'E')};
        const std::size_t row = t.AddRow();
        t.Set(row, chCol, std::string(ch.name));
        t.Set(row, unCol, OrNothing(n.unweighted.dbfs));
        t.Set(row, aCol, OrNothing(n.aWeighted.dbfs));
        t.Set(row, aesCol, OrNothing(n.aes17.dbfs));
        if (high) {
            dsp::MeasurementBand band;
            band.lowHz = lowHz;
            band.limit = dsp::BandLimit::Aes17_40k;
            t.Set(row, aes40Col, OrNothing(dsp::MeasureNoise(m, c.setup.FftSize, rate, c.setup.Window, band).dbfs));
        }
        if (n.aes17.dbfs > dsp::kNoSignalDb)
            t.Set(row, snrCol, dsp::SignalToNoiseDb(reference, n.aes17.dbfs));
        if (n.aWeighted.dbfs > dsp::kNoSignalDb)
            t.Set(row, snrACol, dsp::SignalToNoiseDb(reference, n.aWeighted.dbfs));
        t.Set(row, ovCol, spectra.Overloads());
        if (o.haveLimits && !o.limits.NoisePasses(n.aWeighted.dbfs)) {
            pass = false;
            failures.append(QJsonObject{{"channel", ch.name}, {"a_weighted_dbfs", Rounded(n.aWeighted.dbfs, 3)}});
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
    CheckTone(frequency, band.band, c, rate);

    audio::GeneratorSettings g = Sine(frequency, static_cast<int>(dsp::kDynamicRangeToneDbfs));
    PowerSpectra spectra;
    PlayAndCapture(&g, c, spectra, "dynamic-range");

    QJsonObject extra{{"generator", DescribeGenerator(g)}, {"band", DescribeBand(band, spectra.Rate())}};
    measure::MeasurementDocument doc = NewDocument(measure::MeasurementKind::DynamicRange, "dynamic-range", session,
                                                   c, spectra.Overloads(), extra);
    measure::ResultTable &t = doc.Results;
    const std::size_t chCol = t.AddTextColumn("channel");
    const std::size_t drCol = t.AddNumberColumn("dynamic_range_db", 3);
    const std::size_t thdnCol = t.AddNumberColumn("thdn_db", 3);
    const std::size_t toneCol = t.AddNumberColumn("tone_dbfs", 3);
    const std::size_t ovCol = t.AddNumberColumn("overloads", 0);
    bool pass = true;
    QJsonArray failures;
    for (const ChannelPick &ch : Picked(c.setup)) {
        const dsp::DynamicRangeReading r = dsp::MeasureDynamicRange(spectra.Channel(ch.right), c.setup.FftSize,
                                                                    spectra.Rate(), c.setup.Window, band.band, frequency);
        const std::size_t row = t.AddRow();
        t.Set(row, chCol, std::string(ch.name));
        t.Set(row, ovCol, spectra.Overloads());
        const bool ok = r.status == dsp::DistortionStatus::Ok;
        if (!ok) {
            dsp::HarmonicReading h;
            h.status = r.status;
            Warn(std::string(ch.name) + " channel: " + dsp::HarmonicStatusText(h, 'E'));
        } else {
            t.Set(row, drCol, r.dynamicRangeDb);
            t.Set(row, thdnCol, OrNothing(r.thdnDb));
            t.Set(row, toneCol, OrNothing(r.toneDbfs));
        }
        if (o.haveLimits && (!ok || !o.limits.DynamicRangePasses(r.dynamicRangeDb))) {
            pass = false;
            failures.append(QJsonObject{{"channel", ch.name},
                                        {"dynamic_range_db",
                                         ok ? QJsonValue(Rounded(r.dynamicRangeDb, 3)) : QJsonValue(QJsonValue::Null)}});
        }
    }
    doc.Readings = QJsonObject{
        {"band", QString::fromStdString(dsp::BandText(band.band, spectra.Rate(), 'E', band.weightingName))}};
    return Finish(doc, o, pass, failures);
}

} // namespace cli
