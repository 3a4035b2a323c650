// The default sweep (20..22000 Hz, 50 logarithmic steps, 100 ms settling) on
// a virtual loopback card paced in real time, in loop and in stream mode: the
// wall time of the whole run against the time its steps must take, the sum of
// settling time and capture length over the steps. Everything else a step
// costs (starting the output, evaluating the block, the diagram, the chain of
// messages) shows as a ratio above 1. The program's CPU time per wall time
// shows what the run costs the machine while it waits.
#include "analyser/analyserbenchsupport.h"

#include "app/sweeppage.h"
#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "display/diagramwindow.h"
#include "dsp/sweep.h"

#include <QApplication>
#include <QPushButton>
#include <sys/resource.h>

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// The time the steps cannot avoid: settling plus capture, step by step.
double NeededSeconds()
{
    const app::SweepSettings &w = app::MS.Sweep;
    int rateIn = 0, rateOut = 0, bitsIn = 0, bitsOut = 0;
    audio::GetRates(rateIn, rateOut);
    audio::GetBits(bitsIn, bitsOut);
    double s = 0.0;
    for (int i = 0; i <= w.Steps; ++i) {
        const float f = dsp::SweepFrequency(w.Linear, w.FreqFrom, w.FreqTo, w.Steps, i);
        s += w.SettleMs / 1000.0 + double(dsp::SweepCaptureFrames(f, rateIn, bitsIn)) / rateIn;
    }
    return s;
}

// Points the run stored in the diagram (a step's frequency is never 0).
int StoredPoints()
{
    const float *f = app::Diagramm->Curves().Freq();
    int n = 0;
    for (int i = 0; f && i <= app::MS.Sweep.Steps; ++i)
        n += f[i] > 0.0f ? 1 : 0;
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    if (!analyserbench::StartWindows(dir, "[LOOPBACK]\nPACED=TRUE\n[MAIN]\nPAGE=1\n"))
        return 1;
    TMainForm *form = app::MainForm;
    auto *start = form->findChild<QPushButton *>("wobbelnBut");
    const double needed = NeededSeconds();

    std::printf("%-7s %6s %9s %9s %9s %9s\n", "mode", "steps", "needed_s", "wall_s", "wall/need", "cpu/wall");
    double worst = 0.0;
    bool allDone = true;
    for (const bool loop : {true, false}) {
        audio::SetLoop(loop);
        app::Diagramm->ClearCurves();
        QElapsedTimer wall;
        const double cpu0 = CpuSeconds();
        wall.start();
        // A START the page does not take would end the run at once and
        // make the ratio meaningless: it counts as a failed run below.
        const bool taken = start->isEnabled();
        start->click();
        QEventLoop events;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!form->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested && start->isEnabled())
                events.quit();
        });
        poll.start(1);
        events.exec();
        const double seconds = wall.nsecsElapsed() * 1e-9;
        const double cpu = CpuSeconds() - cpu0;
        const double ratio = seconds / needed;
        worst = std::max(worst, ratio);
        const int stored = StoredPoints();
        std::printf("%-7s %6d %9.3f %9.3f %9.3f %9.3f\n", loop ? "loop" : "stream", stored, needed, seconds, ratio,
                    cpu / seconds);
        // A run that stored fewer points than it has steps, or ended well
        // before its steps could have been measured, did not do its work.
        if (!taken || stored != app::MS.Sweep.Steps + 1 || ratio < 0.95) {
            std::printf("FAILED: the %s run stored %d of %d points in %.3f s of %.3f s needed\n",
                        loop ? "loop" : "stream", stored, app::MS.Sweep.Steps + 1, seconds, needed);
            allDone = false;
        }
        std::fflush(stdout);
    }
    std::printf("worst wall/needed %.3f (target <= 1.05)\n", worst);
    form->close();
    app::DestroyWindows();
    return allDone && worst <= 1.05 ? 0 : 2;
}
