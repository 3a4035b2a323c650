#include "audio/synthesis/synthesis.h"

#include "audio/synthesis/samplecodec.h"

#include <cmath>
#include <numeric>
#include <numbers>

namespace audio {

namespace {

constexpr double TwoPi = 2.0 * std::numbers::pi;

inline void WriteFrame(char *buffer, std::uint32_t frame, int bits, double left, double right) noexcept
{
    WriteSample(buffer, bits, 2LL * frame, left);
    WriteSample(buffer, bits, 2LL * frame + 1, right);
}

} // namespace

SynthParams MakeSynthParams(const GeneratorSettings &s)
{
    SynthParams p;
    p.AmplitudeL = s.LevelL == -100 ? 0.0 : std::pow(10.0, s.LevelL / 20.0);
    p.AmplitudeR = s.LevelR == -100 ? 0.0 : std::pow(10.0, s.LevelR / 20.0);
    p.PhaseL = std::numbers::pi * s.PhaseL / 180.0;
    p.PhaseR = std::numbers::pi * s.PhaseR / 180.0;
    p.Waveform = s.Waveform;
    p.SamePhase = s.PhaseL == s.PhaseR;
    if (s.Waveform == WaveTwoTone) {
        const double r = std::isfinite(s.ToneRatio) && s.ToneRatio > 0.0 ? s.ToneRatio : 1.0;
        p.Share1 = r / (r + 1.0);
        p.Share2 = 1.0 / (r + 1.0);
        p.SecondFrequency = s.SecondFrequency;
    }
    return p;
}

bool TwoTonePeriod(double f1, double f2, std::int64_t &n1, std::int64_t &n2) noexcept
{
    n1 = n2 = 0;
    // Millihertz up to 10 MHz keep the products below in range.
    if (!(f1 > 0.0) || !(f2 > 0.0) || !(f1 < 1e7) || !(f2 < 1e7))
        return false;
    const std::int64_t m1 = std::llround(f1 * 1000.0), m2 = std::llround(f2 * 1000.0);
    if (m1 <= 0 || m2 <= 0)
        return false;
    const std::int64_t g = std::gcd(m1, m2);
    // A common period over 1000 s (g below 1 mHz) cannot happen with whole
    // millihertz; kept as a guard.
    if (g <= 0)
        return false;
    n1 = m1 / g;
    n2 = m2 / g;
    return true;
}

double PhaseWrap(const SynthParams &params, double frequency) noexcept
{
    std::int64_t n1 = 0, n2 = 0;
    if (params.Waveform == WaveTwoTone && TwoTonePeriod(frequency, params.SecondFrequency, n1, n2))
        return TwoPi * static_cast<double>(n1);
    return TwoPi;
}

std::uint32_t LoopLength(std::uint32_t rate, int bytesPerSample, double frequency, int *precision)
{
    if (precision)
        *precision = 0;
    if (!(frequency > 0.0) || bytesPerSample <= 0)
        return 0;
    const double bytesPerPeriod = 2.0 * bytesPerSample * rate / frequency;
    const double framesPerPeriod = rate / frequency;
    long long bestError = 1000000;
    long long bestK = 1;
    long long k = 1;
    double length = 0.0;
    long long error = 0;
    do {
        length = std::nearbyint(k * bytesPerPeriod);
        double frames = k * framesPerPeriod;
        error = std::llround(1000.0 * (frames - std::floor(frames)));
        if (error <= bestError && length <= 262144.0) {
            bestError = error;
            bestK = k;
        }
        ++k;
    } while (length < kLoopFillLimit && (error != 0 || length < 4096.0));
    if (precision)
        *precision = static_cast<int>(bestError);
    const double frameBytes = 2.0 * bytesPerSample;
    double best = std::nearbyint(bestK * bytesPerPeriod);
    double frames = std::floor(best / frameBytes);
    double bytes = frames * frameBytes;
    return bytes > 4294967295.0 ? 4294967295u : static_cast<std::uint32_t>(bytes);
}

Synthesizer::Synthesizer() : rng_(0x9E3779B97F4A7C15ull) {}

double Synthesizer::Random() noexcept
{
    // xorshift64*: fast, no allocation, good enough for test noise
    rng_ ^= rng_ >> 12;
    rng_ ^= rng_ << 25;
    rng_ ^= rng_ >> 27;
    std::uint64_t r = rng_ * 0x2545F4914F6CDD1Dull;
    return static_cast<double>(r >> 11) * (1.0 / 9007199254740992.0);
}

void Synthesizer::Frame(const SynthParams &p, double t, double t2, double &left, double &right) noexcept
{
    double a = 0.0, b = 0.0;
    switch (p.Waveform) {
    case WaveTwoTone:
        a = p.Share1 * std::cos(t + p.PhaseL) + p.Share2 * std::cos(t2 + p.PhaseL);
        b = p.PhaseL == p.PhaseR ? a : p.Share1 * std::cos(t + p.PhaseR) + p.Share2 * std::cos(t2 + p.PhaseR);
        break;
    case WaveSine:
        a = std::sin(t + p.PhaseL);
        b = p.PhaseL == p.PhaseR ? a : std::sin(t + p.PhaseR);
        break;
    case WaveSquare:
        a = std::sin(t + p.PhaseL) > 0.0 ? 1.0 : -1.0;
        b = std::sin(t + p.PhaseR) > 0.0 ? 1.0 : -1.0;
        break;
    case WaveWhiteNoise:
        a = 2.0 * Random() - 1.0;
        b = p.SamePhase ? a : -a;
        break;
    case WavePinkNoise:
        a = pink_.process(2.0 * Random() - 1.0);
        b = p.SamePhase ? a : -a;
        break;
    default:
        break;
    }
    left = p.AmplitudeL * a;
    right = p.AmplitudeR * b;
}

std::uint32_t Synthesizer::LoopFill(std::uint32_t rate, int bits, const SynthParams &params, double frequency,
                                    char *buffer, std::uint32_t capacity, int *precision)
{
    if (precision)
        *precision = 0;
    if (frequency == 0.0)
        return 0;
    const int bps = BytesPerSample(bits);
    if (bps == 0 || rate == 0)
        return 0;
    std::uint32_t length = kLoopFillLimit;
    std::int64_t n1 = 1, n2 = 0;
    const bool twoTone = params.Waveform == WaveTwoTone;
    if (twoTone && !TwoTonePeriod(frequency, params.SecondFrequency, n1, n2))
        return 0;
    if (params.Waveform == WaveSine || params.Waveform == WaveSquare)
        length = LoopLength(rate, bps, frequency, precision);
    else if (twoTone) // whole periods of the pair
        length = LoopLength(rate, bps, frequency / static_cast<double>(n1), precision);
    if (length > kLoopFillLimit)
        length = kLoopFillLimit;
    const std::uint32_t frameBytes = 2u * static_cast<std::uint32_t>(bps);
    if (length > capacity)
        length = capacity / frameBytes * frameBytes;
    if (params.Waveform == WavePinkNoise)
        pink_.setup(rate);
    const std::uint32_t frames = length / frameBytes;
    const double w = TwoPi * frequency / rate;
    const double second = twoTone ? static_cast<double>(n2) / static_cast<double>(n1) : 0.0;
    for (std::uint32_t k = 0; k < frames; ++k) {
        double l, r;
        Frame(params, w * k, w * k * second, l, r);
        WriteFrame(buffer, k, bits, l, r);
    }
    return frames * frameBytes;
}

void Synthesizer::StreamFill(std::uint32_t rate, int bits, const SynthParams &params, double frequency,
                             char *buffer, std::uint32_t bytes, double &phase)
{
    const int bps = BytesPerSample(bits);
    if (bps == 0 || rate == 0)
        return;
    if (params.Waveform == WavePinkNoise)
        pink_.setup(rate);
    const std::uint32_t frames = bytes / (2u * static_cast<std::uint32_t>(bps));
    const double step = TwoPi * frequency / rate;
    std::int64_t n1 = 0, n2 = 0;
    if (params.Waveform == WaveTwoTone) {
        // The phase runs over n1 turns of the first tone, the pair's whole
        // period, so wrapping it keeps the second tone's argument exact;
        // each frame's argument is computed from the block's start, not
        // summed, as the wrapped phase can be large.
        if (!TwoTonePeriod(frequency, params.SecondFrequency, n1, n2)) {
            for (std::uint32_t k = 0; k < frames; ++k)
                WriteFrame(buffer, k, bits, 0.0, 0.0);
            return;
        }
        const double second = static_cast<double>(n2) / static_cast<double>(n1);
        for (std::uint32_t k = 0; k < frames; ++k) {
            const double t = phase + step * k;
            double l, r;
            Frame(params, t, t * second, l, r);
            WriteFrame(buffer, k, bits, l, r);
        }
        phase = std::fmod(phase + step * frames, TwoPi * static_cast<double>(n1));
        return;
    }
    double t = phase;
    for (std::uint32_t k = 0; k < frames; ++k) {
        double l, r;
        Frame(params, t, 0.0, l, r);
        WriteFrame(buffer, k, bits, l, r);
        t += step;
    }
    // Whole turns carry no information; dropping them keeps the running
    // phase exact however long the stream plays.
    phase = std::fmod(t, TwoPi);
}

} // namespace audio
