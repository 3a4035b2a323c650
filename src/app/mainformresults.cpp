// Main window commands for the results on the screen: the diagram's options
// and readout scale, printing and printer setup, the clipboard copy and the
// remark. On the oscilloscope page the oscilloscope window exports instead.
#include "app/diagramprint.h"
#include "app/forms.h"
#include "app/mainform.h"
#include "app/mainformtexts.h"
#include "display/diagramoptionsdialog.h"
#include "display/diagramwindow.h"
#include "display/scopewindow.h"
#include "display/scaledialog.h"
#include "widgets/messagebox.h"
#include "widgets/printdialog.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QPrinter>
#include <QTabWidget>

namespace {

constexpr int kScopePage = 2;

} // namespace

void TMainForm::PrinterDeleter::operator()(QPrinter *p) const { delete p; }

QPrinter &TMainForm::Printer()
{
    if (!printer_)
        printer_.reset(new QPrinter(QPrinter::HighResolution));
    return *printer_;
}

void TMainForm::connectResultsMenus()
{
    EditCopyItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    connect(DiaEinMenu, &QAction::triggered, this, &TMainForm::DiaEinMenuClick);
    connect(Skalierung1, &QAction::triggered, this, &TMainForm::Skalierung1Click);
    connect(Kommentar1, &QAction::triggered, this, &TMainForm::Kommentar1Click);
    connect(FilePrintItem, &QAction::triggered, this, &TMainForm::FilePrintItemClick);
    connect(FilePrintSetupItem, &QAction::triggered, this, &TMainForm::FilePrintSetupItemClick);
    connect(EditCopyItem, &QAction::triggered, this, &TMainForm::EditCopyItemClick);
}

void TMainForm::UpdateResultsMenus(int page)
{
    Kommentar1->setEnabled(page != kScopePage);
    FilePrintItem->setEnabled(page != kScopePage);
}

void TMainForm::DiaEinMenuClick()
{
    if (app::Diagramm)
        app::Diagramm->ShowOptions();
}

void TMainForm::Skalierung1Click()
{
    TDiagramm *d = app::Diagramm;
    TSkalDia *dlg = app::SkalDia;
    if (!d || !dlg)
        return;
    dlg->Record = d->XScale();
    if (dlg->exec() != QDialog::Accepted)
        return;
    d->SetXScale(dlg->Record);
    d->update();
}

void TMainForm::Kommentar1Click()
{
    TDiagramm *d = app::Diagramm;
    if (!d || PageControl1->currentIndex() == kScopePage)
        return;
    d->show();
    d->raise();
    d->activateWindow();
    d->Edicomment->setFocus(Qt::ShortcutFocusReason);
}

void TMainForm::FilePrintItemClick()
{
    TDiagramm *d = app::Diagramm;
    if (!d || PageControl1->currentIndex() == kScopePage)
        return;
    QPrinter &printer = Printer();
    if (!platform::RunPrintDialog(this, printer, platform::PrintDialogKind::Print))
        return;
    if (app::PrintDiagram(*d, printer) == app::PrintResult::PrinterFailed) {
        const QString where = printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
        platform::ShowMessage(this, platform::MessageKind::Error, where + app::Texts().CouldNotCreate);
    }
}

void TMainForm::FilePrintSetupItemClick()
{
    platform::RunPrintDialog(this, Printer(), platform::PrintDialogKind::Setup);
}

void TMainForm::EditCopyItemClick()
{
    // The oscilloscope page copies the oscilloscope's screen as it stands.
    if (PageControl1->currentIndex() == kScopePage) {
        if (app::Oszidia)
            QGuiApplication::clipboard()->setImage(app::Oszidia->Bitmap());
        return;
    }
    TDiagramm *d = app::Diagramm;
    if (!d)
        return;
    // The copy carries title and status text and no mouse readout.
    d->DrawDiagram(d->Bitmap(), true);
    QGuiApplication::clipboard()->setImage(d->Bitmap());
    d->DrawDiagram(d->Bitmap(), false);
    d->update();
}
