// The log sweep on the sweep page (see logsweeprunner.h).
#include "app/logsweeprunner.h"

#include "app/forms.h"
#include "app/mainformtexts.h"
#include "audio/audioengine.h"
#include "audio/streamwarnings.h"
#include "display/diagramwindow.h"
#include "display/impulsewindow.h"
#include "measurement/impulsewave.h"
#include "platform/textfile.h"
#include "settings/measurementstate.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <algorithm>
#include <cmath>

namespace app {

namespace {

// Below the level axis the harmonics of a good device would not show.
constexpr float kHarmonicsAxisBottomDb = -120.0f;

struct CurveStyle {
    const char *Name;
    std::uint32_t Colour; // 0x00BBGGRR
};
constexpr CurveStyle kHarmonicStyles[] = {
    {"H2", 0x800080}, {"H3", 0x0080FF}, {"H4", 0x008080}, {"H5", 0x804000}};
constexpr CurveStyle kThdStyle = {"THD", 0x000000};

// The channel whose level is the diagram's first curve: the measured input
// in the reference modes, the right input in stereo (as the stepped sweep).
const dsp::LogSweepChannelResult &FirstChannel(const dsp::LogSweepResult &r)
{
    if (r.ChannelCount == 2 && r.Channels[0].Input == 0)
        return r.Channels[1];
    return r.Channels[0];
}

QString InputName(int input) { return input == 0 ? QStringLiteral("L") : QStringLiteral("R"); }

} // namespace

LogSweepRunner::LogSweepRunner(QWidget *host, QLabel *frequency, QLabel *progress)
    : QObject(host), host_(host), frequency_(frequency), progress_(progress)
{
    setObjectName("LogSweepRunner");
}

LogSweepRunner::~LogSweepRunner() = default;

void LogSweepRunner::Stop() { driver_.RequestStop(); }

void LogSweepRunner::Run()
{
    SweepSettings &w = MS.Sweep;
    const char language = MS.Language;
    const bool de = language == 'D';
    const dsp::LogSweepParameters p = LogSweepParametersOf(w, w.Log);
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    // Checked here first for the message in the program's language.
    if (const dsp::LogSweepCheck check = dsp::CheckLogSweep(p, rateIn); !check.ok()) {
        platform::ShowMessage(host_, platform::MessageKind::Warning,
                              QString::fromStdString(dsp::LogSweepProblemText(check, language)));
        emit finished();
        return;
    }
    sweep_ = 0;
    sweeps_ = p.Averages;
    driver_.OnSweep = [this](int sweep, int sweeps) {
        sweep_ = sweep;
        sweeps_ = sweeps;
        showProgress(sweep, sweeps, 0, 1);
    };
    driver_.OnProgress = [this](std::int64_t recorded, std::int64_t due) {
        showProgress(sweep_, sweeps_, recorded, due);
    };
    // The driver gives up the run the held result came from as it starts.
    evaluable_ = false;
    if (impulse_)
        impulse_->SetEditable(false);

    const measure::LogSweepDriver::Outcome outcome = driver_.Run(p, MS.InputCorrection);
    QPalette palette = progress_->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    progress_->setPalette(palette);
    switch (outcome) {
    case measure::LogSweepDriver::Outcome::Done: {
        view_ = dsp::ViewOf(p);
        result_ = driver_.Result(view_);
        evaluable_ = true;
        const double latencyMs = 1000.0 * static_cast<double>(result_.LatencyFrames) / result_.Rate;
        QString text = (de ? QStringLiteral("Latenz ") : QStringLiteral("Latency ")) +
                       QString::number(latencyMs, 'f', 2) + " ms";
        if (driver_.Overloads() > 0) {
            text = QStringLiteral("Over ") + QString::number(driver_.Overloads());
            palette.setColor(QPalette::WindowText, Qt::red);
            progress_->setPalette(palette);
        }
        progress_->setText(text);
        ShowInDiagram();
        showImpulse();
        break;
    }
    case measure::LogSweepDriver::Outcome::Interrupted:
        progress_->setText(QStringLiteral("STOP"));
        break;
    case measure::LogSweepDriver::Outcome::Invalid:
    case measure::LogSweepDriver::Outcome::Failed: {
        progress_->setText(QString());
        const std::string reason = driver_.Check().ok() ? driver_.Error()
                                                        : dsp::LogSweepProblemText(driver_.Check(), language);
        platform::ShowMessage(host_, platform::MessageKind::Error,
                              (de ? QStringLiteral("Log-Sweep fehlgeschlagen: ") : QStringLiteral("Log sweep failed: ")) +
                                  QString::fromStdString(reason),
                              true, 17);
        break;
    }
    }
    emit finished();
}

void LogSweepRunner::showProgress(int sweep, int sweeps, std::int64_t recorded, std::int64_t due)
{
    const double share = due > 0 ? std::clamp(static_cast<double>(recorded) / static_cast<double>(due), 0.0, 1.0) : 0.0;
    const int percent = sweeps > 0 ? static_cast<int>(100.0 * ((sweep - 1) + share) / sweeps) : 0;
    progress_->setText(QStringLiteral("Sweep ") + QString::number(sweep) + "/" + QString::number(sweeps) + "  " +
                       QString::number(std::clamp(percent, 0, 100)) + " %");
    // The frequency the sweep passes, held at its end during the tail.
    const dsp::LogSweepDesign &d = driver_.Analyser().design();
    const double frame = std::min(static_cast<double>(recorded), static_cast<double>(d.SweepFrames - 1));
    frequency_->setText(QString::number(d.frequencyAt(std::max(frame, 0.0)), 'f', 1));
}

void LogSweepRunner::ShowInDiagram()
{
    TDiagramm *d = Diagramm;
    if (!d || !HasResult())
        return;
    SweepSettings &w = MS.Sweep;
    const dsp::LogSweepResult &r = result_;
    const bool stereo = r.Mode == dsp::kSweepStereo;
    const bool phase = w.PhaseOn && !stereo;
    const int count = static_cast<int>(r.FrequencyHz.size());

    d->ClearCurves();
    w.Title = d->GetTitle().left(static_cast<int>(MaxCommentLength)).toStdString();
    std::int32_t from = w.FreqFrom, to = w.FreqTo;
    if (d->SetupDiagram(QString::fromStdString(w.Title), count, from, to, w.YMin, w.YMax)) {
        platform::ShowMessage(host_, platform::MessageKind::Warning, QStringLiteral("Diagram Error"));
        return;
    }
    if (w.Log.Harmonics && w.YMin > kHarmonicsAxisBottomDb) {
        w.YMin = kHarmonicsAxisBottomDb;
        d->SetYRange(w.YMax, w.YMin);
    }
    if (stereo)
        d->SetY2Range(w.YMax, w.YMin);
    else
        d->SetY2Range(w.PhaseMax, w.PhaseMin);
    d->SetCurvesVisible(true, phase || stereo);
    d->SetAxesVisible(true, phase);

    const dsp::LogSweepChannelResult &first = FirstChannel(r);
    const dsp::LogSweepChannelResult &second = stereo ? (&first == &r.Channels[0] ? r.Channels[1] : r.Channels[0]) : first;
    for (int i = 0; i < count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const float values[2] = {static_cast<float>(first.LevelDb[k]),
                                 static_cast<float>(stereo ? second.LevelDb[k] : first.PhaseDeg[k])};
        d->StorePoint(values, i, static_cast<float>(r.FrequencyHz[k]));
    }

    std::vector<display::ExtraCurve> extra;
    if (w.Log.Harmonics) {
        const QString suffix = stereo ? " " + InputName(first.Input) : QString();
        auto add = [&](const CurveStyle &style, const std::vector<double> &values) {
            display::ExtraCurve c;
            c.Name = (QString::fromLatin1(style.Name) + suffix).toStdString();
            c.Colour = style.Colour;
            c.FrequencyHz = r.FrequencyHz;
            c.Values = values;
            c.Values.resize(r.FrequencyHz.size(), std::nan(""));
            extra.push_back(std::move(c));
        };
        for (int h = 0; h < dsp::kLogSweepMaxHarmonic - 1; ++h)
            add(kHarmonicStyles[h], first.HarmonicDb[static_cast<std::size_t>(h)]);
        add(kThdStyle, first.ThdDb);
    }
    d->SetExtraCurves(std::move(extra));
    // As the stepped sweep's line: what the sound server did with the streams.
    d->SetStatusText(QString::fromStdString(audio::StreamWarningLine(driver_.Warnings(), MS.Language)));
    d->update();
}

void LogSweepRunner::SetTimeWindow(double preMs, double postMs)
{
    if (!evaluable_)
        return;
    view_.PreWindowMs = std::max(preMs, 0.0);
    view_.WindowMs = std::clamp(postMs, kLogSweepWindowMsMin, kLogSweepWindowMsMax);
    MS.Sweep.Log.WindowMs = view_.WindowMs;
    const dsp::LogSweepResult r = driver_.Result(view_);
    if (r.ChannelCount == 0)
        return;
    result_ = r;
    ShowInDiagram();
}

void LogSweepRunner::showImpulse()
{
    if (!impulse_ || !HasResult())
        return;
    const dsp::LogSweepResult &r = result_;
    std::vector<display::ImpulseTrace> traces;
    for (int c = 0; c < r.ChannelCount; ++c) {
        const dsp::LogSweepChannelResult &ch = r.Channels[static_cast<std::size_t>(c)];
        display::ImpulseTrace t;
        t.Name = InputName(ch.Input);
        t.Samples = ch.Impulse;
        t.Zero = ch.ImpulseZero;
        t.Colour = ch.Input == 0 ? 0xFF0000 : 0x0000FF;
        traces.push_back(std::move(t));
    }
    impulse_->SetTraces(std::move(traces), r.Rate);
    // Before time zero the window reaches at most what the automatic
    // window takes (half the way to H2's response).
    const double toMs = 1000.0 / r.Rate;
    const double preMax = view_.PreWindowMs < 0.0 ? static_cast<double>(r.WindowPreFrames) * toMs
                                                  : std::max(impulse_->PreMs->maximum(), view_.PreWindowMs);
    impulse_->SetWindow(static_cast<double>(r.WindowPreFrames) * toMs, static_cast<double>(r.WindowPostFrames) * toMs,
                        preMax, kLogSweepWindowMsMax);
    impulse_->SetEditable(evaluable_);
}

void LogSweepRunner::ShowImpulseWindow()
{
    if (!impulse_) {
        impulse_ = std::make_unique<display::TImpulseWindow>();
        connect(impulse_.get(), &display::TImpulseWindow::windowChanged, this, &LogSweepRunner::SetTimeWindow);
        connect(impulse_.get(), &display::TImpulseWindow::saveWaveRequested, this,
                qOverload<>(&LogSweepRunner::SaveImpulseWave));
        connect(impulse_.get(), &display::TImpulseWindow::saveTextRequested, this, &LogSweepRunner::SaveCurvesText);
    }
    impulse_->SetLanguage(MS.Language);
    showImpulse();
    impulse_->SetEditable(evaluable_ && !Running());
    impulse_->show();
    impulse_->raise();
}

void LogSweepRunner::SaveImpulseWave()
{
    platform::FileDialogRequest request;
    request.save = true;
    request.title = MS.Language == 'D' ? QStringLiteral("Impulsantwort als WAV-Datei")
                                       : QStringLiteral("Impulse response as WAV file");
    request.filter = "Wave File (*.wav)";
    request.defaultSuffix = "wav";
    const QString name = platform::AskFileName(impulse_ ? static_cast<QWidget *>(impulse_.get()) : host_, request);
    if (!name.isEmpty())
        SaveImpulseWave(name);
}

int LogSweepRunner::SaveImpulseWave(const QString &fileName)
{
    std::string bytes, error;
    std::int64_t frames = 0;
    int rc = measure::EncodeImpulseWave(result_, bytes, frames, error) ? 0 : -1;
    if (rc == 0)
        rc = platform::WriteTextFile(QFile::encodeName(fileName).toStdString(), bytes);
    if (rc != 0)
        platform::ShowMessage(host_, platform::MessageKind::Error, fileName + Texts().CouldNotCreate);
    return rc;
}

void LogSweepRunner::SaveCurvesText()
{
    platform::FileDialogRequest request;
    request.save = true;
    request.title = Texts().SaveDialogTitle;
    request.filter = "Text File (*.txt)";
    request.defaultSuffix = "txt";
    const QString name = platform::AskFileName(impulse_ ? static_cast<QWidget *>(impulse_.get()) : host_, request);
    if (name.isEmpty() || !Diagramm)
        return;
    if (Diagramm->SaveCurvesAsText(name) != 0)
        platform::ShowMessage(host_, platform::MessageKind::Error, name + Texts().CouldNotCreate);
}

} // namespace app
