// Wave output: device handling of loop and stream playback, the stream
// refill, and the settings snapshot the refill reads.
#include "audio/outputengine.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "platform/runtime/messages.h"

#include "audio/synthesis/samplecodec.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <numbers>

namespace audio {

namespace {

// The synthesis numbers of the generator settings, published by the UI
// thread and read by the refill on the backend's thread. A sequence lock:
// the writer makes the counter odd while it stores, the reader retries until
// it saw the same even counter before and after its loads, so a refill never
// mixes the frequency of one update with the levels of another. Every field
// is an atomic, so there is no data race even while a read is retried.
class SettingsSnapshot {
public:
    // UI thread only (one writer).
    void publish(const GeneratorSettings &g) noexcept
    {
        const SynthParams p = MakeSynthParams(g);
        const unsigned s = seq_.load(std::memory_order_relaxed);
        seq_.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        ampL_.store(p.AmplitudeL, std::memory_order_relaxed);
        ampR_.store(p.AmplitudeR, std::memory_order_relaxed);
        phaseL_.store(p.PhaseL, std::memory_order_relaxed);
        phaseR_.store(p.PhaseR, std::memory_order_relaxed);
        waveform_.store(p.Waveform, std::memory_order_relaxed);
        samePhase_.store(p.SamePhase, std::memory_order_relaxed);
        share1_.store(p.Share1, std::memory_order_relaxed);
        share2_.store(p.Share2, std::memory_order_relaxed);
        second_.store(p.SecondFrequency, std::memory_order_relaxed);
        frequency_.store(g.Frequency, std::memory_order_relaxed);
        seq_.store(s + 2, std::memory_order_release);
    }

    // Any thread.
    void read(SynthParams &p, double &frequency) const noexcept
    {
        for (;;) {
            const unsigned s = seq_.load(std::memory_order_acquire);
            p.AmplitudeL = ampL_.load(std::memory_order_relaxed);
            p.AmplitudeR = ampR_.load(std::memory_order_relaxed);
            p.PhaseL = phaseL_.load(std::memory_order_relaxed);
            p.PhaseR = phaseR_.load(std::memory_order_relaxed);
            p.Waveform = waveform_.load(std::memory_order_relaxed);
            p.SamePhase = samePhase_.load(std::memory_order_relaxed);
            p.Share1 = share1_.load(std::memory_order_relaxed);
            p.Share2 = share2_.load(std::memory_order_relaxed);
            p.SecondFrequency = second_.load(std::memory_order_relaxed);
            frequency = frequency_.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (!(s & 1u) && seq_.load(std::memory_order_relaxed) == s)
                return;
        }
    }

private:
    std::atomic<unsigned> seq_{0};
    std::atomic<double> ampL_{0.0}, ampR_{0.0}, phaseL_{0.0}, phaseR_{0.0}, frequency_{0.0};
    std::atomic<double> share1_{1.0}, share2_{0.0}, second_{0.0}; // two tones
    std::atomic<std::int32_t> waveform_{WaveSine};
    std::atomic<bool> samePhase_{true};
};

struct Output {
    GeneratorSettings record;

    // Read by the refill too; replaced only while no buffer is queued.
    std::unique_ptr<WaveOutDevice> handle;
    bool open = false;     // OutputOpen
    bool running = false;  // OutputRunning
    bool loopMode = false; // how the open device plays
    int deviceNumber = -1;
    WaveFormat format;
    int precision = 0;

    // Read by the refill; written on the UI thread only while no buffer is
    // queued (before the writes that start playback, or after the resets).
    std::uint32_t rate = 0;
    int bits = 0;
    std::uint32_t streamBytes = 0;
    WaveHeader *headers[2] = {};
    char *data[2] = {};
    double phaseAccumulator = 0.0; // radians; advanced by every stream frame
    Synthesizer synth;

    // Where the recent stream fills begin: the device frame of their first
    // frame, the phase there and its step per frame, so that a restart can
    // continue from what the device actually played. Written by whoever
    // fills (the refill, or the UI thread while no refill can run); read on
    // the UI thread only while no refill can run.
    struct FillRecord {
        std::uint64_t startFrame = 0;
        double phase = 0.0;
        double step = 0.0; // radians per frame
        double wrap = 0.0; // where the phase starts over (PhaseWrap)
    };
    static constexpr int kFillRecords = 8; // more than a device ring can hold
    FillRecord fills[kFillRecords];
    int nextRecord = 0;
    std::uint64_t nextFrame = 0; // device frame at which the next fill starts

    // A recording streamed instead of a synthesised signal: encoded frames
    // repeated endlessly, and where the next fill continues in them. Set on
    // the UI thread only while no refill can run.
    std::shared_ptr<const std::vector<char>> recording;
    std::size_t recordingCursor = 0; // bytes

    std::atomic<bool> refillEnabled{false};
    std::atomic<int> refillError{0};
    SettingsSnapshot snapshot;
    QObject *events = nullptr; // where the refill reports a failure (UI thread object)
};

// Never destroyed: a device still open at exit must not outlive the state
// its callback uses.
Output &O()
{
    static Output *o = new Output;
    return *o;
}

SoundInterface &si() { return SoundInterface::instance(); }

void LogError(const char *what, int code)
{
    AppendAudioLog(what + std::to_string(code));
    std::string text = si().waveOutGetErrorText(code);
    if (text.size() > 128)
        text.resize(128);
    AppendAudioLog(text);
}

int Fail(const char *what, int code)
{
    LogError(what, code);
    SetAudioStatus(code);
    return code;
}

bool SameFormat(const WaveFormat &a, const WaveFormat &b)
{
    return a.nSamplesPerSec == b.nSamplesPerSec && a.wBitsPerSample == b.wBitsPerSample &&
           a.nChannels == b.nChannels;
}

std::uint32_t FramesPerStreamBuffer(const Output &o)
{
    const int frameBytes = 2 * BytesPerSample(o.bits);
    return frameBytes > 0 ? o.streamBytes / static_cast<std::uint32_t>(frameBytes) : 0;
}

// Copies the next bytes of the recording, starting over at its end.
void RecordingFill(Output &o, char *dst) noexcept
{
    const std::vector<char> &src = *o.recording;
    for (std::uint32_t done = 0; done < o.streamBytes;) {
        const std::size_t n = std::min<std::size_t>(o.streamBytes - done, src.size() - o.recordingCursor);
        std::copy_n(src.data() + o.recordingCursor, n, dst + done);
        done += static_cast<std::uint32_t>(n);
        o.recordingCursor = (o.recordingCursor + n) % src.size();
    }
}

void SetStreamHeader(Output &o, int which)
{
    WaveHeader &h = *o.headers[which];
    h = WaveHeader{};
    h.lpData = o.data[which];
    h.dwBufferLength = o.streamBytes;
    h.dwLoops = 1;
}

// Stream fill of buffer A (0) or B (1) with the settings of that moment.
void StreamFill(Output &o, int which) noexcept
{
    if (o.recording) {
        RecordingFill(o, o.data[which]);
        SetStreamHeader(o, which);
        return;
    }
    SynthParams p;
    double frequency = 0.0;
    o.snapshot.read(p, frequency);
    Output::FillRecord &r = o.fills[o.nextRecord];
    o.nextRecord = (o.nextRecord + 1) % Output::kFillRecords;
    r.startFrame = o.nextFrame;
    r.phase = o.phaseAccumulator;
    r.step = o.rate > 0 ? 2.0 * std::numbers::pi * frequency / o.rate : 0.0;
    r.wrap = PhaseWrap(p, frequency);
    o.nextFrame += FramesPerStreamBuffer(o);
    o.synth.StreamFill(o.rate, o.bits, p, frequency, o.data[which], o.streamBytes, o.phaseAccumulator);
    SetStreamHeader(o, which);
}

// The device's completion callback in stream mode (backend thread, or the
// UI thread inside reset): queue the finished buffer again, refilled.
void Refill(WaveHeader *h) noexcept
{
    Output &o = O();
    if (!o.refillEnabled.load(std::memory_order_acquire))
        return;
    for (int i = 0; i < 2; ++i) {
        if (h != o.headers[i] || !(h->dwFlags & WHDR_DONE))
            continue;
        WaveOutDevice *d = o.handle.get();
        int r = d->unprepareHeader(*h);
        if (r == 0) {
            StreamFill(o, i);
            r = d->prepareHeader(*h);
        }
        if (r == 0)
            r = d->write(*h);
        if (r != 0) {
            // The buffer is not queued again: the stream stops here. The UI
            // thread hears of it; the first failure is the one reported.
            int none = 0;
            if (o.refillError.compare_exchange_strong(none, r))
                platform::PostMessage(o.events, platform::MM_WOM_CLOSE, static_cast<std::uintptr_t>(r));
        }
    }
}

void SetLoopHeader(WaveHeader &h, std::uint32_t bytes)
{
    h = WaveHeader{};
    h.lpData = LoopData();
    h.dwBufferLength = bytes;
    h.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    h.dwLoops = 2147483647;
}

// Takes the engine buffers and the device format for a start.
void TakeBuffers(Output &o, const WaveFormat &format)
{
    o.rate = format.nSamplesPerSec;
    o.bits = format.wBitsPerSample;
    o.streamBytes = static_cast<std::uint32_t>(StreamBufferSize());
    for (int i = 0; i < 2; ++i) {
        o.headers[i] = StreamHeader(i);
        o.data[i] = StreamData(i);
    }
}

bool BuffersExist() { return LoopHeader() && LoopData() && StreamHeader(0) && StreamHeader(1); }

// Asks whether the device takes the format and opens it, paused.
int OpenPaused(Output &o, const WaveFormat &format, bool loop)
{
    const int device = GetOutputDevice();
    int r = si().waveOutQuery(device, format);
    if (r != 0) {
        SetAudioStatus(r);
        return r;
    }
    r = si().waveOutOpen(device, format, loop ? OutputCallback() : OutputCallback(&Refill), o.handle);
    if (r != 0) {
        o.handle.reset();
        return Fail("waveOutOpen Error ", r);
    }
    o.open = true;
    o.loopMode = loop;
    o.deviceNumber = device;
    o.format = format;
    // Nothing plays before every buffer is queued.
    o.handle->pause();
    return 0;
}

// Prepares and writes the loop header (filled) or fills, prepares and
// writes A and B, then lets the paused device play.
int QueueAndRun(Output &o, bool loop)
{
    WaveOutDevice &d = *o.handle;
    if (loop) {
        int r = d.prepareHeader(*LoopHeader());
        if (r != 0)
            return Fail("waveOutPrepHeader Error ", r);
        r = d.write(*LoopHeader());
        if (r != 0)
            return Fail("waveOutWrite Error ", r);
    } else {
        o.precision = 0;
        StreamFill(o, 0);
        StreamFill(o, 1);
        for (int i = 0; i < 2; ++i) {
            int r = d.prepareHeader(*o.headers[i]);
            if (r != 0)
                return Fail("waveOutPrepHeader Error ", r);
        }
        o.refillEnabled.store(true, std::memory_order_release);
        for (int i = 0; i < 2; ++i) {
            int r = d.write(*o.headers[i]);
            if (r != 0) {
                o.refillEnabled.store(false, std::memory_order_release);
                return Fail("waveOutWrite Error ", r);
            }
        }
    }
    d.restart();
    o.running = true;
    SetAudioStatus(0);
    return 0;
}

// The stream's phase at device frame `played`, from the fill that holds it;
// the new fills start there. Without a record (the device played everything
// queued) the phase after the last fill is right already.
void ContinueFrom(Output &o, std::uint64_t played)
{
    const std::uint32_t frames = FramesPerStreamBuffer(o);
    const Output::FillRecord *best = nullptr;
    for (const Output::FillRecord &r : o.fills)
        if (r.startFrame <= played && played < r.startFrame + frames && (!best || r.startFrame > best->startFrame))
            best = &r;
    if (best)
        o.phaseAccumulator = std::fmod(best->phase + static_cast<double>(played - best->startFrame) * best->step,
                                       best->wrap > 0.0 ? best->wrap : 2.0 * std::numbers::pi);
    o.nextFrame = played;
}

// A stream that plays on: take back what is queued and queue both buffers
// again with the settings just published. The phase continues from the frame
// the device goes on at, not from the end of the buffers taken back, so the
// signal goes on where it was heard (where the device cannot tell, from the
// end of what was filled).
int RestartStream(Output &o)
{
    WaveOutDevice &d = *o.handle;
    o.refillEnabled.store(false, std::memory_order_release);
    std::uint64_t played = 0;
    const bool known = d.discard(played) == MMSYSERR_NOERROR;
    o.running = false;
    for (int i = 0; i < 2; ++i)
        d.unprepareHeader(*o.headers[i]);
    o.refillError.store(0);
    if (known)
        ContinueFrom(o, played);
    return QueueAndRun(o, false);
}

// A start that failed after the device opened: nothing may stay open,
// queued or prepared behind the caller's back.
int FailedStart(int code)
{
    StopOutput();
    SetAudioStatus(code);
    return code;
}

// Queues and starts, and releases the device when that fails.
int QueueAndRunOrRelease(Output &o, bool loop)
{
    const int r = QueueAndRun(o, loop);
    return r == 0 ? 0 : FailedStart(r);
}

} // namespace

OutputEvents &OutputEvents::instance()
{
    static OutputEvents *events = new OutputEvents; // lives as long as the engine's state
    return *events;
}

bool OutputEvents::event(QEvent *e)
{
    const platform::WindowMessageEvent *m = platform::AsWindowMessage(e);
    if (!m || m->msg != platform::MM_WOM_CLOSE)
        return QObject::event(e);
    Output &o = O();
    // Taken from the flag, so StopOutput does not log it again.
    if (const int code = o.refillError.exchange(0)) {
        LogError("waveOutWrite Error ", code);
        o.running = false;
        emit failed(code);
    }
    return true;
}

GeneratorSettings &Generator() { return O().record; }

WaveFormat OutputFormat()
{
    WaveDeviceSettings &ds = OutputSettings(GetOutputDevice());
    SetDeviceFormat(ds, "", 0, false, 0, 0);
    return ds.Format;
}

int StartOutput(GeneratorSettings &settings, double duration, float frequency)
{
    (void)duration; // always endless
    Output &o = O();
    settings.Frequency = frequency;
    if (&settings != &o.record)
        o.record = settings;
    SetOutputStopper(&StopOutput);
    SetAudioStatus(0);
    if (!BuffersExist()) {
        SetAudioStatus(MMSYSERR_NOMEM);
        return MMSYSERR_NOMEM;
    }
    const WaveFormat format = OutputFormat();
    const bool loop = o.record.Loop;

    o.events = &OutputEvents::instance();
    if (o.running && o.handle && !o.loopMode && !loop && !o.recording && o.deviceNumber == GetOutputDevice() &&
        SameFormat(o.format, format)) {
        o.snapshot.publish(o.record);
        const int r = RestartStream(o);
        return r == 0 ? 0 : FailedStart(r);
    }
    if (o.open || o.running || o.handle)
        StopOutput();
    o.recording.reset(); // no refill runs now

    int r = OpenPaused(o, format, loop);
    if (r != 0)
        return r;
    TakeBuffers(o, format);
    o.nextFrame = 0; // a freshly opened device counts from here
    o.refillError.store(0);
    o.snapshot.publish(o.record);
    if (loop) {
        const std::uint32_t bytes = o.synth.LoopFill(o.rate, o.bits, MakeSynthParams(o.record), frequency,
                                                     LoopData(), kLoopBufferBytes, &o.precision);
        SetLoopHeader(*LoopHeader(), bytes);
    }
    return QueueAndRunOrRelease(o, loop);
}

int StartEncodedStream(std::shared_ptr<const std::vector<char>> samples)
{
    Output &o = O();
    SetOutputStopper(&StopOutput);
    SetAudioStatus(0);
    o.events = &OutputEvents::instance();
    StopOutput();
    o.recording.reset();
    if (!BuffersExist()) {
        SetAudioStatus(MMSYSERR_NOMEM);
        return MMSYSERR_NOMEM;
    }
    const WaveFormat format = OutputFormat();
    if (!samples || samples->empty() || format.nBlockAlign == 0 || samples->size() % format.nBlockAlign != 0) {
        SetAudioStatus(MMSYSERR_INVALPARAM);
        return MMSYSERR_INVALPARAM;
    }
    const int r = OpenPaused(o, format, false);
    if (r != 0)
        return r;
    TakeBuffers(o, format);
    o.recording = std::move(samples);
    o.recordingCursor = 0;
    o.refillError.store(0);
    return QueueAndRunOrRelease(o, false);
}

int StopOutput()
{
    Output &o = O();
    o.refillEnabled.store(false, std::memory_order_release);
    if (o.handle) {
        // Reset also when a failed start left buffers queued on a paused device.
        if (const int r = o.handle->reset())
            LogError("waveOutReset Error ", r);
        if (!o.loopMode)
            o.handle->reset(); // returns what a refill running during the first reset queued
        WaveHeader *used[3] = {LoopHeader(), StreamHeader(0), StreamHeader(1)};
        for (WaveHeader *h : used)
            if (h && (h->dwFlags & WHDR_PREPARED))
                o.handle->unprepareHeader(*h);
        if (o.open) {
            const int r = o.handle->close();
            if (r != 0)
                LogError("waveOutClose Error ", r);
        }
        // Destroying the device stops and releases it, also when it refused
        // to close: nothing stays open behind the caller's back.
        o.handle.reset();
        o.open = false;
        o.running = false;
    }
    if (const int e = o.refillError.exchange(0))
        LogError("waveOutWrite Error ", e);
    return 0;
}

int OutputStartTime(StreamStart &start)
{
    Output &o = O();
    if (!o.handle) {
        start = StreamStart{};
        return MMSYSERR_NOTSUPPORTED;
    }
    return o.handle->startTime(start);
}

bool OutputRunning() { return O().running; }

bool GetLoop() { return O().record.Loop; }
void SetLoop(bool loop) { O().record.Loop = loop; }

void UpdateOutputSettings(const GeneratorSettings &settings)
{
    Output &o = O();
    if (&settings != &o.record)
        o.record = settings;
    if (o.running && !o.loopMode)
        o.snapshot.publish(o.record);
}

int LoopPrecision() { return O().precision; }

int RefillError() { return O().refillError.load(); }

} // namespace audio
