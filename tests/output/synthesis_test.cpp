// Test-signal synthesis: loop lengths, levels and phases, noise channel
// rules, encodings at 8 and 24 bits, and a stream that keeps its phase
// across buffers and frequency changes; the two-tone signals.
#include "audio/synthesis/synthesis.h"
#include "support/spectrumref.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>
#include <tuple>
#include <vector>

using namespace audio;

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

GeneratorSettings Settings(int levelL, int levelR, int phaseL = 0, int phaseR = 0, int waveform = WaveSine)
{
    GeneratorSettings g;
    g.LevelL = levelL;
    g.LevelR = levelR;
    g.PhaseL = phaseL;
    g.PhaseR = phaseR;
    g.Waveform = waveform;
    return g;
}

// A loop of `g` at 16 bits, as samples (left, right, left, ...).
std::vector<std::int16_t> Loop16(const GeneratorSettings &g, std::uint32_t rate, double f)
{
    std::vector<char> buf(262144);
    Synthesizer synth;
    const std::uint32_t n = synth.LoopFill(rate, 16, MakeSynthParams(g), f, buf.data(), 262144);
    std::vector<std::int16_t> s(n / 2);
    std::memcpy(s.data(), buf.data(), n);
    return s;
}

} // namespace

TEST(LoopLength, TakesTheFirstWholeFitOfAtLeast4096Bytes)
{
    int precision = -1;
    // 1000 Hz at 44100: 30 periods, 1323 frames; 10 and 20 fit too but are shorter than 4096 bytes
    EXPECT_EQ(LoopLength(44100, 2, 1000.0, &precision), 5292u);
    EXPECT_EQ(precision, 0);
    // 997 Hz at 48000: no short loop fits; 997 periods are exactly one second
    EXPECT_EQ(LoopLength(48000, 2, 997.0, &precision), 192000u);
    EXPECT_EQ(precision, 0);
    // 1001.7 Hz never fits within the limit: the best fraction is kept
    EXPECT_LE(LoopLength(48000, 2, 1001.7, &precision), 262144u);
    EXPECT_EQ(precision, 2);
    EXPECT_EQ(LoopLength(44100, 2, 0.0), 0u);
}

TEST(LoopLength, EveryLoopIsWholeFramesAndWithinAFrameOfWholePeriods)
{
    for (double f : {20.0, 440.0, 1000.0, 1234.5, 9999.0, 20000.0})
        for (int bps : {1, 2, 4})
            for (double rate : {8000.0, 44100.0, 96000.0}) {
                const std::uint32_t got = LoopLength(static_cast<std::uint32_t>(rate), bps, f);
                const double frames = got / (2.0 * bps), periods = frames * f / rate;
                SCOPED_TRACE(testing::Message() << f << " Hz " << bps << " B " << rate);
                EXPECT_EQ(got % (2 * bps), 0u);
                EXPECT_GT(got, 0u);
                EXPECT_LE(got, 262144u);
                EXPECT_LT(std::abs(periods - std::round(periods)) * rate / f, 1.0); // the wrap clicks by < 1 frame
            }
}

TEST(LoopFill, LevelsAndPhasesPerChannel)
{
    auto s = Loop16(Settings(-100, 0), 44100, 1000.0);
    ASSERT_EQ(s.size(), 5292u / 2);
    int peakL = 0, peakR = 0;
    for (std::size_t i = 0; i < s.size(); i += 2) {
        peakL = std::max(peakL, std::abs(int(s[i])));
        peakR = std::max(peakR, std::abs(int(s[i + 1])));
    }
    EXPECT_EQ(peakL, 0);
    EXPECT_EQ(peakR, 32767);
    for (int k : {0, 1, 11, 1322}) // frame k is sin(2 pi f k / rate), encoded with 32767
        EXPECT_EQ(s[2 * k + 1], std::lrint(32767.0 * std::sin(kTwoPi * 1000.0 * k / 44100.0)));

    s = Loop16(Settings(0, 0, 0, 90), 48000, 1000.0);
    EXPECT_EQ(s[0], 0);      // sin 0
    EXPECT_EQ(s[1], 32767);  // sin 90 degrees
    EXPECT_EQ(s[24], 32767); // left a quarter period (12 frames) later
}

TEST(LoopFill, WhiteNoiseChannelsFollowThePhases)
{
    for (int phaseR : {180, 0}) {
        auto s = Loop16(Settings(0, 0, 0, phaseR, WaveWhiteNoise), 44100, 1000.0);
        EXPECT_EQ(s.size() * 2, kLoopFillLimit);
        bool varied = false;
        for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
            ASSERT_EQ(s[i + 1], phaseR ? -s[i] : s[i]) << i;
            varied = varied || s[i] != s[0];
        }
        EXPECT_TRUE(varied);
    }
}

TEST(LoopFill, FullScaleSquareEncodesAtEightAndTwentyFourBits)
{
    Synthesizer synth;
    std::vector<char> buf(262144);
    const SynthParams p = MakeSynthParams(Settings(0, 0, 0, 0, WaveSquare));
    ASSERT_GT(synth.LoopFill(8000, 8, p, 1000.0, buf.data(), 262144), 0u);
    EXPECT_EQ(static_cast<unsigned char>(buf[0]), 1);   // sin 0 is not above 0: -1
    EXPECT_EQ(static_cast<unsigned char>(buf[2]), 255); // frame 1: +1
    ASSERT_GT(synth.LoopFill(8000, 32, p, 1000.0, buf.data(), 262144), 0u);
    std::int32_t c[4];
    std::memcpy(c, buf.data(), sizeof c);
    EXPECT_EQ(c[0], -2147483392);
    EXPECT_EQ(c[2], 2147483392);
}

TEST(StreamFill, ChangingTheFrequencyBetweenBuffersKeepsThePhase)
{
    Synthesizer synth;
    const std::uint32_t bytes = 4096; // 1024 frames of 16-bit stereo
    std::vector<std::int16_t> a(bytes / 2), b(bytes / 2);
    double phase = 0.0;
    const SynthParams p = MakeSynthParams(Settings(0, 0));
    synth.StreamFill(44100, 16, p, 1000.0, reinterpret_cast<char *>(a.data()), bytes, phase);
    const double next = std::fmod(kTwoPi * 1000.0 * 1024 / 44100.0, kTwoPi);
    EXPECT_NEAR(phase, next, 1e-9);
    synth.StreamFill(44100, 16, p, 2000.0, reinterpret_cast<char *>(b.data()), bytes, phase);
    EXPECT_EQ(a[2046], std::lrint(32767.0 * std::sin(1023 * kTwoPi * 1000.0 / 44100.0)));
    EXPECT_EQ(b[0], std::lrint(32767.0 * std::sin(next))); // the sample after A's last on the 1 kHz sine
    EXPECT_EQ(b[20], std::lrint(32767.0 * std::sin(next + 10 * kTwoPi * 2000.0 / 44100.0))); // at 2 kHz from there
}

TEST(StreamFill, PinkNoiseFallsAboutThreeDecibelsPerOctave)
{
    // Band densities by direct correlation with sines over a long noise record.
    Synthesizer synth;
    const int rate = 44100, frames = 1 << 16;
    std::vector<std::int16_t> s(2 * frames);
    double phase = 0.0;
    synth.StreamFill(rate, 16, MakeSynthParams(Settings(0, 0, 0, 0, WavePinkNoise)), 1000.0,
                     reinterpret_cast<char *>(s.data()), frames * 4, phase);
    auto bandPower = [&](double f0) { // mean density over a third of an octave around f0
        double sum = 0;
        int n = 0;
        for (double f = f0 / 1.12; f <= f0 * 1.12; f += rate / double(frames) * 4, ++n)
            sum += std::norm(testsupport::DftAt(s.data(), frames, f, rate, 2));
        return testsupport::DbPower(sum / n);
    };
    const double p250 = bandPower(250), p1000 = bandPower(1000), p4000 = bandPower(4000);
    EXPECT_NEAR(p250 - p1000, 6.0, 2.0); // two octaves each
    EXPECT_NEAR(p1000 - p4000, 6.0, 2.0);
}

namespace {

GeneratorSettings TwoTone(double f1, double f2, double ratio, int level)
{
    GeneratorSettings g = Settings(level, level, 0, 0, WaveTwoTone);
    g.Frequency = static_cast<float>(f1);
    g.SecondFrequency = f2;
    g.ToneRatio = ratio;
    return g;
}

// Decoded 24-bit samples (in 32-bit containers) of one channel.
std::vector<double> Decode24(const std::vector<char> &buf, std::size_t frames, int channel)
{
    std::vector<double> x(frames);
    for (std::size_t k = 0; k < frames; ++k) {
        std::int32_t v;
        std::memcpy(&v, buf.data() + 8 * k + 4 * channel, 4);
        x[k] = v / 2147483392.0;
    }
    return x;
}

} // namespace

// A 60 Hz + 7 kHz pair at 4:1 and -6 dB: the loop holds whole periods of
// their 20 Hz common period, the peak of the sum is 10^(-6/20) (both at their
// crest at the start), and a DFT over the loop finds 0.8 and 0.2 of it on
// the two exact bins and nothing between.
TEST(TwoTone, LoopHoldsWholePeriodsWithTheSumsPeakAsLevelAndTheRatio)
{
    Synthesizer synth;
    std::vector<char> buf(262144);
    const double peak = std::pow(10.0, -6.0 / 20.0);
    int precision = -1;
    const std::uint32_t bytes =
        synth.LoopFill(48000, 32, MakeSynthParams(TwoTone(60.0, 7000.0, 4.0, -6)), 60.0, buf.data(), 262144, &precision);
    EXPECT_EQ(precision, 0);
    ASSERT_EQ(bytes, 2400u * 8u); // 1/20 s
    const std::vector<double> x = Decode24(buf, 2400, 1);
    EXPECT_NEAR(x[0], peak, 1e-6);
    const auto louder = [](double u, double v) { return std::abs(u) < std::abs(v); };
    EXPECT_NEAR(std::abs(*std::max_element(x.begin(), x.end(), louder)), peak, 1e-6);
    auto amplitude = [&](double f) {
        return 2.0 * std::abs(testsupport::DftAt(x.data(), x.size(), f, 48000.0)) / x.size();
    };
    EXPECT_NEAR(amplitude(60.0), 0.8 * peak, 1e-6);
    EXPECT_NEAR(amplitude(7000.0), 0.2 * peak, 1e-6);
    for (double f : {6940.0, 7060.0, 120.0, 1000.0})
        EXPECT_LT(amplitude(f), 1e-6) << f;
    EXPECT_EQ(Decode24(buf, 2400, 0), x); // both channels at the same level
}

// Streamed in blocks of uneven length, the pair follows the closed form
// a1 cos(2π f1 k/rate) + a2 cos(2π f2 k/rate) sample by sample, across the
// wraps of the running phase: for 19 + 20 kHz, and for a pair whose common
// period is long (1000.5 Hz and 1234.25 Hz: 4 s).
TEST(TwoTone, StreamKeepsBothTonesContinuousAcrossBlocks)
{
    for (const auto &[f1, f2, ratio] : {std::tuple{19000.0, 20000.0, 1.0}, std::tuple{1000.5, 1234.25, 4.0}}) {
        SCOPED_TRACE(testing::Message() << f1 << " + " << f2);
        Synthesizer synth;
        const SynthParams p = MakeSynthParams(TwoTone(f1, f2, ratio, -1));
        const double a = std::pow(10.0, -1.0 / 20.0), a1 = a * ratio / (ratio + 1.0), a2 = a / (ratio + 1.0);
        double phase = 0.0;
        std::size_t frame = 0;
        std::vector<char> buf(8 * 4099);
        double worst = 0.0;
        for (int block = 0; block < 60; ++block) {
            const std::uint32_t frames = block % 2 ? 4099 : 1000;
            synth.StreamFill(44100, 32, p, f1, buf.data(), frames * 8, phase);
            const std::vector<double> x = Decode24(buf, frames, 0);
            for (std::uint32_t k = 0; k < frames; ++k, ++frame) {
                const double t = static_cast<double>(frame) / 44100.0;
                const double expected = a1 * std::cos(kTwoPi * f1 * t) + a2 * std::cos(kTwoPi * f2 * t);
                worst = std::max(worst, std::abs(x[k] - expected));
            }
        }
        EXPECT_LT(worst, 3e-7); // within 1 LSB at 24 bits and the phase's rounding
    }
}
