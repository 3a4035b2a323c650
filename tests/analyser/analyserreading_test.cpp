// What the analyser reads on the virtual card: the level and frequency of a
// sine on a bin centre against hand-derived window gains, the uncalibrated
// default scale, level units and input correction, THD+N of a sine with the
// card's harmonics and noise against the model's powers, and the band level
// of white noise of known power.
#include "analyserfixture.h"

#include "audio/audioengine.h"
#include "dsp/analysis.h"
#include "dsp/fft.h"
#include "support/spectrumref.h"

#include <QAction>
#include <QRegularExpression>
#include <cmath>

using analysertest::AnalyserTest;
using analysertest::kIdealCard;
using app::MS;

namespace {

constexpr double kRate = 44100.0;
// Bin 93 of 4096 points (bin 372 of 16384) at 44100 Hz.
constexpr double kSineHz = 1001.2939453125;

// Mean of a window: a0 times the gain in single precision (the cosine terms
// of a periodic window sum to zero). None is 0.5 throughout.
double WindowMean(int type)
{
    if (type == dsp::kWindowNone)
        return 0.5;
    EXPECT_EQ(type, dsp::kWindowRifeVincent3);
    return 0.2734375 * static_cast<float>(std::pow(10.0, 5.0 / 20.0));
}

// Offset that makes a full-scale sine on a bin (magnitude 1/2 times the
// window's mean) read 0 dB with factor 20/ln 10.
std::string FullScaleCalibration(int window)
{
    const double offset = -20.0 * std::log10(0.5 * WindowMean(window));
    return "[VOLUME]\nPEGFAK=8.685889638\nPEGOFS=" + std::to_string(offset) + "\n";
}

std::string SineCard(double levelDb, const std::string &model = kIdealCard)
{
    return model + "SIGNAL=SINE\nSIGFREQ=1001.2939453125\nSIGLEVEL=" + std::to_string(levelDb) + "\n";
}

} // namespace

TEST_F(AnalyserTest, ASineOnABinCentreReadsItsLevelAndFrequency)
{
    for (int window : {dsp::kWindowRifeVincent3, dsp::kWindowNone}) {
        SCOPED_TRACE(window);
        stop();
        start(SineCard(-20.0), "[FFT]\nSAMPLES=4096\nWIN=" + std::to_string(window) + "\n" +
                                   FullScaleCalibration(window));
        ASSERT_TRUE(runOnce());
        const auto &c = diagram()->Curves();
        ASSERT_EQ(peakIndex(c.Curve1(), 2048), 93);
        EXPECT_EQ(peakIndex(c.Curve2(), 2048), 93);
        EXPECT_NEAR(c.Curve1()[93], -20.0, 0.05);
        EXPECT_NEAR(c.Curve2()[93], -20.0, 0.05);
        EXPECT_NEAR(c.Freq()[93], kSineHz, 1e-3);
        EXPECT_FLOAT_EQ(c.Freq()[1], 22050.0f / 2048.0f);
    }
}

TEST_F(AnalyserTest, LevelsFollowTheDefaultScaleTheUnitAndTheInputCorrection)
{
    // no VOLUME section: the uncalibrated factor 8.722 and offset 12.6
    start(SineCard(-20.0), "[FFT]\nSAMPLES=4096\nWIN=8\n[EICH]\nInLev4Cal=497\n");
    EXPECT_FLOAT_EQ(MS.LevelFactor, 8.722f);
    EXPECT_FLOAT_EQ(MS.LevelOffset, 12.6f);
    ASSERT_TRUE(runOnce());
    const double dbfs = 8.722 * std::log(0.1 / 2.0 * WindowMean(dsp::kWindowRifeVincent3)) + 12.6;
    EXPECT_NEAR(diagram()->Curves().Curve1()[93], dbfs, 0.01);

    child<QAction>("dbV1")->trigger(); // 497 mV at full scale: dBV is 20·log10(0.497) below dBFS
    ASSERT_TRUE(runToEnd());
    EXPECT_NEAR(diagram()->Curves().Curve1()[93], dbfs + 20.0 * std::log10(0.497), 0.01);

    const std::string cor = testsupport::ScratchDir("units") + "/in.cor";
    testsupport::WriteFile(cor, "20 3\n1000 3\n20000 3\n");
    ASSERT_TRUE(form()->LoadCorrection(true, cor));
    child<QAction>("dbFS1")->trigger();
    ASSERT_TRUE(runToEnd()); // the correction is taken off the measured level
    EXPECT_NEAR(diagram()->Curves().Curve1()[93], dbfs - 3.0, 0.01);
    EXPECT_NEAR(diagram()->Curves().Curve2()[93], dbfs - 3.0, 0.01);
}

TEST_F(AnalyserTest, ThdPlusNOfTheCardsHarmonicsAndNoiseMatchesTheModel)
{
    // Right input: harmonics at -60 dB each and noise at -80 dBFS RMS; left
    // input: the same noise only. 24-bit capture keeps quantisation out.
    const double levelDb = -6.0, harmonicDb = -60.0, noiseDb = -80.0;
    start(SineCard(levelDb, "GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-60\nNOISE=-80\n"),
          "[FFT]\nSAMPLES=16384\nWIN=8\n[ANALYSE]\nTHDMESS=TRUE\n");
    audio::SetBits(24, 0);
    ASSERT_TRUE(runOnce());

    const QString line = diagram()->StatusText();
    const auto m = QRegularExpression(R"(^THD\+N:  LI (\d+)Hz (-?\d+\.\d)dB \|  RE (\d+)Hz (-?\d+\.\d)dB \|   Filter: none$)")
                       .match(line);
    ASSERT_TRUE(m.hasMatch()) << line.toStdString();
    EXPECT_EQ(m.captured(1), "1001");
    EXPECT_EQ(m.captured(3), "1001");

    // Powers of the model over the half spectrum: the sine A²/2, each
    // harmonic h² times that, the noise σ² spread evenly over N/2 bins. The
    // window scales all of them alike. The noise counts in [100, 20000] Hz
    // outside ±12 bins around 1001 Hz; the sine's and the harmonics' bins lie
    // inside and outside that gap respectively.
    const int n = 16384;
    const double bw = kRate / n;
    int noiseBins = 0;
    for (int i = 0; i < n / 2; ++i) {
        const double f = i * bw;
        if (f >= 100 && f <= 20000 && !(f >= 1001 - 12 * bw && f <= 1001 + 12 * bw))
            ++noiseBins;
    }
    const double sine = std::pow(10.0, levelDb / 10.0) / 2.0;
    const double h2 = std::pow(10.0, harmonicDb / 10.0);
    const double noise = std::pow(10.0, noiseDb / 10.0);
    const double inBand = noise * noiseBins / (n / 2);
    const double expectedLeft = testsupport::DbPower(inBand / (sine + noise));
    const double expectedRight = testsupport::DbPower((2 * h2 * sine + inBand) / (sine * (1 + 2 * h2) + noise));

    EXPECT_NEAR(m.captured(2).toDouble(), expectedLeft, 0.5);
    EXPECT_NEAR(m.captured(4).toDouble(), expectedRight, 0.5);
}

TEST_F(AnalyserTest, TheBandLevelOfWhiteNoiseMatchesItsPower)
{
    // no signal, white noise of -60 dBFS RMS on both inputs; window None
    start("GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-200\nNOISE=-60\nSIGNAL=OFF\n",
          "[FFT]\nSAMPLES=16384\nWIN=0\n[ANALYSE]\nNOISEMESS=TRUE\n[MAIN]\nSPRACHE=E\n");
    ASSERT_TRUE(runOnce());
    const QString line = diagram()->StatusText();
    const auto m = QRegularExpression(R"(^Level:  le (-?\d+\.\d\d) \|  ri (-?\d+\.\d\d) \| Filter: none$)").match(line);
    ASSERT_TRUE(m.hasMatch()) << line.toStdString();

    // E|X_k|² = σ²·mean(w²)/N per bin (1/N scaling), summed over the band's
    // bins, with mean(w²) of the default window whatever the window, then the
    // level's fixed 8.17 dB.
    const int n = 16384;
    int bins = 0;
    for (int i = 0; i < n / 2; ++i)
        bins += i * kRate / n >= 100 && i * kRate / n <= 20000;
    const double rms = testsupport::DefaultWindowRms();
    const double expected = testsupport::DbPower(1e-6 * rms * rms * bins / n) + 8.17;
    EXPECT_NEAR(m.captured(1).toDouble(), expected, 0.5);
    EXPECT_NEAR(m.captured(2).toDouble(), expected, 0.5);
}
