#include "settings/settingsfile.h"

#include "platform/inifile.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace app {

namespace {

// Values are read through a 154-character buffer.
constexpr std::size_t ReadBuffer = 154;

class Reader {
public:
    explicit Reader(const platform::IniFile &ini) : ini_(ini) {}

    std::string text(const char *section, const char *key, const char *def) const
    {
        return ini_.get(section, key, def, ReadBuffer);
    }
    // A file name, whole: a name cut to the buffer would name another file.
    // The correction loader refuses names it cannot hold, with a message.
    std::string fileName(const char *section, const char *key) const { return ini_.get(section, key, "", 0); }
    // true when the stored (or default) text parses as an integer
    bool integer(const char *section, const char *key, const char *def, long long &v) const
    {
        const std::optional<long long> read = platform::ReadInteger(ini_, section, key, def, ReadBuffer);
        v = read.value_or(v);
        return read.has_value();
    }
    // A 32-bit integer (clamped); `def` is the default and stands in for a
    // text that does not parse.
    std::int32_t int32(const char *section, const char *key, std::int32_t def) const
    {
        long long v = 0;
        if (!integer(section, key, std::to_string(def).c_str(), v))
            return def;
        return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
    }
    // Floats are held in single precision: a value beyond its range would
    // become infinite, so it counts as a parse error.
    bool real(const char *section, const char *key, const char *def, double &v) const
    {
        const std::optional<double> d = platform::ReadReal(ini_, section, key, def, ReadBuffer);
        if (!d || std::abs(*d) > FLT_MAX)
            return false;
        v = *d;
        return true;
    }
    // Only the exact text "FALSE" is false.
    bool boolean(const char *section, const char *key, bool def) const
    {
        return platform::ReadSwitch(ini_, section, key, def, ReadBuffer);
    }

private:
    const platform::IniFile &ini_;
};

std::string cut(std::string s, std::size_t n)
{
    if (s.size() > n)
        s.resize(n);
    return s;
}

const char *boolText(bool b) { return b ? "TRUE" : "FALSE"; }

std::int32_t clampInt(long long v, long long lo, long long hi)
{
    return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

} // namespace

void LoadSettings(const platform::IniFile &ini, MeasurementState &ms, MainWindowFields &fields,
                  SettingsHooks &hooks)
{
    Reader r(ini);
    long long i = 0;
    double d = 0;

    // MAIN
    if (r.integer("MAIN", "PAGE", "0", i) && i >= 0 && i <= 2)
        fields.ActivePage = static_cast<std::int32_t>(i);
    // A stored name is taken whole: one cut short would name no device.
    hooks.SelectInputDevice(r.integer("MAIN", "INDEV", "0", i) && i >= 0 && i <= MaxDeviceNumber ? int(i) : 0,
                            r.fileName("MAIN", "INDEVNAME"));
    hooks.SelectOutputDevice(r.integer("MAIN", "OUTDEV", "0", i) && i >= 0 && i <= MaxDeviceNumber ? int(i) : 0,
                             r.fileName("MAIN", "OUTDEVNAME"));
    {
        std::string lang = r.text("MAIN", "SPRACHE", "D");
        ms.Language = lang.empty() ? '\0' : lang[0];
    }
    hooks.LoadInputCorrection(r.fileName("MAIN", "INCONAME"));
    hooks.LoadOutputCorrection(r.fileName("MAIN", "OUTCONAME"));
    hooks.SetInputCorrectionActive(r.boolean("MAIN", "INCOAKT", false));
    hooks.SetOutputCorrectionActive(r.boolean("MAIN", "OUTCOAKT", false));

    // EICH
    if (r.real("EICH", "INPUT", "-1", d) && d != -1.0)
        ms.InputCalibration = static_cast<float>(d);
    if (r.real("EICH", "OUTPUT", "-1", d) && d != -1.0)
        ms.OutputCalibration = static_cast<float>(d);
    if (r.integer("EICH", "InLev4Cal", "-1", i))
        ms.CalibratedInputVolume = clampInt(i, -1, 100);

    // VOLUME (percentages beyond 0..100 would overflow the mixer's range)
    fields.OutputVolume = static_cast<std::uint16_t>(
        r.integer("VOLUME", "FGVOLUME", "-1", i) && i != -1 ? clampInt(i, 0, 100) : 20);
    fields.InputVolume = static_cast<std::uint16_t>(
        r.integer("VOLUME", "FGINVOLUME", "-1", i) && i != -1 ? clampInt(i, 0, 100) : 100);
    ms.LevelFactor = r.real("VOLUME", "PEGFAK", "8.722", d) ? static_cast<float>(d) : 8.685889f;
    ms.LevelOffset = r.real("VOLUME", "PEGOFS", "12.6", d) ? static_cast<float>(d) : 12.6f;
    if (r.integer("VOLUME", "AUDIOINCHANNEL", "0", i) && i > 0)
        fields.InputChannel = clampInt(i, 0, 18);

    // FFT: the comment first
    ms.AnalyserComment = cut(r.text("FFT", "COMMENT", "remark:"), MaxCommentLength);
    // An index outside the nine windows has no window table: use the default.
    ms.FftWindow = r.integer("FFT", "WIN", "8", i) && i >= 0 && i <= 8 ? int(i) : 8;
    // No size below one point: such a value would be saved and then read as the default.
    ms.FftSize = r.integer("FFT", "SAMPLES", "1024", i) && i > 0 ? clampInt(i, 1, 1 << 20) : 1024;
    if (r.integer("FFT", "AVERAGE", "1", i) && i != -1)
        ms.Averages = clampInt(std::llabs(i), 1, 9999); // the spin edit's range
    else
        ms.Averages = 1;
    ms.AveragesLeft = ms.Averages;
    hooks.SetAverageValue(ms.Averages);
    ms.AnalyserRange.LevelMin = r.real("FFT", "DIAYMIN", "-110", d) ? float(d) : -100.0f;
    ms.AnalyserRange.LevelMax = r.real("FFT", "DIAYMAX", "0", d) ? float(d) : 0.0f;
    ms.AnalyserRange.LevelStep = r.real("FFT", "DIAYSTEP", "5", d) ? float(d) : 5.0f;
    // Units beyond the four known ones index no table: dBFS.
    ms.LevelUnit = r.integer("FFT", "DBMODE", "0", i) && i >= 0 && i <= 3 ? std::uint8_t(i) : 0;
    ms.AnalyserRange.FreqMin = r.int32("FFT", "DIAXMIN", 10);
    ms.AnalyserRange.FreqMax = r.int32("FFT", "DIAXMAX", 24000);

    // DIAGRAMM and the main window position are read before WOB
    ms.DiagramGeometry.Width = r.int32("DIAGRAMM", "WIDTH", 450);
    ms.DiagramGeometry.Height = r.int32("DIAGRAMM", "HEIGHT", 320);
    ms.DiagramGeometry.Left = r.int32("DIAGRAMM", "LEFT", 0);
    ms.DiagramGeometry.Top = r.int32("DIAGRAMM", "TOP", 0);
    ms.MainLeft = r.int32("MAIN", "LEFT", 200);
    ms.MainTop = r.int32("MAIN", "TOP", 200);

    // WOB
    SweepSettings &w = ms.Sweep;
    w.FreqFrom = r.integer("WOB", "FROM", "20", i) && i != 0 ? clampInt(i, INT32_MIN, INT32_MAX) : 20;
    w.FreqTo = r.integer("WOB", "TO", "22000", i) && i != 0 ? clampInt(i, INT32_MIN, INT32_MAX) : 22000;
    // A sweep needs at least one step.
    w.Steps = r.integer("WOB", "STEPS", "50", i) && i > 0 ? clampInt(i, 1, INT32_MAX) : 50;
    w.Linear = r.text("WOB", "METHODE", "LOG") != "LOG";
    w.PhaseOn = r.boolean("WOB", "PHASE", false);
    w.Title = cut(r.text("WOB", "COMMENT", "remark:"), MaxCommentLength);
    w.Mode = r.integer("WOB", "REFMESS", "0", i) && i >= 0 && i <= 2 ? int(i) : 0;
    w.YMin = r.real("WOB", "DIAYMIN", "-45", d) ? float(d) : -45.0f;
    w.YMax = r.real("WOB", "DIAYMAX", "5", d) ? float(d) : 5.0f;
    w.PhaseMin = r.real("WOB", "PMIN", "-90", d) ? float(d) : -90.0f;
    w.PhaseMax = r.real("WOB", "PMAX", "90", d) ? float(d) : 90.0f;
    w.LevelDig = r.real("WOB", "PEGDIG", "-1", d) && d != -1.0 ? float(d) : 0.0f;
    w.SettleMs = r.integer("WOB", "STARTMESS", "-1", i) && i != -1 ? clampInt(i, INT32_MIN, INT32_MAX) : 100;
    // Held to the setup dialog's ranges; a stored frequency range is kept.
    RepairSweepParameters(w, SweepRepair::KeepFrequencies);

    // LOGSWEEP: absent in files of earlier versions, which give the defaults.
    LogSweepSettings &log = w.Log;
    const std::string method = r.text("LOGSWEEP", "METHOD", "STEPPED");
    log.Method = method == "LOGSWEEP"     ? SweepMethod::LogSweep
                 : method == "DISTORTION" ? SweepMethod::Distortion
                                          : SweepMethod::Stepped;
    if (r.real("LOGSWEEP", "SECONDS", "3", d))
        log.Seconds = d;
    if (r.integer("LOGSWEEP", "AVERAGES", "1", i))
        log.Averages = clampInt(i, INT32_MIN, INT32_MAX);
    if (r.real("LOGSWEEP", "WINDOWMS", "300", d))
        log.WindowMs = d;
    if (r.integer("LOGSWEEP", "SMOOTHING", "0", i))
        log.Smoothing = clampInt(i, INT32_MIN, INT32_MAX);
    log.Harmonics = r.boolean("LOGSWEEP", "HARMONICS", true);
    RepairLogSweepSettings(log);

    // DISTSWEEP: absent in files of earlier versions, which give the defaults.
    DistortionSweepSettings &dist = w.Dist;
    {
        const std::string vs = r.text("DISTSWEEP", "VS", "FREQUENCY");
        dist.Vs = vs == "LEVEL" ? DistortionAxis::Level : vs == "IMD" ? DistortionAxis::Imd : DistortionAxis::Frequency;
        const std::string unit = r.text("DISTSWEEP", "UNIT", "DBFS");
        dist.Unit = unit == "DBV"   ? DistortionUnit::DbV
                    : unit == "DBU" ? DistortionUnit::Dbu
                    : unit == "W"   ? DistortionUnit::Watt
                                    : DistortionUnit::DbFS;
    }
    dist.FromHz = r.int32("DISTSWEEP", "FROMHZ", dist.FromHz);
    dist.ToHz = r.int32("DISTSWEEP", "TOHZ", dist.ToHz);
    dist.Steps = r.int32("DISTSWEEP", "STEPS", dist.Steps);
    dist.LevelDb = r.int32("DISTSWEEP", "LEVEL", dist.LevelDb);
    if (r.real("DISTSWEEP", "FREQUENCY", "1000", d))
        dist.FrequencyHz = d;
    dist.FromDb = r.int32("DISTSWEEP", "FROMDB", dist.FromDb);
    dist.ToDb = r.int32("DISTSWEEP", "TODB", dist.ToDb);
    dist.StepDb = r.int32("DISTSWEEP", "STEPDB", dist.StepDb);
    dist.SettleMs = r.int32("DISTSWEEP", "SETTLE", dist.SettleMs);
    dist.Harmonics = r.boolean("DISTSWEEP", "HARMONICS", true);
    if (r.real("DISTSWEEP", "LOAD", "8", d))
        dist.LoadOhms = d;
    RepairDistortionSweepSettings(dist);

    // NOISE: absent in files of earlier versions; a reference that is no
    // number or out of its range is read as 0 dBFS.
    NoiseWindowSettings &noise = ms.Noise;
    noise.ReferenceDbfs = r.real("NOISE", "REFERENCE", "0", d) && std::isfinite(d) && d >= kNoiseReferenceMin &&
                                  d <= kNoiseReferenceMax
                              ? d
                              : 0.0;
    noise.Left = r.int32("NOISE", "LEFT", -1);
    noise.Top = r.int32("NOISE", "TOP", -1);

    // OSZI (indices outside their tables fall back to the defaults)
    ScopeState &s = ms.Scope;
    s.VoltsIndex1 = r.integer("OSZI", "DIV1", "10", i) && i >= 1 && i <= 14 ? int(i) : 10;
    s.VoltsIndex2 = r.integer("OSZI", "DIV2", "10", i) && i >= 1 && i <= 14 ? int(i) : 10;
    s.TimebaseIndex = r.integer("OSZI", "TB", "5", i) && i >= 1 && i <= 9 ? int(i) : 5;
    s.Ground1 = r.boolean("OSZI", "GND1", false);
    s.Ground2 = r.boolean("OSZI", "GND2", false);
    s.RisingSlope = r.boolean("OSZI", "TRIPOS", true);
    s.TriggerOnCh1 = r.boolean("OSZI", "TRICH1", true);
    if (r.real("OSZI", "yposCh1", "6.02", d))
        s.Position1 = float(d);
    if (r.real("OSZI", "yposCh2", "2.0", d))
        s.Position2 = float(d);
    s.SampleRate = r.int32("OSZI", "SAMPLEF", 44100);
    s.SamplesPerSweep = r.int32("OSZI", "OMESSW", 1024);
    WindowGeometry &g = ms.ScopeGeometry;
    g.Width = r.int32("OSZI", "WIDTH", 260);
    g.Height = r.int32("OSZI", "HEIGHT", -1);
    g.Left = r.int32("OSZI", "LEFT", -1);
    g.Top = r.int32("OSZI", "TOP", -1);
}

void SaveSettings(platform::IniFile &ini, const MeasurementState &ms, const MainWindowFields &fields,
                  SettingsHooks &hooks)
{
    auto integer = [&](const char *sec, const char *key, long long v) {
        ini.set(sec, key, std::to_string(v));
    };
    auto real = [&](const char *sec, const char *key, double v, int decimals) {
        ini.set(sec, key, platform::FormatFixed(v, decimals));
    };
    auto boolean = [&](const char *sec, const char *key, bool b) { ini.set(sec, key, boolText(b)); };

    integer("MAIN", "PAGE", fields.ActivePage);
    integer("MAIN", "INDEV", hooks.InputDevice());
    integer("MAIN", "OUTDEV", hooks.OutputDevice());
    // The names only where a device has one: a stale name must not outvote
    // the number, and files of earlier versions stay as they were.
    for (const auto &[key, name] : {std::pair<const char *, std::string>{"INDEVNAME", hooks.InputDeviceName()},
                                    std::pair<const char *, std::string>{"OUTDEVNAME", hooks.OutputDeviceName()}}) {
        if (!name.empty())
            ini.set("MAIN", key, name);
        else
            while (ini.has("MAIN", key))
                ini.remove("MAIN", key);
    }
    ini.set("MAIN", "SPRACHE", ms.Language ? std::string(1, ms.Language) : std::string());
    // Names are written whole: one cut short would name another file.
    ini.set("MAIN", "INCONAME", hooks.InputCorrectionName());
    ini.set("MAIN", "OUTCONAME", hooks.OutputCorrectionName());
    boolean("MAIN", "INCOAKT", hooks.InputCorrectionActive());
    boolean("MAIN", "OUTCOAKT", hooks.OutputCorrectionActive());

    real("EICH", "INPUT", ms.InputCalibration, 1);
    real("EICH", "OUTPUT", ms.OutputCalibration, 1);
    integer("EICH", "InLev4Cal", ms.CalibratedInputVolume);

    integer("VOLUME", "FGVOLUME", fields.OutputVolume);
    integer("VOLUME", "FGINVOLUME", fields.InputVolume);
    real("VOLUME", "PEGFAK", ms.LevelFactor, 4);
    real("VOLUME", "PEGOFS", ms.LevelOffset, 4);
    integer("VOLUME", "AUDIOINCHANNEL", fields.InputChannel);

    integer("FFT", "WIN", ms.FftWindow);
    integer("FFT", "SAMPLES", ms.FftSize);
    integer("FFT", "AVERAGE", ms.Averages);
    ini.set("FFT", "COMMENT", cut(ms.AnalyserComment, MaxCommentLength));
    real("FFT", "DIAYMIN", ms.AnalyserRange.LevelMin, 0);
    real("FFT", "DIAYMAX", ms.AnalyserRange.LevelMax, 0);
    integer("FFT", "DBMODE", ms.LevelUnit);
    integer("FFT", "DIAXMIN", ms.AnalyserRange.FreqMin);
    integer("FFT", "DIAXMAX", ms.AnalyserRange.FreqMax);

    const SweepSettings &w = ms.Sweep;
    integer("WOB", "FROM", w.FreqFrom);
    integer("WOB", "TO", w.FreqTo);
    integer("WOB", "STEPS", w.Steps);
    ini.set("WOB", "METHODE", w.Linear ? "LIN" : "LOG");
    boolean("WOB", "PHASE", w.PhaseOn);
    ini.set("WOB", "COMMENT", cut(w.Title, MaxCommentLength));
    integer("WOB", "REFMESS", w.Mode);
    real("WOB", "DIAYMIN", w.YMin, 0);
    real("WOB", "DIAYMAX", w.YMax, 0);
    real("WOB", "PMIN", w.PhaseMin, 0);
    real("WOB", "PMAX", w.PhaseMax, 0);
    real("WOB", "PEGDIG", w.LevelDig, 1);
    integer("WOB", "STARTMESS", w.SettleMs);

    const LogSweepSettings &g = w.Log;
    ini.set("LOGSWEEP", "METHOD", g.Method == SweepMethod::LogSweep     ? "LOGSWEEP"
                                  : g.Method == SweepMethod::Distortion ? "DISTORTION"
                                                                        : "STEPPED");
    real("LOGSWEEP", "SECONDS", g.Seconds, 3);
    integer("LOGSWEEP", "AVERAGES", g.Averages);
    real("LOGSWEEP", "WINDOWMS", g.WindowMs, 1);
    integer("LOGSWEEP", "SMOOTHING", g.Smoothing);
    boolean("LOGSWEEP", "HARMONICS", g.Harmonics);

    const DistortionSweepSettings &dist = w.Dist;
    ini.set("DISTSWEEP", "VS",
            dist.Vs == DistortionAxis::Level ? "LEVEL" : dist.Vs == DistortionAxis::Imd ? "IMD" : "FREQUENCY");
    integer("DISTSWEEP", "FROMHZ", dist.FromHz);
    integer("DISTSWEEP", "TOHZ", dist.ToHz);
    integer("DISTSWEEP", "STEPS", dist.Steps);
    integer("DISTSWEEP", "LEVEL", dist.LevelDb);
    real("DISTSWEEP", "FREQUENCY", dist.FrequencyHz, 2);
    integer("DISTSWEEP", "FROMDB", dist.FromDb);
    integer("DISTSWEEP", "TODB", dist.ToDb);
    integer("DISTSWEEP", "STEPDB", dist.StepDb);
    integer("DISTSWEEP", "SETTLE", dist.SettleMs);
    boolean("DISTSWEEP", "HARMONICS", dist.Harmonics);
    {
        const char *const units[] = {"DBFS", "DBV", "DBU", "W"};
        ini.set("DISTSWEEP", "UNIT", units[std::clamp(static_cast<int>(dist.Unit), 0, 3)]);
    }
    real("DISTSWEEP", "LOAD", dist.LoadOhms, 3);

    const ScopeState &s = ms.Scope;
    integer("OSZI", "DIV1", s.VoltsIndex1);
    integer("OSZI", "DIV2", s.VoltsIndex2);
    integer("OSZI", "TB", s.TimebaseIndex);
    boolean("OSZI", "GND1", s.Ground1);
    boolean("OSZI", "GND2", s.Ground2);
    boolean("OSZI", "TRIPOS", s.RisingSlope);
    boolean("OSZI", "TRICH1", s.TriggerOnCh1);
    real("OSZI", "yposCh1", s.Position1, 3);
    real("OSZI", "yposCh2", s.Position2, 3);
    integer("OSZI", "SAMPLEF", s.SampleRate);
    integer("OSZI", "OMESSW", s.SamplesPerSweep);
    WindowGeometry sg = hooks.ScopeWindowGeometry();
    integer("OSZI", "WIDTH", sg.Width);
    integer("OSZI", "HEIGHT", sg.Height);
    integer("OSZI", "LEFT", sg.Left);
    integer("OSZI", "TOP", sg.Top);

    real("NOISE", "REFERENCE", ms.Noise.ReferenceDbfs, 2);
    integer("NOISE", "LEFT", ms.Noise.Left);
    integer("NOISE", "TOP", ms.Noise.Top);

    WindowGeometry dg = hooks.DiagramWindowGeometry();
    integer("DIAGRAMM", "WIDTH", dg.Width);
    integer("DIAGRAMM", "HEIGHT", dg.Height);
    integer("DIAGRAMM", "LEFT", dg.Left);
    integer("DIAGRAMM", "TOP", dg.Top);

    std::int32_t left = 0, top = 0;
    hooks.MainWindowPosition(left, top);
    integer("MAIN", "LEFT", left);
    integer("MAIN", "TOP", top);
}

WindowGeometry ClampDiagramGeometry(WindowGeometry g)
{
    g.Width = std::clamp(g.Width, 180, 1024);
    g.Height = std::clamp(g.Height, 140, 768);
    return g;
}

} // namespace app
