// The settings of a result document (see measurementsettings.h).
#include "measurement/document/measurementsettings.h"

#include "measurement/document/jsonfields.h"
#include "platform/textfile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonValue>

#ifndef SONALYX_VERSION
#define SONALYX_VERSION "unknown"
#endif

namespace measure {

namespace {

QString Q(const std::string &s) { return QString::fromStdString(s); }

// Reads the object under `key` of `parent` with `read` when it is there;
// its unknown keys go to extra[key].
template <class T, class Read>
bool ReadSection(JsonFields &parent, const char *key, std::optional<T> &out, QJsonObject &extra, FileError &error,
                 Read read)
{
    if (!parent.Has(key))
        return true;
    QJsonObject o;
    if (!parent.Object(key, o))
        return false;
    JsonFields f(o, parent.Path(key), error);
    T value;
    if (!read(f, value))
        return false;
    out = std::move(value);
    if (!f.Rest.isEmpty())
        extra.insert(QLatin1String(key), f.Rest);
    return true;
}

bool ReadDevice(JsonFields &f, DeviceSetting &d)
{
    return f.Text("device", d.Device) && f.Int("number", d.Number) && f.Int("rate_hz", d.RateHz) &&
           f.Int("bits", d.Bits);
}

bool ReadCalibration(JsonFields &f, CalibrationSetting &c)
{
    return f.Number("input_mv_full_scale", c.InputMvFullScale) && f.Number("level_factor", c.LevelFactor) &&
           f.Number("level_offset_db", c.LevelOffsetDb) && f.Int("calibrated_input_volume", c.CalibratedInputVolume);
}

bool ReadCorrection(JsonFields &f, CorrectionSetting &c)
{
    return f.Text("file", c.File) && f.Text("sha256", c.Sha256) && f.Bool("active", c.Active);
}

bool ReadSpectrum(JsonFields &f, SpectrumSetting &s)
{
    return f.Int("fft_size", s.FftSize) && f.Text("window", s.Window) && f.Int("averages", s.Averages) &&
           f.Text("unit", s.Unit) && f.Number("unit_shift_db", s.UnitShiftDb) && f.Int("overloads", s.Overloads);
}

bool ReadAnalysis(JsonFields &f, AnalysisSetting &a)
{
    if (!f.Int("low_hz", a.LowHz) || !f.Int("high_hz", a.HighHz) || !f.Text("filter", a.Filter) ||
        !f.OptionalText("filter_file", a.FilterFile) || !f.OptionalText("filter_sha256", a.FilterSha256))
        return false;
    a.ThdN = f.Has("fundamental") || f.Has("threshold_db");
    if (!a.ThdN)
        return true;
    if (!f.Has("fundamental"))
        return f.Missing("fundamental");
    const QJsonValue v = f.Rest.value(QLatin1String("fundamental"));
    if (v.isString() && v.toString() == QLatin1String("auto")) {
        a.FundamentalAuto = true;
        f.Rest.remove(QLatin1String("fundamental"));
    } else if (v.isDouble()) {
        if (!f.Int("fundamental", a.FundamentalHz))
            return f.Fail("fundamental", Expected::AutoOrWholeNumber);
    } else {
        return f.Fail("fundamental", Expected::AutoOrWholeNumber);
    }
    return f.Number("threshold_db", a.ThresholdDb);
}

bool ReadGenerator(JsonFields &f, GeneratorSetting &g)
{
    return f.Text("wave", g.Wave) && f.Number("frequency_hz", g.FrequencyHz) && f.Number("level_db", g.LevelDb) &&
           f.Number("phase_left_deg", g.PhaseLeftDeg) && f.Number("phase_right_deg", g.PhaseRightDeg) &&
           f.Bool("loop", g.Loop);
}

bool ReadSweep(JsonFields &f, SweepSetting &s)
{
    return f.Number("from_hz", s.FromHz) && f.Number("to_hz", s.ToHz) && f.Int("steps", s.Steps) &&
           f.Text("spacing", s.Spacing) && f.Text("mode", s.Mode) && f.Bool("phase", s.Phase) &&
           f.Number("level_db", s.LevelDb) && f.Int("settle_ms", s.SettleMs) && f.Text("output_mode", s.OutputMode);
}

bool ReadLogSweep(JsonFields &f, LogSweepSetting &s)
{
    return f.Number("from_hz", s.FromHz) && f.Number("to_hz", s.ToHz) && f.Number("seconds", s.Seconds) &&
           f.Number("level_db", s.LevelDb) && f.Number("fade_in_octaves", s.FadeInOctaves) &&
           f.Number("fade_out_octaves", s.FadeOutOctaves) && f.Number("tail_s", s.TailSeconds) &&
           f.Text("mode", s.Mode) && f.Int("averages", s.Averages) && f.Int("harmonics", s.Harmonics) &&
           f.Number("window_ms", s.WindowMs) && f.Int("smoothing", s.Smoothing) &&
           f.Int("points_per_octave", s.PointsPerOctave);
}

bool ReadDistortion(JsonFields &f, DistortionSetting &d)
{
    if (!f.Text("over", d.Over))
        return false;
    if (d.Over != "frequency" && d.Over != "level")
        return f.Fail("over", Expected::OverAxis);
    return f.Number("from", d.From) && f.Number("to", d.To) && f.Int("steps", d.Steps) &&
           f.Text("spacing", d.Spacing) && f.Number("frequency_hz", d.FrequencyHz) &&
           f.Number("level_db", d.LevelDb) && f.Int("settle_ms", d.SettleMs) &&
           f.Number("band_low_hz", d.BandLowHz) && f.Number("band_high_hz", d.BandHighHz) &&
           f.Text("weighting", d.Weighting);
}

// "input"/"output" under "corrections": null, or a correction.
bool ReadCorrectionSlot(JsonFields &corrections, const char *key, std::optional<CorrectionSetting> &out,
                        QJsonObject &extra, FileError &error)
{
    if (!corrections.Has(key))
        return corrections.Missing(key);
    if (corrections.Rest.value(QLatin1String(key)).isNull()) {
        corrections.Rest.remove(QLatin1String(key));
        return true;
    }
    if (!corrections.Rest.value(QLatin1String(key)).isObject())
        return corrections.Fail(key, Expected::ObjectOrNull);
    return ReadSection(corrections, key, out, extra, error, ReadCorrection);
}

QJsonObject Merged(const QJsonObject &extra, const char *key, std::initializer_list<std::pair<const char *, QJsonValue>> values)
{
    QJsonObject o = extra.value(QLatin1String(key)).toObject();
    for (const auto &[k, v] : values)
        o.insert(QLatin1String(k), v);
    return o;
}

QJsonValue CorrectionJson(const std::optional<CorrectionSetting> &c, const QJsonObject &extra, const char *key)
{
    if (!c)
        return QJsonValue(QJsonValue::Null);
    return Merged(extra, key, {{"file", Q(c->File)}, {"sha256", Q(c->Sha256)}, {"active", c->Active}});
}

} // namespace

std::string FileSha256(const std::string &fileName)
{
    std::string bytes;
    if (platform::ReadTextFile(fileName, platform::kDataFileLimit, bytes) != 0)
        return {};
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

void StampProgram(MeasurementSettings &settings, const std::string &program)
{
    settings.Program = program;
    settings.Version = SONALYX_VERSION;
    settings.Time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
}

QJsonObject SettingsToJson(const MeasurementSettings &s)
{
    const QJsonObject &x = s.Extra;
    QJsonObject o = x;
    o.insert("program", Q(s.Program));
    o.insert("version", Q(s.Version));
    o.insert("time", Q(s.Time));
    if (s.Command)
        o.insert("command", Q(*s.Command));
    o.insert("settings_file", s.SettingsFile ? QJsonValue(Q(*s.SettingsFile)) : QJsonValue(QJsonValue::Null));
    for (const auto &[key, device] : {std::pair{"input", &s.Input}, std::pair{"output", &s.Output}})
        if (*device)
            o.insert(key, Merged(x, key, {{"device", Q((*device)->Device)}, {"number", (*device)->Number},
                                          {"rate_hz", (*device)->RateHz}, {"bits", (*device)->Bits}}));
    if (const auto &c = s.Calibration)
        o.insert("calibration", Merged(x, "calibration", {{"input_mv_full_scale", c->InputMvFullScale},
                                                         {"level_factor", c->LevelFactor},
                                                         {"level_offset_db", c->LevelOffsetDb},
                                                         {"calibrated_input_volume", c->CalibratedInputVolume}}));
    if (s.HaveCorrections) {
        const QJsonObject cx = x.value("corrections").toObject();
        o.insert("corrections", Merged(x, "corrections", {{"input", CorrectionJson(s.InputCorrection, cx, "input")},
                                                         {"output", CorrectionJson(s.OutputCorrection, cx, "output")}}));
    }
    if (const auto &p = s.Spectrum)
        o.insert("spectrum", Merged(x, "spectrum", {{"fft_size", p->FftSize}, {"window", Q(p->Window)},
                                                   {"averages", p->Averages}, {"unit", Q(p->Unit)},
                                                   {"unit_shift_db", p->UnitShiftDb}, {"overloads", p->Overloads}}));
    if (const auto &a = s.Analysis) {
        QJsonObject ao = Merged(x, "analysis", {{"low_hz", a->LowHz}, {"high_hz", a->HighHz}, {"filter", Q(a->Filter)}});
        if (!a->FilterFile.empty() || !a->FilterSha256.empty()) {
            ao.insert("filter_file", Q(a->FilterFile));
            ao.insert("filter_sha256", Q(a->FilterSha256));
        }
        if (a->ThdN) {
            ao.insert("fundamental", a->FundamentalAuto ? QJsonValue("auto") : QJsonValue(a->FundamentalHz));
            ao.insert("threshold_db", a->ThresholdDb);
        }
        o.insert("analysis", ao);
    }
    if (const auto &g = s.Generator)
        o.insert("generator", Merged(x, "generator", {{"wave", Q(g->Wave)}, {"frequency_hz", g->FrequencyHz},
                                                     {"level_db", g->LevelDb}, {"phase_left_deg", g->PhaseLeftDeg},
                                                     {"phase_right_deg", g->PhaseRightDeg}, {"loop", g->Loop}}));
    if (const auto &w = s.Sweep)
        o.insert("sweep", Merged(x, "sweep", {{"from_hz", w->FromHz}, {"to_hz", w->ToHz}, {"steps", w->Steps},
                                             {"spacing", Q(w->Spacing)}, {"mode", Q(w->Mode)}, {"phase", w->Phase},
                                             {"level_db", w->LevelDb}, {"settle_ms", w->SettleMs},
                                             {"output_mode", Q(w->OutputMode)}}));
    if (const auto &l = s.LogSweep)
        o.insert("logsweep", Merged(x, "logsweep", {{"from_hz", l->FromHz}, {"to_hz", l->ToHz},
                                                   {"seconds", l->Seconds}, {"level_db", l->LevelDb},
                                                   {"fade_in_octaves", l->FadeInOctaves},
                                                   {"fade_out_octaves", l->FadeOutOctaves},
                                                   {"tail_s", l->TailSeconds}, {"mode", Q(l->Mode)},
                                                   {"averages", l->Averages}, {"harmonics", l->Harmonics},
                                                   {"window_ms", l->WindowMs}, {"smoothing", l->Smoothing},
                                                   {"points_per_octave", l->PointsPerOctave}}));
    if (const auto &d = s.Distortion)
        o.insert("distortion", Merged(x, "distortion", {{"over", Q(d->Over)}, {"from", d->From}, {"to", d->To},
                                                       {"steps", d->Steps}, {"spacing", Q(d->Spacing)},
                                                       {"frequency_hz", d->FrequencyHz}, {"level_db", d->LevelDb},
                                                       {"settle_ms", d->SettleMs}, {"band_low_hz", d->BandLowHz},
                                                       {"band_high_hz", d->BandHighHz},
                                                       {"weighting", Q(d->Weighting)}}));
    return o;
}

bool SettingsFromJson(const QJsonObject &json, MeasurementSettings &out, FileError &error)
{
    MeasurementSettings s;
    JsonFields f(json, "settings", error);
    QJsonObject &extra = s.Extra;
    if (!f.Text("program", s.Program) || !f.Text("version", s.Version) || !f.Text("time", s.Time))
        return false;
    bool present = false;
    std::string text;
    if (!f.OptionalText("command", text, &present))
        return false;
    if (present)
        s.Command = text;
    if (f.Has("settings_file")) {
        if (f.Rest.value("settings_file").isNull())
            f.Rest.remove("settings_file");
        else if (!f.Text("settings_file", text))
            return f.Fail("settings_file", Expected::TextOrNull);
        else
            s.SettingsFile = text;
    }
    if (!ReadSection(f, "input", s.Input, extra, error, ReadDevice) ||
        !ReadSection(f, "output", s.Output, extra, error, ReadDevice) ||
        !ReadSection(f, "calibration", s.Calibration, extra, error, ReadCalibration) ||
        !ReadSection(f, "spectrum", s.Spectrum, extra, error, ReadSpectrum) ||
        !ReadSection(f, "analysis", s.Analysis, extra, error, ReadAnalysis) ||
        !ReadSection(f, "generator", s.Generator, extra, error, ReadGenerator) ||
        !ReadSection(f, "sweep", s.Sweep, extra, error, ReadSweep) ||
        !ReadSection(f, "logsweep", s.LogSweep, extra, error, ReadLogSweep) ||
        !ReadSection(f, "distortion", s.Distortion, extra, error, ReadDistortion))
        return false;
    if (f.Has("corrections")) {
        QJsonObject o;
        if (!f.Object("corrections", o))
            return false;
        JsonFields c(o, f.Path("corrections"), error);
        QJsonObject cextra;
        if (!ReadCorrectionSlot(c, "input", s.InputCorrection, cextra, error) ||
            !ReadCorrectionSlot(c, "output", s.OutputCorrection, cextra, error))
            return false;
        for (auto it = c.Rest.begin(); it != c.Rest.end(); ++it)
            cextra.insert(it.key(), it.value());
        if (!cextra.isEmpty())
            extra.insert("corrections", cextra);
        s.HaveCorrections = true;
    }
    for (auto it = f.Rest.begin(); it != f.Rest.end(); ++it)
        extra.insert(it.key(), it.value());
    out = std::move(s);
    return true;
}

} // namespace measure
