// The analyser's harmonics line and its export on the virtual card's device
// model, against the model's closed form (H2 = H3 = DISTORTION, the rest
// nothing, THD = DISTORTION + 3.01 dB); harmonics beyond half the rate said
// left out; and the AES17 bandwidth changing THD+N of a tone in white noise
// by the share of the noise's bins it keeps.
#include "analyserfixture.h"

#include "app/mainform.h"
#include "audio/audioengine.h"
#include "dsp/analysis.h"
#include "audio/outputengine.h"
#include "dialogs/analysisdialog.h"
#include "generator/wavegen.h"
#include "platform/numbers.h"
#include "support/spectrumref.h"
#include "support/testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QRegularExpression>
#include <cmath>
#include <fstream>
#include <sstream>

using analysertest::AnalyserTest;
using app::MS;

namespace {

std::string Card(double hz, double levelDb, const std::string &model)
{
    return model + "SIGNAL=SINE\nSIGFREQ=" + platform::FormatFixed(hz, 10) +
           "\nSIGLEVEL=" + platform::FormatFixed(levelDb, 3) + "\n";
}

double Number(const QString &line, const QString &pattern)
{
    const auto m = QRegularExpression(pattern).match(line);
    EXPECT_TRUE(m.hasMatch()) << pattern.toStdString() << " in " << line.toStdString();
    return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
}

} // namespace

TEST_F(AnalyserTest, TheHarmonicsLineReadsTheDeviceModelsClosedForm)
{
    // Right input through the model (harmonics at -60 dB each), left input ideal.
    start(Card(1001.2939453125, -6.0, "GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-60\nNOISE=-200\n"),
          "[FFT]\nSAMPLES=16384\nWIN=8\n[ANALYSE]\nFVON=20\n[MAIN]\nSPRACHE=E\n");
    audio::SetBits(24, 0);
    child<QAction>("Harmonics1")->trigger();
    EXPECT_TRUE(child<QAction>("Harmonics1")->isChecked());
    EXPECT_FALSE(child<QAction>("THDN1")->isChecked());
    ASSERT_TRUE(runOnce());
    const QString line = diagram()->StatusText();
    ASSERT_TRUE(line.startsWith("Harmonics: ")) << line.toStdString();
    RecordProperty("statusline", line.toStdString());
    const QString right = line.section(" | ", 1, 1);
    EXPECT_NEAR(Number(right, R"(H2 (-?\d+\.\d))"), -60.0, 0.5);
    EXPECT_NEAR(Number(right, R"(H3 (-?\d+\.\d))"), -60.0, 0.5);
    EXPECT_LT(Number(right, R"(H4 (-?\d+\.\d))"), -100.0);
    // THD = sqrt(2)·10^(-60/20): -56.99 dB, 0.1414 %
    EXPECT_NEAR(Number(right, R"(THD (-?\d+\.\d)dB)"), -56.99, 0.5);
    EXPECT_NEAR(Number(right, R"(THD -?\d+\.\ddB (\d+\.\d+)%)"), 0.1414, 0.01);
    // The cubic term's own share at f cancels its -3x/4 term: the tone passes unchanged.
    EXPECT_NEAR(Number(right, R"((-?\d+\.\d\d)dBFS)"), -6.0, 0.1);
    // The ideal wire has no harmonics at all.
    EXPECT_LT(Number(line.section(" | ", 0, 0), R"(THD (-?\d+\.\d)dB)"), -110.0);
    EXPECT_TRUE(line.contains("Band: 20 Hz")) << line.toStdString();

    // The export: one row per component, decimal points, the same readings.
    const std::string file = testsupport::ScratchDir("harmonics") + "/h.txt";
    ASSERT_EQ(form()->SaveHarmonicsAsText(QString::fromStdString(file)), 0);
    const std::string text = testsupport::ReadFile(file);
    const auto row = QRegularExpression(R"(right\tH3\t(\d+\.\d+)\t(-?\d+\.\d+)\t(\d+\.\d+))")
                         .match(QString::fromStdString(text));
    ASSERT_TRUE(row.hasMatch()) << text;
    EXPECT_NEAR(row.captured(1).toDouble(), 3 * 1001.294, 0.5);
    EXPECT_NEAR(row.captured(2).toDouble(), -60.0, 0.5);
    EXPECT_NEAR(row.captured(3).toDouble(), 0.1, 0.006);
    EXPECT_NE(text.find("right\tTHD+N\t"), std::string::npos);
}

TEST_F(AnalyserTest, HarmonicsAboveHalfTheRateAreSaidLeftOut)
{
    // 9 kHz at 44.1 kHz: H2 at 18 kHz is read, H3 at 27 kHz lies above 22.05 kHz.
    start(Card(9000.0, -6.0, "GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-60\nNOISE=-200\n"),
          "[FFT]\nSAMPLES=16384\nWIN=8\n[ANALYSE]\nHARMMESS=TRUE\n[MAIN]\nSPRACHE=E\n");
    audio::SetBits(24, 0);
    ASSERT_TRUE(runOnce());
    const QString line = diagram()->StatusText();
    EXPECT_NEAR(Number(line.section(" | ", 1, 1), R"(H2 (-?\d+\.\d))"), -60.0, 0.5);
    EXPECT_FALSE(line.section(" | ", 1, 1).contains("H3")) << line.toStdString();
    EXPECT_TRUE(line.contains("H3 \u2026 H9 lie above half the sample rate (22050 Hz) and are left out."))
        << line.toStdString();
    const std::string file = testsupport::ScratchDir("harmonicsout") + "/h.txt";
    ASSERT_EQ(form()->SaveHarmonicsAsText(QString::fromStdString(file)), 0);
    EXPECT_NE(testsupport::ReadFile(file).find("right\tH3\t27000.0"), std::string::npos) << testsupport::ReadFile(file);
    EXPECT_NE(testsupport::ReadFile(file).find("above half the rate"), std::string::npos);
}

TEST_F(AnalyserTest, TheAes17BandwidthCutsTheNoiseOfThdPlusNByItsShareOfBins)
{
    // A -6 dB tone with white noise of -80 dBFS RMS at 48 kHz; THD+N counts
    // the noise in [100 Hz, high] outside ±12 bins around the tone, re the
    // whole spectrum's power (tone + noise). high is 24000 Hz without the
    // option and 20000 Hz with it.
    const double levelDb = -6.0, noiseDb = -80.0, rate = 48000.0;
    const int n = 16384;
    auto expected = [&](double high, double toneHz) {
        const double bw = rate / n;
        int bins = 0;
        for (int i = 0; i < n / 2; ++i) {
            const double f = i * bw;
            bins += f >= 100 && f <= high && !(f >= toneHz - 12 * bw && f <= toneHz + 12 * bw);
        }
        const double sine = std::pow(10.0, levelDb / 10.0) / 2.0, noise = std::pow(10.0, noiseDb / 10.0);
        return testsupport::DbPower(noise * bins / (n / 2) / (sine + noise));
    };
    double reading[2] = {0.0, 0.0};
    for (int aes17 : {0, 20}) {
        SCOPED_TRACE(aes17);
        stop();
        start(Card(1001.953125, levelDb, "GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-200\nNOISE=-80\n"),
              "[FFT]\nSAMPLES=16384\nWIN=8\n[ANALYSE]\nTHDMESS=TRUE\nFBIS=24000\nAES17=" + std::to_string(aes17) +
                  "\n");
        audio::SetRates(48000, 48000);
        audio::SetBits(24, 0);
        ASSERT_TRUE(runOnce());
        const QString line = diagram()->StatusText();
        EXPECT_EQ(line.endsWith("Filter: none, AES17 20 kHz"), aes17 == 20) << line.toStdString();
        const double fundamental = Number(line, R"(RE (\d+)Hz)");
        reading[aes17 ? 1 : 0] = Number(line, R"(RE \d+Hz (-?\d+\.\d)dB)");
        EXPECT_NEAR(reading[aes17 ? 1 : 0], expected(aes17 ? 20000.0 : 24000.0, fundamental), 0.4);
        RecordProperty(aes17 ? "aes17" : "full", line.toStdString() + " expected " +
                                                     std::to_string(expected(aes17 ? 20000.0 : 24000.0, fundamental)));
    }
    // the change itself: 10·log10 of the kept share of bins, about -0.8 dB
    EXPECT_NEAR(reading[1] - reading[0], expected(20000.0, 1002.0) - expected(24000.0, 1002.0), 0.3);
}

TEST_F(AnalyserTest, TheBandwidthChoiceIsKeptAndA40kHzBandNeedsAHighRate)
{
    start("", "[ANALYSE]\nAES17=33\n"); // not a choice: off
    EXPECT_EQ(dsp::UnitAnalysis().settings().aes17, 0);
    auto *dialog = app::Analy;
    ASSERT_NE(dialog, nullptr);
    dialog->FillFromSettings(dsp::UnitAnalysis().settings());
    auto *box = dialog->findChild<QComboBox *>("Aes17Band");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->currentIndex(), 0);
    box->setCurrentIndex(2);
    dialog->BitBtn1Click();
    EXPECT_EQ(dsp::UnitAnalysis().settings().aes17, 40);
    EXPECT_NE(testsupport::ReadFile(settings).find("AES17=40"), std::string::npos);

    dsp::AnalysisSettings s = dsp::UnitAnalysis().settings();
    s.highFreq = 96000;
    s.sampleRate = 96000.0;
    EXPECT_DOUBLE_EQ(dsp::EffectiveHighHz(s), 40000.0);
    s.sampleRate = 48000.0; // 40 kHz lies above half the rate: the 20 kHz band instead
    EXPECT_DOUBLE_EQ(dsp::EffectiveHighHz(s), 20000.0);
    s.aes17 = 0;
    EXPECT_DOUBLE_EQ(dsp::EffectiveHighHz(s), 96000.0);
}

TEST_F(AnalyserTest, WhileTheGeneratorPlaysSmpteTheLineReadsIntermodulation)
{
    // SMPTE 60 Hz + 7 kHz at 4:1, peak -6 dBFS, through the model at
    // DISTORTION h = -60 dB. With a = 0.8·P and b = 0.2·P the model's square
    // term puts f2 ± f1 at 2h·a·b/P and its cube term f2 ± 2f1 at 3h·a²·b/P²,
    // re b: 1.6h and 1.92h; their RMS sum sqrt(2·1.6² + 2·1.92²)·h is
    // h + 10.97 dB = -49.03 dB (the tone b shrinks by 3h·(1 - ...) at most
    // 0.02 dB more).
    start("GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-60\nNOISE=-200\n",
          "[FFT]\nSAMPLES=16384\nWIN=8\n[ANALYSE]\nHARMMESS=TRUE\n[MAIN]\nSPRACHE=E\n"
          "[GEN]\nVOLL=-6\nVOLR=-6\nBELOOP=0\nMODE=5\nTTSTD=0\n");
    audio::SetRates(48000, 48000);
    audio::SetBits(24, 24); // the generator plays at 24 bits too
    app::Wavegen->GstartClick();
    ASSERT_TRUE(audio::OutputRunning());
    ASSERT_TRUE(runOnce());
    ASSERT_TRUE(runOnce()); // the model's peak follower has settled on the sum's crest
    const QString line = diagram()->StatusText();
    ASSERT_TRUE(line.startsWith("Harmonics: IMD SMPTE ")) << line.toStdString();
    RecordProperty("statusline", line.toStdString());
    EXPECT_TRUE(line.endsWith("re A(f2)")) << line.toStdString();
    EXPECT_NEAR(Number(line.section(" | ", 1, 1), R"(ri (-?\d+\.\d)dB)"), -49.03, 0.5);
    EXPECT_LT(Number(line.section(" | ", 0, 0), R"(le (-?\d+\.\d)dB)"), -100.0); // the ideal wire
    app::Wavegen->GstopClick();
}
