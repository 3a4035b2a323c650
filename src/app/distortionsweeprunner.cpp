// The distortion sweep on the sweep page (see distortionsweeprunner.h).
#include "app/distortionsweeprunner.h"

#include "app/forms.h"
#include "audio/audioengine.h"
#include "display/diagramwindow.h"
#include "dsp/analysis.h"
#include "dsp/fft.h"
#include "dsp/sweep.h"
#include "generator/wavegen.h"
#include "measurement/blockwait.h"
#include "measurement/distortionsweeptext.h"
#include "measurement/levelunits.h"
#include "platform/textfile.h"
#include "settings/measurementstate.h"
#include "widgets/messagebox.h"

#include <QFile>
#include <QLabel>
#include <algorithm>
#include <cmath>

namespace app {

namespace {

constexpr int kFftSize = 16384;
// The level axis while a distortion result is shown: harmonics of a good
// device lie far below 0 dB.
constexpr float kAxisTopDb = 0.0f, kAxisBottomDb = -140.0f;

struct CurveStyle {
    const char *Name;
    std::uint32_t Colour; // 0x00BBGGRR
};
constexpr CurveStyle kThdnStyle = {"THD+N", 0x000000}, kThdStyle = {"THD", 0x0000C0},
                     kH2Style = {"H2", 0x800080}, kH3Style = {"H3", 0x0080FF};
constexpr CurveStyle kImdStyle = {"IMD", 0x000000}, kD2Style = {"d2", 0x000000}, kD3Style = {"d3", 0x0000C0};

double Finite(double db, bool measured) { return measured ? db : std::nan(""); }

// The power axis's unit: the largest of W, mW, µW, nW, pW in which the
// smallest power is at least 1 (the diagram's axis runs over whole units).
struct PowerPrefix {
    double Scale;
    const char *Unit;
};
PowerPrefix PowerPrefixFor(double smallestWatts)
{
    static constexpr PowerPrefix kPrefixes[] = {
        {1.0, "W"}, {1e3, "mW"}, {1e6, "\u00b5W"}, {1e9, "nW"}, {1e12, "pW"}};
    for (const PowerPrefix &p : kPrefixes)
        if (smallestWatts * p.Scale >= 1.0)
            return p;
    return kPrefixes[4];
}

} // namespace

DistortionSweepRunner::DistortionSweepRunner(QWidget *host, QLabel *frequency, QLabel *progress)
    : QObject(host), host_(host), frequency_(frequency), progress_(progress)
{
    setObjectName("DistortionSweepRunner");
}

measure::DistortionSweepSetup DistortionSweepRunner::SetupOf(const SweepSettings &w, int rate,
                                                             const dsp::TwoToneSetup &twoTone)
{
    const DistortionSweepSettings &d = w.Dist;
    measure::DistortionSweepSetup s;
    s.Kind = d.Vs == DistortionAxis::Level ? measure::DistortionSweepKind::Level
             : d.Vs == DistortionAxis::Imd ? measure::DistortionSweepKind::Imd
                                           : measure::DistortionSweepKind::Frequency;
    s.TwoTone = twoTone;
    s.FromHz = d.FromHz;
    s.ToHz = d.ToHz;
    s.Steps = d.Steps;
    s.Linear = w.Linear;
    s.LevelDb = d.LevelDb;
    s.FrequencyHz = d.FrequencyHz;
    s.FromDb = d.FromDb;
    s.ToDb = d.ToDb;
    s.StepDb = d.StepDb;
    s.SettleMs = d.SettleMs;
    s.Averages = 1;
    s.Spectrum.FftSize = kFftSize;
    s.Spectrum.Window = dsp::kWindowRifeVincent3;
    s.Spectrum.Averages = 1;
    // The measured channel: the right input with the left as reference, the
    // left with the right, both in stereo.
    s.Spectrum.Left = w.Mode != 0;
    s.Spectrum.Right = w.Mode != 1;
    s.Band.lowHz = 20.0;
    dsp::AnalysisSettings a = dsp::UnitAnalysis().settings();
    a.sampleRate = rate;
    const double edge = dsp::Aes17UpperHz(a);
    s.Band.limit = edge >= 40000.0 ? dsp::BandLimit::Aes17_40k
                   : edge > 0.0    ? dsp::BandLimit::Aes17_20k
                                   : dsp::BandLimit::HalfRate;
    return s;
}

void DistortionSweepRunner::Stop()
{
    if (running_)
        measure::RequestInterrupt();
}

void DistortionSweepRunner::Run()
{
    const bool de = MS.Language == 'D';
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    const measure::DistortionSweepSetup setup =
        SetupOf(MS.Sweep, rateIn, Wavegen ? Wavegen->TwoTone() : dsp::DefaultTwoTone(dsp::TwoToneStandard::Smpte));
    const QString failed = de ? QStringLiteral("Verzerrungs-Sweep nicht m\u00f6glich: ")
                              : QStringLiteral("Distortion sweep not possible: ");
    // An axis in volts or watts needs the output calibration to take the
    // generator's level through.
    const DistortionSweepSettings &dist = MS.Sweep.Dist;
    const int unit = static_cast<int>(dist.Unit);
    if (setup.Kind != measure::DistortionSweepKind::Frequency && unit != display::OutputUnitDbFS &&
        !display::CalibrationUsable(MS.OutputCalibration)) {
        const QString name = QString::fromUtf8(display::OutputLevelUnitName(unit));
        platform::ShowMessage(
            host_, platform::MessageKind::Warning,
            failed + (de ? QStringLiteral("die Pegelachse in %1 braucht die Ausgangskalibrierung (mV bei "
                                          "Vollaussteuerung); bitte kalibrieren oder dBFS w\u00e4hlen")
                         : QStringLiteral("the level axis in %1 needs the output calibration (mV at full "
                                          "scale); calibrate first or choose dBFS"))
                         .arg(name));
        emit finished();
        return;
    }
    if (const std::string problem = measure::DistortionSweep::Validate(setup, rateIn, rateOut); !problem.empty()) {
        platform::ShowMessage(host_, platform::MessageKind::Warning, failed + QString::fromStdString(problem));
        emit finished();
        return;
    }
    pending_.clear();
    sweep_.OnStep = [this, &setup](int step, int steps) {
        const double f = measure::DistortionSweep::StepFrequency(setup, step);
        frequency_->setText(setup.Kind != measure::DistortionSweepKind::Frequency
                                ? QString::number(measure::DistortionSweep::StepLevel(setup, step)) + " dBFS"
                                : QString::number(f, 'f', 1));
        progress_->setText(QStringLiteral("Step ") + QString::number(step + 1) + "/" + QString::number(steps));
    };
    sweep_.OnPoint = [this](const measure::DistortionStep &p) { pending_.push_back(p); };
    measure::ClearInterrupt();
    running_ = true;
    const measure::DistortionSweep::Outcome outcome = sweep_.Run(setup);
    running_ = false;
    measure::ClearInterrupt();
    switch (outcome) {
    case measure::DistortionSweep::Outcome::Done:
        result_ = std::move(pending_);
        kind_ = setup.Kind;
        ccif_ = setup.TwoTone.standard == dsp::TwoToneStandard::Ccif;
        unit_ = setup.Kind == measure::DistortionSweepKind::Frequency ? display::OutputUnitDbFS : unit;
        calibrationMv_ = MS.OutputCalibration;
        loadOhms_ = dist.LoadOhms;
        channels_[0] = setup.Spectrum.Left;
        channels_[1] = setup.Spectrum.Right;
        progress_->setText(QString());
        ShowInDiagram();
        break;
    case measure::DistortionSweep::Outcome::Interrupted:
        progress_->setText(QStringLiteral("STOP"));
        break;
    case measure::DistortionSweep::Outcome::Failed:
        progress_->setText(QString());
        platform::ShowMessage(host_, platform::MessageKind::Error,
                              (de ? QStringLiteral("Verzerrungs-Sweep fehlgeschlagen: ")
                                  : QStringLiteral("Distortion sweep failed: ")) +
                                  QString::fromStdString(sweep_.Error()),
                              true, 17);
        break;
    }
    pending_.clear();
    emit finished();
}

double DistortionSweepRunner::LevelInUnit(std::int32_t levelDb) const
{
    return display::OutputLevelInUnit(levelDb, unit_, calibrationMv_, loadOhms_);
}

void DistortionSweepRunner::ShowInDiagram()
{
    TDiagramm *d = Diagramm;
    if (!d || result_.empty())
        return;
    const bool de = MS.Language == 'D';
    const bool level = kind_ != measure::DistortionSweepKind::Frequency;
    const bool imd = kind_ == measure::DistortionSweepKind::Imd;
    const bool watts = level && unit_ == display::OutputUnitW;
    const int count = static_cast<int>(result_.size());
    // The x of each step: the frequency, or the output level in the unit
    // (a power in the prefix that keeps the smallest at 1 or more).
    PowerPrefix prefix{1.0, "W"};
    if (watts) {
        double smallest = HUGE_VAL;
        for (const measure::DistortionStep &p : result_)
            smallest = std::min(smallest, LevelInUnit(p.LevelDb));
        prefix = PowerPrefixFor(smallest);
    }
    std::vector<double> xs;
    for (const measure::DistortionStep &p : result_) {
        double x = !level ? p.FrequencyHz : LevelInUnit(p.LevelDb) * prefix.Scale;
        // A value a rounding error off a whole unit (1250.0000001 µW) is that
        // unit: the axis ends there instead of one unit further.
        if (const double whole = std::round(x); std::abs(x - whole) <= 1e-9 * std::max(1.0, std::abs(x)))
            x = whole;
        xs.push_back(x);
    }
    const auto [lo, hi] = std::minmax_element(xs.begin(), xs.end());
    std::int32_t from = static_cast<std::int32_t>(std::floor(*lo));
    std::int32_t to = std::max(static_cast<std::int32_t>(std::ceil(*hi)), from + 1);
    if (watts)
        from = std::max<std::int32_t>(from, 1);
    d->ClearCurves();
    // Levels in dB on a linear axis; powers on the options' (log) axis.
    d->SetLinearX(level && !watts);
    float ymin = kAxisBottomDb, ymax = kAxisTopDb;
    const QString title = d->GetTitle();
    if (d->SetupDiagram(title, count, from, to, ymin, ymax)) {
        platform::ShowMessage(host_, platform::MessageKind::Warning, QStringLiteral("Diagram Error"));
        return;
    }
    d->SetXRange(from, to);
    d->SetYRange(kAxisTopDb, kAxisBottomDb);
    d->SetCurvesVisible(false, false);
    d->SetAxesVisible(true, false);
    d->SetYCaption(!imd ? QStringLiteral("THD+N, THD [dB]") : ccif_ ? QStringLiteral("d2, d3 [dB]")
                                                                    : QStringLiteral("IMD [dB]"));
    if (!level)
        d->SetXCaption(QStringLiteral("Frequency [Hz]"));
    else if (watts)
        d->SetXCaption((de ? QStringLiteral("Leistung [") : QStringLiteral("Power [")) +
                       QString::fromUtf8(prefix.Unit) + "]");
    else
        d->SetXCaption((de ? QStringLiteral("Pegel [") : QStringLiteral("Level [")) +
                       QString::fromUtf8(display::OutputLevelUnitName(unit_)) + "]");

    std::vector<display::ExtraCurve> extra;
    const bool both = channels_[0] && channels_[1];
    for (int c = 0; c < 2; ++c) {
        if (!channels_[c])
            continue;
        const std::string suffix = both ? (c == 0 ? " L" : " R") : std::string();
        auto add = [&](const CurveStyle &style, auto value) {
            display::ExtraCurve curve;
            curve.Name = style.Name + suffix;
            curve.Colour = style.Colour;
            for (std::size_t i = 0; i < result_.size(); ++i) {
                curve.FrequencyHz.push_back(xs[i]);
                curve.Values.push_back(value(result_[i]));
            }
            extra.push_back(std::move(curve));
        };
        if (imd) {
            auto ok = [c](const measure::DistortionStep &p) { return p.Imd[c].status == dsp::DistortionStatus::Ok; };
            if (ccif_) {
                add(kD2Style, [&](const measure::DistortionStep &p) { return Finite(p.Imd[c].d2Db, ok(p)); });
                add(kD3Style, [&](const measure::DistortionStep &p) { return Finite(p.Imd[c].d3Db, ok(p)); });
            } else {
                add(kImdStyle, [&](const measure::DistortionStep &p) { return Finite(p.Imd[c].imdDb, ok(p)); });
            }
            continue;
        }
        auto ok = [](const dsp::HarmonicReading &h) { return h.status == dsp::DistortionStatus::Ok; };
        add(kThdnStyle, [&](const measure::DistortionStep &p) {
            return Finite(p.Harmonics[c].thdnDb, ok(p.Harmonics[c]));
        });
        add(kThdStyle, [&](const measure::DistortionStep &p) {
            return Finite(p.Harmonics[c].thdDb, ok(p.Harmonics[c]));
        });
        if (MS.Sweep.Dist.Harmonics) {
            for (int k : {2, 3}) {
                add(k == 2 ? kH2Style : kH3Style, [&](const measure::DistortionStep &p) {
                    const dsp::HarmonicReading &h = p.Harmonics[c];
                    return Finite(h.harmonic(k).levelDb,
                                  ok(h) && h.harmonic(k).state == dsp::ComponentState::Measured);
                });
            }
        }
    }
    d->SetExtraCurves(std::move(extra));
    d->update();
}

void DistortionSweepRunner::ReleaseDiagram()
{
    TDiagramm *d = Diagramm;
    if (!d)
        return;
    d->SetLinearX(false);
    d->SetYCaption(QStringLiteral("Level [dB]"));
    d->SetXCaption(QStringLiteral("Frequency [Hz]"));
}

int DistortionSweepRunner::SaveText(const QString &fileName) const
{
    if (result_.empty())
        return -1;
    measure::DistortionTextSetup text;
    text.Kind = kind_;
    text.Ccif = ccif_;
    text.Unit = unit_;
    text.OutputCalibrationMv = calibrationMv_;
    text.LoadOhms = loadOhms_;
    return platform::WriteTextFile(QFile::encodeName(fileName).toStdString(),
                                   measure::DistortionSweepText(result_, channels_, text));
}

} // namespace app
