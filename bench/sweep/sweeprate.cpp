// The default sweep (20..22000 Hz, 50 logarithmic steps, 100 ms settling) on
// a virtual loopback card paced in real time, in loop and in stream mode: the
// wall time of the whole run against the time its steps must take, the sum of
// settling time and capture length over the steps. Everything else a step
// costs (starting the output, evaluating the block, the diagram, the chain of
// messages) shows as a ratio above 1. The program's CPU time per wall time
// shows what the run costs the machine while it waits.
#include "analyser/analyserbenchsupport.h"

#include "audio/audioengine.h"
#include "audio/outputengine.h"
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
    for (const bool loop : {true, false}) {
        audio::SetLoop(loop);
        QElapsedTimer wall;
        const double cpu0 = CpuSeconds();
        wall.start();
        start->click();
        QEventLoop events;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!form->SweepBusy() && !app::MS.Sweep.StartRequested)
                events.quit();
        });
        poll.start(1);
        events.exec();
        const double seconds = wall.nsecsElapsed() * 1e-9;
        const double cpu = CpuSeconds() - cpu0;
        const double ratio = seconds / needed;
        worst = std::max(worst, ratio);
        std::printf("%-7s %6d %9.3f %9.3f %9.3f %9.3f\n", loop ? "loop" : "stream", app::MS.Sweep.Steps + 1, needed,
                    seconds, ratio, cpu / seconds);
        std::fflush(stdout);
    }
    std::printf("worst wall/needed %.3f (target <= 1.05)\n", worst);
    form->close();
    app::DestroyWindows();
    return worst <= 1.05 ? 0 : 2;
}
