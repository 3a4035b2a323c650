// The engine as the command line uses it (see measuresession.h).
#include "cli/measuresession.h"
#include "cli/commandsupport.h"
#include "cli/report.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/setupsoundinterface.h"
#include "audio/soundinterface.h"
#include "audio/storeddevice.h"
#include "audio/capturecompletions.h"
#include "measurement/document/measurementsettings.h"
#include "platform/inifile.h"
#include "platform/textfile.h"
#include "platform/runtime/utilities.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QStandardPaths>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

// Takes what the main window would load; the correction files are only
// named here, the command reads those it applies (UseCorrections).
class ReadOnlyHooks : public app::SettingsHooks {
public:
    explicit ReadOnlyHooks(app::MeasurementState &ms) : ms_(ms) {}
    bool inputOn = false, outputOn = false;

    void SelectInputDevice(int device, const std::string &name) override
    {
        audio::SelectStoredDevice('I', device, name);
    }
    void SelectOutputDevice(int device, const std::string &name) override
    {
        audio::SelectStoredDevice('O', device, name);
    }
    void LoadInputCorrection(const std::string &f) override { name(ms_.InputCorrection, f); }
    void LoadOutputCorrection(const std::string &f) override { name(ms_.OutputCorrection, f); }
    void SetInputCorrectionActive(bool on) override { inputOn = on && !ms_.InputCorrection.fileName().empty(); }
    void SetOutputCorrectionActive(bool on) override { outputOn = on && !ms_.OutputCorrection.fileName().empty(); }
    void SetAverageValue(int) override {}
    int InputDevice() override { return audio::GetInputDevice(); }
    int OutputDevice() override { return audio::GetOutputDevice(); }
    std::string InputDeviceName() override { return audio::DeviceNameToStore('I'); }
    std::string OutputDeviceName() override { return audio::DeviceNameToStore('O'); }
    std::string InputCorrectionName() override { return ms_.InputCorrection.fileName(); }
    std::string OutputCorrectionName() override { return ms_.OutputCorrection.fileName(); }
    bool InputCorrectionActive() override { return ms_.InputCorrection.active(); }
    bool OutputCorrectionActive() override { return ms_.OutputCorrection.active(); }
    app::WindowGeometry ScopeWindowGeometry() override { return ms_.ScopeGeometry; }
    app::WindowGeometry DiagramWindowGeometry() override { return ms_.DiagramGeometry; }
    void MainWindowPosition(std::int32_t &left, std::int32_t &top) override
    {
        left = ms_.MainLeft;
        top = ms_.MainTop;
    }

private:
    static void name(dsp::CorrectionCurve &curve, const std::string &fileName)
    {
        curve.clear();
        curve.setFileName(fileName);
    }
    app::MeasurementState &ms_;
};

QJsonObject DeviceObject(char kind, int number, int rate, int bits)
{
    return QJsonObject{{"device", QString::fromStdString(audio::DeviceName(kind, number))},
                       {"number", number},
                       {"rate_hz", rate},
                       {"bits", bits}};
}

QJsonValue CorrectionObject(const dsp::CorrectionCurve &c)
{
    if (c.fileName().empty())
        return QJsonValue::Null;
    return QJsonObject{{"file", QString::fromStdString(c.fileName())},
                       {"sha256", QString::fromStdString(measure::FileSha256(c.fileName()))},
                       {"active", c.active()}};
}

} // namespace

std::string DefaultSettingsFile()
{
    // The window program's rule (platform::SettingsFileName), without the
    // directory and the copy it would create.
    const std::string dir = platform::ProgramDirectory();
    const std::string programFile = dir + "sonmain.ini";
    const bool exists = access(programFile.c_str(), F_OK) == 0;
    if (access(dir.c_str(), W_OK) == 0 && (!exists || access(programFile.c_str(), W_OK) == 0))
        return exists ? programFile : std::string();
    const QString userDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const std::string userFile = (userDir + "/sonalyx/sonmain.ini").toStdString();
    if (!userDir.isEmpty() && access(userFile.c_str(), F_OK) == 0)
        return userFile;
    return exists ? programFile : std::string();
}

bool MeasureSession::LoadCorrection(dsp::CorrectionCurve &curve, const std::string &fileName, std::string &error)
{
    // The command line never creates a correction file, and never waits on
    // a FIFO or reads a device.
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        error = "correction file " + fileName + " not found";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "correction file " + fileName + ": " + platform::FileErrorText(platform::FileNotRegular);
        return false;
    }
    std::string message;
    dsp::SetCorrectionMessageSink([&](const std::string &text, dsp::MessageKind) { message = text; });
    const bool ok = curve.loadFromFile(fileName);
    dsp::SetCorrectionMessageSink({});
    if (!ok)
        error = "correction file " + fileName + ": " + (message.empty() ? "cannot be read" : message);
    return ok;
}

MeasureSession::MeasureSession() = default;

MeasureSession::~MeasureSession()
{
    if (audioOpen_) {
        audio::StopOutput();
        // Saves the engine's section into the private copy only.
        audio::DoneAudio();
    }
    dummy_.reset();
    platform::SetSettingsFileName({});
}

bool MeasureSession::Open(const std::string &settingsFile)
{
    source_ = settingsFile.empty() ? DefaultSettingsFile() : settingsFile;
    if (!dir_.isValid()) {
        error_ = "cannot create a temporary directory";
        return false;
    }
    copy_ = dir_.filePath("sonmain.ini").toStdString();
    if (!source_.empty()) {
        // A regular file of a sane size only: never a FIFO, a device or an
        // endless file.
        std::string text;
        if (const int error = platform::ReadTextFile(source_, platform::kSettingsFileLimit, text)) {
            error_ = error == ENOENT ? "settings file " + source_ + " not found"
                                     : "cannot read settings file " + source_ + ": " + platform::FileErrorText(error) +
                                           (error == platform::FileTooLarge ? " (at most 1 MiB)" : "");
            return false;
        }
        if (const int error = platform::WriteTextFile(copy_, text)) {
            error_ = "cannot copy settings file " + source_ + ": " + platform::FileErrorText(error);
            return false;
        }
    }
    // Everything the engine reads or writes back goes to the copy.
    platform::SetSettingsFileName(copy_);
    audio::SetupSoundInterface();
    int numIn = 0, numOut = 0;
    std::uint32_t lastMask = 0;
    audio::DeviceReport(numIn, numOut, lastMask);
    if (const int status = audio::InitAudio()) {
        error_ = "the audio engine cannot be opened: " + audio::ErrorText(status);
        return false;
    }
    audioOpen_ = true;
    dummy_ = std::make_unique<audio::Tdummy>();

    platform::IniFile ini(copy_);
    ini.load();
    ReadOnlyHooks hooks(ms_);
    app::LoadSettings(ini, ms_, fields_, hooks);
    inputCorrectionOn_ = hooks.inputOn;
    outputCorrectionOn_ = hooks.outputOn;
    loop_ = ini.get("GEN", "BELOOP", "1") != "0";
    audio::SetLoop(loop_);
    return true;
}

bool MeasureSession::UseCorrections(bool input, bool output, std::optional<bool> on)
{
    return useCorrection(ms_.InputCorrection, inputCorrectionOn_, input, on, "input") &&
           useCorrection(ms_.OutputCorrection, outputCorrectionOn_, output, on, "output");
}

bool MeasureSession::useCorrection(dsp::CorrectionCurve &curve, bool storedOn, bool applied, std::optional<bool> on,
                                   const char *what)
{
    const std::string file = curve.fileName();
    curve.clear();
    curve.setFileName(file);
    if (file.empty())
        return true;
    if (applied && on.value_or(storedOn)) {
        if (!LoadCorrection(curve, file, error_))
            return false;
        curve.setActive(true);
        return true;
    }
    // Not read: an inactive or unused correction is no reason to fail, but
    // a file that went missing is worth knowing about.
    if (!QFileInfo::exists(QString::fromStdString(file)))
        Warn(std::string(what) + " correction file " + file + " not found (not used by this command)");
    return true;
}

int MeasureSession::FindDevice(bool input, const std::string &name)
{
    const char kind = input ? 'I' : 'O';
    const int count = input ? audio::SoundInterface::instance().waveInGetNumDevs()
                            : audio::SoundInterface::instance().waveOutGetNumDevs();
    int found = -1;
    for (int n = 0; n < count && found < 0; ++n)
        if (audio::DeviceName(kind, n) == name)
            found = n;
    if (found < 0) // the name the settings keep: a node name, "hw:CARD=PCH,DEV=0"
        found = audio::SoundInterface::instance().findStoredDevice(name, input);
    long long number = -1;
    if (found < 0 && platform::ParseInt(name, number) && number >= 0 && number < count)
        found = static_cast<int>(number);
    return found;
}

bool MeasureSession::selectOne(bool input, const std::string &name)
{
    const int found = FindDevice(input, name);
    const std::string what = input ? "input" : "output";
    if (found < 0) {
        error_ = "no " + what + " device \"" + name + "\"; see: sonalyx-measure devices";
        return false;
    }
    if (found >= audio::kMaxDevices) {
        error_ = what + " device \"" + name + "\" is number " + std::to_string(found) + "; only the first " +
                 std::to_string(audio::kMaxDevices) + " devices can be used";
        return false;
    }
    if (input)
        audio::SelectInputDevice(found);
    else
        audio::SelectOutputDevice(found);
    return true;
}

bool MeasureSession::SelectDevices(const std::string &input, const std::string &output)
{
    if (!(input.empty() || selectOne(true, input)) || !(output.empty() || selectOne(false, output)))
        return false;
    // A device the settings name that is not there: said, never replaced silently.
    for (const char kind : {'I', 'O'})
        if (const std::string note = audio::MissingDeviceNote(kind); !note.empty())
            Warn(note);
    return true;
}

bool MeasureSession::SetFormat(int rate, int bits, bool needOutput)
{
    if (bits != 0 && bits != 8 && bits != 16 && bits != 24) {
        error_ = "bits must be 8, 16 or 24";
        return false;
    }
    audio::SetRates(rate, rate);
    audio::SetBits(bits, bits);
    int rateIn = 0, rateOut = 0, bitsIn = 0, bitsOut = 0;
    audio::GetRates(rateIn, rateOut);
    audio::GetBits(bitsIn, bitsOut);
    const std::string in = audio::DeviceName('I', audio::GetInputDevice());
    if (audio::InputFormats(audio::GetInputDevice()) == 0 || !audio::QueryFormat(rateIn, bitsIn, true)) {
        error_ = "input device \"" + in + "\" does not take " + std::to_string(bitsIn) + " bits at " +
                 std::to_string(rateIn) + " Hz";
        return false;
    }
    if (needOutput && !audio::QueryFormat(rateOut, bitsOut, false)) {
        error_ = "output device \"" + audio::DeviceName('O', audio::GetOutputDevice()) + "\" does not take " +
                 std::to_string(bitsOut) + " bits at " + std::to_string(rateOut) + " Hz";
        return false;
    }
    return true;
}

QJsonObject MeasureSession::Describe() const
{
    int rateIn = 0, rateOut = 0, bitsIn = 0, bitsOut = 0;
    audio::GetRates(rateIn, rateOut);
    audio::GetBits(bitsIn, bitsOut);
    return QJsonObject{
        {"settings_file", source_.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(source_))},
        {"input", DeviceObject('I', audio::GetInputDevice(), rateIn, bitsIn)},
        {"output", DeviceObject('O', audio::GetOutputDevice(), rateOut, bitsOut)},
        {"calibration",
         QJsonObject{{"input_mv_full_scale", Rounded(ms_.InputCalibration, 6)},
                     {"level_factor", Rounded(ms_.LevelFactor, 6)},
                     {"level_offset_db", Rounded(ms_.LevelOffset, 6)},
                     {"calibrated_input_volume", ms_.CalibratedInputVolume}}},
        {"corrections",
         QJsonObject{{"input", CorrectionObject(ms_.InputCorrection)},
                     {"output", CorrectionObject(ms_.OutputCorrection)}}},
    };
}

} // namespace cli
