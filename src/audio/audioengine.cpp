#include "audio/enginestate.h"
#include "audio/devices.h"
#include "audio/capturecompletions.h"

#include "platform/runtime/messages.h"

#include <QCoreApplication>
#include <new>

namespace audio {

EngineState &State()
{
    static EngineState state;
    return state;
}

namespace {

int clampDevice(int d) { return d < 0 ? 0 : (d >= kMaxDevices ? kMaxDevices - 1 : d); }

WaveDeviceSettings &in() { return State().input[clampDevice(State().currentInput)]; }
WaveDeviceSettings &out() { return State().output[clampDevice(State().currentOutput)]; }

int reportedBits(const WaveDeviceSettings &d) { return d.Format.wBitsPerSample == 32 ? 24 : d.Format.wBitsPerSample; }
int storedBits(int bits) { return bits == 24 ? 32 : bits; }

// Zero-filled buffer or null; never throws.
template <typename T> std::unique_ptr<T[]> allocate(std::size_t n)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]());
}

void releaseBuffers(EngineState &s)
{
    s.captureHeader.reset();
    s.captureData.reset();
    s.loopHeader.reset();
    s.loopData.reset();
    for (int i = 0; i < 2; ++i) {
        s.streamHeader[i].reset();
        s.streamData[i].reset();
    }
    s.sampleBlock.reset();
}

} // namespace

int InitAudio()
{
    EngineState &s = State();
    s.status = 0;
    s.closing = false;
    LoadDeviceSettings();
    if (s.captureData)
        return s.status; // buffers exist already and never move

    // Allocation order as the buffers are listed; stop at the first failure.
    bool ok = true;
    auto header = [&](std::unique_ptr<WaveHeader> &h) {
        if (ok) {
            h.reset(new (std::nothrow) WaveHeader());
            ok = h != nullptr;
        }
    };
    auto data = [&](std::unique_ptr<char[]> &d, std::size_t n) {
        if (ok) {
            d = allocate<char>(n);
            ok = d != nullptr;
        }
    };
    header(s.captureHeader);
    data(s.captureData, kCaptureBufferBytes);
    header(s.loopHeader);
    data(s.loopData, kLoopBufferBytes);
    for (int i = 0; i < 2; ++i) {
        header(s.streamHeader[i]);
        data(s.streamData[i], static_cast<std::size_t>(s.streamBufferSize));
    }
    if (ok) {
        s.sampleBlock = allocate<float>(kSampleBlockValues);
        ok = s.sampleBlock != nullptr;
    }
    if (!ok) {
        releaseBuffers(s);
        s.status = kStatusNoMemory;
    }
    return s.status;
}

void DoneAudio()
{
    EngineState &s = State();
    if (!s.captureData)
        return;
    SaveDeviceSettings();
    s.closing = true; // a completion handled below must not start a new capture
    if (s.stopOutput)
        s.stopOutput();

    if (s.inputHandle) {
        if (s.captureStarted && s.inputHandle->reset() == 0)
            s.captureStarted = false;
        if (s.captureHeader)
            s.inputHandle->unprepareHeader(*s.captureHeader);
        if (s.inputOpen && s.inputHandle->close() == 0)
            s.inputOpen = false;
    }
    // Let a last completion arrive before the buffers go; it must not call
    // back into a page that is shutting down.
    s.captureCallback = nullptr;
    s.queuedStart = EngineState::QueuedStart{};
    if (InputFormats(s.currentInput) != 0 && QCoreApplication::instance())
        platform::ProcessPendingMessage();
    if (s.captureWindow)
        s.captureWindow->disarmWatchdog();
    // Destroying the device stops it for good, even when closing failed.
    s.inputHandle.reset();
    s.inputOpen = false;
    s.captureStarted = false;
    s.capturePending = false;
    s.completedHeader = nullptr;

    releaseBuffers(s);
    s.closing = false;
}

bool AudioInitialised() { return State().captureData != nullptr; }

int AudioStatus() { return State().status; }
void SetAudioStatus(int status) { State().status = status; }
int StreamBufferSize() { return State().streamBufferSize; }

std::vector<std::string> &AudioLog() { return State().log; }
void AppendAudioLog(const std::string &line) { State().log.push_back(line); }

WaveDeviceSettings &InputSettings(int device) { return State().input[clampDevice(device)]; }
WaveDeviceSettings &OutputSettings(int device) { return State().output[clampDevice(device)]; }

void GetRates(int &i, int &o)
{
    i = static_cast<int>(in().Format.nSamplesPerSec);
    o = static_cast<int>(out().Format.nSamplesPerSec);
}

void SetRates(int i, int o)
{
    if (i > 0)
        in().Format.nSamplesPerSec = static_cast<std::uint32_t>(i);
    if (o > 0)
        out().Format.nSamplesPerSec = static_cast<std::uint32_t>(o);
}

void GetBits(int &i, int &o)
{
    i = reportedBits(in());
    o = reportedBits(out());
}

void SetBits(int i, int o)
{
    if (i > 0)
        in().Format.wBitsPerSample = static_cast<std::uint16_t>(storedBits(i));
    if (o > 0)
        out().Format.wBitsPerSample = static_cast<std::uint16_t>(storedBits(o));
}

void GetFlip(bool &i, bool &o)
{
    i = in().FlipChannels;
    o = out().FlipChannels;
}

void SetFlip(bool i, bool o)
{
    in().FlipChannels = i;
    out().FlipChannels = o;
}

void GetPhaseInvert(bool &inL, bool &inR, bool &outL, bool &outR)
{
    inL = in().PhaseSignL == -1;
    inR = in().PhaseSignR == -1;
    outL = out().PhaseSignL == -1;
    outR = out().PhaseSignR == -1;
}

void SetPhaseInvert(bool inL, bool inR, bool outL, bool outR)
{
    in().PhaseSignL = inL ? -1 : 1;
    in().PhaseSignR = inR ? -1 : 1;
    out().PhaseSignL = outL ? -1 : 1;
    out().PhaseSignR = outR ? -1 : 1;
}

void GetUserRates(int &i, int &o)
{
    i = in().UserRate;
    o = out().UserRate;
}

void SetUserRates(int i, int o)
{
    if (i > 0)
        in().UserRate = i;
    if (o > 0)
        out().UserRate = o;
}

float GetDCOffsetL() { return in().DCOffsetL; }
void SetDCOffsetL(float v) { in().DCOffsetL = v; }
float GetDCOffsetR() { return in().DCOffsetR; }
void SetDCOffsetR(float v) { in().DCOffsetR = v; }
bool GetAutoDCOffset() { return in().AutoDCOffset; }
void SetAutoDCOffset(bool on) { in().AutoDCOffset = on; }

void SetDeviceFormat(WaveDeviceSettings &device, const std::string &name, int rate, bool flip, int bits,
                     int channels)
{
    if (!name.empty())
        device.Name = name.substr(0, 120);
    WaveFormat &f = device.Format;
    if (rate != 0)
        f.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    if (channels != 0)
        f.nChannels = static_cast<std::uint16_t>(channels);
    if (bits != 0) {
        f.wBitsPerSample = static_cast<std::uint16_t>(storedBits(bits));
        device.FlipChannels = flip;
    }
    f.wFormatTag = 1;
    f.nBlockAlign = static_cast<std::uint16_t>(f.nChannels * f.wBitsPerSample / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    f.cbSize = 0;
}

WaveHeader *LoopHeader() { return State().loopHeader.get(); }
char *LoopData() { return State().loopData.get(); }
WaveHeader *StreamHeader(int which) { return State().streamHeader[which & 1].get(); }
char *StreamData(int which) { return State().streamData[which & 1].get(); }
void SetOutputStopper(int (*stopOutput)()) { State().stopOutput = stopOutput; }

} // namespace audio
