// Reading and writing the "DIAGPRIV" section (see diagramsettings.h).
#include "display/diagramsettings.h"

#include "platform/inifile.h"

#include <cmath>

namespace display {

namespace {

constexpr const char *kSection = "DIAGPRIV";
constexpr std::size_t kValueBuffer = 154; // values are read into a buffer of this size

struct ColourKey {
    const char *key;
    std::uint32_t DiagramOptions::*field;
    std::uint32_t fallback;
};

// Settings order of the colours.
constexpr ColourKey kColourKeys[] = {
    {"COLCUR", &DiagramOptions::ColCursor, kDefaultColCursor},
    {"COLDIA", &DiagramOptions::ColDiagram, kDefaultColDiagram},
    {"COLGRID", &DiagramOptions::ColGrid, kDefaultColGrid},
    {"COLLINE1", &DiagramOptions::ColLine1, kDefaultColLine1},
    {"COLLINE2", &DiagramOptions::ColLine2, kDefaultColLine2},
    {"COLLINE3", &DiagramOptions::ColLine3, kDefaultColLine3},
    {"COLMARGIN", &DiagramOptions::ColMargin, kDefaultColMargin},
    {"COLTEXT", &DiagramOptions::ColText, kDefaultColText},
};

} // namespace

void ReadDiagramSettings(const std::string &fileName, DiagramOptions &options)
{
    platform::IniFile ini(fileName);
    ini.load(); // an unreadable file reads as empty: every value takes its default
    options.Separator = ini.get(kSection, "SEPARATOR", ",", kValueBuffer);
    for (const ColourKey &c : kColourKeys) {
        // 1 is what a never-configured colour reads; colours are 24-bit values
        const std::optional<long long> v = platform::ReadInteger(ini, kSection, c.key, "1", kValueBuffer);
        const bool ok = v && *v != 1 && *v >= 0 && *v <= 0xFFFFFF;
        options.*c.field = ok ? static_cast<std::uint32_t>(*v) : c.fallback;
    }
    options.LogX = platform::ReadSwitch(ini, kSection, "XLOG", true, kValueBuffer);
    options.YStepAuto = platform::ReadSwitch(ini, kSection, "YSTEPAUTO", true, kValueBuffer);
    // A step of 0 or below would freeze or invert the manual level stepping.
    const std::optional<double> step = platform::ReadReal(ini, kSection, "YDIASTEPS", "5", kValueBuffer);
    const bool stepOk = step && *step > 0.0 && std::isfinite(static_cast<float>(*step));
    options.YStep = stepOk ? static_cast<float>(*step) : 5.0f;
}

bool WriteDiagramSettings(const std::string &fileName, const DiagramOptions &options)
{
    platform::IniFile ini(fileName);
    if (!ini.load()) // never replace a file we could not read
        return false;
    ini.set(kSection, "SEPARATOR", options.Separator);
    for (const ColourKey &c : kColourKeys)
        ini.set(kSection, c.key, std::to_string(options.*c.field));
    ini.set(kSection, "XLOG", options.LogX ? "TRUE" : "FALSE");
    ini.set(kSection, "YSTEPAUTO", options.YStepAuto ? "TRUE" : "FALSE");
    ini.set(kSection, "YDIASTEPS", platform::FormatFixed(options.YStep, 1));
    return ini.save();
}

} // namespace display
