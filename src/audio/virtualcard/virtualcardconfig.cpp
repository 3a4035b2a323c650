#include "audio/virtualcard/virtualcardconfig.h"

#include "platform/inifile.h"
#include "platform/numbers.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace audio {

namespace {

const char *const kSection = "LOOPBACK";

std::string upper(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string &s)
{
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Shortest text that reads back as the same number ("-0.5", "20000").
std::string number(double v)
{
    std::string s = platform::FormatFixed(v, 6);
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0')
            s.pop_back();
        if (!s.empty() && s.back() == '.')
            s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

} // namespace

VirtualCardConfig VirtualCardConfig::Ideal(bool paced)
{
    VirtualCardConfig c;
    c.paced = paced;
    c.gainDb = 0.0;
    c.highpassHz = 0.0;
    c.lowpassHz = 0.0;
    c.distortionDb = -200.0;
    c.noiseDb = -200.0;
    c.invert = false;
    c.signal = Signal::Off;
    return c;
}

bool VirtualCardConfig::accepts(int bits, long rate) const
{
    if (bits != 8 && bits != 16 && bits != 32)
        return false;
    if (formats.empty())
        return rate >= 1000 && rate <= 192000; // the I/O grid 8000..96000 and user rates
    const int shown = bits == 32 ? 24 : bits;
    return std::any_of(formats.begin(), formats.end(),
                       [&](const std::pair<int, int> &f) { return f.first == shown && f.second == rate; });
}

bool VirtualCardConfig::Lists(const std::vector<std::pair<int, int>> &list, int bits, long rate)
{
    const int shown = bits == 32 ? 24 : bits;
    return std::any_of(list.begin(), list.end(),
                       [&](const std::pair<int, int> &f) { return f.first == shown && f.second == rate; });
}

std::string FormatListText(const std::vector<std::pair<int, int>> &formats)
{
    if (formats.empty())
        return "ALL";
    std::string s;
    for (const auto &f : formats) {
        if (!s.empty())
            s += ",";
        s += std::to_string(f.first) + ":" + std::to_string(f.second);
    }
    return s;
}

bool ParseFormatList(const std::string &text, std::vector<std::pair<int, int>> &formats)
{
    std::vector<std::pair<int, int>> out;
    const std::string t = trim(text);
    if (upper(t) == "ALL") {
        formats.clear();
        return true;
    }
    std::size_t pos = 0;
    while (pos <= t.size()) {
        std::size_t comma = t.find(',', pos);
        std::string item = trim(t.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        std::size_t colon = item.find(':');
        long long bits, rate;
        if (colon == std::string::npos || !platform::ParseInt(item.substr(0, colon), bits) ||
            !platform::ParseInt(item.substr(colon + 1), rate))
            return false;
        if (bits == 32)
            bits = 24;
        if ((bits != 8 && bits != 16 && bits != 24) || rate < 1000 || rate > 192000)
            return false;
        out.emplace_back(static_cast<int>(bits), static_cast<int>(rate));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    if (out.empty())
        return false;
    formats = std::move(out);
    return true;
}

bool ParsePolynomial(const std::string &text, std::vector<double> &coefficients)
{
    const std::string t = trim(text);
    if (upper(t) == "NONE") {
        coefficients.clear();
        return true;
    }
    std::vector<double> out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = t.find(',', pos);
        double v = 0.0;
        if (!platform::ParseFloat(trim(t.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos)), v) ||
            std::fabs(v) > 1000.0 || out.size() == 5)
            return false;
        out.push_back(v);
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    coefficients = std::move(out);
    return true;
}

VirtualCardConfig LoadLoopbackSettings(const std::string &fileName)
{
    const VirtualCardConfig def;
    VirtualCardConfig c;
    platform::IniFile ini(fileName);
    ini.load();
    bool missing = false;

    auto text = [&](const char *key, const std::string &defText) {
        if (!ini.has(kSection, key)) {
            ini.set(kSection, key, defText);
            missing = true;
            return defText;
        }
        return ini.get(kSection, key, defText, 256);
    };
    auto real = [&](const char *key, double defValue, double lo, double hi) {
        text(key, number(defValue)); // a missing key is written with its default
        const std::optional<double> v = platform::ReadReal(ini, kSection, key, number(defValue), 256);
        return v && *v >= lo && *v <= hi ? *v : defValue;
    };
    auto boolean = [&](const char *key, bool defValue) {
        std::string v = upper(trim(text(key, defValue ? "TRUE" : "FALSE")));
        return v == "TRUE" ? true : v == "FALSE" ? false : defValue;
    };

    text("DEVICES", "1");
    const std::optional<long long> n = platform::ReadInteger(ini, kSection, "DEVICES", "1", 256);
    c.devices = n && *n >= 1 && *n <= 8 ? static_cast<int>(*n) : def.devices;
    if (!ParseFormatList(text("FORMATS", "ALL"), c.formats))
        c.formats.clear();
    c.paced = boolean("PACED", def.paced);
    c.gainDb = real("GAIN", def.gainDb, -200.0, 40.0);
    c.highpassHz = real("HIGHPASS", def.highpassHz, 0.0, 1e6);
    c.lowpassHz = real("LOWPASS", def.lowpassHz, 0.0, 1e6);
    c.distortionDb = real("DISTORTION", def.distortionDb, -200.0, 0.0);
    if (!ParsePolynomial(text("POLY", "NONE"), c.polynomial))
        c.polynomial.clear();
    c.noiseDb = real("NOISE", def.noiseDb, -200.0, 0.0);
    c.invert = boolean("INVERT", def.invert);
    c.dcOffset = real("DCOFFSET", def.dcOffset, -1.0, 1.0);
    auto frames = [&](const char *key, int defValue) {
        text(key, std::to_string(defValue));
        const std::optional<long long> v = platform::ReadInteger(ini, kSection, key, std::to_string(defValue), 256);
        return v && *v >= 0 && *v <= VirtualCardConfig::kMaxDelayFrames ? static_cast<int>(*v) : defValue;
    };
    c.delayFrames = frames("DELAY", def.delayFrames);
    c.dutDelayFrames = frames("DUTDELAY", def.dutDelayFrames);
    std::string sig = upper(trim(text("SIGNAL", "SINE")));
    c.signal = sig == "OFF"  ? VirtualCardConfig::Signal::Off
             : sig == "SINE" ? VirtualCardConfig::Signal::Sine
             : sig == "PINK" ? VirtualCardConfig::Signal::Pink
                             : def.signal;
    c.sigFreqHz = real("SIGFREQ", def.sigFreqHz, 0.0, 1e6);
    c.sigLevelDb = real("SIGLEVEL", def.sigLevelDb, -200.0, 0.0);
    if (missing)
        ini.save();
    // The fault keys stay out of the file unless someone puts them there.
    if (const std::optional<long long> v = platform::ReadInteger(ini, kSection, "VANISH", "0", 256);
        v && *v >= 0 && *v <= 1000000000)
        c.vanishAfterBlocks = static_cast<int>(*v);
    for (auto [key, list] : {std::pair{"FAILOPEN", &c.failOpen}, std::pair{"FAILPREPARE", &c.failPrepare}})
        if (ini.has(kSection, key) && !ParseFormatList(ini.get(kSection, key, "", 256), *list))
            list->clear();
    return c;
}

} // namespace audio
