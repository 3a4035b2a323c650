// Analyser page of the main window: entering and leaving the page, START and
// STOP, the run state and its locks, the FFT size, window and run mode
// choices, the chain of captures through WM_ANALYSER_NEXT and the analysis
// menu (THD+N, level, parameters). The processing of a captured block lives
// in analyserblock.cpp.
#include "app/forms.h"
#include "app/mainform.h"
#include "app/mainformtexts.h"
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "display/diagramwindow.h"
#include "measurement/levelunits.h"
#include "dsp/analysis.h"
#include "dialogs/analysisdialog.h"
#include "dsp/fft.h"
#include "widgets/messagebox.h"
#include "platform/runtime/messages.h"
#include "widgets/radiogroup.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <new>

using app::MS;

namespace {

constexpr std::size_t kSpectrumValues = 65536;

// The analyser's four buffers of 256 KiB; false when they cannot be had.
bool AllocateSpectra()
{
    try {
        MS.LeftSpectrum.assign(kSpectrumValues, 0.0f);
        MS.RightSpectrum.assign(kSpectrumValues, 0.0f);
        MS.LeftSum.assign(kSpectrumValues, 0.0f);
        MS.RightSum.assign(kSpectrumValues, 0.0f);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

void ReleaseSpectra()
{
    std::vector<float>().swap(MS.LeftSpectrum);
    std::vector<float>().swap(MS.RightSpectrum);
    std::vector<float>().swap(MS.LeftSum);
    std::vector<float>().swap(MS.RightSum);
}

void ZeroSums()
{
    std::fill(MS.LeftSum.begin(), MS.LeftSum.end(), 0.0f);
    std::fill(MS.RightSum.begin(), MS.RightSum.end(), 0.0f);
}

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

void TMainForm::connectAnalyserPage()
{
    connect(StartButton, &QPushButton::clicked, this, &TMainForm::StartButtonClick);
    connect(StopButton, &QPushButton::clicked, this, &TMainForm::StopButtonClick);
    connect(THDN1, &QAction::triggered, this, &TMainForm::THDN1Click);
    connect(Noise1, &QAction::triggered, this, &TMainForm::Noise1Click);
    connect(Parameter1, &QAction::triggered, this, &TMainForm::Parameter1Click);
}

void TMainForm::EnterAnalyserPage()
{
    // 1. buffers
    if (!AllocateSpectra()) {
        ReleaseSpectra();
        platform::ShowMessage(this, platform::MessageKind::Error, QStringLiteral("Memory Error ( <256k )"));
        close();
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
    Analyse1->setEnabled(true);
    // 4. window table
    dsp::SetWindow(MS.FftWindow, MS.FftSize);
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
    // 6. analysis menu and channels
    const dsp::AnalysisSettings &a = dsp::UnitAnalysis().settings();
    THDN1->setChecked(a.thdMess);
    Noise1->setChecked(a.noiseMess);
    MeasureLeft->setChecked(true);
    MeasureRight->setChecked(true);
    MS.MeasureLeftOn = MS.MeasureRightOn = true;
    // 7. axes, unit menu, calibration state
    QAction *units[4] = {dbFS1, dbV1, dbu1, dbm1};
    for (int i = 0; i < 4; ++i)
        units[i]->setChecked(i == MS.LevelUnit);
    ShowCalibrationState();
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

void TMainForm::LeaveAnalyserPage()
{
    if (MS.AnalyserPageShown && app::Diagramm) {
        app::Diagramm->GetXRange(MS.AnalyserRange.FreqMin, MS.AnalyserRange.FreqMax);
        app::Diagramm->GetYRange(MS.AnalyserRange.LevelMin, MS.AnalyserRange.LevelMax);
        app::Diagramm->ResetDiagram();
    }
    ReleaseSpectra();
    MS.AnalyserPageShown = false;
    SetAnalyserRunning(false);
    // A completion that is already queued finds the run stopped.
    platform::DelayMs(100);
    if (app::Diagramm)
        app::Diagramm->hide();
}

void TMainForm::StartButtonClick()
{
    // A START while running changes nothing at all: AverVal shows the
    // countdown then, and taking it as the count would divide the round's
    // sum by the wrong number of blocks.
    if (MS.AnalyserRunning || MS.LeftSpectrum.empty())
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
            platform::ShowMessage(this, platform::MessageKind::Warning, QStringLiteral("Diagram Error"));
            return;
        }
    }
    if (!startAnalyserCapture(app::Texts().CaptureStartFailed))
        return;
    SetAnalyserRunning(true);
}

void TMainForm::StopButtonClick()
{
    MS.AnalyserComment = DiagramComment();
    SetAnalyserRunning(false);
    Binpopt->setEnabled(true);
}

bool TMainForm::startAnalyserCapture(const QString &errorPrefix)
{
    const int frames = MS.FftSize + MS.FftSize / 8;
    const int status = audio::StartCapture(frames, 0, [this] { AnalyserBlockReady(); });
    if (status == 0)
        return true;
    SetAnalyserRunning(false);
    platform::ShowMessage(this, platform::MessageKind::Error,
                          errorPrefix + QString::fromStdString(audio::ErrorText(status)) + ")", true, 17);
    return false;
}

void TMainForm::SetAnalyserRunning(bool on)
{
    for (QAction *a : {Eichen1, AudioDevices1, AudioOutDevice1, AudioInParameter1, AudioOutParameter1})
        a->setEnabled(!on);
    FFTpointsgroup->setEnabled(!on);
    AverVal->setEnabled(!on);
    // The input parameters stay locked only while a run goes on, however it ends.
    Binpopt->setEnabled(!on);
    MS.AnalyserRunning = on;
    AverVal->setValue(MS.Averages);
    MS.AveragesLeft = MS.Averages;
    // A run stopped in the middle of a round leaves blocks in the sums.
    if (on)
        ZeroSums();
}

void TMainForm::AnalyserNext()
{
    // A request posted before STOP or a page change starts nothing.
    if (!MS.AnalyserRunning)
        return;
    startAnalyserCapture(app::Texts().CaptureRestartFailed);
    MS.AnalyserComment = DiagramComment();
}

void TMainForm::RunningGroupClick(int index)
{
    if (app::Diagramm)
        app::Diagramm->SetStatusText(QString());
    MS.RunMode = index;
    if (index == 2) {
        MS.Averages = 1;
        AverVal->setValue(1);
        // A round begun with more blocks would be divided by the new count.
        MS.AveragesLeft = 1;
        ZeroSums();
    }
}

void TMainForm::FFTpointsgroupClick(int index)
{
    MS.FftSize = dsp::FftSizeForIndex(index);
    if (app::Diagramm)
        app::Diagramm->ClearCurves();
    dsp::SetWindow(MS.FftWindow, MS.FftSize);
    ZeroSums();
}

void TMainForm::FFTwinGroupClick(int index)
{
    if (index >= 0 && index < dsp::kWindowTypeCount)
        MS.FftWindow = index;
    dsp::SetWindow(MS.FftWindow, MS.FftSize);
}

void TMainForm::THDN1Click()
{
    if (app::Diagramm)
        app::Diagramm->SetStatusText(QString());
    dsp::AnalysisSettings &a = dsp::UnitAnalysis().settings();
    a.thdMess = !a.thdMess;
    if (a.thdMess)
        a.noiseMess = false;
    THDN1->setChecked(a.thdMess);
    Noise1->setChecked(a.noiseMess);
}

void TMainForm::Noise1Click()
{
    if (app::Diagramm)
        app::Diagramm->SetStatusText(QString());
    dsp::AnalysisSettings &a = dsp::UnitAnalysis().settings();
    a.noiseMess = !a.noiseMess;
    if (a.noiseMess)
        a.thdMess = false;
    THDN1->setChecked(a.thdMess);
    Noise1->setChecked(a.noiseMess);
}

void TMainForm::Parameter1Click()
{
    if (!app::Analy)
        return;
    app::Analy->FillFromSettings(dsp::UnitAnalysis().settings());
    app::Analy->exec();
}
