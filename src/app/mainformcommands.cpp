// Main window menu commands around the diagram: correction files, the
// correction test, level units, the text export and the copy.
#include "app/forms.h"
#include "app/mainform.h"
#include "app/mainformtexts.h"
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/mixer/mixer.h"
#include "dialogs/soundcarddialog.h"
#include "display/diagramwindow.h"
#include "display/scopewindow.h"
#include "dialogs/analysisdialog.h"
#include "dialogs/featurelistdialog.h"
#include "dsp/analysis.h"
#include "measurement/levelunits.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QTabWidget>
#include <cmath>

using app::MS;

bool TMainForm::LoadCorrection(bool input, const std::string &fileName)
{
    dsp::CorrectionCurve &curve = input ? MS.InputCorrection : MS.OutputCorrection;
    if (!curve.loadFromFile(fileName)) {
        (input ? Eingangskorrekturaktiv1 : Ausgangskorrekturaktiv1)->setChecked(curve.active());
        updateCorrectionLabel();
        return false;
    }
    if (input)
        SetInputCorrectionActive(true);
    else
        SetOutputCorrectionActive(true);
    updateCorrectionLabel();
    return true;
}

QString TMainForm::LoadCorrectionFile(bool input)
{
    platform::FileDialogRequest request;
    request.filter = "Correction File (*.cor)";
    request.defaultSuffix = "cor";
    QString name = platform::AskFileName(this, request);
    if (!name.isEmpty())
        LoadCorrection(input, name.toStdString());
    return name;
}

void TMainForm::Testekorrekturdatei1Click() { TestCorrectionCurves(); }

void TMainForm::TestCorrectionCurves()
{
    TDiagramm *d = app::Diagramm;
    if (!d)
        return;
    std::int32_t xmin = 0, xmax = 0;
    float ymin = 0, ymax = 0;
    d->GetXRange(xmin, xmax);
    d->GetYRange(ymin, ymax);
    // A diagram that was never set up has no ranges yet: take the analyser's.
    if (xmin <= 0 || xmax <= xmin) {
        xmin = MS.AnalyserRange.FreqMin > 0 ? MS.AnalyserRange.FreqMin : 10;
        xmax = MS.AnalyserRange.FreqMax > xmin ? MS.AnalyserRange.FreqMax : 24000;
    }
    if (ymax <= ymin) {
        ymin = MS.AnalyserRange.LevelMin;
        ymax = MS.AnalyserRange.LevelMax > ymin ? MS.AnalyserRange.LevelMax : ymin + 110;
    }
    const int points = 1000;
    QString title = app::Texts().CorrectionTestTitle + QString::fromStdString(MS.InputCorrection.fileName()) +
                    " & " + QString::fromStdString(MS.OutputCorrection.fileName());
    if (d->SetupDiagram(title, points, xmin, xmax, ymin, ymax))
        return;
    d->SetCurvesVisible(true, true);
    // 1 Hz to 28 kHz, logarithmically spaced; the curves read as the
    // corrections themselves (sign -1 on a level of 0).
    for (int i = 0; i <= points; ++i) {
        double f = std::pow(28000.0, i / double(points));
        float values[2] = {static_cast<float>(MS.InputCorrection.apply(-1.0, f, 0.0)),
                           static_cast<float>(MS.OutputCorrection.apply(-1.0, f, 0.0))};
        if (d->StorePoint(values, i, static_cast<float>(f)) != 0)
            break;
    }
    d->show();
    d->update();
}

void TMainForm::SetLevelUnit(int unit)
{
    MS.LevelUnit = static_cast<std::uint8_t>(unit);
    ShowCalibrationState();
    if (app::Diagramm) {
        app::Diagramm->SetYCaption(QString::fromStdString(display::LevelAxisTitle(unit, MS.Language)));
        app::Diagramm->update();
    }
    QAction *items[4] = {dbFS1, dbV1, dbu1, dbm1};
    for (int i = 0; i < 4; ++i)
        items[i]->setChecked(i == unit);
}

void TMainForm::SpeichernalsText1Click()
{
    platform::FileDialogRequest request;
    request.save = true;
    request.title = app::Texts().SaveDialogTitle;
    request.filter = "Text File (*.txt)";
    request.defaultSuffix = "txt";
    QString name = platform::AskFileName(this, request);
    if (!name.isEmpty())
        SaveResultsAsText(name);
}

int TMainForm::SaveResultsAsText(const QString &fileName)
{
    int result = 0;
    if (PageControl1->currentIndex() == 2) {
        // the oscilloscope's traces, with the diagram's separator option
        const QString separator =
            app::Diagramm ? QString::fromStdString(app::Diagramm->Options().Separator) : QStringLiteral(",");
        result = app::Oszidia ? app::Oszidia->SaveScopeAsText(fileName, separator) : display::kNoScopeArraysError;
    } else if (app::Diagramm) {
        result = app::Diagramm->SaveCurvesAsText(fileName);
    }
    if (result != 0)
        platform::ShowMessage(this, platform::MessageKind::Error, fileName + app::Texts().CouldNotCreate);
    return result;
}

void TMainForm::ChooseDevice(bool input)
{
    audio::TSCdia *dlg = app::SCdia;
    if (!dlg)
        return;
    dlg->ForInput = input;
    dlg->Selected = input ? audio::GetInputDevice() : audio::GetOutputDevice();
    if (dlg->exec() != QDialog::Accepted)
        return;
    if (input)
        audio::SelectInputDevice(dlg->Selected);
    else
        audio::SelectOutputDevice(dlg->Selected);
    // The mixer of the card behind the new device takes over.
    audio::Mixer().DevicesChanged();
    MixerActivate();
    ShowDeviceStatus();
}

void TMainForm::ShowFeaturelist1Click()
{
    if (!app::FeatDlg)
        return;
    app::FeatDlg->SetLines(audio::AudioLog());
    app::FeatDlg->exec();
}

// ---- the analysis menu -------------------------------------------------------------

void TMainForm::THDN1Click()
{
    if (app::Diagramm)
        app::Diagramm->SetStatusText(QString());
    dsp::AnalysisSettings &a = dsp::UnitAnalysis().settings();
    a.thdMess = !a.thdMess;
    if (a.thdMess)
        a.noiseMess = a.harmMess = false;
    ShowAnalysisLineChoice();
}

void TMainForm::Noise1Click()
{
    if (app::Diagramm)
        app::Diagramm->SetStatusText(QString());
    dsp::AnalysisSettings &a = dsp::UnitAnalysis().settings();
    a.noiseMess = !a.noiseMess;
    if (a.noiseMess)
        a.thdMess = a.harmMess = false;
    ShowAnalysisLineChoice();
}

void TMainForm::Parameter1Click()
{
    if (!app::Analy)
        return;
    app::Analy->FillFromSettings(dsp::UnitAnalysis().settings());
    app::Analy->exec();
}
