// The main window on the offscreen platform: start-up from a settings file,
// language switching, File > Exit by keyboard, and the settings written at
// the end. What each page does on entry and exit is its own test's.
#include "audio/devices.h"
#include "dialogs/soundcarddialog.h"
#include "display/diagramwindow.h"
#include "dialogs/featurelistdialog.h"
#include "generator/wavegen.h"
#include "platform/inifile.h"
#include "platform/numbers.h"
#include "support/accessiblereadout.h"
#include "support/appwindows.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>

using app::MS;

namespace {

class MainWindowTest : public testsupport::AppWindowsTest {
protected:
    QString text(const char *actionName) { return child<QAction>(actionName)->text(); }
    QTabWidget *pages() { return child<QTabWidget>("PageControl1"); }
};

} // namespace

TEST_F(MainWindowTest, StartsWithTheStoredLanguageAndPageAndTogglesTheLanguage)
{
    start("", "[MAIN]\nSPRACHE=E\nPAGE=2\n");
    EXPECT_EQ(pages()->currentIndex(), 2);
    EXPECT_EQ(pages()->tabText(0), "Spectrumanalyzer");
    child<QAction>("deutschEnglish1")->trigger();
    EXPECT_EQ(MS.Language, 'D');
    EXPECT_EQ(pages()->tabText(0), "Spektrumanalyser");
    EXPECT_EQ(text("FileExitItem"), "&Beenden");
    child<QAction>("deutschEnglish1")->trigger();
    EXPECT_EQ(MS.Language, 'E');
    EXPECT_EQ(child<QPushButton>("Button1")->text(), "back");
}

TEST_F(MainWindowTest, AnUnknownLanguageKeepsTheDesignedCaptionsAndTogglesToGerman)
{
    start("", "[MAIN]\nSPRACHE=x\n");
    EXPECT_EQ(pages()->tabText(0), "Spektrumanalyser");
    child<QAction>("deutschEnglish1")->trigger();
    EXPECT_EQ(MS.Language, 'D');
}

TEST_F(MainWindowTest, TheStatusLineNamesTheDevicesAndTheInputFormatAndCorrectionStaysOffWithoutAFile)
{
    start("");
    EXPECT_TRUE(child<QLabel>("StatusLine")->text().contains("Virtual loopback 1 / "));
    EXPECT_EQ(child<QLabel>("Ldb")->text(), "16 Bit");
    EXPECT_EQ(child<QLabel>("Lsf")->text(), "44100 Hz");
    QAction *active = child<QAction>("Eingangskorrekturaktiv1");
    active->trigger();
    EXPECT_FALSE(active->isChecked());
    EXPECT_EQ(child<QLabel>("coract")->text(), ".");
}

TEST_F(MainWindowTest, ReadoutsGiveAssistiveTechnologyTheirValuesUnderTheirCaptions)
{
    start("", "[VOLUME]\nFGINVOLUME=40\nFGVOLUME=70\n");
    using testsupport::AccessibleReadout;
    const QString devices = child<QLabel>("StatusLine")->text();
    EXPECT_TRUE(devices.contains("Virtual loopback 1"));
    EXPECT_EQ(AccessibleReadout(form(), "Input / output device"), devices);
    EXPECT_EQ(AccessibleReadout(form(), "Recording volume"), QString("40%"));
    EXPECT_EQ(AccessibleReadout(form(), "Output volume"), QString("70%"));
    EXPECT_EQ(AccessibleReadout(form(), "Input sample rate"), QString("44100 Hz"));
    // a value that changes is read as it is now
    child<QLabel>("Label7")->setText("0.10FS 0.10FS");
    EXPECT_EQ(AccessibleReadout(form(), "Pegel L R"), QString("0.10FS 0.10FS"));
    EXPECT_EQ(AccessibleReadout(app::Wavegen, "Ana."), QString("70%"));
}

TEST_F(MainWindowTest, FileExitByKeyboardClosesAndWritesTheSettings)
{
    start("", "[FFT]\nCOMMENT=bench amp\n[GEN]\nFGEN=440\n; kept\n");
    pages()->setCurrentIndex(1);
    form()->activateWindow();
    QTest::qWait(10);
    // German: Alt+D opens "Datei", B is "Beenden"
    QTest::keyClick(form(), Qt::Key_D, Qt::AltModifier);
    QTest::qWait(20);
    QWidget *popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->objectName(), "File1");
    QTest::keyClick(popup, Qt::Key_B);
    QTest::qWait(50);
    EXPECT_FALSE(form()->isVisible());

    platform::IniFile ini(settings);
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.get("MAIN", "PAGE", ""), "1");
    EXPECT_EQ(ini.get("MAIN", "SPRACHE", ""), "D");
    EXPECT_EQ(ini.get("FFT", "COMMENT", ""), "bench amp");
    EXPECT_EQ(ini.get("FFT", "SAMPLES", ""), "2048");
    EXPECT_EQ(ini.get("MAIN", "LEFT", ""), std::to_string(form()->x()));
    EXPECT_EQ(ini.get("GEN", "FGEN", ""), "440"); // sections of other windows stay
    EXPECT_NE(testsupport::ReadFile(settings).find("; kept"), std::string::npos);
    EXPECT_TRUE(ini.has("SDSOUND", "SINWAVERAM2")); // the engine's section is written at shutdown too
}

TEST_F(MainWindowTest, CorrectionFilesLoadSwitchOnAndDrawAsCurves)
{
    start("");
    const std::string dir = testsupport::ScratchDir("corrections");
    testsupport::WriteFile(dir + "/in.cor", "20 -3\n1000 0\n20000 3\n");
    nextFile = QString::fromStdString(dir + "/in.cor");
    child<QAction>("LadeEingangskorrekturdatei1")->trigger();
    EXPECT_TRUE(MS.InputCorrection.active());
    EXPECT_TRUE(child<QAction>("Eingangskorrekturaktiv1")->isChecked());
    EXPECT_EQ(child<QLabel>("coract")->text(), "Korrektur aktiv");

    // a bad file is refused with a warning and leaves the correction off
    testsupport::WriteFile(dir + "/bad.cor", "100 1\nnonsense\n");
    nextFile = QString::fromStdString(dir + "/bad.cor");
    child<QAction>("LadeAusgangskorrekturdatei1")->trigger();
    EXPECT_FALSE(MS.OutputCorrection.active());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, platform::MessageKind::Warning);

    // the test draws the input spline from 1 Hz to 28 kHz: -3 dB at 20 Hz, 0 at 1 kHz, +3 at 20 kHz
    child<QAction>("Testekorrekturdatei1")->trigger();
    TDiagramm *d = app::Diagramm;
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(d->GetTitle().startsWith("Korrektur Kurve von "));
    EXPECT_TRUE(d->GetTitle().contains("in.cor & "));
    const float *f = d->Curves().Freq();
    const float *c1 = d->Curves().Curve1();
    EXPECT_NEAR(f[0], 1.0f, 1e-4);
    EXPECT_NEAR(f[1000], 28000.0f, 0.5f);
    auto at = [&](double hz) { return c1[int(std::lround(1000 * std::log(hz) / std::log(28000.0)))]; };
    EXPECT_NEAR(at(20.0), -3.0f, 0.01f); // the nearest points lie within 0.5 % of the knots
    EXPECT_NEAR(at(1000.0), 0.0f, 0.05f);
    EXPECT_NEAR(at(20000.0), 3.0f, 0.05f);

    // the text export writes a line per point inside the diagram's range
    // (10 Hz .. 24 kHz): frequency and both curves with two decimals and a
    // point, whatever the locale
    const std::string out = dir + "/curves.txt";
    EXPECT_EQ(form()->SaveResultsAsText(QString::fromStdString(out)), 0);
    QStringList lines = QString::fromStdString(testsupport::ReadFile(out)).split("\r\n", Qt::SkipEmptyParts);
    const float *c2 = d->Curves().Curve2();
    for (int i = 0; i <= 1000; ++i) {
        if (f[i] < 10.0f || f[i] > 24000.0f)
            continue;
        ASSERT_FALSE(lines.isEmpty()) << f[i];
        const QString line = lines.takeFirst();
        const QStringList fields = line.split(',');
        double v[3] = {};
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(fields.size() == 3 && platform::ParseFloat(fields[k].toStdString(), v[k]))
                << line.toStdString();
        const float *expected[3] = {f, c1, c2};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(v[k], expected[k][i], 0.0051) << line.toStdString();
    }
    EXPECT_TRUE(lines.isEmpty());

    nextFile = "/nonexistent-dir/x.txt";
    child<QAction>("SpeichernalsText1")->trigger();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].kind, platform::MessageKind::Error);
    EXPECT_EQ(messages[1].text, "/nonexistent-dir/x.txt konnte nicht erzeugt werden");
}

TEST_F(MainWindowTest, LevelUnitsSetTheAxisTitleTheCheckMarksAndTheCalibrationLabel)
{
    start("", "[MAIN]\nSPRACHE=E\n[EICH]\nInLev4Cal=100\n");
    QLabel *cal = child<QLabel>("Label15");
    child<QAction>("dbV1")->trigger();
    EXPECT_EQ(MS.LevelUnit, 1);
    EXPECT_EQ(app::Diagramm->YCaption(), "Level [dBV]");
    EXPECT_TRUE(child<QAction>("dbV1")->isChecked());
    EXPECT_FALSE(child<QAction>("dbFS1")->isChecked());
    EXPECT_EQ(cal->text(), "Level calibrated"); // recording volume 100 = the calibrated one
    child<QAction>("dbm1")->trigger();
    EXPECT_EQ(app::Diagramm->YCaption(), "Level [dBm]");
    child<QAction>("dbFS1")->trigger();
    EXPECT_EQ(app::Diagramm->YCaption(), "Level [dB FS]");
    EXPECT_EQ(cal->text(), QString(18, ' '));
}

TEST_F(MainWindowTest, TheFeatureListShowsTheDeviceReportAndAnotherInputDeviceUpdatesTheStatusLine)
{
    start("DEVICES=2\n");
    QStringList lines;
    QTimer::singleShot(50, [&] {
        auto *list = app::FeatDlg->findChild<QListWidget *>();
        for (int i = 0; list && i < list->count(); ++i)
            lines << list->item(i)->text();
        app::FeatDlg->accept();
    });
    child<QAction>("ShowFeaturelist1")->trigger();
    EXPECT_TRUE(lines.contains("Virtual loopback 2"));

    int last = -1;
    QTimer::singleShot(50, [&] {
        auto *list = app::SCdia->findChild<QListWidget *>("ListBox1");
        last = list->count() - 1; // the second virtual card is the last entry
        list->setCurrentRow(last);
        app::SCdia->accept();
    });
    child<QAction>("AudioDevices1")->trigger();
    EXPECT_EQ(audio::GetInputDevice(), std::min(last, 5));
    EXPECT_TRUE(child<QLabel>("StatusLine")->text().startsWith(
        QString::fromStdString(audio::DeviceName('I', audio::GetInputDevice())) + " / "));
}

// The device stored by name is chosen wherever the list now numbers it; one
// that is not there is said, the number chooses, and the name stays stored.
TEST_F(MainWindowTest, AStoredDeviceNameWinsOverTheNumberAndAMissingOneIsSaid)
{
    start("DEVICES=2\n", "[MAIN]\nSPRACHE=E\nINDEV=0\nINDEVNAME=Virtual loopback 2\nOUTDEV=0\n");
    EXPECT_EQ(audio::DeviceName('I', audio::GetInputDevice()), "Virtual loopback 2");
    EXPECT_TRUE(messages.empty());
    stop();

    start("DEVICES=2\n", "[MAIN]\nSPRACHE=E\nINDEV=0\nOUTDEV=0\nOUTDEVNAME=USB Interface (gone)\n");
    EXPECT_EQ(audio::GetOutputDevice(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, platform::MessageKind::Warning);
    EXPECT_EQ(messages[0].text, "The output device \"USB Interface (gone)\" was not found; in its place: " +
                                    QString::fromStdString(audio::DeviceName('O', 0)));
    const std::string file = settings;
    stop(); // saves
    EXPECT_EQ(platform::GetPrivateProfileString("MAIN", "OUTDEVNAME", "<missing>", 255, file), "USB Interface (gone)");
}
