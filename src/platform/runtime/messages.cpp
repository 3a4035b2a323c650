#include "platform/runtime/messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace platform {

QEvent::Type WindowMessageEvent::eventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool PostMessage(QObject *target, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (!target)
        return false;
    auto *event = new WindowMessageEvent(msg, wParam, lParam);
#ifdef SONALYX_ANNOUNCE_HANDOVER
    __tsan_release(event);
#endif
    QCoreApplication::postEvent(target, event);
    return true;
}

void ProcessPendingMessage()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void DelayMs(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        ProcessPendingMessage();
        qint64 left = ms - timer.elapsed();
        if (left > 0)
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 2)));
    }
}

std::uint32_t TimeGetTime()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<std::uint32_t>(clock.elapsed());
}

} // namespace platform
