// Open and save file dialogs. Windows ask through these functions so tests
// can answer for the user.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace platform {

struct FileDialogRequest {
    bool save = false;
    QString title;
    QString filter;        // e.g. "Correction File (*.cor)"
    QString defaultSuffix; // appended when the typed name has none, e.g. "cor"
    QString initialName;
};

// The chosen file name, or an empty string when the user cancelled.
QString AskFileName(QWidget *parent, const FileDialogRequest &request);

// Answers the dialogs instead of the user (tests); an empty handler
// restores the real dialogs.
using FileDialogHandler = std::function<QString(const FileDialogRequest &)>;
void SetFileDialogHandler(FileDialogHandler handler);

} // namespace platform
