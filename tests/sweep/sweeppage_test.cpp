// The sweep page around its runs on the unpaced virtual card: the locks from
// the first settling wait on, the generator window while a run plays its
// tone, START taken again the moment a run has ended, and a record beyond
// the setup dialog's ranges.
#include "audio/outputengine.h"
#include "generator/wavegen.h"
#include "widgets/radiogroup.h"
#include "support/accessiblereadout.h"
#include "support/appwindows.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <climits>

namespace {

using testsupport::DiagramPoints;

class SweepPage : public testsupport::AppWindowsTest {
protected:
    void startSweepPage(const std::string &wob, const std::string &more = {})
    {
        start(testsupport::kIdealCard, "[MAIN]\nPAGE=1\n" + more + "[WOB]\n" + wob);
    }
    bool idle() { return !form()->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested; }
};

// Runs `react` on every WM_SWEEP_STEP that reaches the main window, before it is handled.
struct SweepStepWatch : QObject {
    std::function<void()> react;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e); m && m->msg == platform::WM_SWEEP_STEP)
            react();
        return false;
    }
};

TEST_F(SweepPage, FromTheFirstSettlingWaitDevicesAndGeneratorAreLockedAndNudgesChangeNothingThatPlays)
{
    startSweepPage("STARTMESS=300\nREFMESS=2\nPEGDIG=-20\nFROM=1000\nTO=3000\nSTEPS=2\nMETHODE=LIN\n");
    TWavegen *gen = app::Wavegen;
    std::vector<bool> enabled;
    QTimer inFirstWait;
    QObject::connect(&inFirstWait, &QTimer::timeout, [&] {
        if (!form()->Sweep()->SweepBusy() || app::MS.Sweep.CurrentStep != 0 || !enabled.empty())
            return;
        for (const char *action : {"AudioInParameter1", "AudioDevices1", "AudioOutParameter1", "Eichen1"})
            enabled.push_back(child<QAction>(action)->isEnabled());
        for (QWidget *w : std::initializer_list<QWidget *>{child<QPushButton>("WobDialogBut"), gen->ScrollBar4,
                                                            gen->phL, gen->GfreqText, gen->RadioGroup1, gen->Gstart})
            enabled.push_back(w->isEnabled());
        enabled.push_back(!gen->ScrollBar2->isEnabled()); // the analog volume drives the mixer only
        gen->ScrollBar2->setValue(gen->ScrollBar2->value() + 5); // a user's nudges while the step settles
        gen->ScrollBar4->setValue(3);
    });
    inFirstWait.start(5);
    child<QPushButton>("wobbelnBut")->click();
    ASSERT_TRUE(waitUntil([&] { return !enabled.empty() && idle(); }, 20000));
    EXPECT_EQ(enabled, std::vector<bool>(enabled.size(), false));
    // Every point of the stereo sweep reads the level it played.
    ASSERT_EQ(DiagramPoints().size(), 3u);
    for (const testsupport::CurvePoint &q : DiagramPoints())
        EXPECT_TRUE(std::abs(q.first + 20.0f) < 0.15f && std::abs(q.second + 20.0f) < 0.15f) << q.f << " " << q.first;
    EXPECT_TRUE(child<QAction>("AudioInParameter1")->isEnabled() && gen->ScrollBar4->isEnabled());
    EXPECT_EQ(testsupport::AccessibleReadout(form(), "Pegel L R"), child<QLabel>("Label7")->text());
}

TEST_F(SweepPage, StartIsTakenAgainTheMomentARunHasEnded)
{
    for (const std::string loop : {"1", "0"}) {
        startSweepPage("STARTMESS=0\nFROM=100\nTO=200\nSTEPS=2\nMETHODE=LIN\n", "[GEN]\nBELOOP=" + loop + "\n");
        QPushButton *startButton = child<QPushButton>("wobbelnBut");
        bool again = false, taken = false;
        SweepStepWatch watch;
        watch.react = [&] {
            if (again || DiagramPoints().size() != 3 || form()->Sweep()->SweepBusy())
                return;
            // The last point is in: START at once, on another range.
            again = true;
            taken = startButton->isEnabled() && !audio::OutputRunning();
            app::MS.Sweep.FreqFrom = 1000;
            app::MS.Sweep.FreqTo = 2000;
            startButton->click();
        };
        form()->installEventFilter(&watch);
        startButton->click();
        const auto secondRunDone = [&] {
            const std::vector<testsupport::CurvePoint> p = DiagramPoints();
            return again && idle() && !p.empty() && p.front().f > 500.0f;
        };
        EXPECT_TRUE(waitUntil(secondRunDone, 20000)) << loop;
        form()->removeEventFilter(&watch);
        EXPECT_TRUE(taken) << loop;
        EXPECT_EQ(DiagramPoints().size(), 3u);
        stop();
    }
}

TEST_F(SweepPage, AStepCountOrLevelBeyondTheDialogsRangesRunsAtItsLimits)
{
    startSweepPage("STARTMESS=0\nFROM=1000\nTO=2000\nMETHODE=LIN\n");
    app::MS.Sweep.Steps = INT32_MAX; // Steps + 1 points would overflow
    app::MS.Sweep.LevelDig = 12.0f;
    QTimer stopAfterTwo;
    QObject::connect(&stopAfterTwo, &QTimer::timeout, [&] {
        if (DiagramPoints().size() >= 2)
            child<QPushButton>("STOPbut")->click();
    });
    stopAfterTwo.start(2);
    child<QPushButton>("wobbelnBut")->click();
    ASSERT_TRUE(waitUntil([&] { return idle() && DiagramPoints().size() >= 2; }, 20000));
    EXPECT_TRUE(app::MS.Sweep.Steps == 1000 && app::MS.Sweep.LevelDig == 0.0f);
    EXPECT_NEAR(DiagramPoints()[1].f, 1001.0f, 0.01f); // 1000 steps of 1 Hz
    EXPECT_TRUE(messages.empty());
}

} // namespace
