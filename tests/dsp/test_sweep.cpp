// Sweep arithmetic: the frequency plan, the capture length and the captures
// per step, and the synchronous detection of level and phase on synthetic
// blocks: the phase range, DC and harmonics, half a period and near half the
// rate, a device playing slightly off the frequency (the method's limit),
// blocks with gaps between them, and silent channels.
#include "dsp/sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace dsp;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Sine {
    double peak = 0.0, degrees = 0.0, dc = 0.0, third = 0.0; // third harmonic re the peak
};

// Interleaved block as the capture delivers it: right input at the even
// positions, left at the odd, sines at `f` (phase in degrees at frame 0),
// rounded to 16 bits as a capture would.
std::vector<float> Block(int frames, double f, double rate, const Sine &right, const Sine &left)
{
    std::vector<float> v(2 * static_cast<size_t>(frames));
    for (int j = 0; j < 2 * frames; ++j) {
        const Sine &s = j % 2 == 0 ? right : left;
        const double t = 2.0 * kPi * f * (j / 2) / rate;
        const double x = s.dc + s.peak * (std::sin(t + s.degrees * kPi / 180.0) + s.third * std::sin(3.0 * t + 0.3));
        v[j] = static_cast<float>(std::round(x * 32767.0) / 32767.0);
    }
    return v;
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

const CorrectionCurve kNone;

} // namespace

TEST(SweepPlan, FrequenciesOfLinearAndLogarithmicSweeps)
{
    EXPECT_FLOAT_EQ(SweepFrequency(false, 20, 22000, 50, 0), 20.0f);
    EXPECT_NEAR(SweepFrequency(false, 20, 22000, 50, 50), 22000.0f, 0.01f);
    EXPECT_NEAR(SweepFrequency(false, 20, 22000, 50, 25), std::sqrt(20.0 * 22000.0), 0.01);
    // Linear spacing divides the span as a real number: 10 + 10/3.
    EXPECT_NEAR(SweepFrequency(true, 10, 20, 3, 1), 13.3333f, 0.0001f);
    EXPECT_FLOAT_EQ(SweepFrequency(false, 0, 20000, 50, 7), 333.0f);
    EXPECT_FLOAT_EQ(SweepFrequency(false, 20, 20000, 0, 0), 333.0f);
}

TEST(SweepPlan, CaptureLengthIsFiftyPeriodsWithinTheBufferAndLowStepsTakeMoreCaptures)
{
    // 44100 Hz, 16 bits: 1486 ms fit at the device format, 743 ms at eight
    // bytes a frame; 20 Hz wants 2500 ms and gets 743, 10 kHz wants 5 and gets 10.
    EXPECT_EQ(SweepCaptureFrames(20.0, 44100, 16), 44100 * 743 / 1000);
    EXPECT_EQ(SweepCaptureFrames(10000.0, 44100, 16), 441);
    EXPECT_EQ(SweepCaptureFrames(1000.0, 48000, 16), 2400); // 50 ms
    // 24 bits at 48000 Hz: 910 ms at the device format, 682 ms at eight bytes.
    EXPECT_EQ(SweepCaptureFrames(20.0, 48000, 24), 48000 * 682 / 1000);
    EXPECT_EQ(SweepCaptureFrames(1000.0, 0, 16), 0);
    EXPECT_TRUE(SweepFrequencyPlayable(22050.0, 44100, 48000));
    EXPECT_FALSE(SweepFrequencyPlayable(22051.0, 44100, 48000));
    EXPECT_FALSE(SweepFrequencyPlayable(23000.0, 96000, 44100));
    // 743 ms of 20 Hz leave 11.9 periods after the first fifth: one capture.
    // The 170 ms at 192 kHz leave 2.7 periods of 20 Hz and 4.9 of 36 Hz (two
    // captures), 5.03 of 37 Hz (one), 0.136 of 1 Hz (37).
    EXPECT_EQ(SweepCapturesNeeded(20.0, 44100, 44100 * 743 / 1000), 1);
    const int frames = 192000 * 170 / 1000;
    EXPECT_EQ(SweepCaptureFrames(20.0, 192000, 16), frames);
    for (const auto &[f, captures] : {std::pair{20.0, 2}, {36.0, 2}, {37.0, 1}, {1.0, 37}, {0.0, 1}})
        EXPECT_EQ(SweepCapturesNeeded(f, 192000, frames), captures) << f;
}

TEST(SweepEvaluation, PhaseRangeDcHarmonicsShortBlocksAndAnOffFrequency)
{
    SweepEvaluator e;
    const double rate = 48000.0;
    auto reading = [&](int frames, double played, double assumed, const Sine &right, const Sine &left, int mode) {
        const std::vector<float> b = Block(frames, played, rate, right, left);
        return e.Evaluate(b.data(), int(b.size()), mode, assumed, rate, kNone);
    };
    // (-180, 180]: an inverted channel reads +180; leads and lags beyond 90.
    for (const double deg : {180.0, -179.5, 135.0, -100.0})
        EXPECT_NEAR(reading(2400, 1000, 1000, {0.3, deg}, {0.3, 0.0}, kSweepLeftReference).Second, deg, 0.05);
    // DC on both inputs is fitted away; a third harmonic at -40 dB, over 50
    // periods, moves the readings by far less than it weighs.
    const Sine right{0.25, -30.0, 0.05, 0.01}, left{0.5, 0.0, -0.1, 0.01};
    SweepReading r = reading(2400, 1000, 1000, right, left, kSweepLeftReference);
    EXPECT_NEAR(r.First, Db(0.5), 0.005);
    EXPECT_NEAR(r.Second, -30.0, 0.1);
    EXPECT_NEAR(reading(2400, 1000, 1000, right, left, kSweepStereo).First, Db(0.25), 0.01);
    // Near half the rate (a little more than two frames a period), and over
    // half a period of 50 Hz: a sine is still fitted exactly.
    for (const auto &[f, frames] : {std::pair{0.499 * rate, 480}, std::pair{50.0, 600}}) {
        r = reading(frames, f, f, {0.4, 20.0}, {0.2, 0.0}, kSweepRightReference);
        EXPECT_NEAR(r.First, Db(0.5), 0.005) << f;
        EXPECT_NEAR(r.Second, -20.0, 0.1) << f;
    }
    // The limit: a device playing 1 Hz off 1 kHz drifts 14.4 degrees over the
    // fitted 40 periods. Both channels drift alike, so their comparison holds;
    // the absolute level drops as sin(x)/x with x = 7.2 degrees: -0.023 dB.
    r = reading(2400, 1001, 1000, right, left, kSweepLeftReference);
    EXPECT_NEAR(r.First, Db(0.5), 0.005);
    EXPECT_NEAR(r.Second, -30.0, 0.1);
    const double x = 7.2 * kPi / 180.0;
    EXPECT_NEAR(reading(2400, 1001, 1000, right, left, kSweepStereo).Second, Db(0.5 * std::sin(x) / x), 0.01);
}

TEST(SweepEvaluation, BlocksWithGapsBetweenThemAddUp)
{
    // Two captures of a step start at unrelated phases: each is fitted on
    // its own; the transfer is sum(m·conj r)/sum|r|² = 0.1·(0.2 + 0.3)/(0.04
    // + 0.09) at +40 degrees, the stereo level the root of the mean squared peak.
    const double rate = 192000.0, f = 20.0;
    const int frames = 192000 * 170 / 1000;
    SweepEvaluator e;
    e.Begin();
    for (const auto &[ref, start] : {std::pair{0.2, 0.0}, {0.3, 123.0}}) {
        const std::vector<float> b = Block(frames, f, rate, {0.1, 40.0 + start}, {ref, start});
        e.Add(b.data(), int(b.size()), f, rate);
    }
    SweepReading r = e.Result(kSweepLeftReference, f, kNone);
    EXPECT_NEAR(r.First, Db(0.05 / 0.13), 0.005);
    EXPECT_NEAR(r.Second, 40.0, 0.1);
    r = e.Result(kSweepStereo, f, kNone);
    EXPECT_NEAR(r.Second, Db(std::sqrt((0.04 + 0.09) / 2.0)), 0.01);
    EXPECT_NEAR(r.First, Db(0.1), 0.01);
}

TEST(SweepEvaluation, SilentChannelsAndCorrections)
{
    SweepEvaluator e;
    const double rate = 48000.0;
    // The right input dead but for a DC offset: no signal there.
    std::vector<float> b = Block(4800, 500.0, rate, {0.0, 0.0, 0.01}, {0.5, 0.0});
    for (const int mode : {0, 1}) {
        const SweepReading r = e.Evaluate(b.data(), int(b.size()), mode, 500.0, rate, kNone);
        EXPECT_EQ(r.First, kSweepSilentDb);
        EXPECT_EQ(r.Second, 0.0f);
    }
    // The input correction (+2 dB) is taken off the stereo levels.
    CorrectionCurve plus2;
    const CorrectionPoint points[] = {{10, 2}, {100000, 2}};
    plus2.setFromTable(points, 2);
    plus2.setActive(true);
    SweepReading r = e.Evaluate(b.data(), int(b.size()), kSweepStereo, 500.0, rate, plus2);
    EXPECT_EQ(r.First, kSweepSilentDb);
    EXPECT_NEAR(r.Second, Db(0.5) - 2.0, 0.01);
    // A block too short to fit, and a sine at exactly half the rate played
    // with phase 0 (all zeros): silent, never NaN.
    EXPECT_EQ(e.Evaluate(b.data(), 4, kSweepLeftReference, 500.0, rate, kNone).First, kSweepSilentDb);
    b = Block(480, rate / 2.0, rate, {0.5, 0.0}, {0.5, 0.0});
    r = e.Evaluate(b.data(), int(b.size()), kSweepStereo, rate / 2.0, rate, kNone);
    EXPECT_EQ(r.First, kSweepSilentDb);
    EXPECT_EQ(r.Second, kSweepSilentDb);
}
