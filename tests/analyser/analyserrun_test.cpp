// Runs of the analyser page on an unpaced ideal virtual card: single rounds
// with averaging, continuous runs until STOP, the trigger, the locks while
// running, channels switched off, page entry, the analysis menu toggles and
// a capture that cannot start.
#include "analyserfixture.h"
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "dsp/analysis.h"
#include "dialogs/analysisdialog.h"
#include "dsp/fft.h"
#include "generator/wavegen.h"
#include "support/spectrumref.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <cmath>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

using analysertest::AnalyserTest;
using analysertest::kIdealCard;
using app::MS;

namespace {

// A -20 dBFS sine on bin 93 of a 4096-point spectrum at 44100 Hz.
const std::string kSineOnBin93 = kIdealCard + "SIGNAL=SINE\nSIGFREQ=1001.2939453125\nSIGLEVEL=-20\n";

bool AllAt(const float *curve, int count, float level)
{
    return std::all_of(curve, curve + count, [level](float v) { return v == level; });
}

} // namespace

TEST_F(AnalyserTest, SingleModeAveragesFourBlocksOnceAndStops)
{
    start(kSineOnBin93, "[FFT]\nSAMPLES=4096\n");
    QSpinBox *aver = child<QSpinBox>("AverVal");
    aver->setValue(4);
    std::vector<int> shown;
    QObject::connect(aver, &QSpinBox::valueChanged, [&shown](int v) { shown.push_back(v); });

    ASSERT_TRUE(runOnce());
    EXPECT_EQ(next.count, 3); // four captures: START's and three requested ones
    EXPECT_EQ(shown, (std::vector<int>{3, 2, 1, 4}));
    EXPECT_EQ(MS.AveragesLeft, 4);
    const std::vector<float> &sum = form()->Analyser()->Round().LeftSum();
    EXPECT_TRUE(AllAt(sum.data(), int(sum.size()), 0.0f)); // the next round starts from zero
    EXPECT_EQ(peakIndex(diagram()->Curves().Curve1(), 2048), 93);
    // a steady sine averages to itself
    const float averaged = diagram()->Curves().Curve1()[93];
    aver->setValue(1);
    ASSERT_TRUE(runToEnd());
    EXPECT_NEAR(diagram()->Curves().Curve1()[93], averaged, 0.01);

    QTest::qWait(50); // nothing goes on afterwards
    EXPECT_EQ(next.count, 3);
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
    diagram()->ClearCurves();
    QTest::qWait(20); // a request posted before STOP is still delivered; it must not count below
    next.count = 0;
    // START again while the countdown shows 3: the run goes on unchanged
    auto *averVal = child<QSpinBox>("AverVal");
    const auto again = QObject::connect(averVal, &QSpinBox::valueChanged, [this](int v) {
        if (v == 3)
            child<QPushButton>("StartButton")->click();
    });
    child<QPushButton>("StartButton")->click();
    ASSERT_TRUE(waitUntil([] { return !app::MS.AnalyserRunning; }) && waitUntil([] { return !audio::CaptureOpen(); }));
    EXPECT_EQ(next.count, 3);
    QObject::disconnect(again);
    EXPECT_EQ(MS.Averages, 4);
    EXPECT_NEAR(diagram()->Curves().Curve1()[93], -20.0, 0.05); // drawn by the second run
}

TEST_F(AnalyserTest, ContinuousModeRedrawsEveryBlockUntilStopAndLocksWhileRunning)
{
    start(kSineOnBin93, "[FFT]\nSAMPLES=4096\n");
    EXPECT_EQ(MS.RunMode, 1);
    // the controls that change the capture are locked while it runs
    const std::vector<QObject *> locks = {child<platform::RadioGroup>("FFTpointsgroup"), child<QSpinBox>("AverVal"),
                                          child<QPushButton>("Binpopt"), child<QAction>("Eichen1"),
                                          child<QAction>("AudioInParameter1")};
    auto enabled = [&] {
        return std::count_if(locks.begin(), locks.end(), [](QObject *o) { return o->property("enabled").toBool(); });
    };

    child<QPushButton>("StartButton")->click();
    EXPECT_TRUE(MS.AnalyserRunning);
    EXPECT_EQ(enabled(), 0);
    ASSERT_TRUE(waitUntil([this] { return next.count >= 3; }));
    for (int round = 0; round < 2; ++round) { // cleared curves come back with the next block
        diagram()->ClearCurves();
        ASSERT_TRUE(waitUntil([this] { return diagram()->Curves().Curve1()[93] < -5.0f; }));
    }
    child<QPushButton>("StopButton")->click();
    EXPECT_FALSE(MS.AnalyserRunning);
    ASSERT_TRUE(waitUntil([] { return !audio::CaptureOpen(); }));
    QTest::qWait(20);
    const int stoppedAt = next.count;
    QTest::qWait(50);
    EXPECT_EQ(next.count, stoppedAt);
    EXPECT_FALSE(audio::CaptureOpen());
    EXPECT_EQ(enabled(), 5);
    EXPECT_TRUE(messages.empty());
}

TEST_F(AnalyserTest, TriggerModeCapturesUntilTheMeanLevelReachesTheThreshold)
{
    start(kSineOnBin93, "[FFT]\nSAMPLES=4096\nWIN=0\n[ANALYSE]\nFUNDLOW=1\n"); // 0 dB: never reached
    auto *aver = child<QSpinBox>("AverVal");
    aver->setValue(5);
    child<platform::RadioGroup>("RunningGroup")->setItemIndex(2);
    EXPECT_EQ(MS.Averages, 1); // the trigger takes single blocks
    EXPECT_EQ(aver->value(), 1);

    child<QPushButton>("StartButton")->click();
    ASSERT_TRUE(waitUntil([this] { return next.count >= 3; }));
    EXPECT_TRUE(MS.AnalyserRunning);
    const QString line = diagram()->StatusText();
    EXPECT_TRUE(line.startsWith("act. level ")) << line.toStdString();
    EXPECT_TRUE(line.endsWith("    trigg level 0.0dbFS")) << line.toStdString();
    // The mean of two equal band levels of the 0.1 sine, as every window reads it.
    EXPECT_NEAR(line.mid(11, line.indexOf("dbFS") - 11).toDouble(),
                20.0 * std::log10(0.1 * testsupport::DefaultWindowRms() / 2.0) + 8.17, 0.01);

    // -40 dB is reached by the next block: the run stops and the spectrum stays
    dsp::UnitAnalysis().settings().threshold = 0.01;
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
    child<QCheckBox>("MeasureRight")->setChecked(false);
    ASSERT_TRUE(runOnce());
    EXPECT_TRUE(AllAt(diagram()->Curves().Curve2(), 2048, -192.0f));
    EXPECT_FALSE(diagram()->Options().ShowK2);
    EXPECT_TRUE(diagram()->Options().ShowK1);
    EXPECT_EQ(peakIndex(diagram()->Curves().Curve1(), 2048), 93);
}

TEST_F(AnalyserTest, SilenceIsDrawnAtMinus192InEveryUnitAndWithCorrection)
{
    start(kIdealCard, "[FFT]\nSAMPLES=2048\n");
    const std::string cor = testsupport::ScratchDir("silence") + "/in.cor";
    testsupport::WriteFile(cor, "20 5\n1000 5\n20000 5\n");
    ASSERT_TRUE(form()->LoadCorrection(true, cor));
    child<QAction>("dbu1")->trigger();
    ASSERT_TRUE(runOnce());
    EXPECT_TRUE(AllAt(diagram()->Curves().Curve1(), 1024, -192.0f));
    EXPECT_TRUE(AllAt(diagram()->Curves().Curve2(), 1024, -192.0f));
    EXPECT_EQ(child<QLabel>("Label2")->text(), ".");
}

TEST_F(AnalyserTest, PageEntryTakes2048ForAStoredSizeOf1024AndLeavingReleasesTheBuffers)
{
    start(kIdealCard, "[FFT]\nSAMPLES=1024\nWIN=2\n");
    EXPECT_EQ(MS.FftSize, 2048);
    EXPECT_EQ(child<platform::RadioGroup>("FFTpointsgroup")->itemIndex(), 0);
    EXPECT_EQ(form()->Analyser()->Round().Size(), 65536u);
    EXPECT_EQ(form()->Analyser()->Round().Transform().windowSize(), 2048);
    EXPECT_EQ(form()->Analyser()->Round().Transform().windowType(), 2);
    EXPECT_EQ(child<platform::RadioGroup>("FFTwinGroup")->itemIndex(), 2);
    EXPECT_EQ(diagram()->GetPointCount(), 1024);
    EXPECT_TRUE(diagram()->isVisible());

    child<platform::RadioGroup>("FFTpointsgroup")->setItemIndex(3); // rebuilds the window table
    EXPECT_EQ(MS.FftSize, 16384);
    EXPECT_EQ(form()->Analyser()->Round().Transform().windowSize(), 16384);

    child<QTabWidget>("PageControl1")->setCurrentIndex(2);
    EXPECT_FALSE(form()->Analyser()->Round().Allocated());
    EXPECT_FALSE(MS.AnalyserPageShown);
    EXPECT_FALSE(diagram()->isVisible());
}

TEST_F(AnalyserTest, PageEntryRepairsEmptyRangesAndLeavingKeepsTheDiagramsRanges)
{
    start(kIdealCard, "[FFT]\nDIAYMIN=-20\nDIAYMAX=-30\nDIAXMIN=5000\nDIAXMAX=100\n");
    const auto &range = MS.AnalyserRange;
    EXPECT_EQ(range.LevelMax, 0.0f);
    EXPECT_EQ(range.LevelMin, -110.0f);
    EXPECT_EQ(range.FreqMin, 10);
    EXPECT_EQ(range.FreqMax, 24000);
    std::int32_t xmin = 0, xmax = 0;
    float ymin = 0, ymax = 0;
    diagram()->GetXRange(xmin, xmax);
    diagram()->GetYRange(ymin, ymax);
    EXPECT_EQ(std::vector<float>({float(xmin), float(xmax), ymin, ymax}), std::vector<float>({10, 24000, -110, 0}));

    // ranges the user set on the diagram go back into the analyser's record
    diagram()->SetXRange(20, 20000);
    diagram()->SetYRange(-10.0f, -80.0f);
    child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    EXPECT_EQ(std::vector<float>({float(range.FreqMin), float(range.FreqMax), range.LevelMin, range.LevelMax}),
              std::vector<float>({20, 20000, -80, -10}));
}

TEST_F(AnalyserTest, ThdAndLevelMenuItemsExcludeEachOtherAndParametersOpenTheDialog)
{
    start(kIdealCard, "[ANALYSE]\nTHDMESS=TRUE\nNOISEMESS=FALSE\nFVON=250\n");
    QAction *thd = child<QAction>("THDN1");
    QAction *level = child<QAction>("Noise1");
    const dsp::AnalysisSettings &s = dsp::UnitAnalysis().settings();
    EXPECT_TRUE(thd->isChecked());
    EXPECT_FALSE(level->isChecked());
    diagram()->SetStatusText("old line");
    level->trigger();
    EXPECT_TRUE(s.noiseMess && level->isChecked());
    EXPECT_FALSE(s.thdMess || thd->isChecked());
    EXPECT_EQ(diagram()->StatusText(), "");
    thd->trigger();
    EXPECT_TRUE(s.thdMess);
    EXPECT_FALSE(s.noiseMess || level->isChecked());
    thd->trigger();
    EXPECT_FALSE(s.thdMess || s.noiseMess || thd->isChecked());

    // the dialog opens filled from the settings; cancelling keeps them
    QString lowShown;
    QTimer::singleShot(0, [&lowShown] {
        lowShown = app::Analy->Edit1->text();
        app::Analy->BitBtn2->click();
    });
    child<QAction>("Parameter1")->trigger();
    EXPECT_EQ(lowShown, "250");
    EXPECT_EQ(s.lowFreq, 250);
}

TEST_F(AnalyserTest, ACaptureThatCannotStartStopsTheRunWithTheStartMessage)
{
    start(kIdealCard + "FORMATS=16:44100\n", "[MAIN]\nSPRACHE=E\n"); // 16-bit samples only
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

// A card that goes away halfway through the fourth block, while the
// generator streams: the analyser ends with the card's reason and the
// generator window says its output stopped. No hang either way.
TEST_F(AnalyserTest, ACardThatVanishesEndsTheRunAndTheGeneratorWithTheirMessages)
{
    start(kIdealCard + "VANISH=3\n", "[FFT]\nSAMPLES=4096\n[GEN]\nBELOOP=0\n");
    app::Wavegen->GstartClick();
    ASSERT_TRUE(app::Wavegen->Running());
    child<QPushButton>("StartButton")->click();
    ASSERT_TRUE(waitUntil([] { return !MS.AnalyserRunning; }, 30000));
    ASSERT_TRUE(waitUntil([this] { return messages.size() >= 2; }, 30000));
    const QString lost = QString::fromStdString(audio::ErrorText(audio::DEVICE_LOST));
    auto shown = [this](const std::function<bool(const QString &)> &match) {
        return std::count_if(messages.begin(), messages.end(), [&](const auto &m) { return match(m.text); });
    };
    EXPECT_EQ(shown([&](const QString &t) { return t == "Probleme beim Beginn Samplen (" + lost + ")"; }), 1);
    EXPECT_EQ(shown([](const QString &t) { return t.startsWith("Fehler bei Frequenzausgabe ("); }), 1);
    EXPECT_FALSE(app::Wavegen->Running());
}

// Formats the card lists but fails to open, or to take buffers in.
TEST_F(AnalyserTest, AFormatThatFailsToOpenOrPrepareIsReported)
{
    start(kIdealCard + "FAILOPEN=16:44100\nFAILPREPARE=16:48000\n", "[FFT]\nSAMPLES=4096\n");
    child<QPushButton>("StartButton")->click();
    EXPECT_FALSE(MS.AnalyserRunning);
    audio::SetRates(48000, 48000);
    app::Wavegen->GstartClick();
    EXPECT_FALSE(app::Wavegen->Running());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Probleme beim Sample (" + QString::fromStdString(audio::ErrorText(1)) + ")");
    EXPECT_EQ(messages[1].text, "Fehler bei Frequenzausgabe (" + QString::fromStdString(audio::ErrorText(7)) + " )");
}

