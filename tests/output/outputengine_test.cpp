// The output engine on the ideal virtual loopback card: what loop and stream
// playback send comes back on the card's input at the level asked for, a
// stream takes a new frequency at a buffer boundary without a phase jump,
// a restart while streaming plays only the new settings, stopping leaves
// nothing queued or prepared, refused formats. Device errors are scripted in
// the output fault tests.
#include "audio/outputengine.h"
#include "support/audiotestsupport.h"

#include <QTimer>

using namespace audio;
using audiotest::AmplitudeAt;
using audiotest::Db;
using audiotest::Continues;
using audiotest::Peak;

namespace {

class OutputEngine : public ::testing::Test {
protected:
    void TearDown() override { card_.stop(); }

    // The engine's generator record set to a sine; returns it.
    static GeneratorSettings &sine(int levelL, int levelR, bool loop)
    {
        GeneratorSettings &g = Generator();
        g = GeneratorSettings{};
        g.LevelL = levelL;
        g.LevelR = levelR;
        g.Waveform = WaveSine;
        g.Loop = loop;
        return g;
    }
    static bool noHeaderBusy()
    {
        for (WaveHeader *h : {LoopHeader(), StreamHeader(0), StreamHeader(1)})
            if (h->dwFlags & (WHDR_PREPARED | WHDR_INQUEUE))
                return false;
        return true;
    }

    audiotest::SettingsScratch settings_{"outputengine"};
    audiotest::CardEngine card_;
    std::vector<double> left_, right_;
};

} // namespace

TEST_F(OutputEngine, LoopAndStreamSinesComeBackAtTheirLevel)
{
    card_.start(48000, 16);
    struct Case {
        bool loop;
        float freq;
        int levelL, levelR;
    } cases[] = {{true, 1000, -20, -20}, {false, 1000, -20, -20}, {true, 997, -6, -100}, {false, 997, -100, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.loop ? "loop " : "stream ") << c.freq);
        GeneratorSettings &g = sine(c.levelL, c.levelR, c.loop);
        ASSERT_EQ(StartOutput(g, -1.0, c.freq), 0);
        EXPECT_TRUE(OutputRunning());
        EXPECT_EQ(g.Frequency, c.freq);
        card_.capture(16384, left_, right_); // several stream buffers
        for (auto [x, level] : {std::pair{&left_, c.levelL}, std::pair{&right_, c.levelR}}) {
            if (level == -100) {
                EXPECT_EQ(Peak(*x), 0.0);
            } else {
                EXPECT_NEAR(Db(AmplitudeAt(*x, c.freq, 48000)), level, 0.05);
                EXPECT_NEAR(Peak(*x), std::pow(10.0, level / 20.0), 0.001);
            }
        }
        EXPECT_EQ(StopOutput(), 0);
        EXPECT_FALSE(OutputRunning());
    }
    EXPECT_TRUE(AudioLog().empty());
}

TEST_F(OutputEngine, StreamTakesANewFrequencyAtABufferBoundaryWithoutAPhaseJump)
{
    card_.start(48000, 16, 16384); // 4096 frames per buffer
    const double a = std::pow(10.0, -6 / 20.0);
    const double w1 = 2 * std::numbers::pi * 1000 / 48000.0, w2 = 2 * std::numbers::pi * 1700 / 48000.0;
    GeneratorSettings &g = sine(-6, -6, false);
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    g.Frequency = 1700.0f;
    UpdateOutputSettings(g); // the refill takes it at its next buffer
    card_.capture(32768, left_, right_);

    int firstNew = -1;
    for (std::size_t n = 1; n + 1 < left_.size(); ++n) {
        const bool old = Continues(left_[n - 1], left_[n], left_[n + 1], a, w1, w1, 3e-3);
        const bool boundary = Continues(left_[n - 1], left_[n], left_[n + 1], a, w1, w2, 3e-3);
        const bool fresh = Continues(left_[n - 1], left_[n], left_[n + 1], a, w2, w2, 3e-3);
        ASSERT_TRUE(old || boundary || fresh) << "phase jump at frame " << n;
        if (firstNew < 0 && fresh && !old)
            firstNew = static_cast<int>(n);
    }
    ASSERT_GT(firstNew, 50); // the buffers queued before the change still played 1 kHz
    EXPECT_LE(firstNew, 2 * 4096 + 1);
    std::vector<double> tail(left_.end() - 9600, left_.end());
    EXPECT_NEAR(Db(AmplitudeAt(tail, 1700, 48000)), -6.0, 0.1);
    EXPECT_LT(AmplitudeAt(tail, 1000, 48000), 1e-3);
    EXPECT_EQ(RefillError(), 0);
}

// A change in the generator restarts the stream in place: the queued audio
// is dropped and the sine goes on from the frame the device stopped at, after
// the short silence of the restart, at the new frequency.
TEST_F(OutputEngine, ARestartWhileStreamingGoesOnWhereTheDeviceStopped)
{
    card_.start(48000, 16, 16384, {}, true); // paced: the restart falls inside the capture
    const double a = std::pow(10.0, -6 / 20.0);
    const double w1 = 2 * std::numbers::pi * 1000 / 48000.0, w2 = 2 * std::numbers::pi * 1700 / 48000.0;
    GeneratorSettings &g = sine(-6, -6, false);
    g.PhaseL = 4; // keeps the 1 kHz samples off zero, so only the restart's silence is zero
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    QTimer::singleShot(150, [&] { ASSERT_EQ(StartOutput(g, -1.0, 1700.0f), 0); });
    card_.capture(24000, left_, right_);
    bool changed = false;
    EXPECT_EQ(audiotest::SineBreak(left_, a, w1, w2, changed), -1) << "a phase jump";
    EXPECT_TRUE(changed);
}

TEST_F(OutputEngine, StartWhileStreamingRestartsWithOnlyTheNewSettings)
{
    card_.start(48000, 16, 16384);
    GeneratorSettings &g = sine(-10, -10, false);
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    card_.capture(2048, left_, right_);
    g.LevelR = -30;
    ASSERT_EQ(StartOutput(g, -1.0, 3000.0f), 0); // what was queued is dropped
    EXPECT_TRUE(OutputRunning());
    card_.capture(9600, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 3000, 48000)), -10.0, 0.05);
    EXPECT_NEAR(Db(AmplitudeAt(right_, 3000, 48000)), -30.0, 0.05);
    EXPECT_LT(AmplitudeAt(left_, 1000, 48000), 1e-4);

    g.Loop = true; // switching to loop mode while streaming restarts in loop mode
    ASSERT_EQ(StartOutput(g, -1.0, 2000.0f), 0);
    card_.capture(9600, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 2000, 48000)), -10.0, 0.05);
    EXPECT_LT(AmplitudeAt(left_, 3000, 48000), 1e-4);
    StopOutput();
    EXPECT_TRUE(noHeaderBusy());
}

TEST_F(OutputEngine, StopLeavesNothingQueuedOrPrepared)
{
    card_.start(48000, 16);
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "loop" : "stream");
        GeneratorSettings &g = sine(0, 0, loop);
        g.Waveform = WavePinkNoise;
        ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
        card_.capture(4096, left_, right_);
        ASSERT_GT(Peak(left_), 0.01);
        EXPECT_EQ(left_, right_); // equal phases: the same noise on both channels
        EXPECT_EQ(StopOutput(), 0);
        EXPECT_FALSE(OutputRunning());
        EXPECT_TRUE(noHeaderBusy());
        card_.capture(4096, left_, right_); // closed and quiet: the ideal card hears silence
        EXPECT_EQ(Peak(left_) + Peak(right_), 0.0);
        EXPECT_EQ(StopOutput(), 0); // harmless when nothing plays
    }
    EXPECT_TRUE(AudioLog().empty());
}

TEST_F(OutputEngine, RefusedFormatIsReturnedWithoutALogLineAndNothingOpen)
{
    card_.start(44100, 8, 16384, {{16, 44100}, {16, 48000}});
    GeneratorSettings &g = sine(0, 0, true);
    EXPECT_EQ(StartOutput(g, -1.0, 1000.0f), WAVERR_BADFORMAT);
    EXPECT_FALSE(OutputRunning());
    EXPECT_TRUE(AudioLog().empty());
    EXPECT_EQ(AudioStatus(), WAVERR_BADFORMAT);
    card_.setFormat(48000, 16); // the next start with an accepted format plays
    EXPECT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    card_.capture(4800, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 1000, 48000)), 0.0, 0.05);
}

TEST_F(OutputEngine, TwentyFourAndEightBitStreamsComeBack)
{
    card_.start(44100, 24, 8192);
    GeneratorSettings &g = sine(-20, -20, false);
    g.PhaseR = 90; // right leads by a quarter period
    ASSERT_EQ(StartOutput(g, -1.0, 441.0f), 0);
    card_.capture(4400, left_, right_); // 44 whole periods
    EXPECT_NEAR(Db(AmplitudeAt(left_, 441, 44100)), -20.0, 0.01);
    for (std::size_t i = 0; i < left_.size(); ++i) { // where the left peaks, the right crosses zero
        if (std::abs(left_[i]) > 0.0999) {
            ASSERT_LT(std::abs(right_[i]), 0.005) << i;
        }
    }
    StopOutput();

    card_.setFormat(44100, 8);
    ASSERT_EQ(StartOutput(g, -1.0, 441.0f), 0);
    card_.capture(4400, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 441, 44100)), -20.0, 0.3); // 8-bit steps of 1/128
}

TEST_F(OutputEngine, DoneAudioStopsARunningStream)
{
    card_.start(48000, 16);
    ASSERT_EQ(StartOutput(sine(-20, -20, false), -1.0, 1000.0f), 0);
    platform::DelayMs(30); // let the card play and refill in real time
    DoneAudio();
    EXPECT_FALSE(OutputRunning());
    EXPECT_EQ(StopOutput(), 0); // no buffers any more: still harmless
}
