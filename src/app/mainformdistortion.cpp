// Main window commands of the analyser's harmonics line: the Analysis
// menu's "Harmonics" (one of the three information lines, like THD+N and
// Level) and the File menu's export of the harmonics as text: the
// analyser's last reading, or on the sweep page the distortion sweep's steps.
#include "app/analyserpage.h"
#include "app/distortionsweeprunner.h"
#include "app/forms.h"
#include "app/mainform.h"
#include "app/mainformtexts.h"
#include "app/noisewindow.h"
#include "app/scopepage.h"
#include "app/sweeppage.h"
#include "display/diagramwindow.h"
#include "help/helpsystem.h"
#include "dsp/analysis.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QAction>
#include <QTabWidget>

using app::MS;

void TMainForm::connectDistortionMenus()
{
    connect(Harmonics1, &QAction::triggered, this, &TMainForm::Harmonics1Click);
    connect(SaveHarmonics1, &QAction::triggered, this, &TMainForm::SaveHarmonics1Click);
    connect(NoiseDynamic1, &QAction::triggered, this, &TMainForm::NoiseDynamic1Click);
}

void TMainForm::NoiseDynamic1Click()
{
    if (!noiseWindow_) {
        noiseWindow_ = new app::TNoiseWindow(this);
        noiseWindow_->BusyReason = [this] { return NoiseWindowBusyReason(); };
        // The pages and the device menus are the analyser's, the sweep's and
        // the oscilloscope's ways to the devices: locked while it measures.
        noiseWindow_->RunningChanged = [this](bool on) {
            PageControl1->setEnabled(!on);
            LockDeviceMenus(on);
        };
        help::ConnectHelpSignal(noiseWindow_);
    }
    noiseWindow_->show();
    noiseWindow_->raise();
    noiseWindow_->activateWindow();
}

QString TMainForm::NoiseWindowBusyReason() const
{
    const bool de = MS.Language == 'D';
    if (MS.AnalyserRunning)
        return de ? QStringLiteral("Der Analysator läuft. Erst STOP drücken.")
                  : QStringLiteral("The analyser is running. Press STOP first.");
    if (sweepPage_ && sweepPage_->SweepBusy())
        return de ? QStringLiteral("Ein Sweep läuft. Erst STOP drücken.")
                  : QStringLiteral("A sweep is running. Press STOP first.");
    if (scope_ && PageControl1->currentWidget() == scope_)
        return de ? QStringLiteral("Das Oszilloskop läuft. Erst eine andere Seite wählen.")
                  : QStringLiteral("The oscilloscope is running. Choose another page first.");
    return {};
}

void TMainForm::ShowAnalysisLineChoice()
{
    const dsp::AnalysisSettings &a = dsp::UnitAnalysis().settings();
    THDN1->setChecked(a.thdMess);
    Noise1->setChecked(a.noiseMess);
    Harmonics1->setChecked(a.harmMess);
}

void TMainForm::Harmonics1Click()
{
    if (app::Diagramm)
        app::Diagramm->SetStatusText(QString());
    dsp::AnalysisSettings &a = dsp::UnitAnalysis().settings();
    a.harmMess = !a.harmMess;
    if (a.harmMess)
        a.thdMess = a.noiseMess = false;
    ShowAnalysisLineChoice();
}

void TMainForm::SaveHarmonics1Click()
{
    platform::FileDialogRequest request;
    request.save = true;
    request.title = app::Texts().SaveDialogTitle;
    request.filter = "Text File (*.txt)";
    request.defaultSuffix = "txt";
    const QString name = platform::AskFileName(this, request);
    if (!name.isEmpty())
        SaveHarmonicsAsText(name);
}

int TMainForm::SaveHarmonicsAsText(const QString &fileName)
{
    // On the sweep page: the distortion sweep's steps.
    if (sweepPage_ && PageControl1->currentWidget() == sweepPage_ && sweepPage_->DistortionSweep()->HasResult()) {
        const int result = sweepPage_->DistortionSweep()->SaveText(fileName);
        if (result != 0)
            platform::ShowMessage(this, platform::MessageKind::Error, fileName + app::Texts().CouldNotCreate);
        return result;
    }
    if (!analyser_ || !analyser_->Distortion().valid) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              MS.Language == 'D'
                                  ? QStringLiteral("Noch keine Harmonischen gemessen: Analyse \u2192 Harmonics "
                                                   "einschalten und den Analysator laufen lassen.")
                                  : QStringLiteral("No harmonics measured yet: turn on Analysis \u2192 Harmonics "
                                                   "and run the analyser."));
        return -1;
    }
    const int result = analyser_->SaveDistortionText(fileName);
    if (result != 0)
        platform::ShowMessage(this, platform::MessageKind::Error, fileName + app::Texts().CouldNotCreate);
    return result;
}
