#include "app/forms.h"

#include "app/aboutbox.h"
#include "app/analyserpage.h"
#include "app/mainform.h"
#include "dialogs/iodialog.h"
#include "audio/mixer/mixercontrol.h"
#include "dialogs/soundcarddialog.h"
#include "audio/capturecompletions.h"
#include "dialogs/featurelistdialog.h"
#include "dialogs/sweepdialog.h"
#include "generator/wavegen.h"
#include "display/diagramrenderer.h"
#include "display/diagramoptionsdialog.h"
#include "display/diagramwindow.h"
#include "display/scaledialog.h"
#include "display/scopewindow.h"
#include "dsp/correction.h"
#include "dialogs/analysisdialog.h"
#include "dialogs/calibrationdialog.h"
#include "dialogs/correctioneditor.h"
#include "dialogs/dcoffsetdialog.h"
#include "help/helpsystem.h"

#include <QCheckBox>
#include <memory>

namespace app {

TMainForm *MainForm = nullptr;
TAboutBox *AboutBox = nullptr;
TDiagramm *Diagramm = nullptr;
TOszidia *Oszidia = nullptr;
TFeatDlg *FeatDlg = nullptr;
audio::TSCdia *SCdia = nullptr;
audio::TIOdialog *IOdialog = nullptr;
TWavegen *Wavegen = nullptr;
Twobbeldlg *Wobbeldlg = nullptr;
TAnaly *Analy = nullptr;
TSkalDia *SkalDia = nullptr;
Tdiadlg *Diadlg = nullptr;
TEichDlg *EichDlg = nullptr;
TKorEdit *KorEdit = nullptr;
TDCOffset *DCOffset = nullptr;

namespace {

struct Windows {
    audio::Tmixu *mixu = nullptr;
    Twobbeldlg *wobbeldlg = nullptr;
    TOszidia *oszidia = nullptr;
    bool scopePlaced = false;
    TEichDlg *eichDlg = nullptr;
    TAnaly *analy = nullptr;
    TKorEdit *korEdit = nullptr;
    TSkalDia *skalDia = nullptr;
    audio::TIOdialog *ioDialog = nullptr;
    TDCOffset *dcOffset = nullptr;
    audio::Tdummy *dummy = nullptr;
    Tdiadlg *diadlg = nullptr;
    TWavegen *wavegen = nullptr;
};
Windows W;

} // namespace

bool CreateWindows()
{
    help::Install();
    MainForm = new TMainForm;
    if (MainForm->StartupFailed())
        return false;
    W.mixu = new audio::Tmixu;
    FeatDlg = new TFeatDlg;
    W.wobbeldlg = Wobbeldlg = new Twobbeldlg;
    W.oszidia = Oszidia = new TOszidia;
    AboutBox = new TAboutBox;
    W.eichDlg = EichDlg = new TEichDlg;
    W.analy = Analy = new TAnaly;
    W.korEdit = KorEdit = new TKorEdit;
    W.skalDia = SkalDia = new TSkalDia;
    W.ioDialog = IOdialog = new audio::TIOdialog;
    W.dcOffset = DCOffset = new TDCOffset;
    W.dummy = new audio::Tdummy;
    SCdia = new audio::TSCdia;
    W.diadlg = Diadlg = new Tdiadlg;
    Diagramm = new TDiagramm;
    W.wavegen = Wavegen = new TWavegen;
    Wavegen->SetOptionsDialog(IOdialog);
    // The options dialog edits the diagram's record live; the channel check
    // boxes wear the curve colours.
    Diadlg->SetTarget(Diagramm);
    Diagramm->SetOptionsEditor(Diadlg);
    MainForm->ConnectCalibrationWindows();
    QObject::connect(Diagramm, &TDiagramm::optionsApplied, MainForm, [] {
        const AnalyserPage *page = MainForm->Analyser();
        ColourChannelCaptions(page->MeasureLeft, page->MeasureRight);
    });
    ConnectHelp();
    return true;
}

void DestroyWindows()
{
    help::Shutdown();
    delete W.wavegen;
    Wavegen = nullptr;
    delete Diagramm;
    Diagramm = nullptr;
    delete W.diadlg;
    Diadlg = nullptr;
    delete SCdia;
    SCdia = nullptr;
    delete W.dummy;
    delete W.dcOffset;
    DCOffset = nullptr;
    delete W.ioDialog;
    IOdialog = nullptr;
    delete W.skalDia;
    SkalDia = nullptr;
    delete W.korEdit;
    KorEdit = nullptr;
    delete W.analy;
    Analy = nullptr;
    delete W.eichDlg;
    EichDlg = nullptr;
    delete AboutBox;
    delete W.oszidia;
    Oszidia = nullptr;
    delete W.wobbeldlg;
    Wobbeldlg = nullptr;
    delete FeatDlg;
    FeatDlg = nullptr;
    delete W.mixu;
    delete MainForm;
    W = Windows{};
    AboutBox = nullptr;
    MainForm = nullptr;
}

void ApplyLanguageToWindows(char language)
{
    if (FeatDlg)
        FeatDlg->SetLanguage(language);
    if (W.wobbeldlg)
        W.wobbeldlg->SetLanguage(language);
    if (AboutBox)
        AboutBox->SetLanguage(language);
    if (W.eichDlg)
        W.eichDlg->SetLanguage(language);
    if (W.analy)
        W.analy->SetLanguage(language);
    if (W.korEdit)
        W.korEdit->SetLanguage(language);
    dsp::SetCorrectionLanguage(language);
    if (Diagramm)
        Diagramm->SetLanguage(language);
    if (W.diadlg)
        W.diadlg->SetLanguage(language);
    if (W.ioDialog)
        W.ioDialog->SetLanguage(language);
    if (W.wavegen)
        W.wavegen->SetLanguage(language);
    if (SCdia)
        SCdia->SetLanguage(language);
    if (W.dcOffset)
        W.dcOffset->SetLanguage(language);
    help::SetLanguage(language);
}

void ApplyDiagramGeometry(const WindowGeometry &g)
{
    if (!Diagramm)
        return;
    Diagramm->resize(g.Width, g.Height);
    Diagramm->move(g.Left, g.Top);
}

WindowGeometry LiveDiagramGeometry()
{
    if (!Diagramm)
        return MS.DiagramGeometry;
    return {Diagramm->width(), Diagramm->height(), Diagramm->x(), Diagramm->y()};
}

void ApplyScopeGeometry(const WindowGeometry &g)
{
    if (!Oszidia)
        return;
    Oszidia->resize(g.Width, g.Height);
    Oszidia->move(g.Left, g.Top);
    W.scopePlaced = true;
}

WindowGeometry LiveScopeGeometry()
{
    if (!Oszidia || !W.scopePlaced)
        return MS.ScopeGeometry;
    return {Oszidia->width(), Oszidia->height(), Oszidia->x(), Oszidia->y()};
}

void ColourChannelCaptions(QCheckBox *left, QCheckBox *right)
{
    if (!Diagramm)
        return;
    auto colour = [](QCheckBox *box, std::uint32_t bgr) {
        QPalette p = box->palette();
        p.setColor(QPalette::WindowText, display::ColourFromBgr(bgr));
        box->setPalette(p);
    };
    colour(left, Diagramm->Options().ColLine1);
    colour(right, Diagramm->Options().ColLine2);
}

void ResetDiagramCursor()
{
    if (Diagramm)
        Diagramm->ClearCursors(true);
}

QWidget *GeneratorWindow() { return W.wavegen; }

} // namespace app
