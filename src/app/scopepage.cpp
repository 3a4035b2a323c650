// Oscilloscope page of the main window: its controls, entering and leaving
// the page (with
// the input format it borrows and gives back), its controls, Start/Stop, the
// chain of sweeps through WM_SCOPE_NEXT and the completion routine that turns
// a block into points of the oscilloscope window. Tables, rate choice and
// trigger search live in scoperun.
#include "app/scopepage.h"

#include "app/forms.h"
#include "app/pagehost.h"
#include "app/pagewidgets.h"
#include "app/scopegeometry.h"
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "display/scopewindow.h"
#include "measurement/scoperun.h"
#include "platform/runtime/messages.h"
#include "widgets/readout.h"
#include "widgets/spinbutton.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QThread>
#include <algorithm>
#include <cmath>

namespace app {

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

void ScopePage::buildControls()
{
    QWidget *page = this;
    auto *row = new QHBoxLayout(page);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(3);

    auto channel = [page](const char *name, const QString &title, QScrollBar *&pos, SpinButton *&spin,
                          QLabel *&vdiv, QCheckBox *&gnd, const char *posName, const char *spinName,
                          const char *vdivName, const char *gndName) {
        auto *box = Named(new QGroupBox(title, page), name);
        auto *l = new QGridLayout(box);
        l->setContentsMargins(4, 2, 4, 2);
        pos = Named(new QScrollBar(Qt::Vertical, box), posName);
        pos->setRange(-400, 400);
        pos->setAccessibleName(title + " position");
        spin = Named(new SpinButton(box), spinName);
        spin->setAccessibleName(title + " volts per division");
        vdiv = PlainLabel(vdivName, "100mV", box);
        vdiv->setFrameShape(QFrame::Panel);
        vdiv->setFrameShadow(QFrame::Sunken);
        platform::MarkReadout(vdiv, title + " volts per division");
        gnd = Named(new QCheckBox("Gnd", box), gndName);
        l->addWidget(pos, 0, 0, 3, 1);
        l->addWidget(vdiv, 0, 1);
        l->addWidget(spin, 0, 2);
        l->addWidget(gnd, 1, 1, 1, 2);
        l->setRowStretch(2, 1);
        return box;
    };
    ScopeChannel1 = channel("ScopeChannel1", "Channel 1 or Y", SCRyposCh1, SpinButton2, VperDiv1, CheckBox1,
                            "SCRyposCh1", "SpinButton2", "VperDiv1", "CheckBox1");
    ScopeChannel2 = channel("ScopeChannel2", "Channel 2 or X", SCRyposch2, SpinButton1, VperDiv2, CheckBox3,
                            "SCRyposch2", "SpinButton1", "VperDiv2", "CheckBox3");

    ScopeTimebase = Named(new QGroupBox("Timebase", page), "ScopeTimebase");
    auto *tl = new QGridLayout(ScopeTimebase);
    tl->setContentsMargins(4, 2, 4, 2);
    Panel3 = PlainLabel("Panel3", "500µs", ScopeTimebase);
    Panel3->setFrameShape(QFrame::Panel);
    Panel3->setFrameShadow(QFrame::Sunken);
    SpinButton3 = Named(new SpinButton(ScopeTimebase), "SpinButton3");
    SpinButton3->setAccessibleName("Timebase");
    Label5 = PlainLabel("Label5", ".", ScopeTimebase);
    label11 = PlainLabel("label11", "44100", ScopeTimebase);
    Label12 = PlainLabel("Label12", "Hz", ScopeTimebase);
    platform::MarkReadout(Panel3, "Timebase");
    platform::MarkReadout(Label5, "Overloads");
    platform::MarkReadout(label11, "Sample rate");
    SCRtrig = Named(new QScrollBar(Qt::Vertical, ScopeTimebase), "SCRtrig");
    SCRtrig->setRange(-200, 200);
    SCRtrig->setAccessibleName("Trigger level");
    CheckBox2 = Named(new QCheckBox("+ / -", ScopeTimebase), "CheckBox2");
    RadioButton1 = Named(new QRadioButton("Ch1", ScopeTimebase), "RadioButton1");
    RadioButton2 = Named(new QRadioButton("Ch2", ScopeTimebase), "RadioButton2");
    RadioButton1->setChecked(true);
    OsziStartStop = Named(new QPushButton("Start", ScopeTimebase), "OsziStartStop");
    tl->addWidget(Panel3, 0, 0);
    tl->addWidget(SpinButton3, 0, 1);
    tl->addWidget(label11, 1, 0);
    tl->addWidget(Label12, 1, 1);
    tl->addWidget(Label5, 2, 0, 1, 2);
    tl->addWidget(CheckBox2, 3, 0, 1, 2);
    tl->addWidget(RadioButton1, 4, 0);
    tl->addWidget(RadioButton2, 4, 1);
    tl->addWidget(OsziStartStop, 5, 0, 1, 2);
    tl->addWidget(SCRtrig, 0, 2, 6, 1);

    row->addWidget(ScopeChannel1);
    row->addWidget(ScopeChannel2);
    row->addWidget(ScopeTimebase);
    for (SpinButton *spin : {SpinButton1, SpinButton2, SpinButton3}) {
        spin->setFixedSize(20, 30);
        spin->setFocusPolicy(Qt::StrongFocus);
    }
    for (QLabel *panel : {VperDiv1, VperDiv2, Panel3}) {
        panel->setFixedHeight(30);
        panel->setMinimumWidth(60);
        panel->setAlignment(Qt::AlignCenter);
    }
}

ScopePage::ScopePage(PageHost &host, QWidget *parent) : QWidget(parent), host_(host)
{
    setObjectName("TabSheet3");
    buildControls();
    ScopeState &s = MS.Scope;
    connect(OsziStartStop, &QPushButton::clicked, this, &ScopePage::OsziStartStopClick);
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

void ScopePage::EnterScopePage()
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
    s.VoltsFullScale = measure::ScopeVoltsFullScale(MS.InputCalibration);
    audio::SetRates(s.SampleRate, 0);
    audio::SetBits(16, 0);
    s.SamplePeriod = 1.0f / float(s.SampleRate);
    // The device may have changed since the rate was chosen: choose again.
    s.LastTimebase = 999;
    const bool usable = InputDeviceUsable();
    SetScopeRunning(usable);

    // 3. menus
    host_.LockDeviceMenus(true);
    host_.EnableRemarkAndPrint(false);
    host_.EnableAnalysisMenu(false);

    // 4. the oscilloscope window beside the main window
    TOszidia *w = app::Oszidia;
    if (w) {
        QWidget *main = host_.HostWindow();
        int mainLeft = main->x();
        const app::WindowGeometry g = app::PlaceScopeWindow(MS.ScopeGeometry, mainLeft, main->y(), main->height());
        if (mainLeft != main->x())
            main->move(mainLeft, main->y());
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
    VperDiv1->setText(Utf8(measure::ScopeVolts(s.VoltsIndex1).Text));
    VperDiv2->setText(Utf8(measure::ScopeVolts(s.VoltsIndex2).Text));
    Panel3->setText(Utf8(measure::ScopeTimebase(s.TimebaseIndex).Text));
    Label5->setText(QString());
    ShowScopeRate();

    // 6. the window's arrays for this block length and timebase
    if (w)
        w->SetupScope(QString(), s.SamplesPerSweep / 2, 10.0 * measure::ScopeTimebase(s.TimebaseIndex).Value, 0.0, 8.0);

    // 7. run
    if (usable) {
        platform::PostMessage(host_.HostWindow(), platform::WM_SCOPE_NEXT);
        host_.EnableRemarkAndPrint(false);
    }
}

void ScopePage::LeaveScopePage()
{
    ScopeState &s = MS.Scope;
    SetScopeRunning(false);
    if (!s.PageShown)
        return;
    host_.LockDeviceMenus(false);
    host_.EnableRemarkAndPrint(true);
    if (app::Oszidia)
        app::Oszidia->hide();
    // From here on a completion belongs to a visit that is over.
    s.PageShown = false;
    ++scopeRun_;
    FinishScopeBlockInFlight();
    audio::SetRates(s.SavedInputRate, 0);
    audio::SetBits(s.SavedInputBits, 0);
}

void ScopePage::FinishScopeBlockInFlight()
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

void ScopePage::SetScopeRunning(bool on)
{
    MS.Scope.Running = on;
    OsziStartStop->setText(on ? QStringLiteral("Stop") : QStringLiteral("Start"));
}

void ScopePage::StopOrun() { SetScopeRunning(false); }

void ScopePage::StartOrun()
{
    if (!MS.Scope.PageShown)
        return;
    SetScopeRunning(true);
    platform::PostMessage(host_.HostWindow(), platform::WM_SCOPE_NEXT);
}

void ScopePage::OsziStartStopClick()
{
    if (MS.Scope.Running) {
        SetScopeRunning(false);
        return;
    }
    StartOrun();
}

void ScopePage::ScopeTimebaseStep(int step)
{
    ScopeState &s = MS.Scope;
    s.TimebaseIndex = std::clamp(s.TimebaseIndex + step, 1, measure::kScopeTimebaseSteps);
    // A new timebase restarts a stopped oscilloscope.
    if (!s.Running)
        StartOrun();
}

void ScopePage::ScopeVoltsStep(int channel, int step)
{
    std::int32_t &index = channel == 1 ? MS.Scope.VoltsIndex1 : MS.Scope.VoltsIndex2;
    index = std::clamp(index + step, 1, measure::kScopeVoltsSteps);
    (channel == 1 ? VperDiv1 : VperDiv2)->setText(Utf8(measure::ScopeVolts(index).Text));
}

void ScopePage::ShowScopeRate()
{
    label11->setText(QStringLiteral("Samplefreq. "));
    SetTextColour(label11, Qt::black);
    Label12->setText(QString::number(std::lround(1.0 / double(MS.Scope.SamplePeriod))) + "Hz");
    scopeErrorShown_ = false;
}

void ScopePage::ScopeSampleError(int code)
{
    label11->setText(QStringLiteral("Sample error ") + QString::number(code));
    SetTextColour(label11, Qt::red);
    scopeErrorShown_ = true;
    SetScopeRunning(false);
}

void ScopePage::ChooseScopeRate()
{
    ScopeState &s = MS.Scope;
    if (s.TimebaseIndex == s.LastTimebase)
        return;
    const measure::ScopeStep &tb = measure::ScopeTimebase(s.TimebaseIndex);
    Panel3->setText(Utf8(tb.Text));
    const measure::ScopeRate r =
        measure::ChooseScopeRate(tb.Value, [](int rate) { return audio::QueryFormat(rate, 16, true); });
    s.SampleRate = r.Rate;
    s.SamplePeriod = 1.0f / float(r.Rate);
    s.SamplesPerSweep = r.Samples;
    audio::SetRates(r.Rate, 0);
    ShowScopeRate();
    if (app::Oszidia)
        app::Oszidia->SetupScope(QString(), r.Samples / 2, 10.0 * tb.Value, 0.0, 8.0);
    s.LastTimebase = s.TimebaseIndex;
}

void ScopePage::ScopeNext()
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

void ScopePage::ScopeBlockReady()
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
        const float vdiv1 = float(measure::ScopeVolts(s.VoltsIndex1).Value);
        const float vdiv2 = float(measure::ScopeVolts(s.VoltsIndex2).Value);
        const double s1 = fullScale / vdiv1, s2 = fullScale / vdiv2;
        const bool xy = s.TimebaseIndex == measure::kScopeXYTimebase;
        // 2. trigger (X-Y operation starts at frame 0)
        const int channel = s.TriggerOnCh1 ? 0 : 1;
        const int start = xy ? 0
                             : measure::ScopeTriggerStart(block, count, channel, channel == 0 ? s1 : s2, s.TriggerLevel,
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
        platform::PostMessage(host_.HostWindow(), platform::WM_SCOPE_NEXT);
}

} // namespace app
