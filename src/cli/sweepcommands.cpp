// The sweep, generate and devices commands of sonalyx-measure, and the
// choice of the subcommand. The sweep is the sweep page's run
// (measurement/sweeprun.h) driven step after step; its defaults are the
// sweep settings of the settings file. JSON goes out as a result document
// of kind "sweep".
#include "cli/commands.h"
#include "cli/commandsupport.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/soundinterface.h"
#include "measurement/blockwait.h"
#include "measurement/sweepdriver.h"
#include "settings/sweepsettings.h"

#include <QCoreApplication>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

namespace cli {

namespace {

const QStringList kModes{"left-ref", "right-ref", "stereo"};

void CheckPlayable(const measure::SweepSetup &setup)
{
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    for (std::int32_t i = 0; i <= setup.Steps; ++i) {
        const float f = dsp::SweepFrequency(setup.Linear, setup.FreqFrom, setup.FreqTo, setup.Steps, i);
        if (!dsp::SweepFrequencyPlayable(f, rateIn, rateOut))
            throw CommandError{"step " + std::to_string(i) + " at " + QString::number(f, 'f', 1).toStdString() +
                               " Hz is above half the sample rate (input " + std::to_string(rateIn) +
                               " Hz, output " + std::to_string(rateOut) + " Hz)"};
    }
}

} // namespace

int RunSweep(const QStringList &arguments)
{
    QCommandLineParser p;
    AddCommonOptions(p, true);
    p.addOptions({
        {"from", "First frequency in Hz (default: as stored).", "hz"},
        {"to", "Last frequency in Hz (default: as stored).", "hz"},
        {"steps", "Number of steps; steps + 1 frequencies (default: as stored).", "n"},
        {"spacing", "Frequency spacing: log or lin (default: as stored).", "log|lin"},
        {"mode", "left-ref (right measured against left), right-ref, or stereo (default: as stored).", "mode"},
        {"phase", "Measure the phase too: on or off (default: as stored).", "on|off"},
        {"level", "Output level in dB re full scale (default: as stored).", "db"},
        {"settle", "Settling time per step in ms (default: as stored).", "ms"},
        {"output-mode", "Output mode: loop or stream (default: as stored).", "loop|stream"},
        {"corrections", "Input and output corrections: on or off (default: as stored).", "on|off"},
    });
    if (!ParseArguments(p, arguments, "Measures a frequency response with a stepped sine: frequency, level and "
                                      "phase per step."))
        return kPass;

    MeasureSession session;
    const CommonOptions o = OpenWithCommonOptions(p, session, true, true);
    RequireCheckableLimits(o, {measure::LimitKind::Curve});
    app::MeasurementState &ms = session.State();
    const app::SweepSettings &w = ms.Sweep;
    // The sweep's parameters take the setup dialog's ranges: what its OK
    // would repair is refused here.
    measure::SweepSetup setup;
    setup.FreqFrom = IntOption(p, "from", w.FreqFrom, app::kSweepFreqMin, app::kSweepFromMax);
    setup.FreqTo = IntOption(p, "to", w.FreqTo, app::kSweepFreqMin + 1, app::kSweepFreqMax);
    setup.Steps = IntOption(p, "steps", w.Steps, 1, app::kSweepStepsMax);
    setup.Linear = ChoiceOption(p, "spacing", {"log", "lin"}, w.Linear ? 1 : 0) == 1;
    setup.Mode = ChoiceOption(p, "mode", kModes, w.Mode);
    const bool phase = ChoiceOption(p, "phase", {"off", "on"}, w.PhaseOn ? 1 : 0) == 1 && setup.Mode != dsp::kSweepStereo;
    // The output plays whole dB: a level is taken only as it is played, and
    // a stored fraction is rounded the way the output rounds it.
    setup.LevelDig = static_cast<float>(IntOption(p, "level", static_cast<int>(std::lround(w.LevelDig)),
                                                  static_cast<int>(app::kSweepLevelMin),
                                                  static_cast<int>(app::kSweepLevelMax)));
    setup.SettleMs = IntOption(p, "settle", w.SettleMs, 0, app::kSweepSettleMsMax);
    if (const std::string fault = app::SweepParameterFault(setup); !fault.empty())
        throw CommandError{"the sweep cannot run: " + fault};
    audio::SetLoop(ChoiceOption(p, "output-mode", {"stream", "loop"}, session.StoredLoop() ? 1 : 0) == 1);
    if (!session.UseCorrections(true, true,
                                p.isSet("corrections")
                                    ? std::optional<bool>(ChoiceOption(p, "corrections", {"off", "on"}, 0) == 1)
                                    : std::nullopt))
        throw CommandError{session.Error()};
    CheckPlayable(setup);

    QJsonObject settings = session.Describe();
    settings.insert("sweep", QJsonObject{{"from_hz", setup.FreqFrom},
                                         {"to_hz", setup.FreqTo},
                                         {"steps", setup.Steps},
                                         {"spacing", setup.Linear ? "lin" : "log"},
                                         {"mode", kModes[setup.Mode]},
                                         {"phase", phase},
                                         {"level_db", AsTyped(setup.LevelDig)},
                                         {"settle_ms", setup.SettleMs},
                                         {"output_mode", audio::GetLoop() ? "loop" : "stream"}});
    measure::MeasurementDocument doc = CommandDocument(measure::MeasurementKind::Sweep, "sweep", o, settings);
    const bool stereo = setup.Mode == dsp::kSweepStereo;
    // Left-ref and right-ref give one curve, the measured channel against
    // the reference channel (dB, with its phase); stereo gives each
    // channel's level (dBFS).
    measure::ResultTable &t = doc.Results;
    const std::size_t stepColumn = t.AddNumberColumn("step");
    const std::size_t fColumn = t.AddNumberColumn("frequency_hz");
    const std::size_t firstColumn = t.AddNumberColumn(stereo ? "right_db" : "level_db");
    const std::size_t secondColumn = stereo ? t.AddNumberColumn("left_db") : phase ? t.AddNumberColumn("phase_deg") : 0;
    const std::size_t overloadColumn = t.AddNumberColumn("overloads");
    if (stereo) {
        doc.Curves.push_back({"right", "level", "right", 0, "frequency_hz", "Hz", "right_db", "dBFS", ""});
        doc.Curves.push_back({"left", "level", "left", 0, "frequency_hz", "Hz", "left_db", "dBFS", ""});
    } else {
        doc.Curves.push_back({"level", "level", setup.Mode == dsp::kSweepLeftReference ? "right" : "left", 0, "frequency_hz",
                              "Hz", "level_db", "dB", phase ? "phase_deg" : ""});
    }

    bool pass = true;
    QJsonArray failures;
    Progress progress;
    measure::SweepDriver driver;
    driver.OnStep = [&](const measure::SweepStepPlan &plan) {
        progress.Update(QString("sweep: step %1 of %2, %3 Hz").arg(plan.Step + 1).arg(setup.Steps + 1).arg(plan.Frequency, 0, 'f', 1));
    };
    std::vector<audio::StreamWarning> warnings;
    driver.OnPoint = [&](const measure::SweepPoint &pt) {
        audio::AddStreamWarnings(warnings, pt.Warnings);
        const dsp::SweepReading &r = pt.Reading;
        const std::size_t row = t.AddRow();
        t.Set(row, stepColumn, pt.Step);
        t.Set(row, fColumn, Rounded(pt.Frequency, 3));
        t.Set(row, firstColumn, Rounded(r.First, 4));
        if (stereo || phase)
            t.Set(row, secondColumn, Rounded(r.Second, stereo ? 4 : 2));
        t.Set(row, overloadColumn, pt.Overloads);
        if (!o.haveLimits)
            return;
        const double values[2] = {r.First, r.Second};
        for (int c = 0; c < (stereo ? 2 : 1); ++c)
            if (!o.limits.CurvePasses(pt.Frequency, values[c])) {
                pass = false;
                QJsonObject failure{{"step", pt.Step}, {"frequency_hz", Rounded(pt.Frequency, 3)},
                                    {"level_db", Rounded(values[c], 4)}};
                if (stereo)
                    failure.insert("channel", c == 0 ? "right" : "left");
                failures.append(failure);
            }
    };
    const measure::SweepDriver::Outcome outcome = driver.Run(setup, ms.InputCorrection, ms.OutputCorrection);
    if (outcome == measure::SweepDriver::Outcome::Interrupted)
        throw CommandError{"interrupted"};
    if (outcome == measure::SweepDriver::Outcome::Failed)
        throw CommandError{driver.Error()};
    SetStreamWarnings(doc, warnings);
    SetLimitsOutcome(doc, o, pass, failures);
    WriteDocument(doc, o.json);
    if (!pass)
        std::fprintf(stderr, "FAIL: %d point(s) outside the limits of %s\n", int(failures.size()), TerminalSafe(o.limitsFile).c_str());
    return pass ? kPass : kFail;
}

int RunGenerate(const QStringList &arguments)
{
    QCommandLineParser p;
    AddCommonOptions(p, false);
    AddGeneratorOptions(p);
    p.addOption({"duration", "Seconds to play; 0 plays until interrupted (default 0).", "s", "0"});
    p.addOption({"output-mode", "Output mode: loop or stream (default: as stored).", "loop|stream"});
    if (!ParseArguments(p, arguments, "Plays a test signal on the output device."))
        return kPass;
    MeasureSession session;
    const double duration = RealOption(p, "duration", 0.0, 0.0, 1e6);
    const CommonOptions o = OpenWithCommonOptions(p, session, true, false);
    if (!session.UseCorrections(false, false))
        throw CommandError{session.Error()};
    audio::SetLoop(ChoiceOption(p, "output-mode", {"stream", "loop"}, session.StoredLoop() ? 1 : 0) == 1);
    audio::GeneratorSettings g = GeneratorFromOptions(p).value_or(audio::Generator());
    if (!p.isSet("wave")) {
        g.Waveform = audio::WaveSine;
        g.Frequency = static_cast<float>(RealOption(p, "frequency", 1000.0, 1.0, 96000.0));
        g.LevelL = g.LevelR = IntOption(p, "gen-level", -6, -100, 0);
        g.PhaseL = IntOption(p, "phase-left", 0, -360, 360);
        g.PhaseR = IntOption(p, "phase-right", 0, -360, 360);
    }
    StartGenerator(g);
    Progress progress;
    QElapsedTimer played;
    played.start();
    while (!measure::InterruptRequested() && (duration == 0.0 || played.elapsed() < duration * 1000.0)) {
        measure::WaitMs(50);
        if (const int rc = audio::RefillError())
            throw CommandError{"the output stopped: " + audio::ErrorText(rc)};
        progress.Update(QString("generate: %1 s").arg(played.elapsed() / 1000.0, 0, 'f', 1));
    }
    audio::StopOutput();
    Report report("generate");
    QJsonObject settings = session.Describe();
    settings.insert("generator", DescribeGenerator(g));
    report.AddSettings(settings);
    report.SetColumns({"played_s"});
    report.AddRow({Rounded(played.elapsed() / 1000.0, 3)});
    WriteResults(report, o.json);
    return kPass;
}

int RunDevices(const QStringList &arguments)
{
    QCommandLineParser p;
    p.addOption({"settings", "Settings file (the virtual cards are configured there).", "file"});
    p.addOption({"format", "Output form: csv or json (default csv).", "form", "csv"});
    if (!ParseArguments(p, arguments, "Lists the input and output devices with the formats each takes."))
        return kPass;
    const bool json = ChoiceOption(p, "format", {"csv", "json"}, 0) == 1;
    MeasureSession session;
    if (!session.Open(LocalFileName(p.value("settings"))) || !session.UseCorrections(false, false))
        throw CommandError{session.Error()};
    Report report("devices");
    report.AddSettings(QJsonObject{{"settings_file", QString::fromStdString(session.SettingsSource())}});
    // The backend tells ALSA devices, the sound server's nodes and the
    // virtual cards apart; the stored name is what --device and the
    // settings file take (a node name, "hw:CARD=PCH,DEV=0").
    report.SetColumns({"kind", "number", "name", "usable", "formats", "backend", "stored_name"});
    audio::SoundInterface &si = audio::SoundInterface::instance();
    const int rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000};
    for (const bool input : {true, false}) {
        const int count = input ? si.waveInGetNumDevs() : si.waveOutGetNumDevs();
        for (int n = 0; n < count; ++n) {
            QStringList formats;
            for (const int bits : {8, 16, 24})
                for (const int rate : rates) {
                    audio::WaveFormat f;
                    f.wFormatTag = 1;
                    f.nChannels = 2;
                    f.nSamplesPerSec = static_cast<std::uint32_t>(rate);
                    f.wBitsPerSample = static_cast<std::uint16_t>(bits == 24 ? 32 : bits);
                    f.nBlockAlign = static_cast<std::uint16_t>(2 * f.wBitsPerSample / 8);
                    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
                    if ((input ? si.waveInQuery(n, f) : si.waveOutQuery(n, f)) == 0)
                        formats << QString("%1:%2").arg(bits).arg(rate);
                }
            report.AddRow({input ? "input" : "output", n, QString::fromStdString(audio::DeviceName(input ? 'I' : 'O', n)),
                           n < audio::kMaxDevices, formats.join(' '), QString::fromStdString(si.deviceFamily(n, input)),
                           QString::fromStdString(si.storedDeviceName(n, input))});
        }
    }
    WriteResults(report, json);
    return kPass;
}

namespace {

// Every way a command can fail ends here: status 2 and one line on
// standard error, with what came from files and arguments made harmless.
int Failed(const QString &command, const std::string &message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "sonalyx-measure %s: %s\n", TerminalSafe(LocalFileName(command)).c_str(),
                 TerminalSafe(message).c_str());
    return kError;
}

} // namespace

int RunMeasure(const QStringList &arguments)
{
    static const char *const kUsage =
        "Usage: sonalyx-measure COMMAND [options]\n"
        "Runs Sonalyx measurements without windows and writes their results as CSV or JSON.\n\n"
        "Commands:\n"
        "  devices    input and output devices with the formats each takes\n"
        "  spectrum   spectrum: frequency and level per bin and channel\n"
        "  thdn       THD+N and fundamental per channel\n"
        "  level      weighted band level per channel\n"
        "  sweep      frequency response: frequency, level and phase per step\n"
        "  logsweep   log sweep: frequency response with phase, harmonics H2..H5 and THD,\n"
        "             latency, impulse response\n"
        "  generate   play a sine, square or noise signal\n"
        "  thd        one tone: fundamental, harmonics H2..H9, THD, THD+N and noise\n"
        "  imd        intermodulation with the SMPTE, DIN or CCIF two-tone signal\n"
        "  noise      idle noise: unweighted, A-weighted and in the AES17 band\n"
        "  dynamic-range  AES17 dynamic range (THD+N of a -60 dBFS tone)\n"
        "  distortion-sweep  harmonics, THD and THD+N against frequency or level; IMD against level\n"
        "  compare    a result file against a reference result file (--tolerance)\n\n"
        "sonalyx-measure COMMAND --help shows the options of a command. With --format json\n"
        "the measuring commands write a result document, as the window program saves it.\n"
        "Exit status: 0 pass, 1 a result outside the limits (--limits) or the tolerance\n"
        "(compare), 2 error.\n";
    const QString command = arguments.value(1);
    // Usage after a mistake goes with the error to standard error; asked
    // for, it is the output.
    if (command.isEmpty()) {
        std::fprintf(stderr, "%s", kUsage);
        return kError;
    }
    if (command == "--help" || command == "-h" || command == "help" || command == "--version") {
        const std::string text =
            command == "--version" ? std::string("sonalyx-measure ") + SONALYX_VERSION + "\n" : std::string(kUsage);
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "sonalyx-measure: standard output cannot be written: %s\n",
                         std::strerror(errno != 0 ? errno : EIO));
            return kError;
        }
        return kPass;
    }
    const QStringList rest = arguments.mid(1);
    SetCommandName(command);
    try {
        if (command == "devices")
            return RunDevices(rest);
        if (command == "spectrum")
            return RunSpectrum(rest);
        if (command == "thdn")
            return RunThdN(rest);
        if (command == "level")
            return RunLevel(rest);
        if (command == "sweep")
            return RunSweep(rest);
        if (command == "logsweep")
            return RunLogSweep(rest);
        if (command == "generate")
            return RunGenerate(rest);
        if (command == "thd")
            return RunThd(rest);
        if (command == "imd")
            return RunImd(rest);
        if (command == "noise")
            return RunNoise(rest);
        if (command == "dynamic-range")
            return RunDynamicRange(rest);
        if (command == "distortion-sweep")
            return RunDistortionSweep(rest);
        if (command == "compare")
            return RunCompare(rest);
        throw CommandError{"unknown command \"" + command.toStdString() + "\"; see sonalyx-measure --help"};
    } catch (const CommandError &e) {
        return Failed(command, e.message);
    } catch (const std::bad_alloc &) {
        return Failed(command, "out of memory");
    } catch (const std::exception &e) {
        return Failed(command, e.what());
    } catch (...) {
        return Failed(command, "unexpected error");
    }
}

} // namespace cli
