// The engine as the command line uses it: a private copy of the settings
// file (the command line never writes the user's file, which a window
// program may be using), the sound interface with its virtual cards, the
// device report, the audio buffers and the hidden capture window; the
// calibration, level unit, corrections and sweep set-up from the settings;
// devices chosen by the names the sound card dialog shows.
//
// Threads: the main thread, under a QCoreApplication.
#pragma once

#include "settings/measurementstate.h"
#include "settings/settingsfile.h"

#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <string>

namespace audio {
class Tdummy;
}

namespace cli {

class MeasureSession {
public:
    MeasureSession();
    ~MeasureSession();

    // Opens the engine on `settingsFile` (empty: the file the window program
    // uses; a missing default file gives the defaults). False with Error().
    bool Open(const std::string &settingsFile);
    // The device of a direction that a name names: as listed, as the
    // settings keep it (a node name, "hw:CARD=PCH,DEV=0") or by number; -1
    // when none does. After Open.
    static int FindDevice(bool input, const std::string &name);
    // Chooses the devices by name or number; empty keeps the stored choice.
    bool SelectDevices(const std::string &input, const std::string &output);
    // The corrections a command applies: `input` and `output` say whether it
    // applies each at all, `on` is the command line's choice (nullopt: as
    // stored). Only a correction that is on and applied is read; false with
    // Error() when it cannot be. A named file the command does not read is
    // not needed, and only a warning when it is missing.
    bool UseCorrections(bool input, bool output, std::optional<bool> on = std::nullopt);
    // Sets rate and resolution (0 keeps the device's) of both devices and
    // checks that the devices take them; `needOutput` also checks the output.
    bool SetFormat(int rate, int bits, bool needOutput);

    // The settings as read: calibration, unit, corrections, sweep set-up.
    app::MeasurementState &State() { return ms_; }
    // The private copy of the settings file (other sections are read there).
    const std::string &SettingsCopy() const { return copy_; }
    const std::string &SettingsSource() const { return source_; }
    // Loop mode of the output ([GEN] BELOOP), and the stored setting.
    bool StoredLoop() const { return loop_; }

    // Device, format, calibration and corrections as a JSON object.
    QJsonObject Describe() const;
    // Text of the last failure.
    const std::string &Error() const { return error_; }

    // Loads a correction file read-only (a missing file is an error here,
    // where the window program would create it).
    static bool LoadCorrection(dsp::CorrectionCurve &curve, const std::string &fileName, std::string &error);

private:
    bool selectOne(bool input, const std::string &name);
    bool useCorrection(dsp::CorrectionCurve &curve, bool storedOn, bool applied, std::optional<bool> on,
                       const char *what);

    app::MeasurementState ms_;
    app::MainWindowFields fields_;
    QTemporaryDir dir_;
    std::string source_, copy_, error_;
    bool loop_ = true;
    bool inputCorrectionOn_ = false, outputCorrectionOn_ = false; // as stored
    bool audioOpen_ = false;
    std::unique_ptr<audio::Tdummy> dummy_;
};

// The settings file the window program would use, found without creating
// or copying anything; empty when there is none.
std::string DefaultSettingsFile();

} // namespace cli
