// The log sweep run from the sweep page on the paced virtual card, against
// closed forms: an ideal card flat in level and phase (and at the played
// level in stereo), its progress and locks while it runs; STOP, leaving the
// page and closing the program mid-run, after which nothing is stored and
// the next START works; a sweep too short for its harmonics, and a card that
// vanishes; the harmonics of the device model as extra curves and in the text
// export; the impulse window's time window against the windowed response of a
// bilinear high-pass worked out here, and its float wave export. Sweeps stay
// at or under a second.
#include "app/logsweeprunner.h"
#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "display/impulsewindow.h"
#include "support/appwindows.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <cmath>
#include <complex>
#include <numbers>
#include <sndfile.h>

namespace {

using testsupport::CurvePoint;
using testsupport::DiagramPoints;

const std::string kPacedIdeal = testsupport::kIdealCard + "PACED=TRUE\n";
// The ideal card but for one key (the first of a key counts).
std::string PacedIdealWith(const std::string &key, const std::string &value)
{
    std::string card = kPacedIdeal;
    const std::size_t at = card.find(key + "=");
    card.replace(at, card.find('\n', at) - at, key + "=" + value);
    return card;
}

class LogSweepPage : public testsupport::AppWindowsTest {
protected:
    void startLogSweep(const std::string &card, const std::string &wob, const std::string &log)
    {
        start(card, "[MAIN]\nPAGE=1\n[WOB]\n" + wob + "[LOGSWEEP]\nMETHOD=LOGSWEEP\n" + log);
    }
    app::LogSweepRunner *runner() { return form()->Sweep()->LogSweep(); }
    bool idle() { return !form()->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested; }
    // START, and the run over however it ended.
    void runOnce()
    {
        child<QPushButton>("wobbelnBut")->click();
        ASSERT_TRUE(waitUntil([this] { return idle(); }, 30000));
    }
    // The run's percentage while the page's readout shows it, else -1.
    int percentShown()
    {
        const QString t = child<QLabel>("Label7")->text();
        if (!t.startsWith("Sweep "))
            return -1;
        return t.section(' ', -2, -2).toInt();
    }
    // Calls `act` once, from a timer, when the run has reached `percent`.
    void actAt(QTimer &timer, int percent, std::function<void()> act)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, &timer, percent, act] {
            if (runner()->Running() && percentShown() >= percent) {
                timer.stop();
                act();
            }
        });
        timer.start(2);
    }
    static void expectFlat(const std::vector<CurvePoint> &points, double fromHz, double toHz, float first,
                           float second)
    {
        int checked = 0;
        for (const CurvePoint &p : points) {
            if (p.f < 2.0 * fromHz || p.f > 0.9 * toHz)
                continue;
            ++checked;
            EXPECT_NEAR(p.first, first, 0.01) << p.f;
            EXPECT_NEAR(p.second, second, 0.1) << p.f;
        }
        // 48 points per octave over log2(45) = 5.5 octaves
        EXPECT_GT(checked, 250);
    }
};

TEST_F(LogSweepPage, AnIdealCardIsFlatWhileProgressAndLocksShowAndStereoReadsThePlayedLevel)
{
    startLogSweep(kPacedIdeal + "DELAY=100\nDUTDELAY=7\n", "FROM=100\nTO=10000\nREFMESS=0\nPHASE=TRUE\nPEGDIG=-6\n",
                  "SECONDS=0.5\nHARMONICS=FALSE\n");
    std::vector<QString> progress;
    std::vector<bool> enabled;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (percentShown() < 0)
            return;
        progress.push_back(child<QLabel>("Label7")->text());
        if (enabled.empty())
            for (const char *name : {"wobbelnBut", "WobDialogBut", "Button2"})
                enabled.push_back(child<QPushButton>(name)->isEnabled());
        if (enabled.size() == 3)
            for (const char *action : {"AudioInParameter1", "AudioDevices1", "AudioOutParameter1"})
                enabled.push_back(child<QAction>(action)->isEnabled());
    });
    watch.start(5);
    runOnce();
    watch.stop();
    EXPECT_TRUE(messages.empty());
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(progress.front().startsWith("Sweep 1/1 ")) << progress.front().toStdString();
    EXPECT_EQ(enabled, std::vector<bool>(6, false));
    EXPECT_TRUE(child<QPushButton>("WobDialogBut")->isEnabled() && child<QAction>("AudioDevices1")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("ImpulseBut")->isEnabled());
    EXPECT_FALSE(audio::OutputRunning());

    // Right against left: both delays leave the measured path's response
    // flat (its phase read from its own peak).
    expectFlat(DiagramPoints(), 100.0, 10000.0, 0.0f, 0.0f);
    // Stereo: each input at the played level, -6 dB re full scale.
    app::MS.Sweep.Mode = 2;
    runOnce();
    expectFlat(DiagramPoints(), 100.0, 10000.0, -6.0f, -6.0f);
    EXPECT_TRUE(messages.empty());
}

TEST_F(LogSweepPage, StopMidRunStoresNothingAndTheNextStartWorks)
{
    startLogSweep(kPacedIdeal, "FROM=100\nTO=10000\nREFMESS=0\nPHASE=TRUE\nPEGDIG=-6\n",
                  "SECONDS=0.5\nAVERAGES=2\nHARMONICS=FALSE\n");
    runOnce();
    const std::vector<CurvePoint> before = DiagramPoints();
    expectFlat(before, 100.0, 10000.0, 0.0f, 0.0f);

    // A stereo run (its curves would read -6 dB) stopped in its second sweep.
    app::MS.Sweep.Mode = 2;
    QTimer stopper;
    actAt(stopper, 60, [&] { child<QPushButton>("STOPbut")->click(); });
    runOnce();
    EXPECT_EQ(child<QLabel>("Label7")->text(), "STOP");
    EXPECT_FALSE(audio::OutputRunning());
    EXPECT_TRUE(messages.empty());
    const std::vector<CurvePoint> after = DiagramPoints();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i)
        EXPECT_TRUE(std::abs(after[i].first - before[i].first) < 1e-6f && std::abs(after[i].f - before[i].f) < 1e-3f)
            << i;

    runOnce();
    expectFlat(DiagramPoints(), 100.0, 10000.0, -6.0f, -6.0f);
    EXPECT_TRUE(messages.empty());
}

TEST_F(LogSweepPage, LeavingThePageOrClosingTheProgramMidRunEndsItCleanly)
{
    startLogSweep(kPacedIdeal, "FROM=100\nTO=10000\nREFMESS=0\nPHASE=TRUE\n", "SECONDS=1\nHARMONICS=FALSE\n");
    QTabWidget *pages = form()->PageControl1;
    QTimer leave;
    actAt(leave, 20, [&] { pages->setCurrentIndex(0); });
    child<QPushButton>("wobbelnBut")->click();
    ASSERT_TRUE(waitUntil([&] { return pages->currentIndex() == 0 && !runner()->Running(); }, 30000));
    EXPECT_TRUE(messages.empty());
    pages->setCurrentIndex(1);
    EXPECT_TRUE(DiagramPoints().empty());
    runOnce();
    expectFlat(DiagramPoints(), 100.0, 10000.0, 0.0f, 0.0f);

    QTimer close;
    actAt(close, 20, [&] { form()->close(); });
    child<QPushButton>("wobbelnBut")->click();
    ASSERT_TRUE(waitUntil([&] { return !form()->isVisible() && !runner()->Running(); }, 30000));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(audio::OutputRunning());
}

TEST_F(LogSweepPage, ASweepTooShortOrACardThatVanishesIsSaidAndStoresNothing)
{
    // H5 at 20 Hz needs 20 Hz·L >= 1/ln 1.2 = 5.48, whole: 6 cycles, L = 0.3 s,
    // L ln 1000 = 2.07 s long.
    startLogSweep(kPacedIdeal, "FROM=20\nTO=20000\n", "SECONDS=0.5\nHARMONICS=TRUE\n");
    runOnce();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("mindestens 2.1 s")) << messages[0].text.toStdString();
    EXPECT_TRUE(DiagramPoints().empty());
    EXPECT_TRUE(child<QPushButton>("wobbelnBut")->isEnabled());
    // Without harmonics 0.69 s will do (2 cycles of 20 Hz): the next START
    // runs. (So short a sweep reads the ideal card flat from about 2.3 times
    // its start; checked from 4 times.)
    app::MS.Sweep.Log.Harmonics = false;
    app::MS.Sweep.Log.Seconds = 0.75;
    runOnce();
    EXPECT_EQ(messages.size(), 1u);
    expectFlat(DiagramPoints(), 40.0, 20000.0, 0.0f, 0.0f);
    stop();

    startLogSweep(kPacedIdeal + "VANISH=4\n", "FROM=100\nTO=10000\n", "SECONDS=0.5\nHARMONICS=FALSE\n");
    runOnce();
    // Said once, by the output or by the capture, whichever notices first.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, platform::MessageKind::Error) << messages[0].text.toStdString();
    EXPECT_TRUE(DiagramPoints().empty());
    EXPECT_FALSE(audio::OutputRunning());
    EXPECT_TRUE(child<QPushButton>("wobbelnBut")->isEnabled() && child<QPushButton>("WobDialogBut")->isEnabled());
}

TEST_F(LogSweepPage, TheDeviceModelsHarmonicsAreExtraCurvesAndColumnsOfTheTextExport)
{
    // The model's 2nd and 3rd harmonics at its DISTORTION, -60 dB re the
    // signal; THD from the two: -60 + 10 lg 2 dB.
    startLogSweep(PacedIdealWith("DISTORTION", "-60"), "FROM=100\nTO=10000\nREFMESS=0\nPHASE=TRUE\nPEGDIG=-6\n",
                  "SECONDS=0.5\nHARMONICS=TRUE\n");
    runOnce();
    EXPECT_TRUE(messages.empty());
    const std::vector<display::ExtraCurve> &extra = app::Diagramm->ExtraCurves();
    ASSERT_EQ(extra.size(), 5u);
    const char *names[] = {"H2", "H3", "H4", "H5", "THD"};
    int checked = 0;
    for (std::size_t c = 0; c < extra.size(); ++c) {
        EXPECT_EQ(extra[c].Name, names[c]);
        for (std::size_t i = 0; i < extra[c].FrequencyHz.size(); ++i) {
            const double f = extra[c].FrequencyHz[i], v = extra[c].Values[i];
            if (f < 200.0 || f > 3000.0)
                continue;
            ++checked;
            if (c < 2) {
                EXPECT_NEAR(v, -60.0, 0.5) << names[c] << " " << f;
            } else if (c < 4) {
                EXPECT_LT(v, -90.0) << names[c] << " " << f;
            } else {
                EXPECT_NEAR(v, -60.0 + 10.0 * std::log10(2.0), 0.5) << f;
            }
        }
    }
    EXPECT_GT(checked, 5 * 150);
    // The level axis reaches down to them.
    float ymin = 0, ymax = 0;
    app::Diagramm->GetYRange(ymin, ymax);
    EXPECT_LE(ymin, -100.0f);

    // Frequency, level, phase, H2 .. H5, THD; point as decimal mark.
    const std::string file = testsupport::ScratchDir("logsweepexport") + "/curves.txt";
    ASSERT_EQ(form()->SaveResultsAsText(QString::fromStdString(file)), 0);
    const QStringList lines = QString::fromStdString(testsupport::ReadFile(file)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(static_cast<std::size_t>(lines.size()), DiagramPoints().size());
    int rows = 0;
    for (const QString &line : lines) {
        const QStringList fields = line.split(',');
        ASSERT_EQ(fields.size(), 8) << line.toStdString();
        const double f = fields[0].toDouble();
        if (f < 200.0 || f > 3000.0)
            continue;
        ++rows;
        EXPECT_NEAR(fields[1].toDouble(), 0.0, 0.02) << line.toStdString();
        EXPECT_NEAR(fields[3].toDouble(), -60.0, 0.5) << line.toStdString();
        EXPECT_NEAR(fields[7].toDouble(), -56.99, 0.5) << line.toStdString();
    }
    EXPECT_GT(rows, 150);
}

// A second-order Butterworth high-pass at `fc`, the bilinear transform of
// its analog prototype prewarped at the corner: its coefficients.
struct Biquad {
    double b[3], a[3];
};
Biquad HighPass(double fc, double rate)
{
    const double c = 2.0 * rate, k = c * std::tan(std::numbers::pi * fc / rate), r2 = std::sqrt(2.0);
    const double a0 = c * c + r2 * k * c + k * k;
    return {{c * c / a0, -2.0 * c * c / a0, c * c / a0}, {1.0, (2.0 * k * k - 2.0 * c * c) / a0, (c * c - r2 * k * c + k * k) / a0}};
}

// Its response, the sum of its impulse response h[n] w[n] e^(-i w n) over
// the frequency-response window w: `post` frames from the impulse's peak
// (here its first frame), the last quarter of them a falling half cosine
// (Hann) ramp.
double WindowedHighPassDb(const Biquad &q, double f, double rate, int post)
{
    std::vector<double> h(static_cast<std::size_t>(post));
    for (int n = 0; n < post; ++n) {
        double v = n == 0 ? q.b[0] : n == 1 ? q.b[1] : n == 2 ? q.b[2] : 0.0;
        if (n >= 1)
            v -= q.a[1] * h[static_cast<std::size_t>(n - 1)];
        if (n >= 2)
            v -= q.a[2] * h[static_cast<std::size_t>(n - 2)];
        h[static_cast<std::size_t>(n)] = v;
    }
    const int ramp = post / 4;
    std::complex<double> sum = 0.0;
    for (int n = 0; n < post; ++n) {
        const int toEnd = post - 1 - n;
        const double w = toEnd < ramp ? 0.5 * (1.0 - std::cos(std::numbers::pi * (toEnd + 0.5) / ramp)) : 1.0;
        sum += h[static_cast<std::size_t>(n)] * w * std::polar(1.0, -2.0 * std::numbers::pi * f * n / rate);
    }
    return 20.0 * std::log10(std::abs(sum));
}

double HighPassDb(const Biquad &q, double f, double rate)
{
    const std::complex<double> z = std::polar(1.0, -2.0 * std::numbers::pi * f / rate);
    return 20.0 * std::log10(std::abs((q.b[0] + q.b[1] * z + q.b[2] * z * z) / (1.0 + q.a[1] * z + q.a[2] * z * z)));
}

TEST_F(LogSweepPage, TheImpulseWindowsTimeWindowEvaluatesTheResponseAgainAndItsWaveIsTheResponse)
{
    startLogSweep(PacedIdealWith("HIGHPASS", "200"), "FROM=20\nTO=20000\nREFMESS=0\nPHASE=FALSE\n",
                  "SECONDS=1\nHARMONICS=FALSE\nWINDOWMS=300\n");
    runOnce();
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    const double rate = rateIn;
    const Biquad hp = HighPass(200.0, rate);
    // 300 ms hold the whole response: the filter's own.
    for (const CurvePoint &p : DiagramPoints()) {
        if (p.f >= 40.0 && p.f <= 5000.0) {
            EXPECT_NEAR(p.first, HighPassDb(hp, p.f, rate), 0.05) << p.f;
        }
    }

    child<QPushButton>("ImpulseBut")->click();
    display::TImpulseWindow *w = runner()->ImpulseWindow();
    ASSERT_TRUE(w && w->isVisible());
    EXPECT_NEAR(w->PostMs->value(), 300.0, 0.01);

    // 2 ms cut the high-pass's slow negative tail: below the corner the
    // response rises far above the filter's, as the windowed sum says.
    w->PostMs->setValue(2.0);
    const int post = static_cast<int>(std::lround(2.0 * rate / 1000.0));
    int checked = 0;
    for (const CurvePoint &p : DiagramPoints()) {
        if (p.f < 40.0 || p.f > 3000.0)
            continue;
        ++checked;
        EXPECT_NEAR(p.first, WindowedHighPassDb(hp, p.f, rate, post), 0.2) << p.f;
        if (p.f < 60.0) {
            EXPECT_GT(p.first, HighPassDb(hp, p.f, rate) + 8.0) << p.f;
        }
    }
    EXPECT_GT(checked, 200);
    EXPECT_EQ(app::MS.Sweep.Log.WindowMs, 2.0);
    // And back: the filter's own response again, still without a new sweep.
    w->PostMs->setValue(300.0);
    for (const CurvePoint &p : DiagramPoints()) {
        if (p.f >= 40.0 && p.f <= 5000.0) {
            EXPECT_NEAR(p.first, HighPassDb(hp, p.f, rate), 0.05) << p.f;
        }
    }

    // The impulse response as a float wave file: its transform is the
    // filter's response (the whole file holds the decay).
    const std::string dir = testsupport::ScratchDir("logsweepimpulse");
    nextFile = QString::fromStdString(dir + "/impulse.wav");
    w->SaveWave->click();
    const dsp::LogSweepResult &r = runner()->Result();
    SF_INFO info{};
    SNDFILE *f = sf_open((dir + "/impulse.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, rateIn);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    std::vector<float> samples(static_cast<std::size_t>(info.frames));
    EXPECT_EQ(sf_readf_float(f, samples.data(), info.frames), info.frames);
    sf_close(f);
    ASSERT_EQ(samples.size(), r.Channels[0].Impulse.size());
    for (const double hz : {100.0, 300.0, 1000.0, 5000.0}) {
        std::complex<double> sum = 0.0;
        for (std::size_t n = 0; n < samples.size(); ++n)
            sum += static_cast<double>(samples[n]) * std::polar(1.0, -2.0 * std::numbers::pi * hz * n / rate);
        EXPECT_NEAR(20.0 * std::log10(std::abs(sum)), HighPassDb(hp, hz, rate), 0.05) << hz;
    }
    EXPECT_TRUE(messages.empty());
}

} // namespace
