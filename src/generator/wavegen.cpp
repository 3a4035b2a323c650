#include "generator/wavegen.h"

#include "settings/measurementstate.h"
#include "audio/devices.h"
#include "dialogs/iodialog.h"
#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "audio/wavefileoutput.h"
#include "widgets/spinbutton.h"
#include "widgets/filedialog.h"
#include "platform/inifile.h"
#include "widgets/messagebox.h"
#include "widgets/radiogroup.h"
#include "widgets/readout.h"
#include "platform/runtime/utilities.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using audio::Generator;

namespace {

constexpr float kMaxFrequency = 48000.0f; // frequencies stay below this
const char *const kSection = "GEN";

template <typename W> W *Named(W *w, const char *name)
{
    w->setObjectName(name);
    return w;
}

QScrollBar *LevelBar(QWidget *parent, const char *name)
{
    auto *b = Named(new QScrollBar(Qt::Vertical, parent), name);
    b->setRange(0, 100);
    b->setPageStep(10);
    b->setMinimumHeight(90);
    return b;
}

QString LevelText(int position) { return position >= 100 ? QStringLiteral("OFF") : QString::number(-position) + "dB"; }

// Values are read as text of at most 29 characters.
constexpr std::size_t kValueBuffer = 30;

} // namespace

TWavegen::TWavegen(QWidget *parent) : QWidget(parent, Qt::Tool)
{
    setObjectName("Wavegen");
    setWindowTitle("Generator");

    Panel1 = Named(new QLabel(this), "Panel1");
    Panel1->setAutoFillBackground(true);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    GfreqText = Named(new QLineEdit(Panel1), "GfreqText");
    GfreqText->setFrame(false);
    GfreqText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont big = GfreqText->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    GfreqText->setFont(big);
    auto *pl = new QHBoxLayout(Panel1);
    pl->setContentsMargins(3, 3, 3, 3);
    pl->addWidget(GfreqText);
    GrobSpin = Named(new SpinButton(this), "GrobSpin");
    FeinSpin = Named(new SpinButton(this), "FeinSpin");
    GrobSpin->setFixedSize(16, 28);
    FeinSpin->setFixedSize(16, 28);
    GrobSpin->setToolTip("100 Hz");
    FeinSpin->setToolTip("1 Hz");

    ScrollBar4 = LevelBar(this, "ScrollBar4");
    ScrollBar1 = LevelBar(this, "ScrollBar1");
    ScrollBar2 = LevelBar(this, "ScrollBar2");
    Label1 = Named(new QLabel("L dig. R", this), "Label1");
    Label4 = Named(new QLabel("0dB", this), "Label4");
    Label6 = Named(new QLabel("0dB", this), "Label6");
    Label2 = Named(new QLabel("Ana.", this), "Label2");
    Label3 = Named(new QLabel("100%", this), "Label3");
    Label5 = Named(new QLabel(QString::fromUtf8("Phase°"), this), "Label5");
    phL = Named(new QLineEdit("0", this), "phL");
    phR = Named(new QLineEdit("0", this), "phR");
    phL->setMaximumWidth(40);
    phR->setMaximumWidth(40);

    RadioGroup1 = Named(new platform::RadioGroup("Form", this), "RadioGroup1");
    RadioGroup1->setItems({"Sin", "Sqr", "white", "pink", "User", "2-Tone"});
    UserBut = Named(new QPushButton("User", this), "UserBut");
    Gstart = Named(new QPushButton("Start", this), "Gstart");
    Gstop = Named(new QPushButton("Stop", this), "Gstop");
    WOoptBut = Named(new QPushButton("Opt.", this), "WOoptBut");
    PrecOut = Named(new QLabel("0", this), "PrecOut");
    PrecOut->setToolTip("Loop precision (1/1000 period)");
    platform::MarkReadout(PrecOut, "Loop precision (1/1000 period)");
    platform::MarkReadout(Label3, "Ana.");
    platform::MarkReadout(Label4, "L dig.");
    platform::MarkReadout(Label6, "R dig.");

    auto *freqRow = new QHBoxLayout;
    freqRow->addWidget(Panel1, 1);
    freqRow->addWidget(GrobSpin);
    freqRow->addWidget(FeinSpin);

    auto *levels = new QGridLayout;
    levels->addWidget(Label1, 0, 0, 1, 2, Qt::AlignHCenter);
    levels->addWidget(ScrollBar4, 1, 0, Qt::AlignHCenter);
    levels->addWidget(ScrollBar1, 1, 1, Qt::AlignHCenter);
    levels->addWidget(Label4, 2, 0);
    levels->addWidget(Label6, 2, 1);
    levels->addWidget(Label5, 3, 0, 1, 2, Qt::AlignHCenter);
    levels->addWidget(phL, 4, 0);
    levels->addWidget(phR, 4, 1);
    levels->addWidget(Label2, 0, 2, Qt::AlignHCenter);
    levels->addWidget(ScrollBar2, 1, 2, Qt::AlignHCenter);
    levels->addWidget(Label3, 2, 2);

    TwoToneStd = Named(new QComboBox(this), "TwoToneStd");
    TwoToneStd->addItems({"SMPTE", "DIN", "CCIF"});
    TwoToneStd->setAccessibleName("Two-tone standard");
    auto field = [this](const char *name, const char *caption) {
        auto *e = Named(new QLineEdit(this), name);
        e->setMaximumWidth(70);
        e->setAccessibleName(caption);
        return e;
    };
    TwoToneLow = field("TwoToneLow", "f1 Hz");
    TwoToneHigh = field("TwoToneHigh", "f2 Hz");
    TwoToneRatio = field("TwoToneRatio", "f1:f2");
    TwoToneCentre = field("TwoToneCentre", "Centre Hz");
    TwoToneSpacing = field("TwoToneSpacing", "Spacing Hz");
    TwoToneStatus = Named(new QLabel(this), "TwoToneStatus");
    TwoToneStatus->setWordWrap(true);
    platform::MarkReadout(TwoToneStatus, "Two-tone");
    auto *twoTone = new QGridLayout;
    auto caption = [this, twoTone](const char *text, QWidget *buddy, int row, int column) {
        auto *l = new QLabel(text, this);
        l->setBuddy(buddy);
        twoTone->addWidget(l, row, column);
        twoTone->addWidget(buddy, row, column + 1);
    };
    caption("2-Tone", TwoToneStd, 0, 0);
    caption("f1 Hz", TwoToneLow, 1, 0);
    caption("f2 Hz", TwoToneHigh, 1, 2);
    caption("f1:f2", TwoToneRatio, 0, 2);
    caption("Centre Hz", TwoToneCentre, 2, 0);
    caption("Spacing Hz", TwoToneSpacing, 2, 2);
    twoTone->addWidget(TwoToneStatus, 3, 0, 1, 4);

    auto *right = new QVBoxLayout;
    right->addWidget(RadioGroup1);
    right->addWidget(UserBut);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Gstart);
    buttons->addWidget(Gstop);
    buttons->addWidget(WOoptBut);
    buttons->addWidget(PrecOut);

    auto *middle = new QHBoxLayout;
    middle->addLayout(levels);
    middle->addLayout(right);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(freqRow);
    layout->addLayout(middle);
    layout->addLayout(twoTone);
    layout->addLayout(buttons);

    connect(GrobSpin, &SpinButton::upClick, this, &TWavegen::GrobSpinUpClick);
    connect(GrobSpin, &SpinButton::downClick, this, &TWavegen::GrobSpinDownClick);
    connect(FeinSpin, &SpinButton::upClick, this, &TWavegen::FeinSpinUpClick);
    connect(FeinSpin, &SpinButton::downClick, this, &TWavegen::FeinSpinDownClick);
    connect(GfreqText, &QLineEdit::textEdited, this, &TWavegen::GfreqTextChange);
    connect(GfreqText, &QLineEdit::editingFinished, this, &TWavegen::GfreqTextExit);
    connect(ScrollBar4, &QScrollBar::valueChanged, this, &TWavegen::levelChanged);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TWavegen::levelChanged);
    connect(ScrollBar2, &QScrollBar::valueChanged, this, &TWavegen::ScrollBar2Change);
    connect(phL, &QLineEdit::textChanged, this, &TWavegen::phaseChanged);
    connect(phR, &QLineEdit::textChanged, this, &TWavegen::phaseChanged);
    connect(RadioGroup1, &platform::RadioGroup::itemClicked, this, &TWavegen::RadioGroup1Click);
    connect(UserBut, &QPushButton::clicked, this, &TWavegen::UserButClick);
    connect(TwoToneStd, &QComboBox::activated, this, &TWavegen::TwoToneStdChange);
    for (QLineEdit *e : {TwoToneLow, TwoToneHigh, TwoToneRatio, TwoToneCentre, TwoToneSpacing})
        connect(e, &QLineEdit::editingFinished, this, &TWavegen::twoToneFieldsDone);
    connect(Gstart, &QPushButton::clicked, this, &TWavegen::GstartClick);
    connect(Gstop, &QPushButton::clicked, this, &TWavegen::GstopClick);
    connect(WOoptBut, &QPushButton::clicked, this, &TWavegen::WOoptButClick);
    connect(&audio::OutputEvents::instance(), &audio::OutputEvents::failed, this, &TWavegen::OutputFailed);

    LoadSettings();
    setRunningColours(false);
}

TWavegen::~TWavegen()
{
    SaveSettings();
    // Closing the window in the base destructor takes the focus from the
    // frequency field; its handlers must not run on a half-destroyed window.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

void TWavegen::closeEvent(QCloseEvent *e)
{
    SaveSettings();
    QWidget::closeEvent(e);
}

void TWavegen::SetLanguage(char language)
{
    if (language == 'D')
        errorPrefix_ = "Fehler bei Frequenzausgabe (";
    else if (language == 'E')
        errorPrefix_ = "Error in frequency output (";
}

// ---- settings ------------------------------------------------------------------

void TWavegen::LoadSettings()
{
    loading_ = true;
    audio::GeneratorSettings &g = Generator();
    platform::IniFile ini(platform::SettingsFileName());
    ini.load(); // an unreadable file reads as empty: every value takes its default
    const auto integer = [&](const char *key, const char *def) {
        return platform::ReadInteger(ini, kSection, key, def, kValueBuffer);
    };
    // beyond any sample rate (and the 30 characters it is read back through)
    const std::optional<double> f = platform::ReadReal(ini, kSection, "FGEN", "1000", kValueBuffer);
    g.Frequency = static_cast<float>(f && std::abs(*f) <= 1e6 ? *f : 1000.0);
    g.PhaseL = static_cast<std::int32_t>(integer("PHASEL", "0").value_or(0));
    g.PhaseR = static_cast<std::int32_t>(integer("PHASER", "0").value_or(0));
    g.LevelL = static_cast<std::int32_t>(std::clamp<long long>(integer("VOLL", "0").value_or(0), -100, 0));
    g.LevelR = static_cast<std::int32_t>(std::clamp<long long>(integer("VOLR", "0").value_or(0), -100, 0));
    const long long mode = integer("MODE", "0").value_or(0);
    g.Waveform = mode >= 0 && mode <= audio::WaveTwoTone ? static_cast<std::int32_t>(mode) : 0;
    // The two-tone signal: its standard's setup, then what the file says of it.
    const long long standard = integer("TTSTD", "0").value_or(0);
    twoTone_ = dsp::DefaultTwoTone(static_cast<dsp::TwoToneStandard>(standard >= 0 && standard <= 2 ? standard : 0));
    const auto real = [&](const char *key, double &value) {
        const std::optional<double> v = platform::ReadReal(ini, kSection, key, "", kValueBuffer);
        if (v && std::isfinite(*v) && *v > 0.0 && *v <= 1e6)
            value = *v;
    };
    real("TTLOW", twoTone_.lowHz);
    real("TTHIGH", twoTone_.highHz);
    real("TTRATIO", twoTone_.ratio);
    real("TTCENTRE", twoTone_.centreHz);
    real("TTSPACING", twoTone_.spacingHz);
    g.Loop = integer("BELOOP", "1").value_or(1) == 1;
    // The file name whole: one cut short would name (and play) another file.
    g.UserFile = ini.get(kSection, "UFNAME", "", 0);
    if (g.Loop && g.Frequency < 1.0f)
        g.Frequency = 1.0f;

    ScrollBar4->setValue(-g.LevelL);
    ScrollBar1->setValue(-g.LevelR);
    RadioGroup1->setItemIndex(g.Waveform);
    phL->setText(QString::number(g.PhaseL));
    phR->setText(QString::number(g.PhaseR));
    ScrollBar2->setValue(100 - std::clamp(g.AnalogVolume, 0, 100));
    showLevels();
    showTwoTone();
    showFrequency();
    loading_ = false;
}

void TWavegen::SaveSettings()
{
    const audio::GeneratorSettings &g = Generator();
    const std::string file = platform::SettingsFileName();
    auto put = [&](const char *key, const std::string &value) {
        platform::WritePrivateProfileString(kSection, key, value, file);
    };
    put("FGEN", platform::FormatFixed(g.Frequency, 2));
    put("PHASEL", std::to_string(g.PhaseL));
    put("PHASER", std::to_string(g.PhaseR));
    // The bar positions: the record's levels may carry the output correction.
    put("VOLL", std::to_string(-ScrollBar4->value()));
    put("VOLR", std::to_string(-ScrollBar1->value()));
    put("MODE", std::to_string(g.Waveform));
    put("BELOOP", g.Loop ? "1" : "0");
    put("UFNAME", g.UserFile);
    put("TTSTD", std::to_string(static_cast<int>(twoTone_.standard)));
    put("TTLOW", platform::FormatFixed(twoTone_.lowHz, 3));
    put("TTHIGH", platform::FormatFixed(twoTone_.highHz, 3));
    put("TTRATIO", platform::FormatFixed(twoTone_.ratio, 3));
    put("TTCENTRE", platform::FormatFixed(twoTone_.centreHz, 3));
    put("TTSPACING", platform::FormatFixed(twoTone_.spacingHz, 3));
}

// ---- apply -----------------------------------------------------------------------

int TWavegen::Apply(bool forceStart, bool refresh)
{
    // The sweep plays its own tone and puts the record back when it ends.
    if (sweepRunning_)
        return 0;
    audio::GeneratorSettings &g = Generator();
    g.LevelL = -ScrollBar4->value();
    g.LevelR = -ScrollBar1->value();
    setLevelControlsEnabled(true);
    int result = 0;
    if (audio::OutputRunning() || forceStart || g.FilePlaying) {
        if (g.Loop || g.FilePlaying)
            audio::StopOutput(); // a wave file plays through the engine's loop
        g.FilePlaying = false;
        if (g.Waveform == audio::WaveTwoTone) {
            result = startTwoTone(g);
        } else if (g.Waveform == audio::WaveUserFile) {
            setLevelControlsEnabled(false);
            const int r = audio::StartWaveFileOutput(g.UserFile);
            g.FilePlaying = r == 0;
            result = r == 0 ? 0 : 1;
        } else {
            if (g.Waveform == audio::WaveSine) {
                // The output correction lowers the level by its dB at the
                // frequency; a channel that is off stays off.
                const dsp::CorrectionCurve &c = app::MS.OutputCorrection;
                if (g.LevelL != -100)
                    g.LevelL = static_cast<std::int32_t>(std::lround(c.apply(1.0, g.Frequency, g.LevelL)));
                if (g.LevelR != -100)
                    g.LevelR = static_cast<std::int32_t>(std::lround(c.apply(1.0, g.Frequency, g.LevelR)));
            }
            result = audio::StartOutput(g, -1.0, g.Frequency);
        }
    }
    if (refresh)
        showFrequency();
    PrecOut->setText(QString::number(audio::LoopPrecision()));
    return result;
}

int TWavegen::startTwoTone(audio::GeneratorSettings &g)
{
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    dsp::TwoToneSetup setup = twoTone_;
    setup.levelDbfs = std::max(g.LevelL, g.LevelR);
    const dsp::DistortionStatus status = dsp::ValidateTwoTone(setup, rateOut);
    std::int64_t n1 = 0, n2 = 0;
    const dsp::TwoToneSignal sig = dsp::TwoToneSignalOf(setup);
    if (status != dsp::DistortionStatus::Ok || !audio::TwoTonePeriod(sig.f1Hz, sig.f2Hz, n1, n2)) {
        audio::StopOutput();
        TwoToneStatus->setText(QString::fromStdString(
            status != dsp::DistortionStatus::Ok ? dsp::TwoToneStatusText(status, setup, rateOut, 'E')
                                                : std::string("The two tones have no common period.")));
        return 1;
    }
    TwoToneStatus->clear();
    // The record's frequency stays the sine's (FGEN): the two tones are the
    // window's own setup.
    const float sine = g.Frequency;
    g.SecondFrequency = sig.f2Hz;
    g.ToneRatio = sig.a1 / sig.a2;
    const int r = audio::StartOutput(g, -1.0, static_cast<float>(sig.f1Hz));
    g.Frequency = sine;
    return r;
}

void TWavegen::TwoToneStdChange(int index)
{
    twoTone_ = dsp::DefaultTwoTone(static_cast<dsp::TwoToneStandard>(std::clamp(index, 0, 2)));
    showTwoTone();
    if (!loading_)
        Apply(false, true);
}

void TWavegen::twoToneFieldsDone()
{
    auto take = [](QLineEdit *e, double &value) {
        double v = 0.0;
        if (platform::ParseFloat(e->text().trimmed().toStdString(), v) && std::isfinite(v) && v > 0.0 && v <= 1e6)
            value = v;
    };
    take(TwoToneLow, twoTone_.lowHz);
    take(TwoToneHigh, twoTone_.highHz);
    take(TwoToneRatio, twoTone_.ratio);
    take(TwoToneCentre, twoTone_.centreHz);
    take(TwoToneSpacing, twoTone_.spacingHz);
    showTwoTone();
    if (!loading_)
        Apply(false, true);
}

void TWavegen::showTwoTone()
{
    const bool ccif = twoTone_.standard == dsp::TwoToneStandard::Ccif;
    TwoToneStd->setCurrentIndex(static_cast<int>(twoTone_.standard));
    auto show = [](QLineEdit *e, double v, bool on) {
        e->setText(QString::fromStdString(platform::FormatShortest(static_cast<float>(v))));
        e->setEnabled(on);
    };
    show(TwoToneLow, twoTone_.lowHz, !ccif);
    show(TwoToneHigh, twoTone_.highHz, !ccif);
    show(TwoToneRatio, twoTone_.ratio, !ccif);
    show(TwoToneCentre, twoTone_.centreHz, ccif);
    show(TwoToneSpacing, twoTone_.spacingHz, ccif);
}

// ---- frequency -------------------------------------------------------------------

void TWavegen::SetFrequency(float hz)
{
    Generator().Frequency = hz;
    showFrequency();
}

float TWavegen::ReadFrequency() const { return Generator().Frequency; }

void TWavegen::GrobSpinUpClick()
{
    float &f = Generator().Frequency;
    if (f + 100.0f < kMaxFrequency)
        f += 100.0f;
    Apply(false, true);
}

void TWavegen::GrobSpinDownClick()
{
    float &f = Generator().Frequency;
    if (f - 100.0f > 1.0f)
        f -= 100.0f;
    Apply(false, true);
}

void TWavegen::FeinSpinUpClick()
{
    float &f = Generator().Frequency;
    if (f + 1.0f < kMaxFrequency)
        f += 1.0f;
    Apply(false, true);
}

void TWavegen::FeinSpinDownClick()
{
    float &f = Generator().Frequency;
    if (f - 1.0f > 0.0f)
        f -= 1.0f;
    Apply(false, true);
}

void TWavegen::GfreqTextChange(const QString &text)
{
    QString t = text;
    const int hz = t.indexOf("Hz");
    if (hz >= 0)
        t.remove(hz, 2);
    double f = 0;
    if (!platform::ParseFloat(t.trimmed().toStdString(), f))
        return;
    if (f >= 1.0 && f < kMaxFrequency) {
        Generator().Frequency = static_cast<float>(f);
        Apply(false, false);
    }
}

void TWavegen::GfreqTextExit() { Apply(false, true); }

// ---- levels, phases, volume, waveform, file -----------------------------------------------

void TWavegen::levelChanged()
{
    showLevels();
    if (!loading_)
        Apply(false, true);
}

void TWavegen::phaseChanged()
{
    // While the settings are shown, the fields follow the record: reading
    // both back when the first is filled would take the second's old text.
    if (loading_)
        return;
    long long v = 0;
    audio::GeneratorSettings &g = Generator();
    if (platform::ParseInt(phL->text().trimmed().toStdString(), v))
        g.PhaseL = static_cast<std::int32_t>(v);
    if (platform::ParseInt(phR->text().trimmed().toStdString(), v))
        g.PhaseR = static_cast<std::int32_t>(v);
    Apply(false, true);
}

void TWavegen::ScrollBar2Change(int position)
{
    Generator().AnalogVolume = 100 - position;
    Label3->setText(QString::number(100 - position) + "%");
    if (loading_)
        return;
    // The analog volume is the mixer's: what the engine plays stays as it is.
    emit analogVolumeChanged(100 - position);
}

void TWavegen::SetAnalogVolume(int percent)
{
    const bool was = loading_;
    loading_ = true;
    ScrollBar2->setValue(100 - std::clamp(percent, 0, 100));
    loading_ = was;
}

void TWavegen::SetMixerControlsEnabled(bool on)
{
    ScrollBar2->setEnabled(on);
    Label3->setEnabled(on);
}

void TWavegen::RadioGroup1Click(int index)
{
    if (loading_)
        return;
    Generator().Waveform = index;
    Apply(false, true);
}

void TWavegen::UserButClick()
{
    platform::FileDialogRequest request;
    request.title = "Wave File";
    request.filter = "Wave File (*.wav);;All files (*)";
    request.initialName = QString::fromStdString(Generator().UserFile);
    const QString name = platform::AskFileName(this, request);
    if (name.isEmpty())
        return;
    Generator().UserFile = name.toStdString();
    Apply(false, true);
}

void TWavegen::WOoptButClick()
{
    if (Running() || !options_)
        return;
    options_->ForInput = false;
    options_->exec();
    Apply(false, true);
}

// ---- start and stop ---------------------------------------------------------------------------

bool TWavegen::Running() const { return audio::OutputRunning() || Generator().FilePlaying; }

void TWavegen::SetSweepRunning(bool running)
{
    if (running == sweepRunning_)
        return;
    sweepRunning_ = running;
    if (running) {
        for (QWidget *w : std::initializer_list<QWidget *>{GfreqText, GrobSpin, FeinSpin, ScrollBar4, ScrollBar1, phL,
                                                            phR, RadioGroup1, UserBut, Gstart, Gstop, WOoptBut, TwoToneStd,
                                                            TwoToneLow, TwoToneHigh, TwoToneRatio, TwoToneCentre,
                                                            TwoToneSpacing})
            if (w->isEnabled()) {
                w->setEnabled(false);
                sweepLocked_.append(w);
            }
    } else {
        for (QWidget *w : std::as_const(sweepLocked_))
            w->setEnabled(true);
        sweepLocked_.clear();
    }
}

void TWavegen::GstartClick()
{
    audio::GeneratorSettings &g = Generator();
    if (Running() || !(g.Frequency > 0.0f))
        return;
    g.Waveform = RadioGroup1->itemIndex();
    const int r = Apply(true, true);
    if (r != 0) {
        // A wave file that cannot play says why in the engine's log only.
        // Nor does a two-tone setup that cannot play: TwoToneStatus does.
        if (g.Waveform != audio::WaveUserFile && g.Waveform != audio::WaveTwoTone)
            platform::ShowMessage(this, platform::MessageKind::Error,
                                  errorPrefix_ + QString::fromStdString(audio::ErrorText(r)) + " )");
        return;
    }
    setRunningColours(true);
    WOoptBut->setEnabled(false);
    playing_ = true;
}

void TWavegen::OutputFailed(int code)
{
    // Only the output this window started is its business (the sweep
    // reports its own).
    if (!playing_)
        return;
    GstopClick();
    platform::ShowMessage(this, platform::MessageKind::Error,
                          errorPrefix_ + QString::fromStdString(audio::ErrorText(code)) + " )");
}

void TWavegen::GstopClick()
{
    playing_ = false;
    audio::StopOutput();
    Generator().FilePlaying = false;
    setRunningColours(false);
    WOoptBut->setEnabled(true);
    setLevelControlsEnabled(true);
}

// ---- display ------------------------------------------------------------------------------------

void TWavegen::showFrequency()
{
    const audio::GeneratorSettings &g = Generator();
    QPalette p = GfreqText->palette();
    p.setColor(QPalette::Text, g.Waveform == audio::WavePinkNoise ? Qt::magenta : Qt::yellow);
    GfreqText->setPalette(p);
    if (g.Waveform == audio::WaveWhiteNoise || g.Waveform == audio::WavePinkNoise)
        GfreqText->setText("Noise");
    else if (g.Waveform == audio::WaveUserFile)
        GfreqText->setText(QFileInfo(QString::fromStdString(g.UserFile)).fileName());
    else if (g.Waveform == audio::WaveTwoTone) {
        const dsp::TwoToneSignal sig = dsp::TwoToneSignalOf(twoTone_);
        GfreqText->setText(QString::fromStdString(std::string(dsp::TwoToneStandardName(twoTone_.standard)) + " " +
                                                  platform::FormatShortest(static_cast<float>(sig.f1Hz)) + " + " +
                                                  platform::FormatShortest(static_cast<float>(sig.f2Hz)) + " Hz"));
    }
    else
        GfreqText->setText(QString::number(g.Frequency, 'f', 2) + " Hz");
}

void TWavegen::showLevels()
{
    Label4->setText(LevelText(ScrollBar4->value()));
    Label6->setText(LevelText(ScrollBar1->value()));
}

void TWavegen::setRunningColours(bool running)
{
    // Dark red (0x000080 in the settings' BGR order) while running, else black.
    const QColor back = running ? QColor(128, 0, 0) : QColor(Qt::black);
    QPalette p = Panel1->palette();
    p.setColor(QPalette::Window, back);
    Panel1->setPalette(p);
    QPalette e = GfreqText->palette();
    e.setColor(QPalette::Base, back);
    GfreqText->setPalette(e);
}

void TWavegen::setLevelControlsEnabled(bool on)
{
    ScrollBar4->setEnabled(on);
    ScrollBar1->setEnabled(on);
    phL->setEnabled(on);
    phR->setEnabled(on);
}
