// Rotated text on a painter, as the diagram axes use it.
#pragma once

#include <QString>

class QPainter;

namespace platform {

// Draws `text` with the painter's font rotated counter-clockwise by `angle`
// degrees, its top-left corner (in text direction) at x, y, with a
// transparent background. Bold fonts are drawn with weight 700, others 500.
// The painter's font, pen and background mode are restored afterwards.
void TextOutRotated(QPainter &painter, int x, int y, double angle, const QString &text);

} // namespace platform
