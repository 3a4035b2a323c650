// The output engine on the ideal virtual loopback card: what loop and stream
// playback send comes back on the card's input at the level asked for, a
// stream takes a new frequency at a buffer boundary without a phase jump,
// a restart while streaming plays only the new settings, stopping leaves
// nothing queued or prepared, refused formats and device errors.
#include "outputtestsupport.h"

#include "audio/samplecodec.h"
#include "dsp/fft.h"

#include <QCoreApplication>
#include <QElapsedTimer>

using namespace audio;
using outtest::AmplitudeAt;
using outtest::Db;

namespace {

class OutputEngine : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testsupport::ScratchDir("outputengine"); }
    void TearDown() override { card_.stop(); }

    GeneratorSettings sine(float f, int level, bool loop)
    {
        GeneratorSettings g;
        g.Frequency = f;
        g.LevelL = level;
        g.LevelR = level;
        g.Waveform = WaveSine;
        g.Loop = loop;
        return g;
    }

    static bool noHeaderBusy()
    {
        WaveHeader *hs[3] = {LoopHeader(), StreamHeader(0), StreamHeader(1)};
        for (WaveHeader *h : hs)
            if (h->dwFlags & (WHDR_PREPARED | WHDR_INQUEUE))
                return false;
        return true;
    }

    std::string dir_;
    outtest::CardEngine card_;
    std::vector<double> left_, right_;
};

// Whether x[n+1] continues a sine of amplitude a through x[n-1], x[n] when
// the phase advanced by wa from n-1 to n and by wb from n to n+1.
bool Continues(double xm, double x0, double xp, double a, double wa, double wb, double tol)
{
    const double s = x0 / a;
    const double c = (s * std::cos(wa) - xm / a) / std::sin(wa);
    return std::abs(a * (s * std::cos(wb) + c * std::sin(wb)) - xp) < tol;
}

} // namespace

TEST_F(OutputEngine, LoopAndStreamSinesComeBackAtTheirLevel)
{
    card_.start(dir_);
    for (bool loop : {true, false}) {
        SCOPED_TRACE(loop ? "loop" : "stream");
        GeneratorSettings &g = Generator();
        g = sine(0, -20, loop);
        ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
        EXPECT_TRUE(OutputRunning());
        EXPECT_EQ(g.Frequency, 1000.0f);
        if (loop) {
            EXPECT_EQ(LoopPrecision(), 0); // 48 frames per period
        }
        // 200 whole periods, several stream buffers long
        card_.capture(9600, left_, right_);
        EXPECT_NEAR(Db(AmplitudeAt(left_, 1000, 48000)), -20.0, 0.05);
        EXPECT_NEAR(Db(AmplitudeAt(right_, 1000, 48000)), -20.0, 0.05);
        EXPECT_NEAR(outtest::Peak(left_), 0.1, 0.001);
        EXPECT_EQ(StopOutput(), 0);
        EXPECT_FALSE(OutputRunning());
    }
    EXPECT_TRUE(AudioLog().empty());
}

TEST_F(OutputEngine, LoopOfAnOddFrequencyReportsItsPrecisionAndStillPlaysIt)
{
    card_.start(dir_);
    GeneratorSettings &g = Generator();
    g = sine(0, -6, true);
    g.LevelR = -100; // right off
    ASSERT_EQ(StartOutput(g, -1.0, 997.0f), 0);
    int precision = -1;
    LoopLength(48000, 2, 997.0, &precision);
    EXPECT_EQ(LoopPrecision(), precision);
    card_.capture(16384, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 997, 48000)), -6.0, 0.1);
    EXPECT_EQ(outtest::Peak(right_), 0.0);
}

TEST_F(OutputEngine, StreamTakesANewFrequencyAtABufferBoundaryWithoutAPhaseJump)
{
    card_.start(dir_, 48000, 16, 16384); // 4096 frames per buffer
    const double a = std::pow(10.0, -6 / 20.0);
    const double w1 = 2 * std::numbers::pi * 1000 / 48000.0, w2 = 2 * std::numbers::pi * 1700 / 48000.0;
    GeneratorSettings &g = Generator();
    g = sine(0, -6, false);
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    g.Frequency = 1700.0f;
    UpdateOutputSettings(g); // the refill takes it at its next buffer
    card_.capture(32768, left_, right_);

    const double tol = 3e-3;
    int firstNew = -1;
    for (std::size_t n = 1; n + 1 < left_.size(); ++n) {
        const bool old = Continues(left_[n - 1], left_[n], left_[n + 1], a, w1, w1, tol);
        const bool boundary = Continues(left_[n - 1], left_[n], left_[n + 1], a, w1, w2, tol);
        const bool fresh = Continues(left_[n - 1], left_[n], left_[n + 1], a, w2, w2, tol);
        ASSERT_TRUE(old || boundary || fresh) << "phase jump at frame " << n;
        if (firstNew < 0 && fresh && !old)
            firstNew = static_cast<int>(n);
    }
    // the buffers queued before the change still played 1 kHz
    ASSERT_GT(firstNew, 50);
    EXPECT_LE(firstNew, 2 * 4096 + 1); // the first triple wholly at 1.7 kHz
    std::vector<double> tail(left_.end() - 9600, left_.end());
    EXPECT_NEAR(Db(AmplitudeAt(tail, 1700, 48000)), -6.0, 0.1);
    EXPECT_LT(AmplitudeAt(tail, 1000, 48000), 1e-3);
    EXPECT_EQ(RefillError(), 0);
}

TEST_F(OutputEngine, StartWhileStreamingRestartsWithOnlyTheNewSettings)
{
    card_.start(dir_, 48000, 16, 16384);
    GeneratorSettings &g = Generator();
    g = sine(0, -10, false);
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    card_.capture(2048, left_, right_);
    g.LevelR = -30;
    ASSERT_EQ(StartOutput(g, -1.0, 3000.0f), 0); // what was queued is dropped
    EXPECT_TRUE(OutputRunning());
    card_.capture(9600, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 3000, 48000)), -10.0, 0.05);
    EXPECT_NEAR(Db(AmplitudeAt(right_, 3000, 48000)), -30.0, 0.05);
    EXPECT_LT(AmplitudeAt(left_, 1000, 48000), 1e-4);

    // switching to loop mode while streaming restarts in loop mode
    g.Loop = true;
    ASSERT_EQ(StartOutput(g, -1.0, 2000.0f), 0);
    card_.capture(9600, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 2000, 48000)), -10.0, 0.05);
    EXPECT_LT(AmplitudeAt(left_, 3000, 48000), 1e-4);
    StopOutput();
    EXPECT_TRUE(noHeaderBusy());
}

TEST_F(OutputEngine, StopLeavesNothingQueuedOrPreparedAndReturnsPromptly)
{
    card_.start(dir_);
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "loop" : "stream");
        GeneratorSettings &g = Generator();
        g = sine(0, 0, loop);
        g.Waveform = WavePinkNoise;
        ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
        card_.capture(4096, left_, right_);
        ASSERT_GT(outtest::Peak(left_), 0.01);
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(StopOutput(), 0);
        EXPECT_LT(t.elapsed(), 500);
        EXPECT_FALSE(OutputRunning());
        EXPECT_TRUE(noHeaderBusy());
        // the device is closed and quiet: the ideal card hears silence
        card_.capture(4096, left_, right_);
        EXPECT_EQ(outtest::Peak(left_), 0.0);
        EXPECT_EQ(outtest::Peak(right_), 0.0);
        EXPECT_EQ(StopOutput(), 0); // harmless when nothing plays
    }
    EXPECT_TRUE(AudioLog().empty());
}

TEST_F(OutputEngine, PinkNoiseFallsAboutThreeDecibelsPerOctave)
{
    card_.start(dir_, 48000, 16, 32768);
    GeneratorSettings &g = Generator();
    g = sine(0, -3, false);
    g.Waveform = WavePinkNoise;
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    // averaged Hann-windowed power spectra of 16384 points, 16 blocks
    const int n = 16384;
    std::vector<double> psd(n / 2, 0.0);
    std::vector<float> re(n), im(n);
    for (int block = 0; block < 8; ++block) {
        card_.capture(32768, left_, right_);
        for (int half = 0; half < 2; ++half) {
            for (int i = 0; i < n; ++i) {
                const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / n);
                re[i] = static_cast<float>(w * left_[half * n + i]);
                im[i] = 0.0f;
            }
            ASSERT_TRUE(dsp::Fft(re.data(), im.data(), n));
            for (int k = 0; k < n / 2; ++k)
                psd[k] += double(re[k]) * re[k] + double(im[k]) * im[k];
        }
    }
    // mean density per octave band centred at 100 * 2^j Hz (j = 0..6, up to 6.4 kHz)
    std::vector<double> bandDb;
    for (int j = 0; j <= 6; ++j) {
        const double fc = 100.0 * std::pow(2.0, j);
        double sum = 0;
        int count = 0;
        for (int k = 1; k < n / 2; ++k) {
            const double f = k * 48000.0 / n;
            if (f >= fc / std::sqrt(2.0) && f < fc * std::sqrt(2.0)) {
                sum += psd[k];
                ++count;
            }
        }
        bandDb.push_back(10 * std::log10(sum / count));
    }
    // least-squares slope in dB per octave
    double mx = 3, my = 0;
    for (double v : bandDb)
        my += v / bandDb.size();
    double sxy = 0, sxx = 0;
    for (int j = 0; j <= 6; ++j) {
        sxy += (j - mx) * (bandDb[j] - my);
        sxx += (j - mx) * (j - mx);
    }
    EXPECT_NEAR(sxy / sxx, -3.0, 0.5);
    for (int j = 0; j < 6; ++j)
        EXPECT_NEAR(bandDb[j] - bandDb[j + 1], 3.0, 1.5) << "octave " << j;
    // both channels carry the same noise (equal phases)
    EXPECT_EQ(left_, right_);
}

TEST_F(OutputEngine, RefusedFormatIsReturnedWithoutALogLineAndNothingOpen)
{
    card_.start(dir_, 44100, 16, 16384, {{16, 44100}, {16, 48000}});
    card_.setFormat(44100, 8);
    GeneratorSettings &g = Generator();
    g = sine(0, 0, true);
    EXPECT_EQ(StartOutput(g, -1.0, 1000.0f), WAVERR_BADFORMAT);
    EXPECT_FALSE(OutputRunning());
    EXPECT_TRUE(AudioLog().empty());
    EXPECT_EQ(AudioStatus(), WAVERR_BADFORMAT);
    // the next start with an accepted format plays
    card_.setFormat(48000, 16);
    EXPECT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    card_.capture(4800, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 1000, 48000)), 0.0, 0.05);
}

TEST_F(OutputEngine, ADeviceInUseLogsTheOpenErrorAndTheNextStopClosesNothing)
{
    card_.start(dir_);
    // another user holds the card's output
    std::unique_ptr<WaveOutDevice> other;
    ASSERT_EQ(SoundInterface::instance().waveOutOpen(0, OutputFormat(), OutputCallback(), other), 0);
    GeneratorSettings &g = Generator();
    g = sine(0, 0, false);
    EXPECT_EQ(StartOutput(g, -1.0, 1000.0f), MMSYSERR_ALLOCATED);
    EXPECT_FALSE(OutputRunning());
    ASSERT_EQ(AudioLog().size(), 2u);
    EXPECT_EQ(AudioLog()[0], "waveOutOpen Error 4");
    EXPECT_EQ(AudioLog()[1], SoundInterface::instance().waveOutGetErrorText(4).substr(0, 128));
    EXPECT_EQ(StopOutput(), 0);
    EXPECT_TRUE(noHeaderBusy());
    ASSERT_EQ(other->close(), 0);
    other.reset();
    EXPECT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
}

TEST_F(OutputEngine, TwentyFourAndEightBitStreamsComeBack)
{
    card_.start(dir_, 44100, 24, 8192);
    GeneratorSettings &g = Generator();
    g = sine(0, -20, false);
    g.PhaseR = 90; // right leads by a quarter period
    ASSERT_EQ(StartOutput(g, -1.0, 441.0f), 0);
    card_.capture(4400, left_, right_); // 44 whole periods
    EXPECT_NEAR(Db(AmplitudeAt(left_, 441, 44100)), -20.0, 0.01);
    // cos leads sin: the right channel's zero crossings are where the left peaks
    for (std::size_t i = 0; i < left_.size(); ++i) {
        if (std::abs(left_[i]) > 0.0999) {
            EXPECT_LT(std::abs(right_[i]), 0.005) << i;
        }
    }
    StopOutput();

    card_.setFormat(44100, 8);
    g.PhaseR = 0;
    ASSERT_EQ(StartOutput(g, -1.0, 441.0f), 0);
    card_.capture(4400, left_, right_); // 44 whole periods
    EXPECT_NEAR(Db(AmplitudeAt(left_, 441, 44100)), -20.0, 0.3); // 8-bit steps of 1/128
}

TEST_F(OutputEngine, DoneAudioStopsARunningStream)
{
    card_.start(dir_);
    GeneratorSettings &g = Generator();
    g = sine(0, -20, false);
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    platform::DelayMs(30); // let the card play and refill in real time
    DoneAudio();
    EXPECT_FALSE(OutputRunning());
    EXPECT_EQ(StopOutput(), 0); // no buffers any more: still harmless
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
