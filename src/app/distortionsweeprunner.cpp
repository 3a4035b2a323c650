// The distortion sweep on the sweep page (see distortionsweeprunner.h).
#include "app/distortionsweeprunner.h"

#include "app/forms.h"
#include "audio/audioengine.h"
#include "display/diagramwindow.h"
#include "dsp/analysis.h"
#include "dsp/fft.h"
#include "dsp/sweep.h"
#include "measurement/blockwait.h"
#include "measurement/distortionsweeptext.h"
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

double Finite(double db, bool measured) { return measured ? db : std::nan(""); }

} // namespace

DistortionSweepRunner::DistortionSweepRunner(QWidget *host, QLabel *frequency, QLabel *progress)
    : QObject(host), host_(host), frequency_(frequency), progress_(progress)
{
    setObjectName("DistortionSweepRunner");
}

measure::DistortionSweepSetup DistortionSweepRunner::SetupOf(const SweepSettings &w, int rate)
{
    const DistortionSweepSettings &d = w.Dist;
    measure::DistortionSweepSetup s;
    s.Kind = d.Vs == DistortionAxis::Level ? measure::DistortionSweepKind::Level
                                           : measure::DistortionSweepKind::Frequency;
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
    const measure::DistortionSweepSetup setup = SetupOf(MS.Sweep, rateIn);
    const QString failed = de ? QStringLiteral("Verzerrungs-Sweep nicht m\u00f6glich: ")
                              : QStringLiteral("Distortion sweep not possible: ");
    if (const std::string problem = measure::DistortionSweep::Validate(setup, rateIn, rateOut); !problem.empty()) {
        platform::ShowMessage(host_, platform::MessageKind::Warning, failed + QString::fromStdString(problem));
        emit finished();
        return;
    }
    pending_.clear();
    sweep_.OnStep = [this, &setup](int step, int steps) {
        const double f = measure::DistortionSweep::StepFrequency(setup, step);
        frequency_->setText(setup.Kind == measure::DistortionSweepKind::Level
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

void DistortionSweepRunner::ShowInDiagram()
{
    TDiagramm *d = Diagramm;
    if (!d || result_.empty())
        return;
    const bool level = kind_ != measure::DistortionSweepKind::Frequency;
    const int count = static_cast<int>(result_.size());
    std::int32_t from = 0, to = 0;
    if (level) {
        from = result_.front().LevelDb;
        to = std::max(result_.back().LevelDb, from + 1);
    } else {
        from = static_cast<std::int32_t>(std::floor(result_.front().FrequencyHz));
        to = std::max(static_cast<std::int32_t>(std::ceil(result_.back().FrequencyHz)), from + 1);
    }
    d->ClearCurves();
    d->SetLinearX(level);
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
    d->SetYCaption(QStringLiteral("THD+N, THD [dB]"));
    d->SetXCaption(level ? QStringLiteral("Level [dBFS]") : QStringLiteral("Frequency [Hz]"));

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
            for (const measure::DistortionStep &p : result_) {
                curve.FrequencyHz.push_back(level ? p.LevelDb : p.FrequencyHz);
                curve.Values.push_back(value(p.Harmonics[c]));
            }
            extra.push_back(std::move(curve));
        };
        auto ok = [](const dsp::HarmonicReading &h) { return h.status == dsp::DistortionStatus::Ok; };
        add(kThdnStyle, [&](const dsp::HarmonicReading &h) { return Finite(h.thdnDb, ok(h)); });
        add(kThdStyle, [&](const dsp::HarmonicReading &h) { return Finite(h.thdDb, ok(h)); });
        if (MS.Sweep.Dist.Harmonics) {
            for (int k : {2, 3}) {
                add(k == 2 ? kH2Style : kH3Style, [&](const dsp::HarmonicReading &h) {
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
    return platform::WriteTextFile(QFile::encodeName(fileName).toStdString(),
                                   measure::DistortionSweepText(result_, channels_));
}

} // namespace app
