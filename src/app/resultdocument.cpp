// The result on the screen as a measurement document (see resultdocument.h).
// Column and curve names follow the command line's documents of the same
// kind, so a result taken in either program reads the same.
#include "app/resultdocument.h"

#include "audio/devices.h"
#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "display/diagramwindow.h"
#include "dsp/fft.h"
#include "dsp/sweep.h"
#include "platform/textfile.h"
#include "settings/measurementstate.h"
#include "settings/sweepsettings.h"

#include <QCryptographicHash>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace app {

namespace {

constexpr int kAnalyserPage = 0;
constexpr int kSweepPage = 1;
const char *const kUnitNames[4] = {"dBFS", "dBV", "dBu", "dBm"};

// A float as the double of its shortest decimal text, so the file says
// "10.809413", not the float's binary expansion "10.809412956237793".
double Decimal(float v)
{
    if (!std::isfinite(v))
        return std::nan("");
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text - 1, v);
    *r.ptr = '\0';
    double d = 0.0;
    std::from_chars(text, r.ptr, d);
    return d;
}

measure::DeviceSetting Device(char kind, int number, int rate, int bits)
{
    measure::DeviceSetting d;
    d.Device = audio::DeviceName(kind, number);
    d.Number = number;
    d.RateHz = rate;
    d.Bits = bits;
    return d;
}

std::optional<measure::CorrectionSetting> Correction(const dsp::CorrectionCurve &curve)
{
    if (curve.fileName().empty())
        return std::nullopt;
    measure::CorrectionSetting c;
    c.File = curve.fileName();
    c.Sha256 = measure::FileSha256(curve.fileName());
    c.Active = curve.active();
    return c;
}

void FillSettings(measure::MeasurementKind kind, measure::MeasurementSettings &s)
{
    measure::StampProgram(s, "sonalyx");
    int rateIn = 0, rateOut = 0, bitsIn = 0, bitsOut = 0;
    audio::GetRates(rateIn, rateOut);
    audio::GetBits(bitsIn, bitsOut);
    s.Input = Device('I', audio::GetInputDevice(), rateIn, bitsIn);
    s.Output = Device('O', audio::GetOutputDevice(), rateOut, bitsOut);
    measure::CalibrationSetting cal;
    cal.InputMvFullScale = Decimal(MS.InputCalibration);
    cal.LevelFactor = Decimal(MS.LevelFactor);
    cal.LevelOffsetDb = Decimal(MS.LevelOffset);
    cal.CalibratedInputVolume = MS.CalibratedInputVolume;
    s.Calibration = cal;
    s.HaveCorrections = true;
    s.InputCorrection = Correction(MS.InputCorrection);
    s.OutputCorrection = Correction(MS.OutputCorrection);
    const SweepSettings &w = MS.Sweep;
    if (kind == measure::MeasurementKind::Spectrum) {
        measure::SpectrumSetting sp;
        sp.FftSize = MS.FftSize;
        sp.Window = dsp::WindowItemText(MS.FftWindow);
        sp.Averages = MS.Averages;
        sp.Unit = kUnitNames[std::min<int>(MS.LevelUnit, 3)];
        s.Spectrum = sp;
    } else if (kind == measure::MeasurementKind::Sweep) {
        measure::SweepSetting sw;
        sw.FromHz = w.FreqFrom;
        sw.ToHz = w.FreqTo;
        sw.Steps = w.Steps;
        sw.Spacing = w.Linear ? "lin" : "log";
        sw.Mode = w.Mode == dsp::kSweepStereo ? "stereo" : w.Mode == 1 ? "right-ref" : "left-ref";
        sw.Phase = w.PhaseOn && w.Mode != dsp::kSweepStereo;
        sw.LevelDb = Decimal(w.LevelDig);
        sw.SettleMs = w.SettleMs;
        sw.OutputMode = audio::GetLoop() ? "loop" : "stream";
        s.Sweep = sw;
    } else if (kind == measure::MeasurementKind::LogSweep) {
        const dsp::LogSweepParameters p = LogSweepParametersOf(w, w.Log);
        measure::LogSweepSetting ls;
        ls.FromHz = p.FromHz;
        ls.ToHz = p.ToHz;
        ls.Seconds = p.Seconds;
        ls.LevelDb = p.LevelDb;
        ls.FadeInOctaves = p.FadeInOctaves;
        ls.FadeOutOctaves = p.FadeOutOctaves;
        ls.TailSeconds = p.TailSeconds;
        ls.Mode = p.Mode == dsp::kSweepStereo ? "stereo" : p.Mode == 1 ? "right-ref" : "left-ref";
        ls.Averages = p.Averages;
        ls.Harmonics = w.Log.Harmonics ? p.Harmonics : 1;
        ls.WindowMs = p.WindowMs;
        ls.Smoothing = p.Smoothing;
        ls.PointsPerOctave = p.PointsPerOctave;
        s.LogSweep = ls;
    }
}

} // namespace

void FillResultSettings(measure::MeasurementKind kind, measure::MeasurementSettings &settings)
{
    FillSettings(kind, settings);
}

std::optional<measure::MeasurementKind> PageResultKind(int page)
{
    if (page == kAnalyserPage)
        return measure::MeasurementKind::Spectrum;
    if (page == kSweepPage)
        return MS.Sweep.Log.Method == SweepMethod::LogSweep ? measure::MeasurementKind::LogSweep
                                                            : measure::MeasurementKind::Sweep;
    return std::nullopt;
}

bool BuildResultDocument(const TDiagramm &diagram, measure::MeasurementKind kind, const std::string &remark,
                         measure::MeasurementDocument &document)
{
    const display::DiagramCurves &curves = diagram.Curves();
    const int count = std::clamp(diagram.Axes().PointCount, 0, display::kMaxPoints);
    if (!curves.IsAllocated())
        return false;
    const display::DiagramOptions &o = diagram.Options();
    const bool stereoSweep = MS.Sweep.Mode == dsp::kSweepStereo;
    // The second curve is the phase on the sweep page unless it runs stereo.
    const bool phase = kind != measure::MeasurementKind::Spectrum && !stereoSweep && o.ShowK2;

    measure::MeasurementDocument doc;
    doc.Kind = kind;
    doc.Title = diagram.GetTitle().toStdString();
    doc.Remark = remark;
    FillSettings(kind, doc.Settings);
    measure::ResultTable &t = doc.Results;
    const std::size_t fCol = t.AddNumberColumn("frequency_hz");
    std::size_t c1 = 0, c2 = 0;
    const bool first = o.ShowK1, second = o.ShowK2;
    if (kind == measure::MeasurementKind::Spectrum) {
        const std::string unit = kUnitNames[std::min<int>(MS.LevelUnit, 3)];
        if (first) {
            c1 = t.AddNumberColumn("left_" + unit);
            doc.Curves.push_back({"left", "level", "left", 0, "frequency_hz", "Hz", "left_" + unit, unit, ""});
        }
        if (second) {
            c2 = t.AddNumberColumn("right_" + unit);
            doc.Curves.push_back({"right", "level", "right", 0, "frequency_hz", "Hz", "right_" + unit, unit, ""});
        }
    } else if (stereoSweep) {
        // Stereo: the first curve is the right channel, the second the left,
        // as the command line's columns have them.
        if (first) {
            c1 = t.AddNumberColumn("right_db");
            doc.Curves.push_back({"right", "level", "right", 0, "frequency_hz", "Hz", "right_db", "dB", ""});
        }
        if (second) {
            c2 = t.AddNumberColumn("left_db");
            doc.Curves.push_back({"left", "level", "left", 0, "frequency_hz", "Hz", "left_db", "dB", ""});
        }
    } else {
        c1 = t.AddNumberColumn("level_db");
        if (phase)
            c2 = t.AddNumberColumn("phase_deg");
        doc.Curves.push_back({"level", "level", "", 0, "frequency_hz", "Hz", "level_db", "dB", phase ? "phase_deg" : ""});
    }
    const bool takeFirst = first || (!stereoSweep && kind != measure::MeasurementKind::Spectrum);
    for (int i = 0; i < count; ++i) {
        const double f = Decimal(curves.Freq()[i]);
        if (!(f > 0.0))
            continue;
        const std::size_t row = t.AddRow();
        t.Set(row, fCol, f);
        if (takeFirst)
            t.Set(row, c1, Decimal(curves.Curve1()[i]));
        if (second || phase)
            t.Set(row, c2, Decimal(curves.Curve2()[i]));
    }
    if (t.Rows == 0 || doc.Curves.empty())
        return false;
    document = std::move(doc);
    return true;
}

} // namespace app
