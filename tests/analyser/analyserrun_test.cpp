// Runs of the analyser page on an unpaced ideal virtual card: single rounds
// with averaging, continuous runs until STOP, the trigger, the locks while
// running, channels switched off, page entry, the analysis menu toggles and
// a capture that cannot start.
#include "analyserfixture.h"

#include "audio/audioengine.h"
#include "dsp/analysis.h"
#include "dsp/dialogs/analysisdialog.h"
#include "dsp/fft.h"
#include "platform/radiogroup.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

using analysertest::AnalyserTest;
using analysertest::kIdealCard;
using app::MS;

namespace {

// A -20 dBFS sine on bin 93 of a 4096-point spectrum at 44100 Hz.
const std::string kSineOnBin93 = std::string(kIdealCard) + "SIGNAL=SINE\nSIGFREQ=1001.2939453125\nSIGLEVEL=-20\n";

} // namespace

TEST_F(AnalyserTest, SingleModeAveragesFourBlocksOnceAndStops)
{
    start(kSineOnBin93, "[FFT]\nSAMPLES=4096\n");
    child<platform::RadioGroup>("RunningGroup")->setItemIndex(0);
    QSpinBox *aver = child<QSpinBox>("AverVal");
    aver->setValue(4);
    std::vector<int> shown;
    QObject::connect(aver, &QSpinBox::valueChanged, [&shown](int v) { shown.push_back(v); });

    ASSERT_TRUE(runToEnd());
    // four captures: START's and three requested ones
    EXPECT_EQ(next.count, 3);
    EXPECT_EQ(shown, (std::vector<int>{3, 2, 1, 4}));
    EXPECT_EQ(aver->value(), 4);
    EXPECT_EQ(MS.AveragesLeft, 4);
    // the round's average replaced the spectrum and the sums start from zero
    EXPECT_TRUE(std::all_of(MS.LeftSum.begin(), MS.LeftSum.end(), [](float v) { return v == 0.0f; }));
    EXPECT_EQ(peakIndex(diagram()->Curves().Curve1(), 2048), 93);
    // a steady sine averages to itself: the same peak level as one block
    const float averaged = diagram()->Curves().Curve1()[93];
    aver->setValue(1);
    ASSERT_TRUE(runToEnd());
    EXPECT_NEAR(diagram()->Curves().Curve1()[93], averaged, 0.01);

    // nothing goes on afterwards
    const int before = next.count;
    QTest::qWait(50);
    EXPECT_EQ(next.count, before);
    EXPECT_FALSE(audio::CaptureOpen());
    EXPECT_TRUE(messages.empty());
}

TEST_F(AnalyserTest, ARunStoppedInTheMiddleOfARoundLeavesNothingInTheNextAverage)
{
    start(kSineOnBin93, "[FFT]\nSAMPLES=4096\nWIN=8\n[VOLUME]\nPEGFAK=8.685889638\nPEGOFS=12.283\n");
    child<platform::RadioGroup>("RunningGroup")->setItemIndex(0);
    child<QSpinBox>("AverVal")->setValue(4);
    child<QPushButton>("StartButton")->click();
    ASSERT_TRUE(waitUntil([this] { return next.count >= 2; }));
    child<QPushButton>("StopButton")->click();
    ASSERT_TRUE(waitUntil([] { return !audio::CaptureOpen(); }));
    EXPECT_EQ(child<QSpinBox>("AverVal")->value(), 4);
    // two or three blocks sit in the sums; a fresh round of four must not count them
    const float first = diagram()->Curves().Curve1()[93];
    next.count = 0;
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(next.count, 3);
    const float level = diagram()->Curves().Curve1()[93];
    EXPECT_NE(level, first); // drawn by the second run
    EXPECT_NEAR(level, -20.0, 0.05);
}

TEST_F(AnalyserTest, ContinuousModeRedrawsEveryBlockUntilStopAndLocksWhileRunning)
{
    start(kSineOnBin93, "[FFT]\nSAMPLES=4096\n");
    EXPECT_EQ(MS.RunMode, 1);
    auto *sizes = child<platform::RadioGroup>("FFTpointsgroup");
    auto *aver = child<QSpinBox>("AverVal");
    auto *binpopt = child<QPushButton>("Binpopt");
    auto *calibration = child<QAction>("Eichen1");
    auto *inParams = child<QAction>("AudioInParameter1");

    child<QPushButton>("StartButton")->click();
    EXPECT_TRUE(MS.AnalyserRunning);
    EXPECT_FALSE(sizes->isEnabled());
    EXPECT_FALSE(aver->isEnabled());
    EXPECT_FALSE(binpopt->isEnabled());
    EXPECT_FALSE(calibration->isEnabled());
    EXPECT_FALSE(inParams->isEnabled());

    ASSERT_TRUE(waitUntil([this] { return next.count >= 3; }));
    // every block is drawn: cleared curves come back with the next block
    for (int round = 0; round < 2; ++round) {
        diagram()->ClearCurves();
        ASSERT_EQ(diagram()->Curves().Curve1()[93], 0.0f);
        ASSERT_TRUE(waitUntil([this] { return diagram()->Curves().Curve1()[93] < -5.0f; }));
    }
    EXPECT_TRUE(MS.AnalyserRunning);

    child<QPushButton>("StopButton")->click();
    EXPECT_FALSE(MS.AnalyserRunning);
    ASSERT_TRUE(waitUntil([] { return !audio::CaptureOpen(); }));
    QTest::qWait(20);
    const int stoppedAt = next.count;
    QTest::qWait(50);
    EXPECT_EQ(next.count, stoppedAt);
    EXPECT_FALSE(audio::CaptureOpen());
    EXPECT_TRUE(sizes->isEnabled());
    EXPECT_TRUE(aver->isEnabled());
    EXPECT_TRUE(binpopt->isEnabled());
    EXPECT_TRUE(calibration->isEnabled());
    EXPECT_TRUE(inParams->isEnabled());
    EXPECT_TRUE(messages.empty());
}

TEST_F(AnalyserTest, TriggerModeCapturesUntilTheMeanLevelReachesTheThreshold)
{
    // threshold 0 dB: a -20 dBFS sine never reaches it
    start(kSineOnBin93, "[FFT]\nSAMPLES=4096\n[ANALYSE]\nFUNDLOW=1\n");
    auto *aver = child<QSpinBox>("AverVal");
    aver->setValue(5);
    child<platform::RadioGroup>("RunningGroup")->setItemIndex(2);
    EXPECT_EQ(MS.RunMode, 2);
    EXPECT_EQ(MS.Averages, 1);
    EXPECT_EQ(aver->value(), 1);

    child<QPushButton>("StartButton")->click();
    ASSERT_TRUE(waitUntil([this] { return next.count >= 3; }));
    EXPECT_TRUE(MS.AnalyserRunning);
    const QString line = diagram()->StatusText();
    EXPECT_TRUE(line.startsWith("act. level ")) << line.toStdString();
    EXPECT_TRUE(line.endsWith("    trigg level 0.0dbFS")) << line.toStdString();
    // the mean of the two band levels, as the analysis computes them
    const double mean = line.mid(11, line.indexOf("dbFS") - 11).toDouble();
    dsp::SpectrumAnalysis &a = dsp::UnitAnalysis();
    const double expected = (a.bandLevel(MS.LeftSpectrum.data(), 0.0, dsp::kLnToDb) +
                             a.bandLevel(MS.RightSpectrum.data(), 0.0, dsp::kLnToDb)) / 2.0;
    EXPECT_NEAR(mean, expected, 0.006);
    EXPECT_LT(mean, -15.0);

    // a threshold of -40 dB is reached by the next block: the run stops and the spectrum stays
    a.settings().threshold = 0.01;
    ASSERT_TRUE(waitUntil([] { return !MS.AnalyserRunning; }));
    EXPECT_TRUE(diagram()->StatusText().endsWith("    trigg level -40.0dbFS"));
    const int stoppedAt = next.count;
    QTest::qWait(50);
    EXPECT_EQ(next.count, stoppedAt);
    EXPECT_EQ(peakIndex(diagram()->Curves().Curve1(), 2048), 93);
}

TEST_F(AnalyserTest, AChannelSwitchedOffIsDrawnAtMinus192)
{
    start(kSineOnBin93, "[FFT]\nSAMPLES=4096\n");
    child<platform::RadioGroup>("RunningGroup")->setItemIndex(0);
    child<QCheckBox>("MeasureRight")->setChecked(false);
    EXPECT_FALSE(MS.MeasureRightOn);
    ASSERT_TRUE(runToEnd());
    const float *right = diagram()->Curves().Curve2();
    EXPECT_TRUE(std::all_of(right, right + 2048, [](float v) { return v == -192.0f; }));
    EXPECT_FALSE(diagram()->Options().ShowK2);
    EXPECT_TRUE(diagram()->Options().ShowK1);
    EXPECT_EQ(peakIndex(diagram()->Curves().Curve1(), 2048), 93);
}

TEST_F(AnalyserTest, SilenceIsDrawnAtMinus192InEveryUnitAndWithCorrection)
{
    start(kIdealCard, "[FFT]\nSAMPLES=2048\n");
    std::string cor = testsupport::ScratchDir("silence") + "/in.cor";
    testsupport::WriteFile(cor, "20 5\n1000 5\n20000 5\n");
    ASSERT_TRUE(form()->LoadCorrection(true, cor));
    child<QAction>("dbu1")->trigger();
    child<platform::RadioGroup>("RunningGroup")->setItemIndex(0);
    ASSERT_TRUE(runToEnd());
    const float *left = diagram()->Curves().Curve1();
    const float *right = diagram()->Curves().Curve2();
    EXPECT_TRUE(std::all_of(left, left + 1024, [](float v) { return v == -192.0f; }));
    EXPECT_TRUE(std::all_of(right, right + 1024, [](float v) { return v == -192.0f; }));
    EXPECT_EQ(child<QLabel>("Label2")->text(), ".");
}

TEST_F(AnalyserTest, PageEntryWithAStoredSizeOf1024Selects2048)
{
    start(kIdealCard, "[FFT]\nSAMPLES=1024\nWIN=2\n");
    EXPECT_EQ(MS.FftSize, 2048);
    EXPECT_EQ(child<platform::RadioGroup>("FFTpointsgroup")->itemIndex(), 0);
    EXPECT_EQ(dsp::UnitSpectrumTransform().windowSize(), 2048);
    EXPECT_EQ(dsp::UnitSpectrumTransform().windowType(), 2);
    EXPECT_EQ(diagram()->GetPointCount(), 1024);
    EXPECT_TRUE(diagram()->isVisible());
    EXPECT_EQ(diagram()->YCaption(), "Level [dB FS]");
    EXPECT_TRUE(child<QLabel>("Ldb")->text().startsWith("16 Bit"));
    EXPECT_TRUE(child<QAction>("dbFS1")->isChecked());

    // other sizes follow the group and rebuild the window table
    child<platform::RadioGroup>("FFTpointsgroup")->setItemIndex(3);
    EXPECT_EQ(MS.FftSize, 16384);
    EXPECT_EQ(dsp::UnitSpectrumTransform().windowSize(), 16384);

    // leaving the page releases the buffers and hides the diagram
    child<QTabWidget>("PageControl1")->setCurrentIndex(2);
    EXPECT_TRUE(MS.LeftSpectrum.empty());
    EXPECT_FALSE(MS.AnalyserPageShown);
    EXPECT_FALSE(diagram()->isVisible());
}

TEST_F(AnalyserTest, PageEntryRepairsEmptyRangesAndLeavingKeepsTheDiagramsRanges)
{
    start(kIdealCard, "[FFT]\nDIAYMIN=-20\nDIAYMAX=-30\nDIAXMIN=5000\nDIAXMAX=100\n");
    EXPECT_EQ(MS.AnalyserRange.LevelMax, 0.0f);
    EXPECT_EQ(MS.AnalyserRange.LevelMin, -110.0f);
    EXPECT_EQ(MS.AnalyserRange.FreqMin, 10);
    EXPECT_EQ(MS.AnalyserRange.FreqMax, 24000);
    std::int32_t xmin = 0, xmax = 0;
    float ymin = 0, ymax = 0;
    diagram()->GetXRange(xmin, xmax);
    diagram()->GetYRange(ymin, ymax);
    EXPECT_EQ(xmin, 10);
    EXPECT_EQ(xmax, 24000);
    EXPECT_EQ(ymin, -110.0f);
    EXPECT_EQ(ymax, 0.0f);

    // ranges the user set on the diagram go back into the analyser's record
    diagram()->SetXRange(20, 20000);
    diagram()->SetYRange(-10.0f, -80.0f);
    child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    EXPECT_EQ(MS.AnalyserRange.FreqMin, 20);
    EXPECT_EQ(MS.AnalyserRange.FreqMax, 20000);
    EXPECT_EQ(MS.AnalyserRange.LevelMin, -80.0f);
    EXPECT_EQ(MS.AnalyserRange.LevelMax, -10.0f);
}

TEST_F(AnalyserTest, ThdAndLevelMenuItemsExcludeEachOtherAndParametersOpenTheDialog)
{
    start(kIdealCard, "[ANALYSE]\nTHDMESS=TRUE\nNOISEMESS=FALSE\nFVON=250\n");
    QAction *thd = child<QAction>("THDN1");
    QAction *level = child<QAction>("Noise1");
    EXPECT_TRUE(thd->isChecked());
    EXPECT_FALSE(level->isChecked());
    diagram()->SetStatusText("old line");
    level->trigger();
    EXPECT_TRUE(dsp::UnitAnalysis().settings().noiseMess);
    EXPECT_FALSE(dsp::UnitAnalysis().settings().thdMess);
    EXPECT_FALSE(thd->isChecked());
    EXPECT_TRUE(level->isChecked());
    EXPECT_EQ(diagram()->StatusText(), "");
    thd->trigger();
    EXPECT_TRUE(dsp::UnitAnalysis().settings().thdMess);
    EXPECT_FALSE(dsp::UnitAnalysis().settings().noiseMess);
    EXPECT_FALSE(level->isChecked());
    thd->trigger();
    EXPECT_FALSE(dsp::UnitAnalysis().settings().thdMess);
    EXPECT_FALSE(dsp::UnitAnalysis().settings().noiseMess);
    EXPECT_FALSE(thd->isChecked());

    // the dialog opens filled from the settings; cancelling keeps them
    QString lowShown;
    QTimer::singleShot(0, [&lowShown] {
        lowShown = app::Analy->Edit1->text();
        app::Analy->BitBtn2->click();
    });
    child<QAction>("Parameter1")->trigger();
    EXPECT_EQ(lowShown, "250");
    EXPECT_EQ(dsp::UnitAnalysis().settings().lowFreq, 250);
}

TEST_F(AnalyserTest, ACaptureThatCannotStartStopsTheRunWithTheStartMessage)
{
    // the card takes 16-bit samples only; 8 bits are refused
    start(std::string(kIdealCard) + "FORMATS=16:44100\n", "[MAIN]\nSPRACHE=E\n");
    audio::SetBits(8, 0);
    child<QPushButton>("StartButton")->click();
    EXPECT_FALSE(MS.AnalyserRunning);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, platform::MessageKind::Error);
    EXPECT_TRUE(messages[0].withHelp);
    EXPECT_EQ(messages[0].helpContext, 17);
    EXPECT_TRUE(messages[0].text.startsWith("Problems while Start Sampling (")) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.endsWith(")"));
    EXPECT_TRUE(child<QPushButton>("Binpopt")->isEnabled());
    QTest::qWait(20);
    EXPECT_EQ(next.count, 0);
}
