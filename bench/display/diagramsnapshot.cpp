// Renders a filled diagram offscreen and saves it as PNG, to look at the
// finished drawing: diagram_snapshot [window.png] [copy.png]
#include "spectrumfixture.h"

#include "platform/runtime/utilities.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cmath>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // never touch the program's own settings file
    platform::SetSettingsFileName(QDir::tempPath().toStdString() + "/diagram_snapshot.ini");
    const QString windowPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/diagram.png");
    const QString copyPath = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/diagram-copy.png");

    TDiagramm d;
    d.resize(800, 500);
    d.SetYCaption(QStringLiteral("Level [dB FS]"));
    d.SetXCaption(QStringLiteral("Frequency [Hz]"));
    std::int32_t xmin = 10, xmax = 24000;
    float ymin = -140.0f, ymax = 0.0f;
    d.SetupDiagram(QStringLiteral("remark: 1 kHz sine, left and right input"), 4095, xmin, xmax, ymin, ymax);
    d.SetCurvesVisible(true, true);
    benchfixture::StoreSpectrum(d, 4096, 48000.0);
    d.SetStatusText(QStringLiteral("THD+N:  le 1000Hz -84.3dB |  ri 1000Hz -78.9dB |   Filter: none"));
    d.show();

    const bool ok1 = d.grab().save(windowPath);
    d.DrawDiagram(d.Bitmap(), true);
    const bool ok2 = d.Bitmap().save(copyPath);

    // A sweep: level on the left axis, phase on the right one.
    const QString sweepPath = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("/tmp/diagram-sweep.png");
    TDiagramm s;
    s.resize(640, 420);
    s.ResetDiagram();
    s.SetAxesVisible(true, true);
    s.SetCurvesVisible(true, true);
    s.SetYCaption(QStringLiteral("Level [dB]"));
    s.SetY2Caption(QStringLiteral("Phase [\u00B0]"));
    s.SetXCaption(QStringLiteral("Frequency [Hz]"));
    s.SetY2Range(90.0f, -90.0f);
    xmin = 20;
    xmax = 22000;
    ymin = -45.0f;
    ymax = 5.0f;
    s.SetupDiagram(QStringLiteral("remark: RC low-pass 1.6 kHz"), 50, xmin, xmax, ymin, ymax);
    for (int i = 0; i <= 50; ++i) {
        const double f = 20.0 * std::pow(1100.0, i / 50.0);
        const double w = f / 1600.0;
        const float v[2] = {static_cast<float>(-10.0 * std::log10(1.0 + w * w)),
                            static_cast<float>(-std::atan(w) * 180.0 / 3.14159265358979)};
        s.StorePoint(v, i, static_cast<float>(f));
    }
    s.show();
    const bool ok3 = s.grab().save(sweepPath);

    std::printf("%s %s\n%s %s\n%s %s\n", qPrintable(windowPath), ok1 ? "written" : "FAILED", qPrintable(copyPath),
                ok2 ? "written" : "FAILED", qPrintable(sweepPath), ok3 ? "written" : "FAILED");
    return ok1 && ok2 && ok3 ? 0 : 1;
}
