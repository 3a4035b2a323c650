// Fuzz target: a settings file of any content, loaded and saved by every
// owner of a section as the program does - the main window's sections, the
// engine's [SDSOUND] with device keys of awkward names, the virtual card's
// [LOOPBACK], the analysis [ANALYSE], the generator's [GEN], the mixer's
// [MIX] and the diagram's [DIAGPRIV] - through the file on disk. Whatever
// the file holds, what the program saves from it must load back as saved (a
// second round of loading and saving leaves the file as the first left it),
// and every level, calibration and range it computes with must be finite.
#include "settings/settingsfile.h"
#include "audio/audioengine.h"
#include "audio/fakebackend.h"
#include "audio/mixer/mixercontrol.h"
#include "audio/virtualcard/virtualcardconfig.h"
#include "display/diagramsettings.h"
#include "dsp/analysis.h"
#include "generator/wavegen.h"
#include "platform/inifile.h"
#include "platform/textfile.h"
#include "platform/runtime/utilities.h"

#include <QApplication>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// The main window's side of a load and save: what was loaded is what the
// live windows report when saving.
struct EchoHooks : app::SettingsHooks {
    int inDev = 0, outDev = 0;
    std::string inName, outName;
    bool inActive = false, outActive = false;
    const app::MeasurementState *ms = nullptr;

    void SelectInputDevice(int d, const std::string &) override { inDev = d; }
    void SelectOutputDevice(int d, const std::string &) override { outDev = d; }
    void LoadInputCorrection(const std::string &n) override { inName = n; }
    void LoadOutputCorrection(const std::string &n) override { outName = n; }
    void SetInputCorrectionActive(bool on) override { inActive = on; }
    void SetOutputCorrectionActive(bool on) override { outActive = on; }
    void SetAverageValue(int) override {}
    int InputDevice() override { return inDev; }
    int OutputDevice() override { return outDev; }
    std::string InputDeviceName() override { return {}; }
    std::string OutputDeviceName() override { return {}; }
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

// The file, the devices and the generator window, made once. The folder is
// made by mkdtemp (in memory where there is /dev/shm: every save flushes).
struct World {
    std::string file;
    std::unique_ptr<TWavegen> generator;

    World()
    {
        static int argc = 1;
        static char name[] = "fuzz_settings";
        static char *argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static QApplication *application = new QApplication(argc, argv); // lives as long as the process
        (void)application;
        std::string dir = (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) +
                          "/sonalyx-fuzz-XXXXXX";
        Require(mkdtemp(dir.data()) != nullptr, "no scratch folder");
        file = dir + "/sonmain.ini";
        platform::SetSettingsFileName(file);
        // Device names of the kind that once broke the file.
        auto devices = std::make_shared<fake::FakeBackend>();
        devices->inputs = {{"Studio=Rack 1"}, {"USB: Mic #1 [In]"}, {"Line\n[MAIN]\nPAGE=2"}};
        devices->outputs = {{"Out 100% ;x"}, {"Studio=Rack 1"}};
        audio::SoundInterface::instance().setBackends({devices});
        generator = std::make_unique<TWavegen>();
    }
};

// One start and end of the program on the file: every owner loads, then
// every owner saves.
app::MeasurementState Round(World &w)
{
    audio::AudioLog().clear(); // the mixer's report would pile up over the runs
    app::MeasurementState ms;
    platform::IniFile ini(w.file);
    ini.load();
    app::MainWindowFields fields;
    EchoHooks hooks;
    hooks.ms = &ms;
    app::LoadSettings(ini, ms, fields, hooks);
    audio::LoadLoopbackSettings(w.file); // writes back the keys it misses
    audio::LoadDeviceSettings();
    dsp::SpectrumAnalysis analysis;
    analysis.readSettingsFile(w.file);
    w.generator->LoadSettings();
    display::DiagramOptions diagram;
    display::ReadDiagramSettings(w.file, diagram);
    {
        audio::Tmixu mixer; // reads MIXON when made, writes it when gone
    }
    display::WriteDiagramSettings(w.file, diagram);
    w.generator->SaveSettings();
    analysis.writeSettingsFile(w.file);
    audio::SaveDeviceSettings();
    platform::IniFile again(w.file);
    again.load();
    app::SaveSettings(again, ms, fields, hooks);
    again.save();
    return ms;
}

std::string FileText(const World &w)
{
    std::string text;
    platform::ReadTextFile(w.file, std::size_t(16) << 20, text);
    return text;
}

// The line of `a` where it first differs from `b`, every byte visible.
std::string Visible(const std::string &a, const std::string &b)
{
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    const std::size_t start = a.rfind('\n', at == 0 ? 0 : at - 1);
    const std::size_t from = start == std::string::npos ? 0 : start + 1;
    const std::size_t end = a.find('\n', at);
    std::string out;
    for (unsigned char c : a.substr(from, end == std::string::npos ? std::string::npos : end - from)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", c);
        out += hex;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static World world;
    Require(platform::WriteTextFile(world.file, std::string(reinterpret_cast<const char *>(data), size)) == 0,
            "the scratch file cannot be written");
    const app::MeasurementState first = Round(world);
    for (float v : {first.InputCalibration, first.OutputCalibration, first.LevelFactor, first.LevelOffset,
                    first.AnalyserRange.LevelMin, first.AnalyserRange.LevelMax, first.AnalyserRange.LevelStep,
                    first.Sweep.YMin, first.Sweep.YMax, first.Sweep.PhaseMin, first.Sweep.PhaseMax,
                    first.Sweep.LevelDig, first.Scope.Position1, first.Scope.Position2})
        Require(std::isfinite(v), "a loaded level or range is not finite");
    const std::string saved = FileText(world);
    Round(world);
    const std::string again = FileText(world);
    if (again != saved)
        std::fprintf(stderr, "first difference:\n%s\n%s\n", Visible(saved, again).c_str(), Visible(again, saved).c_str());
    Require(again == saved, "saved settings do not load back as saved");
    return 0;
}
