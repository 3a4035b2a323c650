// The sound card selection dialog (six-device rule with its warning) and the
// feature list window.
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/scdia.h"
#include "fakebackend.h"
#include "generator/featdlg.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace audio;

namespace {

// Accepts the next message box that opens and remembers its text.
struct MessageBoxCatcher {
    QString text;
    int seen = 0;
    void arm()
    {
        QTimer::singleShot(20, [this] { poll(); });
    }
    void poll()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                text = box->text();
                ++seen;
                box->accept();
                return;
            }
        }
        QTimer::singleShot(20, [this] { poll(); });
    }
};

} // namespace

TEST(SoundCardDialog, EightDevicesWarnOnTheSeventhAndSelectTheSixth)
{
    auto backend = fake::Install(8, 3);
    TSCdia dlg;
    dlg.SetLanguage('E');
    dlg.ForInput = true;
    dlg.Selected = 2;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Select input device");
    ASSERT_EQ(dlg.ListBox1->count(), 8);
    EXPECT_EQ(dlg.ListBox1->item(7)->text(), "In 7");
    EXPECT_EQ(dlg.ListBox1->currentRow(), 2);
    EXPECT_EQ(AudioLog()[1], "WaveInNumDevs  : 8"); // a fresh report on activation

    dlg.ListBox1->setCurrentRow(4);
    EXPECT_EQ(dlg.Selected, 4);

    MessageBoxCatcher catcher;
    catcher.arm();
    dlg.ListBox1->setCurrentRow(7); // the eighth device
    EXPECT_EQ(catcher.seen, 1);
    EXPECT_EQ(catcher.text, "Support for only 6 sounddevices");
    EXPECT_EQ(dlg.Selected, 5);
    EXPECT_EQ(dlg.ListBox1->currentRow(), 5);

    dlg.SetLanguage('D');
    catcher.arm();
    dlg.ListBox1->setCurrentRow(6);
    EXPECT_EQ(catcher.seen, 2);
    EXPECT_EQ(catcher.text, "Nur die ersten 6 Sounddevices werden unterstützt");
    EXPECT_EQ(dlg.Selected, 5);
    dlg.hide();

    // Output list, with a selection beyond the count: nothing highlighted.
    dlg.ForInput = false;
    dlg.Selected = 4;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Auswahl Output-Soundkarte");
    EXPECT_EQ(dlg.ListBox1->count(), 3);
    EXPECT_EQ(dlg.ListBox1->currentRow(), -1);
    EXPECT_EQ(dlg.Selected, 4); // showing the list changes no selection
    EXPECT_FALSE(dlg.HelpBtn->isVisible());
    dlg.hide();
    SoundInterface::instance().setBackends({});
}

TEST(FeatureList, ShowsTheReportAndSavesIt)
{
    TFeatDlg dlg;
    ASSERT_EQ(dlg.SrcList->count(), 1);
    EXPECT_EQ(dlg.SrcList->item(0)->text(), "--------------------------");
    dlg.SetLanguage('D');
    EXPECT_EQ(dlg.windowTitle(), "Feature Liste");
    dlg.SetLanguage('E');
    EXPECT_EQ(dlg.windowTitle(), "Feature list");

    dlg.SetLines({"WaveIn´s ----------", "Wave-In Formats        FFF"});
    ASSERT_EQ(dlg.SrcList->count(), 2);
    const std::string dir = testsupport::ScratchDir("featlist");
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir)));
    dlg.Button1->click(); // "Save": featlist.txt in the current directory
    QDir::setCurrent(old);
    EXPECT_EQ(testsupport::ReadFile(dir + "/featlist.txt"), "WaveIn´s ----------\nWave-In Formats        FFF\n");
    // A file that cannot be written is no error the window shows.
    EXPECT_FALSE(dlg.SaveList(QString::fromStdString(dir + "/no/such/dir/featlist.txt")));
}
