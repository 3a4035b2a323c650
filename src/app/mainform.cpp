// Main window: life cycle, menus, language, page switching and messages.
// The page controls are built in mainformpages.cpp.
#include "app/mainform.h"
#include "app/noisewindow.h"

#include "app/aboutbox.h"
#include "app/analyserpage.h"
#include "app/forms.h"
#include "app/mainformtexts.h"
#include "app/scopepage.h"
#include "app/sweeppage.h"
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/setupsoundinterface.h"
#include "audio/storeddevice.h"
#include "generator/wavegen.h"
#include "platform/inifile.h"
#include "widgets/messagebox.h"
#include "measurement/levelunits.h"
#include "display/diagramwindow.h"
#include "dsp/analysis.h"
#include "platform/runtime/messages.h"
#include "widgets/radiogroup.h"
#include "platform/runtime/utilities.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>

using app::MS;

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent)
{
    setObjectName("MainForm");
    QFont f = font();
    f.setPointSize(8);
    f.setBold(true);
    setFont(f);
    // Fixed size: system menu and minimise box only.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    MS.MainWindow = this;
    buildMenus();
    buildResultFileMenus();
    buildPages();
    connectResultsMenus();
    connectMixer();
    FormCreate();
    // The window keeps the size its pages and its menu bar need; the user
    // cannot resize it.
    QSize size = sizeHint();
    size.setWidth(std::max(size.width(), menuBar()->sizeHint().width()));
    setFixedSize(size);
}

TMainForm::~TMainForm()
{
    if (MS.MainWindow == this)
        MS.MainWindow = nullptr;
}

// ---- life cycle --------------------------------------------------------------

void TMainForm::FormCreate()
{
    // 1. no spectrum buffers yet (the analyser page has them while it is
    //    shown); both correction tables empty

    // 2. open the audio layer
    audio::SetupSoundInterface();
    // The settings (and so the language) are not known yet: a failure is
    // shown in German, the designed language.
    if (!OpenAudio()) {
        startupFailed_ = true;
        return;
    }

    // 3. settings; correction file messages appear as warnings
    dsp::SetCorrectionMessageSink([this](const std::string &text, dsp::MessageKind) {
        platform::ShowMessage(this, platform::MessageKind::Warning, QString::fromStdString(text));
    });
    fields_.InputChannel = 0;
    LoadfromIni(platform::SettingsFileName());

    // 4. output starts idle
    audio::StopOutput();

    // 5. menus and caption
    Korrektur1->menuAction()->setVisible(true);
    Analyse1->menuAction()->setVisible(true);
    deutschEnglish1->setVisible(true);
    setWindowTitle("Sonalyx V 1.4");

    // 6. FFT sizes
    analyser_->FFTpointsgroup->setItems({"2048", "4096", "8192", "16384"});
}

void TMainForm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (!shown_) {
        shown_ = true;
        FormShow();
        // Activation is not guaranteed on every platform (offscreen); the
        // first show counts as the first activation.
        FormActivate();
    }
}

void TMainForm::FormShow()
{
    // 1. language
    SetLanguage(MS.Language);
    // 2. diagram window geometry
    MS.DiagramGeometry = app::ClampDiagramGeometry(MS.DiagramGeometry);
    app::ApplyDiagramGeometry(MS.DiagramGeometry);
    // 3. channel captions in the curve colours
    app::ColourChannelCaptions(analyser_->MeasureLeft, analyser_->MeasureRight);
    // 4. position
    move(MS.MainLeft, MS.MainTop);
    // 5. stored page
    PageControl1->blockSignals(true);
    PageControl1->setCurrentIndex(fields_.ActivePage);
    PageControl1->blockSignals(false);
    PageControl1Change(fields_.ActivePage);
    // 6. correction label
    updateCorrectionLabel();
    // 7. mixer support: menu caption, mixer-bound controls, input captions
    ShowMixerSupport();
    // The generator's analog volume is the output volume too.
    if (app::Wavegen)
        connect(app::Wavegen, &TWavegen::analogVolumeChanged, this, &TMainForm::GeneratorVolumeChanged,
                Qt::UniqueConnection);
    ShowVolumes();
}

void TMainForm::FormActivate()
{
    // 1.-3. mixer notifications, playback side, recording source and volume
    MixerActivate();
    if (!activatedOnce_) {
        activatedOnce_ = true;
        sweepPage_->DockGenerator(true);
    }
    ShowDeviceStatus();
}

bool TMainForm::event(QEvent *e)
{
    if (const auto *m = platform::AsWindowMessage(e)) {
        switch (m->msg) {
        case platform::WM_ANALYSER_NEXT:
            analyser_->AnalyserNext();
            break;
        case platform::WM_SCOPE_NEXT:
            scope_->ScopeNext();
            break;
        case platform::WM_SWEEP_STEP:
            sweepPage_->SweepStep();
            break;
        case platform::WM_STOP_MEASUREMENTS:
            StopMeasurements();
            break;
        case platform::WM_CALIBRATION_DONE:
            CalibrationDone();
            break;
        default:
            break;
        }
        return true;
    }
    if (e->type() == QEvent::WindowActivate && shown_)
        FormActivate();
    return QMainWindow::event(e);
}

void TMainForm::closeEvent(QCloseEvent *e)
{
    if (closed_ || FormCloseQuery()) {
        e->accept();
        // Closing the main window ends the program, whatever tool windows
        // are still open.
        QCoreApplication::quit();
    } else {
        e->ignore();
    }
}

bool TMainForm::OpenAudio()
{
    int numIn = 0, numOut = 0;
    std::uint32_t lastMask = 0;
    audio::DeviceReport(numIn, numOut, lastMask);
    const int status = audio::InitAudio();
    if (status != 0)
        platform::ShowMessage(this, platform::MessageKind::Error,
                              app::Texts().OpenFailed + QString::fromStdString(audio::ErrorText(status)) + ")",
                              true, 17);
    return status == 0;
}

bool TMainForm::FormCloseQuery()
{
    if (closing_)
        return false;
    closing_ = true;
    if (noiseWindow_)
        noiseWindow_->Shutdown();
    analyser_->LeaveAnalyserPage();
    sweepPage_->LeaveSweepPage();
    scope_->LeaveScopePage();
    audio::DoneAudio();
    SaveToIni(platform::SettingsFileName());
    closed_ = true;
    closing_ = false;
    return true;
}

void TMainForm::moveEvent(QMoveEvent *e)
{
    QMainWindow::moveEvent(e);
    if (shown_)
        sweepPage_->DockGenerator(false);
}

// ---- settings ----------------------------------------------------------------

void TMainForm::LoadfromIni(const std::string &fileName)
{
    platform::IniFile ini(fileName);
    ini.load();
    app::LoadSettings(ini, MS, fields_, *this);
    ReadRecentFiles(ini);
    // A device chosen by name that is not there is never replaced silently.
    const bool english = MS.Language == 'E';
    for (const char kind : {'I', 'O'}) {
        const audio::MissingDevice m = audio::MissingStoredDevice(kind);
        if (m.name.empty())
            continue;
        const QString name = QString::fromStdString(audio::PlainName(m.name));
        const QString used = m.used < 0 ? (english ? QStringLiteral("no device") : QStringLiteral("kein Gerät"))
                                        : QString::fromStdString(m.usedName);
        const QString text =
            english ? (kind == 'I' ? QStringLiteral("The input device \"%1\" was not found; in its place: %2")
                                   : QStringLiteral("The output device \"%1\" was not found; in its place: %2"))
                    : (kind == 'I' ? QStringLiteral("Das Eingabegerät \"%1\" wurde nicht gefunden; statt dessen: %2")
                                   : QStringLiteral("Das Ausgabegerät \"%1\" wurde nicht gefunden; statt dessen: %2"));
        platform::ShowMessage(this, platform::MessageKind::Warning, text.arg(name, used));
    }
}

bool TMainForm::SaveToIni(const std::string &fileName)
{
    platform::IniFile ini(fileName);
    ini.load(); // keep the sections of the other windows
    app::SaveSettings(ini, MS, fields_, *this);
    WriteRecentFiles(ini);
    // A file that could not be read is not replaced; either way the user
    // learns that the settings were not kept, and the old file stays whole.
    if (ini.save())
        return true;
    platform::ShowMessage(this, platform::MessageKind::Error,
                          app::Texts().SettingsNotSaved + QString::fromStdString(fileName) + " (" +
                              QString::fromStdString(platform::FileErrorText(ini.error())) + ")");
    return false;
}

static_assert(app::MaxDeviceNumber + 1 == audio::kMaxDevices, "the settings keep every usable device number");

void TMainForm::SelectInputDevice(int device, const std::string &storedName)
{
    audio::SelectStoredDevice('I', device, storedName);
}

void TMainForm::SelectOutputDevice(int device, const std::string &storedName)
{
    audio::SelectStoredDevice('O', device, storedName);
}
// An empty name means no file: the table stays empty.
void TMainForm::LoadInputCorrection(const std::string &fileName)
{
    MS.InputCorrection.clear();
    if (!fileName.empty())
        MS.InputCorrection.loadFromFile(fileName);
}

void TMainForm::LoadOutputCorrection(const std::string &fileName)
{
    MS.OutputCorrection.clear();
    if (!fileName.empty())
        MS.OutputCorrection.loadFromFile(fileName);
}

// A correction can only be active while a file name is set.
void TMainForm::SetInputCorrectionActive(bool on)
{
    MS.InputCorrection.setActive(on && !MS.InputCorrection.fileName().empty());
    Eingangskorrekturaktiv1->setChecked(MS.InputCorrection.active());
}

void TMainForm::SetOutputCorrectionActive(bool on)
{
    MS.OutputCorrection.setActive(on && !MS.OutputCorrection.fileName().empty());
    Ausgangskorrekturaktiv1->setChecked(MS.OutputCorrection.active());
}

void TMainForm::SetAverageValue(int averages) { analyser_->AverVal->setValue(averages); }
int TMainForm::InputDevice() { return audio::GetInputDevice(); }
int TMainForm::OutputDevice() { return audio::GetOutputDevice(); }
std::string TMainForm::InputDeviceName() { return audio::DeviceNameToStore('I'); }
std::string TMainForm::OutputDeviceName() { return audio::DeviceNameToStore('O'); }
std::string TMainForm::InputCorrectionName() { return MS.InputCorrection.fileName(); }
std::string TMainForm::OutputCorrectionName() { return MS.OutputCorrection.fileName(); }
bool TMainForm::InputCorrectionActive() { return MS.InputCorrection.active(); }
bool TMainForm::OutputCorrectionActive() { return MS.OutputCorrection.active(); }
app::WindowGeometry TMainForm::ScopeWindowGeometry() { return app::LiveScopeGeometry(); }
app::WindowGeometry TMainForm::DiagramWindowGeometry() { return app::LiveDiagramGeometry(); }

void TMainForm::MainWindowPosition(std::int32_t &left, std::int32_t &top)
{
    if (shown_) {
        left = x();
        top = y();
    } else {
        left = MS.MainLeft;
        top = MS.MainTop;
    }
}

// ---- language ------------------------------------------------------------------

void TMainForm::SetLanguage(char language)
{
    const bool de = language == 'D';
    if (de || language == 'E') {
        auto t = [de](const char *g, const char *e) { return QString::fromUtf8(de ? g : e); };
        PageControl1->setTabText(0, t("Spektrumanalyser", "Spectrumanalyzer"));
        PageControl1->setTabText(1, t("Frequenzgenerator", "Frequency Generator"));
        PageControl1->setTabText(2, t("Oszilloskop", "Oscilloscope"));
        app::AnalyserPage *a = analyser_;
        a->FFTpointsgroup->setTitle(t("FFT-Punkte", "FFT Size"));
        a->RunningGroup->setTitle(t("Betrieb", "Mode"));
        a->RunningGroup->setItemTexts({t("einzeln", "single"), t("fortlaufend", "continuous"),
                                    t("Trigger", "trigger")});
        File1->setTitle(t("&Datei", "&File"));
        FilePrintItem->setText(t("&Drucken", "&Print"));
        FilePrintSetupItem->setText(t("Drucker&einrichtung", "Printer &Setup"));
        FileExitItem->setText(t("&Beenden", "&Exit"));
        SpeichernalsText1->setText(t("&Speichern als Text", "&Save as text file"));
        SaveHarmonics1->setText(t("Harmonische speichern als Text", "Save harmonics as text"));
        NoiseDynamic1->setText(t("Rauschen und Dynamik...", "Noise and dynamic range..."));
        Bearbeiten1->setTitle(t("&Bearbeiten", "&Edit"));
        Kommentar1->setText(t("Kommentar", "&Remark"));
        EditCopyItem->setText(t("&Kopieren", "&Copy"));
        Analyse1->setTitle(t("&Analyse", "&Analyze"));
        Korrektur1->setTitle(t("&Korrektur", "&Correction"));
        LadeEingangskorrekturdatei1->setText(t("Lade &Eingangskorrekturdatei", "Open &Input Correction File"));
        Eingangskorrekturaktiv1->setText(t("Eingangskorrektur aktiv", "Input Correction active"));
        EditEingangskorrekturdatei1->setText(t("Bearbeite Eingangskorrekturdatei", "Edit Input Correction File"));
        LadeAusgangskorrekturdatei1->setText(t("Lade &Ausgangskorrekturdatei", "Open &Output Correction File"));
        Ausgangskorrekturaktiv1->setText(t("Ausgangskorrektur aktiv", "Output Correction active"));
        EditAusgangskorrekturdatei1->setText(t("Bearbeite Ausgangskorrekturdatei", "Edit Output Correction File"));
        Testekorrekturdatei1->setText(t("Teste Korrekturdateien", "Test Correction Files"));
        Diagramm1->setTitle(t("&Diagramm", "&Diagram"));
        DiaEinMenu->setText(t("&Einstellungen", "&Options"));
        Skalierung1->setText(t("&Skalierung", "&Scale"));
        Einstellungen1->setTitle(t("&Einstellungen", "&Options"));
        Eichen1->setText(t("&Kalibrierung", "&Calibration"));
        ShowFeaturelist1->setText(t("&Featureliste", "&Features"));
        HelpContentsItem->setText(t("&Inhalt", "&Contens"));
        a->MeasureLeft->setText(t("links K1", "left L1"));
        a->MeasureRight->setText(t("rechts K2", "right L2"));
        a->Label6->setText(t("Mittelwerte ", "Averages "));
        sweepPage_->Button1->setText(t("zurück", "back"));
        app::SetMainTexts(language);
        SetFileMenuLanguage(language);
    }
    app::ApplyLanguageToWindows(language);
    if (noiseWindow_)
        noiseWindow_->SetLanguage(language);
    ShowCalibrationState();
    updateCorrectionLabel();
    ShowMixerSupport();
}

void TMainForm::ShowCalibrationState()
{
    analyser_->Label15->setText(QString::fromStdString(
        display::CalibrationStateText(MS.LevelUnit, fields_.InputVolume, MS.CalibratedInputVolume, MS.Language)));
}

void TMainForm::updateCorrectionLabel()
{
    const bool active = MS.InputCorrection.active() || MS.OutputCorrection.active();
    analyser_->coract->setText(active ? app::Texts().CorrectionActive : QStringLiteral("."));
}

void TMainForm::ShowDeviceStatus()
{
    // Each device with what really runs behind it, where its backend tells.
    const auto device = [](char kind, int n) {
        QString text = QString::fromStdString(audio::DeviceName(kind, n));
        const std::string running = audio::RunningStreamText(kind, n);
        if (!running.empty())
            text += " (" + QString::fromStdString(running) + ")";
        return text;
    };
    StatusLine->setText(device('I', audio::GetInputDevice()) + " / " + device('O', audio::GetOutputDevice()));
    int rateIn = 0, rateOut = 0, bitsIn = 0, bitsOut = 0;
    audio::GetRates(rateIn, rateOut);
    audio::GetBits(bitsIn, bitsOut);
    analyser_->Ldb->setText(QString::number(bitsIn) + " Bit");
    analyser_->Lsf->setText(QString::number(rateIn) + " Hz");
}

// ---- pages ---------------------------------------------------------------------

void TMainForm::PageControl1Changing(int leaving)
{
    if (noiseWindow_)
        noiseWindow_->Stop();
    runLeave(leaving);
}

void TMainForm::PageControl1Change(int entering)
{
    runEnter(entering);
    fields_.ActivePage = entering;
    currentPage_ = entering;
    UpdateResultsMenus(entering);
    app::ResetDiagramCursor();
    update();
}

void TMainForm::runEnter(int page)
{
    switch (page) {
    case 0: analyser_->EnterAnalyserPage(); break;
    case 1: sweepPage_->EnterSweepPage(); break;
    case 2: scope_->EnterScopePage(); break;
    default: break;
    }
}

void TMainForm::runLeave(int page)
{
    switch (page) {
    case 0: analyser_->LeaveAnalyserPage(); break;
    case 1: sweepPage_->LeaveSweepPage(); break;
    case 2: scope_->LeaveScopePage(); break;
    default: break;
    }
}

// ---- menu commands -----------------------------------------------------------

void TMainForm::FileExitItemClick() { close(); }

void TMainForm::deutschEnglish1Click()
{
    MS.Language = MS.Language == 'D' ? 'E' : 'D';
    SetLanguage(MS.Language);
    update();
}

void TMainForm::Reset1Click()
{
    // Stop whatever runs, then close and reopen the audio layer.
    if (noiseWindow_)
        noiseWindow_->Stop();
    analyser_->LeaveAnalyserPage();
    sweepPage_->LeaveSweepPage();
    scope_->LeaveScopePage();
    if (app::Wavegen)
        app::Wavegen->GstopClick();
    audio::DoneAudio();
    OpenAudio();
    runEnter(currentPage_);
    ShowDeviceStatus();
}

void TMainForm::HelpAboutItemClick()
{
    if (app::AboutBox)
        app::AboutBox->exec();
}

void TMainForm::Eingangskorrekturaktiv1Click()
{
    SetInputCorrectionActive(!MS.InputCorrection.active());
    updateCorrectionLabel();
}

void TMainForm::Ausgangskorrekturaktiv1Click()
{
    SetOutputCorrectionActive(!MS.OutputCorrection.active());
    updateCorrectionLabel();
}

// ---- what the pages need from the shell ------------------------------------------

void TMainForm::LockDeviceMenus(bool locked)
{
    for (QAction *a : {Eichen1, AudioDevices1, AudioOutDevice1, AudioInParameter1, AudioOutParameter1})
        a->setEnabled(!locked);
}

void TMainForm::EnableAnalysisMenu(bool on) { Analyse1->setEnabled(on); }

void TMainForm::ShowAnalysisChoices()
{
    ShowAnalysisLineChoice();
    QAction *units[4] = {dbFS1, dbV1, dbu1, dbm1};
    for (int i = 0; i < 4; ++i)
        units[i]->setChecked(i == MS.LevelUnit);
    ShowCalibrationState();
}

void TMainForm::EnableRemarkAndPrint(bool on)
{
    Kommentar1->setEnabled(on);
    FilePrintItem->setEnabled(on);
}
