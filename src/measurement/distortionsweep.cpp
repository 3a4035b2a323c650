// Stepped distortion sweeps (see distortionsweep.h).
#include "measurement/distortionsweep.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/soundinterface.h"
#include "dsp/distortiontexts.h"
#include "dsp/sweep.h"
#include "dsp/tonepower.h"
#include "measurement/blockwait.h"
#include "measurement/spectrumblock.h"
#include "platform/numbers.h"

#include <algorithm>
#include <cmath>

namespace measure {

namespace {

std::string Hz(double hz) { return platform::FormatShortest(std::round(hz * 1000.0) / 1000.0) + " Hz"; }

// Puts the generator record back when the run ends, however it ends.
class GeneratorKeeper {
public:
    GeneratorKeeper() : saved_(audio::Generator()) {}
    ~GeneratorKeeper()
    {
        audio::StopOutput();
        audio::Generator() = saved_;
    }

private:
    audio::GeneratorSettings saved_;
};

// The checks of one tone at `frequency`: playable, in the band, resolvable,
// and its second harmonic still readable.
std::string CheckTone(double frequency, const DistortionSweepSetup &s, int inputRate, int outputRate)
{
    const double half = std::min(inputRate, outputRate) / 2.0;
    if (!(frequency > 0.0) || !(frequency < half))
        return "the tone (" + Hz(frequency) + ") lies above half the sample rate (" + Hz(half) + ")";
    const double upper = std::min(dsp::BandUpperHz(s.Band, inputRate), half);
    if (frequency > upper)
        return dsp::DistortionStatusText(dsp::DistortionStatus::FundamentalAboveBand, 'E', frequency, upper);
    const double binHz = double(inputRate) / s.Spectrum.FftSize;
    if (frequency / binHz < 2 * dsp::WindowShapeOf(s.Spectrum.Window).lobeBins + 1)
        return dsp::DistortionStatusText(dsp::DistortionStatus::NotResolved, 'E', frequency, binHz);
    // The reading takes H2 at twice the tone as found (between bins), with
    // its main lobe below half the rate: a bin's margin at either edge.
    const double lobe = dsp::WindowShapeOf(s.Spectrum.Window).lobeBins;
    const double limit = std::min(upper - binHz, half - (lobe + 1.0) * binHz);
    if (2.0 * frequency > limit)
        return "the second harmonic of " + Hz(frequency) + " (" + Hz(2.0 * frequency) + ") lies beyond " +
               (upper < half ? "the measurement band (" : "half the sample rate (") + Hz(upper) +
               "): no harmonic is left to read; the tone must stay below " + Hz(limit / 2.0);
    return {};
}

} // namespace

int DistortionSweep::StepCount(const DistortionSweepSetup &s)
{
    if (s.Kind == DistortionSweepKind::Frequency)
        return s.Steps >= 1 && s.FromHz > 0 && s.FromHz < s.ToHz ? s.Steps + 1 : 0;
    if (s.StepDb < 1 || s.FromDb > s.ToDb)
        return 0;
    return (s.ToDb - s.FromDb) / s.StepDb + 1;
}

double DistortionSweep::StepFrequency(const DistortionSweepSetup &s, int step)
{
    switch (s.Kind) {
    case DistortionSweepKind::Frequency: return dsp::SweepFrequency(s.Linear, s.FromHz, s.ToHz, s.Steps, step);
    case DistortionSweepKind::Level: return s.FrequencyHz;
    case DistortionSweepKind::Imd: return dsp::TwoToneSignalOf(s.TwoTone).f2Hz;
    }
    return 0.0;
}

std::int32_t DistortionSweep::StepLevel(const DistortionSweepSetup &s, int step)
{
    return s.Kind == DistortionSweepKind::Frequency ? s.LevelDb : s.FromDb + step * s.StepDb;
}

std::string DistortionSweep::Validate(const DistortionSweepSetup &s, int inputRate, int outputRate)
{
    if (inputRate <= 0 || outputRate <= 0)
        return "the devices have no sample rate";
    const int steps = StepCount(s);
    if (s.Kind == DistortionSweepKind::Frequency) {
        if (steps == 0)
            return "the sweep needs a start above 0 Hz, an end above the start and at least one step";
        if (s.LevelDb > 0)
            return "the level " + std::to_string(s.LevelDb) + " dBFS would clip: it must not exceed 0 dBFS";
        for (int i = 0; i < steps; ++i)
            if (std::string e = CheckTone(StepFrequency(s, i), s, inputRate, outputRate); !e.empty())
                return e;
        return {};
    }
    if (steps == 0)
        return "the level sweep needs a step of at least 1 dB and an end not below its start";
    const std::int32_t loudest = StepLevel(s, steps - 1);
    if (loudest > 0)
        return "the level sweep would clip: its step at " + std::to_string(loudest) +
               " dBFS lies above full scale (0 dBFS)";
    if (s.Kind == DistortionSweepKind::Level)
        return CheckTone(s.FrequencyHz, s, inputRate, outputRate);
    dsp::TwoToneSetup t = s.TwoTone;
    t.levelDbfs = loudest;
    const double rate = std::min(inputRate, outputRate);
    if (const dsp::DistortionStatus v = dsp::ValidateTwoTone(t, rate); v != dsp::DistortionStatus::Ok)
        return dsp::TwoToneStatusText(v, t, rate, 'E');
    const dsp::TwoToneSignal sig = dsp::TwoToneSignalOf(t);
    const double binHz = double(inputRate) / s.Spectrum.FftSize;
    const double spacing = t.standard == dsp::TwoToneStandard::Ccif ? sig.f2Hz - sig.f1Hz : sig.f1Hz;
    if (spacing / binHz < 2 * dsp::WindowShapeOf(s.Spectrum.Window).lobeBins + 1)
        return dsp::DistortionStatusText(dsp::DistortionStatus::NotResolved, 'E', spacing, binHz);
    std::int64_t n1 = 0, n2 = 0;
    if (!audio::TwoTonePeriod(sig.f1Hz, sig.f2Hz, n1, n2))
        return "the tones " + Hz(sig.f1Hz) + " and " + Hz(sig.f2Hz) + " cannot be played together";
    return {};
}

double DistortionSweep::NeededSeconds(const DistortionSweepSetup &s, int inputRate)
{
    if (inputRate <= 0)
        return 0.0;
    const double perStep = s.SettleMs / 1000.0 + std::max(s.Averages, 1) * double(AnalyserCaptureFrames(s.Spectrum.FftSize)) / inputRate;
    return StepCount(s) * perStep;
}

DistortionSweep::Outcome DistortionSweep::Run(const DistortionSweepSetup &setup)
{
    error_.clear();
    if (audio::InputFormats(audio::GetInputDevice()) == 0) {
        error_ = "the input device cannot be used";
        return Outcome::Failed;
    }
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    error_ = Validate(setup, rateIn, rateOut);
    if (!error_.empty())
        return Outcome::Failed;
    GeneratorKeeper keeper;
    const int steps = StepCount(setup);
    for (int i = 0; i < steps; ++i)
        if (const Outcome o = step(setup, i, steps); o != Outcome::Done)
            return o;
    return Outcome::Done;
}

DistortionSweep::Outcome DistortionSweep::step(const DistortionSweepSetup &s, int i, int steps)
{
    if (InterruptRequested())
        return Outcome::Interrupted;
    if (OnStep)
        OnStep(i, steps);
    const double frequency = StepFrequency(s, i);
    const std::int32_t level = StepLevel(s, i);
    audio::GeneratorSettings &g = audio::Generator();
    g.LevelL = g.LevelR = level;
    g.PhaseL = g.PhaseR = 0;
    dsp::TwoToneSetup twoTone = s.TwoTone;
    twoTone.levelDbfs = level;
    if (s.Kind == DistortionSweepKind::Imd) {
        const dsp::TwoToneSignal sig = dsp::TwoToneSignalOf(twoTone);
        g.Waveform = audio::WaveTwoTone;
        g.SecondFrequency = sig.f2Hz;
        g.ToneRatio = sig.a1 / sig.a2;
        if (const int rc = audio::StartOutput(g, -1.0, static_cast<float>(sig.f1Hz))) {
            error_ = "the output failed at " + std::to_string(level) + " dBFS: " + audio::ErrorText(rc);
            return Outcome::Failed;
        }
    } else {
        g.Waveform = audio::WaveSine;
        if (const int rc = audio::StartOutput(g, -1.0, static_cast<float>(frequency))) {
            error_ = "the output failed at " + Hz(frequency) + ": " + audio::ErrorText(rc);
            return Outcome::Failed;
        }
    }
    if (!WaitMs(s.SettleMs))
        return Outcome::Interrupted;
    if (!spectra_.Run(s.Spectrum, s.Averages)) {
        error_ = spectra_.Error();
        return InterruptRequested() ? Outcome::Interrupted : Outcome::Failed;
    }
    point_.Step = i;
    point_.FrequencyHz = frequency;
    point_.LevelDb = level;
    point_.Overloads = spectra_.Overloads();
    point_.Rate = spectra_.Rate();
    point_.Warnings = audio::CurrentStreamWarnings(true); // the step's output still plays
    dsp::HarmonicSetup hs;
    hs.fundamentalHz = frequency;
    hs.band = s.Band;
    for (int ch = 0; ch < 2; ++ch) {
        const bool wanted = ch == 0 ? s.Spectrum.Left : s.Spectrum.Right;
        point_.Harmonics[ch] = {};
        point_.Imd[ch] = {};
        if (!wanted)
            continue;
        const float *m = spectra_.Channel(ch == 1);
        if (s.Kind == DistortionSweepKind::Imd)
            point_.Imd[ch] = dsp::AnalyseImd(m, s.Spectrum.FftSize, point_.Rate, s.Spectrum.Window, twoTone);
        else
            point_.Harmonics[ch] = dsp::AnalyseHarmonics(m, s.Spectrum.FftSize, point_.Rate, s.Spectrum.Window, hs);
    }
    if (OnPoint)
        OnPoint(point_);
    return Outcome::Done;
}

} // namespace measure
