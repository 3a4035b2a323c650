// Sweep page of the main window: its controls, entering and leaving the
// page, START, STOP and Setup, the generator docked onto it, the chain of
// steps through WM_SWEEP_STEP and the evaluation of each captured block
// into one point of the diagram. The arithmetic (the
// frequency plan, the capture length, levels and phase) lives in
// dsp/sweep.h, the steps that touch the engine in measurement/sweeprun.h;
// this file chains them through the page's messages and shows the results.
//
// A run owns its work: every capture carries the id of its run, and a
// completion that belongs to an older run, or arrives after the page was
// left, stores nothing and starts nothing.
#include "app/sweeppage.h"

#include "app/forms.h"
#include "app/distortionsweeprunner.h"
#include "app/logsweeprunner.h"
#include "app/mainformtexts.h"
#include "app/pagehost.h"
#include "app/pagewidgets.h"
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/streamwarnings.h"
#include "display/diagramwindow.h"
#include "display/impulsewindow.h"
#include "dsp/sweep.h"
#include "dialogs/sweepdialog.h"
#include "generator/wavegen.h"
#include "widgets/messagebox.h"
#include "platform/runtime/messages.h"
#include "widgets/readout.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace app {

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

SweepPage::SweepPage(PageHost &host, QWidget *parent) : QWidget(parent), host_(host)
{
    setObjectName("TabSheet2");
    buildControls();
    log_ = new LogSweepRunner(host_.HostWindow(), FreqText, Label7);
    log_->setParent(this);
    connect(ImpulseBut, &QPushButton::clicked, log_, &LogSweepRunner::ShowImpulseWindow);
    dist_ = new DistortionSweepRunner(host_.HostWindow(), FreqText, Label7);
    dist_->setParent(this);
    connect(Button1, &QPushButton::clicked, this, &SweepPage::Button1Click);
    connect(wobbelnBut, &QPushButton::clicked, this, &SweepPage::wobbelnButClick);
    connect(STOPbut, &QPushButton::clicked, this, &SweepPage::STOPbutClick);
    connect(WobDialogBut, &QPushButton::clicked, this, &SweepPage::WobDialogButClick);
    // The output stopping under a run ends the run with its message.
    connect(&audio::OutputEvents::instance(), &audio::OutputEvents::failed, this, [this](int code) {
        if (SweepBusy())
            dowoberr(code);
    });
}

void SweepPage::buildControls()
{
    QWidget *page = this;
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(3);

    Wobbeln = Named(new QGroupBox("Wobbeln", page), "Wobbeln");
    auto *wl = new QVBoxLayout(Wobbeln);
    wl->setContentsMargins(4, 2, 4, 2);
    wobbelnBut = Named(new QPushButton("START", Wobbeln), "wobbelnBut");
    WobDialogBut = Named(new QPushButton("Setup", Wobbeln), "WobDialogBut");
    Label7 = PlainLabel("Label7", "Pegel L R ", Wobbeln);
    Label7->setFrameShape(QFrame::Panel);
    Label7->setFrameShadow(QFrame::Sunken);
    platform::MarkReadout(Label7, "Pegel L R");
    wl->addWidget(wobbelnBut);
    wl->addWidget(Label7);
    wl->addWidget(WobDialogBut);
    ImpulseBut = Named(new QPushButton("Impuls", Wobbeln), "ImpulseBut");
    ImpulseBut->setAccessibleName("Impulse response");
    ImpulseBut->setEnabled(false);
    wl->addWidget(ImpulseBut);

    STOPbut = Named(new QPushButton("STOP", page), "STOPbut");
    auto *freq = new QHBoxLayout;
    FreqText = PlainLabel("FreqText", "0", page);
    FreqText->setFrameShape(QFrame::Panel);
    FreqText->setFrameShadow(QFrame::Sunken);
    FreqText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    platform::MarkReadout(FreqText, "Frequency Hz");
    freq->addWidget(FreqText, 1);
    freq->addWidget(new QLabel("Hz", page));

    Pegelbox = Named(new QGroupBox("Level", page), "Pegelbox");
    auto *pl = new QGridLayout(Pegelbox);
    pl->setContentsMargins(4, 2, 4, 2);
    ScrollBar1 = Named(new QScrollBar(Qt::Vertical, Pegelbox), "ScrollBar1");
    ScrollBar2 = Named(new QScrollBar(Qt::Vertical, Pegelbox), "ScrollBar2");
    ScrollBar1->setRange(0, 100);
    ScrollBar2->setRange(0, 100);
    ScrollBar1->setAccessibleName("Recording volume");
    ScrollBar2->setAccessibleName("Output volume");
    // Label8 shows the recording volume under its bar, Label1 the output volume.
    Label1 = PlainLabel("Label1", "", Pegelbox);
    Label8 = PlainLabel("Label8", "100%", Pegelbox);
    Label10 = PlainLabel("Label10", "In       Out", Pegelbox);
    Button2 = Named(new QPushButton("Out-Para", Pegelbox), "Button2");
    platform::MarkReadout(Label8, "Recording volume");
    platform::MarkReadout(Label1, "Output volume");
    pl->addWidget(Label10, 0, 0, 1, 2);
    pl->addWidget(ScrollBar1, 1, 0, Qt::AlignHCenter);
    pl->addWidget(ScrollBar2, 1, 1, Qt::AlignHCenter);
    pl->addWidget(Label8, 2, 0);
    pl->addWidget(Label1, 2, 1);
    pl->addWidget(Button2, 3, 0, 1, 2);

    Label9 = PlainLabel("Label9", "Inp:", page);
    Wobinptxt = PlainLabel("Wobinptxt", " Inp: ", page);
    platform::MarkReadout(Wobinptxt, "Inp:");

    Generator = Named(new QGroupBox("Generator", page), "Generator");
    Generator->setMinimumSize(230, 150);
    auto *gl = new QVBoxLayout(Generator);
    gl->addStretch();
    Button1 = Named(new QPushButton("zurück", Generator), "Button1");
    gl->addWidget(Button1, 0, Qt::AlignRight);

    grid->addWidget(Wobbeln, 0, 0);
    grid->addWidget(STOPbut, 1, 0);
    grid->addLayout(freq, 2, 0);
    grid->addWidget(Label9, 3, 0);
    grid->addWidget(Wobinptxt, 4, 0);
    grid->addWidget(Pegelbox, 0, 1, 5, 1);
    grid->addWidget(Generator, 0, 2, 5, 1);
    grid->setColumnStretch(2, 1);

}

// ---- page enter and leave ------------------------------------------------------

void SweepPage::EnterSweepPage()
{
    app::SweepSettings &w = MS.Sweep;
    SweepRunState &run = run_;
    TDiagramm *d = Diagramm;
    if (d)
        d->ClearCurves();
    w.CurrentStep = 0;
    w.CurrentFreq = static_cast<float>(w.FreqFrom);
    w.CaptureSamples = 8000;
    host_.EnableAnalysisMenu(false);
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
    if (QWidget *gen = GeneratorWindow())
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

void SweepPage::LeaveSweepPage()
{
    app::SweepSettings &w = MS.Sweep;
    SweepRunState &run = run_;
    const bool wasShown = w.PageShown;
    // A log sweep waiting for its recording frees the devices at once.
    log_->Stop();
    dist_->Stop();
    dist_->ReleaseDiagram();
    if (display::TImpulseWindow *impulse = log_->ImpulseWindow())
        impulse->hide();
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
        platform::PostMessage(host_.HostWindow(), platform::WM_SWEEP_STEP);
    if (TDiagramm *d = Diagramm) {
        d->SetCurvesVisible(true, false);
        d->SetAxesVisible(true, false);
        if (wasShown) {
            d->GetYRange(w.YMin, w.YMax);
            d->ResetDiagram();
        }
    }
    w.PageShown = false;
    if (Diagramm)
        Diagramm->hide();
    SetGeneratorOnTop(false);
}

void SweepPage::SetGeneratorOnTop(bool on)
{
    QWidget *gen = GeneratorWindow();
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

bool SweepPage::SweepBusy() const
{
    return MS.Sweep.Sweeping || run_.Busy() || log_->Running() || dist_->Running();
}

void SweepPage::wobbelnButClick()
{
    // While the generator plays, the output belongs to it (an output the
    // sweep itself left playing is no reason to refuse).
    const bool generatorPlays =
        !run_.OutputStarted && (Wavegen ? Wavegen->Running() : audio::OutputRunning());
    if (SweepBusy() || generatorPlays)
        return;
    MS.Sweep.StartRequested = true;
    platform::PostMessage(host_.HostWindow(), platform::WM_SWEEP_STEP);
}

void SweepPage::STOPbutClick()
{
    log_->Stop();
    dist_->Stop();
    MS.Sweep.StopRequested = MS.Sweep.Sweeping;
}

void SweepPage::WobDialogButClick()
{
    Twobbeldlg *dlg = Wobbeldlg;
    if (SweepBusy() || !dlg)
        return;
    app::SweepSettings &w = MS.Sweep;
    dlg->Open(w, MS.InputCorrection, MS.OutputCorrection);
    if (dlg->exec() != QDialog::Accepted)
        return;
    dlg->Take(w);
    if (TDiagramm *d = Diagramm) {
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

void SweepPage::dowoberr(int code)
{
    STOPbutClick();
    platform::ShowMessage(host_.HostWindow(), platform::MessageKind::Error,
                          QStringLiteral("ERROR at Frequency Output (") +
                              QString::fromStdString(audio::ErrorText(code)) + ")",
                          true, 17);
}

// ---- the chain of steps --------------------------------------------------------

void SweepPage::SweepStep()
{
    app::SweepSettings &w = MS.Sweep;
    // A message that arrives during a step's settling wait changes nothing:
    // the step re-reads the flags when its wait is over.
    if (run_.Stepping || log_->Running() || dist_->Running())
        return;
    if (w.StartRequested && w.Log.Method == SweepMethod::Distortion && !run_.Busy()) {
        w.StartRequested = false;
        runDistortionSweep();
        return;
    }
    if (w.StartRequested && !run_.Busy())
        dist_->ReleaseDiagram(); // the other methods draw on a frequency axis
    if (w.StartRequested && w.Log.Method == SweepMethod::LogSweep && !run_.Busy()) {
        w.StartRequested = false;
        runLogSweep();
        return;
    }
    if (w.StartRequested && !run_.CaptureInFlight)
        beginSweepRun();
    w.StartRequested = false;
    if (w.StopRequested) {
        w.StopRequested = false;
        w.Sweeping = false;
    }
    if (w.Sweeping && !run_.CaptureInFlight)
        performSweepStep();
    // A stop asked for during the settling wait, or by an error.
    if (w.StopRequested) {
        w.StopRequested = false;
        w.Sweeping = false;
    }
    finishSweepStep();
}

void SweepPage::beginSweepRun()
{
    app::SweepSettings &w = MS.Sweep;
    SweepRunState &run = run_;
    // Whatever put them there, the record's step count and level stay within
    // the setup dialog's ranges (the step counters and the diagram's point
    // count are 32-bit, a level above full scale clips).
    w.Steps = std::clamp(w.Steps, 1, app::kSweepStepsMax);
    w.LevelDig = std::clamp(w.LevelDig, app::kSweepLevelMin, app::kSweepLevelMax);
    if (TDiagramm *d = Diagramm) {
        d->ClearCurves();
        w.Title = d->GetTitle().left(static_cast<int>(app::MaxCommentLength)).toStdString();
        std::int32_t from = w.FreqFrom, to = w.FreqTo;
        if (d->SetupDiagram(QString::fromStdString(w.Title), w.Steps + 1, from, to, w.YMin, w.YMax)) {
            platform::ShowMessage(host_.HostWindow(), platform::MessageKind::Warning, QStringLiteral("Diagram Error"));
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

void SweepPage::runLogSweep()
{
    app::SweepSettings &w = MS.Sweep;
    w.LevelDig = std::clamp(w.LevelDig, app::kSweepLevelMin, app::kSweepLevelMax);
    // Locked for the whole run: the driver waits with messages dispatched.
    w.Sweeping = true;
    w.StopRequested = false;
    updateSweepLocks();
    log_->Run();
    w.Sweeping = false;
    w.StopRequested = false;
    updateSweepLocks();
    ImpulseBut->setEnabled(log_->HasResult());
}

void SweepPage::performSweepStep()
{
    app::SweepSettings &w = MS.Sweep;
    SweepRunState &run = run_;
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
        platform::ShowMessage(host_.HostWindow(), platform::MessageKind::Information, Texts().SweepFreqLimit);
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

void SweepPage::finishSweepStep()
{
    SweepRunState &run = run_;
    updateSweepLocks();
    if (SweepBusy())
        return;
    // The run is over: the output it started stops and the generator gets
    // its settings back.
    if (run.Finish() && Wavegen)
        Wavegen->SetFrequency(audio::Generator().Frequency);
}

void SweepPage::restoreSweepGenerator()
{
    if (run_.RestoreGenerator() && Wavegen)
        Wavegen->SetFrequency(audio::Generator().Frequency);
}

void SweepPage::runDistortionSweep()
{
    app::SweepSettings &w = MS.Sweep;
    // Locked for the whole run: the steps wait with messages dispatched.
    w.Sweeping = true;
    w.StopRequested = false;
    updateSweepLocks();
    dist_->Run();
    w.Sweeping = false;
    w.StopRequested = false;
    updateSweepLocks();
}

void SweepPage::updateSweepLocks()
{
    SweepRunState &run = run_;
    const bool locked = SweepBusy();
    // Only a change is applied, so the analyser's own locks are left alone
    // while the sweep has nothing to say.
    if (locked == run.ControlsLocked)
        return;
    run.ControlsLocked = locked;
    for (QWidget *b : {static_cast<QWidget *>(wobbelnBut), static_cast<QWidget *>(WobDialogBut),
                       static_cast<QWidget *>(Button2)})
        b->setEnabled(!locked);
    host_.LockDeviceMenus(locked);
    // The generator window's changes would restart the output with its own
    // tone: they wait for the sweep's end.
    if (Wavegen)
        Wavegen->SetSweepRunning(locked);
}

void SweepPage::SweepBlockReady()
{
    app::SweepSettings &w = MS.Sweep;
    SweepRunState &run = run_;
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
        platform::PostMessage(host_.HostWindow(), platform::WM_SWEEP_STEP);
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

    if (TDiagramm *d = Diagramm) {
        d->SetCurvesVisible(true, SecondCurveShown());
        d->SetAxesVisible(true, PhaseShown());
        const float values[2] = {r.First, r.Second};
        // The sweep's line says only what the sound server does with its streams.
        d->SetStatusText(QString::fromStdString(audio::StreamWarningLine(block.Point.Warnings, MS.Language)));
        if (d->StorePoint(values, block.Point.Step, block.Point.Frequency) == 0)
            d->update();
    }
    // After the last step the run ends here, not in the message below: the
    // controls are unlocked and the output stopped as soon as nothing is under
    // way, so START is taken again at once.
    if (!SweepBusy())
        finishSweepStep();
    platform::PostMessage(host_.HostWindow(), platform::WM_SWEEP_STEP);
}

// ---- the generator docked onto the page ------------------------------------------

void SweepPage::Button1Click() { DockGenerator(true); }

void SweepPage::DockGenerator(bool force)
{
    QWidget *gen = GeneratorWindow();
    if (!gen || !Generator)
        return;
    // At the first show the pages are not laid out yet: settle them so the
    // group box is where it will be drawn.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QPoint target = Generator->mapToGlobal(QPoint(0, 0));
    QRect r = gen->frameGeometry();
    bool overlaps = std::abs(r.left() - target.x()) < r.width() && std::abs(r.top() - target.y()) < r.height();
    if (force || overlaps)
        gen->move(target);
}

} // namespace app
