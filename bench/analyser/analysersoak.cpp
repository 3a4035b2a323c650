// Long run: the continuous analyser on the paced virtual card with its
// default device model, the generator streaming a 1 kHz sine into it, for
// a given number of minutes (default 10; `analyser_soak 60` for an hour).
// Each minute it samples the resident memory and the blocks finished in that
// minute; at the end it prints the memory growth per hour (least-squares
// slope over the minutes after the first, which fills caches) and the worst
// minute's block rate as a fraction of the capture limit,
// rate / (FftSize + FftSize/8). Targets: growth < 1 MB per hour, worst
// rate >= 0.95; the exit status is 2 when one is missed.
#include "analyserbenchsupport.h"

#include "audio/audioengine.h"
#include "generator/wavegen.h"
#include "widgets/radiogroup.h"

#include <QApplication>
#include <QPushButton>

#include <cstdlib>
#include <unistd.h>

namespace {

// Counts WM_ANALYSER_NEXT requests: one per finished block.
class BlockCounter : public QObject {
public:
    long long blocks = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e); m && m->msg == platform::WM_ANALYSER_NEXT)
            ++blocks;
        return false;
    }
};

double ResidentMb()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

// Least-squares slope of y over x.
double Slope(const std::vector<double> &x, const std::vector<double> &y)
{
    const double n = double(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double d = n * sxx - sx * sx;
    return d != 0 ? (n * sxy - sx * sy) / d : 0.0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int minutes = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    QTemporaryDir dir;
    if (!analyserbench::StartWindows(dir, "[LOOPBACK]\nPACED=TRUE\n[GEN]\nFGEN=1000\nVOLL=-6\nVOLR=-6\nBELOOP=0\n"))
        return 1;
    TMainForm *form = app::MainForm;
    BlockCounter counter;
    form->installEventFilter(&counter);
    form->findChild<platform::RadioGroup *>("FFTpointsgroup")->setItemIndex(0);
    const int n = 2048;
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    const double limit = double(rateIn) / (n + n / 8); // blocks per second

    app::Wavegen->findChild<QPushButton *>("Gstart")->click();
    if (!app::Wavegen->Running()) {
        std::fprintf(stderr, "the generator did not start\n");
        return 1;
    }
    form->findChild<QPushButton *>("StartButton")->click();

    std::printf("%6s %10s %8s %7s\n", "minute", "rss_MB", "blocks", "ratio");
    std::vector<double> at, rss;
    double worst = 1e9, best = 0.0;
    QElapsedTimer clock;
    clock.start();
    long long lastBlocks = counter.blocks;
    qint64 lastNs = clock.nsecsElapsed();
    for (int minute = 1; minute <= minutes; ++minute) {
        analyserbench::RunEvents(int(minute * 60000 - clock.elapsed()));
        const qint64 now = clock.nsecsElapsed();
        const long long blocks = counter.blocks - lastBlocks;
        const double ratio = blocks / ((now - lastNs) * 1e-9) / limit;
        lastBlocks = counter.blocks;
        lastNs = now;
        worst = std::min(worst, ratio);
        best = std::max(best, ratio);
        const double mb = ResidentMb();
        if (minute > 1) {
            at.push_back(now * 1e-9 / 3600.0);
            rss.push_back(mb);
        }
        std::printf("%6d %10.2f %8lld %7.3f\n", minute, mb, blocks, ratio);
        std::fflush(stdout);
    }
    form->findChild<QPushButton *>("StopButton")->click();
    app::Wavegen->GstopClick();
    analyserbench::RunEvents(200);

    const double growth = Slope(at, rss); // MB per hour
    std::printf("memory growth %.3f MB per hour (target < 1)\n", growth);
    std::printf("worst minute %.3f of the capture limit %.3f blocks/s (target >= 0.95)\n", worst, limit);
    form->close();
    app::DestroyWindows();
    // More blocks than the capture limit allows were not captured in real time.
    if (best > 1.1)
        std::printf("FAILED: a minute ran at %.3f times the capture limit\n", best);
    return growth < 1.0 && worst >= 0.95 && best <= 1.1 ? 0 : 2;
}
