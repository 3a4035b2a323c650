// Continuous analyser runs on a virtual loopback card paced in real time:
// for each FFT size, the blocks per second achieved against the limit the
// capture length sets, rate / (FftSize + FftSize/8). Everything else a block
// costs (transforms, levels, diagram points, repaint, restarting the capture)
// shows as a ratio below 1.
#include "analyserbenchsupport.h"

#include "audio/audioengine.h"
#include "widgets/radiogroup.h"

#include <QApplication>
#include <QPushButton>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    // the card's default model with its test sine, the THD+N line on: a full block's work
    if (!analyserbench::StartWindows(dir, "[LOOPBACK]\nPACED=TRUE\nSIGNAL=SINE\n[ANALYSE]\nTHDMESS=TRUE\n"))
        return 1;
    TMainForm *form = app::MainForm;
    analyserbench::NextCounter counter;
    form->installEventFilter(&counter);
    auto *sizes = form->findChild<platform::RadioGroup *>("FFTpointsgroup");
    auto *start = form->findChild<QPushButton *>("StartButton");
    auto *stop = form->findChild<QPushButton *>("StopButton");
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);

    std::printf("%6s %7s %7s %11s %11s %7s\n", "size", "frames", "blocks", "limit_per_s", "achieved/s", "ratio");
    double worst = 1e9, best = 0.0;
    for (int item = 0; item < 4; ++item) {
        sizes->setItemIndex(item);
        const int n = 2048 << item;
        const int frames = n + n / 8;
        const double limit = double(rateIn) / frames;
        const int blocks = std::max(8, int(2.0 * limit)); // about two seconds, at least eight blocks
        counter.times.clear();
        start->click();
        // the first request marks the end of the first block; count whole intervals after it
        counter.waitFor(blocks + 1);
        stop->click();
        analyserbench::RunEvents(int(2000.0 / limit) + 50); // let the last capture end
        const double seconds = (counter.times[blocks] - counter.times[0]) * 1e-9;
        const double achieved = blocks / seconds;
        const double ratio = achieved / limit;
        worst = std::min(worst, ratio);
        best = std::max(best, ratio);
        std::printf("%6d %7d %7d %11.3f %11.3f %7.3f\n", n, frames, blocks, limit, achieved, ratio);
        std::fflush(stdout);
    }
    std::printf("worst ratio %.3f (target >= 0.9)\n", worst);
    // Above the capture limit the blocks cannot have been captured in real time:
    // the run counted requests that did no work.
    if (best > 1.1)
        std::printf("FAILED: %.3f times the capture limit\n", best);
    form->close();
    app::DestroyWindows();
    return worst >= 0.9 && best <= 1.1 ? 0 : 2;
}
