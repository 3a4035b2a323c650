// The default sweep (20..22000 Hz, 50 logarithmic steps, 100 ms settling)
// run by sonalyx-measure on a virtual loopback card paced in real time, in
// loop and in stream mode: the wall time of the whole program run against
// the time its steps must take (settling plus capture, step by step), so the
// ratio compares with the window's (bench_sweep_rate). Program start-up and
// the JSON output count too; the CPU time per wall time shows what the run
// costs the machine.
#include "dsp/sweep.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>

namespace {

double ChildCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double NeededSeconds()
{
    double s = 0.0;
    for (int i = 0; i <= 50; ++i) {
        const float f = dsp::SweepFrequency(false, 20, 22000, 50, i);
        s += 0.1 + double(dsp::SweepCaptureFrames(f, 44100, 16)) / 44100.0;
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    const QString ini = dir.filePath("sonmain.ini");
    std::ofstream(ini.toStdString()) << "[LOOPBACK]\nPACED=TRUE\n";
    const QString program = SONALYX_MEASURE_EXE;
    const double needed = NeededSeconds();

    std::printf("%-7s %6s %9s %9s %9s %9s\n", "mode", "steps", "needed_s", "wall_s", "wall/need", "cpu/wall");
    double worst = 0.0;
    for (const char *mode : {"loop", "stream"}) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const double cpu0 = ChildCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        p.start(program, {"sweep", "--settings", ini, "--device", "Virtual loopback 1", "--from", "20", "--to",
                          "22000", "--steps", "50", "--spacing", "log", "--settle", "100", "--rate", "44100",
                          "--bits", "16", "--output-mode", mode, "--format", "json"});
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            std::fprintf(stderr, "%s failed: %s\n", program.toUtf8().constData(), p.readAllStandardOutput().constData());
            return 1;
        }
        const double seconds = wall.nsecsElapsed() * 1e-9;
        const double cpu = ChildCpuSeconds() - cpu0;
        const double ratio = seconds / needed;
        worst = std::max(worst, ratio);
        const int points = int(QJsonDocument::fromJson(p.readAllStandardOutput())["results"].toArray().size());
        std::printf("%-7s %6d %9.3f %9.3f %9.3f %9.3f\n", mode, points, needed, seconds, ratio, cpu / seconds);
        std::fflush(stdout);
        // A run that reported fewer points than steps, or ended well before
        // its steps could have been measured, did not do its work.
        if (points != 51 || ratio < 0.95) {
            std::printf("FAILED: the %s run reported %d of 51 points in %.3f s of %.3f s needed\n", mode, points,
                        seconds, needed);
            return 2;
        }
    }
    std::printf("worst wall/needed %.3f (target <= 1.05)\n", worst);
    return worst <= 1.05 ? 0 : 2;
}
