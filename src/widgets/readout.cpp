// Readout labels for assistive technology (see readout.h).
#include "widgets/readout.h"

#include <QLabel>

namespace platform {

void MarkReadout(QLabel *label, const QString &caption)
{
    // A set name would hide the text: Qt names a label by its text only
    // while it has no name of its own.
    label->setAccessibleName(QString());
    label->setAccessibleDescription(caption);
}

} // namespace platform
