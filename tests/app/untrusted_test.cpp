// What comes from outside the program - a card's name, a file name in the
// settings, a settings file that cannot be written - on the main window:
// names show as the text they are, a correction file is never another file
// than the one named, and a failed save is said.
#include "audio/fakebackend.h"
#include "support/appwindows.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <sys/stat.h>

using app::MS;

namespace {

class UntrustedTest : public testsupport::AppWindowsTest {};

// Answers the next real message box, noting how it shows its text.
struct BoxWatcher {
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    void arm(QMessageBox::StandardButton answer)
    {
        QTimer::singleShot(0, [this, answer] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            text = box->text();
            format = box->textFormat();
            box->button(answer)->click();
        });
    }
};

} // namespace

// A name a card's maker (or ~/.asoundrc) chose: markup is shown as the
// characters it is made of, control characters are gone.
TEST_F(UntrustedTest, DeviceNamesAndMessagesShowAsPlainText)
{
    start("");
    auto hostile = std::make_shared<fake::FakeBackend>();
    hostile->inputs.push_back({"<img src=/nonexistent/x.png>\x1b[2J"});
    hostile->outputs.push_back({"<b>Out</b>\nnext line"});
    auto backends = audio::SoundInterface::instance().backends();
    backends.insert(backends.begin(), hostile);
    audio::SoundInterface::instance().setBackends(backends);
    form()->ShowDeviceStatus();
    auto *status = child<QLabel>("StatusLine");
    EXPECT_EQ(status->text(), "<img src=/nonexistent/x.png>[2J / <b>Out</b>next line");
    EXPECT_EQ(status->textFormat(), Qt::PlainText);

    // The program's message and question boxes, with a file name in them.
    platform::SetMessageHandler({});
    platform::SetQuestionHandler({});
    BoxWatcher watcher;
    watcher.arm(QMessageBox::Ok);
    platform::ShowMessage(form(), platform::MessageKind::Error, "<h1>/tmp/x.cor</h1> konnte nicht erzeugt werden");
    EXPECT_EQ(watcher.text, "<h1>/tmp/x.cor</h1> konnte nicht erzeugt werden");
    EXPECT_EQ(watcher.format, Qt::PlainText);
    watcher.arm(QMessageBox::No);
    EXPECT_FALSE(platform::AskYesNo(form(), platform::MessageKind::Information, "<i>Speichern ?</i>"));
    EXPECT_EQ(watcher.format, Qt::PlainText);
    audio::SoundInterface::instance().setBackends({backends.begin() + 1, backends.end()});
}

// A stored correction name is used whole: 157 characters name that file (not
// the first 153), and one beyond what a curve holds is refused with a message,
// creating nothing and leaving the correction off.
TEST_F(UntrustedTest, StoredCorrectionNamesAreNeverCut)
{
    namespace fs = std::filesystem;
    const std::string dir = testsupport::ScratchDir("names");
    const std::string sub = dir + "/" + std::string(150, 'd');
    fs::create_directories(sub);
    const std::string in = dir + "/" + std::string(157 - dir.size() - 5, 'i') + ".cor";
    const std::string out = sub + "/" + std::string(300 - sub.size() - 5, 'o') + ".cor";
    ASSERT_EQ(in.size(), 157u);
    start("", "[MAIN]\nINCONAME=" + in + "\nINCOAKT=TRUE\nOUTCONAME=" + out + "\nOUTCOAKT=TRUE\n");
    EXPECT_EQ(MS.InputCorrection.fileName(), in);
    EXPECT_EQ(testsupport::ReadFile(in), "1000 0\n");
    EXPECT_FALSE(fs::exists(in.substr(0, 153)));
    EXPECT_TRUE(MS.InputCorrection.active());

    EXPECT_FALSE(MS.OutputCorrection.active());
    EXPECT_EQ(MS.OutputCorrection.count(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QString::fromStdString("Dateiname zu lang (höchstens 255 Zeichen): " + out));
    EXPECT_TRUE(fs::is_empty(sub));
}

// A FIFO named as the input correction: the start goes on (a blocking open
// would wait for a writer forever) and says why there is no correction.
TEST_F(UntrustedTest, AFifoNamedAsCorrectionFileDoesNotHoldUpTheStart)
{
    const std::string fifo = testsupport::ScratchDir("fifo") + "/in.cor";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    start("", "[MAIN]\nINCONAME=" + fifo + "\nINCOAKT=TRUE\n");
    EXPECT_FALSE(MS.InputCorrection.active());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QString::fromStdString("Keine gewöhnliche Datei: " + fifo));
    EXPECT_EQ(child<QLabel>("coract")->text(), ".");
}

// The settings cannot be written: the user is told, and nothing half-written
// is left behind.
TEST_F(UntrustedTest, AFailedSaveOfTheSettingsIsShown)
{
    start("");
    const std::string unwritable = testsupport::ScratchDir("unwritable") + "/gone/sonmain.ini";
    platform::SetSettingsFileName(unwritable);
    messages.clear();
    form()->close();
    ASSERT_FALSE(messages.empty());
    const QString expected = "Die Einstellungen konnten nicht gespeichert werden: " + QString::fromStdString(unwritable);
    EXPECT_TRUE(messages.back().text.startsWith(expected)) << messages.back().text.toStdString();
    EXPECT_EQ(messages.back().kind, platform::MessageKind::Error);
}
