#include "widgets/textout.h"

#include <QFontMetrics>
#include <QPainter>

namespace platform {

void TextOutRotated(QPainter &painter, int x, int y, double angle, const QString &text)
{
    painter.save();
    QFont font = painter.font();
    font.setWeight(font.bold() ? QFont::Bold : QFont::Medium);
    painter.setFont(font);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.translate(x, y);
    painter.rotate(-angle); // screen y points down: negative is counter-clockwise
    QFontMetrics fm(font);
    painter.drawText(0, fm.ascent(), text);
    painter.restore();
}

} // namespace platform
