// The main window with the virtual card's mixer, end to end: the chosen
// recording source and its volume reach the analyser's reading, changes made
// by another program move the bars, mixer support off touches nothing, and
// at the end only the program's own writes are undone.
#include "audio/capture.h"
#include "display/diagramwindow.h"
#include "generator/wavegen.h"
#include "widgets/radiogroup.h"
#include "support/appwindows.h"
#include "support/virtualmixertest.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <cmath>

using testsupport::kIdealCard;
using testsupport::Values;

namespace {

class MainWindowMixer : public testsupport::AppWindowsTest {
protected:
    QScrollBar *bar(const char *name) { return child<QScrollBar>(name); }

    // One single-mode analyser run; the left and right level of bin 93.
    std::pair<float, float> reading()
    {
        child<platform::RadioGroup>("RunningGroup")->setItemIndex(0);
        child<QPushButton>("StartButton")->click();
        EXPECT_TRUE(waitUntil([] { return !app::MS.AnalyserRunning && !audio::CaptureOpen(); }, 8000));
        return {app::Diagramm->Curves().Curve1()[93], app::Diagramm->Curves().Curve2()[93]};
    }
};

TEST_F(MainWindowMixer, TheChosenSourceAndItsVolumeReachTheReading)
{
    // A sine on bin 93 of 4096 points at 44100 Hz; dBV, calibrated at 100 %.
    start(kIdealCard + "SIGNAL=SINE\nSIGFREQ=1001.2939453125\nSIGLEVEL=-20\n",
          "[FFT]\nSAMPLES=4096\nWIN=8\nDBMODE=1\n[EICH]\nInLev4Cal=100\n");
    testsupport::OutsideMixer outside;
    form()->Mix[1]->trigger(); // "Line"
    EXPECT_EQ(form()->Mix[1]->text(), "Line");
    EXPECT_EQ(outside.get("Recording Source"), (Values{0, 1, 0}));
    EXPECT_EQ(child<QGroupBox>("GroupBox1")->title(), " Input: Line ");
    EXPECT_EQ(child<QLabel>("Wobinptxt")->text(), " Inp: Line ");
    EXPECT_EQ(child<QLabel>("Label15")->text(), "Pegel kalibriert");
    const auto full = reading();

    bar("ScrollBar3")->setValue(40);
    EXPECT_EQ(outside.get("Line Capture Volume"), Values{26214});
    EXPECT_EQ(child<QLabel>("Label15")->text(), "Pegel unkalibriert");
    const auto low = reading();
    EXPECT_NEAR(low.first - full.first, 20 * std::log10(0.4), 0.05);
    EXPECT_NEAR(low.second - full.second, 20 * std::log10(0.4), 0.05);
}

TEST_F(MainWindowMixer, ChangesMadeByAnotherProgramMoveTheBars)
{
    start(kIdealCard);
    testsupport::OutsideMixer outside;
    outside.set("Mic Capture Volume", {13107}); // 20 %
    EXPECT_TRUE(waitUntil([&] { return bar("ScrollBar3")->value() == 20; }));
    EXPECT_EQ(bar("ScrollBar1")->value(), 80);
    EXPECT_EQ(child<QLabel>("Label8")->text(), "20%");

    outside.set("Master Volume", {45874}); // 70 %
    EXPECT_TRUE(waitUntil([&] { return bar("ScrollBar2")->value() == 30; }));
    EXPECT_EQ(app::Wavegen->ScrollBar2->value(), 30);

    // Another source chosen elsewhere: the program follows it and its volume.
    outside.set("CD Capture Volume", {39321}); // 60 %
    outside.set("Recording Source", {0, 0, 1});
    EXPECT_TRUE(waitUntil([&] { return child<QGroupBox>("GroupBox1")->title() == " Input: CD "; }));
    EXPECT_EQ(bar("ScrollBar3")->value(), 60);
    EXPECT_TRUE(form()->Mix[2]->isChecked());
}

TEST_F(MainWindowMixer, SupportOffTouchesNothingAndTheEndUndoesOnlyTheProgramsWrites)
{
    start(kIdealCard, "[MIX]\nMIXON=0\n");
    testsupport::OutsideMixer outside;
    EXPECT_EQ(child<QAction>("MixerSupport1")->text(), "Mixer Support OFF");
    for (const char *name : {"ScrollBar1", "ScrollBar2", "ScrollBar3"})
        EXPECT_FALSE(bar(name)->isEnabled()) << name;
    EXPECT_FALSE(child<QMenu>("WaveInChannel1")->isEnabled());
    EXPECT_FALSE(app::Wavegen->ScrollBar2->isEnabled());
    EXPECT_EQ(child<QGroupBox>("GroupBox1")->title(), QString::fromUtf8(" Input: über System-Mixer "));
    // That nothing is written while support is off is the mixer's own test.

    // Switched on, the program writes; what it puts back at the end is the mixer's own test.
    outside.set("Master Volume", {30000}); // another program, while support is off
    child<QAction>("MixerSupport1")->trigger();
    EXPECT_EQ(child<QAction>("MixerSupport1")->text(), "Mixer Support ON");
    EXPECT_TRUE(bar("ScrollBar3")->isEnabled());
    EXPECT_EQ(outside.get("Master Volume"), Values{13107}); // the output volume, 20 %
    stop();
    EXPECT_EQ(outside.get("Master Volume"), Values{30000});
}

} // namespace
