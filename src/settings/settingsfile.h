// The main window's sections of the settings file "sonmain.ini": MAIN,
// EICH, VOLUME, FFT, WOB, LOGSWEEP, OSZI and DIAGRAMM. Every key is read and written
// in a fixed order with its own encoding, default text and rule for
// invalid values. Other sections of the same file belong to their windows
// and are left as they are.
#pragma once

#include "settings/measurementstate.h"

#include <cstdint>
#include <string>

namespace platform {
class IniFile;
}

namespace app {

// Fields the main window holds itself rather than in the measurement state.
struct MainWindowFields {
    std::int32_t InputChannel = 0; // mixer recording line, -1 = the mixer's current line
    std::int32_t ActivePage = 0;   // 0 analyser, 1 generator/sweep, 2 oscilloscope
    std::uint16_t OutputVolume = 20; // percent
    std::uint16_t InputVolume = 100; // percent
};

// Device numbers the settings keep (INDEV, OUTDEV): 0 to MaxDeviceNumber,
// the devices the audio engine can use.
constexpr int MaxDeviceNumber = 31;

// What a settings load sets off elsewhere, and what a save takes from the
// live program. The main window implements it; tests record the calls.
class SettingsHooks {
public:
    virtual ~SettingsHooks() = default;
    // Load side, called in the order of the keys. A device comes with the
    // name stored for it (INDEVNAME, OUTDEVNAME), which names it in a list
    // numbered anew; empty in files of earlier versions, where the number
    // alone chooses.
    virtual void SelectInputDevice(int device, const std::string &storedName) = 0;
    virtual void SelectOutputDevice(int device, const std::string &storedName) = 0;
    virtual void LoadInputCorrection(const std::string &fileName) = 0;  // empty: no file
    virtual void LoadOutputCorrection(const std::string &fileName) = 0; // empty: no file
    virtual void SetInputCorrectionActive(bool on) = 0;
    virtual void SetOutputCorrectionActive(bool on) = 0;
    virtual void SetAverageValue(int averages) = 0;
    // Save side.
    virtual int InputDevice() = 0;
    virtual int OutputDevice() = 0;
    // The names to store for the devices (see SelectInputDevice).
    virtual std::string InputDeviceName() = 0;
    virtual std::string OutputDeviceName() = 0;
    virtual std::string InputCorrectionName() = 0;
    virtual std::string OutputCorrectionName() = 0;
    virtual bool InputCorrectionActive() = 0;
    virtual bool OutputCorrectionActive() = 0;
    // Live window geometries at the moment of saving.
    virtual WindowGeometry ScopeWindowGeometry() = 0;
    virtual WindowGeometry DiagramWindowGeometry() = 0;
    virtual void MainWindowPosition(std::int32_t &left, std::int32_t &top) = 0;
};

void LoadSettings(const platform::IniFile &ini, MeasurementState &ms, MainWindowFields &fields,
                  SettingsHooks &hooks);
void SaveSettings(platform::IniFile &ini, const MeasurementState &ms, const MainWindowFields &fields,
                  SettingsHooks &hooks);

// Clamps the diagram window geometry to what the window allows
// (width 180..1024, height 140..768).
WindowGeometry ClampDiagramGeometry(WindowGeometry g);

} // namespace app
