// The synchronised sweep: validation, design and samples.
#include "dsp/logsweep.h"

#include "dsp/doublefft.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace dsp {

namespace {

constexpr double kMinLevelDb = -120.0;
constexpr double kMinTailSeconds = 0.05;
constexpr double kMaxTailSeconds = 10.0;
// The harmonics' responses must lie apart by at least one period of the
// start frequency (where responses ring longest), and never less than this.
constexpr double kMinHarmonicGapSeconds = 0.01;
// Frames of the transform kept free beyond the recording and the harmonics.
constexpr std::int64_t kFftMargin = 64;

bool Finite(double v) { return std::isfinite(v); }

// Seconds with one decimal and a point, rounded up or down as asked.
std::string SecondsText(double seconds, bool up)
{
    const double tenths = up ? std::ceil(seconds * 10.0 - 1e-9) : std::floor(seconds * 10.0 + 1e-9);
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, tenths / 10.0, std::chars_format::fixed, 1);
    return std::string(buffer, r.ptr);
}

std::string NumberText(double value)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, r.ptr);
}

// Shortest whole f1·L that keeps the harmonics up to `harmonics` apart.
std::int64_t MinimumCycles(double fromHz, int harmonics)
{
    const double gap = std::max(1.0 / fromHz, kMinHarmonicGapSeconds);
    const double k = static_cast<double>(harmonics);
    const double cycles = fromHz * gap / std::log((k + 1.0) / k);
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(cycles - 1e-9)));
}

// Frames of the transform the design needs for f1·L = cycles.
std::int64_t NeededFftFrames(double rate, double fromHz, double toHz, std::int64_t cycles, std::int64_t tail,
                             int harmonics)
{
    const double l = static_cast<double>(cycles) / fromHz;
    const auto sweep = static_cast<std::int64_t>(std::floor(l * std::log(toHz / fromHz) * rate)) + 1;
    const auto ahead = static_cast<std::int64_t>(std::ceil(l * std::log(harmonics + 1.0) * rate));
    return sweep + tail + ahead + kFftMargin;
}

} // namespace

bool IsLogSweepSmoothing(std::int32_t n) { return n == 0 || n == 3 || n == 6 || n == 12 || n == 24 || n == 48; }

double LogSweepDesign::harmonicOffsetFrames(int k) const
{
    return k >= 1 ? RateConstant * std::log(static_cast<double>(k)) * Rate : 0.0;
}

double LogSweepDesign::frequencyAt(double frame) const
{
    return RateConstant > 0.0 && Rate > 0.0 ? FromHz * std::exp(frame / (Rate * RateConstant)) : 0.0;
}

LogSweepCheck CheckLogSweep(const LogSweepParameters &p, double rate)
{
    LogSweepCheck c;
    auto fail = [&c](LogSweepProblem problem) {
        c.Problem = problem;
        return c;
    };
    if (!Finite(rate) || rate <= 0.0)
        return fail(LogSweepProblem::Rate);
    if (!Finite(p.FromHz) || p.FromHz <= 0.0)
        return fail(LogSweepProblem::StartNotPositive);
    if (!Finite(p.ToHz) || p.FromHz >= p.ToHz)
        return fail(LogSweepProblem::StartNotBelowEnd);
    if (p.ToHz > rate / 2.0) {
        c.FrequencyHz = p.ToHz;
        c.LimitHz = rate / 2.0;
        return fail(LogSweepProblem::EndAboveHalfRate);
    }
    if (!Finite(p.LevelDb) || p.LevelDb > 0.0 || p.LevelDb < kMinLevelDb)
        return fail(LogSweepProblem::Level);
    if (p.Mode != kSweepLeftReference && p.Mode != kSweepRightReference && p.Mode != kSweepStereo)
        return fail(LogSweepProblem::Mode);
    if (p.Averages < 1 || p.Averages > kLogSweepMaxAverages)
        return fail(LogSweepProblem::Averages);
    if (p.Harmonics < 1 || p.Harmonics > kLogSweepMaxHarmonic)
        return fail(LogSweepProblem::Harmonics);
    if (!IsLogSweepSmoothing(p.Smoothing))
        return fail(LogSweepProblem::Smoothing);
    if (p.PointsPerOctave < 1 || p.PointsPerOctave > kLogSweepMaxPointsPerOctave)
        return fail(LogSweepProblem::PointsPerOctave);
    if (!Finite(p.TailSeconds) || p.TailSeconds < kMinTailSeconds || p.TailSeconds > kMaxTailSeconds)
        return fail(LogSweepProblem::Tail);
    if (!Finite(p.WindowMs) || p.WindowMs < 1.0 || p.WindowMs > p.TailSeconds * 1000.0) {
        c.LimitMs = p.TailSeconds * 1000.0;
        return fail(LogSweepProblem::Window);
    }

    const double wanted = p.LengthFrames > 0 ? static_cast<double>(p.LengthFrames) / rate : p.Seconds;
    if (!Finite(wanted) || wanted <= 0.0 || p.LengthFrames < 0)
        return fail(LogSweepProblem::Length);
    if (!Finite(p.FadeInOctaves) || !Finite(p.FadeOutOctaves) || p.FadeInOctaves < 0.0 ||
        p.FadeOutOctaves < 0.0)
        return fail(LogSweepProblem::Fade);

    // f1·L rounded to a whole number of cycles: the synchronisation.
    const double ln = std::log(p.ToHz / p.FromHz);
    const double exact = p.FromHz * wanted / ln;
    if (exact > 1e9)
        return fail(LogSweepProblem::Length);
    const auto cycles = std::max<std::int64_t>(1, std::llround(exact));
    const std::int64_t minimum = MinimumCycles(p.FromHz, p.Harmonics);
    const auto tail = static_cast<std::int64_t>(std::llround(p.TailSeconds * rate));
    const auto limit = static_cast<std::int64_t>(ComplexFft::kMaxSize);
    if (cycles < minimum) {
        c.Seconds = static_cast<double>(minimum) / p.FromHz * ln;
        c.Harmonic = p.Harmonics;
        // A minimum that does not fit either is reported as too long.
        if (NeededFftFrames(rate, p.FromHz, p.ToHz, minimum, tail, p.Harmonics) <= limit)
            return fail(LogSweepProblem::TooShort);
    }
    if (NeededFftFrames(rate, p.FromHz, p.ToHz, std::max(cycles, minimum), tail, p.Harmonics) > limit) {
        const double perCycle = (ln + std::log(p.Harmonics + 1.0)) * rate / p.FromHz;
        auto most = static_cast<std::int64_t>(std::floor((limit - tail - kFftMargin - 2) / perCycle));
        while (most > 0 && NeededFftFrames(rate, p.FromHz, p.ToHz, most, tail, p.Harmonics) > limit)
            --most;
        c.Seconds = static_cast<double>(std::max<std::int64_t>(most, 0)) / p.FromHz * ln;
        return fail(LogSweepProblem::TooLong);
    }
    return c;
}

bool DesignLogSweep(const LogSweepParameters &p, double rate, LogSweepDesign &d, LogSweepCheck *check)
{
    const LogSweepCheck c = CheckLogSweep(p, rate);
    if (check)
        *check = c;
    if (!c.ok())
        return false;
    const double ln = std::log(p.ToHz / p.FromHz);
    const double wanted = p.LengthFrames > 0 ? static_cast<double>(p.LengthFrames) / rate : p.Seconds;
    const auto cycles = std::max<std::int64_t>(1, std::llround(p.FromHz * wanted / ln));
    LogSweepDesign out;
    out.Rate = rate;
    out.FromHz = p.FromHz;
    out.ToHz = p.ToHz;
    out.RateConstant = static_cast<double>(cycles) / p.FromHz;
    out.Amplitude = std::pow(10.0, p.LevelDb / 20.0);
    // Frames 0 .. SweepFrames-1 lie at t <= L ln(f2/f1): the last one no
    // higher than the end frequency.
    out.SweepFrames = static_cast<std::int64_t>(std::floor(out.RateConstant * ln * rate)) + 1;
    // Each fade takes at most a quarter of a narrow sweep.
    const double octaves = std::log2(p.ToHz / p.FromHz);
    const double framesPerOctave = out.RateConstant * std::numbers::ln2 * rate;
    out.FadeInFrames = std::llround(std::min(p.FadeInOctaves, octaves / 4.0) * framesPerOctave);
    out.FadeOutFrames = std::llround(std::min(p.FadeOutOctaves, octaves / 4.0) * framesPerOctave);
    out.TailFrames = std::llround(p.TailSeconds * rate);
    out.CaptureFrames = out.SweepFrames + out.TailFrames;
    out.Harmonics = p.Harmonics;
    out.FftSize = ComplexFft::SizeFor(static_cast<std::size_t>(
        NeededFftFrames(rate, p.FromHz, p.ToHz, cycles, out.TailFrames, p.Harmonics)));
    d = out;
    return true;
}

double LogSweepSample(const LogSweepDesign &d, std::int64_t n) noexcept
{
    if (n < 0 || n >= d.SweepFrames)
        return 0.0;
    const double t = static_cast<double>(n) / d.Rate;
    // 2 pi f1 L (e^(t/L) - 1); f1·L is whole, so the phase reaches every
    // harmonic's start at a multiple of 2 pi.
    const double phase = 2.0 * std::numbers::pi * d.FromHz * d.RateConstant * std::expm1(t / d.RateConstant);
    double gain = d.Amplitude;
    if (n < d.FadeInFrames)
        gain *= 0.5 * (1.0 - std::cos(std::numbers::pi * static_cast<double>(n) / d.FadeInFrames));
    const std::int64_t fromEnd = d.SweepFrames - 1 - n;
    if (fromEnd < d.FadeOutFrames)
        gain *= 0.5 * (1.0 - std::cos(std::numbers::pi * static_cast<double>(fromEnd) / d.FadeOutFrames));
    return gain * std::sin(phase);
}

void RenderLogSweep(const LogSweepDesign &d, float *out) noexcept
{
    for (std::int64_t n = 0; n < d.SweepFrames; ++n)
        out[n] = static_cast<float>(LogSweepSample(d, n));
}

std::string LogSweepProblemText(const LogSweepCheck &c, char language)
{
    const bool de = language == 'D';
    switch (c.Problem) {
    case LogSweepProblem::None:
        return {};
    case LogSweepProblem::Rate:
        return de ? "Die Abtastrate muss positiv sein." : "The sample rate must be positive.";
    case LogSweepProblem::StartNotPositive:
        return de ? "Die Startfrequenz muss über 0 Hz liegen." : "The start frequency must lie above 0 Hz.";
    case LogSweepProblem::StartNotBelowEnd:
        return de ? "Die Startfrequenz muss unter der Endfrequenz liegen."
                  : "The start frequency must lie below the end frequency.";
    case LogSweepProblem::EndAboveHalfRate:
        return de ? "Die Endfrequenz (" + NumberText(c.FrequencyHz) + " Hz) liegt über der halben Abtastrate (" +
                        NumberText(c.LimitHz) + " Hz)."
                  : "The end frequency (" + NumberText(c.FrequencyHz) + " Hz) lies above half the sample rate (" +
                        NumberText(c.LimitHz) + " Hz).";
    case LogSweepProblem::Level:
        return de ? "Der Sweep-Pegel muss zwischen -120 und 0 dB liegen."
                  : "The sweep level must lie between -120 and 0 dB.";
    case LogSweepProblem::Length:
        return de ? "Die Sweep-Dauer muss positiv sein." : "The sweep length must be positive.";
    case LogSweepProblem::TooShort:
        if (c.Harmonic >= 2)
            return de ? "Der Sweep ist zu kurz, um die Oberwellen bis H" + std::to_string(c.Harmonic) +
                            " zu trennen: er muss mindestens " + SecondsText(c.Seconds, true) + " s dauern."
                      : "The sweep is too short to separate the harmonics up to H" + std::to_string(c.Harmonic) +
                            ": it must last at least " + SecondsText(c.Seconds, true) + " s.";
        return de ? "Der Sweep ist zu kurz: er muss mindestens " + SecondsText(c.Seconds, true) + " s dauern."
                  : "The sweep is too short: it must last at least " + SecondsText(c.Seconds, true) + " s.";
    case LogSweepProblem::TooLong:
        return de ? "Der Sweep ist zu lang: er darf höchstens " + SecondsText(c.Seconds, false) + " s dauern."
                  : "The sweep is too long: it may last at most " + SecondsText(c.Seconds, false) + " s.";
    case LogSweepProblem::Fade:
        return de ? "Ein- und Ausblenden dürfen nicht negativ sein." : "Fade-in and fade-out must not be negative.";
    case LogSweepProblem::Tail:
        return de ? "Der Nachlauf muss zwischen 0.05 und 10 s liegen."
                  : "The tail must lie between 0.05 and 10 s.";
    case LogSweepProblem::Mode:
        return de ? "Der Modus muss linke Referenz, rechte Referenz oder Stereo sein."
                  : "The mode must be left reference, right reference or stereo.";
    case LogSweepProblem::Averages:
        return de ? "Die Anzahl der Mittelungen muss zwischen 1 und 100 liegen."
                  : "The number of averages must lie between 1 and 100.";
    case LogSweepProblem::Harmonics:
        return de ? "Die höchste Oberwelle muss zwischen 1 (keine) und 5 liegen."
                  : "The highest harmonic must lie between 1 (none) and 5.";
    case LogSweepProblem::Window:
        return de ? "Das Zeitfenster muss zwischen 1 ms und dem Nachlauf (" + NumberText(c.LimitMs) +
                        " ms) liegen."
                  : "The time window must lie between 1 ms and the tail (" + NumberText(c.LimitMs) + " ms).";
    case LogSweepProblem::Smoothing:
        return de ? "Die Glättung muss aus sein oder 1/3, 1/6, 1/12, 1/24 oder 1/48 Oktave betragen."
                  : "The smoothing must be off or 1/3, 1/6, 1/12, 1/24 or 1/48 octave.";
    case LogSweepProblem::PointsPerOctave:
        return de ? "Die Auflösung muss zwischen 1 und 96 Punkten pro Oktave liegen."
                  : "The resolution must lie between 1 and 96 points per octave.";
    case LogSweepProblem::IncompleteCapture:
        return de ? "Die Aufnahme des Sweeps ist unvollständig." : "The recording of the sweep is incomplete.";
    case LogSweepProblem::InvalidSamples:
        return de ? "Die Aufnahme enthält ungültige Abtastwerte." : "The recording holds invalid samples.";
    case LogSweepProblem::ReferenceSilent:
        return de ? "Der Referenzeingang führt keinen Sweep." : "The reference input carries no sweep.";
    }
    return {};
}

} // namespace dsp
