// The sweep page around its runs, on the unpaced virtual card: what is
// locked from the first settling wait on, the generator window while a run
// plays its tone, START taken again the moment a run has ended, and a step
// count or level beyond the setup dialog's ranges.
#include "audio/outputengine.h"
#include "generator/wavegen.h"
#include "platform/messages.h"
#include "platform/radiogroup.h"
#include "support/accessiblereadout.h"
#include "support/appwindows.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <climits>
#include <functional>

namespace {

using testsupport::kIdealCard;

class SweepPage : public testsupport::AppWindowsTest {
protected:
    void startSweepPage(const std::string &loopback, const std::string &wob, const std::string &more = {})
    {
        start(loopback, "[MAIN]\nPAGE=1\n" + more + "[WOB]\n" + wob);
    }
    bool idle() { return !form()->SweepBusy() && !app::MS.Sweep.StartRequested; }
};

// Calls `react` when a WM_SWEEP_STEP reaches the main window, before the
// window handles it.
class SweepStepWatch : public QObject {
public:
    std::function<void()> react;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e); m && m->msg == platform::WM_SWEEP_STEP && react)
            react();
        return false;
    }
};

TEST_F(SweepPage, FromTheFirstSettlingWaitDevicesAndGeneratorAreLockedAndNudgesChangeNothingThatPlays)
{
    // A stereo sweep at -20 dB: each point reads the played level.
    startSweepPage(kIdealCard, "STARTMESS=300\nREFMESS=2\nPEGDIG=-20\nFROM=1000\nTO=3000\nSTEPS=2\nMETHODE=LIN\n");
    TWavegen *gen = app::Wavegen;
    ASSERT_TRUE(gen->ScrollBar2->isEnabled()); // the analog volume, with mixer support
    std::vector<bool> enabled;
    bool analog = false;
    int playedLevel = 0;
    QTimer inWait;
    QObject::connect(&inWait, &QTimer::timeout, [&] {
        if (!form()->SweepBusy() || app::MS.Sweep.CurrentStep != 0 || !enabled.empty())
            return;
        inWait.stop();
        for (const char *action : {"AudioInParameter1", "AudioDevices1", "AudioOutParameter1", "Eichen1"})
            enabled.push_back(child<QAction>(action)->isEnabled());
        enabled.push_back(child<QPushButton>("WobDialogBut")->isEnabled());
        for (QWidget *w : std::initializer_list<QWidget *>{gen->ScrollBar4, gen->ScrollBar1, gen->phL, gen->GfreqText,
                                                            gen->RadioGroup1, gen->Gstart, gen->Gstop})
            enabled.push_back(w->isEnabled());
        analog = gen->ScrollBar2->isEnabled();
        // A user's nudges of the generator's bars while the step settles.
        gen->ScrollBar2->setValue(gen->ScrollBar2->value() + 5);
        gen->ScrollBar4->setValue(3);
        playedLevel = audio::Generator().LevelL;
    });
    inWait.start(5);
    child<QPushButton>("wobbelnBut")->click();
    ASSERT_TRUE(waitUntil([&] { return !enabled.empty() && idle(); }, 20000));
    EXPECT_EQ(enabled, std::vector<bool>(enabled.size(), false));
    EXPECT_TRUE(analog); // it drives the mixer only
    EXPECT_EQ(playedLevel, -20);
    const std::vector<testsupport::CurvePoint> p = testsupport::DiagramPoints();
    ASSERT_EQ(p.size(), 3u);
    for (const testsupport::CurvePoint &q : p) {
        EXPECT_NEAR(q.first, -20.0f, 0.15f) << q.f;
        EXPECT_NEAR(q.second, -20.0f, 0.15f) << q.f;
    }
    // The run is over: everything is given back, and the live levels are
    // read out to assistive technology.
    EXPECT_TRUE(child<QAction>("AudioInParameter1")->isEnabled() && gen->ScrollBar4->isEnabled() &&
                gen->Gstart->isEnabled());
    const QString levels = child<QLabel>("Label7")->text();
    EXPECT_TRUE(levels.endsWith("FS")) << levels.toStdString();
    EXPECT_EQ(testsupport::AccessibleReadout(form(), "Pegel L R"), levels);
}

TEST_F(SweepPage, StartIsTakenAgainTheMomentARunHasEnded)
{
    for (const std::string loop : {"1", "0"}) {
        SCOPED_TRACE(loop);
        startSweepPage(kIdealCard, "STARTMESS=0\nFROM=100\nTO=200\nSTEPS=2\nMETHODE=LIN\n", "[GEN]\nBELOOP=" + loop + "\n");
        QPushButton *startButton = child<QPushButton>("wobbelnBut");
        bool again = false, enabledAtEnd = false, outputAtEnd = true;
        SweepStepWatch watch;
        watch.react = [&] {
            if (again || testsupport::DiagramPoints().size() != 3 || form()->SweepBusy())
                return;
            // The first run has measured its last point: START at once, on
            // another range.
            again = true;
            enabledAtEnd = startButton->isEnabled();
            outputAtEnd = audio::OutputRunning();
            app::MS.Sweep.FreqFrom = 1000;
            app::MS.Sweep.FreqTo = 2000;
            startButton->click();
        };
        form()->installEventFilter(&watch);
        startButton->click();
        const auto secondRunDone = [&] {
            const std::vector<testsupport::CurvePoint> p = testsupport::DiagramPoints();
            return again && idle() && p.size() == 3 && p.front().f > 500.0f;
        };
        EXPECT_TRUE(waitUntil(secondRunDone, 20000));
        form()->removeEventFilter(&watch);
        EXPECT_TRUE(enabledAtEnd);
        EXPECT_FALSE(outputAtEnd);
        const std::vector<testsupport::CurvePoint> p = testsupport::DiagramPoints();
        ASSERT_EQ(p.size(), 3u);
        EXPECT_NEAR(p.front().f, 1000.0f, 0.01f);
        EXPECT_NEAR(p.back().f, 2000.0f, 0.01f);
        stop();
    }
}

TEST_F(SweepPage, AStepCountOrLevelBeyondTheDialogsRangesRunsAtItsLimits)
{
    startSweepPage(kIdealCard, "STARTMESS=0\nFROM=1000\nTO=2000\nMETHODE=LIN\n");
    app::MS.Sweep.Steps = INT32_MAX; // what no dialog gives, the page does not take either
    app::MS.Sweep.LevelDig = 12.0f;
    QTimer stopAfterTwo;
    QObject::connect(&stopAfterTwo, &QTimer::timeout, [&] {
        if (testsupport::DiagramPoints().size() >= 2)
            child<QPushButton>("STOPbut")->click();
    });
    stopAfterTwo.start(2);
    child<QPushButton>("wobbelnBut")->click();
    ASSERT_TRUE(waitUntil([&] { return idle() && testsupport::DiagramPoints().size() >= 2; }, 20000));
    EXPECT_EQ(app::MS.Sweep.Steps, 1000);
    EXPECT_EQ(app::MS.Sweep.LevelDig, 0.0f);
    const std::vector<testsupport::CurvePoint> p = testsupport::DiagramPoints();
    EXPECT_NEAR(p[1].f, 1001.0f, 0.01f); // 1000 steps of 1 Hz
    EXPECT_TRUE(messages.empty());
}

} // namespace
