// Level calibration on the ideal virtual card: the live reading of its test
// sine, the checks of OK, what the main window stores, and the analyser's
// analog units that follow from the stored voltage.
#include "audio/capture.h"
#include "display/diagramwindow.h"
#include "dialogs/calibrationdialog.h"
#include "platform/inifile.h"
#include "widgets/radiogroup.h"
#include "support/accessiblereadout.h"
#include "support/appwindows.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

using app::MS;

namespace {

// A card, ideal but for its gain, whose test sine lies on bin 372 of 16384
// points at 44100 Hz.
const std::string kSineCard =
    "HIGHPASS=0\nLOWPASS=0\nDISTORTION=-200\nNOISE=-200\nSIGNAL=SINE\nSIGFREQ=1001.2939453125\n";
constexpr int kBin = 372;

class CalibrationTest : public testsupport::AppWindowsTest {
protected:
    TEichDlg *dlg() { return app::EichDlg; }

    // Begin, the first reading, End.
    QString reading()
    {
        dlg()->Label3->setText("under");
        dlg()->Button1->click();
        EXPECT_TRUE(waitUntil([this] { return dlg()->Label3->text() != "under"; }));
        dlg()->Button2->click();
        return dlg()->Label3->text();
    }

    // The left level at the sine's bin after one analyser round.
    float analyserLevel()
    {
        child<platform::RadioGroup>("RunningGroup")->setItemIndex(0);
        child<QPushButton>("StartButton")->click();
        EXPECT_TRUE(waitUntil([] { return !MS.AnalyserRunning && !audio::CaptureOpen(); }));
        return app::Diagramm->Curves().Curve1()[kBin];
    }
};

} // namespace

TEST_F(CalibrationTest, AReadingOfTheTestSineCalibratesDbVAndDbuAndIsStored)
{
    start(kSineCard + "GAIN=0\nSIGLEVEL=-20\n", "[FFT]\nSAMPLES=16384\nWIN=8\n");
    child<QAction>("Eichen1")->trigger();
    ASSERT_TRUE(dlg()->isVisible());
    dlg()->OKBtn->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Kein Eichvorgang gestartet");

    // Begin while a 16384-point run has its block in flight: the run stops
    // and the reading still comes. 8000 values of a sine of peak 0.1 sum to
    // 8000·0.1·2/pi; divided by 50 that is 10.19.
    child<QPushButton>("StartButton")->click();
    ASSERT_TRUE(MS.AnalyserRunning && audio::CaptureOpen());
    EXPECT_EQ(reading(), "10.2%");
    EXPECT_FALSE(MS.AnalyserRunning);
    // a screen reader gets the reading itself, the caption as description
    EXPECT_EQ(testsupport::AccessibleReadout(dlg(), "Reading"), QString("10.2%"));

    messages.clear();
    dlg()->EichmV->setText("0");
    dlg()->OKBtn->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Eichwert falsch");
    EXPECT_TRUE(dlg()->isVisible());

    // Factor 20/ln 10 and the offset that makes a full-scale sine on a bin
    // read 0 dB: its magnitude is 1/2 times the window's mean, for
    // Rife-Vincent 3 a0 = 0.2734375 times its +5 dB gain in single precision.
    const double mean = 0.2734375 * static_cast<float>(std::pow(10.0, 5.0 / 20.0));
    const double offset = -20.0 * std::log10(0.5 * mean);
    dlg()->EichmV->setText("2000");
    dlg()->Edit2->setText("8.68589");
    dlg()->Edit3->setText(QString::number(offset, 'f', 5));
    dlg()->OKBtn->click();
    EXPECT_FALSE(dlg()->isVisible());
    platform::IniFile ini(settings);
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.get("EICH", "INPUT", ""), "2000.0");
    EXPECT_EQ(ini.get("EICH", "OUTPUT", ""), "2000.0");
    EXPECT_EQ(ini.get("EICH", "InLev4Cal", ""), std::to_string(form()->Fields().InputVolume));
    EXPECT_EQ(ini.get("VOLUME", "PEGFAK", ""), "8.6859");
    EXPECT_EQ(ini.get("VOLUME", "PEGOFS", ""), platform::FormatFixed(offset, 4));

    // -20 dBFS with 2000 mV RMS at full scale: dBV re 1000 mV, dBu re 775 mV.
    child<QAction>("dbV1")->trigger();
    EXPECT_EQ(child<QLabel>("Label15")->text(), "Pegel kalibriert");
    EXPECT_NEAR(analyserLevel(), -20.0 + 20.0 * std::log10(2000.0 / 1000.0), 0.02);
    child<QAction>("dbu1")->trigger();
    EXPECT_NEAR(analyserLevel(), -20.0 + 20.0 * std::log10(2000.0 / 775.0), 0.02);
}

TEST_F(CalibrationTest, AnInputAboveFullScaleReadsOverWithTheCount)
{
    // 0 dBFS through +6 dB on the right input
    start(kSineCard + "SIGLEVEL=0\nGAIN=6\n");
    child<QAction>("Eichen1")->trigger();
    const QString r = reading();
    ASSERT_TRUE(r.startsWith("over ")) << r.toStdString();
    EXPECT_GT(r.mid(5).toInt(), 0);
}
