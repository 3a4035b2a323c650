// The sound card selection dialog (device limit with its warning) and the
// feature list window.
#include "audio/audioengine.h"
#include "dialogs/soundcarddialog.h"
#include "fakebackend.h"
#include "dialogs/featurelistdialog.h"
#include "widgets/messagebox.h"
#include "support/testsupport.h"

#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

using namespace audio;

// The program uses 32 devices of each direction (ALSA devices and the sound
// server's nodes listed together).
TEST(SoundCardDialog, ThirtyFourDevicesWarnOnTheThirtyThirdAndSelectTheThirtySecond)
{
    auto backend = fake::Install(34, 3);
    TSCdia dlg;
    dlg.SetLanguage('E');
    dlg.ForInput = true;
    dlg.Selected = 2;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Select input device");
    ASSERT_EQ(dlg.ListBox1->count(), 34);
    EXPECT_EQ(dlg.ListBox1->item(33)->text(), "In 33");
    EXPECT_EQ(dlg.ListBox1->currentRow(), 2);
    EXPECT_EQ(AudioLog()[1], "WaveInNumDevs  : 34"); // a fresh report on activation

    dlg.ListBox1->setCurrentRow(31);
    EXPECT_EQ(dlg.Selected, 31);

    std::vector<QString> warnings;
    platform::SetMessageHandler([&](const platform::MessageRequest &m) {
        EXPECT_EQ(m.kind, platform::MessageKind::Warning);
        warnings.push_back(m.text);
    });
    dlg.ListBox1->setCurrentRow(33); // the 34th device
    EXPECT_EQ(warnings, std::vector<QString>{"Support for only 32 sounddevices"});
    EXPECT_EQ(dlg.Selected, 31);
    EXPECT_EQ(dlg.ListBox1->currentRow(), 31);

    dlg.SetLanguage('D');
    dlg.ListBox1->setCurrentRow(32);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[1], "Nur die ersten 32 Sounddevices werden unterstützt");
    platform::SetMessageHandler({});
    EXPECT_EQ(dlg.Selected, 31);
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
    dlg.SetLines({"WaveIn´s ----------", "Wave-In Formats        FFF"});
    ASSERT_EQ(dlg.SrcList->count(), 2);
    const std::string dir = testsupport::ScratchDir("featlist");
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir)));
    dlg.Button1->click(); // "Save": featlist.txt in the current directory
    QDir::setCurrent(old);
    EXPECT_EQ(testsupport::ReadFile(dir + "/featlist.txt"), "WaveIn´s ----------\nWave-In Formats        FFF\n");
    EXPECT_NE(dlg.SaveList(QString::fromStdString(dir + "/no/such/dir/featlist.txt")), 0);
}

// The list goes to a fixed name in whatever folder is current: a link
// planted there is replaced, never written through, and a failure is shown.
TEST(FeatureList, SavingReplacesAPlantedLinkAndReportsAFailure)
{
    std::vector<platform::MessageRequest> messages;
    platform::SetMessageHandler([&](const platform::MessageRequest &m) { messages.push_back(m); });
    TFeatDlg dlg;
    dlg.SetLanguage('E');
    dlg.SetLines({"report"});
    const std::string dir = testsupport::ScratchDir("featlink");
    testsupport::WriteFile(dir + "/victim", "precious\n");
    std::filesystem::create_symlink(dir + "/victim", dir + "/featlist.txt");
    std::filesystem::create_directory(dir + "/blocked");
    std::filesystem::create_directory(dir + "/blocked/featlist.txt");
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir)));
    dlg.Button1->click();
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir + "/blocked")));
    dlg.Button1->click();
    QDir::setCurrent(old);
    platform::SetMessageHandler({});
    EXPECT_EQ(testsupport::ReadFile(dir + "/victim"), "precious\n");
    EXPECT_FALSE(std::filesystem::is_symlink(dir + "/featlist.txt"));
    EXPECT_EQ(testsupport::ReadFile(dir + "/featlist.txt"), "report\n");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("featlist.txt could not created")) << messages[0].text.toStdString();
    EXPECT_EQ(messages[0].kind, platform::MessageKind::Error);
}

namespace {

class FamilyBackend : public fake::FakeBackend {
public:
    explicit FamilyBackend(std::string family) : family_(std::move(family)) {}
    std::string family() const override { return family_; }
    std::string storedName(bool input, int index) override { return "node_" + std::to_string(index); }

private:
    std::string family_;
};

} // namespace

// The backend follows each name, so that a card's node and its ALSA device
// are told apart; the virtual card says what it is in its name. The tooltip
// names what the settings keep.
TEST(SoundCardDialog, EachDeviceNamesItsBackend)
{
    auto alsa = std::make_shared<FamilyBackend>("ALSA");
    alsa->inputs.push_back({"USB Audio"});
    auto server = std::make_shared<FamilyBackend>("PipeWire");
    server->inputs.push_back({"USB Audio"});
    auto card = std::make_shared<FamilyBackend>("virtual");
    card->virtualCards = true;
    card->inputs.push_back({"Virtual loopback 1"});
    SoundInterface::instance().setBackends({alsa, server, card});
    TSCdia dlg;
    dlg.ForInput = true;
    dlg.show();
    ASSERT_EQ(dlg.ListBox1->count(), 3);
    EXPECT_EQ(dlg.ListBox1->item(0)->text(), "USB Audio  [ALSA]");
    EXPECT_EQ(dlg.ListBox1->item(1)->text(), "USB Audio  [PipeWire]");
    EXPECT_EQ(dlg.ListBox1->item(2)->text(), "Virtual loopback 1");
    EXPECT_EQ(dlg.ListBox1->item(1)->toolTip(), "node_0");
    dlg.hide();
    SoundInterface::instance().setBackends({});
}
