// One-block capture: open the current input device, record one buffer, and
// convert it to floats with DC offset, phase signs and channel order applied.
#include "audio/capture.h"
#include "audio/devices.h"
#include "audio/enginestate.h"
#include "audio/synthesis/samplecodec.h"
#include "audio/capturecompletions.h"

#include "platform/runtime/messages.h"

#include <QCoreApplication>
#include <cstring>

namespace audio {

namespace {

// Error line plus the text line (at most 128 characters) in AudioLog.
void logError(const char *what, int code)
{
    AppendAudioLog(std::string(what) + std::to_string(code));
    AppendAudioLog(SoundInterface::instance().waveInGetErrorText(code).substr(0, 128));
}

// Drops a completion that a reset posted for a capture that is being
// abandoned, so it cannot be taken for the next capture's completion.
void dropPostedCompletions()
{
    EngineState &s = State();
    if (s.captureWindow)
        QCoreApplication::removePostedEvents(s.captureWindow, platform::WindowMessageEvent::eventType());
}

// Releases everything a failed start opened, so that the next capture can
// start: return the buffer, unprepare, close. A device that refuses to close
// is destroyed all the same (destroying a device stops it).
void releaseInput(bool bufferQueued)
{
    EngineState &s = State();
    if (s.inputHandle) {
        if (bufferQueued)
            s.inputHandle->reset();
        s.inputHandle->unprepareHeader(*s.captureHeader);
        s.inputHandle->close();
        s.inputHandle.reset();
    }
    s.inputOpen = false;
    s.captureStarted = false;
    s.capturePending = false;
    if (s.captureWindow)
        s.captureWindow->disarmWatchdog();
    dropPostedCompletions();
}

} // namespace

bool CaptureOpen() { return State().inputOpen || State().captureStarted; }

bool CaptureQueued() { return State().queuedStart.queued; }

namespace {

// A block whose completion was handled but which its caller never fetched
// keeps the device open; finishing it here lets the next capture start.
void discardUnfetchedBlock()
{
    EngineState &s = State();
    if (s.capturePending || !(s.inputOpen || s.captureStarted))
        return;
    int count = 0, overloads = 0;
    std::uint32_t user = 0;
    FinishCapture(count, overloads, user);
}

// Opens the current input device and starts recording `frames` frames into
// the capture buffer; the callback is already in place.
int beginCapture(int frames, std::uint32_t userValue);

} // namespace

void StartQueuedCapture()
{
    EngineState &s = State();
    if (!s.queuedStart.queued || s.capturePending || s.closing)
        return;
    discardUnfetchedBlock();
    EngineState::QueuedStart next = std::move(s.queuedStart);
    s.queuedStart = EngineState::QueuedStart{};
    s.captureCallback = std::move(next.callback);
    const int rc = beginCapture(next.frames, next.userValue);
    if (rc == 0)
        return;
    // The caller was told its capture would come: it hears of the failure
    // through its callback instead.
    CaptureCallback cb = std::move(s.captureCallback);
    s.captureCallback = nullptr;
    s.queuedStartError = rc;
    s.queuedStartUser = next.userValue;
    if (cb)
        cb();
    s.queuedStartError = 0;
}

int StartCapture(int frames, std::uint32_t userValue, CaptureCallback callback)
{
    EngineState &s = State();
    s.status = 0;
    if (!s.captureData || s.closing)
        return 0;
    if (!s.captureWindow) {
        AppendAudioLog("StartCapture Error: no completion window");
        s.status = MMSYSERR_INVALHANDLE;
        return s.status;
    }
    if (frames < 1 || frames > kMaxCaptureFrames) {
        AppendAudioLog("StartCapture Error: " + std::to_string(frames) + " frames");
        s.status = MMSYSERR_INVALPARAM;
        return s.status;
    }
    // A block in flight keeps its own callback: the new request waits
    // behind it instead of redirecting its completion.
    if (s.capturePending) {
        s.queuedStart.queued = true;
        s.queuedStart.frames = frames;
        s.queuedStart.userValue = userValue;
        s.queuedStart.callback = std::move(callback);
        return 0;
    }
    discardUnfetchedBlock();
    s.captureCallback = std::move(callback);
    return beginCapture(frames, userValue);
}

namespace {

int beginCapture(int frames, std::uint32_t userValue)
{
    EngineState &s = State();
    WaveDeviceSettings &dev = s.input[s.currentInput];
    const int rate = static_cast<int>(dev.Format.nSamplesPerSec);

    // Only 8, 16 and 32-bit containers can be decoded; a hand-edited
    // resolution must not come back as an empty block that looks fine.
    if (BytesPerSample(dev.Format.wBitsPerSample) == 0) {
        AppendAudioLog("StartCapture Error: " + std::to_string(dev.Format.wBitsPerSample) + " bits");
        s.status = WAVERR_BADFORMAT;
        return s.status;
    }
    SetDeviceFormat(dev, std::string(), rate, false, 0, 0);
    if (static_cast<std::uint64_t>(dev.Format.nBlockAlign) * static_cast<std::uint64_t>(frames) >
            kCaptureBufferBytes ||
        dev.Format.nBlockAlign == 0) {
        AppendAudioLog("StartCapture Error: " + std::to_string(frames) + " frames");
        s.status = MMSYSERR_INVALPARAM;
        return s.status;
    }

    SoundInterface &si = SoundInterface::instance();
    int rc = si.waveInQuery(s.currentInput, dev.Format);
    if (rc != 0) {
        AppendAudioLog("InFormatQuery Error ");
        s.status = rc;
        return rc;
    }

    // Drop anything a device left for an earlier, abandoned capture.
    dropPostedCompletions();
    rc = si.waveInOpen(s.currentInput, dev.Format, InputTarget{s.captureWindow}, s.inputHandle);
    if (rc != 0) {
        logError("waveinOpen Error ", rc);
        s.inputHandle.reset();
        s.status = rc;
        return rc;
    }
    s.inputOpen = true;

    WaveHeader &h = *s.captureHeader;
    h = WaveHeader{};
    h.lpData = s.captureData.get();
    h.dwBufferLength = dev.Format.nBlockAlign * static_cast<std::uint32_t>(frames);
    h.dwUser = userValue;
    h.dwLoops = 1;
    s.completedHeader = nullptr;
    s.completedError = 0;
    s.captureTimedOut = false;

    rc = s.inputHandle->prepareHeader(h);
    if (rc != 0) {
        releaseInput(false);
        s.status = rc;
        return rc;
    }
    rc = s.inputHandle->addBuffer(h);
    if (rc != 0) {
        logError("waveInAddBuffer Error ", rc);
        releaseInput(false);
        s.status = rc;
        return rc;
    }
    s.capturePending = true;
    rc = s.inputHandle->start();
    if (rc != 0) {
        logError("waveInStart Error ", rc);
        releaseInput(true);
        s.status = rc;
        return rc;
    }
    s.captureStarted = true;
    // A device that stops delivering must not hang the caller: allow the
    // block's own duration plus a generous margin.
    const long long ms = rate > 0 ? static_cast<long long>(frames) * 1000 / rate : 0;
    s.captureWindow->armWatchdog(static_cast<int>(ms + 3000));
    s.status = 0;
    return 0;
}

} // namespace

void CaptureCompleted(WaveHeader *header, int error)
{
    EngineState &s = State();
    if (!s.capturePending || header != s.captureHeader.get())
        return; // a completion of an abandoned capture
    s.capturePending = false;
    if (s.captureWindow)
        s.captureWindow->disarmWatchdog();
    s.completedHeader = header;
    // A buffer cut short by the watchdog's reset is a lost device; a full
    // one is good even if the watchdog fired while it waited in the queue.
    if (error == 0 && s.captureTimedOut && header->dwBytesRecorded < header->dwBufferLength)
        error = DEVICE_LOST;
    s.completedError = error;
    if (s.captureCallback && s.sampleBlock) {
        // The callback may start the next capture, which replaces the stored
        // callback while this one runs: call a moved-out copy (a move never
        // allocates) and put it back unless a new one took its place.
        CaptureCallback cb = std::move(s.captureCallback);
        s.captureCallback = nullptr;
        cb();
        if (!s.captureCallback)
            s.captureCallback = std::move(cb);
    }
    StartQueuedCapture();
}

void CaptureWatchdogExpired()
{
    EngineState &s = State();
    if (!s.capturePending || !s.inputHandle)
        return;
    s.captureTimedOut = true;
    // Reset returns the buffer with its completion; if even that fails, post
    // the completion here so the caller still hears of the capture.
    if (s.inputHandle->reset() == 0)
        s.captureStarted = false;
    else
        platform::PostMessage(s.captureWindow, platform::MM_WIM_DATA, DEVICE_LOST,
                              reinterpret_cast<std::intptr_t>(s.captureHeader.get()));
}

const float *FinishCapture(int &count, int &overloads, std::uint32_t &userValue)
{
    EngineState &s = State();
    s.status = 0;
    count = 0;
    overloads = 0;
    if (s.queuedStartError != 0) {
        s.status = s.queuedStartError;
        userValue = s.queuedStartUser;
        s.queuedStartError = 0;
        return nullptr;
    }
    if (!s.captureHeader || !s.sampleBlock) {
        userValue = 0;
        return nullptr;
    }
    WaveHeader &h = s.completedHeader ? *s.completedHeader : *s.captureHeader;
    userValue = static_cast<std::uint32_t>(h.dwUser);
    const char *data = h.lpData ? h.lpData : s.captureData.get();

    // Called before the completion came: stop the device first so the buffer
    // is returned and no longer written.
    const bool early = s.capturePending;
    if (s.inputHandle) {
        if (s.captureStarted && s.inputHandle->reset() == 0)
            s.captureStarted = false;
        s.inputHandle->unprepareHeader(h);
        if (s.inputOpen) {
            // Keeping a device open that refused to close would block every
            // later capture; destroying it below releases it for good.
            int rc = s.inputHandle->close();
            if (rc != 0) {
                AppendAudioLog("waveInClose Error " + std::to_string(rc));
                s.status = kStatusCloseFailed;
            }
        }
        s.inputHandle.reset();
    }
    s.inputOpen = false;
    s.captureStarted = false;
    if (early) {
        s.capturePending = false;
        dropPostedCompletions();
    }
    if (s.captureWindow)
        s.captureWindow->disarmWatchdog();
    const std::uint32_t recorded = h.dwBytesRecorded;
    const int error = s.completedError;
    s.completedHeader = nullptr;
    s.completedError = 0;
    if (s.status != 0)
        return nullptr;
    if (error != 0) {
        logError("waveIn Error ", error);
        s.status = error;
        return nullptr;
    }

    const WaveDeviceSettings &dev = s.input[s.currentInput];
    const int bits = dev.Format.wBitsPerSample;
    const int bps = BytesPerSample(bits);
    if (bps == 0) { // the format changed under the capture
        s.status = WAVERR_BADFORMAT;
        return nullptr;
    }
    long long n = recorded / static_cast<std::uint32_t>(bps);
    if (n > kSampleBlockValues)
        n = kSampleBlockValues;
    n &= ~1LL; // whole frames only
    count = static_cast<int>(n);

    double dc[2] = {dev.DCOffsetL, dev.DCOffsetR};
    if (dev.AutoDCOffset && n > 0) {
        long long sum[2] = {0, 0};
        const double scale = bits == 8 ? kDecodeScale8 : bits == 16 ? kDecodeScale16 : kDecodeScale24;
        for (long long i = 0; i < n; ++i)
            sum[i & 1] += RawSample(data, bits, i);
        dc[0] = -(2.0 * static_cast<double>(sum[0]) / static_cast<double>(n)) / scale;
        dc[1] = -(2.0 * static_cast<double>(sum[1]) / static_cast<double>(n)) / scale;
    }
    // The first sample of a frame takes the right sign, the second the left.
    const double sign[2] = {static_cast<double>(dev.PhaseSignR), static_cast<double>(dev.PhaseSignL)};
    const long long flipMask = dev.FlipChannels ? 0 : 1;

    float *block = s.sampleBlock.get();
    const int over = DecodeCaptureBlock(data, bits, n, dc, sign, flipMask, block);
    overloads = over;
    return block;
}

int DecodeCaptureBlock(const char *data, int bits, long long n, const double dc[2], const double sign[2],
                       long long flipMask, float *block)
{
    int over = 0;
    for (long long i = 0; i < n; ++i) {
        const int c = static_cast<int>(i & 1);
        double v;
        if (bits == 8) {
            const auto raw = static_cast<std::uint8_t>(data[i]);
            over += IsOverload8(raw);
            v = DecodeSample8(raw);
        } else if (bits == 16) {
            std::int16_t raw;
            std::memcpy(&raw, data + 2 * i, 2);
            over += IsOverload16(raw);
            v = DecodeSample16(raw);
        } else {
            std::int32_t raw;
            std::memcpy(&raw, data + 4 * i, 4);
            over += IsOverload24(raw);
            v = DecodeSample24(raw);
        }
        block[i ^ flipMask] = static_cast<float>((v + dc[c]) * sign[c]);
    }
    return over;
}

} // namespace audio
