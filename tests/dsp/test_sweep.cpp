// Sweep arithmetic: the frequency plan, the capture length per step, and the
// evaluation of synthetic blocks with known levels and phases, among them a
// lag smaller than one sample step and silent channels.
#include "dsp/sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace dsp;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Interleaved block as the capture delivers it: right input at the even
// positions, left at the odd, each a sine of the given peak and phase (degrees).
std::vector<float> Block(int frames, double f, double rate, double rightPeak, double rightDeg, double leftPeak,
                         double leftDeg)
{
    std::vector<float> v(2 * static_cast<size_t>(frames));
    for (int j = 0; j < frames; ++j) {
        const double t = 2.0 * kPi * f * j / rate;
        v[2 * j] = static_cast<float>(rightPeak * std::sin(t + rightDeg * kPi / 180.0));
        v[2 * j + 1] = static_cast<float>(leftPeak * std::sin(t + leftDeg * kPi / 180.0));
    }
    return v;
}

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

TEST(SweepPlan, CaptureLengthIsFiftyPeriodsWithinTheBuffer)
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
}

TEST(SweepEvaluation, LevelsAndPhaseOfKnownSines)
{
    SweepEvaluator e;
    CorrectionCurve none;
    const double rate = 44100.0;
    // Right at half the left's amplitude, lagging 30 degrees, at 1 kHz.
    std::vector<float> b = Block(2205, 1000.0, rate, 0.25, -30.0, 0.5, 0.0);
    SweepReading r = e.Evaluate(b.data(), static_cast<int>(b.size()), kSweepLeftReference, 1000.0, rate, none);
    EXPECT_NEAR(r.Levels.Left * kSineMeanToPeak, 0.5, 0.005);
    EXPECT_NEAR(r.First, -6.02, 0.05);
    EXPECT_NEAR(r.Second, -30.0, 2.0);
    r = e.Evaluate(b.data(), static_cast<int>(b.size()), kSweepRightReference, 1000.0, rate, none);
    EXPECT_NEAR(r.First, 6.02, 0.05);
    EXPECT_NEAR(r.Second, 30.0, 2.0);

    // At 15 kHz one sample step is 122 degrees: a lag of 40 degrees falls
    // between the frame before the crossing and the crossing itself, and
    // must still read as a lag; a lead as a lead.
    for (const double deg : {-40.0, 40.0}) {
        b = Block(441, 15000.0, rate, 0.5, deg, 0.5, 0.0);
        r = e.Evaluate(b.data(), static_cast<int>(b.size()), kSweepLeftReference, 15000.0, rate, none);
        EXPECT_NEAR(r.Second, deg, 5.0);
    }
}

TEST(SweepEvaluation, SilentChannels)
{
    SweepEvaluator e;
    CorrectionCurve none;
    const double rate = 48000.0;
    std::vector<float> b = Block(4800, 500.0, rate, 0.0, 0.0, 0.5, 0.0); // right input dead
    for (const int mode : {0, 1}) {
        const SweepReading r = e.Evaluate(b.data(), static_cast<int>(b.size()), mode, 500.0, rate, none);
        EXPECT_EQ(r.First, kSweepSilentDb);
        EXPECT_EQ(r.Second, 0.0f);
    }
    SweepReading r = e.Evaluate(b.data(), static_cast<int>(b.size()), kSweepStereo, 500.0, rate, none);
    EXPECT_EQ(r.First, kSweepSilentDb);
    EXPECT_NEAR(r.Second, -6.02, 0.05);
}
