// Renders a filled diagram offscreen and saves it as PNG, to look at the
// finished drawing: diagram_snapshot [window.png] [copy.png]
#include "spectrumfixture.h"

#include "platform/utilities.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
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
    std::printf("%s %s\n%s %s\n", qPrintable(windowPath), ok1 ? "written" : "FAILED", qPrintable(copyPath),
                ok2 ? "written" : "FAILED");
    return ok1 && ok2 ? 0 : 1;
}
