// Section "SDSOUND" of the settings file: the stream buffer size and the
// format, flip, user rate, DC offsets and phase signs of each wave device,
// stored under keys that begin with the device's product name, encoded.
#include "audio/devices.h"
#include "audio/enginestate.h"

#include "platform/inifile.h"
#include "platform/runtime/utilities.h"

#include <cmath>

namespace audio {

namespace {

const char *const kSection = "SDSOUND";

bool KeptAsItIs(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '(' ||
           c == ')' || c == '.' || c == '-';
}

// The keys of one device: the encoded prefix, and the one earlier versions
// wrote, read when the encoded key is missing. An old prefix that could be
// another device's encoded one (it holds nothing but what encoded prefixes
// hold) is left alone.
struct Prefix {
    std::string key, legacy;
    explicit Prefix(const std::string &name) : key(DeviceKeyPrefix(name)), legacy(LegacyDeviceKeyPrefix(name))
    {
        bool foreign = false;
        for (unsigned char c : legacy)
            foreign = foreign || (!KeptAsItIs(c) && c != '%');
        if (!foreign)
            legacy.clear();
    }
};

// Values are read as text of at most 30 characters.
constexpr std::size_t kValueBuffer = 31;

// The key a value is read from: the encoded one, or the key of earlier
// versions when only that one is there.
std::string keyOf(const platform::IniFile &ini, const Prefix &p, const char *suffix)
{
    const std::string key = p.key + suffix;
    if (!ini.has(kSection, key) && !p.legacy.empty() && ini.has(kSection, p.legacy + suffix))
        return p.legacy + suffix;
    return key;
}

// Writes the encoded key; the key of earlier versions goes, so that one
// device's value is never stored twice.
void write(platform::IniFile &ini, const Prefix &p, const char *suffix, const std::string &value)
{
    ini.set(kSection, p.key + suffix, value);
    while (!p.legacy.empty() && ini.has(kSection, p.legacy + suffix)) // a hand-edited file may hold it twice
        ini.remove(kSection, p.legacy + suffix);
}

long long readInt(const platform::IniFile &ini, const Prefix &p, const char *suffix, const char *def,
                  long long onError)
{
    return platform::ReadInteger(ini, kSection, keyOf(ini, p, suffix), def, kValueBuffer).value_or(onError);
}

// A DC offset beyond full scale is no offset of any signal (and would not
// fit the 30 characters it is read back through): it counts as a parse error.
double readFloat(const platform::IniFile &ini, const Prefix &p, const char *suffix)
{
    const std::optional<double> v = platform::ReadReal(ini, kSection, keyOf(ini, p, suffix), "0", kValueBuffer);
    return v && std::abs(*v) <= 1.0 ? *v : 0.0;
}

// "db" value: resolution, plus 1000 when the channels are flipped.
void readFormat(const platform::IniFile &ini, const Prefix &prefix, const std::string &name, WaveDeviceSettings &d)
{
    long long bits = readInt(ini, prefix, "db", "16", 16);
    bool flip = bits > 1000;
    if (flip)
        bits -= 1000;
    long long rate = readInt(ini, prefix, "sf", "44100", 44100);
    SetDeviceFormat(d, name, static_cast<int>(rate), flip, static_cast<int>(bits), 2);
    d.UserRate = static_cast<std::int32_t>(readInt(ini, prefix, "usf", "55200", 55200));
}

void writeFormat(platform::IniFile &ini, const Prefix &prefix, const WaveDeviceSettings &d)
{
    int db = d.Format.wBitsPerSample + (d.FlipChannels ? 1000 : 0);
    write(ini, prefix, "db", std::to_string(db));
    write(ini, prefix, "sf", std::to_string(d.Format.nSamplesPerSec));
    write(ini, prefix, "usf", std::to_string(d.UserRate));
}

} // namespace

std::string LegacyDeviceKeyPrefix(const std::string &name)
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

std::string DeviceKeyPrefix(const std::string &name)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string p;
    p.reserve(name.size());
    for (unsigned char c : LegacyDeviceKeyPrefix(name)) {
        if (KeptAsItIs(c)) {
            p += static_cast<char>(c);
        } else {
            p += '%';
            p += kHex[c >> 4];
            p += kHex[c & 15];
        }
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
        s.streamBufferSize = kBuiltinStreamBufferSize;
        const std::optional<long long> v = platform::ReadInteger(ini, kSection, "SINWAVERAM2", "32768", kValueBuffer);
        if (v && *v > 256 && *v < 65536)
            s.streamBufferSize = static_cast<int>(*v / 8 * 8);
    }

    for (int i = 0; i < kMaxDevices; ++i) {
        const std::string inName = DeviceName('I', i);
        if (inName.empty())
            continue;
        const Prefix inPrefix(inName);
        WaveDeviceSettings &in = s.input[i];
        readFormat(ini, inPrefix, inName, in);
        in.DCOffsetL = static_cast<float>(readFloat(ini, inPrefix, "DCoL"));
        in.DCOffsetR = static_cast<float>(readFloat(ini, inPrefix, "DCoR"));
        in.AutoDCOffset = readInt(ini, inPrefix, "DCoAuto", "0", 0) != 0;

        // The input phase signs live under the output device's prefix.
        const std::string outName = DeviceName('O', i);
        const Prefix outPrefix(outName);
        WaveDeviceSettings &out = s.output[i];
        readFormat(ini, outPrefix, outName, out);
        in.PhaseSignL = static_cast<std::int32_t>(readInt(ini, outPrefix, "PhiL", "1", 1));
        in.PhaseSignR = static_cast<std::int32_t>(readInt(ini, outPrefix, "PhiR", "1", 1));
        out.PhaseSignL = static_cast<std::int32_t>(readInt(ini, outPrefix, "PhoL", "1", 1));
        out.PhaseSignR = static_cast<std::int32_t>(readInt(ini, outPrefix, "PhoR", "1", 1));
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
            const Prefix p(inName);
            writeFormat(ini, p, in);
            write(ini, p, "DCoL", platform::FormatFixed(in.DCOffsetL, 6));
            write(ini, p, "DCoR", platform::FormatFixed(in.DCOffsetR, 6));
            write(ini, p, "DCoAuto", in.AutoDCOffset ? "1" : "0");
        }
        if (!outName.empty()) {
            const Prefix p(outName);
            writeFormat(ini, p, out);
            write(ini, p, "PhiL", std::to_string(in.PhaseSignL));
            write(ini, p, "PhiR", std::to_string(in.PhaseSignR));
            write(ini, p, "PhoL", std::to_string(out.PhaseSignL));
            write(ini, p, "PhoR", std::to_string(out.PhaseSignR));
        }
    }
    ini.save();
}

} // namespace audio
