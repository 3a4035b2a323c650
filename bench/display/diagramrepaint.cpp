// Full repaint of an 8193-point spectrum at 1200 x 800 pixels: drawing into the
// off-screen bitmap plus the copy to the window, in milliseconds and as a
// fraction of a 20 ms frame.
#include "spectrumfixture.h"

#include "platform/runtime/utilities.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double RepaintMs(TDiagramm &d, QImage &screen, int runs, std::vector<double> &times)
{
    times.clear();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        d.DrawDiagram(d.Bitmap(), false);
        QPainter p(&screen);
        p.drawImage(0, 0, d.Bitmap());
        p.end();
        times.push_back(t.nsecsElapsed() / 1.0e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::SetSettingsFileName(QDir::tempPath().toStdString() + "/bench_diagram_repaint.ini");

    TDiagramm d;
    d.resize(1200, 800);
    d.SetYCaption(QStringLiteral("Level [dB FS]"));
    d.SetXCaption(QStringLiteral("Frequency [Hz]"));
    std::int32_t xmin = 10, xmax = 24000;
    float ymin = -140.0f, ymax = 0.0f;
    d.SetupDiagram(QStringLiteral("benchmark"), 8192, xmin, xmax, ymin, ymax);
    d.SetCurvesVisible(true, false);
    benchfixture::StoreSpectrum(d, 8192, 48000.0);
    QImage screen(1200, 800, QImage::Format_RGB32);

    const int runs = 200;
    std::vector<double> times;
    RepaintMs(d, screen, 20, times); // warm-up: glyph caches, first allocations
    std::printf("diagram repaint, 8193 points, 1200 x 800 px, %d runs\n", runs);
    for (int curves = 1; curves <= 2; ++curves) {
        d.SetCurvesVisible(true, curves == 2);
        const double median = RepaintMs(d, screen, runs, times);
        std::printf("  %d curve%s, log axis: median %.3f ms (min %.3f, max %.3f) = %.3f of a 20 ms frame\n",
                    curves, curves == 1 ? " " : "s", median, times.front(), times.back(), median / 20.0);
    }
    d.SetCurvesVisible(false, false);
    {
        const double frame = RepaintMs(d, screen, runs, times);
        std::printf("  no curve (frame, grid, labels): median %.3f ms = %.3f of a 20 ms frame\n", frame, frame / 20.0);
    }
    d.SetCurvesVisible(true, false);
    d.ApplyOptions([&] {
        display::DiagramOptions o = d.Options();
        o.LogX = 0;
        return o;
    }());
    const double median = RepaintMs(d, screen, runs, times);
    std::printf("  1 curve , linear axis: median %.3f ms (min %.3f, max %.3f) = %.3f of a 20 ms frame\n", median,
                times.front(), times.back(), median / 20.0);
    return 0;
}
