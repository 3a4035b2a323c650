// Harmonics, THD+N, noise, dynamic range and intermodulation read from
// spectra of signals built here from their closed forms, and of the wave
// files fixtures/make_distortion_fixtures.py wrote (no project code), read
// with libsndfile; the expected values are derived by hand (the components
// put in, quantisation noise q²/12, the IEC 61672 table of A-weighting).
#include "dsp/fft.h"
#include "dsp/harmonics.h"
#include "dsp/intermodulation.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <random>
#include <string>
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

// A tone of peak a with harmonics at relDb[k] re it (0: none), plus
// Gaussian noise of RMS sigma.
std::vector<float> Tone(int n, int window, double rate, double f, double a, const double *relDb, double sigma)
{
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, sigma);
    return Spectrum(n, window, [&](int i) {
        double v = a * std::sin(2 * kPi * f * i / rate + 0.2) + (sigma > 0 ? noise(gen) : 0.0);
        for (int k = 2; k <= kHighestHarmonic; ++k)
            if (relDb[k] != 0)
                v += a * std::pow(10.0, relDb[k] / 20) * std::sin(2 * kPi * k * f * i / rate + k);
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
            const auto x = Tone(c.n, w, c.rate, c.f, 0.5, relDb, 0.0);
            const HarmonicReading r = AnalyseHarmonics(x.data(), c.n, c.rate, w, HarmonicSetup());
            SCOPED_TRACE(testing::Message() << c.rate << " Hz, window " << w);
            ASSERT_EQ(r.status, DistortionStatus::Ok);
            EXPECT_NEAR(r.fundamentalHz, c.f, 0.01 * c.rate / c.n);
            EXPECT_NEAR(r.fundamentalDbfs, Db(0.5), 0.01);
            double thd2 = 0.0;
            for (int k = 2; k <= kHighestHarmonic; ++k) {
                const Component &h = r.harmonic(k);
                if (k * c.f > 20000.0) { // the AES17 band by default
                    EXPECT_EQ(h.state, ComponentState::AboveBand) << k;
                } else if (relDb[k] != 0) {
                    EXPECT_NEAR(h.levelDb, relDb[k], 0.05) << k;
                    thd2 += std::pow(10.0, relDb[k] / 10);
                } else {
                    EXPECT_LT(h.levelDb, -130.0) << k;
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
    const double relDb[kHighestHarmonic + 1] = {0, 0, -60, -70, 0, 0, 0, 0, 0, 0};
    const double a = 0.5, sigma = 2e-5;
    for (double rate : {48000.0, 44100.0}) {
        // The windows whose leakage stays 30 dB below this noise.
        for (int w : {kWindowFlatTop, kWindowRifeVincent2, kWindowRifeVincent3}) {
            const auto x = Tone(16384, w, rate, 1001.3, a, relDb, sigma);
            const HarmonicReading r = AnalyseHarmonics(x.data(), 16384, rate, w, HarmonicSetup());
            SCOPED_TRACE(testing::Message() << rate << " Hz, window " << w);
            EXPECT_NEAR(r.harmonic(3).levelDb, -70, 0.15);
            // Noise in 20 Hz .. 20 kHz re the fundamental's RMS a/sqrt 2.
            const double noise = sigma * std::sqrt((20000.0 - 20.0) / (rate / 2)) / (a / std::sqrt(2.0));
            EXPECT_NEAR(r.noiseDb, Db(noise), 0.3);
            EXPECT_NEAR(r.thdnDb, 10 * std::log10(1e-6 + 1e-7 + noise * noise), 0.1);
        }
    }
}

TEST(Harmonics, LeftOutAboveTheBandAndHalfTheRateAndBadInput)
{
    const int n = 16384, w = kWindowRifeVincent3;
    const double rate = 48000, none[kHighestHarmonic + 1] = {};
    const auto x = Tone(n, w, rate, 3001.0, 0.5, none, 0.0);
    HarmonicSetup setup;
    HarmonicReading r = AnalyseHarmonics(x.data(), n, rate, w, setup);
    EXPECT_EQ(r.measuredCount, 5); // H2 .. H6, up to 18006 Hz
    EXPECT_EQ(HarmonicsOmittedText(r, 'E'), "H7 \u2026 H9 lie above the measurement band (20000 Hz) and are left out.");
    setup.band.limit = BandLimit::HalfRate;
    r = AnalyseHarmonics(x.data(), n, rate, w, setup);
    EXPECT_EQ(r.harmonic(7).state, ComponentState::Measured); // 21007 Hz
    EXPECT_EQ(HarmonicsOmittedText(r, 'E'), "H8 \u2026 H9 lie above half the sample rate (24000 Hz) and are left out.");

    setup.fundamentalHz = 21000;
    setup.band.limit = BandLimit::Aes17_20k;
    EXPECT_EQ(AnalyseHarmonics(x.data(), n, rate, w, setup).status, DistortionStatus::FundamentalAboveBand);
    setup.fundamentalHz = 200; // 8.5 bins at 2048 points: H2's lobe would touch the fundamental's
    EXPECT_EQ(HarmonicStatusText(AnalyseHarmonics(x.data(), 2048, rate, w, setup), 'E'),
              "The FFT resolution (23.44 Hz per line) cannot separate components 200 Hz apart with this window: "
              "choose more FFT points or a lower sample rate.");
    const std::vector<float> silence(n / 2, 0.0f);
    setup.fundamentalHz = 0;
    EXPECT_EQ(AnalyseHarmonics(silence.data(), n, rate, w, setup).status, DistortionStatus::NoFundamental);
    EXPECT_EQ(AnalyseHarmonics(nullptr, n, rate, w, setup).status, DistortionStatus::NoSpectrum);
    EXPECT_EQ(AnalyseHarmonics(x.data(), 1000, rate, w, setup).status, DistortionStatus::NoSpectrum);
}

// A frequency named for the fundamental (or the two tones) that the signal
// does not carry: before, the noise at that place was read as the
// fundamental, and the real tone elsewhere as its distortion (THD of about
// +90 dB here).
TEST(Harmonics, ANamedFrequencyTheSignalDoesNotCarryHasNoFundamental)
{
    const int n = 16384, w = kWindowRifeVincent3;
    const double rate = 48000, none[kHighestHarmonic + 1] = {};
    const auto x = Tone(n, w, rate, 997.0, 0.5, none, 1e-5); // noise about -97 dBFS
    HarmonicSetup setup;
    setup.fundamentalHz = 500.0;
    EXPECT_EQ(AnalyseHarmonics(x.data(), n, rate, w, setup).status, DistortionStatus::NoFundamental);
    setup.fundamentalHz = 997.0;
    const HarmonicReading r = AnalyseHarmonics(x.data(), n, rate, w, setup);
    ASSERT_EQ(r.status, DistortionStatus::Ok);
    EXPECT_NEAR(r.fundamentalDbfs, Db(0.5), 0.01);
    // A tone 60 dB below full scale on 16-bit quantisation (the dynamic
    // range's tone) still stands far out of its noise.
    const auto quiet = Tone(n, w, rate, 997.0, 1e-3, none, 1.0 / 32768 / std::sqrt(12.0));
    EXPECT_EQ(AnalyseHarmonics(quiet.data(), n, rate, w, setup).status, DistortionStatus::Ok);

    // SMPTE's 60 Hz tone is missing: only the 7 kHz tone plays.
    const auto high = Tone(n, w, rate, 7000.0, 0.1, none, 1e-5);
    EXPECT_EQ(AnalyseImd(high.data(), n, rate, w, DefaultTwoTone(TwoToneStandard::Smpte)).status,
              DistortionStatus::NoFundamental);
}

double Quantised(double x, int bits)
{
    const double steps = std::ldexp(1.0, bits - 1);
    return std::round(x * steps) / steps;
}

TEST(Harmonics, QuantisationLimitsAndDynamicRangeOfIdealCards)
{
    const int n = 16384;
    const double peak = std::pow(10.0, -1.0 / 20);
    for (double rate : {48000.0, 44100.0}) {
        // 16 bits: noise q/sqrt 12 (q = 2^-15) over 20 Hz .. 20 kHz re the tone's RMS.
        const double limitDb = Db(std::ldexp(1.0, -15) / std::sqrt(12.0) * std::sqrt(19980.0 / (rate / 2)) /
                                  (peak / std::sqrt(2.0)));
        for (int w : kFitWindows) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, window " << w);
            const auto tone = [&](int bits, double a) {
                return Spectrum(n, w, [&](int i) { return Quantised(a * std::sin(2 * kPi * 997 * i / rate + 0.3), bits); });
            };
            HarmonicSetup setup;
            setup.fundamentalHz = 997;
            // Bla/Harris and Rife-Vinc1 leak at -99 and -106 dB, too close to the 16-bit limit.
            if (w != kWindowBlackmanHarris && w != kWindowRifeVincent1) {
                EXPECT_NEAR(AnalyseHarmonics(tone(16, peak).data(), n, rate, w, setup).thdnDb, limitDb, 0.5);
            }
            if (w == kWindowRifeVincent3) {
                EXPECT_LT(AnalyseHarmonics(tone(24, peak).data(), n, rate, w, setup).thdnDb, -130.0);
            }
            // AES17: 6.02·16 + 1.76 + 10·log10(rate/2 / 20 kHz) = 98.9 dB (48 kHz), 98.5 dB (44.1 kHz).
            const DynamicRangeReading dr = MeasureDynamicRange(tone(16, 1e-3).data(), n, rate, w);
            ASSERT_EQ(dr.status, DistortionStatus::Ok);
            EXPECT_NEAR(dr.toneDbfs, -60.0, 0.05);
            EXPECT_NEAR(dr.dynamicRangeDb, rate == 48000 ? 98.9 : 98.5, 1.0);
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
    EXPECT_NEAR(levels.unweighted.dbfs, fullDb + 10 * std::log10(23980.0 / 24000), 0.15);
    EXPECT_NEAR(levels.aes17.dbfs, fullDb + 10 * std::log10(19980.0 / 24000), 0.15);
    EXPECT_LT(levels.aWeighted.dbfs, levels.aes17.dbfs);

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
}

TEST(Intermodulation, SetupsThatCannotBePlayedOrReadAreRefusedWithTheirMessage)
{
    TwoToneSetup ccif = DefaultTwoTone(TwoToneStandard::Ccif);
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
    EXPECT_EQ(TwoToneStatusText(ValidateTwoTone(smpte, 48000), smpte, 48000, 'E'),
              "A two-tone level of 0.50 dBFS clips: the peak of both tones must not exceed 0 dBFS.");
    smpte = DefaultTwoTone(TwoToneStandard::Smpte);
    smpte.highHz = 150; // f2 - 2f1 would fall onto the low tone
    EXPECT_EQ(ValidateTwoTone(smpte, 48000), DistortionStatus::BadFrequencies);
    const std::vector<float> x(1024, 0.0f); // 60 Hz is 2.6 bins at 2048 points
    EXPECT_EQ(AnalyseImd(x.data(), 2048, 48000, kWindowRifeVincent3, DefaultTwoTone(TwoToneStandard::Smpte)).status,
              DistortionStatus::NotResolved);
}

// The first n frames of a fixture as a spectrum.
std::vector<float> Fixture(const char *name, int n, int window, double &rate)
{
    const char *root = std::getenv("SONALYX_SOURCE_DIR");
    const std::string path = std::string(root ? root : ".") + "/tests/dsp/fixtures/" + name;
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> x(n, 0.0f);
    EXPECT_TRUE(f && info.channels == 1 && sf_readf_float(f, x.data(), n) == n) << path;
    sf_close(f);
    rate = info.samplerate;
    return Spectrum(n, window, [&](int i) { return x[i]; });
}

TEST(Fixtures, ToneWithHarmonicsAndTwoToneWithSidebandsReadWithinATenthOfADecibel)
{
    const int n = 16384;
    double rate = 0;
    // 1 kHz at -6.02 dBFS; H2, H3, H4 at -70, -90, -110 dB.
    auto x = Fixture("tone1k_harmonics.wav", n, kWindowRifeVincent3, rate);
    const HarmonicReading h = AnalyseHarmonics(x.data(), n, rate, kWindowRifeVincent3, HarmonicSetup());
    EXPECT_NEAR(h.fundamentalDbfs, -6.02, 0.1);
    for (int k = 2; k <= 4; ++k)
        EXPECT_NEAR(h.harmonic(k).levelDb, -70.0 - 20 * (k - 2), 0.1) << k;
    // 60 Hz + 7 kHz, 0.4 + 0.1; sidebands at +-60 Hz -60 dB, at +-120 Hz -70 dB re 7 kHz.
    x = Fixture("smpte_sidebands.wav", n, kWindowRifeVincent3, rate);
    const ImdReading r = AnalyseImd(x.data(), n, rate, kWindowRifeVincent3, DefaultTwoTone(TwoToneStandard::Smpte));
    ASSERT_EQ(r.status, DistortionStatus::Ok);
    EXPECT_NEAR(Db(r.a2), Db(0.1), 0.1);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(r.products[i].levelDb, i < 2 ? -60.0 : -70.0, 0.1) << i;
    EXPECT_NEAR(r.imdDb, 10 * std::log10(2e-6 + 2e-7), 0.1);
}

} // namespace
