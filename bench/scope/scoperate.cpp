// Oscilloscope sweeps on a virtual loopback card paced in real time: at
// 1 ms/div and 10 ms/div, the sweeps per second achieved against the limit
// the capture length sets, rate / samples per sweep. Everything else a sweep
// costs (trigger search, points, repaint, restarting the capture) shows as a
// ratio below 1.
#include "app/forms.h"
#include "app/mainform.h"
#include "display/spinbutton.h"
#include "platform/messagebox.h"
#include "platform/messages.h"
#include "platform/utilities.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using app::MS;

namespace {

// Times of the WM_SCOPE_NEXT requests: each one ends a sweep.
class NextCounter : public QObject {
public:
    QElapsedTimer clock;
    std::vector<qint64> times; // ns since the clock started
    NextCounter() { clock.start(); }
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e); m && m->msg == platform::WM_SCOPE_NEXT) {
            times.push_back(clock.nsecsElapsed());
            if (loop_ && int(times.size()) >= until_)
                loop_->quit();
        }
        return false;
    }
    // Runs the event loop, as the program does, until `count` requests have come.
    void waitFor(int count)
    {
        if (int(times.size()) >= count)
            return;
        QEventLoop loop;
        loop_ = &loop;
        until_ = count;
        loop.exec();
        loop_ = nullptr;
    }

private:
    QEventLoop *loop_ = nullptr;
    int until_ = 0;
};

bool StartWindows(const QTemporaryDir &dir, const QByteArray &ini)
{
    const QString name = dir.path() + "/sonmain.ini";
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(ini);
    f.close();
    platform::SetSettingsFileName(name.toStdString());
    platform::SetMessageHandler([](const platform::MessageRequest &m) {
        std::fprintf(stderr, "message: %s\n", m.text.toLocal8Bit().constData());
    });
    if (!app::CreateWindows())
        return false;
    app::MainForm->show();
    return true;
}

} // namespace

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
    NextCounter counter;
    form->installEventFilter(&counter);
    auto *timebase = form->findChild<SpinButton *>("SpinButton3");

    std::printf("%8s %7s %8s %7s %11s %11s %7s\n", "timebase", "rate", "samples", "sweeps", "limit_per_s",
                "achieved/s", "ratio");
    double worst = 1e9;
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
        std::printf("%8s %7d %8d %7d %11.3f %11.3f %7.3f\n", index == 6 ? "1ms" : "10ms", MS.Scope.SampleRate,
                    MS.Scope.SamplesPerSweep, sweeps, limit, sweeps / seconds, ratio);
        std::fflush(stdout);
    }
    std::printf("worst ratio %.3f (target >= 0.9)\n", worst);
    form->close();
    app::DestroyWindows();
    return worst >= 0.9 ? 0 : 2;
}
