// Runs of the oscilloscope page on unpaced virtual cards: the rate chosen for
// a timebase on cards with format lists, the test sine of an ideal card
// exported sweep after sweep (trigger, slope, level, X-Y), the input format
// a visit borrows, a start that finds a capture open, Save as text and Copy.
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "display/scopewindow.h"
#include "widgets/spinbutton.h"
#include "platform/inifile.h"
#include "platform/runtime/messages.h"
#include "widgets/radiogroup.h"
#include "support/appwindows.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <array>
#include <cmath>
#include <sstream>

using app::MS;

namespace {

using testsupport::kIdealCard;
using Rows = std::vector<std::array<double, 3>>; // ms, channel 1 mV, channel 2 mV

class ScopePageTest : public testsupport::AppWindowsTest {
protected:
    testsupport::MessageCounter next{platform::WM_SCOPE_NEXT};

    void start(const std::string &loopback, const std::string &sections = {})
    {
        AppWindowsTest::start(loopback, sections);
        form()->installEventFilter(&next);
    }
    // Waits until n more sweeps have been requested, so that n - 1 blocks
    // were processed after the call.
    bool sweeps(int n)
    {
        const int target = next.count + n;
        return waitUntil([&] { return next.count >= target; });
    }
    void timebase(int index)
    {
        auto *spin = child<SpinButton>("SpinButton3");
        while (MS.Scope.TimebaseIndex != index)
            MS.Scope.TimebaseIndex < index ? emit spin->upClick() : emit spin->downClick();
        ASSERT_TRUE(waitUntil([index] { return MS.Scope.LastTimebase == index; }));
    }
    Rows exported()
    {
        const std::string file = testsupport::ScratchDir("export") + "/scope.txt";
        EXPECT_EQ(form()->SaveResultsAsText(QString::fromStdString(file)), 0);
        std::istringstream in(testsupport::ReadFile(file));
        Rows rows;
        char comma;
        for (std::array<double, 3> r; in >> r[0] >> comma >> r[1] >> comma >> r[2];)
            rows.push_back(r);
        return rows;
    }
};

TEST_F(ScopePageTest, TheTimebaseTakesTheClassicRatesOrTheLowestTheCardOffersAboveThem)
{
    struct Case {
        const char *formats;
        int timebase, rate, samples;
    };
    const char *classic = "16:8000,16:11025,16:22050,16:44100";
    const Case cases[] = {{classic, 9, 11025, 2448},          {classic, 8, 11025, 1300},
                          {classic, 7, 22050, 1024},          {classic, 6, 44100, 1024},
                          {classic, 2, 44100, 1024},          {"16:8000,16:22050,16:44100", 9, 8000, 2448},
                          {"16:48000", 9, 48000, 9600},       {"16:48000", 6, 48000, 1024},
                          {"16:48000", 1, 48000, 1024}};
    std::string card;
    for (const Case &c : cases) {
        if (card != c.formats) {
            if (form()) {
                form()->close();
                app::DestroyWindows();
            }
            card = c.formats;
            start("FORMATS=" + card + "\n", "[MAIN]\nPAGE=2\n[OSZI]\nTB=9\n");
        }
        timebase(c.timebase);
        EXPECT_EQ(MS.Scope.SampleRate, c.rate) << card << " timebase " << c.timebase;
        EXPECT_EQ(MS.Scope.SamplesPerSweep, c.samples) << card << " timebase " << c.timebase;
        ASSERT_TRUE(sweeps(2)); // blocks come at that rate
        EXPECT_EQ(child<QLabel>("Label12")->text(), QString::number(c.rate) + "Hz");
    }
}

TEST_F(ScopePageTest, ATriggeredSineStandsStillOnItsCurveInEverySweep)
{
    start(kIdealCard + "SIGNAL=SINE\nSIGFREQ=1050\nSIGLEVEL=-6\n",
          "[MAIN]\nPAGE=2\n[OSZI]\nTB=6\nDIV1=10\nDIV2=10\nyposCh1=4\nyposCh2=2\n");
    // 497 mV RMS at full scale: a full-scale peak of 703 mV, so 352.2 mV here.
    const double a = std::sqrt(2.0) * 497.0 * std::pow(10.0, -6.0 / 20.0);
    const double w = 2.0 * M_PI * 1050.0 / 44100.0;                          // per sample: 42 samples a period
    const double step = a * w; // the sine's largest change in one sample, mV
    for (int sweep = 0; sweep < 5; ++sweep) {
        ASSERT_TRUE(sweeps(2));
        const Rows rows = exported();
        ASSERT_EQ(rows.size(), 512u);
        EXPECT_GT(rows[0][1], 0.0) << "sweep " << sweep;
        EXPECT_LT(rows[0][1], step) << "sweep " << sweep;
        // phase by least squares on sin and cos of the sample index
        double ss = 0, cc = 0, sc = 0, bs = 0, bc = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const double s = std::sin(w * double(i)), c = std::cos(w * double(i));
            ss += s * s, cc += c * c, sc += s * c, bs += rows[i][1] * s, bc += rows[i][1] * c;
        }
        const double phase = std::atan2(bc * ss - bs * sc, bs * cc - bc * sc);
        double worstTime = 0, worst1 = 0, worst2 = 0;
        int lastCrossing = -1, crossings = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const double expected = a * std::sin(w * double(i) + phase);
            worstTime = std::max(worstTime, std::abs(rows[i][0] - double(i) * 1000.0 / 44100.0));
            worst1 = std::max(worst1, std::abs(rows[i][1] - expected));
            worst2 = std::max(worst2, std::abs(rows[i][2] - expected));
            if (i > 0 && rows[i - 1][1] <= 0.0 && rows[i][1] > 0.0) {
                if (lastCrossing >= 0) {
                    EXPECT_NEAR(int(i) - lastCrossing, 42, 1);
                }
                lastCrossing = int(i);
                ++crossings;
            }
        }
        EXPECT_LT(worstTime, 0.0006);
        EXPECT_LT(worst1, 1.0) << "sweep " << sweep;
        EXPECT_LT(worst2, 1.0) << "sweep " << sweep;
        EXPECT_GE(crossings, 11);
    }

    child<QCheckBox>("CheckBox2")->setChecked(false); // falling slope
    ASSERT_TRUE(sweeps(2));
    Rows rows = exported();
    EXPECT_LT(rows[0][1], 0.0);
    EXPECT_GT(rows[0][1], -step);
    EXPECT_LT(rows[1][1], rows[0][1]);

    child<QCheckBox>("CheckBox2")->setChecked(true);
    child<QScrollBar>("SCRtrig")->setValue(-100); // +1 division: 100 mV
    ASSERT_TRUE(sweeps(2));
    rows = exported();
    EXPECT_GT(rows[0][1], 100.0);
    EXPECT_LT(rows[0][1], 100.0 + step);
    EXPECT_GT(rows[1][1], rows[0][1]);

    child<QCheckBox>("CheckBox3")->setChecked(true); // channel 2 on ground: a flat line at its position
    ASSERT_TRUE(sweeps(2));
    rows = exported();
    EXPECT_TRUE(std::all_of(rows.begin(), rows.end(), [](const auto &r) { return r[2] == 0.0; }));
    child<QCheckBox>("CheckBox3")->setChecked(false);

    // X-Y: the horizontal value is -1 - channel 2 in divisions, so equal
    // signals give -1000 * (1 + 2 div) - channel 1 mV / (0.1 V/div) in the
    // first column
    timebase(1);
    ASSERT_TRUE(sweeps(2));
    rows = exported();
    double lowest = 0, highest = 0, worst = 0;
    for (const auto &r : rows) {
        worst = std::max(worst, std::abs(r[0] - (-3000.0 - 10.0 * r[1])));
        lowest = std::min(lowest, r[1]);
        highest = std::max(highest, r[1]);
    }
    EXPECT_LT(worst, 0.05);
    EXPECT_GT(highest - lowest, 600.0);
}

TEST_F(ScopePageTest, ACalibratedSinePeaksOnTheVoltageCursorsThreeDecibelsAboveItsAnalyserLevel)
{
    // 1000 mV RMS at full scale; the card's -6 dBFS test sine at 250 Hz, 176
    // frames a period. The analyser reads its RMS volts in dBV.
    start(kIdealCard + "SIGNAL=SINE\nSIGFREQ=250\nSIGLEVEL=-6\n",
          "[MAIN]\nPAGE=0\nSPRACHE=E\n[EICH]\nINPUT=1000\n[FFT]\nDBMODE=1\n[ANALYSE]\nNOISEMESS=TRUE\n"
          "[OSZI]\nTB=6\nDIV1=11\nyposCh1=4\nyposCh2=7.9\nGND2=TRUE\nWIDTH=500\nHEIGHT=1000\n");
    child<platform::RadioGroup>("RunningGroup")->setItemIndex(0);
    child<QPushButton>("StartButton")->click();
    ASSERT_TRUE(waitUntil([] { return !MS.AnalyserRunning; }, 8000));
    const QString line = app::Diagramm->StatusText();
    const QRegularExpressionMatch level = QRegularExpression(R"(^Level:  le (-?\d+\.\d\d) \|)").match(line);
    ASSERT_TRUE(level.hasMatch()) << line.toStdString();

    // Channel 1 at 200 mV/div spans 7 divisions, channel 2 is a flat line
    // above it. The voltage cursors from its highest to its lowest pixel.
    child<QTabWidget>("PageControl1")->setCurrentIndex(2);
    ASSERT_TRUE(sweeps(3));
    child<QPushButton>("OsziStartStop")->click();
    const QImage &screen = app::Oszidia->Bitmap();
    int top = screen.height(), bottom = -1;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x)
            if (screen.pixelColor(x, y) == QColor(255, 0, 0))
                top = std::min(top, y), bottom = std::max(bottom, y);
    ASSERT_GT(bottom - top, 400);
    for (const auto &[type, held, y] : {std::tuple{QEvent::MouseButtonPress, Qt::RightButton, top},
                                        std::tuple{QEvent::MouseMove, Qt::RightButton, bottom}}) {
        QMouseEvent e(type, QPointF(100, y), app::Oszidia->mapToGlobal(QPointF(100, y)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::RightButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(app::Oszidia, &e);
    }
    const QString readout = app::Oszidia->Label2->text(); // peak to peak
    ASSERT_TRUE(readout.endsWith("mV")) << readout.toStdString();
    EXPECT_NEAR(20.0 * std::log10(readout.chopped(2).toDouble() / 2000.0), level.captured(1).toDouble() + 3.01, 0.1);
}

TEST_F(ScopePageTest, AVisitBorrowsSixteenBitsAndGivesTheFormatBackAfterTheBlockInFlight)
{
    start(kIdealCard, "[SDSOUND]\nVirtual_loopback_1db=32\nVirtual_loopback_1sf=96000\n");
    auto format = [] {
        int rate = 0, bits = 0, out = 0;
        audio::GetRates(rate, out);
        audio::GetBits(bits, out);
        return std::pair(bits, rate);
    };
    ASSERT_EQ(format(), std::pair(24, 96000));
    auto *pages = child<QTabWidget>("PageControl1");
    pages->setCurrentIndex(2);
    EXPECT_EQ(format(), std::pair(16, 44100));
    EXPECT_FALSE(child<QAction>("Eichen1")->isEnabled());
    app::Oszidia->move(40, 50); // the user moves the window: the settings keep where
    ASSERT_TRUE(waitUntil([] { return audio::CaptureOpen(); }));
    pages->setCurrentIndex(0);
    // the block was finished at 16 bits before the format went back
    EXPECT_FALSE(audio::CaptureOpen() || audio::CaptureQueued());
    EXPECT_EQ(format(), std::pair(24, 96000));
    EXPECT_TRUE(child<QAction>("Eichen1")->isEnabled());
    form()->close();
    platform::IniFile ini(settings);
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.get("SDSOUND", "Virtual_loopback_1db", ""), "32");
    EXPECT_EQ(ini.get("SDSOUND", "Virtual_loopback_1sf", ""), "96000");
    EXPECT_EQ(ini.get("OSZI", "LEFT", ""), "40");
    EXPECT_EQ(ini.get("OSZI", "TOP", ""), "50");
}

TEST_F(ScopePageTest, AStartThatFindsACaptureOpenGoesOnAndTheBlockIsSavedAndCopied)
{
    start(kIdealCard);
    int foreign = 0; // a block nobody fetches keeps the device open
    ASSERT_EQ(audio::StartCapture(4096, 0, [&foreign] { ++foreign; }), 0);
    child<QTabWidget>("PageControl1")->setCurrentIndex(2);
    ASSERT_TRUE(sweeps(3));
    EXPECT_EQ(foreign, 1);
    EXPECT_TRUE(MS.Scope.Running);

    child<QAction>("EditCopyItem")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), app::Oszidia->size());
    nextFile = "/nonexistent-dir/x.txt";
    child<QAction>("SpeichernalsText1")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "/nonexistent-dir/x.txt konnte nicht erzeugt werden");
}

} // namespace
