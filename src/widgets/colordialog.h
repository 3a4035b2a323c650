// The colour chooser. Windows ask through this function so tests can answer
// for the user instead of blocking on the modal dialog.
#pragma once

#include <QColor>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace platform {

// The chosen colour, or nothing when the user cancelled.
std::optional<QColor> AskColour(QWidget *parent, const QColor &initial, const QString &title = {});

// Answers the chooser instead of the user (tests); an empty handler restores
// the real dialog.
using ColourDialogHandler = std::function<std::optional<QColor>(const QColor &initial)>;
void SetColourDialogHandler(ColourDialogHandler handler);

} // namespace platform
