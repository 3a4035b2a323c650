// Fuzz target: a settings file of any content, read as the main window reads
// it. Whatever the file holds, what the program saves from it must load back
// as it was saved (the text of a second save equals the first), and every
// level, calibration and range the program computes with must be finite.
#include "app/settingsfile.h"
#include "platform/inifile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The main window's side of a load and save: what was loaded is what the
// live windows report when saving.
struct EchoHooks : app::SettingsHooks {
    int inDev = 0, outDev = 0;
    std::string inName, outName;
    bool inActive = false, outActive = false;
    const app::MeasurementState *ms = nullptr;

    void SelectInputDevice(int d) override { inDev = d; }
    void SelectOutputDevice(int d) override { outDev = d; }
    void LoadInputCorrection(const std::string &n) override { inName = n; }
    void LoadOutputCorrection(const std::string &n) override { outName = n; }
    void SetInputCorrectionActive(bool on) override { inActive = on; }
    void SetOutputCorrectionActive(bool on) override { outActive = on; }
    void SetAverageValue(int) override {}
    int InputDevice() override { return inDev; }
    int OutputDevice() override { return outDev; }
    std::string InputCorrectionName() override { return inName; }
    std::string OutputCorrectionName() override { return outName; }
    bool InputCorrectionActive() override { return inActive; }
    bool OutputCorrectionActive() override { return outActive; }
    app::WindowGeometry ScopeWindowGeometry() override { return ms->ScopeGeometry; }
    app::WindowGeometry DiagramWindowGeometry() override { return ms->DiagramGeometry; }
    void MainWindowPosition(std::int32_t &l, std::int32_t &t) override { l = ms->MainLeft; t = ms->MainTop; }
};

void Require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "settings fuzz: %s\n", what);
        std::abort();
    }
}

// Loads `text` and saves into the same document; returns the saved text.
std::string LoadAndSave(const std::string &text, app::MeasurementState &ms)
{
    platform::IniFile ini;
    ini.parse(text);
    app::MainWindowFields fields;
    EchoHooks hooks;
    hooks.ms = &ms;
    app::LoadSettings(ini, ms, fields, hooks);
    app::SaveSettings(ini, ms, fields, hooks);
    return ini.text();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    app::MeasurementState first;
    const std::string saved = LoadAndSave(text, first);
    for (float v : {first.InputCalibration, first.OutputCalibration, first.LevelFactor, first.LevelOffset,
                    first.AnalyserRange.LevelMin, first.AnalyserRange.LevelMax, first.AnalyserRange.LevelStep,
                    first.Sweep.YMin, first.Sweep.YMax, first.Sweep.PhaseMin, first.Sweep.PhaseMax,
                    first.Sweep.LevelDig, first.Scope.Position1, first.Scope.Position2})
        Require(std::isfinite(v), "a loaded level or range is not finite");

    app::MeasurementState second;
    const std::string again = LoadAndSave(saved, second);
    if (again != saved)
        std::fprintf(stderr, "saved:\n%s\nsaved again:\n%s\n", saved.c_str(), again.c_str());
    Require(again == saved, "saved settings do not load back as saved");
    return 0;
}
