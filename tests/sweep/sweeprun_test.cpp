// Sweeps run through the program on the unpaced virtual card, read back from
// the diagram's curves: an ideal card, stereo levels with corrections and the
// live readout, the limits and stops of a run, the generator set-up a sweep
// must leave alone, and the volume bars. The readings against the device
// model's closed form: sweepaccuracy_test.cpp.
#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "display/diagramwindow.h"
#include "dialogs/sweepdialog.h"
#include "generator/wavegen.h"
#include "support/appwindows.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <cmath>

namespace {

using testsupport::kIdealCard;
using Point = testsupport::CurvePoint;

class SweepRun : public testsupport::AppWindowsTest {
protected:
    void startSweepPage(const std::string &loopback, const std::string &wob, const std::string &more = {})
    {
        start(loopback, "[MAIN]\nPAGE=1\n" + more + "[WOB]\n" + wob);
    }
    bool idle() { return !form()->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested; }
    bool runSweep()
    {
        child<QPushButton>("wobbelnBut")->click();
        return waitUntil([this] { return idle(); }, 120000);
    }
    static std::vector<Point> points() { return testsupport::DiagramPoints(); }
};

TEST_F(SweepRun, IdealCardIsFlatAtBothRatesInLoopAndStreamMode)
{
    for (const int rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        // Stream mode at 48000 Hz: the last point must still see the signal.
        startSweepPage(kIdealCard, "STARTMESS=10\nPHASE=TRUE\n", rate == 48000 ? "[GEN]\nBELOOP=0\n" : "");
        audio::SetRates(rate, rate);
        ASSERT_TRUE(runSweep());
        const std::vector<Point> p = points();
        ASSERT_EQ(p.size(), 51u);
        EXPECT_NEAR(p.front().f, 20.0f, 0.01f);
        EXPECT_NEAR(p.back().f, 22000.0f, 0.01f);
        for (const Point &q : p) {
            EXPECT_NEAR(q.first, 0.0f, 0.005f) << q.f;
            EXPECT_NEAR(q.second, 0.0f, 0.1f) << q.f;
        }
        EXPECT_TRUE(messages.empty());
        stop();
    }
}

TEST_F(SweepRun, StereoLevelsFollowTheOutputLevelAndBothCorrections)
{
    // Constant corrections: +2 dB on the output lowers the played level by
    // 2 dB, +1 dB on the input is taken off the reading.
    const std::string dir = testsupport::ScratchDir("corrections");
    testsupport::WriteFile(dir + "/out.cor", "1 2\n100000 2\n");
    testsupport::WriteFile(dir + "/in.cor", "1 1\n100000 1\n");
    for (const bool corrected : {false, true}) {
        SCOPED_TRACE(corrected);
        const std::string main = corrected ? "INCONAME=" + dir + "/in.cor\nOUTCONAME=" + dir +
                                                 "/out.cor\nINCOAKT=TRUE\nOUTCOAKT=TRUE\n"
                                           : "";
        startSweepPage(kIdealCard, "STARTMESS=10\nREFMESS=2\nPEGDIG=-6\nTO=20000\n", main);
        ASSERT_TRUE(runSweep());
        const std::vector<Point> p = points();
        ASSERT_EQ(p.size(), 51u);
        const float expected = corrected ? -9.0f : -6.0f;
        for (const Point &q : p) {
            EXPECT_NEAR(q.first, expected, 0.01f) << q.f;
            EXPECT_NEAR(q.second, expected, 0.01f) << q.f;
        }
        // The live readout: the peaks played, 10^(-6/20) and 10^(-8/20) of full scale.
        EXPECT_EQ(child<QLabel>("Label7")->text(), corrected ? "0.40FS 0.40FS" : "0.50FS 0.50FS");
        stop();
    }
}

TEST_F(SweepRun, LimitsLongRunsAndHighFrequenciesKeepEveryPoint)
{
    // Beyond half the rate the run stops with its message and keeps its points.
    startSweepPage(kIdealCard, "STARTMESS=0\nFROM=20000\nTO=30000\nSTEPS=10\nMETHODE=LIN\n");
    ASSERT_TRUE(runSweep());
    EXPECT_EQ(points().size(), 3u); // 20000, 21000, 22000; 23000 is above 22050
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, platform::MessageKind::Information);
    EXPECT_EQ(messages[0].text, "In/Out Freq. > Samplefrequenz/2 ! Wobbeln stoppt ");
    stop();

    // More steps than a packed capture tag could number, and frequencies
    // above what it could carry, at 192 kHz.
    startSweepPage(kIdealCard, "STARTMESS=0\nFROM=86000\nTO=92000\nSTEPS=600\nMETHODE=LIN\n");
    audio::SetRates(192000, 192000);
    ASSERT_TRUE(runSweep());
    const std::vector<Point> p = points();
    ASSERT_EQ(p.size(), 601u);
    EXPECT_FLOAT_EQ(p[300].f, 89000.0f);
    EXPECT_FLOAT_EQ(p[600].f, 92000.0f);
    EXPECT_NEAR(p[600].first, 0.0f, 0.01f);
}

TEST_F(SweepRun, StopAndLeavingThePageDuringTheWaitStoreNothingMoreAndTheGeneratorIsKept)
{
    startSweepPage(kIdealCard, "STARTMESS=300\nFROM=1000\nTO=2000\nSTEPS=5\n",
                   "[GEN]\nFGEN=440\nMODE=3\nPHASEL=180\nPHASER=180\nBELOOP=0\n");
    for (const bool leave : {false, true}) {
        SCOPED_TRACE(leave);
        child<QTabWidget>("PageControl1")->setCurrentIndex(1);
        // Stop or leave while the second step waits for the device to settle.
        QTimer inWait;
        QObject::connect(&inWait, &QTimer::timeout, [&] {
            if (points().size() == 1 && app::MS.Sweep.CurrentStep == 1 && form()->Sweep()->SweepBusy()) {
                inWait.stop();
                if (leave)
                    child<QTabWidget>("PageControl1")->setCurrentIndex(0);
                else
                    child<QPushButton>("STOPbut")->click();
            }
        });
        inWait.start(5);
        child<QPushButton>("wobbelnBut")->click();
        ASSERT_TRUE(waitUntil([&] { return !inWait.isActive(); }));
        ASSERT_TRUE(waitUntil([this] { return idle(); }));
        QTest::qWait(400);
        EXPECT_FALSE(audio::OutputRunning());
        const audio::GeneratorSettings &g = audio::Generator();
        EXPECT_TRUE(g.Frequency == 440.0f && g.Waveform == audio::WavePinkNoise && g.PhaseL == 180 && g.PhaseR == 180);
        EXPECT_EQ(app::Wavegen->GfreqText->text(), "Noise");
        EXPECT_EQ(points().size(), leave ? 0u : 1u); // leaving clears the diagram
        EXPECT_TRUE(child<QPushButton>("wobbelnBut")->isEnabled());
    }
}

// What the bars write into the mixer is checked with the mixer's own tests.
TEST_F(SweepRun, VolumeBarsFollowEachOtherAndSetupReachesTheDiagram)
{
    startSweepPage("", "", "[VOLUME]\nFGINVOLUME=100\nFGVOLUME=20\n");
    child<QScrollBar>("ScrollBar3")->setValue(40); // the calibration label follows: see the mixer's window test
    EXPECT_EQ(child<QScrollBar>("ScrollBar1")->value(), 60);
    EXPECT_TRUE(child<QLabel>("Label8")->text() == "40%" && child<QLabel>("Label3")->text() == "40%");
    child<QScrollBar>("ScrollBar1")->setValue(0); // top: 100 %
    EXPECT_EQ(child<QScrollBar>("ScrollBar3")->value(), 100);

    EXPECT_EQ(app::Wavegen->ScrollBar2->value(), 80); // 20 %
    child<QScrollBar>("ScrollBar2")->setValue(30);
    EXPECT_EQ(app::Wavegen->ScrollBar2->value(), 30);
    EXPECT_EQ(child<QLabel>("Label1")->text(), "70%");
    app::Wavegen->ScrollBar2->setValue(50); // the generator's own bar moves the page's
    EXPECT_EQ(child<QScrollBar>("ScrollBar2")->value(), 50);

    // Setup: what the dialog takes reaches the record and the diagram's axes.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (!app::Wobbeldlg->isVisible())
            return;
        answer.stop();
        app::Wobbeldlg->Efrom->setText("100");
        app::Wobbeldlg->Eto->setText("1000");
        app::Wobbeldlg->PhaseBut->setChecked(true);
        app::Wobbeldlg->OKBtn->click();
    });
    answer.start(5);
    child<QPushButton>("WobDialogBut")->click();
    EXPECT_TRUE(app::MS.Sweep.FreqFrom == 100 && app::MS.Sweep.FreqTo == 1000 && app::MS.Sweep.PhaseOn);
    std::int32_t xmin = 0, xmax = 0;
    app::Diagramm->GetXRange(xmin, xmax);
    EXPECT_EQ(xmax, 1000);
    EXPECT_TRUE(app::Diagramm->Axes().RightAxisShown);
}

} // namespace
