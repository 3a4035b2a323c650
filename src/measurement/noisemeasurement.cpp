// Idle noise and dynamic range on the current devices (see noisemeasurement.h).
#include "measurement/noisemeasurement.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "dsp/distortiontexts.h"
#include "dsp/fft.h"
#include "dsp/tonepower.h"
#include "measurement/blockwait.h"
#include "measurement/document/measurementdocument.h"
#include "measurement/powerspectra.h"
#include "platform/numbers.h"

#include <algorithm>
#include <cmath>

namespace measure {

namespace {

// A sine at -100 dB: the generator plays it as silence on both channels.
constexpr int kSilentLevelDb = -100;

// Plays `g` (nothing when null), lets it settle, captures the spectra and
// stops the output. False with the outcome's error set when it did not
// complete.
bool PlayAndCapture(audio::GeneratorSettings *g, const NoiseRunSetup &setup, PowerSpectra &spectra,
                    NoiseRunOutcome &out)
{
    if (g) {
        int rateIn = 0, rateOut = 0;
        audio::GetRates(rateIn, rateOut);
        if (!(g->Frequency <= rateOut / 2.0)) {
            out.Error = "the generator frequency is above half the output rate (" + std::to_string(rateOut) + " Hz)";
            return false;
        }
        if (const int rc = audio::StartOutput(*g, -1.0, g->Frequency)) {
            out.Error = "the output device \"" + audio::DeviceName('O', audio::GetOutputDevice()) +
                        "\" cannot play: " + audio::ErrorText(rc);
            return false;
        }
        out.LoopClicks = audio::GetLoop() && audio::LoopPrecision() != 0;
    }
    WaitMs(setup.SettleMs);
    const bool captured = spectra.Run(setup.Spectrum, setup.Averages, setup.OnBlock);
    if (captured) {
        out.Overloads = spectra.Overloads();
        out.Rate = spectra.Rate();
        // While the streams still run.
        out.Warnings = audio::CurrentStreamWarnings(true);
    }
    audio::StopOutput();
    if (!captured) {
        out.Error = spectra.Error();
        out.Interrupted = InterruptRequested();
        return false;
    }
    if (InterruptRequested()) {
        out.Interrupted = true;
        out.Error = "interrupted";
        return false;
    }
    return true;
}

} // namespace

audio::GeneratorSettings SineSettings(double frequencyHz, int levelDb)
{
    audio::GeneratorSettings g = audio::Generator();
    g.Waveform = audio::WaveSine;
    g.Frequency = static_cast<float>(frequencyHz);
    g.LevelL = g.LevelR = levelDb;
    g.PhaseL = g.PhaseR = 0;
    return g;
}

double NoiseLevelOrNothing(double dbfs) { return dbfs > dsp::kNoSignalDb ? dbfs : std::nan(""); }

IdleNoiseResult MeasureIdleNoise(const NoiseRunSetup &setup, bool playSilence, double lowHz, double referenceDbfs)
{
    IdleNoiseResult r;
    r.Played = playSilence;
    r.LowHz = lowHz;
    r.ReferenceDbfs = referenceDbfs;
    audio::GeneratorSettings g = SineSettings(1000.0, kSilentLevelDb);
    PowerSpectra spectra;
    if (!PlayAndCapture(playSilence ? &g : nullptr, setup, spectra, r))
        return r;
    const double rate = spectra.Rate();
    const int n = setup.Spectrum.FftSize;
    const int window = setup.Spectrum.Window;
    r.Has40k = rate / 2.0 > dsp::Aes17EdgeHz(dsp::BandLimit::Aes17_40k);
    for (const bool right : {false, true}) {
        if (!(right ? setup.Spectrum.Right : setup.Spectrum.Left))
            continue;
        const float *m = spectra.Channel(right);
        ChannelNoise c;
        c.Right = right;
        c.Levels = dsp::MeasureNoiseLevels(m, n, rate, window, lowHz);
        if (r.Has40k) {
            dsp::MeasurementBand band;
            band.lowHz = lowHz;
            band.limit = dsp::BandLimit::Aes17_40k;
            c.Aes17_40k = dsp::MeasureNoise(m, n, rate, window, band);
        }
        c.SnrDb = c.Levels.aes17.dbfs > dsp::kNoSignalDb ? dsp::SignalToNoiseDb(referenceDbfs, c.Levels.aes17.dbfs)
                                                         : std::nan("");
        c.SnrADb = c.Levels.aWeighted.dbfs > dsp::kNoSignalDb
                       ? dsp::SignalToNoiseDb(referenceDbfs, c.Levels.aWeighted.dbfs)
                       : std::nan("");
        r.Channels.push_back(c);
    }
    r.Ok = true;
    return r;
}

std::string DynamicRangeToneProblem(double frequencyHz, const dsp::MeasurementBand &band, const SpectrumSetup &spectrum,
                                    double inputRate, double outputRate)
{
    const double half = std::min(inputRate, outputRate) / 2.0;
    if (!(frequencyHz < half))
        return "the tone (" + platform::FormatShortest(frequencyHz) + " Hz) lies above half the sample rate (" +
               platform::FormatShortest(half) + " Hz)";
    const double upper = dsp::BandUpperHz(band, inputRate);
    if (frequencyHz > upper)
        return dsp::DistortionStatusText(dsp::DistortionStatus::FundamentalAboveBand, 'E', frequencyHz, upper);
    const double binHz = inputRate / spectrum.FftSize;
    if (frequencyHz / binHz < 2 * dsp::WindowShapeOf(spectrum.Window).lobeBins + 1)
        return dsp::DistortionStatusText(dsp::DistortionStatus::NotResolved, 'E', frequencyHz, binHz);
    return {};
}

DynamicRangeResult MeasureDynamicRangeRun(const NoiseRunSetup &setup, const dsp::MeasurementBand &band,
                                          double frequencyHz)
{
    DynamicRangeResult r;
    r.FrequencyHz = frequencyHz;
    r.Generator = SineSettings(frequencyHz, static_cast<int>(dsp::kDynamicRangeToneDbfs));
    PowerSpectra spectra;
    if (!PlayAndCapture(&r.Generator, setup, spectra, r))
        return r;
    for (const bool right : {false, true}) {
        if (!(right ? setup.Spectrum.Right : setup.Spectrum.Left))
            continue;
        ChannelDynamicRange c;
        c.Right = right;
        c.Reading = dsp::MeasureDynamicRange(spectra.Channel(right), setup.Spectrum.FftSize, spectra.Rate(),
                                             setup.Spectrum.Window, band, frequencyHz);
        r.Channels.push_back(c);
    }
    r.Ok = true;
    return r;
}

void FillNoiseTable(ResultTable &t, const IdleNoiseResult &r)
{
    const std::size_t chCol = t.AddTextColumn("channel");
    const std::size_t unCol = t.AddNumberColumn("unweighted_dbfs", 3);
    const std::size_t aCol = t.AddNumberColumn("a_weighted_dbfs", 3);
    const std::size_t aesCol = t.AddNumberColumn("aes17_dbfs", 3);
    const std::size_t aes40Col = r.Has40k ? t.AddNumberColumn("aes17_40k_dbfs", 3) : 0;
    const std::size_t snrCol = t.AddNumberColumn("snr_db", 3);
    const std::size_t snrACol = t.AddNumberColumn("snr_a_db", 3);
    const std::size_t ovCol = t.AddNumberColumn("overloads", 0);
    for (const ChannelNoise &c : r.Channels) {
        const std::size_t row = t.AddRow();
        t.Set(row, chCol, std::string(c.Right ? "right" : "left"));
        t.Set(row, unCol, NoiseLevelOrNothing(c.Levels.unweighted.dbfs));
        t.Set(row, aCol, NoiseLevelOrNothing(c.Levels.aWeighted.dbfs));
        t.Set(row, aesCol, NoiseLevelOrNothing(c.Levels.aes17.dbfs));
        if (r.Has40k)
            t.Set(row, aes40Col, NoiseLevelOrNothing(c.Aes17_40k.dbfs));
        if (std::isfinite(c.SnrDb))
            t.Set(row, snrCol, c.SnrDb);
        if (std::isfinite(c.SnrADb))
            t.Set(row, snrACol, c.SnrADb);
        t.Set(row, ovCol, r.Overloads);
    }
}

void FillDynamicRangeTable(ResultTable &t, const DynamicRangeResult &r)
{
    const std::size_t chCol = t.AddTextColumn("channel");
    const std::size_t drCol = t.AddNumberColumn("dynamic_range_db", 3);
    const std::size_t thdnCol = t.AddNumberColumn("thdn_db", 3);
    const std::size_t toneCol = t.AddNumberColumn("tone_dbfs", 3);
    const std::size_t ovCol = t.AddNumberColumn("overloads", 0);
    for (const ChannelDynamicRange &c : r.Channels) {
        const std::size_t row = t.AddRow();
        t.Set(row, chCol, std::string(c.Right ? "right" : "left"));
        t.Set(row, ovCol, r.Overloads);
        if (c.Reading.status != dsp::DistortionStatus::Ok)
            continue;
        t.Set(row, drCol, c.Reading.dynamicRangeDb);
        t.Set(row, thdnCol, NoiseLevelOrNothing(c.Reading.thdnDb));
        t.Set(row, toneCol, NoiseLevelOrNothing(c.Reading.toneDbfs));
    }
}

} // namespace measure
