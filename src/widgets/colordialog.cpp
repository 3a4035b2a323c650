// The colour chooser behind its test seam (see colordialog.h).
#include "widgets/colordialog.h"

#include <QColorDialog>

namespace platform {

namespace {
ColourDialogHandler &handler()
{
    static ColourDialogHandler h;
    return h;
}
} // namespace

std::optional<QColor> AskColour(QWidget *parent, const QColor &initial, const QString &title)
{
    if (handler())
        return handler()(initial);
    const QColor c = QColorDialog::getColor(initial, parent, title);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

void SetColourDialogHandler(ColourDialogHandler h) { handler() = std::move(h); }

} // namespace platform
