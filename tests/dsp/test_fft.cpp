// FFT and windows against independent references: a direct DFT in double
// precision, hand-derived window values and bins of known sines.
#include "dsp/fft.h"
#include "dsp/iirfilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

using namespace dsp;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Direct DFT with the transform's positive exponent and 1/n scaling.
std::vector<std::complex<double>> DirectDft(const std::vector<std::complex<double>> &x)
{
    const size_t n = x.size();
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (size_t j = 0; j < n; ++j)
            sum += x[j] * std::polar(1.0, 2.0 * kPi * double((j * k) % n) / double(n));
        out[k] = sum / double(n);
    }
    return out;
}

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
            mean += v;
        mean /= n;
        EXPECT_GE(mean, 0.48) << WindowItemText(type);
        EXPECT_LE(mean, 0.5 + 1e-6) << WindowItemText(type);
        for (int i = 1; i < n; ++i) // the periodic form is symmetric about n/2
            ASSERT_NEAR(table[i], table[n - i], 1e-6) << WindowItemText(type) << " " << i;
    }
    FillWindow(table.data(), kWindowNone, n);
    for (float v : table)
        ASSERT_EQ(v, 0.5f);
    FillWindow(table.data(), kWindowVanHann, n);
    EXPECT_NEAR(table[0], 0.0, 1e-7);
    EXPECT_NEAR(table[n / 4], 0.5, 1e-7);
    EXPECT_NEAR(table[n / 2], 1.0, 1e-7);
    // Hamming: (0.54 - 0.46 cos x)·10^(-0.8/20) with the gain as a single float.
    FillWindow(table.data(), kWindowHamming, n);
    const double g = double(float(std::pow(10.0, double(-0.8f) / 20.0)));
    EXPECT_NEAR(table[0], 0.08 * g, 1e-7);
    EXPECT_NEAR(table[100], (0.54 - 0.46 * std::cos(2 * kPi * 100 / n)) * g, 1e-7);
    // Flat-Top: all five terms at x = pi: a0 - a1 + a2 - a3 + a4, gain 8.3 dB.
    FillWindow(table.data(), kWindowFlatTop, n);
    const double flat = 0.1881 + 0.36923 + 0.28702 + 0.13077 + 0.02488;
    EXPECT_NEAR(table[n / 2], flat * std::pow(10.0, double(8.3f) / 20.0), 1e-6);

    EXPECT_STREQ(WindowItemText(4), "Bla/Harris");
    EXPECT_STREQ(WindowItemText(8), "Rife-Vinc3");
    EXPECT_STREQ(WindowItemText(9), "");
}

TEST(Windows, UnknownTypeLeavesTheTableAlone)
{
    SpectrumTransform t;
    t.setWindow(kWindowBlackman, 2048);
    const std::vector<float> before(t.windowTable(), t.windowTable() + 2048);
    t.setWindow(9, 2048);
    t.setWindow(-1, 2048);
    EXPECT_EQ(t.windowType(), kWindowBlackman);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ(t.windowTable()[i], before[i]);
}

TEST(Fft, BitReversalForEightSwapsExactlyOneFourAndThreeSix)
{
    float re[8], im[8];
    for (int i = 0; i < 8; ++i) {
        re[i] = float(i);
        im[i] = float(10 + i);
    }
    BitReverse(re, im, 8);
    const float expected[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(re[i], expected[i]);
        EXPECT_EQ(im[i], expected[i] + 10);
    }
}

TEST(Fft, BitReversalIsTheIndexBitReversalAtFullSize)
{
    const int n = kMaxFftSize;
    std::vector<float> re(n), im(n, 0.0f);
    for (int i = 0; i < n; ++i)
        re[i] = float(i);
    BitReverse(re.data(), im.data(), n);
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int b = 0; b < 14; ++b)
            r |= ((i >> b) & 1) << (13 - b);
        ASSERT_EQ(re[i], float(r)) << i;
    }
}

TEST(Fft, ComplexTransformMatchesDirectDft)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n : {4, 8, 64, 512}) {
        std::vector<std::complex<double>> x(n);
        std::vector<float> re(n), im(n);
        for (int i = 0; i < n; ++i) {
            x[i] = {double(float(u(rng))), double(float(u(rng)))};
            re[i] = float(x[i].real());
            im[i] = float(x[i].imag());
        }
        ASSERT_TRUE(Fft(re.data(), im.data(), n));
        const auto ref = DirectDft(x);
        for (int k = 0; k < n; ++k) {
            ASSERT_NEAR(re[k], ref[k].real(), 2e-7) << n << " bin " << k;
            ASSERT_NEAR(im[k], ref[k].imag(), 2e-7) << n << " bin " << k;
        }
    }
}

TEST(Fft, ParsevalAndBinsAgainstDirectDftOnRandomData)
{
    const int n = 2048;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> samples(n);
    for (float &v : samples)
        v = u(rng);

    // Full complex transform: sum |X|² = (1/n)·sum |x|² with the 1/n scaling.
    std::vector<float> re = samples, im(n, 0.0f);
    ASSERT_TRUE(Fft(re.data(), im.data(), n));
    double timeEnergy = 0, freqEnergy = 0;
    for (int i = 0; i < n; ++i) {
        timeEnergy += double(samples[i]) * samples[i];
        freqEnergy += double(re[i]) * re[i] + double(im[i]) * im[i];
    }
    EXPECT_NEAR(freqEnergy, timeEnergy / n, 1e-6 * timeEnergy / n);

    // The one-call path with a window, bin by bin against the direct DFT.
    SpectrumTransform t;
    t.setWindow(kWindowBlackman, n);
    std::vector<std::complex<double>> windowed(n);
    for (int i = 0; i < n; ++i)
        windowed[i] = double(samples[i] * t.windowTable()[i]);
    const auto ref = DirectDft(windowed);
    std::vector<float> mags = samples;
    ASSERT_EQ(t.transform(mags.data(), n), 0);
    double refHalf = 0, half = 0;
    for (int k = 0; k < n / 2; ++k) {
        ASSERT_NEAR(mags[k], std::abs(ref[k]), 1e-6) << "bin " << k;
        refHalf += std::norm(ref[k]);
        half += double(mags[k]) * mags[k];
    }
    EXPECT_NEAR(half, refHalf, 1e-5 * refHalf);
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

TEST(Fft, UnsupportedSizesAreRefused)
{
    std::vector<float> re(100, 1.0f), im(100, 1.0f);
    EXPECT_FALSE(Fft(re.data(), im.data(), 100));
    EXPECT_FALSE(Fft(re.data(), im.data(), 2 * kMaxFftSize));
    EXPECT_EQ(re[0], 1.0f);
    SpectrumTransform t;
    t.setWindow(kWindowNone, 2048);
    EXPECT_EQ(t.transform(re.data(), 100), -1);
    EXPECT_EQ(re[0], 1.0f);
    EXPECT_EQ(t.transform(nullptr, 2048), -1);
    EXPECT_TRUE(IsSupportedFftSize(2048));
    EXPECT_FALSE(IsSupportedFftSize(3000));
    EXPECT_EQ(FftSizeForIndex(3), 16384);
    EXPECT_EQ(FftSizeForIndex(7), 2048);
    EXPECT_EQ(FftSizeIndex(8192), 2);
    EXPECT_EQ(FftSizeIndex(1024), -1);
}

TEST(Spectrum, ConstantInputWithNoneGivesHalfTheValueInBinZero)
{
    const auto mags = Spectrum(std::vector<float>(4096, 0.8f), kWindowNone);
    EXPECT_NEAR(mags[0], 0.4, 1e-6);
    for (size_t k = 1; k < mags.size(); ++k)
        ASSERT_NEAR(mags[k], 0.0, 1e-7) << k;
}

TEST(Spectrum, SineOnABinReadsAQuarterTimesTheWindowMean)
{
    const int n = 4096, bin = 100;
    const auto none = Spectrum(Sine(n, bin, 1.0), kWindowNone);
    EXPECT_NEAR(none[bin], 0.25, 1e-6);
    EXPECT_NEAR(none[bin + 1], 0.0, 1e-6);
    EXPECT_NEAR(none[bin - 5], 0.0, 1e-6);

    const auto hann = Spectrum(Sine(n, bin, 1.0), kWindowVanHann);
    EXPECT_NEAR(hann[bin], 0.25, 1e-6);
    EXPECT_NEAR(hann[bin - 1], 0.125, 1e-6); // the a1/2 side lobes of the cosine sum
    EXPECT_NEAR(hann[bin + 1], 0.125, 1e-6);
    EXPECT_NEAR(hann[bin + 2], 0.0, 1e-6);

    const auto hamming = Spectrum(Sine(n, bin, 1.0), kWindowHamming);
    EXPECT_NEAR(hamming[bin], 0.5 * 0.54 * std::pow(10.0, -0.04), 1e-5);
    EXPECT_NEAR(hamming[bin], 0.246, 5e-4);
}

TEST(Spectrum, LargestSizeWorks)
{
    const int n = kMaxFftSize, bin = 3000;
    const auto mags = Spectrum(Sine(n, bin, 0.5), kWindowBlackman);
    const double g = std::pow(10.0, double(1.5f) / 20.0);
    EXPECT_NEAR(mags[bin], 0.25 * 0.42 * g, 1e-6);
    EXPECT_NEAR(mags[bin + 1], 0.25 * 0.25 * g, 1e-6);
    EXPECT_NEAR(mags[bin + 2], 0.25 * 0.04 * g, 1e-6);
    for (int k = 0; k < n / 2; ++k) {
        if (std::abs(k - bin) > 2) {
            ASSERT_LT(mags[k], 2e-6) << k;
        }
    }
}

TEST(Spectrum, TableSetForAnotherSizeDoesNotCrash)
{
    SpectrumTransform t;
    t.setWindow(kWindowVanHann, 2048); // table beyond 2048 is still zero
    std::vector<float> s(8192, 1.0f);
    EXPECT_EQ(t.transform(s.data(), 8192), 0);
    for (int k = 0; k < 4096; ++k)
        ASSERT_TRUE(std::isfinite(s[k]));
}

TEST(Spectrum, UnitWideEntryPointsShareOneTable)
{
    SetWindow(kWindowVanHann, 4096);
    EXPECT_EQ(UnitSpectrumTransform().windowType(), kWindowVanHann);
    auto s = Sine(4096, 50, 1.0);
    EXPECT_EQ(WindowTransformMagnitude(s.data(), 4096), 0);
    EXPECT_NEAR(s[50], 0.25, 1e-6);
}

TEST(Levels, ZeroMagnitudeIsMinus192AndOthersFollowTheLogRule)
{
    EXPECT_EQ(MagnitudeToDb(0.0, kLnToDb, 12.6), -192.0);
    EXPECT_EQ(MagnitudeToDb(0.0f, 8.722, -30.0), kNoSignalDb);
    EXPECT_NEAR(MagnitudeToDb(1.0, 8.722, 12.6), 12.6, 1e-12);
    EXPECT_NEAR(MagnitudeToDb(0.1, kLnToDb, 0.0), -20.0, 1e-9);
    EXPECT_NEAR(kLnToDb, 20.0 / std::log(10.0), 1e-13);

    const auto silent = Spectrum(std::vector<float>(2048, 0.0f), kWindowHamming);
    for (float m : silent)
        ASSERT_EQ(MagnitudeToDb(m, kLnToDb, 0.0), -192.0);

    EXPECT_FLOAT_EQ(BinFrequency(1, 4096, 44100), 22050.0f / 2048.0f);
    EXPECT_FLOAT_EQ(BinFrequency(512, 2048, 48001), 12000.0f); // rate/2 in integers
}

TEST(PinkNoise, MeasuredSpectrumFallsAboutThreeDbPerOctave)
{
    // White noise through the cascade, averaged Hann spectra, power per bin
    // averaged over octave bands: pink noise loses about 3 dB per octave.
    const int n = 4096, blocks = 48;
    const double fs = 48000.0;
    PinkNoiseFilter pink;
    pink.setup(fs);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int i = 0; i < 20000; ++i) // let the cascade settle
        pink.process(2 * u(rng) - 1);
    SpectrumTransform t;
    t.setWindow(kWindowVanHann, n);
    std::vector<double> power(n / 2, 0.0);
    std::vector<float> block(n);
    for (int b = 0; b < blocks; ++b) {
        for (float &v : block)
            v = float(pink.process(2 * u(rng) - 1));
        t.transform(block.data(), n);
        for (int k = 0; k < n / 2; ++k)
            power[k] += double(block[k]) * block[k];
    }
    auto bandDb = [&](double lo) {
        const int k0 = int(lo * n / fs), k1 = int(2 * lo * n / fs);
        double sum = 0;
        for (int k = k0; k < k1; ++k)
            sum += power[k];
        return 10.0 * std::log10(sum / (k1 - k0));
    };
    double previous = bandDb(125);
    for (double lo = 250; lo <= 4000; lo *= 2) {
        const double level = bandDb(lo);
        EXPECT_NEAR(level - previous, -3.0, 1.3) << lo;
        previous = level;
    }
    EXPECT_NEAR((bandDb(8000) - bandDb(125)) / 6.0, -3.0, 0.5);
}
