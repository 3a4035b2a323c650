// The sweep setup dialog (see sweepdialog.h).
#include "dialogs/sweepdialog.h"

#include "dialogs/distortionsweepbox.h"

#include "audio/audioengine.h"
#include "widgets/spinbutton.h"
#include "platform/inifile.h"
#include "widgets/radiogroup.h"
#include "widgets/messagebox.h"
#include "widgets/readout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace {

app::SweepMethod MethodOf(bool log, bool distortion)
{
    return log ? app::SweepMethod::LogSweep : distortion ? app::SweepMethod::Distortion : app::SweepMethod::Stepped;
}

// The sweep's ranges (settings/sweepsettings.h), in the spin buttons' 64-bit
// arithmetic.
constexpr std::int64_t kTopFrequency = app::kSweepFreqMax;
constexpr std::int64_t kRangeGap = app::kSweepFreqGap;
constexpr std::int64_t kMaxSettleMs = app::kSweepSettleMsMax;
constexpr int kMaxStepsTyped = 511;
constexpr int kMaxStepsSpun = app::kSweepStepsMax;
// The level arrow stops here; the generator treats this level as silence.
constexpr int kLevelOffTenths = -1000;

bool WholeNumber64(const QString &text, std::int64_t &out)
{
    long long v = 0;
    if (!platform::ParseInt(text.trimmed().toStdString(), v))
        return false;
    out = v;
    return true;
}

// A whole number that fits the record's 32-bit fields.
bool WholeNumber(const QString &text, std::int32_t &out)
{
    std::int64_t v = 0;
    if (!WholeNumber64(text, v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

// A number the record's single floats can hold.
bool SingleNumber(const QString &text, double &out)
{
    double v = 0;
    if (!platform::ParseFloat(text.trimmed().toStdString(), v) || std::fabs(v) > FLT_MAX)
        return false;
    out = v;
    return true;
}

std::int32_t ToInt32(std::int64_t v) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); }

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// The level in whole tenths of a dB, so repeated steps land exactly on -100.0.
// Levels far outside any useful range (typed by hand) are held to it first.
std::int64_t Tenths(float db) { return std::llround(std::clamp(static_cast<double>(db), -1e9, 1e9) * 10.0); }

QString LevelText(float db)
{
    if (db == static_cast<float>(kLevelOffTenths) / 10.0f)
        return QStringLiteral("Off");
    const QString text = QString::number(static_cast<double>(db), 'f', 1);
    return text == "-0.0" ? QStringLiteral("0.0") : text;
}

// Longest capture in ms: what a 262144-byte buffer holds at the output
// format, and at eight bytes per frame for the converted input. Rates or
// resolutions of 0 (no device) give no limit; "" when neither gives one.
QString MaxMeasureTime(int inRate, int outRate, int outBits)
{
    constexpr double kBufferMsBytes = 262144000.0;
    std::int64_t best = -1;
    const double outBytesPerSecond = outBits / 8.0 * 2.0 * outRate;
    if (outBytesPerSecond > 0)
        best = static_cast<std::int64_t>(kBufferMsBytes / outBytesPerSecond);
    if (inRate > 0) {
        const auto in = static_cast<std::int64_t>(kBufferMsBytes / (8.0 * inRate));
        best = best < 0 ? in : std::min(best, in);
    }
    return best < 0 ? QString() : QString::number(best) + "ms";
}

// The smoothing choices in the order of the list: off, then 1/48 .. 1/3 octave.
constexpr int kSmoothings[] = {0, 48, 24, 12, 6, 3};

int SmoothingIndex(int n)
{
    for (int i = 0; i < static_cast<int>(std::size(kSmoothings)); ++i)
        if (kSmoothings[i] == n)
            return i;
    return 0;
}

// Seconds and milliseconds with a decimal point, without trailing zeros.
QString DecimalText(double v) { return QString::number(v, 'g', 6); }

template <class W>
W *named(W *w, const char *name)
{
    w->setObjectName(name);
    return w;
}

} // namespace

Twobbeldlg::Twobbeldlg(QWidget *parent) : QDialog(parent)
{
    setObjectName("wobbeldlg");
    setModal(true);
    buildLayout();
    connectControls();
    SetLanguage('D');
    ShowRecord();
}

void Twobbeldlg::buildLayout()
{
    auto label = [this](const char *name, QWidget *parent = nullptr) {
        return named(new QLabel(parent ? parent : this), name);
    };
    auto edit = [this](const char *name, SpinButton *&spin, const char *spinName, const char *accessible,
                       QWidget *parent = nullptr) {
        QWidget *owner = parent ? parent : this;
        auto *e = named(new QLineEdit(owner), name);
        e->setMaximumWidth(80);
        e->setAccessibleName(accessible);
        spin = named(new SpinButton(owner), spinName);
        spin->setFixedSize(16, e->sizeHint().height());
        spin->setAccessibleName(QString(accessible) + " up/down");
        e->installEventFilter(this);
        spinOf_.insert(e, spin);
        return e;
    };
    auto pair = [](QLineEdit *e, SpinButton *s) {
        auto *h = new QHBoxLayout;
        h->setSpacing(0);
        h->addWidget(e);
        h->addWidget(s);
        h->addStretch();
        return h;
    };

    label1 = label("label1");
    Efrom = edit("Efrom", SpinButton1, "SpinButton1", "Frequency from");
    Eto = edit("Eto", SpinButton2, "SpinButton2", "Frequency to");
    Label2 = label("Label2");
    Esteps = edit("Esteps", SpinButton3, "SpinButton3", "Step count");
    Label2->setBuddy(Esteps);

    GroupBox1 = named(new QGroupBox(this), "GroupBox1");
    linearbut = named(new QRadioButton("linear", GroupBox1), "linearbut");
    logbutton = named(new QRadioButton(GroupBox1), "logbutton");
    auto *g1 = new QVBoxLayout(GroupBox1);
    g1->addWidget(linearbut);
    g1->addWidget(logbutton);

    MessungRb = named(new platform::RadioGroup(QString(), this), "MessungRb");
    MessungRb->setItems({"Mono, links Ref.", "Mono, rechts Ref.", "Stereo, keine Ref."});

    GroupBox2 = named(new QGroupBox("Phase", this), "GroupBox2");
    PhaseBut = named(new QCheckBox(GroupBox2), "PhaseBut");
    Label3 = label("Label3", GroupBox2);
    Label3->setText("min     Phase     max");
    EPmin = edit("EPmin", SpinBpmin, "SpinBpmin", "Phase min", GroupBox2);
    EPmax = edit("EPmax", SpinBpmax, "SpinBpmax", "Phase max", GroupBox2);
    auto *g2 = new QGridLayout(GroupBox2);
    g2->addWidget(PhaseBut, 0, 0, 1, 2);
    g2->addWidget(Label3, 1, 0, 1, 2);
    g2->addLayout(pair(EPmin, SpinBpmin), 2, 0);
    g2->addLayout(pair(EPmax, SpinBpmax), 2, 1);

    Label8 = label("Label8");
    digPeg = edit("digPeg", SpinButton4, "SpinButton4", "Level dig.");
    Label8->setBuddy(digPeg);

    // The timing row reads as a small diagram: start of the sine, the
    // settling time, then the capture of at most `messzeit`.
    Sstart = edit("Sstart", SpinButton5, "SpinButton5", "Settling time ms");
    Label11 = label("Label11");
    messzeit = label("messzeit");
    platform::MarkReadout(messzeit, "max. Meas. Time");
    auto *timing = new QHBoxLayout;
    auto *startSine = new QVBoxLayout;
    startSine->addWidget(named(new QLabel("Start", this), "StartText"));
    startSine->addWidget(named(new QLabel("Sinus", this), "SinusText"));
    timing->addLayout(startSine);
    timing->addWidget(named(new QLabel("--------->", this), "SettleArrow"));
    timing->addLayout(pair(Sstart, SpinButton5));
    timing->addWidget(named(new QLabel("ms", this), "SettleUnit"));
    timing->addWidget(named(new QLabel("--->", this), "CaptureArrow"));
    auto *measure = new QVBoxLayout;
    measure->addWidget(Label11);
    measure->addWidget(messzeit);
    timing->addLayout(measure);
    timing->addStretch();

    GroupBox3 = named(new QGroupBox(this), "GroupBox3");
    Label6 = label("Label6", GroupBox3);
    Label7 = label("Label7", GroupBox3);
    Label4 = label("Label4", GroupBox3);
    Label5 = label("Label5", GroupBox3);
    Label4->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label5->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The correction files' names, shown as they are, never as markup.
    Label4->setTextFormat(Qt::PlainText);
    Label5->setTextFormat(Qt::PlainText);
    auto *g3 = new QGridLayout(GroupBox3);
    g3->addWidget(Label6, 0, 0);
    g3->addWidget(Label4, 0, 1);
    g3->addWidget(Label7, 1, 0);
    g3->addWidget(Label5, 1, 1);
    g3->setColumnStretch(1, 1);

    LogSweepBox = named(new QGroupBox(this), "LogSweepBox");
    MethodStepped = named(new QRadioButton(LogSweepBox), "MethodStepped");
    MethodLog = named(new QRadioButton(LogSweepBox), "MethodLog");
    MethodDistortion = named(new QRadioButton(LogSweepBox), "MethodDistortion");
    DistBox = new dialogs::DistortionSweepBox(this);
    LogSecondsLabel = label("LogSecondsLabel", LogSweepBox);
    LogSeconds = named(new QLineEdit(LogSweepBox), "LogSeconds");
    LogAveragesLabel = label("LogAveragesLabel", LogSweepBox);
    LogAverages = named(new QSpinBox(LogSweepBox), "LogAverages");
    LogAverages->setRange(1, dsp::kLogSweepMaxAverages);
    LogWindowLabel = label("LogWindowLabel", LogSweepBox);
    LogWindowMs = named(new QLineEdit(LogSweepBox), "LogWindowMs");
    LogSmoothingLabel = label("LogSmoothingLabel", LogSweepBox);
    LogSmoothing = named(new QComboBox(LogSweepBox), "LogSmoothing");
    LogSmoothing->addItems({QString(), "1/48", "1/24", "1/12", "1/6", "1/3"});
    LogHarmonics = named(new QCheckBox(LogSweepBox), "LogHarmonics");
    for (QLineEdit *e : {LogSeconds, LogWindowMs})
        e->setMaximumWidth(80);
    LogSecondsLabel->setBuddy(LogSeconds);
    LogAveragesLabel->setBuddy(LogAverages);
    LogWindowLabel->setBuddy(LogWindowMs);
    LogSmoothingLabel->setBuddy(LogSmoothing);
    auto *g4 = new QGridLayout(LogSweepBox);
    g4->addWidget(MethodStepped, 0, 0);
    g4->addWidget(MethodLog, 0, 1, 1, 3);
    g4->addWidget(LogSecondsLabel, 1, 0);
    g4->addWidget(LogSeconds, 1, 1);
    g4->addWidget(LogAveragesLabel, 1, 2);
    g4->addWidget(LogAverages, 1, 3);
    g4->addWidget(LogWindowLabel, 2, 0);
    g4->addWidget(LogWindowMs, 2, 1);
    g4->addWidget(LogSmoothingLabel, 2, 2);
    g4->addWidget(LogSmoothing, 2, 3);
    g4->addWidget(LogHarmonics, 3, 0, 1, 4);
    g4->addWidget(MethodDistortion, 4, 0, 1, 4);

    defaultBtn = named(new QPushButton("default", this), "default");
    OKBtn = named(new QPushButton("OK", this), "OKBtn");
    CancelBtn = named(new QPushButton("Abbruch", this), "CancelBtn");
    HelpBtn = named(new QPushButton(this), "HelpBtn");
    for (QPushButton *b : {defaultBtn, CancelBtn, HelpBtn})
        b->setAutoDefault(false);
    OKBtn->setDefault(true);

    auto *grid = new QGridLayout(this);
    grid->addWidget(label1, 0, 0, 1, 2);
    // The caption's blanks put "bis"/"to" above the second edit.
    auto *range = new QHBoxLayout;
    range->setSpacing(0);
    range->addWidget(Efrom);
    range->addWidget(SpinButton1);
    range->addSpacing(40);
    range->addWidget(Eto);
    range->addWidget(SpinButton2);
    range->addStretch();
    grid->addLayout(range, 1, 0, 1, 2);
    grid->addWidget(Label2, 2, 0);
    grid->addLayout(pair(Esteps, SpinButton3), 2, 1);
    grid->addWidget(GroupBox1, 3, 0);
    grid->addWidget(MessungRb, 3, 1);
    grid->addWidget(GroupBox2, 4, 0);
    auto *level = new QVBoxLayout;
    level->addWidget(Label8);
    level->addLayout(pair(digPeg, SpinButton4));
    level->addStretch();
    grid->addLayout(level, 4, 1);
    grid->addLayout(timing, 5, 0, 1, 2);
    grid->addWidget(GroupBox3, 6, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(defaultBtn);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(HelpBtn);
    grid->addWidget(LogSweepBox, 7, 0, 1, 2);
    grid->addWidget(DistBox, 8, 0, 1, 2);
    grid->addLayout(buttons, 9, 0, 1, 2);

    // The tab order is the creation order above; the arrows are reached
    // through Up and Down in their edits.
}

void Twobbeldlg::connectControls()
{
    auto onText = [this](QLineEdit *e, void (Twobbeldlg::*handler)(const QString &)) {
        connect(e, &QLineEdit::textChanged, this, [this, handler](const QString &t) {
            if (!showing_)
                (this->*handler)(t);
        });
    };
    onText(Efrom, &Twobbeldlg::EfromChange);
    onText(Eto, &Twobbeldlg::EtoChange);
    onText(Esteps, &Twobbeldlg::EstepsChange);
    onText(EPmin, &Twobbeldlg::EPminChange);
    onText(EPmax, &Twobbeldlg::EPmaxChange);
    onText(digPeg, &Twobbeldlg::digPegChange);
    onText(Sstart, &Twobbeldlg::SstartChange);

    auto onSpin = [this](SpinButton *s, void (Twobbeldlg::*step)(int)) {
        connect(s, &SpinButton::upClick, this, [this, step] { (this->*step)(1); });
        connect(s, &SpinButton::downClick, this, [this, step] { (this->*step)(-1); });
    };
    onSpin(SpinButton1, &Twobbeldlg::SpinFrom);
    onSpin(SpinButton2, &Twobbeldlg::SpinTo);
    onSpin(SpinButton3, &Twobbeldlg::SpinSteps);
    onSpin(SpinBpmin, &Twobbeldlg::SpinPhaseMin);
    onSpin(SpinBpmax, &Twobbeldlg::SpinPhaseMax);
    onSpin(SpinButton4, &Twobbeldlg::SpinLevel);
    onSpin(SpinButton5, &Twobbeldlg::SpinSettle);

    connect(linearbut, &QRadioButton::toggled, this, [this] {
        if (!showing_)
            work_.Linear = linearbut->isChecked();
    });
    connect(MessungRb, &platform::RadioGroup::itemClicked, this, &Twobbeldlg::MessungRbClick);
    connect(PhaseBut, &QCheckBox::toggled, this, &Twobbeldlg::PhaseButClick);
    connect(defaultBtn, &QPushButton::clicked, this, &Twobbeldlg::defaultClick);
    connect(OKBtn, &QPushButton::clicked, this, &Twobbeldlg::OKBtnClick);
    // The log sweep's fields: a value that passes its range is stored at once.
    for (QRadioButton *b : {MethodStepped, MethodLog, MethodDistortion})
        connect(b, &QRadioButton::toggled, this, [this] {
            if (showing_)
                return;
            work_.Log.Method = MethodOf(MethodLog->isChecked(), MethodDistortion->isChecked());
            ApplyMethodRules();
        });
    connect(LogSeconds, &QLineEdit::textChanged, this, [this](const QString &t) {
        double v = 0.0;
        if (!showing_ && platform::ParseFloat(t.trimmed().toStdString(), v) && v >= app::kLogSweepSecondsMin &&
            v <= app::kLogSweepSecondsMax)
            work_.Log.Seconds = v;
    });
    connect(LogWindowMs, &QLineEdit::textChanged, this, [this](const QString &t) {
        double v = 0.0;
        if (!showing_ && platform::ParseFloat(t.trimmed().toStdString(), v) && v >= app::kLogSweepWindowMsMin &&
            v <= app::kLogSweepWindowMsMax)
            work_.Log.WindowMs = v;
    });
    connect(LogAverages, &QSpinBox::valueChanged, this, [this](int v) {
        if (!showing_)
            work_.Log.Averages = v;
    });
    connect(LogSmoothing, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!showing_ && i >= 0 && i < static_cast<int>(std::size(kSmoothings)))
            work_.Log.Smoothing = kSmoothings[i];
    });
    connect(LogHarmonics, &QCheckBox::toggled, this, [this](bool on) {
        if (!showing_)
            work_.Log.Harmonics = on;
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QPushButton::clicked, this, [this] { emit helpRequested(kHelpContext); });
}

void Twobbeldlg::SetLanguage(char language)
{
    const bool de = language == 'D';
    if (!de && language != 'E')
        return;
    auto t = [de](const char *g, const char *e) { return QString::fromUtf8(de ? g : e); };
    setWindowTitle(t("Wobbel Dialog", "Wobbel dialog"));
    label1->setText(t("Frequenz von                 bis", "Frequency from                to"));
    Label2->setText(t("Anzahl Steps", "Step count"));
    GroupBox1->setTitle(t("Frequenzerzeugung", "Frequencygenerating"));
    logbutton->setText(t("logarithmisch", "logarithm"));
    MessungRb->setTitle(t("Messung", "Measurement"));
    MessungRb->setItemTexts(de ? QStringList{"Mono, links Ref.", "Mono, rechts Ref.", "Stereo, keine Ref."}
                               : QStringList{"Mono, left ref.", "Mono, right ref.", "Stereo, no ref."});
    PhaseBut->setText(t("Messung", "measurement"));
    Label8->setText(t("Pegel dig.", "Level dig."));
    Label11->setText(t("max. Messzeit", "max. Meas. Time"));
    GroupBox3->setTitle(t("Korrektur Dateien", "Correction files"));
    Label6->setText(t("Eingang:", "Input:"));
    Label7->setText(t("Ausgang:", "Output:"));
    HelpBtn->setText(t("Hilfe", "Help"));
    LogSweepBox->setTitle(t("Methode", "Method"));
    MethodStepped->setText(t("Stufen (Sinus je Frequenz)", "Stepped (one sine per frequency)"));
    MethodLog->setText(t("Log-Sweep (Impulsantwort, Oberwellen)", "Log sweep (impulse response, harmonics)"));
    MethodDistortion->setText(t("Verzerrungen (THD+N, THD je Frequenz oder Pegel)",
                                "Distortion (THD+N, THD per frequency or level)"));
    DistBox->SetLanguage(language);
    LogSecondsLabel->setText(t("Dauer s", "Length s"));
    LogAveragesLabel->setText(t("Mittelungen", "Averages"));
    LogWindowLabel->setText(t("Zeitfenster ms", "Time window ms"));
    LogSmoothingLabel->setText(t("Glättung", "Smoothing"));
    LogSmoothing->setItemText(0, t("aus", "off"));
    LogHarmonics->setText(t("Oberwellen H2..H5 und THD zeigen", "Show harmonics H2..H5 and THD"));
    language_ = language;
}

void Twobbeldlg::Open(const app::SweepSettings &record, const dsp::CorrectionCurve &input,
                      const dsp::CorrectionCurve &output)
{
    work_ = record;
    ShowRecord();
    Label4->setText(QString::fromStdString(input.fileName()));
    Label4->setEnabled(input.active());
    Label5->setText(QString::fromStdString(output.fileName()));
    Label5->setEnabled(output.active());
    int inRate = 0, outRate = 0, inBits = 0, outBits = 0;
    audio::GetRates(inRate, outRate);
    audio::GetBits(inBits, outBits); // a stored 32 comes back as 24
    messzeit->setText(MaxMeasureTime(inRate, outRate, outBits));
    rate_ = inRate;
}

void Twobbeldlg::Take(app::SweepSettings &record)
{
    app::SweepSettings &w = work_;
    w.Linear = linearbut->isChecked();
    w.PhaseOn = PhaseBut->isChecked();

    std::int32_t i = 0;
    if (WholeNumber(EPmin->text(), i))
        w.PhaseMin = static_cast<float>(i);
    if (WholeNumber(EPmax->text(), i))
        w.PhaseMax = static_cast<float>(i);
    w.PhaseMin = std::max(w.PhaseMin, -180.0f);
    w.PhaseMax = std::min(w.PhaseMax, 180.0f);
    if (w.PhaseMin >= w.PhaseMax)
        w.PhaseMin = w.PhaseMax - 1.0f;
    if (w.PhaseMax <= w.PhaseMin)
        w.PhaseMax = w.PhaseMin + 1.0f;

    double d = 0.0;
    if (SingleNumber(digPeg->text(), d))
        w.LevelDig = static_cast<float>(d);
    std::int64_t settle = w.SettleMs;
    WholeNumber64(Sstart->text(), settle); // keeps the old value when it does not parse
    w.SettleMs = ToInt32(settle);
    if (WholeNumber(Efrom->text(), i))
        w.FreqFrom = i;
    if (WholeNumber(Eto->text(), i))
        w.FreqTo = i;
    if (WholeNumber(Esteps->text(), i))
        w.Steps = i;
    // Level, settling time, range and step count into the sweep's ranges (the
    // step count the spin button reaches is the most a sweep takes).
    app::RepairSweepParameters(w);

    showing_ = true;
    MessungRb->setItemIndex(w.Mode);
    showing_ = false;
    ApplyModeRules();

    record.Linear = w.Linear;
    record.PhaseOn = w.PhaseOn;
    record.Mode = w.Mode;
    record.SettleMs = w.SettleMs;
    record.CaptureSamples = w.CaptureSamples;
    record.Steps = w.Steps;
    record.FreqFrom = w.FreqFrom;
    record.FreqTo = w.FreqTo;
    record.PhaseMin = w.PhaseMin;
    record.PhaseMax = w.PhaseMax;
    record.LevelDig = w.LevelDig;

    double v = 0.0;
    if (platform::ParseFloat(LogSeconds->text().trimmed().toStdString(), v))
        w.Log.Seconds = v;
    if (platform::ParseFloat(LogWindowMs->text().trimmed().toStdString(), v))
        w.Log.WindowMs = v;
    w.Log.Method = MethodOf(MethodLog->isChecked(), MethodDistortion->isChecked());
    w.Log.Averages = LogAverages->value();
    w.Log.Smoothing = kSmoothings[std::clamp(LogSmoothing->currentIndex(), 0, 5)];
    w.Log.Harmonics = LogHarmonics->isChecked();
    app::RepairLogSweepSettings(w.Log);
    record.Log = w.Log;
    DistBox->Take(w.Dist);
    record.Dist = w.Dist;
}

QString Twobbeldlg::LogSweepProblem() const
{
    if (work_.Log.Method != app::SweepMethod::LogSweep || rate_ <= 0)
        return {};
    const dsp::LogSweepCheck check = dsp::CheckLogSweep(app::LogSweepParametersOf(work_, work_.Log), rate_);
    return QString::fromStdString(dsp::LogSweepProblemText(check, language_));
}

void Twobbeldlg::OKBtnClick()
{
    // The fields as typed: a value outside its range was not taken into the
    // working copy, and OK repairs it the way Take does.
    app::SweepSettings typed;
    Take(typed);
    const QString problem = LogSweepProblem();
    if (!problem.isEmpty()) {
        platform::ShowMessage(this, platform::MessageKind::Warning, problem);
        return;
    }
    accept();
}

void Twobbeldlg::ApplyMethodRules()
{
    const bool log = work_.Log.Method == app::SweepMethod::LogSweep;
    const bool distortion = work_.Log.Method == app::SweepMethod::Distortion;
    for (QWidget *w : std::initializer_list<QWidget *>{LogSeconds, LogAverages, LogWindowMs, LogSmoothing,
                                                        LogHarmonics, LogSecondsLabel, LogAveragesLabel,
                                                        LogWindowLabel, LogSmoothingLabel})
        w->setEnabled(log);
    // The step count and the settling time are the stepped sweep's only.
    for (QWidget *w : std::initializer_list<QWidget *>{Esteps, SpinButton3, Label2, Sstart, SpinButton5})
        w->setEnabled(!log && !distortion);
    DistBox->setEnabled(distortion);
}

void Twobbeldlg::ShowRecord()
{
    const app::SweepSettings &w = work_;
    showing_ = true;
    Efrom->setText(QString::number(w.FreqFrom));
    Eto->setText(QString::number(w.FreqTo));
    Esteps->setText(QString::number(w.Steps));
    linearbut->setChecked(w.Linear);
    logbutton->setChecked(!w.Linear);
    MessungRb->setItemIndex(w.Mode);
    PhaseBut->setChecked(w.PhaseOn);
    EPmin->setText(QString::number(std::llround(w.PhaseMin)));
    EPmax->setText(QString::number(std::llround(w.PhaseMax)));
    digPeg->setText(LevelText(w.LevelDig));
    Sstart->setText(QString::number(w.SettleMs));
    MethodStepped->setChecked(w.Log.Method == app::SweepMethod::Stepped);
    MethodLog->setChecked(w.Log.Method == app::SweepMethod::LogSweep);
    MethodDistortion->setChecked(w.Log.Method == app::SweepMethod::Distortion);
    DistBox->Show(w.Dist);
    LogSeconds->setText(DecimalText(w.Log.Seconds));
    LogWindowMs->setText(DecimalText(w.Log.WindowMs));
    LogAverages->setValue(w.Log.Averages);
    LogSmoothing->setCurrentIndex(SmoothingIndex(w.Log.Smoothing));
    LogHarmonics->setChecked(w.Log.Harmonics);
    ApplyModeRules();
    ApplyMethodRules();
    showing_ = false;
}

void Twobbeldlg::ApplyModeRules()
{
    const bool phase = work_.Mode == 0 || work_.Mode == 1;
    for (QWidget *w : std::initializer_list<QWidget *>{PhaseBut, SpinBpmin, SpinBpmax, EPmin, EPmax})
        w->setEnabled(phase);
    if (!phase)
        PhaseBut->setChecked(false);
}

void Twobbeldlg::EfromChange(const QString &text)
{
    std::int32_t v = 0;
    if (WholeNumber(text, v) && v >= 1 && v < work_.FreqTo)
        work_.FreqFrom = v;
}

void Twobbeldlg::EtoChange(const QString &text)
{
    std::int32_t v = 0;
    if (WholeNumber(text, v) && v > work_.FreqFrom)
        work_.FreqTo = v;
}

void Twobbeldlg::EstepsChange(const QString &text)
{
    std::int32_t v = 0;
    if (WholeNumber(text, v) && v >= 1 && v <= kMaxStepsTyped)
        work_.Steps = v;
}

void Twobbeldlg::EPminChange(const QString &text)
{
    std::int32_t v = 0;
    if (WholeNumber(text, v) && v >= -360 && static_cast<float>(v) < work_.PhaseMax)
        work_.PhaseMin = static_cast<float>(v);
}

void Twobbeldlg::EPmaxChange(const QString &text)
{
    std::int32_t v = 0;
    if (WholeNumber(text, v) && v <= 360 && static_cast<float>(v) > work_.PhaseMin)
        work_.PhaseMax = static_cast<float>(v);
}

void Twobbeldlg::digPegChange(const QString &text)
{
    double v = 0.0;
    if (SingleNumber(text, v))
        work_.LevelDig = static_cast<float>(v);
}

void Twobbeldlg::SstartChange(const QString &text)
{
    std::int32_t v = 0;
    if (WholeNumber(text, v))
        work_.SettleMs = v;
}

void Twobbeldlg::MessungRbClick(int index)
{
    if (showing_)
        return;
    work_.Mode = index;
    ApplyModeRules();
}

void Twobbeldlg::PhaseButClick(bool checked)
{
    if (showing_)
        return;
    if (checked && work_.Mode == 2) {
        PhaseBut->setChecked(false); // no reference channel to measure against
        return;
    }
    work_.PhaseOn = checked;
}

void Twobbeldlg::defaultClick()
{
    app::SweepSettings &w = work_;
    w.FreqFrom = 10;
    w.FreqTo = 20000;
    w.Steps = 50;
    w.CaptureSamples = 8000;
    w.PhaseOn = false;
    w.PhaseMin = -90.0f;
    w.PhaseMax = 90.0f;
    w.LevelDig = 0.0f;
    w.SettleMs = 100;
    w.Mode = 0;
    const app::SweepMethod method = w.Log.Method; // the method stays as chosen
    w.Log = app::LogSweepSettings{};
    w.Log.Method = method;
    ShowRecord();
}

void Twobbeldlg::SpinFrom(int up)
{
    const std::int64_t from = work_.FreqFrom;
    if (up < 0)
        work_.FreqFrom = from - 10 < 2 ? 1 : ToInt32(from - 10);
    else if (from < work_.FreqTo)
        work_.FreqFrom = ToInt32(FloorDiv(from + 10, 10) * 10);
    ShowRecord();
}

void Twobbeldlg::SpinTo(int up)
{
    const std::int64_t to = work_.FreqTo;
    if (up < 0 && work_.FreqFrom + kRangeGap < to)
        work_.FreqTo = ToInt32(to - kRangeGap);
    else if (up > 0 && to < kTopFrequency)
        work_.FreqTo = ToInt32(to + kRangeGap);
    ShowRecord();
}

void Twobbeldlg::SpinSteps(int up)
{
    work_.Steps = ToInt32(std::clamp<std::int64_t>(std::int64_t{work_.Steps} + up, 1, kMaxStepsSpun));
    ShowRecord();
}

void Twobbeldlg::SpinPhaseMin(int up)
{
    if (up < 0 && work_.PhaseMin > -180.0f)
        work_.PhaseMin -= 1.0f;
    else if (up > 0 && work_.PhaseMin < 0.0f)
        work_.PhaseMin += 1.0f;
    ShowRecord();
}

void Twobbeldlg::SpinPhaseMax(int up)
{
    if (up < 0 && work_.PhaseMax > 0.0f)
        work_.PhaseMax -= 1.0f;
    else if (up > 0 && work_.PhaseMax < 180.0f)
        work_.PhaseMax += 1.0f;
    ShowRecord();
}

void Twobbeldlg::SpinLevel(int up)
{
    const float db = work_.LevelDig;
    if (up < 0 && db > static_cast<float>(kLevelOffTenths) / 10.0f)
        work_.LevelDig = static_cast<float>(std::max<std::int64_t>(Tenths(db) - 1, kLevelOffTenths)) / 10.0f;
    else if (up > 0 && db < 0.0f)
        work_.LevelDig = static_cast<float>(std::min<std::int64_t>(Tenths(db) + 1, 0)) / 10.0f;
    ShowRecord();
}

void Twobbeldlg::SpinSettle(int up)
{
    work_.SettleMs = ToInt32(std::clamp<std::int64_t>(std::int64_t{work_.SettleMs} + up, 0, kMaxSettleMs));
    ShowRecord();
}

bool Twobbeldlg::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        SpinButton *spin = spinOf_.value(watched);
        if (spin && (key == Qt::Key_Up || key == Qt::Key_Down)) {
            if (key == Qt::Key_Up)
                emit spin->upClick();
            else
                emit spin->downClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
