// Window messages on the Qt event loop. A message (number, wParam, lParam) is
// posted as a WindowMessageEvent to a receiving QObject and delivered on the
// receiver's thread - the UI thread for every window - in the order posted,
// also when posted from a device thread. Receivers override QObject::event()
// and pass the event to their message handler (see MessageTarget).
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>

// Under ThreadSanitizer (with a Qt not built for it) the hand-over of a posted
// message through Qt's event queue is announced to the sanitizer: what the
// poster wrote before posting happens before what the receiver reads after
// taking the message, as Qt's own locking guarantees.
#if defined(__SANITIZE_THREAD__)
#define SONALYX_ANNOUNCE_HANDOVER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SONALYX_ANNOUNCE_HANDOVER 1
#endif
#endif
#ifdef SONALYX_ANNOUNCE_HANDOVER
#include <sanitizer/tsan_interface.h>
#endif

namespace platform {

constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_ANALYSER_NEXT = WM_USER + 1;
constexpr unsigned WM_SCOPE_NEXT = WM_USER + 2;
constexpr unsigned WM_SWEEP_STEP = WM_USER + 3;
constexpr unsigned WM_DIAGRAM_OPTIONS = WM_USER + 6;
constexpr unsigned WM_STOP_MEASUREMENTS = WM_USER + 7;
constexpr unsigned WM_CALIBRATION_DONE = WM_USER + 8;

// Multimedia completion messages of the sound interface.
constexpr unsigned MM_WOM_OPEN = 0x3BB;
constexpr unsigned MM_WOM_CLOSE = 0x3BC;
constexpr unsigned MM_WOM_DONE = 0x3BD;
constexpr unsigned MM_WIM_OPEN = 0x3BE;
constexpr unsigned MM_WIM_CLOSE = 0x3BF;
constexpr unsigned MM_WIM_DATA = 0x3C0;

class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(eventType()), msg(msg), wParam(wParam), lParam(lParam) {}
    static QEvent::Type eventType();

    unsigned msg;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// Posts a message to `target`; callable from any thread. Returns false when
// there is no target.
bool PostMessage(QObject *target, unsigned msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

// Helper for receivers: returns true and fills the fields when `e` is a window
// message.
inline const WindowMessageEvent *AsWindowMessage(const QEvent *e)
{
#ifdef SONALYX_ANNOUNCE_HANDOVER
    __tsan_acquire(const_cast<QEvent *>(e));
#endif
    return e->type() == WindowMessageEvent::eventType() ? static_cast<const WindowMessageEvent *>(e)
                                                        : nullptr;
}

// Dispatches the pending events of the calling thread (at least one, if any is
// pending). Qt cannot take exactly one event from its queue; what counts for
// the callers is that nothing pending is left waiting behind the caller.
void ProcessPendingMessage();

// Waits `ms` milliseconds by the millisecond clock while dispatching messages,
// so user input, timers and completions are handled during the wait.
void DelayMs(int ms);

// Millisecond clock (monotonic, wraps like the platform's 32-bit tick count).
std::uint32_t TimeGetTime();

} // namespace platform
