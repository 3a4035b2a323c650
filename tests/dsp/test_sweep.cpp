// Sweep arithmetic: the frequency plan, the capture length and the captures
// per step, and the synchronous detection of level and phase on synthetic
// blocks with known sines: at simple fractions of the rate (where a period
// holds a few frames at fixed places), near half the rate, over a fraction
// of a period, with DC, harmonics, a slightly wrong frequency, over several
// blocks with gaps between them, and with silent channels.
#include "dsp/sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace dsp;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Sine {
    double peak = 0.0, degrees = 0.0, dc = 0.0, third = 0.0; // third: harmonic re the peak
};

// Interleaved block as the capture delivers it: right input at the even
// positions, left at the odd, each a sine at `f` (phase in degrees at frame
// 0), optionally rounded to 16 bits as a capture would.
std::vector<float> Block(int frames, double f, double rate, const Sine &right, const Sine &left, bool round16 = true)
{
    std::vector<float> v(2 * static_cast<size_t>(frames));
    for (int j = 0; j < frames; ++j) {
        const double t = 2.0 * kPi * f * j / rate;
        for (int ch = 0; ch < 2; ++ch) {
            const Sine &s = ch == 0 ? right : left;
            double x = s.dc + s.peak * std::sin(t + s.degrees * kPi / 180.0) +
                       s.third * s.peak * std::sin(3.0 * t + 0.3);
            if (round16)
                x = std::round(x * 32767.0) / 32767.0;
            v[2 * j + ch] = static_cast<float>(x);
        }
    }
    return v;
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Phase difference wrapped into (-180, 180].
double Wrapped(double degrees)
{
    double d = std::remainder(degrees, 360.0);
    return d <= -180.0 ? d + 360.0 : d;
}

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
    EXPECT_EQ(SweepCapturesNeeded(20.0, 44100, SweepCaptureFrames(20.0, 44100, 16)), 1);
    // At 192 kHz the buffer holds 170 ms: 3.4 periods of 20 Hz, 2.72 after
    // the first fifth, so two captures; 36 Hz leaves 4.9 periods (two), 37 Hz 5.03 (one).
    const int frames = SweepCaptureFrames(20.0, 192000, 16);
    EXPECT_EQ(frames, 192000 * 170 / 1000);
    EXPECT_EQ(SweepCapturesNeeded(20.0, 192000, frames), 2);
    EXPECT_EQ(SweepCapturesNeeded(36.0, 192000, frames), 2);
    EXPECT_EQ(SweepCapturesNeeded(37.0, 192000, frames), 1);
    // 1 Hz: 0.136 periods a capture, 37 of them.
    EXPECT_EQ(SweepCapturesNeeded(1.0, 192000, frames), 37);
    EXPECT_EQ(SweepCapturesNeeded(0.0, 192000, frames), 1);
}

TEST(SweepEvaluation, LevelAndPhaseAreExactAtSimpleFractionsOfTheRate)
{
    // Where the rate is a small multiple of the frequency every period puts
    // its frames on the same few points of the sine. The readings must not
    // depend on where those points fall.
    SweepEvaluator e;
    for (const double rate : {44100.0, 48000.0, 96000.0}) {
        for (const double divisor : {24.0, 12.0, 8.0, 6.0, 4.0, 3.0, 2.2, 1000.0 / 997.0 * 24.0}) {
            const double f = rate / divisor;
            const int frames = SweepCaptureFrames(f, static_cast<std::int32_t>(rate), 16);
            for (const double start : {0.0, 7.5, 45.0}) {
                // The measured (right) channel 1.3 dB down, lagging 12.5 degrees.
                const Sine ref{0.5, start}, dut{0.5 * std::pow(10.0, -1.3 / 20.0), start - 12.5};
                std::vector<float> b = Block(frames, f, rate, dut, ref);
                SCOPED_TRACE(testing::Message() << rate << " Hz / " << divisor << ", start " << start);
                SweepReading r = e.Evaluate(b.data(), int(b.size()), kSweepLeftReference, f, rate, kNone);
                EXPECT_NEAR(r.First, -1.3, 0.005);
                EXPECT_NEAR(r.Second, -12.5, 0.1);
                r = e.Evaluate(b.data(), int(b.size()), kSweepRightReference, f, rate, kNone);
                EXPECT_NEAR(r.First, 1.3, 0.005);
                EXPECT_NEAR(r.Second, 12.5, 0.1);
                r = e.Evaluate(b.data(), int(b.size()), kSweepStereo, f, rate, kNone);
                EXPECT_NEAR(r.Second, Db(0.5), 0.01);
                EXPECT_NEAR(r.First, Db(0.5) - 1.3, 0.01);
                EXPECT_NEAR(r.Levels.Left, 0.5, 0.5e-3);
            }
        }
    }
}

TEST(SweepEvaluation, PhaseRangeDcHarmonicsAndShortBlocks)
{
    SweepEvaluator e;
    const double rate = 48000.0;
    // An inverted channel reads +180, never -180; leads and lags beyond 90.
    for (const double deg : {180.0, -179.5, 135.0, -100.0, 0.0}) {
        const std::vector<float> b = Block(2400, 1000.0, rate, {0.3, deg}, {0.3, 0.0});
        const SweepReading r = e.Evaluate(b.data(), int(b.size()), kSweepLeftReference, 1000.0, rate, kNone);
        EXPECT_NEAR(Wrapped(r.Second - deg), 0.0, 0.05) << deg;
        if (deg == 180.0) {
            EXPECT_GT(r.Second, 179.0f);
        }
    }
    // A DC offset on both inputs is fitted away exactly; a third harmonic at
    // -40 dB over 50 periods moves the level by far less than it weighs.
    std::vector<float> b = Block(2400, 1000.0, rate, {0.25, -30.0, 0.05, 0.01}, {0.5, 0.0, -0.1, 0.01});
    SweepReading r = e.Evaluate(b.data(), int(b.size()), kSweepLeftReference, 1000.0, rate, kNone);
    EXPECT_NEAR(r.First, Db(0.5), 0.005);
    EXPECT_NEAR(r.Second, -30.0, 0.1);
    r = e.Evaluate(b.data(), int(b.size()), kSweepStereo, 1000.0, rate, kNone);
    EXPECT_NEAR(r.First, Db(0.25), 0.01);
    // Near half the rate (two frames a period and a little more), and a block
    // holding half a period: a pure sine is still fitted exactly.
    for (const auto &[f, frames] : {std::pair{0.499 * rate, 480}, std::pair{50.0, 600}}) {
        b = Block(frames, f, rate, {0.4, 20.0}, {0.2, 0.0}, false);
        r = e.Evaluate(b.data(), int(b.size()), kSweepLeftReference, f, rate, kNone);
        EXPECT_NEAR(r.First, Db(2.0), 0.005) << f;
        EXPECT_NEAR(r.Second, 20.0, 0.1) << f;
    }
    // The limit: a device that plays 0.1 % off the frequency it was given
    // (over 50 periods the fit drifts by 18 degrees) still compares its two
    // channels exactly, while the absolute level drops by about 0.05 dB.
    b = Block(2400, 1001.0, rate, {0.25, -30.0}, {0.5, 0.0});
    r = e.Evaluate(b.data(), int(b.size()), kSweepLeftReference, 1000.0, rate, kNone);
    EXPECT_NEAR(r.First, Db(0.5), 0.005);
    EXPECT_NEAR(r.Second, -30.0, 0.1);
    r = e.Evaluate(b.data(), int(b.size()), kSweepStereo, 1000.0, rate, kNone);
    EXPECT_LT(r.Second, Db(0.5) - 0.02);
    EXPECT_GT(r.Second, Db(0.5) - 0.1);
}

TEST(SweepEvaluation, BlocksWithGapsBetweenThemAddUp)
{
    // Two captures of one step start at unrelated phases of the sine: each
    // is fitted on its own, the transfer and the levels come from both.
    const double rate = 192000.0, f = 20.0;
    const int frames = SweepCaptureFrames(f, 192000, 16);
    SweepEvaluator e;
    e.Begin();
    std::vector<float> b = Block(frames, f, rate, {0.1, 40.0}, {0.2, 0.0});
    e.Add(b.data(), int(b.size()), f, rate);
    b = Block(frames, f, rate, {0.1, 40.0 + 123.0}, {0.3, 123.0});
    e.Add(b.data(), int(b.size()), f, rate);
    // sum(m·conj r)/sum|r|² = 0.1·(0.2 + 0.3)/(0.04 + 0.09) at +40 degrees.
    SweepReading r = e.Result(kSweepLeftReference, f, kNone);
    EXPECT_NEAR(r.First, Db(0.05 / 0.13), 0.005);
    EXPECT_NEAR(r.Second, 40.0, 0.1);
    // Equal blocks: the root of the mean of the squared peaks.
    r = e.Result(kSweepStereo, f, kNone);
    EXPECT_NEAR(r.Levels.Left, std::sqrt((0.04 + 0.09) / 2.0), 1e-4);
    EXPECT_NEAR(r.First, Db(0.1), 0.01);
}

TEST(SweepEvaluation, SilentChannelsAndCorrections)
{
    SweepEvaluator e;
    const double rate = 48000.0;
    // The right input dead, but with a DC offset: still no signal.
    std::vector<float> b = Block(4800, 500.0, rate, {0.0, 0.0, 0.01}, {0.5, 0.0});
    for (const int mode : {0, 1}) {
        const SweepReading r = e.Evaluate(b.data(), int(b.size()), mode, 500.0, rate, kNone);
        EXPECT_EQ(r.First, kSweepSilentDb);
        EXPECT_EQ(r.Second, 0.0f);
    }
    SweepReading r = e.Evaluate(b.data(), int(b.size()), kSweepStereo, 500.0, rate, kNone);
    EXPECT_EQ(r.First, kSweepSilentDb);
    EXPECT_NEAR(r.Second, Db(0.5), 0.01);
    // The input correction is taken off the stereo levels.
    CorrectionCurve plus2;
    const CorrectionPoint points[] = {{10, 2}, {100000, 2}};
    plus2.setFromTable(points, 2);
    plus2.setActive(true);
    r = e.Evaluate(b.data(), int(b.size()), kSweepStereo, 500.0, rate, plus2);
    EXPECT_NEAR(r.Second, Db(0.5) - 2.0, 0.01);
    // No block at all, and a block too short to fit: silent.
    e.Begin();
    e.Add(b.data(), 4, 500.0, rate);
    EXPECT_EQ(e.Result(kSweepLeftReference, 500.0, kNone).First, kSweepSilentDb);
    // A sine exactly at half the rate played with phase 0 is all zeros.
    b = Block(480, rate / 2.0, rate, {0.5, 0.0}, {0.5, 0.0});
    r = e.Evaluate(b.data(), int(b.size()), kSweepStereo, rate / 2.0, rate, kNone);
    EXPECT_EQ(r.First, kSweepSilentDb);
    EXPECT_TRUE(std::isfinite(r.Second));
}
