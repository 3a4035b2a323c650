// Waiting on the engine without a window: one capture started and awaited
// on the calling (UI) thread's event loop, and waits that end early when an
// interrupt was requested. For drivers that run a measurement from start to
// end in one call (the command line, benchmarks, tests).
//
// Threads: the UI thread; RequestInterrupt also from a signal handler.
#pragma once

#include <cstdint>

namespace measure {

// Asks every running wait to end early (async-signal-safe).
void RequestInterrupt();
bool InterruptRequested();
void ClearInterrupt();

// Waits `ms` milliseconds with messages dispatched; false when an interrupt
// ended the wait early.
bool WaitMs(int ms);

// A block fetched from the capture engine. Data stays valid until the next
// capture starts.
struct CapturedBlock {
    const float *Data = nullptr; // null when the capture failed
    int Count = 0;               // values, two per frame
    int Overloads = 0;
    int Status = 0;              // 0, or the error number
};

// Starts a capture of `frames` frames on the current input device and waits
// for it, dispatching messages. Gives up with a "lost device" status when no
// completion comes long after the block should have been full (the engine's
// own watchdog normally ends a lost capture first).
CapturedBlock CaptureBlock(int frames, std::uint32_t tag = 0);

// Waits for a capture that was started with `done` set from its callback;
// false when it did not come within `timeoutMs`, or an interrupt was
// requested first.
bool WaitForCompletion(const bool &done, int timeoutMs);

} // namespace measure
