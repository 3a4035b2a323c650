// Printing the diagram: the print area on the page, the font scale, the
// printer lines of the audio layer's report list, and the printout itself -
// the diagram laid out on a work bitmap at a quarter of the print area and
// stretched onto it in full colour. UI thread only.
#pragma once

#include <string>
#include <vector>

class QPrinter;
class TDiagramm;

namespace app {

// Where the diagram goes on the page, in printer dots.
struct PrintArea {
    int X0 = 0, Y0 = 0, Width = 0, Height = 0;
};

// Landscape: the full width, two thirds of an inch free above and below.
// Portrait: two thirds of an inch left, a quarter right, half an inch above,
// the upper half of the page.
PrintArea ComputePrintArea(int dpi, int pageWidth, int pageHeight, bool landscape);

// Font size of the work bitmap: 2 per 75 dpi, and at least 2, since printers
// may report 72 dpi.
int PrintFontScale(int dpi);

// Replaces the printer block of an earlier printout in `log` by `lines`
// (appended at the end); every other line, the device report and logged
// errors among them, stays.
void ReplacePrinterReport(std::vector<std::string> &log, const std::vector<std::string> &lines);

enum class PrintResult { Printed, LayoutFailed, PrinterFailed };

// Prints the diagram on a printer the user has confirmed: reports the printer
// in the audio layer's report list, lays the diagram out for the page, draws
// it in output form and prints it as job "Sonalyx V1.4 ". LayoutFailed prints
// nothing; PrinterFailed means the printer (or PDF file) could not be opened.
// The window gets its own layout back in every case.
PrintResult PrintDiagram(TDiagramm &diagram, QPrinter &printer);

} // namespace app
