#include "widgets/filedialog.h"

#include <QFileDialog>

namespace platform {

namespace {
FileDialogHandler &handler()
{
    static FileDialogHandler h;
    return h;
}
} // namespace

QString AskFileName(QWidget *parent, const FileDialogRequest &request)
{
    if (handler())
        return handler()(request);
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Opening a name that does not exist yet is allowed: correction files are
    // created on first use.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.initialName.isEmpty())
        dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void SetFileDialogHandler(FileDialogHandler h) { handler() = std::move(h); }

} // namespace platform
