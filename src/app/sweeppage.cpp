// Sweep page of the main window: entering and leaving the page, START, STOP
// and Setup, the chain of steps through WM_SWEEP_STEP and the evaluation of
// each captured block into one point of the diagram. The arithmetic (the
// frequency plan, the capture length, levels and phase) lives in
// dsp/sweep.h, the steps that touch the engine in measurement/sweeprun.h;
// this file chains them through the page's messages and shows the results.
//
// A run owns its work: every capture carries the id of its run, and a
// completion that belongs to an older run, or arrives after the page was
// left, stores nothing and starts nothing.
#include "app/forms.h"
#include "app/mainform.h"
#include "app/mainformtexts.h"
#include "app/sweeprunstate.h"
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "display/diagramwindow.h"
#include "dsp/sweep.h"
#include "dialogs/sweepdialog.h"
#include "generator/wavegen.h"
#include "widgets/messagebox.h"
#include "platform/runtime/messages.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <algorithm>
#include <cmath>

using app::MS;

namespace {

bool InputDeviceUsable() { return audio::InputFormats(audio::GetInputDevice()) != 0; }

// In stereo mode there is no reference and so no phase, whatever the
// settings file combines.
bool PhaseShown() { return MS.Sweep.PhaseOn && MS.Sweep.Mode != dsp::kSweepStereo; }
// The second curve is the phase, or in stereo mode the left channel.
bool SecondCurveShown() { return PhaseShown() || MS.Sweep.Mode == dsp::kSweepStereo; }

// Peak amplitude relative to full scale, as the live level line shows it.
QString AmplitudeText(double peak) { return QString::number(peak, 'f', 2).left(8); }

measure::SweepSetup SweepSetupOf(const app::SweepSettings &w)
{
    measure::SweepSetup s;
    s.Linear = w.Linear;
    s.FreqFrom = w.FreqFrom;
    s.FreqTo = w.FreqTo;
    s.Steps = w.Steps;
    s.Mode = w.Mode;
    s.SettleMs = w.SettleMs;
    s.LevelDig = w.LevelDig;
    return s;
}

// Runs a step's body with the stepping flag set, however it is left.
struct SteppingScope {
    explicit SteppingScope(bool &flag) : flag_(flag) { flag_ = true; }
    ~SteppingScope() { flag_ = false; }
    bool &flag_;
};

} // namespace

void TMainForm::connectSweepPage()
{
    connect(wobbelnBut, &QPushButton::clicked, this, &TMainForm::wobbelnButClick);
    connect(STOPbut, &QPushButton::clicked, this, &TMainForm::STOPbutClick);
    connect(WobDialogBut, &QPushButton::clicked, this, &TMainForm::WobDialogButClick);
    // The output stopping under a run ends the run with its message.
    connect(&audio::OutputEvents::instance(), &audio::OutputEvents::failed, this, [this](int code) {
        if (SweepBusy())
            dowoberr(code);
    });
}

// ---- page enter and leave ------------------------------------------------------

void TMainForm::EnterSweepPage()
{
    app::SweepSettings &w = MS.Sweep;
    app::SweepRunState &run = *sweep_;
    TDiagramm *d = app::Diagramm;
    if (d)
        d->ClearCurves();
    w.CurrentStep = 0;
    w.CurrentFreq = static_cast<float>(w.FreqFrom);
    w.CaptureSamples = 8000;
    Analyse1->setEnabled(false);
    if (!(w.YMax > w.YMin)) {
        w.YMax = 5.0f;
        w.YMin = -40.0f;
    }
    if (d) {
        d->SetCurvesVisible(true, SecondCurveShown());
        d->SetAxesVisible(true, PhaseShown());
        d->SetYCaption(QStringLiteral("Level [dB]"));
        d->SetY2Caption(QString::fromUtf8("Phase [°]"));
        d->SetXCaption(QStringLiteral("Frequency [Hz]"));
        std::int32_t from = w.FreqFrom, to = w.FreqTo;
        d->SetupDiagram(QString::fromStdString(w.Title), w.Steps, from, to, w.YMin, w.YMax);
        d->SetYRange(w.YMax, w.YMin);
        if (w.Mode == dsp::kSweepStereo)
            d->SetY2Range(w.YMax, w.YMin);
        else
            d->SetY2Range(w.PhaseMax, w.PhaseMin);
        d->show();
    }
    if (QWidget *gen = app::GeneratorWindow())
        gen->show();
    DockGenerator(false);
    SetGeneratorOnTop(true);

    w.PageShown = true;
    if (d)
        d->SetStatusText(QString());
    w.StartRequested = w.StopRequested = w.Sweeping = false;
    // A capture still in flight from an earlier visit belongs to an older
    // run; its completion is dropped when it comes.
    run.CaptureInFlight = false;
    updateSweepLocks();
}

void TMainForm::LeaveSweepPage()
{
    app::SweepSettings &w = MS.Sweep;
    app::SweepRunState &run = *sweep_;
    const bool wasShown = w.PageShown;
    // Whatever is still under way belongs to a run that ends here.
    const bool outputWasStarted = run.OutputStarted;
    run.Abandon();
    if (w.Sweeping && !outputWasStarted)
        audio::StopOutput();
    w.StopRequested = true;
    w.Sweeping = false;
    // The generator's own settings are back before anything can save them
    // (closing the program runs this before the settings are written).
    restoreSweepGenerator();
    if (wasShown)
        platform::PostMessage(this, platform::WM_SWEEP_STEP);
    if (TDiagramm *d = app::Diagramm) {
        d->SetCurvesVisible(true, false);
        d->SetAxesVisible(true, false);
        if (wasShown) {
            d->GetYRange(w.YMin, w.YMax);
            d->ResetDiagram();
        }
    }
    w.PageShown = false;
    if (app::Diagramm)
        app::Diagramm->hide();
    SetGeneratorOnTop(false);
}

void TMainForm::SetGeneratorOnTop(bool on)
{
    QWidget *gen = app::GeneratorWindow();
    if (!gen || gen->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    // Changing the flags hides a window; it comes back where it was.
    const bool visible = gen->isVisible();
    const QPoint where = gen->pos();
    gen->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) {
        gen->move(where);
        gen->show();
    }
}

// ---- buttons -------------------------------------------------------------------

bool TMainForm::SweepBusy() const
{
    return MS.Sweep.Sweeping || sweep_->Busy();
}

void TMainForm::wobbelnButClick()
{
    // While the generator plays, the output belongs to it (an output the
    // sweep itself left playing is no reason to refuse).
    const bool generatorPlays =
        !sweep_->OutputStarted && (app::Wavegen ? app::Wavegen->Running() : audio::OutputRunning());
    if (SweepBusy() || generatorPlays)
        return;
    MS.Sweep.StartRequested = true;
    platform::PostMessage(this, platform::WM_SWEEP_STEP);
}

void TMainForm::STOPbutClick() { MS.Sweep.StopRequested = MS.Sweep.Sweeping; }

void TMainForm::WobDialogButClick()
{
    Twobbeldlg *dlg = app::Wobbeldlg;
    if (SweepBusy() || !dlg)
        return;
    app::SweepSettings &w = MS.Sweep;
    dlg->Open(w, MS.InputCorrection, MS.OutputCorrection);
    if (dlg->exec() != QDialog::Accepted)
        return;
    dlg->Take(w);
    if (TDiagramm *d = app::Diagramm) {
        d->SetCurvesVisible(true, SecondCurveShown());
        d->SetAxesVisible(true, PhaseShown());
        if (w.Mode == dsp::kSweepStereo)
            d->SetY2Range(w.YMax, w.YMin);
        else
            d->SetY2Range(w.PhaseMax, w.PhaseMin);
        d->SetXRange(w.FreqFrom, w.FreqTo);
        d->update();
    }
}

void TMainForm::dowoberr(int code)
{
    STOPbutClick();
    platform::ShowMessage(this, platform::MessageKind::Error,
                          QStringLiteral("ERROR at Frequency Output (") +
                              QString::fromStdString(audio::ErrorText(code)) + ")",
                          true, 17);
}

// ---- the chain of steps --------------------------------------------------------

void TMainForm::SweepStep()
{
    app::SweepSettings &w = MS.Sweep;
    // A message that arrives during a step's settling wait changes nothing:
    // the step re-reads the flags when its wait is over.
    if (sweep_->Stepping)
        return;
    if (w.StartRequested && !sweep_->CaptureInFlight)
        beginSweepRun();
    w.StartRequested = false;
    if (w.StopRequested) {
        w.StopRequested = false;
        w.Sweeping = false;
    }
    if (w.Sweeping && !sweep_->CaptureInFlight)
        performSweepStep();
    // A stop asked for during the settling wait, or by an error.
    if (w.StopRequested) {
        w.StopRequested = false;
        w.Sweeping = false;
    }
    finishSweepStep();
}

void TMainForm::beginSweepRun()
{
    app::SweepSettings &w = MS.Sweep;
    app::SweepRunState &run = *sweep_;
    // Whatever put them there, the record's step count and level stay within
    // the setup dialog's ranges (the step counters and the diagram's point
    // count are 32-bit, a level above full scale clips).
    w.Steps = std::clamp(w.Steps, 1, app::kSweepStepsMax);
    w.LevelDig = std::clamp(w.LevelDig, app::kSweepLevelMin, app::kSweepLevelMax);
    if (TDiagramm *d = app::Diagramm) {
        d->ClearCurves();
        w.Title = d->GetTitle().left(static_cast<int>(app::MaxCommentLength)).toStdString();
        std::int32_t from = w.FreqFrom, to = w.FreqTo;
        if (d->SetupDiagram(QString::fromStdString(w.Title), w.Steps + 1, from, to, w.YMin, w.YMax)) {
            platform::ShowMessage(this, platform::MessageKind::Warning, QStringLiteral("Diagram Error"));
            return;
        }
        if (w.Mode == dsp::kSweepStereo)
            d->SetY2Range(w.YMax, w.YMin);
        else
            d->SetY2Range(w.PhaseMax, w.PhaseMin);
        d->SetCurvesVisible(true, SecondCurveShown());
        d->SetAxesVisible(true, PhaseShown());
    }
    w.CurrentStep = 0;
    w.Sweeping = true;
    // The sweep borrows the generator; the user's set-up comes back when the
    // run ends, however it ends.
    run.Begin();
    // Locked from here: the first step's settling wait dispatches messages,
    // and the input format must not change under a step.
    updateSweepLocks();
}

void TMainForm::performSweepStep()
{
    app::SweepSettings &w = MS.Sweep;
    app::SweepRunState &run = *sweep_;
    w.Sweeping = InputDeviceUsable();
    if (!w.Sweeping)
        return;
    SteppingScope stepping(run.Stepping);
    const std::uint32_t runId = run.Run;

    const std::int32_t step = w.CurrentStep;
    const measure::SweepStepPlan plan = measure::SweepRun::Plan(SweepSetupOf(w), step);
    w.CurrentFreq = plan.Frequency;
    FreqText->setText(QString::number(plan.Frequency, 'f', 1));
    w.CaptureSamples = plan.CaptureFrames;

    if (!plan.Playable) {
        w.Sweeping = false;
        platform::ShowMessage(this, platform::MessageKind::Information, app::Texts().SweepFreqLimit);
        return;
    }

    const int rc = run.StartTone(plan, w.LevelDig, MS.OutputCorrection);
    if (rc != 0) {
        dowoberr(rc);
        return;
    }
    platform::DelayMs(w.SettleMs);
    // STOP, leaving the page or closing during the wait: nothing more starts.
    if (runId != run.Run || !w.PageShown || w.StopRequested || !w.Sweeping)
        return;

    const int status = run.StartCapture(plan, [this] { SweepBlockReady(); });
    if (status != 0) {
        dowoberr(status);
        return;
    }
    w.CurrentStep = step + 1;
    w.Sweeping = w.CurrentStep <= w.Steps;
}

void TMainForm::finishSweepStep()
{
    app::SweepRunState &run = *sweep_;
    updateSweepLocks();
    if (SweepBusy())
        return;
    // The run is over: the output it started stops and the generator gets
    // its settings back.
    if (run.Finish() && app::Wavegen)
        app::Wavegen->SetFrequency(audio::Generator().Frequency);
}

void TMainForm::restoreSweepGenerator()
{
    if (sweep_->RestoreGenerator() && app::Wavegen)
        app::Wavegen->SetFrequency(audio::Generator().Frequency);
}

void TMainForm::updateSweepLocks()
{
    app::SweepRunState &run = *sweep_;
    const bool locked = SweepBusy();
    // Only a change is applied, so the analyser's own locks are left alone
    // while the sweep has nothing to say.
    if (locked == run.ControlsLocked)
        return;
    run.ControlsLocked = locked;
    for (QWidget *b : {static_cast<QWidget *>(wobbelnBut), static_cast<QWidget *>(WobDialogBut),
                       static_cast<QWidget *>(Button2)})
        b->setEnabled(!locked);
    for (QAction *a : {Eichen1, AudioDevices1, AudioOutDevice1, AudioInParameter1, AudioOutParameter1})
        a->setEnabled(!locked);
    // The generator window's changes would restart the output with its own
    // tone: they wait for the sweep's end.
    if (app::Wavegen)
        app::Wavegen->SetSweepRunning(locked);
}

void TMainForm::SweepBlockReady()
{
    app::SweepSettings &w = MS.Sweep;
    app::SweepRunState &run = *sweep_;
    const measure::SweepRun::Block block = run.TakeBlock(w.Mode, MS.InputCorrection, w.PageShown);
    if (block.Kind == measure::SweepRun::BlockKind::StaleFinished)
        finishSweepStep();
    // A step of several captures shows its point when the last one is in.
    if (block.Kind == measure::SweepRun::BlockKind::Stale ||
        block.Kind == measure::SweepRun::BlockKind::StaleFinished ||
        block.Kind == measure::SweepRun::BlockKind::Continued)
        return;
    if (block.Kind == measure::SweepRun::BlockKind::Failed) {
        dowoberr(block.Status);
        platform::PostMessage(this, platform::WM_SWEEP_STEP);
        return;
    }
    const dsp::SweepReading &r = block.Point.Reading;
    const int overloads = block.Point.Overloads;

    QPalette p = Label7->palette();
    if (overloads != 0) {
        p.setColor(QPalette::WindowText, Qt::red);
        Label7->setText(QStringLiteral("Over ") + QString::number(overloads));
    } else {
        p.setColor(QPalette::WindowText, Qt::black);
        Label7->setText(AmplitudeText(r.Levels.Left) + "FS " + AmplitudeText(r.Levels.Right) + "FS");
    }
    Label7->setPalette(p);

    if (TDiagramm *d = app::Diagramm) {
        d->SetCurvesVisible(true, SecondCurveShown());
        d->SetAxesVisible(true, PhaseShown());
        const float values[2] = {r.First, r.Second};
        if (d->StorePoint(values, block.Point.Step, block.Point.Frequency) == 0)
            d->update();
    }
    // After the last step the run ends here, not in the message below: the
    // controls are unlocked and the output stopped as soon as nothing is under
    // way, so START is taken again at once.
    if (!SweepBusy())
        finishSweepStep();
    platform::PostMessage(this, platform::WM_SWEEP_STEP);
}
