// IIR sections: designed responses at the frequencies that define each type,
// the running section against its own response, the pink-noise cascade and
// the stereo block filter's edges.
#include "dsp/iirfilter.h"
#include "support/spectrumref.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

using namespace dsp;
using testsupport::Db;

constexpr double kPi = std::numbers::pi;

TEST(IirDesign, TypeZeroAndZeroGainShelvesAndPeakPassThrough)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int type : {kIirPassThrough, kIirLowShelf, kIirHighShelf, kIirPeaking}) {
        const IirCoefficients c = IirDesign(type, 0.0, 2.0, 1000.0, 48000.0);
        for (double f : {10.0, 1000.0, 23000.0})
            EXPECT_NEAR(IirMagnitude(c, f, 48000.0), 1.0, 1e-12) << "type " << type << " at " << f;
        IirSection s(c);
        for (int i = 0; i < 200; ++i) {
            const double x = u(rng);
            ASSERT_NEAR(s.process(x), x, 1e-12) << "type " << type;
        }
    }
    // an unknown type keeps the coefficients of IirDesignInto, passes through in IirDesign
    IirCoefficients c = IirDesign(kIirLowPass, 0, 0, 1000, 48000);
    const IirCoefficients before = c;
    EXPECT_FALSE(IirDesignInto(c, 9, 0, 1, 1000, 48000));
    EXPECT_FALSE(IirDesignInto(c, -1, 0, 1, 1000, 48000));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(c.c[i], before.c[i]);
    EXPECT_EQ(IirMagnitude(IirDesign(42, 6, 1, 1000, 48000), 5000, 48000), 1.0);
}

TEST(IirDesign, BandPassIsUnityAtCentreAndNotchIsZero)
{
    for (double fs : {8000.0, 44100.0, 96000.0}) {
        for (double f : {50.0, 1000.0, 3000.0}) {
            for (double q : {0.7, 16.0}) {
                const IirCoefficients bp = IirDesign(kIirBandPass, 0, q, f, fs);
                EXPECT_NEAR(IirMagnitude(bp, f, fs), 1.0, 1e-9) << fs << " " << f << " " << q;
                EXPECT_LT(IirMagnitude(bp, f * 4, fs), 1.0);
                EXPECT_LT(IirMagnitude(bp, f / 4, fs), 1.0);
                const IirCoefficients notch = IirDesign(kIirNotch, 0, q, f, fs);
                EXPECT_NEAR(IirMagnitude(notch, f, fs), 0.0, 1e-9);
                EXPECT_NEAR(IirMagnitude(notch, 0.0, fs), 1.0, 1e-9);
            }
            // narrower with higher Q
            EXPECT_LT(IirMagnitude(IirDesign(kIirBandPass, 0, 16, f, fs), 2 * f, fs),
                      IirMagnitude(IirDesign(kIirBandPass, 0, 0.7, f, fs), 2 * f, fs));
        }
    }
}

TEST(IirDesign, ShelvesAndPeakReachTheirGainAtTheExtremes)
{
    const double fs = 48000.0, nyquist = 24000.0;
    for (double g : {12.0, -12.0, -6.5}) {
        const double a = std::pow(10.0, g / 20.0);
        const IirCoefficients low = IirDesign(kIirLowShelf, g, 0, 500, fs);
        EXPECT_NEAR(IirMagnitude(low, 0.0, fs), a, 1e-9) << g;
        EXPECT_NEAR(IirMagnitude(low, nyquist, fs), 1.0, 1e-9) << g;
        const IirCoefficients high = IirDesign(kIirHighShelf, g, 0, 5000, fs);
        EXPECT_NEAR(IirMagnitude(high, 0.0, fs), 1.0, 1e-9) << g;
        EXPECT_NEAR(IirMagnitude(high, nyquist, fs), a, 1e-9) << g;
        const IirCoefficients peak = IirDesign(kIirPeaking, g, 2.0, 2000, fs);
        EXPECT_NEAR(Db(IirMagnitude(peak, 2000, fs)), g, 1e-9) << g;
        EXPECT_NEAR(IirMagnitude(peak, 0.0, fs), 1.0, 1e-9) << g;
        EXPECT_NEAR(IirMagnitude(peak, nyquist, fs), 1.0, 1e-9) << g;
    }
}

TEST(IirDesign, ButterworthFollowsThePrewarpedAnalogResponseAndAllPassIsFlat)
{
    const double fs = 44100.0;
    const IirCoefficients lp = IirDesign(kIirLowPass, 0, 0, 1000, fs);
    const IirCoefficients hp = IirDesign(kIirHighPass, 0, 0, 1000, fs);
    const IirCoefficients ap = IirDesign(kIirAllPass, 0, 0, 1000, fs);
    // bilinear Butterworth: 1/sqrt(1 + (f/fc)^4) on prewarped frequencies, -3 dB at fc
    const double wc = std::tan(kPi * 1000 / fs);
    for (double f : {0.0, 50.0, 700.0, 1000.0, 3000.0, 12000.0, 21000.0}) {
        const double r4 = std::pow(std::tan(kPi * f / fs) / wc, 4);
        EXPECT_NEAR(IirMagnitude(lp, f, fs), 1.0 / std::sqrt(1.0 + r4), 1e-9) << f;
        EXPECT_NEAR(IirMagnitude(hp, f, fs), std::sqrt(r4 / (1.0 + r4)), 1e-9) << f;
        EXPECT_NEAR(IirMagnitude(ap, f, fs), 1.0, 1e-12) << f;
    }
    EXPECT_NEAR(IirMagnitude(lp, fs / 2, fs), 0.0, 1e-9);
    EXPECT_NEAR(IirMagnitude(hp, fs / 2, fs), 1.0, 1e-9);
}

TEST(IirDesign, DegenerateInputsNeverGiveNaN)
{
    const IirCoefficients cases[] = {
        IirDesign(kIirBandPass, 0, 16, 24000, 48000), // at Nyquist
        IirDesign(kIirBandPass, 0, 16, 30000, 48000), // above it
        IirDesign(kIirPeaking, 6, 0, 1000, 48000),    // Q 0
        IirDesign(kIirNotch, 0, -1, 1000, 48000),     // negative Q
        IirDesign(kIirLowPass, 0, 0, 0, 48000),       // 0 Hz
        IirDesign(kIirLowPass, 0, 0, 1000, 0),        // no rate
        IirDesign(kIirLowShelf, NAN, 0, 1000, 48000),
        IirDesign(kIirPeaking, 1e-18, 1, 1000, 48000), // A and A2 both round to 1
    };
    for (const IirCoefficients &c : cases) {
        IirSection s(c);
        for (int i = 0; i < 1000; ++i)
            ASSERT_TRUE(std::isfinite(s.process(i == 0 ? 1.0 : 0.0)));
    }
}

TEST(IirSection, RunningSectionFollowsItsDesignedResponse)
{
    // A sine through the section settles at the amplitude IirMagnitude predicts.
    const double fs = 48000.0;
    for (const IirCoefficients &c : {IirDesign(kIirPeaking, 9, 1.5, 3000, fs), IirDesign(kIirHighPass, 0, 0, 200, fs),
                                     IirDesign(kIirBandPass, 0, 4, 1000, fs)}) {
        for (double f : {300.0, 1000.0, 3000.0}) {
            // amplitude by correlation over whole periods after settling
            IirSection s(c);
            std::vector<double> y(48000);
            for (int n = 0; n < 48000; ++n)
                y[n] = s.process(std::sin(2 * kPi * f * n / fs));
            const double expected = IirMagnitude(c, f, fs);
            EXPECT_NEAR(2.0 * std::abs(testsupport::DftAt(&y[24000], 24000, f, fs)) / 24000.0, expected,
                        2e-3 * expected + 1e-6) << f;
        }
        IirSection s(c);
        s.process(1.0);
        s.reset();
        EXPECT_EQ(s.process(0.0), 0.0);
    }
}

TEST(PinkNoiseFilter, CascadeHasAPeakingSectionPerOctaveBelowHalfTheRateThenTheShelf)
{
    struct Case {
        double rate;
        int count, shelfHz;
    };
    for (const Case &c : {Case{8000, 9, 3333}, Case{44100, 12, 18375}, Case{192000, 13, 80000}}) {
        PinkNoiseFilter p;
        p.setup(c.rate);
        ASSERT_EQ(p.sectionCount(), c.count) << c.rate;
        EXPECT_EQ(p.section(c.count - 2).freqHz, 20 << (c.count - 2));
        EXPECT_EQ(p.section(c.count - 2).gainDb, 2.0 - (c.count - 2));
        EXPECT_EQ(p.section(c.count - 1).type, kIirHighShelf);
        EXPECT_EQ(p.section(c.count - 1).freqHz, c.shelfHz);
        EXPECT_EQ(p.section(c.count - 1).gainDb, -30.0);
    }
}

TEST(PinkNoiseFilter, SpectrumFallsAboutThreeDbPerOctave)
{
    // The running cascade's impulse response (direct DFT) against its designed
    // response, and the slope between octaves.
    for (double fs : {44100.0, 48000.0}) {
        PinkNoiseFilter p;
        p.setup(fs);
        p.process(0.3); // setup must clear whatever is in the state
        p.setup(fs);
        std::vector<double> h(1 << 15);
        for (size_t n = 0; n < h.size(); ++n)
            h[n] = p.process(n == 0 ? 1.0 : 0.0);
        double previous = 0, first = 0, last = 0;
        for (double f = 62.5; f <= 8000.0; f *= 2) {
            const double measured = std::abs(testsupport::DftAt(h.data(), h.size(), f, fs));
            EXPECT_NEAR(Db(measured), Db(p.magnitude(f)), 0.05) << f;
            if (f > 125.0 && f <= 4000.0) {
                EXPECT_GT(Db(measured / previous), -4.0) << f;
                EXPECT_LT(Db(measured / previous), -1.8) << f;
            }
            previous = measured;
            first = f == 62.5 ? measured : first;
            last = measured;
        }
        EXPECT_NEAR(Db(last / first) / 7.0, -3.0, 0.5) << fs; // seven octaves
    }
}

TEST(PinkNoiseFilter, UnitWrappersUseTheRateSetByInit)
{
    InitIir(8000);
    SetupPinkNoise();
    PinkNoiseFilter own;
    own.setup(8000);
    for (int n = 0; n < 100; ++n)
        ASSERT_DOUBLE_EQ(PinkNoiseSample(n == 0 ? 1.0 : 0.0), own.process(n == 0 ? 1.0 : 0.0));
    IirCoefficients c;
    DesignIir(kIirBandPass, c, 0, 16, 1000);
    EXPECT_NEAR(IirMagnitude(c, 1000, 8000), 1.0, 1e-9);
    InitIir(44100);
}

TEST(FilterStereoBlock, LeftSkipsLastTwoFramesRightIsClippedAtOne)
{
    const IirCoefficients c = IirDesign(kIirBandPass, 0, 16, 1000, 48000);
    const int frames = 2000;
    const float sentinel = 12345.0f;
    std::vector<float> block(2 * frames + 2, sentinel); // two values beyond the block
    for (int i = 0; i < frames; ++i) {
        block[2 * i] = float(std::sin(0.13 * i));
        block[2 * i + 1] = 3.0f * float(std::sin(2 * kPi * 1000.0 * i / 48000.0));
    }
    const std::vector<float> in = block;
    FilterStereoBlock(c, frames, block.data());

    IirSection left(c), right(c);
    for (int i = 0; i < frames - 2; ++i)
        ASSERT_FLOAT_EQ(block[2 * i], float(left.process(in[2 * i])));
    EXPECT_EQ(block[2 * (frames - 2)], in[2 * (frames - 2)]);
    EXPECT_EQ(block[2 * (frames - 1)], in[2 * (frames - 1)]);
    bool clipped = false;
    for (int i = 0; i < frames; ++i) {
        const double y = right.process(in[2 * i + 1]);
        ASSERT_FLOAT_EQ(block[2 * i + 1], y > 1.0 ? 1.0f : float(y));
        clipped = clipped || y > 1.0;
    }
    EXPECT_TRUE(clipped); // the case was built to reach the clip
    EXPECT_EQ(block[2 * frames], sentinel);
    EXPECT_EQ(block[2 * frames + 1], sentinel);

    float tiny[2] = {0.5f, 0.5f};
    FilterStereoBlock(c, 1, tiny); // one frame: left untouched, right filtered once
    EXPECT_EQ(tiny[0], 0.5f);
    EXPECT_FLOAT_EQ(tiny[1], float(0.5 * c.c[0]));
    FilterStereoBlock(c, 0, tiny);
    FilterStereoBlock(c, 5, nullptr);
}
