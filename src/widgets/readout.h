// Labels that show a measured or changing value (a live reading, a volume
// percentage, a cursor readout, a status line). Assistive technology, and a
// test robot walking the accessible tree, must get the value itself: such a
// label has no accessible name of its own, so its name is always its current
// text, and its caption is the accessible description.
#pragma once

#include <QString>

class QLabel;

namespace platform {

void MarkReadout(QLabel *label, const QString &caption);

} // namespace platform
