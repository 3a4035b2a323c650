// Recordings of a log sweep made up from closed forms for the log-sweep
// tests: what each input receives frame by frame, handed to the analyser
// in capture-sized interleaved blocks (right input first in each pair).
#pragma once

#include "dsp/iirfilter.h"
#include "dsp/logsweepanalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

namespace logsweeptest {

constexpr double kRate = 48000.0;

// A sweep at 48000 Hz read at 12 points per octave.
inline dsp::LogSweepParameters Sweep(double from, double to, double seconds, std::int32_t mode, double levelDb = -6.0)
{
    dsp::LogSweepParameters p;
    p.FromHz = from;
    p.ToHz = to;
    p.Seconds = seconds;
    p.Mode = mode;
    p.LevelDb = levelDb;
    p.PointsPerOctave = 12;
    return p;
}

// Level (plus offsetDb) and phase of `c` against `expected` from lo to hi Hz.
inline void ExpectResponse(const dsp::LogSweepResult &r, const dsp::LogSweepChannelResult &c, double lo, double hi,
                           double dbTol, double degTol, const std::function<std::complex<double>(double)> &expected,
                           double offsetDb = 0.0)
{
    int checked = 0;
    for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
        const double f = r.FrequencyHz[i];
        if (f < lo || f > hi)
            continue;
        const std::complex<double> e = expected(f);
        EXPECT_NEAR(c.LevelDb[i], 20.0 * std::log10(std::abs(e)) + offsetDb, dbTol) << f << " Hz";
        EXPECT_NEAR(std::remainder(c.PhaseDeg[i] - std::arg(e) * 180.0 / std::numbers::pi, 360.0), 0.0, degTol)
            << f << " Hz";
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

// One input: the played sample in, the recorded sample out (frame by frame, in order).
using Input = std::function<double(double played)>;

// Delays by whole frames.
inline Input Delay(int frames)
{
    auto line = std::make_shared<std::vector<double>>(static_cast<std::size_t>(frames) + 1, 0.0);
    return [line, at = std::size_t{0}](double x) mutable {
        (*line)[at] = x;
        at = (at + 1) % line->size();
        return (*line)[at];
    };
}

// Records one sweep: `left` and `right` see the played sweep (silence after it).
inline dsp::LogSweepCheck Record(dsp::LogSweepAnalyser &a, const Input &left, const Input &right)
{
    const auto &sweep = a.sweep();
    const std::int64_t frames = a.design().CaptureFrames;
    std::vector<float> block(2 * 4096);
    a.beginCapture();
    for (std::int64_t start = 0; start < frames; start += 4096) {
        const std::int64_t count = std::min<std::int64_t>(4096, frames - start);
        for (std::int64_t i = 0; i < count; ++i) {
            const auto n = static_cast<std::size_t>(start + i);
            const double x = n < sweep.size() ? sweep[n] : 0.0;
            block[2 * i] = static_cast<float>(right(x));
            block[2 * i + 1] = static_cast<float>(left(x));
        }
        a.appendInterleaved(block.data(), count);
    }
    return a.finishCapture();
}

// H(e^(i w)) of a designed section, from its coefficients.
inline std::complex<double> SectionResponse(const dsp::IirCoefficients &c, double hz, double rate)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
    return (c.c[0] + c.c[1] * z1 + c.c[2] * z1 * z1) / (1.0 - c.c[3] * z1 - c.c[4] * z1 * z1);
}

// The virtual card's device under test (right input, inverted), rebuilt from its description:
// gain, filters, 2nd and 3rd harmonic re a peak follower, uniform noise of `noiseDb` RMS.
struct ModelDevice {
    double h, noise, decay, envelope = 0.0;
    dsp::IirSection hp, lp;
    unsigned long long state = 88172645463325252ull;
    ModelDevice(double rate, double distortionDb, double noiseDb)
        : h(std::pow(10.0, distortionDb / 20.0)), noise(std::sqrt(3.0) * std::pow(10.0, noiseDb / 20.0)),
          decay(std::exp(-1.0 / (2.0 * rate))), hp(dsp::IirDesign(dsp::kIirHighPass, 0, 0, 20.0, rate)),
          lp(dsp::IirDesign(dsp::kIirLowPass, 0, 0, 20000.0, rate))
    {
    }
    double noiseSample() // xorshift64, uniform in [-noise, noise)
    {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        return noise * (2.0 * static_cast<double>(state >> 11) * 0x1.0p-53 - 1.0);
    }
    double operator()(double x) // gain -0.5 dB, inverted
    {
        x = lp.process(hp.process(std::pow(10.0, -0.5 / 20.0) * x));
        envelope = std::max(std::fabs(x), envelope * decay);
        if (envelope > 1e-12)
            x += 2.0 * h * (x * x / envelope - 0.5 * envelope) +
                 4.0 * h * (x * x * x / (envelope * envelope) - 0.75 * x);
        return -x + noiseSample();
    }
};

} // namespace logsweeptest
