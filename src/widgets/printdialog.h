// The print and printer-setup dialogs. Windows ask through this function so
// tests can answer for the user (choose a PDF file, a resolution, cancel)
// instead of blocking on a modal system dialog.
#pragma once

#include <functional>

class QPrinter;
class QWidget;

namespace platform {

enum class PrintDialogKind { Print, Setup };

// Runs the dialog of `kind` on `printer`, which keeps what the user chose;
// true when the user confirmed.
bool RunPrintDialog(QWidget *parent, QPrinter &printer, PrintDialogKind kind);

// Answers the dialogs instead of the user (tests); an empty handler restores
// the real dialogs.
using PrintDialogHandler = std::function<bool(PrintDialogKind kind, QPrinter &printer)>;
void SetPrintDialogHandler(PrintDialogHandler handler);

} // namespace platform
