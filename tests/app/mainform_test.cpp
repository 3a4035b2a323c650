// The main window on the offscreen platform: start-up from a settings file,
// language switching, page switching, File > Exit by keyboard, and the
// settings written at the end.
#include "app/forms.h"
#include "app/mainform.h"
#include "audio/devices.h"
#include "audio/scdia.h"
#include "generator/featdlg.h"
#include "display/diagramwindow.h"
#include "platform/filedialog.h"
#include "platform/inifile.h"
#include "platform/messagebox.h"
#include "platform/messages.h"
#include "platform/radiogroup.h"
#include "platform/utilities.h"
#include "support/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QListWidget>
#include <QTabWidget>
#include <QTimer>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using app::MS;

namespace {

// Starts the program's windows on a settings file with the given text.
class MainWindowTest : public ::testing::Test {
protected:
    std::string settings;

    // `loopback` adds keys to the virtual card's section.
    void start(const std::string &ini, const std::string &loopback = {})
    {
        settings = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                   "/sonmain.ini";
        // An unpaced ideal virtual card keeps the test independent of the machine.
        testsupport::WriteFile(settings, "[LOOPBACK]\nPACED=FALSE\n" + loopback + ini);
        platform::SetSettingsFileName(settings);
        MS = app::MeasurementState{};
        ASSERT_TRUE(app::CreateWindows());
        app::MainForm->show();
        QTest::qWait(20);
    }

    std::vector<platform::MessageRequest> messages;
    QString nextFile;

    void SetUp() override
    {
        platform::SetMessageHandler([this](const platform::MessageRequest &m) { messages.push_back(m); });
        platform::SetFileDialogHandler([this](const platform::FileDialogRequest &) { return nextFile; });
    }

    void TearDown() override
    {
        platform::SetMessageHandler({});
        platform::SetFileDialogHandler({});
        if (app::MainForm && app::MainForm->isVisible())
            app::MainForm->close();
        app::DestroyWindows();
        platform::SetSettingsFileName({});
    }

    TMainForm *form() { return app::MainForm; }

    QString menuTitle(const char *name) { return form()->findChild<QMenu *>(name)->title(); }
    QString actionText(const char *name) { return form()->findChild<QAction *>(name)->text(); }
};

} // namespace

TEST_F(MainWindowTest, StartsWithTheStoredLanguageAndPageAndTogglesTheLanguage)
{
    start("[MAIN]\nSPRACHE=E\nPAGE=2\n");
    EXPECT_EQ(form()->windowTitle(), "Sonalyx V 1.4");
    auto *pages = form()->findChild<QTabWidget *>("PageControl1");
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->currentIndex(), 2);
    EXPECT_EQ(form()->Fields().ActivePage, 2);
    EXPECT_EQ(pages->tabText(0), "Spectrumanalyzer");
    EXPECT_EQ(pages->tabText(1), "Frequency Generator");
    EXPECT_EQ(pages->tabText(2), "Oscilloscope");
    EXPECT_EQ(menuTitle("File1"), "&File");
    EXPECT_EQ(actionText("FileExitItem"), "&Exit");
    EXPECT_EQ(actionText("LadeEingangskorrekturdatei1"), "Open &Input Correction File");
    EXPECT_EQ(form()->findChild<QCheckBox *>("MeasureLeft")->text(), "left L1");
    EXPECT_EQ(form()->findChild<QPushButton *>("Button1")->text(), "back");
    EXPECT_TRUE(form()->findChild<QAction *>("deutschEnglish1")->isVisible());

    form()->findChild<QAction *>("deutschEnglish1")->trigger();
    EXPECT_EQ(MS.Language, 'D');
    EXPECT_EQ(pages->tabText(0), "Spektrumanalyser");
    EXPECT_EQ(menuTitle("File1"), "&Datei");
    EXPECT_EQ(actionText("FileExitItem"), "&Beenden");
    EXPECT_EQ(actionText("HelpContentsItem"), "&Inhalt");
    EXPECT_EQ(form()->findChild<QLabel *>("Label6")->text(), "Mittelwerte ");
    EXPECT_EQ(form()->findChild<QPushButton *>("Button1")->text(), QString::fromUtf8("zurück"));

    form()->findChild<QAction *>("deutschEnglish1")->trigger();
    EXPECT_EQ(MS.Language, 'E');
    EXPECT_EQ(menuTitle("Korrektur1"), "&Correction");
    // a picture of each page for a look by eye
    for (int page = 0; page < 3; ++page) {
        pages->setCurrentIndex(page);
        form()->grab().save(QString::fromStdString(testsupport::ScratchDir("shots") + "/../page" +
                                                   std::to_string(page) + ".png"));
    }
    EXPECT_EQ(actionText("HelpContentsItem"), "&Contens");
}

TEST_F(MainWindowTest, AnUnknownLanguageKeepsTheDesignedCaptionsAndTogglesToGerman)
{
    start("[MAIN]\nSPRACHE=x\n");
    auto *pages = form()->findChild<QTabWidget *>("PageControl1");
    EXPECT_EQ(pages->tabText(0), "Spektrumanalyser");
    form()->findChild<QAction *>("deutschEnglish1")->trigger();
    EXPECT_EQ(MS.Language, 'D');
}

TEST_F(MainWindowTest, PagesRunTheirEnterAndLeaveOperations)
{
    start("[FFT]\nSAMPLES=1024\nWIN=3\n");
    auto *pages = form()->findChild<QTabWidget *>("PageControl1");
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_TRUE(MS.AnalyserPageShown);
    EXPECT_EQ(MS.LeftSpectrum.size(), 65536u);
    // a stored size the page does not offer selects 2048
    EXPECT_EQ(form()->findChild<platform::RadioGroup *>("FFTpointsgroup")->itemIndex(), 0);
    EXPECT_EQ(MS.FftSize, 2048);
    EXPECT_EQ(form()->findChild<platform::RadioGroup *>("FFTwinGroup")->itemIndex(), 3);
    EXPECT_EQ(form()->findChild<platform::RadioGroup *>("RunningGroup")->itemIndex(), 1);

    pages->setCurrentIndex(1);
    EXPECT_FALSE(MS.AnalyserPageShown);
    EXPECT_TRUE(MS.LeftSpectrum.empty());
    EXPECT_TRUE(MS.Sweep.PageShown);
    EXPECT_EQ(form()->Fields().ActivePage, 1);

    pages->setCurrentIndex(2);
    EXPECT_FALSE(MS.Sweep.PageShown);
    EXPECT_EQ(form()->Fields().ActivePage, 2);
}

TEST_F(MainWindowTest, InputCorrectionStaysOffWithoutAFile)
{
    start("");
    QAction *active = form()->findChild<QAction *>("Eingangskorrekturaktiv1");
    active->trigger();
    EXPECT_FALSE(active->isChecked());
    EXPECT_EQ(form()->findChild<QLabel *>("coract")->text(), ".");
}

TEST_F(MainWindowTest, TheStatusLineNamesTheDevicesAndTheInputFormat)
{
    start("");
    EXPECT_TRUE(form()->findChild<QLabel *>("StatusLine")->text().contains("Virtual loopback 1 / "));
    EXPECT_EQ(form()->findChild<QLabel *>("Ldb")->text(), "16 Bit");
    EXPECT_EQ(form()->findChild<QLabel *>("Lsf")->text(), "44100 Hz");
}

TEST_F(MainWindowTest, FileExitByKeyboardClosesAndWritesTheSettings)
{
    start("[FFT]\nCOMMENT=bench amp\n[GEN]\nFGEN=440\n; kept\n");
    auto *pages = form()->findChild<QTabWidget *>("PageControl1");
    pages->setCurrentIndex(1);
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
    // sections of other windows stay
    EXPECT_EQ(ini.get("GEN", "FGEN", ""), "440");
    EXPECT_NE(testsupport::ReadFile(settings).find("; kept"), std::string::npos);
    // the engine's own section is written at shutdown too
    EXPECT_TRUE(ini.has("SDSOUND", "SINWAVERAM2"));
}

TEST_F(MainWindowTest, CorrectionFilesLoadSwitchOnAndDrawAsCurves)
{
    start("");
    std::string dir = testsupport::ScratchDir("corrections");
    testsupport::WriteFile(dir + "/in.cor", "20 -3\n1000 0\n20000 3\n");
    nextFile = QString::fromStdString(dir + "/in.cor");
    form()->findChild<QAction *>("LadeEingangskorrekturdatei1")->trigger();
    EXPECT_TRUE(MS.InputCorrection.active());
    EXPECT_TRUE(form()->findChild<QAction *>("Eingangskorrekturaktiv1")->isChecked());
    EXPECT_EQ(form()->findChild<QLabel *>("coract")->text(), "Korrektur aktiv");

    // a bad file is refused with a warning and leaves the correction off
    testsupport::WriteFile(dir + "/bad.cor", "100 1\nnonsense\n");
    nextFile = QString::fromStdString(dir + "/bad.cor");
    form()->findChild<QAction *>("LadeAusgangskorrekturdatei1")->trigger();
    EXPECT_FALSE(MS.OutputCorrection.active());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, platform::MessageKind::Warning);

    // the test draws the input spline: -3 dB at 20 Hz, 0 at 1 kHz, +3 at 20 kHz
    form()->findChild<QAction *>("Testekorrekturdatei1")->trigger();
    TDiagramm *d = app::Diagramm;
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(d->GetTitle().startsWith("Korrektur Kurve von "));
    EXPECT_TRUE(d->GetTitle().contains("in.cor & "));
    const float *f = d->Curves().Freq();
    const float *c1 = d->Curves().Curve1();
    ASSERT_NE(f, nullptr);
    EXPECT_NEAR(f[0], 1.0f, 1e-4);
    EXPECT_NEAR(f[1000], 28000.0f, 0.5f);
    for (int i = 0; i <= 1000; i += 50) {
        // the curve shows the correction itself (sign -1 on a level of 0)
        EXPECT_NEAR(c1[i], MS.InputCorrection.evaluate(f[i]), 1e-3) << f[i];
    }
    int at1k = static_cast<int>(std::lround(1000 * std::log(1000.0) / std::log(28000.0)));
    EXPECT_NEAR(c1[at1k], 0.0f, 0.05f);

    // and the text export writes what is drawn
    std::string out = dir + "/curves.txt";
    EXPECT_EQ(form()->SaveResultsAsText(QString::fromStdString(out)), 0);
    std::string text = testsupport::ReadFile(out);
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    // one line per point inside the diagram's frequency range (10 Hz .. 24 kHz)
    long inRange = std::count_if(f, f + 1001, [](float x) { return x >= 10.0f && x <= 24000.0f; });
    long lines = std::count(text.begin(), text.end(), '\n');
    EXPECT_GE(lines, inRange);
    EXPECT_LE(lines, inRange + 2); // a header line or two
}

TEST_F(MainWindowTest, SaveAsTextReportsAFileThatCannotBeCreated)
{
    start("");
    form()->findChild<QAction *>("Testekorrekturdatei1")->trigger();
    nextFile = "/nonexistent-dir/x.txt";
    form()->findChild<QAction *>("SpeichernalsText1")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, platform::MessageKind::Error);
    EXPECT_EQ(messages[0].text, "/nonexistent-dir/x.txt konnte nicht erzeugt werden");
}

TEST_F(MainWindowTest, LevelUnitsSetTheAxisTitleTheCheckMarksAndTheCalibrationLabel)
{
    start("[MAIN]\nSPRACHE=E\n[EICH]\nInLev4Cal=100\n");
    QLabel *cal = form()->findChild<QLabel *>("Label15");
    form()->findChild<QAction *>("dbV1")->trigger();
    EXPECT_EQ(MS.LevelUnit, 1);
    EXPECT_EQ(app::Diagramm->YCaption(), "Level [dBV]");
    EXPECT_TRUE(form()->findChild<QAction *>("dbV1")->isChecked());
    EXPECT_FALSE(form()->findChild<QAction *>("dbFS1")->isChecked());
    EXPECT_EQ(cal->text(), "Level calibrated"); // recording volume 100 = the calibrated one
    form()->findChild<QAction *>("dbm1")->trigger();
    EXPECT_EQ(app::Diagramm->YCaption(), "Level [dBm]");
    form()->findChild<QAction *>("dbFS1")->trigger();
    EXPECT_EQ(app::Diagramm->YCaption(), "Level [dB FS]");
    EXPECT_EQ(cal->text(), QString(18, ' '));
}

TEST_F(MainWindowTest, TheFeatureListShowsTheDeviceReport)
{
    start("", "DEVICES=2\n");
    QStringList lines;
    QTimer::singleShot(50, [&] {
        auto *list = app::FeatDlg->findChild<QListWidget *>();
        for (int i = 0; list && i < list->count(); ++i)
            lines << list->item(i)->text();
        app::FeatDlg->accept();
    });
    form()->findChild<QAction *>("ShowFeaturelist1")->trigger();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], "--- Programm Version Win32  1.4g ---");
    EXPECT_TRUE(lines.contains("Virtual loopback 1"));
    EXPECT_TRUE(lines.contains("Virtual loopback 2"));
}

TEST_F(MainWindowTest, ChoosingAnotherInputDeviceUpdatesTheStatusLine)
{
    start("", "DEVICES=2\n");
    int last = audio::GetInputDevice();
    QTimer::singleShot(50, [&] {
        auto *list = app::SCdia->findChild<QListWidget *>("ListBox1");
        ASSERT_NE(list, nullptr);
        // the second virtual card is the last entry
        last = list->count() - 1;
        list->setCurrentRow(last);
        app::SCdia->accept();
    });
    form()->findChild<QAction *>("AudioDevices1")->trigger();
    EXPECT_EQ(audio::GetInputDevice(), std::min(last, 5));
    EXPECT_TRUE(form()->findChild<QLabel *>("StatusLine")->text().startsWith(
        QString::fromStdString(audio::DeviceName('I', audio::GetInputDevice())) + " / "));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
