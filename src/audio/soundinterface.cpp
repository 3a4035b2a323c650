#include "audio/soundinterface.h"
#include "audio/mixerdevice.h"

#include <algorithm>
#include <cstring>

namespace audio {

std::uint32_t FormatBit(std::uint32_t rate, int bits)
{
    int shift;
    switch (rate) {
    case 11025: shift = 0; break;
    case 22050: shift = 4; break;
    case 44100: shift = 8; break;
    case 48000: shift = 12; break;
    case 96000: shift = 16; break;
    default: return 0;
    }
    // Stereo bit of the 4-bit group: 8 bits -> second bit, 16 bits -> fourth.
    if (bits == 8)
        return 0x2u << shift;
    if (bits == 16)
        return 0x8u << shift;
    return 0;
}

std::string PlainName(const std::string &name)
{
    // Bytes go to the end of the result one by one; a forbidden sequence
    // that a byte completes there is taken off again. What is left never
    // holds one, also where taking one off joined its neighbours.
    std::string out;
    out.reserve(name.size());
    const auto tail = [&out](std::size_t back) {
        return out.size() >= back ? static_cast<unsigned char>(out[out.size() - back]) : 0u;
    };
    for (const char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            continue;
        out += ch;
        if (tail(2) == 0xC2 && c >= 0x80 && c <= 0x9F) // C1 controls
            out.resize(out.size() - 2);
        else if (tail(3) == 0xE2 && tail(2) == 0x80 && c >= 0xA8 && c <= 0xAE) // separators, embeddings, overrides
            out.resize(out.size() - 3);
        else if (tail(3) == 0xE2 && tail(2) == 0x81 && c >= 0xA6 && c <= 0xA9) // isolates
            out.resize(out.size() - 3);
    }
    return out;
}

SoundInterface &SoundInterface::instance()
{
    static SoundInterface si;
    return si;
}

void SoundInterface::setBackends(std::vector<std::shared_ptr<SoundBackend>> backends)
{
    backends_ = std::move(backends);
    shareCards();
}

void SoundInterface::shareCards()
{
    std::vector<std::vector<int>> held;
    for (const auto &b : backends_)
        held.push_back(b ? b->cardsHeld() : std::vector<int>());
    for (std::size_t i = 0; i < backends_.size(); ++i) {
        if (!backends_[i])
            continue;
        std::vector<int> elsewhere;
        for (std::size_t j = 0; j < held.size(); ++j)
            if (j != i)
                elsewhere.insert(elsewhere.end(), held[j].begin(), held[j].end());
        std::sort(elsewhere.begin(), elsewhere.end());
        elsewhere.erase(std::unique(elsewhere.begin(), elsewhere.end()), elsewhere.end());
        backends_[i]->setCardsListedElsewhere(elsewhere);
    }
}

namespace {

int countOf(SoundBackend &b, bool input)
{
    int n = input ? b.inputCount() : b.outputCount();
    return n > 0 ? n : 0;
}

// Finds the backend holding the n-th device among backends of one kind.
SoundBackend *nth(const std::vector<std::shared_ptr<SoundBackend>> &all, bool wantVirtual, bool input, int n,
                  int &local)
{
    for (const auto &b : all) {
        if (!b || b->isVirtual() != wantVirtual)
            continue;
        int c = countOf(*b, input);
        if (n < c) {
            local = n;
            return b.get();
        }
        n -= c;
    }
    return nullptr;
}

int total(const std::vector<std::shared_ptr<SoundBackend>> &all, bool wantVirtual, bool input)
{
    int n = 0;
    for (const auto &b : all)
        if (b && b->isVirtual() == wantVirtual)
            n += countOf(*b, input);
    return n;
}

} // namespace

SoundBackend *SoundInterface::route(int id, bool input, int &local)
{
    local = -1;
    if (id < 0)
        return nullptr;
    const int real = total(backends_, false, input);
    const int virt = total(backends_, true, input);
    // Real devices first; with virtual devices present the first virtual
    // card keeps a number the engine can use.
    const int head = virt > 0 ? std::min(real, kMaxWaveDevices - 1) : real;
    if (id < head)
        return nth(backends_, false, input, id, local);
    if (id < head + virt)
        return nth(backends_, true, input, id - head, local);
    if (id < real + virt)
        return nth(backends_, false, input, id - virt, local);
    return nullptr;
}

std::string SoundInterface::deviceName(int id, bool input)
{
    int local;
    SoundBackend *b = route(id, input, local);
    return b ? PlainName(b->deviceName(input, local)) : std::string();
}

std::unique_ptr<MixerDevice> SoundInterface::mixerOpen(int id, bool input)
{
    int local;
    SoundBackend *b = route(id, input, local);
    return b ? b->openMixer(input, local) : nullptr;
}

void SoundInterface::refreshDevices()
{
    for (const auto &b : backends_)
        b->refresh();
    shareCards();
}

SoundBackend::RunningStream SoundInterface::runningStream(int id, bool input)
{
    int local;
    SoundBackend *b = route(id, input, local);
    return b ? b->runningStream(input) : SoundBackend::RunningStream{};
}

std::string SoundInterface::deviceFamily(int id, bool input)
{
    int local;
    SoundBackend *b = route(id, input, local);
    return b ? b->family() : std::string();
}

std::string SoundInterface::storedDeviceName(int id, bool input)
{
    int local;
    SoundBackend *b = route(id, input, local);
    return b ? b->storedName(input, local) : std::string();
}

int SoundInterface::findStoredDevice(const std::string &stored, bool input)
{
    const int count = input ? waveInGetNumDevs() : waveOutGetNumDevs();
    for (const bool wantVirtual : {false, true})
        for (const auto &b : backends_) {
            if (!b || b->isVirtual() != wantVirtual)
                continue;
            const int found = b->findStored(input, stored);
            if (found < 0)
                continue;
            for (int id = 0; id < count; ++id) {
                int local;
                if (route(id, input, local) == b.get() && local == found)
                    return id;
            }
        }
    return -1;
}

int SoundInterface::waveInGetNumDevs()
{
    return total(backends_, false, true) + total(backends_, true, true);
}

int SoundInterface::waveOutGetNumDevs()
{
    return total(backends_, false, false) + total(backends_, true, false);
}

int SoundInterface::waveInGetDevCaps(int id, WaveInCaps &caps)
{
    int local;
    SoundBackend *b = route(id, true, local);
    const int rc = b ? b->inputCaps(local, caps) : MMSYSERR_BADDEVICEID;
    caps.name = PlainName(caps.name);
    return rc;
}

int SoundInterface::waveOutGetDevCaps(int id, WaveOutCaps &caps)
{
    int local;
    SoundBackend *b = route(id, false, local);
    const int rc = b ? b->outputCaps(local, caps) : MMSYSERR_BADDEVICEID;
    caps.name = PlainName(caps.name);
    return rc;
}

int SoundInterface::waveInQuery(int id, const WaveFormat &format)
{
    int local;
    SoundBackend *b = route(id, true, local);
    return b ? b->queryInput(local, format) : MMSYSERR_BADDEVICEID;
}

int SoundInterface::waveOutQuery(int id, const WaveFormat &format)
{
    int local;
    SoundBackend *b = route(id, false, local);
    return b ? b->queryOutput(local, format) : MMSYSERR_BADDEVICEID;
}

int SoundInterface::waveInOpen(int id, const WaveFormat &format, InputTarget target,
                               std::unique_ptr<WaveInDevice> &device)
{
    device.reset();
    int local;
    SoundBackend *b = route(id, true, local);
    if (!b)
        return MMSYSERR_BADDEVICEID;
    int rc = b->openInput(local, format, target, device);
    if (rc == MMSYSERR_NOERROR && !device)
        return MMSYSERR_ERROR; // a backend that claims success must hand out a device
    if (rc != MMSYSERR_NOERROR)
        device.reset();
    return rc;
}

int SoundInterface::waveOutOpen(int id, const WaveFormat &format, OutputCallback callback,
                                std::unique_ptr<WaveOutDevice> &device)
{
    device.reset();
    int local;
    SoundBackend *b = route(id, false, local);
    if (!b)
        return MMSYSERR_BADDEVICEID;
    int rc = b->openOutput(local, format, std::move(callback), device);
    if (rc == MMSYSERR_NOERROR && !device)
        return MMSYSERR_ERROR;
    if (rc != MMSYSERR_NOERROR)
        device.reset();
    return rc;
}

namespace {

// The classic multimedia texts; numbers without a text fall through to the
// backends and the "unknown" text.
const char *classicText(int code)
{
    switch (code) {
    case MMSYSERR_NOERROR: return "The command completed successfully.";
    case MMSYSERR_ERROR: return "An unspecified error occurred.";
    case MMSYSERR_BADDEVICEID: return "The device ID is out of range for your system.";
    case MMSYSERR_NOTENABLED: return "The driver failed to enable.";
    case MMSYSERR_ALLOCATED: return "The specified device is already in use. Wait until it is free, and then try again.";
    case MMSYSERR_INVALHANDLE: return "The specified device handle is invalid.";
    case MMSYSERR_NODRIVER: return "There is no driver installed on your system.";
    case MMSYSERR_NOMEM: return "There is not enough memory available for this task.";
    case MMSYSERR_NOTSUPPORTED: return "This function is not supported.";
    case MMSYSERR_BADERRNUM: return "An error number was specified that is not defined in the system.";
    case MMSYSERR_INVALFLAG: return "An invalid flag was passed to a system function.";
    case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to a system function.";
    case 12: return "The specified operation cannot be performed while the device is being used by another thread.";
    case 13: return "The specified alias was not found.";
    case 14: return "The configuration database is corrupt.";
    case 15: return "The specified configuration key was not found.";
    case 16: return "The configuration could not be read.";
    case 17: return "The configuration could not be written.";
    case 18: return "The configuration entry could not be deleted.";
    case 19: return "The specified configuration value was not found.";
    case 20: return "The driver does not report its completion.";
    case 21: return "There is more data to be returned.";
    case WAVERR_BADFORMAT: return "The specified format is not supported or cannot be translated. Use the Capabilities function to determine the supported formats.";
    case WAVERR_STILLPLAYING: return "Cannot perform this operation while media data is still playing. Reset the device, or wait until the data is finished playing.";
    case WAVERR_UNPREPARED: return "The wave header was not prepared. Use the Prepare function to prepare the header, and then try again.";
    case WAVERR_SYNC: return "Cannot open the device without using the WAVE_ALLOWSYNC flag. Use the flag, and then try again.";
    case DEVICE_LOST: return "The sound device disappeared or failed while it was running.";
    default: return nullptr;
    }
}

std::string errorText(const std::vector<std::shared_ptr<SoundBackend>> &backends, int code, const char *direction)
{
    std::string text;
    if (const char *t = classicText(code))
        text = t;
    if (text.empty()) {
        for (const auto &b : backends) {
            if (b) {
                text = b->errorText(code);
                if (!text.empty())
                    break;
            }
        }
    }
    if (text.empty() && code > ALSA_ERROR_BASE && code < ALSA_ERROR_BASE + 200)
        text = std::string("ALSA: ") + std::strerror(code - ALSA_ERROR_BASE);
    if (text.empty())
        text = std::string("Unknown wave ") + direction + " error " + std::to_string(code) + ".";
    if (text.size() > 255)
        text.resize(255);
    return text;
}

} // namespace

std::string SoundInterface::waveInGetErrorText(int code)
{
    return errorText(backends_, code, "input");
}

std::string SoundInterface::waveOutGetErrorText(int code)
{
    return errorText(backends_, code, "output");
}

} // namespace audio
