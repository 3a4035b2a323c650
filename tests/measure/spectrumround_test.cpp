// The analyser round that the page and the command line share, fed blocks
// made here: magnitudes of sines exactly on a bin against A/2 times the
// window's mean (window None: 0.5), averaged over the round; the channels
// at their places in a frame; a channel that is off left alone; a block
// longer than the buffers taken without writing past them.
#include "dsp/fft.h"
#include "measurement/spectrumround.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace {

constexpr int kFft = 4096;
constexpr int kBin = 93;

// An interleaved block of `frames` frames: the right input (even positions)
// a sine of peak `right` on bin kBin, the left (odd positions) one of `left`.
std::vector<float> Block(int frames, double left, double right)
{
    std::vector<float> b(static_cast<std::size_t>(frames) * 2);
    for (int k = 0; k < frames; ++k) {
        const double s = std::sin(2.0 * std::numbers::pi * kBin * k / kFft);
        b[2 * std::size_t(k)] = static_cast<float>(right * s);
        b[2 * std::size_t(k) + 1] = static_cast<float>(left * s);
    }
    return b;
}

TEST(SpectrumRound, ARoundAveragesTheMagnitudesOfItsBlocksAndStartsAgainFromZero)
{
    measure::SpectrumRound round;
    ASSERT_TRUE(round.Allocate());
    round.SetWindow(dsp::kWindowNone, kFft);
    ASSERT_EQ(round.Bins(), kFft / 2);
    measure::AverageRound counter{3, 3};
    const double peaks[3][2] = {{0.8, 0.1}, {0.4, 0.2}, {0.6, 0.6}}; // left, right
    for (int i = 0; i < 3; ++i) {
        const std::vector<float> b = Block(measure::AnalyserCaptureFrames(kFft), peaks[i][0], peaks[i][1]);
        EXPECT_EQ(round.AddBlock(b.data(), int(b.size()), true, true, counter), i == 2) << i;
    }
    // mean peaks 0.6 (left) and 0.3 (right), read as A/2 · 0.5
    EXPECT_NEAR(round.Left()[kBin], 0.6 / 4.0, 1e-4);
    EXPECT_NEAR(round.Right()[kBin], 0.3 / 4.0, 1e-4);
    EXPECT_NEAR(round.Left()[kBin + 5], 0.0, 1e-4);
    for (float v : round.LeftSum())
        ASSERT_EQ(v, 0.0f);
}

TEST(SpectrumRound, AChannelThatIsOffStaysAsItWasAndLongBlocksStayInTheBuffers)
{
    measure::SpectrumRound round;
    ASSERT_TRUE(round.Allocate());
    round.SetWindow(dsp::kWindowNone, kFft);
    round.ZeroAll();
    measure::AverageRound counter{1, 1};
    // Twice as many frames as a buffer holds: only what fits is split.
    const std::vector<float> b = Block(int(2 * measure::SpectrumRound::kChannelValues), 0.5, 1.0);
    EXPECT_TRUE(round.AddBlock(b.data(), int(b.size()), true, false, counter));
    EXPECT_NEAR(round.Left()[kBin], 0.5 / 4.0, 1e-4);
    EXPECT_EQ(round.Right()[kBin], 0.0f);
    round.Release();
    EXPECT_FALSE(round.Allocated());
    counter = {1, 1};
    EXPECT_FALSE(round.AddBlock(b.data(), int(b.size()), true, true, counter));
}

} // namespace
