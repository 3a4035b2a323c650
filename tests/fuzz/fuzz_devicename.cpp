// Fuzz target: device names of any bytes, as a card's maker or a sound
// server may report them. The name the program takes in carries no control
// characters (nor line separators or bidirectional overrides) and shows as
// such; its settings key holds only key-safe characters, decodes back to the
// name it came from, and stores a value that reads back on one line of its
// own; two names share a key only where earlier versions' keys did too.
#include "audio/audioengine.h"
#include "audio/soundinterface.h"
#include "platform/inifile.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "device name fuzz: %s\n", what);
        std::abort();
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool KeySafe(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '(' ||
           c == ')' || c == '.' || c == '-' || c == '%';
}

// Undoes the percent-encoding; fails on a malformed escape.
bool Decode(const std::string &key, std::string &out)
{
    out.clear();
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] != '%') {
            out += key[i];
            continue;
        }
        if (i + 2 >= key.size())
            return false;
        const int hi = HexDigit(key[i + 1]), lo = HexDigit(key[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

void CheckName(const std::string &raw)
{
    const std::string name = audio::PlainName(raw);
    for (unsigned char c : name)
        Require(c >= 0x20 && c != 0x7F, "a control character entered the program");
    Require(audio::PlainName(name) == name, "a taken-in name changes when taken in again");
    for (QChar c : QString::fromStdString(name))
        Require(c.category() != QChar::Other_Control && c.category() != QChar::Separator_Line &&
                    c.category() != QChar::Separator_Paragraph && !(c.unicode() >= 0x202A && c.unicode() <= 0x202E) &&
                    !(c.unicode() >= 0x2066 && c.unicode() <= 0x2069),
                "a shown name holds a control, separator or override character");

    const std::string key = audio::DeviceKeyPrefix(name);
    for (unsigned char c : key)
        Require(KeySafe(c), "a key holds a character the file gives a meaning");
    std::string decoded;
    Require(Decode(key, decoded) && decoded == audio::LegacyDeviceKeyPrefix(name), "a key does not decode to its name");

    platform::IniFile ini;
    ini.set("SDSOUND", key + "sf", "48000");
    platform::IniFile again;
    again.parse(ini.text());
    Require(again.lines().size() == 2, "a device key took more than its line");
    Require(again.get("SDSOUND", key + "sf", "<missing>") == "48000", "a stored value does not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    // Two names, split at the first zero byte.
    const std::size_t zero = text.find('\0');
    const std::string a = text.substr(0, zero);
    const std::string b = zero == std::string::npos ? std::string() : text.substr(zero + 1);
    CheckName(a);
    CheckName(b);
    const std::string pa = audio::PlainName(a), pb = audio::PlainName(b);
    Require((audio::DeviceKeyPrefix(pa) == audio::DeviceKeyPrefix(pb)) ==
                (audio::LegacyDeviceKeyPrefix(pa) == audio::LegacyDeviceKeyPrefix(pb)),
            "two names share a key that did not share one before, or the other way round");
    return 0;
}
