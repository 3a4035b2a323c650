// The noise and dynamic-range window on the unpaced virtual card, through
// its buttons and its table, against closed forms worked out here:
//
// Dynamic range of an undithered B-bit converter: a full-scale sine has the
// power 1/2 (amplitude 1), the quantisation error of step q = 2^-(B-1) is
// uniform with power q²/12, spread evenly from 0 to half the rate fs/2. In
// the 20 Hz .. 20 kHz band that is q²/12 · (20000 - 20)/(fs/2), so
// DR = 10·log10( (1/2) / (q²/12 · 19980/(fs/2)) )
//    = 10·log10(1.5 · 2^(2B)) - 10·log10(19980/(fs/2)):
// 98.9 dB at 48 kHz and 98.5 dB at 44.1 kHz for B = 16.
//
// The card's noise: white, RMS 10^(NOISE/20) on each input, so NOISE +
// 3.01 dBFS over 0 .. fs/2 (0 dBFS being a full-scale sine's RMS, 1/√2),
// each band getting its share of fs/2; 16-bit quantisation adds q²/12. The
// A-weighting of white noise: the mean of |A(f)|² over 20 Hz .. 20 kHz, with
// IEC 61672's R(f) = 12194² f⁴ / ((f² + 20.6²)·√((f² + 107.7²)(f² + 737.9²))·
// (f² + 12194²)) and +2.00 dB, is -2.05 dB (integrated numerically by hand
// with 200000 midpoints): the A-weighted level lies 2.05 dB below the
// unweighted level of the same band.
#include "analyserfixture.h"

#include "app/mainform.h"
#include "app/noisewindow.h"
#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "measurement/document/measurementfile.h"
#include "platform/inifile.h"
#include "support/spectrumref.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <cmath>

using analysertest::AnalyserTest;
using testsupport::kIdealCard;
using app::MS;

namespace {

class NoiseWindowTest : public AnalyserTest {
protected:
    app::TNoiseWindow *open()
    {
        child<QAction>("NoiseDynamic1")->trigger();
        auto *w = form()->findChild<app::TNoiseWindow *>("TNoiseWindow");
        EXPECT_NE(w, nullptr);
        return w;
    }

    // The table's cell in the row of `channel` ("left"/"right" caption
    // prefix) and the column whose caption begins with `column`.
    static double cell(QTableWidget *t, int row, const QString &column)
    {
        for (int c = 0; c < t->columnCount(); ++c)
            if (t->horizontalHeaderItem(c)->text().startsWith(column)) {
                bool ok = false;
                const double v = t->item(row, c)->text().toDouble(&ok);
                EXPECT_TRUE(ok) << column.toStdString() << ": " << t->item(row, c)->text().toStdString();
                return ok ? v : std::nan("");
            }
        ADD_FAILURE() << "no column " << column.toStdString();
        return std::nan("");
    }
};

} // namespace

TEST_F(NoiseWindowTest, UnditheredSixteenBitCardReadsTheQuantisationLimitAndSavesTheDocument)
{
    start(kIdealCard, "[MAIN]\nSPRACHE=E\n");
    app::TNoiseWindow *w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->NoiseSaveBut->isEnabled());
    for (const int rate : {48000, 44100}) {
        SCOPED_TRACE(rate);
        audio::SetRates(rate, rate);
        audio::SetBits(16, 16);
        const double theory = testsupport::DbPower(1.5 * std::pow(2.0, 32.0)) -
                              testsupport::DbPower(19980.0 / (rate / 2.0)); // 98.9 / 98.5 dB
        w->DynamicRangeBut->click();
        QTableWidget *t = w->NoiseResults;
        ASSERT_EQ(t->rowCount(), 2);
        for (int row = 0; row < 2; ++row) {
            EXPECT_NEAR(cell(t, row, "Dynamic range"), theory, 1.0) << row;
            EXPECT_NEAR(cell(t, row, "Tone"), -60.0, 0.05) << row;
            // THD+N re the tone: the residual re full scale is DR below it
            EXPECT_NEAR(cell(t, row, "THD+N") + cell(t, row, "Tone"), -cell(t, row, "Dynamic range"), 0.02) << row;
        }
        EXPECT_TRUE(messages.empty());
    }
    // The last result as the command line's document, numbers with a point.
    ASSERT_TRUE(w->NoiseSaveBut->isEnabled());
    const std::string file = testsupport::ScratchDir("noisewindow-dr") + "/dr.sonalyx.json";
    ASSERT_EQ(w->SaveResult(QString::fromStdString(file)), 0);
    QFile raw(QString::fromStdString(file));
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray text = raw.readAll();
    EXPECT_TRUE(text.contains("\"dynamic_range_db\": 98.")) << text.toStdString();
    measure::MeasurementDocument doc;
    measure::FileError error;
    ASSERT_TRUE(measure::ReadMeasurementFile(file, doc, error));
    EXPECT_EQ(doc.Kind, measure::MeasurementKind::DynamicRange);
    ASSERT_EQ(doc.Results.Rows, 2u);
    const measure::ResultColumn *dr = doc.Results.Find("dynamic_range_db");
    ASSERT_NE(dr, nullptr);
    const double theory441 = testsupport::DbPower(1.5 * std::pow(2.0, 32.0)) - testsupport::DbPower(19980.0 / 22050.0);
    EXPECT_NEAR(dr->Numbers[1], theory441, 1.0);
}

TEST_F(NoiseWindowTest, IdleNoiseOfTheCardsNoiseFloorUnweightedAWeightedInTheBandAndItsSnr)
{
    // Noise 10 LSB RMS at 16 bits: quantisation adds q²/12 = 1/1200 of it.
    start("GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-200\nNOISE=-70\n",
          "[MAIN]\nSPRACHE=E\n[NOISE]\nREFERENCE=-10\n");
    audio::SetRates(48000, 48000);
    audio::SetBits(16, 16);
    app::TNoiseWindow *w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_DOUBLE_EQ(w->NoiseReference->value(), -10.0);
    w->NoiseMeasureBut->click();
    QTableWidget *t = w->NoiseResults;
    ASSERT_EQ(t->rowCount(), 2);
    const double q = std::pow(2.0, -15.0), sigma = std::pow(10.0, -70.0 / 20.0);
    const double total = testsupport::DbPower(2.0 * (sigma * sigma + q * q / 12.0)); // re 1/2
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row);
        const double band = cell(t, row, "AES17 20");
        EXPECT_NEAR(cell(t, row, "unweighted"), total + testsupport::DbPower(23980.0 / 24000.0), 0.3);
        EXPECT_NEAR(band, total + testsupport::DbPower(19980.0 / 24000.0), 0.3);
        EXPECT_NEAR(cell(t, row, "A-weighted") - band, -2.05, 0.15);
        EXPECT_NEAR(cell(t, row, "SNR dB"), -10.0 - band, 0.011);
        EXPECT_NEAR(cell(t, row, "SNR A"), -10.0 - cell(t, row, "A-weighted"), 0.011);
    }
    // No 40 kHz band at 48 kHz.
    for (int c = 0; c < t->columnCount(); ++c)
        EXPECT_FALSE(t->horizontalHeaderItem(c)->text().contains("40 kHz"));
    // The ratios follow a new reference at once.
    const double band = cell(t, 0, "AES17 20");
    w->NoiseReference->setValue(0.0);
    EXPECT_NEAR(cell(t, 0, "SNR dB"), -band, 0.011);
}

TEST_F(NoiseWindowTest, RefusesWhileTheAnalyserRunsAndLeavesTheGeneratorAsItWas)
{
    start(kIdealCard, "[MAIN]\nSPRACHE=E\n");
    app::TNoiseWindow *w = open();
    ASSERT_NE(w, nullptr);
    audio::GeneratorSettings &g = audio::Generator();
    g.Frequency = 1234.0f;
    g.LevelL = -17;
    g.LevelR = -23;
    // continuous run of the analyser
    child<platform::RadioGroup>("RunningGroup")->setItemIndex(1);
    child<QPushButton>("StartButton")->click();
    ASSERT_TRUE(waitUntil([] { return MS.AnalyserRunning; }));
    w->NoiseMeasureBut->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("analyser is running")) << messages[0].text.toStdString();
    EXPECT_EQ(w->NoiseResults->rowCount(), 0);
    child<QPushButton>("StopButton")->click();
    ASSERT_TRUE(waitUntil([] { return !MS.AnalyserRunning; }));
    ASSERT_TRUE(waitUntil([] { return !audio::CaptureOpen(); }));
    messages.clear();
    // Once it stopped: the run goes, and the generator's record is as it was.
    w->NoiseMeasureBut->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(w->NoiseResults->rowCount(), 2);
    EXPECT_EQ(audio::Generator().Frequency, 1234.0f);
    EXPECT_EQ(audio::Generator().LevelL, -17);
    EXPECT_EQ(audio::Generator().LevelR, -23);
    EXPECT_FALSE(audio::OutputRunning());

    // A generator that plays plays again after a run that STOP ended, which
    // keeps nothing; the pages are locked while it runs.
    ASSERT_EQ(audio::StartOutput(audio::Generator(), -1.0, 1234.0f), 0);
    const QString before = w->NoiseResults->item(0, 0)->text();
    bool pagesLocked = false;
    QTimer::singleShot(100, [&] {
        pagesLocked = !child<QTabWidget>("PageControl1")->isEnabled();
        w->NoiseStopBut->click();
    });
    w->DynamicRangeBut->click();
    EXPECT_TRUE(pagesLocked);
    EXPECT_TRUE(child<QTabWidget>("PageControl1")->isEnabled());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(w->NoiseResults->item(0, 0)->text(), before); // still the noise result
    EXPECT_TRUE(audio::OutputRunning());
    EXPECT_EQ(audio::Generator().Frequency, 1234.0f);
    EXPECT_EQ(audio::Generator().LevelL, -17);
    audio::StopOutput();
}

TEST_F(NoiseWindowTest, SpeaksBothLanguagesAndKeepsItsReferenceWithADecimalPoint)
{
    // A reference that is no number is read as 0 dBFS.
    start(kIdealCard, "[MAIN]\nSPRACHE=D\n[NOISE]\nREFERENCE=loud\n");
    EXPECT_DOUBLE_EQ(MS.Noise.ReferenceDbfs, 0.0);
    EXPECT_EQ(child<QAction>("NoiseDynamic1")->text(), QString::fromUtf8("Rauschen und Dynamik..."));
    app::TNoiseWindow *w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Rauschen und Dynamik"));
    EXPECT_EQ(w->NoiseMeasureBut->text(), QString::fromUtf8("&Rauschen messen"));
    EXPECT_FALSE(w->NoiseResults->accessibleName().isEmpty());
    child<QAction>("deutschEnglish1")->trigger();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Noise and dynamic range"));
    EXPECT_EQ(w->DynamicRangeBut->text(), QStringLiteral("Measure &dynamic range"));
    EXPECT_EQ(child<QAction>("NoiseDynamic1")->text(), QStringLiteral("Noise and dynamic range..."));
    // An out-of-range reference is held to the field's range; the chosen
    // one goes into the settings file with a point.
    w->NoiseReference->setValue(-12.5);
    form()->close();
    platform::IniFile ini(settings);
    ini.load();
    EXPECT_EQ(ini.get("NOISE", "REFERENCE", ""), "-12.50");
}
