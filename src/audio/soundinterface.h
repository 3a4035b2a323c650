// The sound interface: what the engine knows of sound devices.
//
// It keeps the shape of the classic multimedia wave API that the engine is
// written against: devices are numbered per direction, a device is asked for
// its capabilities and whether it takes a PCM format (without being opened),
// is opened with a format, and moves sample data in caller-owned buffers
// described by WaveHeader records. Each buffer handed to a device comes back
// exactly once, as one completion, when it is full (input), played (output),
// or returned by reset.
//
// Backends (ALSA, PipeWire, the virtual loopback card) implement
// SoundBackend; the SoundInterface singleton numbers their devices - real
// devices first, the virtual cards after them - and routes every call.
//
// Threads: every call below is made on the UI thread, except the calls a
// refill routine makes on an output device from inside its completion
// callback (see WaveOutDevice). Backends run device I/O on threads of their
// own and must never touch widgets.
#pragma once

#include "audio/mixerdevice.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace audio {

// How many devices of each direction the program can use (numbers 0 to
// kMaxWaveDevices - 1): room for the ALSA devices, the sound server's nodes
// and the virtual cards together.
constexpr int kMaxWaveDevices = 32;

// ---- result codes --------------------------------------------------------
// 0 is success. The numbers 1..99 follow the classic multimedia codes so the
// engine's status values mean what callers expect; backends report their own
// failures in ranges of their own (see ErrorText in soundinterface.cpp).
enum : int {
    MMSYSERR_NOERROR = 0,
    MMSYSERR_ERROR = 1,
    MMSYSERR_BADDEVICEID = 2,
    MMSYSERR_NOTENABLED = 3,
    MMSYSERR_ALLOCATED = 4,
    MMSYSERR_INVALHANDLE = 5,
    MMSYSERR_NODRIVER = 6,
    MMSYSERR_NOMEM = 7,
    MMSYSERR_NOTSUPPORTED = 8,
    MMSYSERR_BADERRNUM = 9,
    MMSYSERR_INVALFLAG = 10,
    MMSYSERR_INVALPARAM = 11,
    WAVERR_BADFORMAT = 32,
    WAVERR_STILLPLAYING = 33,
    WAVERR_UNPREPARED = 34,
    WAVERR_SYNC = 35,
    // ALSA errors are passed as ALSA_ERROR_BASE + errno (errno positive).
    ALSA_ERROR_BASE = 500,
    // A device that disappeared or failed while running.
    DEVICE_LOST = 98,
};

// ---- format bits of DeviceCaps::formats (the platform's bit layout) -------
// WAVE_FORMAT_<rate><m|s><bits>: 1 = 11025 Hz, 2 = 22050 Hz, 4 = 44100 Hz,
// 96 = 96000 Hz.
enum : std::uint32_t {
    WAVE_FORMAT_1M08 = 0x00000001, WAVE_FORMAT_1S08 = 0x00000002,
    WAVE_FORMAT_1M16 = 0x00000004, WAVE_FORMAT_1S16 = 0x00000008,
    WAVE_FORMAT_2M08 = 0x00000010, WAVE_FORMAT_2S08 = 0x00000020,
    WAVE_FORMAT_2M16 = 0x00000040, WAVE_FORMAT_2S16 = 0x00000080,
    WAVE_FORMAT_4M08 = 0x00000100, WAVE_FORMAT_4S08 = 0x00000200,
    WAVE_FORMAT_4M16 = 0x00000400, WAVE_FORMAT_4S16 = 0x00000800,
    WAVE_FORMAT_48M08 = 0x00001000, WAVE_FORMAT_48S08 = 0x00002000,
    WAVE_FORMAT_48M16 = 0x00004000, WAVE_FORMAT_48S16 = 0x00008000,
    WAVE_FORMAT_96M08 = 0x00010000, WAVE_FORMAT_96S08 = 0x00020000,
    WAVE_FORMAT_96M16 = 0x00040000, WAVE_FORMAT_96S16 = 0x00080000,
};

// dwSupport bits of output capabilities.
enum : std::uint32_t {
    WAVECAPS_PITCH = 0x0001, WAVECAPS_PLAYBACKRATE = 0x0002, WAVECAPS_VOLUME = 0x0004,
    WAVECAPS_LRVOLUME = 0x0008, WAVECAPS_SYNC = 0x0010, WAVECAPS_SAMPLEACCURATE = 0x0020,
};

// ---- records ---------------------------------------------------------------
#pragma pack(push, 1)
// PCM format of a device, the platform's 18-byte record.
struct WaveFormat {
    std::uint16_t wFormatTag = 1; // 1 = PCM
    std::uint16_t nChannels = 2;
    std::uint32_t nSamplesPerSec = 44100;
    std::uint32_t nAvgBytesPerSec = 176400;
    std::uint16_t nBlockAlign = 4;
    std::uint16_t wBitsPerSample = 16; // 8, 16 or 32 (32 carries 24-bit samples)
    std::uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "WaveFormat must keep the platform layout");

// Flags of WaveHeader::dwFlags.
enum : std::uint32_t {
    WHDR_DONE = 0x01,
    WHDR_PREPARED = 0x02,
    WHDR_BEGINLOOP = 0x04,
    WHDR_ENDLOOP = 0x08,
    WHDR_INQUEUE = 0x10,
};

// A caller-owned buffer handed to a device. The device fills
// dwBytesRecorded (input) and sets WHDR_DONE when it gives the buffer back.
struct WaveHeader {
    char *lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwLoops = 0;
    WaveHeader *lpNext = nullptr;
    std::uintptr_t reserved = 0;
};

// ---- header bookkeeping shared by the devices of every backend ---------------
// Inline so that backends built without the engine can use them. The calls
// return 0 or the status for the device call to return.

// Marks a header prepared. It needs a buffer, and one of some length unless
// `allowEmpty`.
inline int PrepareHeader(WaveHeader &h, bool allowEmpty = false)
{
    if (!h.lpData || (h.dwBufferLength == 0 && !allowEmpty))
        return MMSYSERR_INVALPARAM;
    h.dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

// Clears the prepared flag of a header that is not queued.
inline int UnprepareHeader(WaveHeader &h)
{
    if (h.dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    h.dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

// Whether a header may be queued: prepared, and not queued already.
inline int CheckQueueable(const WaveHeader &h)
{
    if (!(h.dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (h.dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    return MMSYSERR_NOERROR;
}

inline void MarkQueued(WaveHeader &h) { h.dwFlags = (h.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE; }
inline void MarkDone(WaveHeader &h) { h.dwFlags = (h.dwFlags & ~WHDR_INQUEUE) | WHDR_DONE; }

// How often an output buffer plays: dwLoops times (at least once) when it is
// flagged WHDR_BEGINLOOP | WHDR_ENDLOOP, else once.
inline std::uint32_t PlayCount(const WaveHeader &h)
{
    const std::uint32_t loop = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    return (h.dwFlags & loop) == loop && h.dwLoops > 0 ? h.dwLoops : 1;
}

struct WaveInCaps {
    std::string name;             // szPname, at most 31 characters on the platform; we keep up to 120
    std::uint32_t formats = 0;    // dwFormats
    std::uint16_t channels = 0;   // wChannels
    std::uint16_t reserved1 = 0;  // wReserved1
};

struct WaveOutCaps {
    std::string name;
    std::uint32_t formats = 0;
    std::uint16_t channels = 0;
    std::uint32_t support = 0; // dwSupport
};

// Format bit for a stereo format, 0 when the rate/bits pair has no bit.
std::uint32_t FormatBit(std::uint32_t rate, int bits);

// ---- stream clocks -------------------------------------------------------------

// When a running stream's first frame was at the converter: the first frame
// recorded since start() (input), or the first frame played since the open
// (output). Two streams whose `clock` is the same object can be set against
// each other: input frame (output.Seconds - input.Seconds)·rate is the one
// that was sampled while the output's first frame was converted.
//
// `UncertaintySeconds` bounds how far the device's own report may be off
// (0: exact, as on a virtual card, whose clock is its frame count).
struct StreamStart {
    const void *Clock = nullptr; // the clock's identity; null: not known
    double Seconds = 0.0;        // on that clock
    double UncertaintySeconds = 0.0;
};

// ---- devices -----------------------------------------------------------------

// Where an input device reports a finished buffer: `window` receives a posted
// MM_WIM_DATA message (lParam = the WaveHeader*) on its thread, one per
// buffer, in order. wParam is 0 for a buffer that was filled or returned by
// reset, and an error code (DEVICE_LOST, ALSA_ERROR_BASE + errno) when the
// device failed while recording; the buffer then comes back with
// dwBytesRecorded as far as it got, so a failing device never swallows a
// completion.
struct InputTarget {
    QObject *window = nullptr;
};

// An open input device. All methods on the UI thread. Destroying a device
// stops and releases it whatever state it is in (also when close failed); it
// posts nothing more and never touches the caller's buffers afterwards.
class WaveInDevice {
public:
    virtual ~WaveInDevice() = default;
    virtual int prepareHeader(WaveHeader &h) = 0;
    virtual int unprepareHeader(WaveHeader &h) = 0;
    virtual int addBuffer(WaveHeader &h) = 0;
    virtual int start() = 0;
    // Stops recording and returns every queued buffer (each with its own
    // completion message, bytes recorded as far as they got).
    virtual int reset() = 0;
    virtual int close() = 0; // fails with WAVERR_STILLPLAYING while buffers are queued
    // Where the recording's first frame lies on the device's clock (see
    // StreamStart); MMSYSERR_NOTSUPPORTED where the device cannot tell
    // (also before start, and on a device that does not run in real time).
    virtual int startTime(StreamStart &start)
    {
        start = StreamStart{};
        return MMSYSERR_NOTSUPPORTED;
    }
};

// Output completion: called once per finished buffer (WOM_DONE) with the
// header, on a thread of the backend's. The callback may call prepare,
// unprepare and write on the same device; it must not block on the UI thread.
using OutputCallback = std::function<void(WaveHeader *)>;

// An open output device. All methods on the UI thread, except from inside
// its own OutputCallback. Destroying it stops and releases it, as for input.
class WaveOutDevice {
public:
    virtual ~WaveOutDevice() = default;
    virtual int pause() = 0;
    virtual int restart() = 0;
    virtual int prepareHeader(WaveHeader &h) = 0;
    virtual int unprepareHeader(WaveHeader &h) = 0;
    // Queues a buffer. WHDR_BEGINLOOP|WHDR_ENDLOOP with dwLoops n plays it n
    // times (2147483647: until reset).
    virtual int write(WaveHeader &h) = 0;
    // Stops playing at once and returns every queued buffer (WOM_DONE each);
    // the callbacks for them have run when reset returns (possibly on the
    // calling thread), so a refill that queued them again is undone by a
    // second reset.
    virtual int reset() = 0;
    virtual int close() = 0;
    // Frames played from the queued buffers since the device was opened:
    // what has been heard, not what is waiting in a queue or ring. A paused
    // or reset device keeps its count. MMSYSERR_NOTSUPPORTED where the device
    // cannot tell.
    virtual int position(std::uint64_t &framesPlayed)
    {
        framesPlayed = 0;
        return MMSYSERR_NOTSUPPORTED;
    }
    // Where the first frame played since the open lies on the device's
    // clock (see StreamStart); MMSYSERR_NOTSUPPORTED where the device cannot
    // tell (also before anything played, and on a device that does not run
    // in real time).
    virtual int startTime(StreamStart &start)
    {
        start = StreamStart{};
        return MMSYSERR_NOTSUPPORTED;
    }
    // Takes back what is queued and not yet played, so that what is written
    // next follows what was played: every queued buffer comes back through
    // the callback before this returns (as with reset), and `continueAt`
    // receives the frame (counted from the open, as written) at which the
    // next written frame goes on. Returns 0, or MMSYSERR_NOTSUPPORTED when
    // the device cannot tell where it is (the buffers are back all the same).
    // The device may be left paused; restart() lets it go on. By default:
    // pause, position, and reset.
    virtual int discard(std::uint64_t &continueAt)
    {
        pause();
        const int known = position(continueAt);
        reset();
        reset(); // returns what a callback queued during the first reset
        return known;
    }
};

// ---- backends ----------------------------------------------------------------

// One family of devices. Device indices are the backend's own (0-based).
class SoundBackend {
public:
    virtual ~SoundBackend() = default;

    virtual int inputCount() = 0;
    virtual int outputCount() = 0;
    virtual int inputCaps(int index, WaveInCaps &caps) = 0;
    virtual int outputCaps(int index, WaveOutCaps &caps) = 0;
    // The device's name as listed, also while the device cannot be probed
    // (busy elsewhere): the name keys its settings and labels the status
    // line, so it must not come and go. By default taken from the caps.
    virtual std::string deviceName(bool input, int index)
    {
        if (input) {
            WaveInCaps caps;
            return inputCaps(index, caps) == MMSYSERR_NOERROR ? caps.name : std::string();
        }
        WaveOutCaps caps;
        return outputCaps(index, caps) == MMSYSERR_NOERROR ? caps.name : std::string();
    }

    // Whether the device takes the format; opens nothing.
    virtual int queryInput(int index, const WaveFormat &format) = 0;
    virtual int queryOutput(int index, const WaveFormat &format) = 0;

    virtual int openInput(int index, const WaveFormat &format, InputTarget target,
                          std::unique_ptr<WaveInDevice> &device) = 0;
    // A null callback opens without notifications (loop playback).
    virtual int openOutput(int index, const WaveFormat &format, OutputCallback callback,
                           std::unique_ptr<WaveOutDevice> &device) = 0;

    // The mixer part behind a device: for an input device its recording
    // destination, for an output device its playback destination (see
    // mixerdevice.h); null when the device has none. Opened on the UI thread.
    virtual std::unique_ptr<MixerDevice> openMixer(bool input, int index) { return nullptr; }

    // Text for one of this backend's own error codes; empty if not its code.
    virtual std::string errorText(int code) { return {}; }

    // Virtual cards are numbered after all real devices (see SoundInterface).
    virtual bool isVirtual() const { return false; }

    // The family of the devices, for lists and reports: "ALSA", "PipeWire"
    // or "virtual" (empty for one without a name).
    virtual std::string family() const { return {}; }

    // The name the settings keep for a device (keys INDEVNAME, OUTDEVNAME):
    // one that names the same device after a restart of the sound server or
    // a reboot that numbers the cards anew. By default the listed name.
    virtual std::string storedName(bool input, int index) { return deviceName(input, index); }
    // The device a stored name names, also in the forms earlier versions or
    // users wrote; -1 when the list has none. By default by storedName().
    // Inline, as every member here: the backends' libraries lie below the
    // engine's and link without it.
    virtual int findStored(bool input, const std::string &stored)
    {
        const int n = stored.empty() ? 0 : input ? inputCount() : outputCount();
        for (int i = 0; i < n; ++i)
            if (storedName(input, i) == stored)
                return i;
        return -1;
    }

    // ALSA cards that devices of this backend stand for (the sound server's
    // nodes on a card it holds). Their ALSA devices are listed once, here.
    virtual std::vector<int> cardsHeld() { return {}; }
    // Cards whose devices another backend lists: not to be listed again.
    // Called after every refresh() (and before the first list is taken).
    virtual void setCardsListedElsewhere(const std::vector<int> &cards) {}

    // Takes the device list afresh. Between two refreshes the counts and
    // indices stay as they are, so a device keeps its number while it is in
    // use and counting costs nothing on the capture path.
    virtual void refresh() {}

    // What really runs behind the open stream of a direction (a sound
    // server may run its graph at another rate and resample the stream);
    // known is false when no stream is open or the backend cannot tell.
    struct RunningStream {
        bool known = false;
        std::uint32_t rate = 0;      // the stream's rate
        std::uint32_t graphRate = 0; // the rate the graph (the clock) runs at
        std::uint32_t quantum = 0;   // frames per graph cycle (0: not known)
        bool resampled = false;      // the server converts between the two
        std::string clock;           // the clock that drives it (empty: not known)
    };
    virtual RunningStream runningStream(bool input) { return {}; }
};

// A device or mixer name as the program takes it in: without control
// characters (C0, DEL, C1), line and paragraph separators and bidirectional
// overrides, which would break lines, keys and reports or move text around.
// Every name a backend reports passes through it where it enters the
// program: SoundInterface's device names and capabilities, and the mixer
// mirror's mixer, line, control and item names.
std::string PlainName(const std::string &name);

// The device numbering of the whole program and the error texts.
//
// Per direction, the devices of the real backends come first, in backend
// order, then those of the virtual backends. The first virtual device is
// always among the numbers the engine can use (below kMaxWaveDevices): when
// there are more real devices than that leaves room for, the later real
// ones are numbered after the virtual devices.
class SoundInterface {
public:
    static SoundInterface &instance();

    // Replaces the backends (real devices first, virtual cards last). Used at
    // start-up and by tests that inject their own devices.
    void setBackends(std::vector<std::shared_ptr<SoundBackend>> backends);
    const std::vector<std::shared_ptr<SoundBackend>> &backends() const { return backends_; }

    // Asks every backend to list its devices again (the device report does).
    void refreshDevices();
    // What runs behind the open stream of device `id` (see
    // SoundBackend::runningStream).
    SoundBackend::RunningStream runningStream(int id, bool input);

    // The family of device `id` (see SoundBackend::family); empty for a
    // number without a device.
    std::string deviceFamily(int id, bool input);
    // The name the settings keep for device `id`; empty for a number
    // without a device.
    std::string storedDeviceName(int id, bool input);
    // The number of the device a stored name names, -1 when none does. The
    // real backends are asked first, in their order.
    int findStoredDevice(const std::string &stored, bool input);

    int waveInGetNumDevs();
    int waveOutGetNumDevs();
    int midiOutGetNumDevs() { return 0; }
    int auxGetNumDevs() { return 0; }
    int waveInGetDevCaps(int id, WaveInCaps &caps);
    int waveOutGetDevCaps(int id, WaveOutCaps &caps);
    // Name of a device, empty for a number that has no device. Names (here
    // and in the capabilities) come through PlainName.
    std::string deviceName(int id, bool input);
    int waveInQuery(int id, const WaveFormat &format);
    int waveOutQuery(int id, const WaveFormat &format);
    int waveInOpen(int id, const WaveFormat &format, InputTarget target,
                   std::unique_ptr<WaveInDevice> &device);
    int waveOutOpen(int id, const WaveFormat &format, OutputCallback callback,
                    std::unique_ptr<WaveOutDevice> &device);

    // The mixer part behind device `id` (see SoundBackend::openMixer).
    std::unique_ptr<MixerDevice> mixerOpen(int id, bool input);

    // Texts for error numbers (at most 255 characters).
    std::string waveInGetErrorText(int code);
    std::string waveOutGetErrorText(int code);

private:
    // Maps a program-wide device number to backend and local index.
    SoundBackend *route(int id, bool input, int &local);
    // Tells each backend which cards the others list (see cardsHeld).
    void shareCards();

    std::vector<std::shared_ptr<SoundBackend>> backends_;
};

} // namespace audio
