// Main window around calibration: the calibration dialog's two messages
// (stop the measurements, take over the result), the DC offset dialog, and
// the correction editor with what the main window does when it saves.
#include "app/analyserpage.h"
#include "app/forms.h"
#include "app/mainform.h"
#include "app/noisewindow.h"
#include "app/mainformtexts.h"
#include "app/scopepage.h"
#include "app/sweeppage.h"
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "display/diagramwindow.h"
#include "dialogs/calibrationdialog.h"
#include "dialogs/correctioneditor.h"
#include "dialogs/dcoffsetdialog.h"
#include "measurement/scoperun.h"
#include "platform/runtime/utilities.h"

#include <QAction>
#include <filesystem>

using app::MS;

namespace {

// The diagram shows the correction test: it is on screen under the test's
// title (in either language; the title starts with the prefix).
bool CorrectionTestShown()
{
    const TDiagramm *d = app::Diagramm;
    if (!d || !d->isVisible())
        return false;
    return app::IsCorrectionTestTitle(d->GetTitle());
}

} // namespace

void TMainForm::ConnectCalibrationWindows()
{
    connect(Eichen1, &QAction::triggered, this, &TMainForm::Eichen1Click, Qt::UniqueConnection);
    connect(DCOffset1, &QAction::triggered, this, &TMainForm::DCOffset1Click, Qt::UniqueConnection);
    connect(EditEingangskorrekturdatei1, &QAction::triggered, this, [this] { EditCorrectionFile(true); });
    connect(EditAusgangskorrekturdatei1, &QAction::triggered, this, [this] { EditCorrectionFile(false); });
    if (app::KorEdit)
        connect(app::KorEdit, &TKorEdit::correctionSaved, this, &TMainForm::CorrectionEdited);
}

void TMainForm::Eichen1Click()
{
    // Only with an input device that can be opened.
    if (!app::EichDlg || !audio::AudioInitialised() || audio::InputFormats(audio::GetInputDevice()) == 0)
        return;
    StopMeasurements();
    app::EichDlg->Open(this, MS.LevelOffset, MS.LevelFactor, MS.InputCalibration);
    app::EichDlg->show();
    app::EichDlg->raise();
    app::EichDlg->activateWindow();
}

void TMainForm::StopMeasurements()
{
    // The chains end by their run flags; a block still in flight completes
    // and starts nothing, and a reading started now waits behind it.
    sweepPage_->STOPbutClick();
    if (noiseWindow_)
        noiseWindow_->Stop();
    // Stopping a run that is not going would unlock the device menus that
    // the oscilloscope page keeps locked.
    if (MS.AnalyserRunning)
        analyser_->StopButtonClick();
    scope_->StopOrun();
}

void TMainForm::CalibrationDone()
{
    dsp::CalibrationValues v;
    if (app::EichDlg && app::EichDlg->Result(v)) {
        MS.InputCalibration = v.VoltageMv;
        MS.OutputCalibration = v.VoltageMv;
        MS.LevelFactor = v.Factor;
        MS.LevelOffset = v.Offset;
        MS.CalibratedInputVolume = fields_.InputVolume;
        MS.CalibratedOutputVolume = fields_.OutputVolume;
        // The analyser takes its scale from these at every round; the
        // oscilloscope keeps volts at full scale of its own.
        MS.Scope.VoltsFullScale = measure::ScopeVoltsFullScale(MS.InputCalibration);
        ShowCalibrationState();
        SaveToIni(platform::SettingsFileName());
    }
    if (MS.Scope.PageShown)
        scope_->StartOrun();
}

void TMainForm::DCOffset1Click()
{
    if (app::DCOffset)
        app::DCOffset->exec();
}

void TMainForm::EditCorrectionFile(bool input)
{
    dsp::CorrectionCurve &curve = input ? MS.InputCorrection : MS.OutputCorrection;
    if (!app::KorEdit)
        return;
    if (curve.fileName().empty()) {
        const std::string chosen = LoadCorrectionFile(input).toStdString();
        // A file that exists but does not load (a bad line) is just what
        // the editor is for: it opens on it, the curve stays without points.
        std::error_code ec;
        if (curve.fileName().empty() && !chosen.empty() && std::filesystem::is_regular_file(chosen, ec))
            curve.setFileName(chosen);
    }
    if (curve.fileName().empty() || !app::KorEdit->Open(&curve))
        return;
    if (input)
        SetInputCorrectionActive(true);
    else
        SetOutputCorrectionActive(true);
    updateCorrectionLabel();
    app::KorEdit->show();
    app::KorEdit->raise();
    app::KorEdit->activateWindow();
}

void TMainForm::CorrectionEdited()
{
    TKorEdit *editor = app::KorEdit;
    dsp::CorrectionCurve *curve = editor ? editor->Curve() : nullptr;
    if (!curve)
        return;
    // A reload that failed cleared the name with the points; the settings
    // and the next save need it.
    if (curve->fileName().empty())
        curve->setFileName(editor->FileName());
    if (curve == &MS.InputCorrection)
        SetInputCorrectionActive(curve->active());
    else
        SetOutputCorrectionActive(curve->active());
    updateCorrectionLabel();
    if (CorrectionTestShown())
        TestCorrectionCurves();
}
