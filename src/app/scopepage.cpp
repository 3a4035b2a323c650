// Oscilloscope page of the main window: entering and leaving the page (with
// the input format it borrows and gives back), its controls, Start/Stop, the
// chain of sweeps through WM_SCOPE_NEXT and the completion routine that turns
// a block into points of the oscilloscope window. Tables, rate choice and
// trigger search live in scoperun.
#include "app/forms.h"
#include "app/mainform.h"
#include "app/scoperun.h"
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "display/scopewindow.h"
#include "widgets/spinbutton.h"
#include "platform/runtime/messages.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QThread>
#include <algorithm>
#include <cmath>

using app::MS;
using app::ScopeState;

namespace {

// A usable input device is selected: its format mask from the device report is not 0.
bool InputDeviceUsable() { return audio::InputFormats(audio::GetInputDevice()) != 0; }

QString Utf8(const char *text) { return QString::fromUtf8(text); }

void SetTextColour(QLabel *label, const QColor &colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

} // namespace

void TMainForm::connectScopePage()
{
    ScopeState &s = MS.Scope;
    connect(OsziStartStop, &QPushButton::clicked, this, &TMainForm::OsziStartStopClick);
    connect(SpinButton3, &SpinButton::upClick, this, [this] { ScopeTimebaseStep(1); });
    connect(SpinButton3, &SpinButton::downClick, this, [this] { ScopeTimebaseStep(-1); });
    connect(SpinButton2, &SpinButton::upClick, this, [this] { ScopeVoltsStep(1, 1); });
    connect(SpinButton2, &SpinButton::downClick, this, [this] { ScopeVoltsStep(1, -1); });
    connect(SpinButton1, &SpinButton::upClick, this, [this] { ScopeVoltsStep(2, 1); });
    connect(SpinButton1, &SpinButton::downClick, this, [this] { ScopeVoltsStep(2, -1); });
    connect(SCRyposCh1, &QScrollBar::valueChanged, this, [&s](int v) { s.Position1 = app::ScrollToPosition(v); });
    connect(SCRyposch2, &QScrollBar::valueChanged, this, [&s](int v) { s.Position2 = app::ScrollToPosition(v); });
    connect(SCRtrig, &QScrollBar::valueChanged, this, [&s](int v) { s.TriggerLevel = -float(v) / 100.0f; });
    connect(CheckBox1, &QCheckBox::toggled, this, [&s](bool on) { s.Ground1 = on; });
    connect(CheckBox3, &QCheckBox::toggled, this, [&s](bool on) { s.Ground2 = on; });
    connect(CheckBox2, &QCheckBox::toggled, this, [&s](bool on) { s.RisingSlope = on; });
    // The two buttons exclude each other; the first one's state is the source.
    connect(RadioButton1, &QRadioButton::toggled, this, [&s](bool on) { s.TriggerOnCh1 = on; });
}

void TMainForm::EnterScopePage()
{
    ScopeState &s = MS.Scope;
    // 1. the input format the page borrows (kept when entered twice)
    if (!s.PageShown) {
        int in = 0, out = 0;
        audio::GetRates(in, out);
        s.SavedInputRate = in;
        audio::GetBits(in, out);
        s.SavedInputBits = in;
    }
    s.PageShown = true;
    ++scopeRun_;
    scopeInFlight_ = false;

    // 2. the page captures at 16 bits; values from the settings that no
    //    capture could use give the built-in ones
    if (s.SampleRate <= 0)
        s.SampleRate = 44100;
    if (s.SamplesPerSweep < 8 || s.SamplesPerSweep > 32768)
        s.SamplesPerSweep = 1024;
    s.SamplesPerSweep &= ~1;
    s.VoltsFullScale = app::ScopeVoltsFullScale(MS.InputCalibration);
    audio::SetRates(s.SampleRate, 0);
    audio::SetBits(16, 0);
    s.SamplePeriod = 1.0f / float(s.SampleRate);
    // The device may have changed since the rate was chosen: choose again.
    s.LastTimebase = 999;
    const bool usable = InputDeviceUsable();
    SetScopeRunning(usable);

    // 3. menus
    for (QAction *a : {Eichen1, AudioDevices1, AudioOutDevice1, AudioInParameter1, AudioOutParameter1, Kommentar1,
                       FilePrintItem})
        a->setEnabled(false);
    Analyse1->setEnabled(false);

    // 4. the oscilloscope window beside the main window
    TOszidia *w = app::Oszidia;
    if (w) {
        int mainLeft = x();
        const app::WindowGeometry g = app::PlaceScopeWindow(MS.ScopeGeometry, mainLeft, y(), height());
        if (mainLeft != x())
            move(mainLeft, y());
        app::ApplyScopeGeometry(g);
        w->show();
    }

    // 5. controls from the state
    {
        const QSignalBlocker b1(SCRyposCh1), b2(SCRyposch2), b3(SCRtrig), b4(CheckBox1), b5(CheckBox2),
            b6(CheckBox3), b7(RadioButton1), b8(RadioButton2);
        SCRyposCh1->setValue(app::PositionToScroll(s.Position1));
        SCRyposch2->setValue(app::PositionToScroll(s.Position2));
        SCRtrig->setValue(int(std::lround(std::clamp(-s.TriggerLevel * 100.0f, -200.0f, 200.0f))));
        CheckBox1->setChecked(s.Ground1);
        CheckBox3->setChecked(s.Ground2);
        CheckBox2->setChecked(s.RisingSlope);
        RadioButton1->setChecked(s.TriggerOnCh1);
        RadioButton2->setChecked(!s.TriggerOnCh1);
    }
    VperDiv1->setText(Utf8(app::ScopeVolts(s.VoltsIndex1).Text));
    VperDiv2->setText(Utf8(app::ScopeVolts(s.VoltsIndex2).Text));
    Panel3->setText(Utf8(app::ScopeTimebase(s.TimebaseIndex).Text));
    Label5->setText(QString());
    ShowScopeRate();

    // 6. the window's arrays for this block length and timebase
    if (w)
        w->SetupScope(QString(), s.SamplesPerSweep / 2, 10.0 * app::ScopeTimebase(s.TimebaseIndex).Value, 0.0, 8.0);

    // 7. run
    if (usable) {
        platform::PostMessage(this, platform::WM_SCOPE_NEXT);
        FilePrintItem->setEnabled(false);
    }
}

void TMainForm::LeaveScopePage()
{
    ScopeState &s = MS.Scope;
    SetScopeRunning(false);
    if (!s.PageShown)
        return;
    for (QAction *a : {Eichen1, AudioDevices1, AudioOutDevice1, AudioInParameter1, AudioOutParameter1, Kommentar1,
                       FilePrintItem})
        a->setEnabled(true);
    if (app::Oszidia)
        app::Oszidia->hide();
    // From here on a completion belongs to a visit that is over.
    s.PageShown = false;
    ++scopeRun_;
    FinishScopeBlockInFlight();
    audio::SetRates(s.SavedInputRate, 0);
    audio::SetBits(s.SavedInputBits, 0);
}

void TMainForm::FinishScopeBlockInFlight()
{
    // FinishCapture decodes with the input resolution of the moment, so the
    // block has to come in while the page's 16 bits still hold. The engine's
    // watchdog answers within a block plus three seconds, twice that when the
    // start waited behind another block. User input waits meanwhile, so the
    // page cannot be entered again half-way.
    const ScopeState &s = MS.Scope;
    const qint64 blockMs = qint64(s.SamplesPerSweep) * 1000 / std::max(s.SampleRate, 1);
    const qint64 limit = 2 * (blockMs + 3500);
    QElapsedTimer clock;
    clock.start();
    while (scopeInFlight_ && clock.elapsed() < limit) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (scopeInFlight_)
            QThread::msleep(1);
    }
}

void TMainForm::SetScopeRunning(bool on)
{
    MS.Scope.Running = on;
    OsziStartStop->setText(on ? QStringLiteral("Stop") : QStringLiteral("Start"));
}

void TMainForm::StopOrun() { SetScopeRunning(false); }

void TMainForm::StartOrun()
{
    if (!MS.Scope.PageShown)
        return;
    SetScopeRunning(true);
    platform::PostMessage(this, platform::WM_SCOPE_NEXT);
}

void TMainForm::OsziStartStopClick()
{
    if (MS.Scope.Running) {
        SetScopeRunning(false);
        return;
    }
    StartOrun();
}

void TMainForm::ScopeTimebaseStep(int step)
{
    ScopeState &s = MS.Scope;
    s.TimebaseIndex = std::clamp(s.TimebaseIndex + step, 1, app::kScopeTimebaseSteps);
    // A new timebase restarts a stopped oscilloscope.
    if (!s.Running)
        StartOrun();
}

void TMainForm::ScopeVoltsStep(int channel, int step)
{
    std::int32_t &index = channel == 1 ? MS.Scope.VoltsIndex1 : MS.Scope.VoltsIndex2;
    index = std::clamp(index + step, 1, app::kScopeVoltsSteps);
    (channel == 1 ? VperDiv1 : VperDiv2)->setText(Utf8(app::ScopeVolts(index).Text));
}

void TMainForm::ShowScopeRate()
{
    label11->setText(QStringLiteral("Samplefreq. "));
    SetTextColour(label11, Qt::black);
    Label12->setText(QString::number(std::lround(1.0 / double(MS.Scope.SamplePeriod))) + "Hz");
    scopeErrorShown_ = false;
}

void TMainForm::ScopeSampleError(int code)
{
    label11->setText(QStringLiteral("Sample error ") + QString::number(code));
    SetTextColour(label11, Qt::red);
    scopeErrorShown_ = true;
    SetScopeRunning(false);
}

void TMainForm::ChooseScopeRate()
{
    ScopeState &s = MS.Scope;
    if (s.TimebaseIndex == s.LastTimebase)
        return;
    const app::ScopeStep &tb = app::ScopeTimebase(s.TimebaseIndex);
    Panel3->setText(Utf8(tb.Text));
    const app::ScopeRate r =
        app::ChooseScopeRate(tb.Value, [](int rate) { return audio::QueryFormat(rate, 16, true); });
    s.SampleRate = r.Rate;
    s.SamplePeriod = 1.0f / float(r.Rate);
    s.SamplesPerSweep = r.Samples;
    audio::SetRates(r.Rate, 0);
    ShowScopeRate();
    if (app::Oszidia)
        app::Oszidia->SetupScope(QString(), r.Samples / 2, 10.0 * tb.Value, 0.0, 8.0);
    s.LastTimebase = s.TimebaseIndex;
}

void TMainForm::ScopeNext()
{
    ScopeState &s = MS.Scope;
    // A request posted before the page was left starts nothing.
    if (!s.PageShown)
        return;
    ChooseScopeRate();
    // One sweep at a time: the block in flight posts the next request.
    if (!s.Running || scopeInFlight_)
        return;
    // A capture still open (after a reset or a calibration) does not refuse
    // the start: the engine queues it and calls back either way.
    const int status = audio::StartCapture(s.SamplesPerSweep, scopeRun_, [this] { ScopeBlockReady(); });
    if (status != 0) {
        ScopeSampleError(status);
        return;
    }
    scopeInFlight_ = true;
    scopePeriod_ = s.SamplePeriod;
    if (scopeErrorShown_)
        ShowScopeRate();
}

void TMainForm::ScopeBlockReady()
{
    int count = 0, overloads = 0;
    std::uint32_t run = 0;
    const float *block = audio::FinishCapture(count, overloads, run);
    scopeInFlight_ = false;
    ScopeState &s = MS.Scope;
    if (run != scopeRun_ || !s.PageShown)
        return;
    if (!block) {
        ScopeSampleError(audio::AudioStatus());
        return;
    }
    // 1. overloads
    Label5->setText(overloads > 0 ? QStringLiteral("Over ") + QString::number(overloads) : QString());

    TOszidia *w = app::Oszidia;
    if (w && count >= 4) {
        const double fullScale = double(s.VoltsFullScale);
        const float vdiv1 = float(app::ScopeVolts(s.VoltsIndex1).Value);
        const float vdiv2 = float(app::ScopeVolts(s.VoltsIndex2).Value);
        const double s1 = fullScale / vdiv1, s2 = fullScale / vdiv2;
        const bool xy = s.TimebaseIndex == app::kScopeXYTimebase;
        // 2. trigger (X-Y operation starts at frame 0)
        const int channel = s.TriggerOnCh1 ? 0 : 1;
        const int start = xy ? 0
                             : app::ScopeTriggerStart(block, count, channel, channel == 0 ? s1 : s2, s.TriggerLevel,
                                                      s.RisingSlope);
        // 3.-5. points in divisions; frames start .. start + count/4 - 1 lie in the block
        const int points = count / 4;
        for (int i = 0; i < points; ++i) {
            const int j = start + i;
            const float y1 = float((s.Ground1 ? 0.0 : block[2 * j] * s1) + s.Position1);
            const float y2 = float((s.Ground2 ? 0.0 : block[2 * j + 1] * s2) + s.Position2);
            if (xy)
                w->StoreScopePoint(i, s.TriggerOnCh1, s.Position2, s.Position1, vdiv2, vdiv1, -1.0f - y2, 0.0f, y1);
            else
                w->StoreScopePoint(i, s.TriggerOnCh1, s.Position2, s.Position1, vdiv2, vdiv1,
                                   float(i * double(scopePeriod_)), y2, y1);
        }
        // 6. repaint
        w->update();
    }
    if (s.Running)
        platform::PostMessage(this, platform::WM_SCOPE_NEXT);
}
