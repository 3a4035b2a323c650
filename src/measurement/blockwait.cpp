// Waits on the capture engine without a window (see blockwait.h).
#include "measurement/blockwait.h"

#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/soundinterface.h"
#include "platform/runtime/messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <memory>

namespace measure {

namespace {
std::atomic<bool> interruptFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free);
} // namespace

void RequestInterrupt() { interruptFlag.store(true, std::memory_order_relaxed); }
bool InterruptRequested() { return interruptFlag.load(std::memory_order_relaxed); }
void ClearInterrupt() { interruptFlag.store(false, std::memory_order_relaxed); }

bool WaitMs(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        if (InterruptRequested())
            return false;
        platform::DelayMs(static_cast<int>(std::min<qint64>(ms - timer.elapsed(), 20)));
    }
    return !InterruptRequested();
}

bool WaitForCompletion(const bool &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    // A timer wakes the loop now and then, so a lost completion, and an
    // interrupt during a long block, are noticed.
    QTimer wake;
    wake.start(20);
    while (!done && timer.elapsed() < timeoutMs && !InterruptRequested())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done;
}

CapturedBlock CaptureBlock(int frames, std::uint32_t tag)
{
    CapturedBlock b;
    // The flag outlives this call: a completion that comes after we gave up
    // must not write to a dead stack frame.
    auto done = std::make_shared<bool>(false);
    b.Status = audio::StartCapture(frames, tag, [done] { *done = true; });
    if (b.Status != 0)
        return b;
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    const int blockMs = rateIn > 0 ? static_cast<int>(1000LL * frames / rateIn) : 1000;
    if (!WaitForCompletion(*done, blockMs + 10000)) {
        // Interrupted, or the device is gone: the capture still in flight is
        // let go with the device when the engine closes.
        b.Status = audio::DEVICE_LOST;
        return b;
    }
    std::uint32_t userValue = 0;
    b.Data = audio::FinishCapture(b.Count, b.Overloads, userValue);
    if (!b.Data)
        b.Status = audio::AudioStatus() != 0 ? audio::AudioStatus() : audio::MMSYSERR_ERROR;
    return b;
}

} // namespace measure
