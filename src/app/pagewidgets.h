// Small helpers the main window and its pages build their controls with.
#pragma once

#include <QLabel>
#include <QString>

namespace app {

template <class W>
W *Named(W *w, const char *name)
{
    w->setObjectName(name);
    return w;
}

// Labels show their text as it is: device, mixer and file names come from
// outside and must never be taken for markup.
inline QLabel *PlainLabel(const char *name, const QString &text, QWidget *parent)
{
    QLabel *l = Named(new QLabel(text, parent), name);
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace app
