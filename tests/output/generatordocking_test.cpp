// The generator window inside the program: docking onto the sweep page's
// Generator group box (forced at start and by "back", unforced when the main
// window moves), the reset menu stopping it, and the I/O parameters dialog
// from the menu and the page buttons (refused for output while it plays).
#include "audio/audioengine.h"
#include "dialogs/iodialog.h"
#include "audio/outputengine.h"
#include "generator/wavegen.h"
#include "support/appwindows.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

class GeneratorInProgram : public testsupport::AppWindowsTest {
protected:
    void SetUp() override
    {
        AppWindowsTest::SetUp();
        start("", "[MAIN]\nPAGE=1\n");
    }
    QPoint target() const { return app::MainForm->Sweep()->Generator->mapToGlobal(QPoint(0, 0)); }
    QPoint genPos() const { return app::Wavegen->frameGeometry().topLeft(); }
};

// Runs `trigger` while a timer answers the I/O dialog; returns how often it showed.
int WithDialogAnswered(const std::function<void()> &trigger, const std::function<void(audio::TIOdialog &)> &answer)
{
    int shown = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (app::IOdialog->isVisible()) {
            ++shown;
            answer(*app::IOdialog);
            app::IOdialog->BitBtn1->click();
        }
    });
    timer.start(5);
    trigger();
    QTest::qWait(20);
    return shown;
}

} // namespace

TEST_F(GeneratorInProgram, DocksOnStartFollowsTheMainWindowAndStaysWhereTheUserDraggedIt)
{
    ASSERT_NE(app::Wavegen, nullptr);
    EXPECT_EQ(genPos(), target());
    EXPECT_TRUE(app::Wavegen->isVisible()); // the sweep page shows it

    // a small move of the main window takes the docked generator along
    app::MainForm->move(app::MainForm->pos() + QPoint(30, 20));
    QTest::qWait(10);
    EXPECT_EQ(genPos(), target());

    // dragged away, it stays when the main window moves
    const QPoint away = target() + QPoint(app::Wavegen->width() + 200, 0);
    app::Wavegen->move(away);
    app::MainForm->move(app::MainForm->pos() + QPoint(-10, 15));
    QTest::qWait(10);
    EXPECT_EQ(genPos(), away);

    // "back" brings it home
    app::MainForm->Sweep()->Button1->click();
    EXPECT_EQ(genPos(), target());
}

TEST_F(GeneratorInProgram, ResetStopsThePlayingGenerator)
{
    app::Wavegen->GstartClick();
    ASSERT_TRUE(app::Wavegen->Running());
    app::MainForm->Reset1->trigger();
    EXPECT_FALSE(app::Wavegen->Running());
    EXPECT_FALSE(audio::OutputRunning());
    EXPECT_TRUE(app::Wavegen->WOoptBut->isEnabled());
    EXPECT_TRUE(messages.empty());
}

TEST_F(GeneratorInProgram, InputParametersFromMenuAndPageRefreshTheFormatLabels)
{
    int calls = WithDialogAnswered([] { app::MainForm->AudioInParameter1->trigger(); },
                                   [](audio::TIOdialog &d) {
                                       EXPECT_TRUE(d.ForInput);
                                       d.findChild<QRadioButton *>("b4824")->setChecked(true);
                                   });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(app::MainForm->Analyser()->Ldb->text(), "24 Bit");
    EXPECT_EQ(app::MainForm->Analyser()->Lsf->text(), "48000 Hz");

    calls = WithDialogAnswered([] { app::MainForm->Analyser()->Binpopt->click(); },
                               [](audio::TIOdialog &d) {
                                   EXPECT_TRUE(d.ForInput);
                                   d.findChild<QRadioButton *>("b3216")->setChecked(true);
                               });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(app::MainForm->Analyser()->Ldb->text(), "16 Bit");
    EXPECT_EQ(app::MainForm->Analyser()->Lsf->text(), "32000 Hz");
}

TEST_F(GeneratorInProgram, OutputParametersAreRefusedWhileTheGeneratorPlays)
{
    auto pick22050 = [](audio::TIOdialog &d) {
        EXPECT_FALSE(d.ForInput);
        d.findChild<QRadioButton *>("b2216")->setChecked(true);
    };
    app::Wavegen->GstartClick();
    ASSERT_TRUE(audio::OutputRunning());
    EXPECT_EQ(WithDialogAnswered([] { app::MainForm->AudioOutParameter1->trigger(); }, pick22050), 0);
    EXPECT_EQ(WithDialogAnswered([] { app::MainForm->Sweep()->Button2->click(); }, pick22050), 0);
    EXPECT_EQ(WithDialogAnswered([] { app::Wavegen->WOoptBut->click(); }, pick22050), 0);
    app::Wavegen->GstopClick();
    EXPECT_EQ(WithDialogAnswered([] { app::MainForm->AudioOutParameter1->trigger(); }, pick22050), 1);
    int rin = 0, rout = 0;
    audio::GetRates(rin, rout);
    EXPECT_EQ(rout, 22050);
    EXPECT_EQ(WithDialogAnswered([] { app::MainForm->Sweep()->Button2->click(); }, pick22050), 1);
    EXPECT_EQ(WithDialogAnswered([] { app::Wavegen->WOoptBut->click(); }, pick22050), 1);
}
