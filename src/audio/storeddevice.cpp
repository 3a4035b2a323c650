#include "audio/storeddevice.h"
#include "audio/audioengine.h"
#include "audio/soundinterface.h"

namespace audio {

namespace {

std::string gNote[2];

std::string &noteOf(char kind) { return gNote[kind == 'I' ? 0 : 1]; }

int count(char kind)
{
    SoundInterface &si = SoundInterface::instance();
    return kind == 'I' ? si.waveInGetNumDevs() : kind == 'O' ? si.waveOutGetNumDevs() : 0;
}

} // namespace

std::string StoredDeviceName(char kind, int n)
{
    if (n < 0 || n >= count(kind))
        return {};
    return SoundInterface::instance().storedDeviceName(n, kind == 'I');
}

std::string DeviceFamily(char kind, int n)
{
    if (n < 0 || n >= count(kind))
        return {};
    return SoundInterface::instance().deviceFamily(n, kind == 'I');
}

int StoredDevice(char kind, int number, const std::string &name)
{
    std::string &note = noteOf(kind);
    note.clear();
    if (name.empty())
        return number;
    SoundInterface &si = SoundInterface::instance();
    const bool input = kind == 'I';
    const int found = si.findStoredDevice(name, input);
    if (found >= 0 && found < kMaxDevices)
        return found;
    const std::string fallback = si.deviceName(0, input);
    note = std::string(input ? "Input" : "Output") + " device \"" + PlainName(name) + "\" " +
           (found < 0 ? std::string("not found") : "is number " + std::to_string(found) + ", beyond the first " +
                                                      std::to_string(kMaxDevices)) +
           "; using " + (fallback.empty() ? std::string("no device") : "device 0 \"" + fallback + "\"");
    AppendAudioLog(note);
    return 0;
}

std::string DeviceChoiceNote(char kind)
{
    return noteOf(kind);
}

} // namespace audio
