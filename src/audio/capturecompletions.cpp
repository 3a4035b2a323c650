#include "audio/capturecompletions.h"
#include "audio/enginestate.h"

#include "platform/runtime/messages.h"

namespace audio {

Tdummy::Tdummy(QObject *parent) : QObject(parent)
{
    setObjectName("dummy");
    watchdog_.setSingleShot(true);
    connect(&watchdog_, &QTimer::timeout, this, [] { CaptureWatchdogExpired(); });
    State().captureWindow = this;
}

Tdummy::~Tdummy()
{
    if (State().captureWindow == this)
        State().captureWindow = nullptr;
}

void Tdummy::armWatchdog(int ms) { watchdog_.start(ms); }

void Tdummy::disarmWatchdog() { watchdog_.stop(); }

bool Tdummy::event(QEvent *e)
{
    if (const platform::WindowMessageEvent *m = platform::AsWindowMessage(e)) {
        if (m->msg == platform::MM_WIM_DATA) {
            CaptureCompleted(reinterpret_cast<WaveHeader *>(m->lParam), static_cast<int>(m->wParam));
            return true;
        }
    }
    return QObject::event(e);
}

} // namespace audio
