// Internal: the engine's one set of unit-level state, shared by the engine's
// source files. Not for use outside src/audio.
#pragma once

#include "audio/audioengine.h"
#include "audio/capture.h"

#include <array>
#include <memory>

namespace audio {

class Tdummy;

struct EngineState {
    std::array<WaveDeviceSettings, kMaxDevices> input;
    std::array<WaveDeviceSettings, kMaxDevices> output;
    int currentInput = 0;
    int currentOutput = 0;
    int streamBufferSize = kBuiltinStreamBufferSize;
    int status = 0;
    std::vector<std::string> log;
    std::array<std::uint32_t, kMaxDevices> inputFormatMask{};

    // Buffers, allocated once by InitAudio.
    bool closing = false; // DoneAudio is running: no new capture
    std::unique_ptr<WaveHeader> captureHeader;
    std::unique_ptr<char[]> captureData;
    std::unique_ptr<WaveHeader> loopHeader;
    std::unique_ptr<char[]> loopData;
    std::unique_ptr<WaveHeader> streamHeader[2];
    std::unique_ptr<char[]> streamData[2];
    std::unique_ptr<float[]> sampleBlock;

    // Capture.
    std::unique_ptr<WaveInDevice> inputHandle;
    bool inputOpen = false;
    bool captureStarted = false;
    bool capturePending = false;  // buffer queued, its completion not yet handled
    bool captureTimedOut = false;
    CaptureCallback captureCallback;
    WaveHeader *completedHeader = nullptr;
    int completedError = 0;       // error reported with the completion
    Tdummy *captureWindow = nullptr;

    // A start asked for while a block was in flight: it runs as soon as that
    // block's completion has been handled. One slot; a later request replaces
    // an earlier one that has not started yet.
    struct QueuedStart {
        bool queued = false;
        int frames = 0;
        std::uint32_t userValue = 0;
        CaptureCallback callback;
    } queuedStart;
    // Error of a queued start that could not begin; its callback is called at
    // once and FinishCapture reports this code instead of a block.
    int queuedStartError = 0;
    std::uint32_t queuedStartUser = 0;

    int (*stopOutput)() = nullptr;
};

EngineState &State();

// Capture internals used by Tdummy.
void CaptureCompleted(WaveHeader *header, int error);
void CaptureWatchdogExpired();
// Starts the queued request once no block is in flight (after a completion).
void StartQueuedCapture();

} // namespace audio
