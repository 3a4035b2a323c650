#include "audio/storeddevice.h"
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/soundinterface.h"

namespace audio {

namespace {

MissingDevice gMissing[2];

MissingDevice &missingOf(char kind) { return gMissing[kind == 'I' ? 0 : 1]; }

int count(char kind)
{
    SoundInterface &si = SoundInterface::instance();
    return kind == 'I' ? si.waveInGetNumDevs() : kind == 'O' ? si.waveOutGetNumDevs() : 0;
}

void select(char kind, int n)
{
    if (kind == 'I')
        SelectInputDevice(n);
    else
        SelectOutputDevice(n);
}

int current(char kind) { return kind == 'I' ? GetInputDevice() : GetOutputDevice(); }

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

int SelectStoredDevice(char kind, int number, const std::string &name)
{
    if (kind != 'I' && kind != 'O')
        return 0;
    const int found = name.empty() ? -1 : SoundInterface::instance().findStoredDevice(name, kind == 'I');
    const bool usable = found >= 0 && found < kMaxDevices;
    select(kind, usable ? found : number); // clears what was missing
    if (name.empty() || usable)
        return current(kind);

    MissingDevice &m = missingOf(kind);
    m.name = name;
    m.listedAs = found;
    m.used = current(kind) < count(kind) ? current(kind) : -1;
    m.usedName = m.used >= 0 ? DeviceName(kind, m.used) : std::string();
    AppendAudioLog(MissingDeviceNote(kind));
    return current(kind);
}

MissingDevice MissingStoredDevice(char kind) { return missingOf(kind); }

std::string MissingDeviceNote(char kind)
{
    const MissingDevice &m = missingOf(kind);
    if (m.name.empty())
        return {};
    const std::string using_ =
        m.used < 0 ? std::string("no device") : "device " + std::to_string(m.used) + " \"" + m.usedName + "\"";
    return std::string(kind == 'I' ? "Input" : "Output") + " device \"" + PlainName(m.name) +
           "\" " +
           (m.listedAs < 0 ? std::string("not found")
                           : "is number " + std::to_string(m.listedAs) + ", beyond the first " +
                                 std::to_string(kMaxDevices)) +
           "; using " + using_;
}

std::string DeviceNameToStore(char kind)
{
    const MissingDevice &m = missingOf(kind);
    if (!m.name.empty())
        return m.name;
    return StoredDeviceName(kind, current(kind));
}

void ForgetMissingDevice(char kind) { missingOf(kind) = MissingDevice{}; }

} // namespace audio
