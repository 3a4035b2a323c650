// THD+N and band level on spectra with known answers, the weighting
// selection and the "ANALYSE" settings section.
#include "dsp/analysis.h"
#include "dsp/fft.h"
#include "dsp/weighting.h"
#include "platform/inifile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

using namespace dsp;

namespace {

constexpr double kPi = 3.14159265358979323846;

double Db10(double powerRatio) { return 10.0 * std::log10(powerRatio); }

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

} // namespace

TEST(FindFundamental, LowestOfTheLargestBinsAboveTheThreshold)
{
    AnalysisSettings s = TenHzBins();
    std::vector<float> m(2048, 0.0f);
    EXPECT_EQ(FindFundamental(m.data(), s), 0.0); // nothing above the threshold
    EXPECT_DOUBLE_EQ(s.binWidth, 10.0);
    m[300] = 0.2f;
    m[500] = 0.2f; // equal maximum higher up does not win
    m[100] = 0.1f;
    EXPECT_DOUBLE_EQ(FindFundamental(m.data(), s), 3000.0);
    m[0] = 0.5f; // DC is no fundamental
    EXPECT_EQ(FindFundamental(m.data(), s), 0.0);
    m[0] = 0.0f;
    s.threshold = double(0.2f); // must be exceeded, not just reached
    EXPECT_EQ(FindFundamental(m.data(), s), 0.0);
}

TEST(ThdN, PureSineGivesNoSignalLevel)
{
    const int n = 4096;
    std::vector<float> samples(n);
    for (int i = 0; i < n; ++i)
        samples[i] = float(0.9 * std::sin(2 * kPi * 100 * i / n));
    SpectrumTransform t;
    t.setWindow(kWindowNone, n);
    t.transform(samples.data(), n);
    // Rounding noise of the transform is far below the threshold but not 0:
    // clear it so the case is the exact one.
    for (int k = 0; k < n / 2; ++k)
        if (k != 100)
            samples[k] = 0.0f;
    AnalysisSettings s = TenHzBins();
    CorrectionCurve off;
    EXPECT_EQ(ThdN(samples.data(), s, off, kLnToDb), kNoSignalDb);
    EXPECT_DOUBLE_EQ(s.fundamental, 1000.0);
}

TEST(ThdN, ThresholdAboveEveryBinGivesTheBandsAbsoluteLevel)
{
    AnalysisSettings s = TenHzBins();
    s.threshold = 1.0;
    std::vector<float> m(2048, 0.0f);
    m[100] = 0.25f;  // 1000 Hz, inside the band and no longer excluded
    m[200] = 0.01f;  // 2000 Hz
    m[5] = 0.3f;     // 50 Hz, below the band
    m[1600] = 0.02f; // 16000 Hz, above it
    CorrectionCurve off;
    const double r = ThdN(m.data(), s, off, kLnToDb);
    EXPECT_EQ(s.fundamental, 0.0);
    EXPECT_NEAR(r, Db10(0.25 * 0.25 + 0.01 * 0.01), 1e-5);
}

TEST(ThdN, BinsTwelveBinsAwayAreExcludedThirteenAreCounted)
{
    AnalysisSettings s = TenHzBins();
    s.fundAuto = false;
    s.fundamental = 1000.0;
    CorrectionCurve off;
    std::vector<float> m(2048, 0.0f);
    m[100] = 0.5f;
    m[88] = 0.01f; // 880 Hz = 1000 - 12 bins
    m[112] = 0.01f;
    m[300] = 0.001f; // some noise so the result is finite
    const double base = ThdN(m.data(), s, off, kLnToDb);
    const double total = 0.25 + 2e-4 + 1e-6;
    EXPECT_NEAR(base, Db10(1e-6 / total), 1e-5);
    m[87] = 0.01f; // 13 bins below: noise
    EXPECT_NEAR(ThdN(m.data(), s, off, kLnToDb), Db10((1e-6 + 1e-4) / (total + 1e-4)), 1e-5);
    m[87] = 0.0f;
    m[113] = 0.01f;
    EXPECT_NEAR(ThdN(m.data(), s, off, kLnToDb), Db10((1e-6 + 1e-4) / (total + 1e-4)), 1e-5);
    // Band edges are part of the band; the total has none.
    m[113] = 0.0f;
    m[10] = 0.003f;   // 100 Hz = lowFreq: counted
    m[1501] = 0.004f; // 15010 Hz: total only
    const double t2 = total + 9e-6 + 16e-6;
    EXPECT_NEAR(ThdN(m.data(), s, off, kLnToDb), Db10((1e-6 + 9e-6) / t2), 1e-5);
}

TEST(ThdN, SinePlusKnownDistortionAndNoiseFromTheTimeDomain)
{
    // A 1 kHz sine with harmonics at -40 and -50 dB and 30 small tones as
    // "noise", all on bins, through the Hann window: the expected ratio is
    // the power outside the fundamental over the total power.
    const int n = 8192;
    const double fs = 48000.0;
    const int fundBin = 170; // 996.09 Hz
    std::vector<double> amps(n / 2, 0.0);
    amps[fundBin] = 1.0;
    amps[2 * fundBin] = 0.01;
    amps[3 * fundBin] = 0.00316227766;
    for (int k = 0; k < 30; ++k)
        amps[600 + 97 * k] = 0.001;
    std::vector<int> tones;
    for (int k = 0; k < n / 2; ++k)
        if (amps[k] != 0.0)
            tones.push_back(k);
    std::vector<float> samples(n, 0.0f);
    for (int i = 0; i < n; ++i) {
        double v = 0;
        for (int k : tones)
            v += amps[k] * std::cos(2 * kPi * k * i / n + 0.1 * k);
        samples[i] = float(v * 0.9);
    }
    SpectrumTransform t;
    t.setWindow(kWindowVanHann, n);
    t.transform(samples.data(), n);

    AnalysisSettings s;
    s.sampleRate = fs;
    s.fftSize = n;
    s.lowFreq = 20;
    s.highFreq = 20000;
    double others = 0, total = 0;
    for (int k = 0; k < n / 2; ++k) {
        total += amps[k] * amps[k];
        if (k != fundBin && k * fs / n <= 20000)
            others += amps[k] * amps[k];
    }
    CorrectionCurve off;
    const double r = ThdN(samples.data(), s, off, kLnToDb);
    EXPECT_NEAR(r, Db10(others / total), 0.1);
    EXPECT_NEAR(r, Db10(1.4e-4), 0.05); // 1e-4 + 1e-5 + 30·1e-6 against about 1
    EXPECT_EQ(s.fundamental, std::nearbyint(fundBin * fs / n));
}

TEST(ThdN, SinePlusWhiteNoiseOfKnownPower)
{
    // Uniform noise in [-a, a] has the power a²/3; with window None (0.5) and
    // the 1/N scaling each bin carries 0.25·a²/3/N on average, the sine
    // (amplitude 1, on a bin) 1/16. Four blocks keep the estimate within
    // a few hundredths of a dB.
    const int n = 16384;
    const double fs = 48000.0, a = 0.01;
    const int fundBin = 2048; // 6000 Hz
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> u(-a, a);
    SpectrumTransform t;
    t.setWindow(kWindowNone, n);
    AnalysisSettings s;
    s.sampleRate = fs;
    s.fftSize = n;
    s.lowFreq = 20;
    s.highFreq = 20000;
    CorrectionCurve off;
    double meanDb = 0;
    for (int block = 0; block < 4; ++block) {
        std::vector<float> x(n);
        for (int i = 0; i < n; ++i)
            x[i] = float(std::sin(2 * kPi * fundBin * i / n) + u(rng));
        t.transform(x.data(), n);
        meanDb += ThdN(x.data(), s, off, kLnToDb) / 4;
    }
    int noiseBins = 0;
    for (int k = 0; k < n / 2; ++k) {
        const double f = k * fs / n;
        if (f >= 20 && f <= 20000 && std::abs(k - fundBin) > 12)
            ++noiseBins;
    }
    const double perBin = 0.25 * (a * a / 3) / n;
    const double expected = Db10(noiseBins * perBin / (1.0 / 16 + (n / 2) * perBin));
    EXPECT_NEAR(meanDb, expected, 0.1);
    EXPECT_EQ(s.fundamental, 6000.0);
}

TEST(BandLevel, SumsTheBandAndAddsTheOffsets)
{
    AnalysisSettings s = TenHzBins();
    std::vector<float> m(2048, 0.0f);
    CorrectionCurve off;
    EXPECT_EQ(BandLevel(m.data(), s, off, 0.0, kLnToDb), kNoSignalDb);
    m[100] = 0.25f;
    m[5] = 1.0f; // below the band
    EXPECT_NEAR(BandLevel(m.data(), s, off, 0.0, kLnToDb), 20 * std::log10(0.25) + 8.17, 1e-9);
    EXPECT_NEAR(BandLevel(m.data(), s, off, -6.07, kLnToDb), 20 * std::log10(0.25) + 8.17 - 6.07,
                1e-9);
    m[10] = 0.25f; // 100 Hz, the lower edge
    EXPECT_NEAR(BandLevel(m.data(), s, off, 0.0, kLnToDb), Db10(2 * 0.0625) + 8.17, 1e-9);
}

TEST(Weighting, AddedWithTheRightSign)
{
    SpectrumAnalysis a;
    a.settings() = TenHzBins();
    std::vector<float> m(2048, 0.0f);
    m[10] = 0.25f; // 100 Hz, where A weighting is -18 dB
    const double flat = a.bandLevel(m.data(), 0.0, kLnToDb);
    a.selectFilter("A Weighting");
    EXPECT_TRUE(a.weighting().active());
    EXPECT_EQ(a.settings().filterName, "A Weighting");
    // Zero bins come back as the no-signal level: 2047 of them add ~1e-16.
    EXPECT_NEAR(a.bandLevel(m.data(), 0.0, kLnToDb), flat - 18.0, 1e-6);

    const CorrectionPoint plus6[] = {{10, 6}, {24000, 6}};
    a.weighting().setFromTable(plus6, 2);
    a.weighting().setActive(true);
    EXPECT_NEAR(a.bandLevel(m.data(), 0.0, kLnToDb), flat + 6.0, 1e-6);

    // THD+N sees the weighted bins: a harmonic lifted by 10 dB relative to the fundamental.
    a.settings().fundAuto = false;
    a.settings().fundamental = 1000;
    std::vector<float> h(2048, 0.0f);
    h[100] = 0.5f;
    h[300] = 0.005f;
    const CorrectionPoint tilt[] = {{1000, 0}, {3000, 10}};
    a.weighting().setFromTable(tilt, 2);
    a.weighting().setActive(false);
    const double plain = a.thdN(h.data(), kLnToDb);
    a.weighting().setActive(true);
    const double tilted = a.thdN(h.data(), kLnToDb);
    EXPECT_NEAR(plain, Db10(0.005 * 0.005 / (0.25 + 0.005 * 0.005)), 1e-5);
    EXPECT_NEAR(tilted - plain, 10.0, 0.01);
}

TEST(Weighting, SelectingItems)
{
    SpectrumAnalysis a;
    EXPECT_FALSE(a.weighting().active());
    EXPECT_EQ(a.weighting().count(), 3);
    EXPECT_EQ(a.settings().filterName, "none");
    for (int i = 1; i + 1 < WeightingItemCount(); ++i) {
        const std::string item = WeightingItem(i);
        a.selectFilter(item);
        const WeightingTable *t = FindWeightingTable(item);
        ASSERT_NE(t, nullptr) << item;
        EXPECT_EQ(a.weighting().count(), t->count) << item;
        EXPECT_TRUE(a.weighting().active()) << item;
        for (int p = 0; p < t->count; ++p) // every table is a valid spline
            EXPECT_NEAR(a.weighting().evaluate(t->points[p].x), t->points[p].y, 1e-9) << item;
    }
    a.selectFilter("DEEMPH J.17");
    EXPECT_NEAR(a.weighting().evaluate(80), 18.0, 1e-9);
    a.selectFilter("USER"); // keeps the points, switches on
    EXPECT_EQ(a.settings().filterName, "USER");
    EXPECT_TRUE(a.weighting().active());
    EXPECT_NEAR(a.weighting().evaluate(80), 18.0, 1e-9);
    a.selectFilter("none");
    EXPECT_FALSE(a.weighting().active());
    EXPECT_EQ(a.weighting().evaluate(5000), 0.0);
    EXPECT_EQ(FindWeightingTable("a weighting"), nullptr); // exact texts only
    EXPECT_STREQ(WeightingItem(0), "none");
    EXPECT_STREQ(WeightingItem(WeightingItemCount() - 1), "USER");
    EXPECT_STREQ(WeightingItem(WeightingItemCount()), "");
}

TEST(AnalysisSettingsFile, DefaultsFallBacksAndRoundTrip)
{
    platform::IniFile ini;
    SpectrumAnalysis a;
    a.settings().threshold = 0.5;
    a.readSettings(ini); // empty: the defaults
    EXPECT_FALSE(a.settings().thdMess);
    EXPECT_FALSE(a.settings().noiseMess);
    EXPECT_TRUE(a.settings().fundAuto);
    EXPECT_EQ(a.settings().fundamental, 1000.0);
    EXPECT_EQ(a.settings().lowFreq, 100);
    EXPECT_EQ(a.settings().highFreq, 20000);
    EXPECT_EQ(a.settings().threshold, 0.001);
    EXPECT_EQ(a.settings().filterName, "none");

    ini.set("ANALYSE", "THDMESS", "yes"); // anything but FALSE is true
    ini.set("ANALYSE", "NOISEMESS", "false");
    ini.set("ANALYSE", "FUNDAUTO", "FALSE");
    ini.set("ANALYSE", "FUNDAMENTAL", "-440");
    ini.set("ANALYSE", "FVON", "0");
    ini.set("ANALYSE", "FBIS", "12k");
    ini.set("ANALYSE", "FUNDLOW", "-0.5");
    ini.set("ANALYSE", "FILTER", "USER");
    a.readSettings(ini);
    EXPECT_TRUE(a.settings().thdMess);
    EXPECT_TRUE(a.settings().noiseMess);
    EXPECT_FALSE(a.settings().fundAuto);
    EXPECT_EQ(a.settings().fundamental, 440.0);
    EXPECT_EQ(a.settings().lowFreq, 100);
    EXPECT_EQ(a.settings().highFreq, 20000);
    EXPECT_EQ(a.settings().threshold, 0.001);
    // A stored USER loads no file: the flat table, switched on.
    EXPECT_EQ(a.settings().filterName, "USER");
    EXPECT_TRUE(a.weighting().active());
    EXPECT_EQ(a.weighting().evaluate(1000), 0.0);

    a.settings().threshold = 0.000316;
    a.settings().lowFreq = 20;
    a.settings().fundamental = 997.6;
    a.selectFilter("CCIR wtd");
    platform::IniFile out;
    a.writeSettings(out);
    EXPECT_EQ(out.get("ANALYSE", "THDMESS", ""), "TRUE");
    EXPECT_EQ(out.get("ANALYSE", "NOISEMESS", ""), "TRUE");
    EXPECT_EQ(out.get("ANALYSE", "FUNDAUTO", ""), "FALSE");
    EXPECT_EQ(out.get("ANALYSE", "FUNDAMENTAL", ""), "998");
    EXPECT_EQ(out.get("ANALYSE", "FVON", ""), "20");
    EXPECT_EQ(out.get("ANALYSE", "FBIS", ""), "20000");
    EXPECT_EQ(out.get("ANALYSE", "FUNDLOW", ""), "0.0003160");
    EXPECT_EQ(out.get("ANALYSE", "FILTER", ""), "CCIR wtd");

    SpectrumAnalysis b;
    b.readSettings(out);
    EXPECT_EQ(b.settings().threshold, 0.000316);
    EXPECT_EQ(b.settings().fundamental, 998.0);
    EXPECT_EQ(b.settings().filterName, "CCIR wtd");
    EXPECT_TRUE(b.weighting().active());
    EXPECT_NEAR(b.weighting().evaluate(6000), 12.0, 1e-9);
}

TEST(AnalysisSettingsFile, WritingKeepsTheRestOfTheFile)
{
    const char *base = std::getenv("SONALYX_TEST_TMP");
    namespace fs = std::filesystem;
    fs::path dir = base ? fs::path(base) : fs::temp_directory_path() / "sonalyx-test-dsp";
    fs::create_directories(dir);
    const std::string path = (dir / "analyse.ini").string();
    platform::IniFile seed(path);
    seed.set("MAIN", "LANGUAGE", "E");
    ASSERT_TRUE(seed.save());

    SpectrumAnalysis a;
    a.settings().noiseMess = true;
    ASSERT_TRUE(a.writeSettingsFile(path));
    SpectrumAnalysis b;
    b.readSettingsFile(path);
    EXPECT_TRUE(b.settings().noiseMess);
    platform::IniFile check(path);
    ASSERT_TRUE(check.load());
    EXPECT_EQ(check.get("MAIN", "LANGUAGE", ""), "E");
}

TEST(Analysis, DegenerateSettingsDoNotDivideByZero)
{
    AnalysisSettings s;
    s.fftSize = 0;
    CorrectionCurve off;
    std::vector<float> m(4, 1.0f);
    EXPECT_EQ(ThdN(m.data(), s, off, kLnToDb), kNoSignalDb);
    EXPECT_EQ(BandLevel(m.data(), s, off, 0, kLnToDb), kNoSignalDb);
    s.fftSize = 8;
    s.sampleRate = 0;
    EXPECT_EQ(FindFundamental(m.data(), s), 0.0);
    EXPECT_EQ(ThdN(nullptr, s, off, kLnToDb), kNoSignalDb);
}
