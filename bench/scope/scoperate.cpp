// Oscilloscope sweeps on a virtual loopback card paced in real time: at
// 1 ms/div and 10 ms/div, the sweeps per second achieved against the limit
// the capture length sets, rate / samples per sweep. Everything else a sweep
// costs (trigger search, points, repaint, restarting the capture) shows as a
// ratio below 1.
#include "analyser/analyserbenchsupport.h"
#include "widgets/spinbutton.h"

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <vector>

using app::MS;

using analyserbench::NextCounter;
using analyserbench::StartWindows;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    // the card's default model with its test sine, the page open at 1 ms/div
    if (!StartWindows(dir, "[LOOPBACK]\nPACED=TRUE\nSIGNAL=SINE\nSIGFREQ=1050\nSIGLEVEL=-6\n"
                           "[MAIN]\nPAGE=2\n[OSZI]\nTB=6\n"))
        return 1;
    TMainForm *form = app::MainForm;
    NextCounter counter(platform::WM_SCOPE_NEXT);
    form->installEventFilter(&counter);
    auto *timebase = form->findChild<SpinButton *>("SpinButton3");

    std::printf("%8s %7s %8s %7s %11s %11s %7s\n", "timebase", "rate", "samples", "sweeps", "limit_per_s",
                "achieved/s", "ratio");
    double worst = 1e9, best = 0.0;
    for (int index : {6, 9}) { // 1 ms/div, 10 ms/div
        while (MS.Scope.TimebaseIndex < index)
            emit timebase->upClick();
        // two sweeps after the rate was chosen run on the new block length
        counter.waitFor(int(counter.times.size()) + 3);
        const double limit = double(MS.Scope.SampleRate) / MS.Scope.SamplesPerSweep;
        const int sweeps = std::max(8, int(2.0 * limit)); // about two seconds, at least eight sweeps
        counter.times.clear();
        // the first request marks the end of a sweep; count whole intervals after it
        counter.waitFor(sweeps + 1);
        const double seconds = double(counter.times[std::size_t(sweeps)] - counter.times[0]) * 1e-9;
        const double ratio = sweeps / seconds / limit;
        worst = std::min(worst, ratio);
        best = std::max(best, ratio);
        std::printf("%8s %7d %8d %7d %11.3f %11.3f %7.3f\n", index == 6 ? "1ms" : "10ms", MS.Scope.SampleRate,
                    MS.Scope.SamplesPerSweep, sweeps, limit, sweeps / seconds, ratio);
        std::fflush(stdout);
    }
    std::printf("worst ratio %.3f (target >= 0.9)\n", worst);
    // Above the capture limit the sweeps cannot have been captured in real time:
    // the run counted requests that did no work.
    if (best > 1.1)
        std::printf("FAILED: %.3f times the capture limit\n", best);
    form->close();
    app::DestroyWindows();
    return worst >= 0.9 && best <= 1.1 ? 0 : 2;
}
