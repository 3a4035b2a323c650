#include "dialogs/calibrationdialog.h"

#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "widgets/messagebox.h"
#include "platform/runtime/messages.h"
#include "platform/numbers.h"
#include "widgets/readout.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Posted to the dialog itself: start the next capture of the live reading.
constexpr unsigned kStartReading = platform::WM_USER + 20;

struct Texts {
    QString WrongValue, NotStarted, StartFailed, SampleFailed;
};
Texts texts{"Eichwert falsch", "Kein Eichvorgang gestartet", "Probleme beim Sample (",
            "Probleme beim Beginn Samplen ("};

template <class W>
W *named(W *w, const char *name)
{
    w->setObjectName(name);
    return w;
}

void Send(QObject *target, unsigned msg)
{
    if (!target)
        return;
    platform::WindowMessageEvent e(msg, 0, 0);
    QCoreApplication::sendEvent(target, &e);
}

} // namespace

TEichDlg::TEichDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName("TEichDlg");
    setWindowTitle("Kalibrierung");

    GroupBox1 = named(new QGroupBox("Oszilloskop", this), "GroupBox1");
    Label1 = named(new QLabel(GroupBox1), "Label1");
    Label1->setWordWrap(true);
    EichmV = named(new QLineEdit(GroupBox1), "EichmV");
    Label2 = named(new QLabel("mV eff", GroupBox1), "Label2");
    Label2->setBuddy(EichmV);
    EichmV->setAccessibleName("mV eff");
    Label3 = named(new QLabel("under", GroupBox1), "Label3");
    platform::MarkReadout(Label3, "Reading");
    Label3->setMinimumWidth(80);
    Button1 = named(new QPushButton("Begin", GroupBox1), "Button1");
    Button2 = named(new QPushButton("End", GroupBox1), "Button2");
    auto *g1 = new QGridLayout(GroupBox1);
    g1->addWidget(Label1, 0, 0, 1, 4);
    g1->addWidget(EichmV, 1, 0);
    g1->addWidget(Label2, 1, 1);
    g1->addWidget(Label3, 1, 2, 1, 2);
    g1->addWidget(Button1, 2, 2);
    g1->addWidget(Button2, 2, 3);

    GroupBox2 = named(new QGroupBox(this), "GroupBox2");
    Label4 = named(new QLabel(GroupBox2), "Label4");
    Edit2 = named(new QLineEdit(GroupBox2), "Edit2");
    Label5 = named(new QLabel("Offset", GroupBox2), "Label5");
    Edit3 = named(new QLineEdit(GroupBox2), "Edit3");
    Label4->setBuddy(Edit2);
    Label5->setBuddy(Edit3);
    Label6 = named(new QLabel(GroupBox2), "Label6");
    Label7 = named(new QLabel(GroupBox2), "Label7");
    Label8 = named(new QLabel(GroupBox2), "Label8");
    auto *g2 = new QGridLayout(GroupBox2);
    g2->addWidget(Label4, 0, 0);
    g2->addWidget(Edit2, 0, 1);
    g2->addWidget(Label5, 1, 0);
    g2->addWidget(Edit3, 1, 1);
    g2->addWidget(Label6, 2, 0, 1, 2);
    g2->addWidget(Label7, 3, 0, 1, 2);
    g2->addWidget(Label8, 4, 0, 1, 2);

    OKBtn = named(new QPushButton("OK", this), "OKBtn");
    CancelBtn = named(new QPushButton("Abbruch", this), "CancelBtn");
    HelpBtn = named(new QPushButton(this), "HelpBtn");
    OKBtn->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(HelpBtn);

    auto *lay = new QVBoxLayout(this);
    lay->addWidget(GroupBox1);
    lay->addWidget(GroupBox2);
    lay->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &TEichDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TEichDlg::Button2Click);
    connect(OKBtn, &QPushButton::clicked, this, &TEichDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QPushButton::clicked, this, [this] { emit helpRequested(kHelpContext); });
    SetLanguage('D');
}

void TEichDlg::SetLanguage(char language)
{
    const bool de = language == 'D';
    if (!de && language != 'E')
        return;
    auto t = [de](const char *g, const char *e) { return QString::fromUtf8(de ? g : e); };
    setWindowTitle(t("Kalibrierung", "Calibration"));
    GroupBox1->setTitle(t("Oszilloskop", "Oszilloscope"));
    Label1->setText(t("Sinussignal >100mV langsam erhöhen bis gerade OVER erscheint, dann gemessene Spannung eintragen",
                      "Increase slowly a sine signal (>100mV) until OVER is displayed, then enter voltage value"));
    GroupBox2->setTitle(t("Spektrum Analyser", "Spectrum Analyzer"));
    Label4->setText(t("Faktor", "Factor"));
    Label6->setText(t("Einstellung für korrekte", "Adjustment for the correct"));
    Label7->setText(t("Pegellinearität und Position im", "level linearness and position"));
    Label8->setText(t("Diagramm in der Y-Achse", "in the y-axis of the diagram"));
    CancelBtn->setText(t("Abbruch", "Cancel"));
    HelpBtn->setText(t("Hilfe", "Help"));
    texts.WrongValue = t("Eichwert falsch", "Calibration value wrong");
    texts.NotStarted = t("Kein Eichvorgang gestartet", "No Calibration process started");
    texts.StartFailed = t("Probleme beim Sample (", "Problems while Start Sampling (");
    texts.SampleFailed = t("Probleme beim Beginn Samplen (", "Problems while Open Sampling (");
}

void TEichDlg::Open(QObject *mainWindow, float offset, float factor, float voltageMv)
{
    mainWindow_ = mainWindow;
    EichmV->setText(QString::fromStdString(platform::FormatNumber(voltageMv, 'f', 1, 5)));
    Edit2->setText(QString::number(double(factor), 'f', 5));
    Edit3->setText(QString::number(double(offset), 'f', 5));
    Label3->setText("under");
    running_ = false;
    measured_ = false;
    hasResult_ = false;
    // A block of an earlier opening may still come in; it is not a reading
    // of this one.
    sessionFirstTag_ = nextTag_;
    EichmV->setEnabled(true);
}

bool TEichDlg::ReadValues(dsp::CalibrationValues &out) const
{
    return dsp::ReadCalibrationValues(EichmV->text().toStdString(), Edit2->text().toStdString(),
                                      Edit3->text().toStdString(), out);
}

bool TEichDlg::Result(dsp::CalibrationValues &out) const
{
    if (hasResult_)
        out = result_;
    return hasResult_;
}

void TEichDlg::Button1Click()
{
    Send(mainWindow_, platform::WM_STOP_MEASUREMENTS);
    if (running_)
        return;
    running_ = true;
    EichmV->setEnabled(false);
    platform::PostMessage(this, kStartReading);
}

void TEichDlg::Button2Click()
{
    stopReading(true);
    EichmV->setFocus();
}

void TEichDlg::stopReading(bool enableVoltage)
{
    running_ = false;
    EichmV->setEnabled(enableVoltage);
}

void TEichDlg::OKBtnClick()
{
    dsp::CalibrationValues v;
    const bool read = ReadValues(v);
    if (measured_ && read) {
        result_ = v;
        hasResult_ = true;
        Send(mainWindow_, platform::WM_CALIBRATION_DONE);
        accept();
        return;
    }
    if (!read)
        platform::ShowMessage(this, platform::MessageKind::Warning, texts.WrongValue);
    if (!measured_)
        platform::ShowMessage(this, platform::MessageKind::Warning, texts.NotStarted);
}

bool TEichDlg::event(QEvent *e)
{
    if (const auto *m = platform::AsWindowMessage(e)) {
        if (m->msg == kStartReading)
            startReading();
        return true;
    }
    return QDialog::event(e);
}

void TEichDlg::hideEvent(QHideEvent *e)
{
    stopReading(false);
    QDialog::hideEvent(e);
}

void TEichDlg::startReading()
{
    // A capture that the engine dropped (the audio layer was reset under
    // it) never calls back; with nothing open or queued none can be ours.
    if (inFlight_ && !audio::CaptureOpen() && !audio::CaptureQueued())
        inFlight_ = false;
    if (!running_ || inFlight_)
        return;
    // A block of another measurement still in flight does not refuse the
    // start: the engine queues it and calls back either way.
    const std::uint32_t tag = nextTag_++;
    const int rc = audio::StartCapture(dsp::kCalibrationFrames, tag, [this] { readingReady(); });
    if (rc != 0) {
        stopReading(true);
        platform::ShowMessage(this, platform::MessageKind::Error,
                              texts.StartFailed + QString::fromStdString(audio::ErrorText(rc)) + ")", true, 17);
        return;
    }
    inFlight_ = true;
    flightTag_ = tag;
}

void TEichDlg::readingReady()
{
    int count = 0, overloads = 0;
    std::uint32_t tag = 0;
    const float *block = audio::FinishCapture(count, overloads, tag);
    const int status = audio::AudioStatus();
    const bool awaited = inFlight_ && tag == flightTag_;
    if (awaited)
        inFlight_ = false;
    if (tag - sessionFirstTag_ >= nextTag_ - sessionFirstTag_)
        return; // a block of an earlier opening
    if (!block) {
        stopReading(true);
        platform::ShowMessage(this, platform::MessageKind::Error,
                              texts.SampleFailed + QString::fromStdString(audio::ErrorText(status)) + ")", true, 17);
        return;
    }
    if (overloads > 0)
        Label3->setText("over " + QString::number(overloads));
    else
        Label3->setText(
            QString::fromStdString(platform::FormatNumber(dsp::CalibrationReading(block, count), 'f', 1, 4)) + "%");
    measured_ = true;
    if (awaited && running_)
        platform::PostMessage(this, kStartReading);
}
