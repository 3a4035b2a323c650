// Harmonics, THD+N, noise, dynamic range and intermodulation read from
// spectra of signals built here from their closed forms; expected values
// are derived by hand (quantisation noise q²/12, the IEC 61672 table of
// A-weighting, the sums of the components put in).
#include "dsp/fft.h"
#include "dsp/harmonics.h"
#include "dsp/intermodulation.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace dsp;
constexpr double kPi = std::numbers::pi;
constexpr int kFitWindows[] = {kWindowBlackmanHarris, kWindowFlatTop, kWindowRifeVincent1,
                               kWindowRifeVincent2, kWindowRifeVincent3};

double Db(double ratio) { return 20.0 * std::log10(ratio); }

std::vector<float> Spectrum(int n, int window, const std::function<double(int)> &sample)
{
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<float>(sample(i));
    SpectrumTransform t;
    t.setWindow(window, n);
    t.transform(x.data(), n);
    x.resize(n / 2);
    return x;
}

// Sine quantised to `bits` without dither (full scale ±1).
double Quantised(double x, int bits)
{
    const double steps = std::ldexp(1.0, bits - 1);
    return std::round(x * steps) / steps;
}

// A tone of peak `a` with harmonics at relDb[k] re it (0: none) and
// Gaussian noise of RMS sigma.
std::vector<float> ToneSpectrum(int n, int window, double rate, double f, double a, const double *relDb,
                                double sigma)
{
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, sigma);
    return Spectrum(n, window, [&](int i) {
        const double t = i / rate;
        double v = a * std::sin(2 * kPi * f * t + 0.2) + (sigma > 0 ? noise(gen) : 0.0);
        for (int k = 2; k <= kHighestHarmonic; ++k)
            if (relDb[k] != 0)
                v += a * std::pow(10.0, relDb[k] / 20) * std::sin(2 * kPi * k * f * t + k);
        return v;
    });
}

TEST(Harmonics, KnownHarmonicsReadInEveryFitWindow)
{
    struct Case { double rate; int n; double f; } cases[] = {
        {48000, 16384, 997.0}, {44100, 8192, 1234.5}, {96000, 4096, 3000.7}};
    const double relDb[kHighestHarmonic + 1] = {0, 0, -60, -70, 0, -80, 0, -90, 0, 0};
    for (const Case &c : cases) {
        for (int w : kFitWindows) {
            const auto x = ToneSpectrum(c.n, w, c.rate, c.f, 0.5, relDb, 0.0);
            HarmonicSetup setup;
            const HarmonicReading r = AnalyseHarmonics(x.data(), c.n, c.rate, w, setup);
            SCOPED_TRACE(testing::Message() << c.rate << " Hz, window " << w);
            ASSERT_EQ(r.status, DistortionStatus::Ok);
            EXPECT_TRUE(r.windowFit);
            EXPECT_NEAR(r.fundamentalHz, c.f, 0.01 * c.rate / c.n);
            EXPECT_NEAR(r.fundamentalDbfs, Db(0.5), 0.01);
            double thd2 = 0.0;
            for (int k = 2; k <= kHighestHarmonic; ++k) {
                if (k * c.f > 20000.0) {
                    EXPECT_EQ(r.harmonic(k).state, ComponentState::AboveBand) << k;
                    continue;
                }
                ASSERT_EQ(r.harmonic(k).state, ComponentState::Measured) << k;
                if (relDb[k] != 0) {
                    EXPECT_NEAR(r.harmonic(k).levelDb, relDb[k], 0.05) << k;
                    thd2 += std::pow(10.0, relDb[k] / 10);
                } else {
                    EXPECT_LT(r.harmonic(k).levelDb, -130.0) << k;
                }
            }
            EXPECT_NEAR(r.thdDb, 10 * std::log10(thd2), 0.01);
            EXPECT_NEAR(r.thdnDb, r.thdDb, 0.01);
            EXPECT_NEAR(r.harmonic(2).percent(), 0.1, 0.001);
        }
    }
}

TEST(Harmonics, NoiseSeparatedFromTheHarmonics)
{
    // Windows whose leakage stays 30 dB below the noise put in.
    const double relDb[kHighestHarmonic + 1] = {0, 0, -60, -70, 0, 0, 0, 0, 0, 0};
    const double a = 0.5, sigma = 2e-5;
    for (double rate : {48000.0, 44100.0}) {
        for (int w : {kWindowFlatTop, kWindowRifeVincent2, kWindowRifeVincent3}) {
            const auto x = ToneSpectrum(16384, w, rate, 1001.3, a, relDb, sigma);
            HarmonicSetup setup;
            const HarmonicReading r = AnalyseHarmonics(x.data(), 16384, rate, w, setup);
            SCOPED_TRACE(testing::Message() << rate << " Hz, window " << w);
            ASSERT_EQ(r.status, DistortionStatus::Ok);
            EXPECT_NEAR(r.harmonic(3).levelDb, -70, 0.15);
            // Noise in 20 Hz .. 20 kHz re the fundamental's RMS a/sqrt 2.
            const double noise = sigma * std::sqrt((20000.0 - 20.0) / (rate / 2)) / (a / std::sqrt(2.0));
            EXPECT_NEAR(r.noiseDb, Db(noise), 0.3);
            EXPECT_NEAR(r.thdnDb, 10 * std::log10(1e-6 + 1e-7 + noise * noise), 0.1);
            EXPECT_NEAR(r.noiseDbfs, r.fundamentalDbfs + r.noiseDb, 1e-9);
        }
    }
}

TEST(Harmonics, LeftOutAboveTheBandAndHalfTheRateAndBadInput)
{
    const int n = 16384;
    const double rate = 48000;
    const auto x = Spectrum(n, kWindowRifeVincent3, [&](int i) { return 0.5 * std::sin(2 * kPi * 3001.0 * i / rate); });
    HarmonicSetup setup;
    HarmonicReading r = AnalyseHarmonics(x.data(), n, rate, kWindowRifeVincent3, setup);
    ASSERT_EQ(r.status, DistortionStatus::Ok);
    EXPECT_EQ(r.measuredCount, 5); // H2 .. H6 up to 18006 Hz
    EXPECT_EQ(r.harmonic(7).state, ComponentState::AboveBand);
    EXPECT_EQ(HarmonicsOmittedText(r, 'E'), "H7 \u2026 H9 lie above the measurement band (20000 Hz) and are left out.");
    EXPECT_EQ(HarmonicsOmittedText(r, 'D'),
              "H7 \u2026 H9 liegen \u00fcber dem Messband (20000 Hz) und bleiben unber\u00fccksichtigt.");
    setup.band.limit = BandLimit::HalfRate;
    r = AnalyseHarmonics(x.data(), n, rate, kWindowRifeVincent3, setup);
    EXPECT_EQ(r.harmonic(7).state, ComponentState::Measured); // 21007 Hz
    EXPECT_EQ(r.harmonic(8).state, ComponentState::AboveHalfRate);
    EXPECT_EQ(HarmonicsOmittedText(r, 'E'), "H8 \u2026 H9 lie above half the sample rate (24000 Hz) and are left out.");

    setup.fundamentalHz = 21000;
    setup.band.limit = BandLimit::Aes17_20k;
    EXPECT_EQ(AnalyseHarmonics(x.data(), n, rate, kWindowRifeVincent3, setup).status,
              DistortionStatus::FundamentalAboveBand);
    setup.fundamentalHz = 200; // 8.5 bins at 2048 points: H2's lobe would touch the fundamental's
    EXPECT_EQ(AnalyseHarmonics(x.data(), 2048, rate, kWindowRifeVincent3, setup).status,
              DistortionStatus::NotResolved);
    EXPECT_EQ(DistortionStatusText(DistortionStatus::NotResolved, 'E', 200, 23.4375),
              "The FFT resolution (23.44 Hz per line) cannot separate components 200 Hz apart with this "
              "window: choose more FFT points.");
    const std::vector<float> silence(n / 2, 0.0f);
    setup.fundamentalHz = 0;
    EXPECT_EQ(AnalyseHarmonics(silence.data(), n, rate, kWindowRifeVincent3, setup).status,
              DistortionStatus::NoFundamental);
    EXPECT_EQ(AnalyseHarmonics(nullptr, n, rate, kWindowRifeVincent3, setup).status, DistortionStatus::NoSpectrum);
    EXPECT_EQ(AnalyseHarmonics(x.data(), 1000, rate, kWindowRifeVincent3, setup).status,
              DistortionStatus::NoSpectrum);
    EXPECT_EQ(AnalyseHarmonics(x.data(), n, rate, 9, setup).status, DistortionStatus::NoSpectrum);
    EXPECT_FALSE(AnalyseHarmonics(x.data(), n, rate, kWindowHamming, setup).windowFit);
}

// 16-bit quantisation noise q²/12 (q = 2^-15) in 20 Hz .. 20 kHz re a sine
// of peak A: THD+N = (q/sqrt 12)·sqrt(band/(rate/2)) / (A/sqrt 2).
double QuantisationThdnDb(int bits, double rate, double peak)
{
    const double q = std::ldexp(1.0, 1 - bits);
    return Db(q / std::sqrt(12.0) * std::sqrt((20000.0 - 20.0) / (rate / 2)) / (peak / std::sqrt(2.0)));
}

TEST(Harmonics, QuantisationLimitsAndDynamicRangeOfIdealCards)
{
    for (double rate : {48000.0, 44100.0}) {
        const int n = 16384;
        const double peak = std::pow(10.0, -1.0 / 20);
        for (int w : kFitWindows) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, window " << w);
            HarmonicSetup setup;
            setup.fundamentalHz = 997;
            // Bla/Harris and Rife-Vinc1 leak a full-scale tone at -99 and -106 dB:
            // too close to the 16-bit limit.
            auto x = Spectrum(n, w, [&](int i) { return Quantised(peak * std::sin(2 * kPi * 997 * i / rate + 0.3), 16); });
            if (w != kWindowBlackmanHarris && w != kWindowRifeVincent1)
                EXPECT_NEAR(AnalyseHarmonics(x.data(), n, rate, w, setup).thdnDb, QuantisationThdnDb(16, rate, peak), 0.5);
            x = Spectrum(n, w, [&](int i) { return Quantised(peak * std::sin(2 * kPi * 997 * i / rate + 0.3), 24); });
            if (w == kWindowRifeVincent3)
                EXPECT_LT(AnalyseHarmonics(x.data(), n, rate, w, setup).thdnDb, -130.0);
            // AES17: THD+N of a -60 dBFS 997 Hz tone + 60 dB; 6.02·16 + 1.76 + 10·log10(rate/2 / 20 kHz).
            x = Spectrum(n, w, [&](int i) { return Quantised(1e-3 * std::sin(2 * kPi * 997 * i / rate), 16); });
            const DynamicRangeReading dr = MeasureDynamicRange(x.data(), n, rate, w);
            ASSERT_EQ(dr.status, DistortionStatus::Ok);
            EXPECT_NEAR(dr.toneDbfs, -60.0, 0.05);
            EXPECT_NEAR(dr.dynamicRangeDb, rate == 48000 ? 98.9 : 98.5, 1.0);
            EXPECT_NEAR(dr.dynamicRangeDb, -dr.thdnDb - dr.toneDbfs, 1e-9);
        }
    }
}

TEST(Noise, WhiteNoiseInEachBandAndAWeightingAgainstTheIecTable)
{
    const int n = 16384;
    const double rate = 48000, sigma = 1e-3;
    std::mt19937 gen(11);
    std::normal_distribution<double> g(0.0, sigma);
    const auto x = Spectrum(n, kWindowBlackmanHarris, [&](int) { return g(gen); });
    const NoiseLevels levels = MeasureNoiseLevels(x.data(), n, rate, kWindowBlackmanHarris);
    const double fullDb = Db(sigma * std::sqrt(2.0)); // dBFS: re the RMS of a full-scale sine
    EXPECT_NEAR(levels.unweighted.dbfs, fullDb + 10 * std::log10((24000.0 - 20) / 24000), 0.15);
    EXPECT_NEAR(levels.unweighted.rms, sigma, 0.02 * sigma);
    EXPECT_NEAR(levels.aes17.dbfs, fullDb + 10 * std::log10((20000.0 - 20) / 24000), 0.15);
    EXPECT_LT(levels.aWeighted.dbfs, levels.aes17.dbfs);
    EXPECT_NEAR(SignalToNoiseDb(0.0, levels.aes17.dbfs), -levels.aes17.dbfs, 1e-12);

    // IEC 61672-1, table 3, at the exact base-ten frequencies.
    const double table[][2] = {{-15, -39.4}, {-12, -26.2}, {-9, -16.1}, {-6, -8.6}, {-3, -3.2}, {0, 0.0},
                               {3, 1.2},     {6, 1.0},     {9, -1.1},   {12, -6.6}, {13, -9.3}};
    for (const auto &row : table)
        EXPECT_NEAR(AWeightingDb(1000.0 * std::pow(10.0, row[0] / 10)), row[1], 0.06) << row[0];
    // A 100 Hz tone at -20 dBFS read as A-weighted noise: -20 + A(100 Hz) = -39.1 dB.
    const auto tone = Spectrum(n, kWindowRifeVincent3, [&](int i) { return 0.1 * std::sin(2 * kPi * 100.3 * i / rate); });
    MeasurementBand band;
    band.weighting = BandWeighting::A;
    EXPECT_NEAR(MeasureNoise(tone.data(), n, rate, kWindowRifeVincent3, band).dbfs, -39.1, 0.1);
    EXPECT_EQ(BandText(band, rate, 'D'), "AES17 20 kHz, A-bewertet");
    band.limit = BandLimit::Aes17_40k;
    EXPECT_EQ(BandText(band, rate, 'E'), "20 Hz \u2026 24000 Hz, A-weighted"); // 40 kHz does not limit at 48 kHz
}

// Two tones with products put in at known levels.
std::vector<float> TwoTones(int n, double rate, const std::vector<std::array<double, 2>> &lines)
{
    return Spectrum(n, kWindowRifeVincent3, [&](int i) {
        double v = 0.0, phase = 0.1;
        for (const auto &l : lines)
            v += l[1] * std::sin(2 * kPi * l[0] * i / rate + (phase += 0.9));
        return v;
    });
}

TEST(Intermodulation, SidebandsAndDifferenceFrequencyProductsAgainstTheirSums)
{
    const int n = 16384;
    for (double rate : {44100.0, 48000.0}) {
        for (TwoToneStandard s : {TwoToneStandard::Smpte, TwoToneStandard::Din}) {
            const TwoToneSetup setup = DefaultTwoTone(s);
            const TwoToneSignal sig = TwoToneSignalOf(setup);
            EXPECT_NEAR(sig.a1, 4 * sig.a2, 1e-12);
            EXPECT_NEAR(Db(sig.a1 + sig.a2), -6.0, 1e-9);
            const double b = sig.a2, f1 = sig.f1Hz, f2 = sig.f2Hz;
            const double s1 = b * 3e-3, s2 = b * 1e-3, s3 = b * 5e-4, s4 = b * 2e-4;
            const auto x = TwoTones(n, rate, {{f1, sig.a1}, {f2, b}, {f2 - f1, s1}, {f2 + f1, s2}, {f2 - 2 * f1, s3}, {f2 + 2 * f1, s4}});
            const ImdReading r = AnalyseImd(x.data(), n, rate, kWindowRifeVincent3, setup);
            ASSERT_EQ(r.status, DistortionStatus::Ok);
            EXPECT_NEAR(r.imdDb, Db(std::sqrt(s1 * s1 + s2 * s2 + s3 * s3 + s4 * s4) / b), 0.05);
            EXPECT_NEAR(r.products[3].levelDb, Db(2e-4), 0.1);
            EXPECT_NEAR(r.reference, b, 1e-3 * b);
        }
        const TwoToneSetup ccif = DefaultTwoTone(TwoToneStandard::Ccif);
        const auto x = TwoTones(n, rate, {{19000, 0.25}, {20000, 0.25}, {1000, 1e-4}, {18000, 3e-5}, {21000, 2e-5}});
        const ImdReading r = AnalyseImd(x.data(), n, rate, kWindowRifeVincent3, ccif);
        ASSERT_EQ(r.status, DistortionStatus::Ok);
        EXPECT_NEAR(r.d2Db, Db(1e-4 / 0.5), 0.05);
        EXPECT_NEAR(r.d3Db, Db(5e-5 / 0.5), 0.05);
        EXPECT_STREQ(ImdReferenceText(TwoToneStandard::Ccif, 'E'), "re A1 + A2");
    }
}

TEST(Intermodulation, SetupsThatCannotBePlayedOrReadAreRefusedWithTheirMessage)
{
    TwoToneSetup ccif = DefaultTwoTone(TwoToneStandard::Ccif);
    ccif.centreHz = 23000;
    EXPECT_EQ(ValidateTwoTone(ccif, 48000), DistortionStatus::ProductAboveHalfRate); // 2f2 - f1 = 24500 Hz
    ccif.centreHz = 22000;
    ASSERT_EQ(ValidateTwoTone(ccif, 44100), DistortionStatus::TonesAboveHalfRate);
    EXPECT_EQ(TwoToneStatusText(DistortionStatus::TonesAboveHalfRate, ccif, 44100, 'E'),
              "The two tones (21500 Hz and 22500 Hz) do not fit below half the sample rate (22050 Hz).");
    EXPECT_EQ(TwoToneStatusText(DistortionStatus::TonesAboveHalfRate, ccif, 44100, 'D'),
              "Die beiden T\u00f6ne (21500 Hz und 22500 Hz) passen nicht unter die halbe Abtastrate (22050 Hz).");
    TwoToneSetup smpte = DefaultTwoTone(TwoToneStandard::Smpte);
    EXPECT_EQ(ValidateTwoTone(smpte, 14200), DistortionStatus::ProductAboveHalfRate); // 7120 Hz > 7100 Hz
    EXPECT_EQ(ValidateTwoTone(smpte, 14400), DistortionStatus::Ok);
    smpte.levelDbfs = 0.5;
    ASSERT_EQ(ValidateTwoTone(smpte, 48000), DistortionStatus::Clips);
    EXPECT_EQ(TwoToneStatusText(DistortionStatus::Clips, smpte, 48000, 'E'),
              "A two-tone level of 0.50 dBFS clips: the peak of both tones must not exceed 0 dBFS.");
    smpte.levelDbfs = -6;
    smpte.highHz = 150; // f2 - 2f1 would fall onto the low tone
    EXPECT_EQ(ValidateTwoTone(smpte, 48000), DistortionStatus::BadFrequencies);
    smpte = DefaultTwoTone(TwoToneStandard::Smpte);
    smpte.ratio = 0;
    EXPECT_EQ(ValidateTwoTone(smpte, 48000), DistortionStatus::BadRatio);
    const std::vector<float> x(1024, 0.0f);
    EXPECT_EQ(AnalyseImd(x.data(), 2048, 48000, kWindowRifeVincent3, DefaultTwoTone(TwoToneStandard::Smpte)).status,
              DistortionStatus::NotResolved); // 60 Hz is 2.6 bins at 2048 points
}

} // namespace
