// THD+N and band level on spectra with known answers, the weighting
// selection and the "ANALYSE" settings section.
#include "dsp/analysis.h"
#include "dsp/fft.h"
#include "dsp/weighting.h"
#include "platform/inifile.h"
#include "support/spectrumref.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace dsp;
using testsupport::DbPower;

namespace {

constexpr double kPi = 3.14159265358979323846;

// 40960 Hz at 4096 points: bins exactly 10 Hz apart, so band edges and the
// ±12-bin exclusion fall on bins.
AnalysisSettings TenHzBins()
{
    AnalysisSettings s;
    s.sampleRate = 40960.0;
    s.fftSize = 4096;
    s.lowFreq = 100;
    s.highFreq = 15000;
    return s;
}

const CorrectionCurve kFlat;

} // namespace

TEST(FindFundamental, LowestOfTheLargestBinsAboveTheThreshold)
{
    AnalysisSettings s = TenHzBins();
    std::vector<float> m(2048, 0.0f);
    EXPECT_EQ(FindFundamental(m.data(), s), 0.0); // nothing above the threshold
    EXPECT_DOUBLE_EQ(s.binWidth, 10.0);
    m[300] = 0.2f;
    m[500] = 0.2f; // an equal maximum higher up does not win
    m[100] = 0.1f;
    EXPECT_DOUBLE_EQ(FindFundamental(m.data(), s), 3000.0);
    m[0] = 0.5f; // DC is no fundamental
    EXPECT_EQ(FindFundamental(m.data(), s), 0.0);
    m[0] = 0.0f;
    s.threshold = double(0.2f); // must be exceeded, not just reached
    EXPECT_EQ(FindFundamental(m.data(), s), 0.0);
}

TEST(ThdN, PureSineGivesNoSignalAndNoFundamentalGivesTheBandsLevel)
{
    AnalysisSettings s = TenHzBins();
    std::vector<float> m(2048, 0.0f);
    m[100] = 0.45f;
    EXPECT_EQ(ThdN(m.data(), s, kFlat, kLnToDb), kNoSignalDb);
    EXPECT_DOUBLE_EQ(s.fundamental, 1000.0);

    s.threshold = 1.0; // above every bin: the band's absolute level
    m[100] = 0.25f;
    m[200] = 0.01f;  // 2000 Hz
    m[5] = 0.3f;     // 50 Hz, below the band
    m[1600] = 0.02f; // 16000 Hz, above it
    EXPECT_NEAR(ThdN(m.data(), s, kFlat, kLnToDb), DbPower(0.25 * 0.25 + 0.01 * 0.01), 1e-5);
    EXPECT_EQ(s.fundamental, 0.0);
}

TEST(ThdN, BinsTwelveBinsAwayAreExcludedThirteenAreCountedAndBandEdgesBelongToTheBand)
{
    AnalysisSettings s = TenHzBins();
    s.fundAuto = false;
    s.fundamental = 1000.0;
    std::vector<float> m(2048, 0.0f);
    m[100] = 0.5f;
    m[88] = m[112] = 0.01f; // 1000 Hz ± 12 bins
    m[300] = 0.001f;
    const double total = 0.25 + 2e-4 + 1e-6;
    EXPECT_NEAR(ThdN(m.data(), s, kFlat, kLnToDb), DbPower(1e-6 / total), 1e-5);
    for (int k : {87, 113}) {
        m[k] = 0.01f;
        EXPECT_NEAR(ThdN(m.data(), s, kFlat, kLnToDb), DbPower((1e-6 + 1e-4) / (total + 1e-4)), 1e-5) << k;
        m[k] = 0.0f;
    }
    m[10] = 0.003f;   // 100 Hz = lowFreq: counted
    m[1501] = 0.004f; // 15010 Hz: total only
    EXPECT_NEAR(ThdN(m.data(), s, kFlat, kLnToDb), DbPower((1e-6 + 9e-6) / (total + 9e-6 + 16e-6)), 1e-5);
}

TEST(ThdN, SinePlusKnownDistortionAndNoiseFromTheTimeDomain)
{
    // A sine with harmonics at -40 and -50 dB and 30 small tones as "noise",
    // all on bins, through the Hann window: the expected ratio is the power
    // outside the fundamental over the total power.
    const int n = 8192, fundBin = 170; // 996.09 Hz
    const double fs = 48000.0;
    std::vector<double> amps(n / 2, 0.0);
    amps[fundBin] = 1.0;
    amps[2 * fundBin] = 0.01;
    amps[3 * fundBin] = 0.00316227766;
    for (int k = 0; k < 30; ++k)
        amps[600 + 97 * k] = 0.001;
    std::vector<float> samples(n, 0.0f);
    for (int k = 0; k < n / 2; ++k)
        if (amps[k] != 0.0)
            for (int i = 0; i < n; ++i)
                samples[i] += float(0.9 * amps[k] * std::cos(2 * kPi * k * i / n + 0.1 * k));
    SpectrumTransform t;
    t.setWindow(kWindowVanHann, n);
    t.transform(samples.data(), n);

    AnalysisSettings s;
    s.sampleRate = fs;
    s.fftSize = n;
    s.lowFreq = 20;
    s.highFreq = 20000;
    const double r = ThdN(samples.data(), s, kFlat, kLnToDb);
    EXPECT_NEAR(r, DbPower(1.4e-4 / (1.0 + 1.4e-4)), 0.05); // 1e-4 + 1e-5 + 30·1e-6 against 1
    EXPECT_EQ(s.fundamental, std::nearbyint(fundBin * fs / n));
}

TEST(BandLevel, SumsTheBandAndAddsTheOffsets)
{
    AnalysisSettings s = TenHzBins();
    std::vector<float> m(2048, 0.0f);
    EXPECT_EQ(BandLevel(m.data(), s, kFlat, 0.0, kLnToDb), kNoSignalDb);
    m[100] = 0.25f;
    m[5] = 1.0f; // below the band
    EXPECT_NEAR(BandLevel(m.data(), s, kFlat, -6.07, kLnToDb), 20 * std::log10(0.25) + 8.17 - 6.07, 1e-9);
    m[10] = 0.25f; // 100 Hz, the lower edge
    EXPECT_NEAR(BandLevel(m.data(), s, kFlat, 0.0, kLnToDb), DbPower(2 * 0.0625) + 8.17, 1e-9);

    s.fftSize = 0; // degenerate settings do not divide by zero
    EXPECT_EQ(BandLevel(m.data(), s, kFlat, 0, kLnToDb), kNoSignalDb);
    EXPECT_EQ(ThdN(m.data(), s, kFlat, kLnToDb), kNoSignalDb);
    s.fftSize = 8;
    s.sampleRate = 0;
    EXPECT_EQ(FindFundamental(m.data(), s), 0.0);
    EXPECT_EQ(ThdN(nullptr, s, kFlat, kLnToDb), kNoSignalDb);
}

namespace {

// The magnitude spectrum through window `type` of `blocks` blocks of `n`
// samples at 48 kHz, averaged as the analyser averages (magnitudes): a sine
// of `peak` at 997 Hz with its 2nd and 3rd harmonic at `harmonic` re the
// peak, plus seeded white noise of RMS `noise`.
std::vector<float> Spectrum(int type, int blocks, int n, double peak, double harmonic, double noise)
{
    std::mt19937_64 random(12345);
    std::normal_distribution<double> gauss(0.0, noise);
    SpectrumTransform t;
    t.setWindow(type, n);
    std::vector<float> sum(n / 2, 0.0f), x(n);
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < n; ++i) {
            const double w = 2.0 * kPi * 997.0 * (b * n + i) / 48000.0;
            const double harmonics = harmonic * (std::sin(2 * w + 0.4) + std::sin(3 * w + 1.1));
            x[i] = float(peak * (std::sin(w) + harmonics) + gauss(random));
        }
        t.transform(x.data(), n);
        for (int i = 0; i < n / 2; ++i)
            sum[i] += x[i] / float(blocks);
    }
    return sum;
}

} // namespace

TEST(BandLevel, ASineAndNoiseReadTheSameInEveryWindow)
{
    // A -6 dBFS sine reads its peak level plus what 8.17 dB adds beyond the
    // default window's rms/2 (0.08 dB), as it always has with that window;
    // noise (16 averages) reads alike in all nine.
    AnalysisSettings s;
    s.sampleRate = 48000.0;
    s.fftSize = 8192;
    const double peak = std::pow(10.0, -6.0 / 20.0);
    const double expected = 20.0 * std::log10(peak * testsupport::DefaultWindowRms() / 2.0) + 8.17;
    double lowest = 1e9, highest = -1e9;
    for (int type = 0; type < kWindowTypeCount; ++type) {
        s.windowType = type;
        EXPECT_NEAR(BandLevel(Spectrum(type, 1, 8192, peak, 0.0, 0.0).data(), s, kFlat, 0.0, kLnToDb), expected,
                    type == kWindowRifeVincent3 ? 0.05 : 0.1) << WindowItemText(type);
        const double noise = BandLevel(Spectrum(type, 16, 8192, 0.0, 0.0, 1e-3).data(), s, kFlat, 0.0, kLnToDb);
        lowest = std::min(lowest, noise);
        highest = std::max(highest, noise);
    }
    EXPECT_LT(highest - lowest, 0.1);
}

TEST(ThdN, WindowsWithFastFallingLeakageAgreeOnTheSameDevice)
{
    // -6 dBFS, both harmonics at -80 dB, noise at -110 dBFS RMS: THD+N is
    // (the harmonics + the noise in 100..20000 Hz) / everything.
    const double peak = std::pow(10.0, -6.0 / 20.0), ph = 2.0 * std::pow(1e-4 * peak, 2) / 2.0, pn = 1e-11;
    const double closed = DbPower((ph + pn * 19900.0 / 24000.0) / (peak * peak / 2.0 + ph + pn));
    AnalysisSettings s;
    s.sampleRate = 48000.0;
    s.fftSize = 16384;
    for (const int type : {kWindowBlackmanHarris, kWindowFlatTop, kWindowRifeVincent1, kWindowRifeVincent2,
                           kWindowRifeVincent3, kWindowNone, kWindowHamming, kWindowVanHann}) {
        const double thd = ThdN(Spectrum(type, 1, 16384, peak, 1e-4, std::sqrt(pn)).data(), s, kFlat, kLnToDb);
        // The others read the fundamental's own leakage beyond the 12 bins.
        if (type == kWindowNone || type == kWindowHamming || type == kWindowVanHann)
            EXPECT_GT(thd, closed + 5.0) << WindowItemText(type);
        else
            EXPECT_NEAR(thd, closed, 0.1) << WindowItemText(type);
    }
}

TEST(Weighting, IsAddedToEveryBinWithTheRightSign)
{
    SpectrumAnalysis a;
    a.settings() = TenHzBins();
    std::vector<float> m(2048, 0.0f);
    m[10] = 0.25f; // 100 Hz, where A weighting is -18 dB
    const double flat = a.bandLevel(m.data(), 0.0, kLnToDb);
    a.selectFilter("A Weighting");
    EXPECT_NEAR(a.bandLevel(m.data(), 0.0, kLnToDb), flat - 18.0, 1e-6);
    const CorrectionPoint plus6[] = {{10, 6}, {24000, 6}};
    a.weighting().setFromTable(plus6, 2);
    a.weighting().setActive(true);
    EXPECT_NEAR(a.bandLevel(m.data(), 0.0, kLnToDb), flat + 6.0, 1e-6);

    // THD+N sees the weighted bins: a harmonic lifted by 10 dB against the fundamental
    a.settings().fundAuto = false;
    std::vector<float> h(2048, 0.0f);
    h[100] = 0.5f;
    h[300] = 0.005f;
    const CorrectionPoint tilt[] = {{1000, 0}, {3000, 10}};
    a.weighting().setFromTable(tilt, 2);
    const double plain = a.thdN(h.data(), kLnToDb);
    a.weighting().setActive(true);
    EXPECT_NEAR(plain, DbPower(0.005 * 0.005 / (0.25 + 0.005 * 0.005)), 1e-5);
    EXPECT_NEAR(a.thdN(h.data(), kLnToDb) - plain, 10.0, 0.01);
}

TEST(Weighting, EveryItemSelectsItsTableNoneSwitchesOffUserKeepsThePoints)
{
    SpectrumAnalysis a;
    EXPECT_FALSE(a.weighting().active());
    for (int i = 1; i + 1 < WeightingItemCount(); ++i) {
        const std::string item = WeightingItem(i);
        a.selectFilter(item);
        const WeightingTable *t = FindWeightingTable(item);
        ASSERT_NE(t, nullptr) << item;
        EXPECT_EQ(a.settings().filterName, item);
        EXPECT_TRUE(a.weighting().active()) << item;
        for (int p = 0; p < t->count; ++p) // every table is a valid spline
            EXPECT_NEAR(a.weighting().evaluate(t->points[p].x), t->points[p].y, 1e-9) << item;
    }
    a.selectFilter("DEEMPH J.17");
    a.selectFilter("USER");
    EXPECT_TRUE(a.weighting().active());
    EXPECT_NEAR(a.weighting().evaluate(80), 18.0, 1e-9);
    a.selectFilter("none");
    EXPECT_FALSE(a.weighting().active());
    EXPECT_EQ(a.weighting().evaluate(5000), 0.0);
    EXPECT_EQ(FindWeightingTable("a weighting"), nullptr); // exact texts only
    EXPECT_STREQ(WeightingItem(0), "none");
    EXPECT_STREQ(WeightingItem(WeightingItemCount() - 1), "USER");
}

TEST(AnalysisSettingsFile, DefaultsInvalidValuesAndRoundTrip)
{
    platform::IniFile ini;
    SpectrumAnalysis a;
    a.settings().threshold = 0.5;
    a.readSettings(ini); // empty: the defaults
    const AnalysisSettings &s = a.settings();
    EXPECT_FALSE(s.thdMess || s.noiseMess);
    EXPECT_TRUE(s.fundAuto);
    EXPECT_EQ(s.fundamental, 1000.0);
    EXPECT_EQ(s.lowFreq, 100);
    EXPECT_EQ(s.highFreq, 20000);
    EXPECT_EQ(s.threshold, 0.001);
    EXPECT_EQ(s.filterName, "none");

    for (auto [key, value] : {std::pair{"THDMESS", "yes"}, {"NOISEMESS", "false"}, {"FUNDAUTO", "FALSE"},
                              {"FUNDAMENTAL", "-440"}, {"FVON", "0"}, {"FBIS", "12k"}, {"FUNDLOW", "-0.5"},
                              {"FILTER", "USER"}, {"AES17", "30"}})
        ini.set("ANALYSE", key, value);
    a.readSettings(ini);
    EXPECT_EQ(s.aes17, 0); // only 0, 20 and 40 are bandwidths
    EXPECT_TRUE(s.thdMess && s.noiseMess); // anything but FALSE is true
    EXPECT_FALSE(s.fundAuto);
    EXPECT_EQ(s.fundamental, 440.0);
    EXPECT_EQ(s.lowFreq, 100);
    EXPECT_EQ(s.highFreq, 20000);
    EXPECT_EQ(s.threshold, 0.001);
    EXPECT_EQ(s.filterName, "USER"); // a stored USER loads no file: the flat table, switched on
    EXPECT_TRUE(a.weighting().active());
    EXPECT_EQ(a.weighting().evaluate(1000), 0.0);

    a.settings().threshold = 0.000316;
    a.settings().lowFreq = 20;
    a.settings().fundamental = 997.6;
    a.selectFilter("CCIR wtd");
    a.settings().harmMess = true;
    a.settings().aes17 = 40;
    const std::string path = testsupport::ScratchDir("analyse") + "/sonmain.ini";
    testsupport::WriteFile(path, "[MAIN]\nLANGUAGE=E\n");
    ASSERT_TRUE(a.writeSettingsFile(path));
    EXPECT_EQ(testsupport::ReadFile(path), "[MAIN]\nLANGUAGE=E\n\n[ANALYSE]\nTHDMESS=TRUE\nNOISEMESS=TRUE\n"
                                           "HARMMESS=TRUE\nAES17=40\nFUNDAUTO=FALSE\nFUNDAMENTAL=998\nFVON=20\nFBIS=20000\n"
                                           "FUNDLOW=0.0003160\nFILTER=CCIR wtd\n");
    SpectrumAnalysis b;
    b.readSettingsFile(path);
    EXPECT_EQ(b.settings().threshold, 0.000316);
    EXPECT_EQ(b.settings().fundamental, 998.0);
    EXPECT_TRUE(b.settings().harmMess);
    EXPECT_EQ(b.settings().aes17, 40);
    EXPECT_TRUE(b.weighting().active());
    EXPECT_NEAR(b.weighting().evaluate(6000), 12.0, 1e-9);
}
