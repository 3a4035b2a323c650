// Repaint of the diagram at 1200 x 800 pixels with its 2 live curves of 8193
// points, and with 8 overlays of 8193 points each beside them: medians of
// runs taken alternately in one process, as shares of a 20 ms frame, and
// their ratio. Targets: with overlays at most 0.25 of a frame and at most
// 1.5 times the 2-curve time (the overlays are reduced to the pixel
// columns, so their cost follows the width, not the points).
#include "spectrumfixture.h"

#include "platform/runtime/utilities.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

double RepaintOnceMs(TDiagramm &d, QImage &screen)
{
    QElapsedTimer t;
    t.start();
    d.DrawDiagram(d.Bitmap(), false);
    QPainter p(&screen);
    p.drawImage(0, 0, d.Bitmap());
    p.end();
    return t.nsecsElapsed() / 1.0e6;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A stored spectrum of 8193 bins (0 .. 24 kHz): a slope with ripple and
// noise-like detail, so every column holds a spread of values.
display::Overlay Spectrum(int n)
{
    display::Overlay o;
    o.Name = "stored " + std::to_string(n + 1);
    o.Kind = "spectrum";
    display::OverlayCurve c;
    c.Name = "left";
    for (int i = 0; i <= 8192; ++i) {
        const double f = 24000.0 * i / 8192.0;
        c.X.push_back(f);
        c.Y.push_back(-60.0 - 3.0 * n - 10.0 * std::log10(1.0 + f / 1000.0) + 6.0 * std::sin(0.37 * i * (n + 1)));
    }
    o.Curves.push_back(std::move(c));
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::SetSettingsFileName(QDir::tempPath().toStdString() + "/bench_overlay_repaint.ini");

    // Two diagrams alike but for the overlays, drawn in turn.
    TDiagramm plain, overlaid;
    for (TDiagramm *d : {&plain, &overlaid}) {
        d->resize(1200, 800);
        d->SetYCaption(QStringLiteral("Level [dB FS]"));
        d->SetXCaption(QStringLiteral("Frequency [Hz]"));
        std::int32_t xmin = 10, xmax = 24000;
        float ymin = -140.0f, ymax = 0.0f;
        d->SetupDiagram(QStringLiteral("benchmark"), 8192, xmin, xmax, ymin, ymax);
        d->SetCurvesVisible(true, true);
        benchfixture::StoreSpectrum(*d, 8192, 48000.0);
    }
    for (int n = 0; n < display::kMaxOverlays; ++n)
        overlaid.AddOverlay(Spectrum(n));
    QImage screen(1200, 800, QImage::Format_RGB32);

    const int runs = 200;
    std::vector<double> two, eight;
    for (int i = 0; i < 20; ++i) { // warm-up: glyph caches, first allocations
        RepaintOnceMs(plain, screen);
        RepaintOnceMs(overlaid, screen);
    }
    for (int i = 0; i < runs; ++i) {
        two.push_back(RepaintOnceMs(plain, screen));
        eight.push_back(RepaintOnceMs(overlaid, screen));
    }
    const double a = Median(two), b = Median(eight);
    std::printf("diagram repaint with overlays, 1200 x 800 px, 8193 points per curve, %d runs each, alternating\n",
                runs);
    std::printf("  2 live curves:              median %.3f ms = %.3f of a 20 ms frame\n", a, a / 20.0);
    std::printf("  2 live curves + 8 overlays: median %.3f ms = %.3f of a 20 ms frame (target <= 0.25: %s)\n", b,
                b / 20.0, b / 20.0 <= 0.25 ? "met" : "MISSED");
    std::printf("  ratio with / without overlays: %.2f (target <= 1.5: %s)\n", b / a, b / a <= 1.5 ? "met" : "MISSED");
    return 0;
}
