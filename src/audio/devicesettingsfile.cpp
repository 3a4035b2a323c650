// Section "SDSOUND" of the settings file: the stream buffer size and the
// format, flip, user rate, DC offsets and phase signs of each wave device,
// stored under keys that begin with the device's product name.
#include "audio/devices.h"
#include "audio/enginestate.h"

#include "platform/inifile.h"
#include "platform/utilities.h"

namespace audio {

namespace {

const char *const kSection = "SDSOUND";

// Values are read as text of at most 30 characters.
std::string read(const platform::IniFile &ini, const std::string &key, const char *def)
{
    return ini.get(kSection, key, def, 31);
}

long long readInt(const platform::IniFile &ini, const std::string &key, const char *def, long long onError)
{
    long long v;
    return platform::ParseInt(read(ini, key, def), v) ? v : onError;
}

double readFloat(const platform::IniFile &ini, const std::string &key)
{
    double v;
    return platform::ParseFloat(read(ini, key, "0"), v) ? v : 0.0;
}

// "db" value: resolution, plus 1000 when the channels are flipped.
void readFormat(const platform::IniFile &ini, const std::string &prefix, const std::string &name,
                WaveDeviceSettings &d)
{
    long long bits = readInt(ini, prefix + "db", "16", 16);
    bool flip = bits > 1000;
    if (flip)
        bits -= 1000;
    long long rate = readInt(ini, prefix + "sf", "44100", 44100);
    SetDeviceFormat(d, name, static_cast<int>(rate), flip, static_cast<int>(bits), 2);
    d.UserRate = static_cast<std::int32_t>(readInt(ini, prefix + "usf", "55200", 55200));
}

void writeFormat(platform::IniFile &ini, const std::string &prefix, const WaveDeviceSettings &d)
{
    int db = d.Format.wBitsPerSample + (d.FlipChannels ? 1000 : 0);
    ini.set(kSection, prefix + "db", std::to_string(db));
    ini.set(kSection, prefix + "sf", std::to_string(d.Format.nSamplesPerSec));
    ini.set(kSection, prefix + "usf", std::to_string(d.UserRate));
}

} // namespace

std::string DeviceKeyPrefix(const std::string &name)
{
    std::string p = name;
    for (char &c : p) {
        if (c == ' ')
            c = '_';
        else if (c == '[')
            c = '(';
        else if (c == ']')
            c = ')';
    }
    return p;
}

void LoadDeviceSettings()
{
    EngineState &s = State();
    platform::IniFile ini(platform::SettingsFileName());
    ini.load();

    // The stream buffers keep their size once allocated.
    if (!s.streamData[0]) {
        long long v;
        s.streamBufferSize = kBuiltinStreamBufferSize;
        if (platform::ParseInt(read(ini, "SINWAVERAM2", "32768"), v) && v > 256 && v < 65536)
            s.streamBufferSize = static_cast<int>(v / 8 * 8);
    }

    for (int i = 0; i < kMaxDevices; ++i) {
        const std::string inName = DeviceName('I', i);
        if (inName.empty())
            continue;
        const std::string inPrefix = DeviceKeyPrefix(inName);
        WaveDeviceSettings &in = s.input[i];
        readFormat(ini, inPrefix, inName, in);
        in.DCOffsetL = static_cast<float>(readFloat(ini, inPrefix + "DCoL"));
        in.DCOffsetR = static_cast<float>(readFloat(ini, inPrefix + "DCoR"));
        in.AutoDCOffset = readInt(ini, inPrefix + "DCoAuto", "0", 0) != 0;

        // The input phase signs live under the output device's prefix.
        const std::string outName = DeviceName('O', i);
        const std::string outPrefix = DeviceKeyPrefix(outName);
        WaveDeviceSettings &out = s.output[i];
        readFormat(ini, outPrefix, outName, out);
        in.PhaseSignL = static_cast<std::int32_t>(readInt(ini, outPrefix + "PhiL", "1", 1));
        in.PhaseSignR = static_cast<std::int32_t>(readInt(ini, outPrefix + "PhiR", "1", 1));
        out.PhaseSignL = static_cast<std::int32_t>(readInt(ini, outPrefix + "PhoL", "1", 1));
        out.PhaseSignR = static_cast<std::int32_t>(readInt(ini, outPrefix + "PhoR", "1", 1));
    }
}

void SaveDeviceSettings()
{
    EngineState &s = State();
    platform::IniFile ini(platform::SettingsFileName());
    ini.load();
    ini.set(kSection, "SINWAVERAM2", std::to_string(s.streamBufferSize));
    for (int i = 0; i < kMaxDevices; ++i) {
        const std::string inName = DeviceName('I', i);
        const std::string outName = DeviceName('O', i);
        const WaveDeviceSettings &in = s.input[i];
        const WaveDeviceSettings &out = s.output[i];
        if (!inName.empty()) {
            const std::string p = DeviceKeyPrefix(inName);
            writeFormat(ini, p, in);
            ini.set(kSection, p + "DCoL", platform::FormatFixed(in.DCOffsetL, 6));
            ini.set(kSection, p + "DCoR", platform::FormatFixed(in.DCOffsetR, 6));
            ini.set(kSection, p + "DCoAuto", in.AutoDCOffset ? "1" : "0");
        }
        if (!outName.empty()) {
            const std::string p = DeviceKeyPrefix(outName);
            writeFormat(ini, p, out);
            ini.set(kSection, p + "PhiL", std::to_string(in.PhaseSignL));
            ini.set(kSection, p + "PhiR", std::to_string(in.PhaseSignR));
            ini.set(kSection, p + "PhoL", std::to_string(out.PhaseSignL));
            ini.set(kSection, p + "PhoR", std::to_string(out.PhaseSignR));
        }
    }
    ini.save();
}

} // namespace audio
