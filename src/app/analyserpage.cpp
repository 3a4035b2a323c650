// Analyser page of the main window: its controls, entering and leaving the
// page, START and STOP, the run state and its locks, the FFT size, window
// and run mode choices and the chain of captures through WM_ANALYSER_NEXT.
// The processing of a captured block lives in analyserblock.cpp.
#include "app/analyserpage.h"

#include "app/forms.h"
#include "app/mainformtexts.h"
#include "app/pagehost.h"
#include "app/pagewidgets.h"
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "display/diagramwindow.h"
#include "measurement/levelunits.h"
#include "dsp/analysis.h"
#include "dsp/fft.h"
#include "widgets/messagebox.h"
#include "platform/runtime/messages.h"
#include "widgets/radiogroup.h"
#include "widgets/readout.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

namespace app {

namespace {

// A usable input device is selected: its format mask from the device report is not 0.
bool InputDeviceUsable() { return audio::InputFormats(audio::GetInputDevice()) != 0; }

int InputRate()
{
    int in = 0, out = 0;
    audio::GetRates(in, out);
    return in;
}

std::string DiagramComment()
{
    return app::Diagramm ? app::Diagramm->GetTitle().left(int(app::MaxCommentLength)).toStdString()
                         : MS.AnalyserComment;
}

} // namespace

AnalyserPage::AnalyserPage(PageHost &host, QWidget *parent) : QWidget(parent), host_(host)
{
    setObjectName("TabSheet1");
    buildControls();
    connect(StartButton, &QPushButton::clicked, this, &AnalyserPage::StartButtonClick);
    connect(StopButton, &QPushButton::clicked, this, &AnalyserPage::StopButtonClick);
    connect(FFTpointsgroup, &platform::RadioGroup::itemClicked, this, &AnalyserPage::FFTpointsgroupClick);
    connect(FFTwinGroup, &platform::RadioGroup::itemClicked, this, &AnalyserPage::FFTwinGroupClick);
    connect(RunningGroup, &platform::RadioGroup::itemClicked, this, &AnalyserPage::RunningGroupClick);
    connect(MeasureLeft, &QCheckBox::toggled, this, [](bool on) { MS.MeasureLeftOn = on; });
    connect(MeasureRight, &QCheckBox::toggled, this, [](bool on) { MS.MeasureRightOn = on; });
}

void AnalyserPage::buildControls()
{
    QWidget *page = this;
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(3);

    FFTwinGroup = Named(new platform::RadioGroup("Window", page, 3), "FFTwinGroup");
    FFTwinGroup->setItems({"None", "Hamming", "van Hann", "Blackman", "Bla/Harris", "Flat-Top",
                           "Rife-Vinc1", "Rife-Vinc2", "Rife-Vinc3"});
    FFTpointsgroup = Named(new platform::RadioGroup("FFT-Punkte", page, 2), "FFTpointsgroup");
    RunningGroup = Named(new platform::RadioGroup("Betrieb", page), "RunningGroup");
    RunningGroup->setItems({"einzeln", "fortlaufend", "Trigger"});

    StartButton = Named(new QPushButton("START", page), "StartButton");
    StopButton = Named(new QPushButton("STOP", page), "StopButton");
    Binpopt = Named(new QPushButton("In-Para", page), "Binpopt");

    Label6 = PlainLabel("Label6", "Mittelwerte ", page);
    AverVal = Named(new QSpinBox(page), "AverVal");
    AverVal->setRange(1, 9999);
    AverVal->setValue(1);
    Label6->setBuddy(AverVal);
    MeasureLeft = Named(new QCheckBox("links K1", page), "MeasureLeft");
    MeasureRight = Named(new QCheckBox("rechts K2", page), "MeasureRight");
    MeasureLeft->setChecked(true);
    MeasureRight->setChecked(true);
    Label2 = PlainLabel("Label2", ".", page);
    coract = PlainLabel("coract", ".", page);
    Label15 = PlainLabel("Label15", QString(18, ' '), page);
    Ldb = PlainLabel("Ldb", "16 Bit", page);
    Lsf = PlainLabel("Lsf", "44100 Hz", page);
    UpDown1 = Named(new QSpinBox(page), "UpDown1");
    Label14 = PlainLabel("Label14", "", page);
    UpDown1->hide();
    Label14->hide();

    GroupBox1 = Named(new QGroupBox(" Input: ", page), "GroupBox1");
    auto *volLay = new QHBoxLayout(GroupBox1);
    volLay->setContentsMargins(4, 2, 4, 2);
    ScrollBar3 = Named(new QScrollBar(Qt::Horizontal, GroupBox1), "ScrollBar3");
    ScrollBar3->setRange(0, 100);
    ScrollBar3->setAccessibleName("Recording volume");
    Label3 = PlainLabel("Label3", "100%", GroupBox1);
    platform::MarkReadout(Label3, "Recording volume");
    platform::MarkReadout(Label2, "Overloads");
    platform::MarkReadout(coract, "Correction");
    platform::MarkReadout(Ldb, "Input resolution");
    platform::MarkReadout(Lsf, "Input sample rate");
    volLay->addWidget(ScrollBar3, 1);
    volLay->addWidget(Label3);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(StartButton);
    buttons->addWidget(StopButton);
    buttons->addWidget(Binpopt);
    buttons->addStretch();

    auto *avg = new QHBoxLayout;
    avg->addWidget(Label6);
    avg->addWidget(AverVal);
    avg->addStretch();

    auto *status = new QVBoxLayout;
    status->addWidget(MeasureLeft);
    status->addWidget(MeasureRight);
    status->addWidget(Label2);
    status->addWidget(coract);
    status->addWidget(Label15);
    status->addWidget(Ldb);
    status->addWidget(Lsf);
    status->addStretch();

    grid->addWidget(FFTwinGroup, 0, 0, 1, 2);
    grid->addLayout(buttons, 0, 2, 2, 1);
    grid->addLayout(status, 0, 3, 3, 1);
    grid->addWidget(FFTpointsgroup, 1, 0);
    grid->addWidget(RunningGroup, 1, 1);
    grid->addLayout(avg, 2, 0, 1, 2);
    grid->addWidget(GroupBox1, 3, 0, 1, 4);

}
void AnalyserPage::EnterAnalyserPage()
{
    // 1. buffers
    if (!round_.Allocate()) {
        platform::ShowMessage(host_.HostWindow(), platform::MessageKind::Error,
                              QStringLiteral("Memory Error ( <256k )"));
        host_.HostWindow()->close();
        return;
    }
    // 2. controls and run state; selecting an item runs its click handler
    UpDown1->hide();
    UpDown1->setEnabled(false);
    Label14->hide();
    Label14->setEnabled(false);
    MS.AnalyserRunning = false;
    RunningGroup->setItemIndex(1);
    FFTwinGroup->setItemIndex(MS.FftWindow);
    const int sizeItem = dsp::FftSizeIndex(MS.FftSize);
    FFTpointsgroup->setItemIndex(sizeItem < 0 ? 0 : sizeItem);
    // 3. input format
    int bitsIn = 0, bitsOut = 0;
    audio::GetBits(bitsIn, bitsOut);
    Ldb->setText(QString::number(bitsIn) + " Bits");
    Lsf->setText(QString::number(InputRate()) + " Hz");
    host_.EnableAnalysisMenu(true);
    // 4. window table
    round_.SetWindow(MS.FftWindow, MS.FftSize);
    // 5. ranges
    app::AnalyserRangeRecord &r = MS.AnalyserRange;
    if (r.LevelMax <= r.LevelMin) {
        r.LevelMax = 0;
        r.LevelMin = -110;
    }
    if (r.FreqMax <= r.FreqMin) {
        r.FreqMin = 10;
        r.FreqMax = 24000;
    }
    // 6. channels; analysis menu, unit menu and calibration state
    MeasureLeft->setChecked(true);
    MeasureRight->setChecked(true);
    MS.MeasureLeftOn = MS.MeasureRightOn = true;
    host_.ShowAnalysisChoices();
    // 8. diagram
    if (TDiagramm *d = app::Diagramm) {
        d->SetYCaption(QString::fromStdString(display::LevelAxisTitle(MS.LevelUnit, MS.Language)));
        d->SetXCaption(QStringLiteral("Frequency [Hz]"));
        d->SetupDiagram(QString::fromStdString(MS.AnalyserComment), MS.FftSize / 2, r.FreqMin, r.FreqMax,
                        r.LevelMin, r.LevelMax);
        d->SetYRange(r.LevelMax, r.LevelMin);
        d->show();
    }
    MS.AnalyserPageShown = true;
}

void AnalyserPage::LeaveAnalyserPage()
{
    if (MS.AnalyserPageShown && app::Diagramm) {
        app::Diagramm->GetXRange(MS.AnalyserRange.FreqMin, MS.AnalyserRange.FreqMax);
        app::Diagramm->GetYRange(MS.AnalyserRange.LevelMin, MS.AnalyserRange.LevelMax);
        app::Diagramm->ResetDiagram();
    }
    round_.Release();
    MS.AnalyserPageShown = false;
    SetAnalyserRunning(false);
    // A completion that is already queued finds the run stopped.
    platform::DelayMs(100);
    if (app::Diagramm)
        app::Diagramm->hide();
}

void AnalyserPage::StartButtonClick()
{
    // A START while running changes nothing at all: AverVal shows the
    // countdown then, and taking it as the count would divide the round's
    // sum by the wrong number of blocks.
    if (MS.AnalyserRunning || !round_.Allocated())
        return;
    MS.AnalyserComment = DiagramComment();
    MS.Averages = AverVal->value();
    if (InputDeviceUsable() && app::Diagramm) {
        const int rate = InputRate();
        std::int32_t lowest = 2 * (((rate / 2) / MS.FftSize) / 2);
        if (lowest < 1)
            lowest = 1;
        std::int32_t highest = rate / 2;
        if (app::Diagramm->SetupDiagram(QString::fromStdString(MS.AnalyserComment), MS.FftSize / 2 - 1, lowest,
                                        highest, MS.AnalyserRange.LevelMin, MS.AnalyserRange.LevelMax)) {
            SetAnalyserRunning(false);
            platform::ShowMessage(host_.HostWindow(), platform::MessageKind::Warning, QStringLiteral("Diagram Error"));
            return;
        }
    }
    if (!startAnalyserCapture(app::Texts().CaptureStartFailed))
        return;
    SetAnalyserRunning(true);
}

void AnalyserPage::StopButtonClick()
{
    MS.AnalyserComment = DiagramComment();
    SetAnalyserRunning(false);
    Binpopt->setEnabled(true);
}

bool AnalyserPage::startAnalyserCapture(const QString &errorPrefix)
{
    const int frames = MS.FftSize + MS.FftSize / 8;
    const int status = audio::StartCapture(frames, 0, [this] { AnalyserBlockReady(); });
    if (status == 0)
        return true;
    SetAnalyserRunning(false);
    platform::ShowMessage(host_.HostWindow(), platform::MessageKind::Error,
                          errorPrefix + QString::fromStdString(audio::ErrorText(status)) + ")", true, 17);
    return false;
}

void AnalyserPage::SetAnalyserRunning(bool on)
{
    host_.LockDeviceMenus(on);
    FFTpointsgroup->setEnabled(!on);
    AverVal->setEnabled(!on);
    // The input parameters stay locked only while a run goes on, however it ends.
    Binpopt->setEnabled(!on);
    MS.AnalyserRunning = on;
    AverVal->setValue(MS.Averages);
    MS.AveragesLeft = MS.Averages;
    // A run stopped in the middle of a round leaves blocks in the sums.
    if (on)
        round_.ZeroSums();
}

void AnalyserPage::AnalyserNext()
{
    // A request posted before STOP or a page change starts nothing.
    if (!MS.AnalyserRunning)
        return;
    startAnalyserCapture(app::Texts().CaptureRestartFailed);
    MS.AnalyserComment = DiagramComment();
}

void AnalyserPage::RunningGroupClick(int index)
{
    if (app::Diagramm)
        app::Diagramm->SetStatusText(QString());
    MS.RunMode = index;
    if (index == 2) {
        MS.Averages = 1;
        AverVal->setValue(1);
        // A round begun with more blocks would be divided by the new count.
        MS.AveragesLeft = 1;
        round_.ZeroSums();
    }
}

void AnalyserPage::FFTpointsgroupClick(int index)
{
    MS.FftSize = dsp::FftSizeForIndex(index);
    if (app::Diagramm)
        app::Diagramm->ClearCurves();
    round_.SetWindow(MS.FftWindow, MS.FftSize);
    round_.ZeroSums();
}

void AnalyserPage::FFTwinGroupClick(int index)
{
    if (index >= 0 && index < dsp::kWindowTypeCount)
        MS.FftWindow = index;
    round_.SetWindow(MS.FftWindow, MS.FftSize);
}

} // namespace app
