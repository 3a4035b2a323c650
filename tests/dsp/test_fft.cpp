// FFT and windows against independent references: a direct DFT in double
// precision, hand-derived window values and bins of known sines.
#include "dsp/fft.h"
#include "support/spectrumref.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

using namespace dsp;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<float> Sine(int n, int bin, double amplitude)
{
    std::vector<float> s(n);
    for (int i = 0; i < n; ++i)
        s[i] = float(amplitude * std::sin(2.0 * kPi * bin * i / n + 0.3));
    return s;
}

std::vector<float> Spectrum(std::vector<float> samples, int window)
{
    const int n = int(samples.size());
    SpectrumTransform t;
    t.setWindow(window, n);
    EXPECT_EQ(t.transform(samples.data(), n), 0);
    samples.resize(n / 2);
    return samples;
}

} // namespace

TEST(Windows, TablesFollowTheirCosineSumsAndGains)
{
    const int n = 1024;
    std::vector<float> table(n);
    for (int type = 0; type < kWindowTypeCount; ++type) {
        ASSERT_TRUE(FillWindow(table.data(), type, n));
        double mean = 0;
        for (float v : table)
            mean += v / n;
        EXPECT_GE(mean, 0.48) << WindowItemText(type);
        EXPECT_LE(mean, 0.5 + 1e-6) << WindowItemText(type);
        for (int i = 1; i < n; ++i) // the periodic form is symmetric about n/2
            ASSERT_NEAR(table[i], table[n - i], 1e-6) << WindowItemText(type) << " " << i;
    }
    FillWindow(table.data(), kWindowVanHann, n);
    EXPECT_NEAR(table[0], 0.0, 1e-7);
    EXPECT_NEAR(table[n / 4], 0.5, 1e-7);
    EXPECT_NEAR(table[n / 2], 1.0, 1e-7);
    // Hamming: (0.54 - 0.46 cos x)·10^(-0.8/20) with the gain as a single float.
    FillWindow(table.data(), kWindowHamming, n);
    const double g = double(float(std::pow(10.0, double(-0.8f) / 20.0)));
    EXPECT_NEAR(table[100], (0.54 - 0.46 * std::cos(2 * kPi * 100 / n)) * g, 1e-7);
    // Flat-Top at x = pi: a0 - a1 + a2 - a3 + a4, gain 8.3 dB.
    FillWindow(table.data(), kWindowFlatTop, n);
    const double flat = 0.1881 + 0.36923 + 0.28702 + 0.13077 + 0.02488;
    EXPECT_NEAR(table[n / 2], flat * std::pow(10.0, double(8.3f) / 20.0), 1e-6);
    EXPECT_STREQ(WindowItemText(9), "");

    SpectrumTransform t; // an unknown type leaves the table alone
    t.setWindow(kWindowBlackman, 2048);
    const std::vector<float> before(t.windowTable(), t.windowTable() + 2048);
    t.setWindow(9, 2048);
    t.setWindow(-1, 2048);
    EXPECT_EQ(t.windowType(), kWindowBlackman);
    EXPECT_EQ(std::vector<float>(t.windowTable(), t.windowTable() + 2048), before);
}

TEST(Fft, ComplexTransformMatchesDirectDft)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n : {4, 8, 64, 512}) {
        std::vector<std::complex<double>> x(n);
        std::vector<float> re(n), im(n);
        for (int i = 0; i < n; ++i) {
            re[i] = float(u(rng));
            im[i] = float(u(rng));
            x[i] = {double(re[i]), double(im[i])};
        }
        ASSERT_TRUE(Fft(re.data(), im.data(), n));
        for (int k = 0; k < n; ++k) { // the transform's exponent is positive, its scaling 1/n
            const std::complex<double> ref = testsupport::DftAt(x.data(), n, -k, n) / double(n);
            ASSERT_NEAR(re[k], ref.real(), 2e-7) << n << " bin " << k;
            ASSERT_NEAR(im[k], ref.imag(), 2e-7) << n << " bin " << k;
        }
    }
}

TEST(Fft, RealPathAgreesWithTheComplexTransformAtEverySize)
{
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    SpectrumTransform t;
    for (int n = kMinFftSize; n <= kMaxFftSize; n *= 2) {
        t.setWindow(kWindowFlatTop, n);
        std::vector<float> samples(n), re(n), im(n, 0.0f);
        for (int i = 0; i < n; ++i) {
            samples[i] = u(rng);
            re[i] = samples[i] * t.windowTable()[i];
        }
        ASSERT_TRUE(Fft(re.data(), im.data(), n));
        ASSERT_EQ(t.transform(samples.data(), n), 0);
        for (int k = 0; k < n / 2; ++k)
            ASSERT_NEAR(samples[k], std::hypot(re[k], im[k]), 1e-6) << n << " bin " << k;
    }
}

TEST(Fft, UnsupportedSizesAreRefusedAndLeaveTheDataAlone)
{
    std::vector<float> re(100, 1.0f), im(100, 1.0f);
    EXPECT_FALSE(Fft(re.data(), im.data(), 100));
    EXPECT_FALSE(Fft(re.data(), im.data(), 2 * kMaxFftSize));
    SpectrumTransform t;
    t.setWindow(kWindowNone, 2048);
    EXPECT_EQ(t.transform(re.data(), 100), -1);
    EXPECT_EQ(t.transform(nullptr, 2048), -1);
    EXPECT_EQ(re[0], 1.0f);
    EXPECT_FALSE(IsSupportedFftSize(3000));
    EXPECT_EQ(FftSizeForIndex(3), 16384);
    EXPECT_EQ(FftSizeForIndex(7), 2048); // an unknown item selects the smallest size
    EXPECT_EQ(FftSizeIndex(8192), 2);
    EXPECT_EQ(FftSizeIndex(1024), -1);
}

TEST(Spectrum, SineOnABinReadsHalfItsAmplitudeTimesTheWindowCoefficients)
{
    // Bin k of a windowed sine on bin b: amplitude/2 · |a_(k-b)|/2 (a0 for k = b),
    // times the window's gain; every other bin is empty.
    struct Case {
        int n, window, bin;
        double amplitude, gainDb;
        std::vector<double> a; // a0, a1, a2 of the cosine sum
    };
    const Case cases[] = {
        {4096, kWindowNone, 100, 1.0, 0.0, {0.5}},
        {4096, kWindowVanHann, 100, 1.0, 0.0, {0.5, 0.5}},
        {4096, kWindowHamming, 100, 1.0, double(-0.8f), {0.54, 0.46}},
        {kMaxFftSize, kWindowBlackman, 3000, 0.5, double(1.5f), {0.42, 0.5, 0.08}},
    };
    for (const Case &c : cases) {
        const auto mags = Spectrum(Sine(c.n, c.bin, c.amplitude), c.window);
        const double g = std::pow(10.0, c.gainDb / 20.0);
        for (int k = 0; k < c.n / 2; ++k) {
            const size_t d = size_t(std::abs(k - c.bin));
            const double expected = d >= c.a.size() ? 0.0 : c.amplitude / 2 * c.a[d] * (d ? 0.5 : 1.0) * g;
            ASSERT_NEAR(mags[k], expected, 2e-6) << WindowItemText(c.window) << " bin " << k;
        }
    }
    // constant input, window None: half its value in bin 0
    EXPECT_NEAR(Spectrum(std::vector<float>(4096, 0.8f), kWindowNone)[0], 0.4, 1e-6);
}

TEST(Spectrum, TableSetForAnotherSizeGivesFiniteValues)
{
    SpectrumTransform t;
    t.setWindow(kWindowVanHann, 2048); // the table beyond 2048 is still zero
    std::vector<float> s(8192, 1.0f);
    EXPECT_EQ(t.transform(s.data(), 8192), 0);
    for (int k = 0; k < 4096; ++k)
        ASSERT_TRUE(std::isfinite(s[k]));
}

TEST(Levels, ZeroMagnitudeIsMinus192AndOthersFollowTheLogRule)
{
    EXPECT_EQ(MagnitudeToDb(0.0, kLnToDb, 12.6), -192.0);
    EXPECT_NEAR(MagnitudeToDb(1.0, 8.722, 12.6), 12.6, 1e-12);
    EXPECT_NEAR(MagnitudeToDb(0.1, kLnToDb, 0.0), -20.0, 1e-9);
    for (float m : Spectrum(std::vector<float>(2048, 0.0f), kWindowHamming))
        ASSERT_EQ(MagnitudeToDb(m, kLnToDb, 0.0), -192.0);
    EXPECT_FLOAT_EQ(BinFrequency(1, 4096, 44100), 22050.0f / 2048.0f);
    EXPECT_FLOAT_EQ(BinFrequency(512, 2048, 48001), 12000.0f); // rate/2 in integers
}
