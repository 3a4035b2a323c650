// Printing the diagram (see diagramprint.h).
#include "app/diagramprint.h"

#include "audio/audioengine.h"
#include "display/diagramwindow.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

namespace app {

namespace {

// Labels of the printer block, in the order they are written; the first one
// marks where a block begins.
constexpr const char *kPrinterLabels[] = {
    "Printer      : ", "Auflösung DPI: ", "NUMCOLORS    : ", "BITSPIXEL    : ", "PLANES       : ",
    "Seitenbreite : ", "Seitenhöhe   : ", "Druckreite   : ", "Druckhöhe    : ", "Druck x0     : ",
    "Druck y0     : "};
constexpr std::size_t kPrinterLines = std::size(kPrinterLabels);

bool StartsWith(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

// Length of the printer block starting at `at`, or 0 when none starts there.
std::size_t PrinterBlockAt(const std::vector<std::string> &log, std::size_t at)
{
    std::size_t n = 0;
    while (n < kPrinterLines && at + n < log.size() && StartsWith(log[at + n], kPrinterLabels[n]))
        ++n;
    return n == kPrinterLines ? n : 0;
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

PrintArea ComputePrintArea(int dpi, int pageWidth, int pageHeight, bool landscape)
{
    PrintArea a;
    if (landscape) {
        a.X0 = 0;
        a.Y0 = 2 * dpi / 3;
        a.Width = pageWidth;
        a.Height = pageHeight - 2 * a.Y0;
    } else {
        a.X0 = 2 * dpi / 3;
        a.Y0 = dpi / 2;
        a.Width = pageWidth - a.X0 - dpi / 4;
        a.Height = pageHeight / 2;
    }
    return a;
}

int PrintFontScale(int dpi) { return std::max(2, 2 * (dpi / 75)); }

void ReplacePrinterReport(std::vector<std::string> &log, const std::vector<std::string> &lines)
{
    for (std::size_t i = 0; i < log.size();) {
        if (const std::size_t n = PrinterBlockAt(log, i))
            log.erase(log.begin() + std::ptrdiff_t(i), log.begin() + std::ptrdiff_t(i + n));
        else
            ++i;
    }
    log.insert(log.end(), lines.begin(), lines.end());
}

PrintResult PrintDiagram(TDiagramm &diagram, QPrinter &printer)
{
    const WaitCursor wait;
    const QString title = diagram.GetTitle();
    const int count = diagram.GetPointCount();
    std::int32_t xmin = 0, xmax = 0;
    float ymin = 0.0f, ymax = 0.0f;
    diagram.GetXRange(xmin, xmax);
    diagram.GetYRange(ymin, ymax);

    const int dpi = printer.logicalDpiY();
    const int pageWidth = printer.width(), pageHeight = printer.height();
    const bool landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
    const PrintArea area = ComputePrintArea(dpi, pageWidth, pageHeight, landscape);
    // A PDF "printer" has no name; its file tells where the printout went.
    const QString name = printer.printerName().isEmpty() ? printer.outputFileName() : printer.printerName();
    const int values[] = {dpi, printer.colorCount(), printer.depth(), 1, pageWidth, pageHeight,
                          area.Width, area.Height, area.X0, area.Y0};
    std::vector<std::string> lines{kPrinterLabels[0] + name.toStdString()};
    for (std::size_t i = 1; i < kPrinterLines; ++i)
        lines.push_back(kPrinterLabels[i] + std::to_string(values[i - 1]));
    ReplacePrinterReport(audio::AudioLog(), lines);

    PrintResult result = PrintResult::LayoutFailed;
    QImage work;
    if (!diagram.SetupDiagram(title, count, xmin, xmax, ymin, ymax) &&
        diagram.LayoutDiagram(work, area.Width / 4, area.Height / 4, false, PrintFontScale(dpi))) {
        diagram.DrawDiagram(work, true);
        printer.setDocName(QStringLiteral("Sonalyx V1.4 "));
        QPainter painter;
        if (painter.begin(&printer)) {
            // Lossless keeps a PDF's colours exact instead of JPEG-compressed.
            painter.setRenderHint(QPainter::LosslessImageRendering);
            painter.drawImage(QRect(area.X0, area.Y0, area.Width, area.Height), work);
            painter.end();
            result = PrintResult::Printed;
        } else {
            result = PrintResult::PrinterFailed;
        }
    }
    diagram.Relayout();
    return result;
}

} // namespace app
