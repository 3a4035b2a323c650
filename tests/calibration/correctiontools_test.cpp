// The tools around a calibrated input on the virtual card: the DC offset
// dialog against the card's own offset, and the correction file editor with
// its saving, its failures and what the main window keeps after them.
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "display/diagramwindow.h"
#include "dialogs/correctioneditor.h"
#include "dialogs/dcoffsetdialog.h"
#include "widgets/radiogroup.h"
#include "support/appwindows.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

using app::MS;
using testsupport::kIdealCard;
using testsupport::ReadFile;

namespace {

class ToolsTest : public testsupport::AppWindowsTest {
protected:
    // Runs the modal DC offset dialog; `work` acts on it before it is closed.
    void withDcDialog(const std::function<void(TDCOffset *)> &work)
    {
        QTimer::singleShot(0, [work] {
            work(app::DCOffset);
            app::DCOffset->BitBtn1->click();
        });
        child<QAction>("DCOffset1")->trigger();
    }

    // The higher of the two 0 Hz levels after one analyser round.
    float dcLevel()
    {
        child<platform::RadioGroup>("RunningGroup")->setItemIndex(0);
        child<QPushButton>("StartButton")->click();
        EXPECT_TRUE(waitUntil([] { return !MS.AnalyserRunning && !audio::CaptureOpen(); }));
        const auto &c = app::Diagramm->Curves();
        return std::max(c.Curve1()[0], c.Curve2()[0]);
    }

    // Replaces the editor's text as typing would (the text is then modified).
    static void type(const QString &text)
    {
        QTextCursor c(app::KorEdit->Memo1->document());
        c.select(QTextCursor::Document);
        c.insertText(text);
    }
};

} // namespace

TEST_F(ToolsTest, TheDcOffsetOfTheCardIsRemovedByTheBarsOrAutomaticallyPerDevice)
{
    // The test signal is off: a sine's incomplete last period would move the block's mean.
    start(kIdealCard + "DEVICES=2\nDCOFFSET=0.01\n", "[FFT]\nSAMPLES=4096\nWIN=0\n");
    const float withOffset = dcLevel();
    withDcDialog([](TDCOffset *d) {
        d->ScrollBar1->setValue(-20000); // the top is positive
        EXPECT_EQ(d->Label1->text(), "0.020000 FS");
        d->ScrollBar1->setValue(10000);
        d->ScrollBar2->setValue(10000);
        EXPECT_EQ(d->Label2->text(), "-0.010000 FS");
    });
    EXPECT_LE(dcLevel(), withOffset - 40.0f);

    withDcDialog([](TDCOffset *d) {
        d->ScrollBar1->setValue(0);
        d->ScrollBar2->setValue(0);
        d->AutoDCOffset->click();
        EXPECT_FALSE(d->ScrollBar1->isEnabled() || d->ScrollBar2->isEnabled());
    });
    EXPECT_LE(dcLevel(), withOffset - 40.0f);

    const int card = audio::GetInputDevice();
    audio::SelectInputDevice(card > 0 ? card - 1 : 1);
    audio::SetDCOffsetR(0.005f);
    withDcDialog([](TDCOffset *d) {
        EXPECT_FALSE(d->AutoDCOffset->isChecked());
        EXPECT_TRUE(d->ScrollBar2->isEnabled());
        EXPECT_EQ(d->ScrollBar2->value(), -5000);
    });
    audio::SelectInputDevice(card);
    withDcDialog([](TDCOffset *d) {
        EXPECT_TRUE(d->AutoDCOffset->isChecked());
        EXPECT_EQ(d->Label2->text(), "0.000000 FS");
    });
}

TEST_F(ToolsTest, TheEditorSavesTestsAndKeepsItsFileThroughBadLinesAndWriteFailures)
{
    namespace fs = std::filesystem;
    start(kIdealCard);
    const std::string dir = testsupport::ScratchDir("editor");
    const std::string in = dir + "/in.cor";
    testsupport::WriteFile(in, "20 0\n1000 0\n20000 0\n");
    ASSERT_TRUE(form()->LoadCorrection(true, in));
    child<QAction>("Testekorrekturdatei1")->trigger();
    child<QAction>("EditEingangskorrekturdatei1")->trigger();
    TKorEdit *e = app::KorEdit;
    ASSERT_TRUE(e->isVisible());
    EXPECT_EQ(e->Memo1->toPlainText(), "20 0\n1000 0\n20000 0");
    EXPECT_EQ(e->windowTitle(), QString::fromStdString("Editor Korrekturdatei: " + in));

    // Save & Test: the file, the curve and the drawn test pass through the edited point.
    type("20 0\n1000 6\n20000 0");
    e->test->trigger();
    EXPECT_EQ(ReadFile(in), "20 0\n1000 6\n20000 0\n");
    EXPECT_FALSE(e->Modified());
    EXPECT_TRUE(MS.InputCorrection.active() && MS.InputCorrection.count() == 3);
    const auto &c = app::Diagramm->Curves();
    // 28000^(675/1000) = 1004.2 Hz; the spline through (20, 0), (1000, 6),
    // (20000, 0) rises 0.0058 dB/Hz at 1000 Hz, so the curve reads 6.024 there.
    const int near1k = 675;
    ASSERT_NEAR(c.Freq()[near1k], 1004.2f, 0.1f);
    EXPECT_NEAR(c.Curve1()[near1k], 6.024f, 0.002f);

    // A bad line: the loader's message, an empty but named curve, and the
    // next save goes to the same file.
    type("20 0\n1000 x\n20000 0");
    e->test->trigger();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, "Zeilenfehler");
    EXPECT_EQ(MS.InputCorrection.count(), 0);
    EXPECT_EQ(MS.InputCorrection.fileName(), in);
    EXPECT_TRUE(child<QAction>("Eingangskorrekturaktiv1")->isChecked());
    type("20 0\n1000 3\n20000 0");
    e->test->trigger();
    EXPECT_EQ(MS.InputCorrection.count(), 3);
    EXPECT_NEAR(MS.InputCorrection.evaluate(1000.0), 3.0, 1e-12);

    // The output curve has no file: the file dialog comes first and a new
    // file is made. Its folder then goes, so the file cannot be written (a
    // read-only file would not stop root).
    const std::string gone = dir + "/gone";
    fs::create_directories(gone);
    nextFile = QString::fromStdString(gone + "/out.cor");
    child<QAction>("EditAusgangskorrekturdatei1")->trigger();
    ASSERT_EQ(e->FileName(), gone + "/out.cor");
    EXPECT_EQ(e->Memo1->toPlainText(), "1000 0");
    fs::remove_all(gone);
    messages.clear();
    type("1000 2");
    e->test->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QString::fromStdString(gone + "/out.cor konnte nicht erzeugt werden"));
    EXPECT_TRUE(e->Modified());
    answerYes = true; // save on closing: it fails again, the edits stay on screen
    e->close();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, QString::fromUtf8("Korrekturwerte wurden verändert ! Speichern ?"));
    EXPECT_TRUE(e->isVisible());
    EXPECT_EQ(e->Memo1->toPlainText(), "1000 2");
    answerYes = false;
    e->close();
    EXPECT_FALSE(e->isVisible());

    // A bad line left in the input file still leaves its name in the settings.
    child<QAction>("EditEingangskorrekturdatei1")->trigger();
    type("1000 x");
    e->test->trigger();
    stop();
    EXPECT_NE(ReadFile(settings).find("INCONAME=" + in + "\n"), std::string::npos);
}

// A file the editor cannot read (here a FIFO named as the output correction)
// is not opened as an empty text that saving would write over it: a warning,
// not a hang, and the editor stays closed.
TEST_F(ToolsTest, TheEditorDoesNotOpenWhatItCannotRead)
{
    start(kIdealCard);
    const std::string fifo = testsupport::ScratchDir("editorfifo") + "/out.cor";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    MS.OutputCorrection.setFileName(fifo);
    child<QAction>("EditAusgangskorrekturdatei1")->trigger();
    EXPECT_FALSE(app::KorEdit->isVisible());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QString::fromStdString("Fehler beim Lesen von : " + fifo + " (not a regular file)"));
}
