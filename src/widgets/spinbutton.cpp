// Up/down arrow button pair (see spinbutton.h).
#include "widgets/spinbutton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

SpinButton::SpinButton(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
}

void SpinButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int w = width(), h = height(), half = h / 2;
    auto bevel = [&](int top, int bottom, bool down) {
        p.fillRect(0, top, w, bottom - top, palette().button());
        p.setPen(down ? QColor(0x80, 0x80, 0x80) : Qt::white);
        p.drawLine(0, top, w - 1, top);
        p.drawLine(0, top, 0, bottom - 1);
        p.setPen(down ? Qt::white : QColor(0x80, 0x80, 0x80));
        p.drawLine(0, bottom - 1, w - 1, bottom - 1);
        p.drawLine(w - 1, top, w - 1, bottom - 1);
    };
    bevel(0, half, pressed_ == 1);
    bevel(half, h, pressed_ == -1);
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? palette().buttonText() : palette().mid());
    const int cx = w / 2, a = std::max(1, std::min(w / 4, half / 2));
    const int upY = half / 2, downY = half + (h - half) / 2;
    p.drawPolygon(QPolygon({QPoint(cx - a, upY + a / 2), QPoint(cx + a, upY + a / 2), QPoint(cx, upY - a / 2 - 1)}));
    p.drawPolygon(QPolygon({QPoint(cx - a, downY - a / 2), QPoint(cx + a, downY - a / 2), QPoint(cx, downY + a / 2 + 1)}));
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(palette().buttonText().color(), 1, Qt::DotLine));
        p.drawRect(2, 2, w - 5, h - 5);
    }
}

void SpinButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Up)
        emit upClick();
    else if (event->key() == Qt::Key_Down)
        emit downClick();
    else
        QWidget::keyPressEvent(event);
}

void SpinButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pressed_ = event->position().y() < height() / 2 ? 1 : -1;
    update();
}

void SpinButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || pressed_ == 0)
        return;
    const int was = pressed_;
    pressed_ = 0;
    update();
    if (!rect().contains(event->position().toPoint()))
        return;
    if (was == 1)
        emit upClick();
    else
        emit downClick();
}
