// Offscreen picture of the diagram window with a live spectrum: the virtual
// card's test sine through its device-under-test model, continuous mode, the
// THD+N line on. Writes the picture to the path given (default
// /tmp/analyser.png) and prints the THD+N line.
#include "analyserbenchsupport.h"

#include "display/diagramwindow.h"

#include <QApplication>
#include <QPushButton>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/analyser.png");
    QTemporaryDir dir;
    if (!analyserbench::StartWindows(dir, "[LOOPBACK]\nPACED=TRUE\nSIGNAL=SINE\nSIGFREQ=1000\nSIGLEVEL=-6\n"
                                          "[ANALYSE]\nTHDMESS=TRUE\n[FFT]\nSAMPLES=8192\nCOMMENT=virtual card test sine\n"
                                          "[DIAGRAMM]\nWIDTH=800\nHEIGHT=500\n"))
        return 1;
    analyserbench::NextCounter counter;
    app::MainForm->installEventFilter(&counter);
    TDiagramm *d = app::Diagramm;
    d->resize(800, 500);
    app::MainForm->findChild<QPushButton *>("StartButton")->click();
    counter.waitFor(4);
    app::MainForm->findChild<QPushButton *>("StopButton")->click();
    analyserbench::RunEvents(400);
    const bool saved = d->grab().save(out);
    std::printf("%s\n%s\n", d->StatusText().toLocal8Bit().constData(), saved ? qPrintable(out) : "not saved");
    app::MainForm->close();
    app::DestroyWindows();
    return saved ? 0 : 1;
}
