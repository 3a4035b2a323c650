// A 100-step logarithmic sweep (20..22000 Hz, 100 ms settling) at 48000 Hz
// over the virtual card's device model, paced in real time, in loop and in
// stream mode: the worst level and phase error of its steps against the
// model's closed form (its filters worked out from their bilinear designs),
// side by side with the wall time of the run against the time its steps
// must take (settling plus captures).
#include "analyser/analyserbenchsupport.h"

#include "app/sweeppage.h"
#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "display/diagramwindow.h"
#include "dsp/sweep.h"
#include "support/cardmodel.h"

#include <QApplication>
#include <QPushButton>
#include <cmath>
#include <numbers>

namespace {

constexpr int kRate = 48000;

double NeededSeconds()
{
    const app::SweepSettings &w = app::MS.Sweep;
    double s = 0.0;
    for (int i = 0; i <= w.Steps; ++i) {
        const float f = dsp::SweepFrequency(w.Linear, w.FreqFrom, w.FreqTo, w.Steps, i);
        const int frames = dsp::SweepCaptureFrames(f, kRate, 16);
        s += w.SettleMs / 1000.0 + double(frames) * dsp::SweepCapturesNeeded(f, kRate, frames) / kRate;
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    if (!analyserbench::StartWindows(dir, "[LOOPBACK]\nPACED=TRUE\nSIGNAL=OFF\n[MAIN]\nPAGE=1\n"
                                          "[WOB]\nFROM=20\nTO=22000\nSTEPS=100\nMETHODE=LOG\nREFMESS=0\n"
                                          "PHASE=TRUE\nSTARTMESS=100\n"))
        return 1;
    TMainForm *form = app::MainForm;
    audio::SetRates(kRate, kRate);
    audio::SetBits(16, 16);
    auto *start = form->findChild<QPushButton *>("wobbelnBut");
    const double needed = NeededSeconds();

    std::printf("%-7s %6s %9s %9s %9s %12s %13s\n", "mode", "steps", "needed_s", "wall_s", "wall/need", "worst_dB",
                "worst_deg");
    double worstRatio = 0.0, worstDb = 0.0, worstDeg = 0.0;
    for (const bool loop : {true, false}) {
        audio::SetLoop(loop);
        QElapsedTimer wall;
        wall.start();
        start->click();
        QEventLoop events;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            // Over when the page has taken the last step's message and
            // unlocked its START again.
            if (!form->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested && start->isEnabled())
                events.quit();
        });
        poll.start(1);
        events.exec();
        const double seconds = wall.nsecsElapsed() * 1e-9;

        const display::DiagramCurves &c = app::Diagramm->Curves();
        int points = 0;
        double db = 0.0, deg = 0.0;
        for (int i = 0; i < display::kMaxPoints && c.Freq()[i] != 0.0f; ++i, ++points) {
            const std::complex<double> h = testsupport::DeviceUnderTest(c.Freq()[i], kRate);
            db = std::max(db, std::abs(c.Curve1()[i] - 20.0 * std::log10(std::abs(h))));
            const double phase = std::arg(h) * 180.0 / std::numbers::pi;
            deg = std::max(deg, std::abs(std::remainder(c.Curve2()[i] - phase, 360.0)));
        }
        if (points != app::MS.Sweep.Steps + 1) {
            std::fprintf(stderr, "%d points of %d\n", points, app::MS.Sweep.Steps + 1);
            return 1;
        }
        worstRatio = std::max(worstRatio, seconds / needed);
        worstDb = std::max(worstDb, db);
        worstDeg = std::max(worstDeg, deg);
        std::printf("%-7s %6d %9.3f %9.3f %9.3f %12.5f %13.4f\n", loop ? "loop" : "stream", points, needed, seconds,
                    seconds / needed, db, deg);
        std::fflush(stdout);
    }
    std::printf("worst wall/needed %.3f (target <= 1.05), level error %.5f dB (<= 0.02), phase error %.4f deg "
                "(<= 0.3)\n",
                worstRatio, worstDb, worstDeg);
    form->close();
    app::DestroyWindows();
    return worstRatio <= 1.05 && worstDb <= 0.02 && worstDeg <= 0.3 ? 0 : 2;
}
