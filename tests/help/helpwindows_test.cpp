// Help from the running program: every Help button, the Help menu, the Help
// button of a device error box and F1 in every window open the page of that
// window, in the interface language, also while a modal dialog runs.

// Mouse clicks travel the platform's way, where a window that a modal dialog
// blocks drops them.
#define QTEST_QPA_MOUSE_HANDLING
#include "help/helpsystem.h"
#include "help/helptopics.h"
#include "help/helpwindow.h"
#include "support/appwindows.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QMap>

namespace {

// The page each window's help must show: written down here, not taken from
// the program's table.
const QMap<QString, QString> kExpected = {
    {"IOdialog", "ioparameters.html"},  {"TSkalDia", "scale.html"},        {"Tdiadlg", "diagramoptions.html"},
    {"wobbeldlg", "sweepsetup.html"},   {"FeatDlg", "features.html"},      {"TAnaly", "analysis.html"},
    {"SCdia", "devices.html"},          {"TAboutBox", "index.html"},       {"Wavegen", "generator.html"},
    {"Oszidia", "oscilloscope.html"},   {"TDiagramm", "diagram.html"},    {"TEichDlg", "calibration.html"},
    {"TDCOffset", "dcoffset.html"},     {"TKorEdit", "correctioneditor.html"}, {"TNoiseWindow", "noise.html"},
};

class HelpWindowsTest : public testsupport::AppWindowsTest {
protected:
    void SetUp() override
    {
        AppWindowsTest::SetUp();
        help::SetHelpDirectory(qEnvironmentVariable("SONALYX_SOURCE_DIR") + "/data/help");
        start("");
    }

    // The page on show, as "<lang>/<file>"; empty while no help window shows.
    static std::string shown()
    {
        THelpWindow *w = help::Window();
        if (!w || !w->isVisible())
            return {};
        QFileInfo f(w->CurrentFile());
        return (f.exists() ? f.dir().dirName() + "/" + f.fileName() : "missing " + f.filePath()).toStdString();
    }
    static void hideHelp() { help::Window() ? help::Window()->hide() : void(); }
    static QString nameOf(QWidget *w) { return w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName(); }
    void setLanguage(char l)
    {
        if (app::MS.Language != l)
            child<QAction>("deutschEnglish1")->trigger();
        ASSERT_EQ(app::MS.Language, l);
    }
};

TEST_F(HelpWindowsTest, HelpButtonsF1AndTheHelpMenuOpenTheWindowsPageInBothLanguages)
{
    const char *pageWidgets[3] = {"StartButton", "wobbelnBut", "OsziStartStop"};
    const char *pages[3] = {"analyser.html", "sweep.html", "oscilloscope.html"};
    child<QAction>("NoiseDynamic1")->trigger(); // made on first use
    for (char lang : {'D', 'E'}) {
        setLanguage(lang);
        const QString folder = lang == 'D' ? "de/" : "en/";
        auto expectPage = [&](const QString &page, const QString &where) {
            EXPECT_EQ(shown(), (folder + page).toStdString()) << where.toStdString();
            hideHelp();
        };
        int buttons = 0;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            const QString page = kExpected.value(nameOf(window));
            for (QPushButton *b : window->findChildren<QPushButton *>()) {
                const QString text = b->text().remove('&');
                // (a tool window owned by another window is a window of its own)
                if ((text != "Help" && text != "Hilfe") || b->isHidden() || window == help::Window() ||
                    b->window() != window)
                    continue;
                ASSERT_FALSE(page.isEmpty()) << "a Help button in " << nameOf(window).toStdString();
                b->click();
                ++buttons;
                expectPage(page, nameOf(window));
            }
            if (!page.isEmpty()) {
                QTest::keyClick(window->findChild<QWidget *>(), Qt::Key_F1);
                expectPage(page, "F1 in " + nameOf(window));
            }
        }
        EXPECT_GE(buttons, 6);
        for (int i = 0; i < 3; ++i) {
            child<QTabWidget>("PageControl1")->setCurrentIndex(i);
            QTest::keyClick(child<QWidget>(pageWidgets[i]), Qt::Key_F1);
            expectPage(pages[i], pageWidgets[i]);
        }
        child<QAction>("HelpContentsItem")->trigger();
        EXPECT_EQ(shown(), (folder + "index.html").toStdString());
    }
    // The page on show changes language with the program.
    setLanguage('D');
    EXPECT_EQ(shown(), "de/index.html");
}

TEST_F(HelpWindowsTest, HelpOfADeviceErrorAndOfAModalDialogCanBeUsed)
{
    setLanguage('E');
    // A real message box: its Help button opens the device error page.
    platform::SetMessageHandler({});
    QTimer::singleShot(100, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Help)->click();
    });
    platform::ShowMessage(form(), platform::MessageKind::Error, "Problems while Start Sampling (x)", true, 17);
    EXPECT_EQ(shown(), "en/deviceerrors.html");

    // Help opened from a running modal dialog takes clicks (a window the
    // dialog blocks would drop them).
    std::string afterClick;
    QTimer::singleShot(100, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        QTest::keyClick(dialog, Qt::Key_F1);
        if (help::Window()) {
            QTest::mouseClick(help::Window()->ContentsBtn, Qt::LeftButton);
            afterClick = shown();
        }
        qobject_cast<QDialog *>(dialog)->reject();
    });
    child<QAction>("Parameter1")->trigger();
    EXPECT_EQ(afterClick, "en/index.html");
}

} // namespace
