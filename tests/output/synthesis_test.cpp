// Test-signal synthesis: loop lengths, levels and phases, noise channel
// rules, encodings at every resolution, and a stream that keeps its phase
// across buffers and frequency changes.
#include "audio/samplecodec.h"
#include "audio/synthesis.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

using namespace audio;

namespace {

std::vector<std::int16_t> Samples16(const std::vector<char> &buf, std::uint32_t bytes)
{
    std::vector<std::int16_t> s(bytes / 2);
    std::memcpy(s.data(), buf.data(), bytes);
    return s;
}

GeneratorSettings Sine(int levelL, int levelR, int phaseL = 0, int phaseR = 0)
{
    GeneratorSettings g;
    g.LevelL = levelL;
    g.LevelR = levelR;
    g.PhaseL = phaseL;
    g.PhaseR = phaseR;
    g.Waveform = WaveSine;
    return g;
}

// Reference: the number of periods whose length in frames is closest to a
// whole number (fraction rounded to thousandths, later k wins ties), with
// the same stopping rule, computed independently by brute force.
std::uint32_t ReferenceLoopBytes(double rate, int bps, double f)
{
    long best = 1000000, bestK = 1;
    for (long k = 1;; ++k) {
        double exact = 2.0 * k * bps * rate / f;
        double L = std::round(exact);
        double frames = k * rate / f;
        long e = std::lround((frames - std::floor(frames)) * 1000.0);
        if (e <= best && L <= 262144) {
            best = e;
            bestK = k;
        }
        if (!(L < 262128 && (e != 0 || L < 4096)))
            break;
    }
    double bytes = std::round(2.0 * bestK * bps * rate / f);
    return static_cast<std::uint32_t>(std::floor(bytes / (2 * bps)) * (2 * bps));
}

} // namespace

TEST(LoopLength, ThousandHertzAt44100TakesThirtyPeriods)
{
    int precision = -1;
    // 10 and 20 periods fit whole frames too but are shorter than 4096 bytes
    EXPECT_EQ(LoopLength(44100, 2, 1000.0, &precision), 5292u);
    EXPECT_EQ(precision, 0);
    EXPECT_EQ(5292u / 4u, 1323u);
}

TEST(LoopLength, AnOddFrequencySearchesFarForTheBestFit)
{
    // 997 Hz at 48000 Hz: no short loop fits; 997 periods are exactly one
    // second (48000 frames, 192000 bytes), found long before the buffer limit.
    int precision = -1;
    EXPECT_EQ(LoopLength(48000, 2, 997.0, &precision), 192000u);
    EXPECT_EQ(precision, 0);
    // 1001.7 Hz never fits within the limit: the best fraction is kept
    std::uint32_t bytes = LoopLength(48000, 2, 1001.7, &precision);
    EXPECT_EQ(bytes, ReferenceLoopBytes(48000, 2, 1001.7));
    EXPECT_EQ(precision, 2);
    EXPECT_LE(bytes, 262144u);
}

TEST(LoopLength, MatchesTheSearchRuleAcrossRatesAndResolutions)
{
    for (double f : {20.0, 440.0, 1000.0, 1234.5, 9999.0, 20000.0})
        for (int bps : {1, 2, 4})
            for (double rate : {8000.0, 44100.0, 96000.0}) {
                std::uint32_t got = LoopLength(static_cast<std::uint32_t>(rate), bps, f);
                EXPECT_EQ(got, ReferenceLoopBytes(rate, bps, f)) << f << " Hz " << bps << " B " << rate;
                EXPECT_EQ(got % (2 * bps), 0u);
            }
    EXPECT_EQ(LoopLength(44100, 2, 0.0), 0u);
}

TEST(LoopFill, LevelsOfMinusHundredAndZeroGiveSilenceAndFullScale)
{
    Synthesizer synth;
    std::vector<char> buf(262144);
    std::uint32_t n = synth.LoopFill(44100, 16, MakeSynthParams(Sine(-100, 0)), 1000.0, buf.data(),
                                     static_cast<std::uint32_t>(buf.size()));
    ASSERT_EQ(n, 5292u);
    auto s = Samples16(buf, n);
    int peakL = 0, peakR = 0;
    for (std::size_t i = 0; i < s.size(); i += 2) {
        peakL = std::max(peakL, std::abs(int(s[i])));
        peakR = std::max(peakR, std::abs(int(s[i + 1])));
    }
    EXPECT_EQ(peakL, 0);
    EXPECT_EQ(peakR, 32767);
    // frame k is sin(2 pi f k / rate), encoded with 32767
    for (int k : {0, 1, 11, 1322})
        EXPECT_EQ(s[2 * k + 1], std::lrint(32767.0 * std::sin(2 * std::numbers::pi * 1000.0 * k / 44100.0)));
}

TEST(LoopFill, PhasesShiftEachChannel)
{
    Synthesizer synth;
    std::vector<char> buf(262144);
    std::uint32_t n = synth.LoopFill(48000, 16, MakeSynthParams(Sine(0, 0, 0, 90)), 1000.0, buf.data(),
                                     static_cast<std::uint32_t>(buf.size()));
    auto s = Samples16(buf, n);
    EXPECT_EQ(s[0], 0);       // sin 0
    EXPECT_EQ(s[1], 32767);   // sin 90 degrees
    EXPECT_EQ(s[24], 32767);  // left: a quarter period later (12 frames at 48 kHz)
}

TEST(LoopFill, WhiteNoiseChannelsFollowThePhases)
{
    Synthesizer synth;
    std::vector<char> buf(262144);
    GeneratorSettings g = Sine(0, 0, 0, 180);
    g.Waveform = WaveWhiteNoise;
    std::uint32_t n = synth.LoopFill(44100, 16, MakeSynthParams(g), 1000.0, buf.data(),
                                     static_cast<std::uint32_t>(buf.size()));
    EXPECT_EQ(n, kLoopFillLimit);
    auto s = Samples16(buf, n);
    bool varied = false;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        ASSERT_EQ(s[i + 1], -s[i]) << i;
        varied = varied || s[i] != s[0];
    }
    EXPECT_TRUE(varied);

    g.PhaseR = 0;
    n = synth.LoopFill(44100, 16, MakeSynthParams(g), 1000.0, buf.data(), static_cast<std::uint32_t>(buf.size()));
    s = Samples16(buf, n);
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        ASSERT_EQ(s[i + 1], s[i]) << i;
}

TEST(LoopFill, FullScaleEncodesAtEightAndTwentyFourBits)
{
    Synthesizer synth;
    std::vector<char> buf(262144);
    GeneratorSettings g = Sine(0, 0);
    g.Waveform = WaveSquare;
    // 8 bits: +1 -> 255, -1 -> 1
    std::uint32_t n = synth.LoopFill(8000, 8, MakeSynthParams(g), 1000.0, buf.data(),
                                     static_cast<std::uint32_t>(buf.size()));
    ASSERT_GT(n, 0u);
    const auto *u8 = reinterpret_cast<const unsigned char *>(buf.data());
    EXPECT_EQ(u8[0], 1);   // sin 0 is not above 0: -1
    EXPECT_EQ(u8[2], 255); // frame 1: sin > 0: +1
    // 24 bits in 32-bit containers: +1 -> 2147483392
    n = synth.LoopFill(8000, 32, MakeSynthParams(g), 1000.0, buf.data(), static_cast<std::uint32_t>(buf.size()));
    ASSERT_GT(n, 0u);
    std::int32_t c[4];
    std::memcpy(c, buf.data(), sizeof c);
    EXPECT_EQ(c[0], -2147483392);
    EXPECT_EQ(c[2], 2147483392);
}

TEST(StreamFill, ChangingTheFrequencyBetweenBuffersKeepsThePhase)
{
    Synthesizer synth;
    const std::uint32_t bytes = 4096; // 1024 frames of 16-bit stereo
    std::vector<char> a(bytes), b(bytes);
    double phase = 0.0;
    SynthParams p = MakeSynthParams(Sine(0, 0));
    synth.StreamFill(44100, 16, p, 1000.0, a.data(), bytes, phase);
    // the first sample of the next buffer continues the sine
    double expectedPhase = std::fmod(2 * std::numbers::pi * 1000.0 * 1024 / 44100.0, 2 * std::numbers::pi);
    EXPECT_NEAR(phase, expectedPhase, 1e-9);
    synth.StreamFill(44100, 16, p, 2000.0, b.data(), bytes, phase);
    auto sa = Samples16(a, bytes);
    auto sb = Samples16(b, bytes);
    // the first sample of B is the sample after the end of A on the 1 kHz sine
    EXPECT_EQ(sa[2046], std::lrint(32767.0 * std::sin(1023 * 2 * std::numbers::pi * 1000.0 / 44100.0)));
    EXPECT_EQ(sb[0], std::lrint(32767.0 * std::sin(expectedPhase)));
    // and B runs at the new frequency
    EXPECT_EQ(sb[2 * 10], std::lrint(32767.0 * std::sin(expectedPhase + 10 * 2 * std::numbers::pi * 2000.0 / 44100.0)));
}

TEST(StreamFill, PinkNoiseFallsAboutThreeDecibelsPerOctave)
{
    // Band energies by direct correlation with sines over a long noise record.
    Synthesizer synth;
    const int rate = 44100, frames = 1 << 16;
    std::vector<char> buf(frames * 4);
    GeneratorSettings g = Sine(0, 0);
    g.Waveform = WavePinkNoise;
    double phase = 0.0;
    synth.StreamFill(rate, 16, MakeSynthParams(g), 1000.0, buf.data(), static_cast<std::uint32_t>(buf.size()), phase);
    auto s = Samples16(buf, static_cast<std::uint32_t>(buf.size()));
    auto bandPower = [&](double f0) {
        // average power density over a third of an octave around f0
        double sum = 0;
        int n = 0;
        for (double f = f0 / 1.12; f <= f0 * 1.12; f += rate / double(frames) * 4) {
            double re = 0, im = 0;
            for (int k = 0; k < frames; ++k) {
                double w = 2 * std::numbers::pi * f * k / rate;
                re += s[2 * k] * std::cos(w);
                im += s[2 * k] * std::sin(w);
            }
            sum += re * re + im * im;
            ++n;
        }
        return 10 * std::log10(sum / n);
    };
    double p250 = bandPower(250), p1000 = bandPower(1000), p4000 = bandPower(4000);
    // two octaves each: about -6 dB
    EXPECT_NEAR(p250 - p1000, 6.0, 2.0);
    EXPECT_NEAR(p1000 - p4000, 6.0, 2.0);
}
