// The main window on the offscreen platform: start-up from a settings file,
// language switching, page switching, File > Exit by keyboard, and the
// settings written at the end.
#include "app/forms.h"
#include "app/mainform.h"
#include "platform/inifile.h"
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
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

using app::MS;

namespace {

// Starts the program's windows on a settings file with the given text.
class MainWindowTest : public ::testing::Test {
protected:
    std::string settings;

    void start(const std::string &ini)
    {
        settings = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                   "/sonmain.ini";
        // An unpaced ideal virtual card keeps the test independent of the machine.
        testsupport::WriteFile(settings, "[LOOPBACK]\nPACED=FALSE\n" + ini);
        platform::SetSettingsFileName(settings);
        MS = app::MeasurementState{};
        ASSERT_TRUE(app::CreateWindows());
        app::MainForm->show();
        QTest::qWait(20);
    }

    void TearDown() override
    {
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

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
