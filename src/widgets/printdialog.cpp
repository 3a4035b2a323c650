// The print and printer-setup dialogs behind their test seam (see printdialog.h).
#include "widgets/printdialog.h"

#include <QDir>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace platform {

namespace {
PrintDialogHandler &handler()
{
    static PrintDialogHandler h;
    return h;
}
} // namespace

bool RunPrintDialog(QWidget *parent, QPrinter &printer, PrintDialogKind kind)
{
    if (handler())
        return handler()(kind, printer);
    // Without any printer Qt prints to PDF; offer a file the user can keep.
    if (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty())
        printer.setOutputFileName(QDir::home().filePath(QStringLiteral("sonalyx.pdf")));
    if (kind == PrintDialogKind::Setup) {
        QPageSetupDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted;
    }
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

void SetPrintDialogHandler(PrintDialogHandler h) { handler() = std::move(h); }

} // namespace platform
