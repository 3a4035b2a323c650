// The main window: the shell of the program. It holds the menus, the
// interface language, the page control with the three pages (analyser,
// generator/sweep, oscilloscope: classes of their own that run their
// measurements), the settings load and save and the calibration state. The
// pages post their steps to it and it hands each message to its page.
#pragma once

#include "app/pagehost.h"
#include "app/recentfiles.h"
#include "settings/measurementstate.h"
#include "settings/settingsfile.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPrinter;
class QTabWidget;
namespace platform {
class IniFile;
}
class QWidget;

namespace app {
class AnalyserPage;
class ScopePage;
class TNoiseWindow;
class SweepPage;
}
namespace audio {
struct TsrcCtr;
}

class TMainForm : public QMainWindow, private app::SettingsHooks, private app::PageHost {
    Q_OBJECT
public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // False when the audio layer could not be opened in the creation
    // handler; the program then ends with exit code 1 and writes nothing.
    bool StartupFailed() const { return startupFailed_; }

    void SetLanguage(char language);
    void ShowCalibrationState();

    // The three pages.
    app::AnalyserPage *Analyser() const { return analyser_; }
    app::SweepPage *Sweep() const { return sweepPage_; }
    app::ScopePage *Scope() const { return scope_; }

    // Fields of the main window itself.
    app::MainWindowFields &Fields() { return fields_; }

    // Settings file, read once at creation and written once at closing.
    void LoadfromIni(const std::string &fileName);
    // Writes the main window's sections; a failure is shown (and false).
    bool SaveToIni(const std::string &fileName);

    // Shows the device names in the status line and the input format in Ldb/Lsf.
    void ShowDeviceStatus();

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void moveEvent(QMoveEvent *e) override;

private:
    void FormCreate();
    void FormShow();
    void FormActivate();
    bool FormCloseQuery();
    // Lists the sound devices and opens the audio layer; a failure is shown.
    // True when it opened.
    bool OpenAudio();

    void buildMenus();
    void buildPages();

    void PageControl1Changing(int leaving);
    void PageControl1Change(int entering);
    void runEnter(int page);
    void runLeave(int page);

    // menu commands
    void FileExitItemClick();
    void deutschEnglish1Click();
    void Reset1Click();
    void HelpAboutItemClick();
    void Eingangskorrekturaktiv1Click();
    void Ausgangskorrekturaktiv1Click();
    // the analysis menu
    void THDN1Click();
    void Noise1Click();
    // The harmonics line and its export (mainformdistortion.cpp).
    void Harmonics1Click();
    void SaveHarmonics1Click();
    void NoiseDynamic1Click();
    // Why the noise window may not run now; empty when it may.
    QString NoiseWindowBusyReason() const;
    void ShowAnalysisLineChoice();
    void Parameter1Click();
    // correction files, level units and text export (mainformcommands.cpp)
    // Asks for a correction file and loads it; the chosen name (empty when cancelled).
    QString LoadCorrectionFile(bool input);
    void Testekorrekturdatei1Click();
    void SetLevelUnit(int unit);
    void SpeichernalsText1Click();
    // devices and the feature list
    void ChooseDevice(bool input);
    void ShowFeaturelist1Click();
    // audio I/O parameters (mainformioparams.cpp)
    void AudioInParameter1Click();
    void AudioOutParameter1Click();
    void BinpoptClick();
    void Button2Click();
    void RunIODialog(bool forInput);

    // SettingsHooks
    void SelectInputDevice(int device, const std::string &storedName) override;
    void SelectOutputDevice(int device, const std::string &storedName) override;
    void LoadInputCorrection(const std::string &fileName) override;
    void LoadOutputCorrection(const std::string &fileName) override;
    void SetInputCorrectionActive(bool on) override;
    void SetOutputCorrectionActive(bool on) override;
    void SetAverageValue(int averages) override;
    int InputDevice() override;
    int OutputDevice() override;
    std::string InputDeviceName() override;
    std::string OutputDeviceName() override;
    std::string InputCorrectionName() override;
    std::string OutputCorrectionName() override;
    bool InputCorrectionActive() override;
    bool OutputCorrectionActive() override;
    app::WindowGeometry ScopeWindowGeometry() override;
    app::WindowGeometry DiagramWindowGeometry() override;
    void MainWindowPosition(std::int32_t &left, std::int32_t &top) override;

    // PageHost
    QWidget *HostWindow() override { return this; }
    void LockDeviceMenus(bool locked) override;
    void EnableAnalysisMenu(bool on) override;
    void ShowAnalysisChoices() override;
    void EnableRemarkAndPrint(bool on) override;

    void updateCorrectionLabel();

    // volume bars of both pages (mainformvolumes.cpp)
    void connectVolumeBars();
    void setInputVolume(int percent);
    void setOutputVolume(int percent);
    void ScrollBar1Scroll(int position);
    void ScrollBar2Scroll(int position);
    void ScrollBar3Scroll(int position);
    void GeneratorVolumeChanged(int percent);

    // system mixer (mainformmixer.cpp)
    void connectMixer();
    void MixerActivate();
    void makeInChannelRadio();
    void SelectInputChannel(int i);
    void MixSelInchange();
    void MixVolInchange(const audio::TsrcCtr &control);
    void MixMasterVolOutchange();
    void MixerSupport1Click();

public:
    // Shows InputVolume and OutputVolume on every bar and percentage label.
    void ShowVolumes();
    // Mixer support: the menu caption, the mixer-bound controls enabled or
    // not, the input captions (after the selected recording source).
    void ShowMixerSupport();

    // Calibration, DC offset and the correction editor (mainformcalibration.cpp):
    // the menu items and the windows' signals, once all windows exist.
    void ConnectCalibrationWindows();
    // WM_STOP_MEASUREMENTS: stops the sweep, the analyser and the oscilloscope
    // (the generator plays on: it may be the calibration source).
    void StopMeasurements();
    // WM_CALIBRATION_DONE: takes over the calibration dialog's result, writes
    // the settings, restarts the oscilloscope on its page.
    void CalibrationDone();
    void Eichen1Click();
    void DCOffset1Click();
    // Opens the correction editor for the input or the output curve.
    void EditCorrectionFile(bool input);
    // The editor saved: the curve keeps its name, the display follows.
    void CorrectionEdited();

    // Loads a correction file into the input or output curve and, when it
    // loads, switches that correction on. False when the file was refused.
    bool LoadCorrection(bool input, const std::string &fileName);
    // Draws both correction curves from 1 Hz to 28 kHz in the diagram window.
    void TestCorrectionCurves();
    // Writes the diagram's (or on the oscilloscope page the scope's) curves
    // to a text file; reports a failure with a message box. Returns the code.
    int SaveResultsAsText(const QString &fileName);
    // The analyser's harmonics as text (mainformdistortion.cpp); 0 or an error.
    int SaveHarmonicsAsText(const QString &fileName);

    // controls, named as the layout names them
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr, *TabSheet2 = nullptr, *TabSheet3 = nullptr;
    QLabel *StatusLine = nullptr;

    // menus
    QMenu *File1 = nullptr, *Bearbeiten1 = nullptr, *Analyse1 = nullptr, *Korrektur1 = nullptr;
    QMenu *Diagramm1 = nullptr, *Einstellungen1 = nullptr, *Hilfe1 = nullptr;
    QMenu *WaveInChannel1 = nullptr, *Pegeleinheit1 = nullptr;
    QAction *SpeichernalsText1 = nullptr, *FilePrintItem = nullptr, *FilePrintSetupItem = nullptr;
    QAction *FileExitItem = nullptr, *Kommentar1 = nullptr, *EditCopyItem = nullptr;
    QAction *THDN1 = nullptr, *Noise1 = nullptr, *Parameter1 = nullptr;
    QAction *Harmonics1 = nullptr, *SaveHarmonics1 = nullptr, *NoiseDynamic1 = nullptr;
    app::TNoiseWindow *noiseWindow_ = nullptr; // made on first use
    QAction *LadeEingangskorrekturdatei1 = nullptr, *Eingangskorrekturaktiv1 = nullptr;
    QAction *EditEingangskorrekturdatei1 = nullptr, *LadeAusgangskorrekturdatei1 = nullptr;
    QAction *Ausgangskorrekturaktiv1 = nullptr, *EditAusgangskorrekturdatei1 = nullptr;
    QAction *Testekorrekturdatei1 = nullptr;
    QAction *DiaEinMenu = nullptr, *Skalierung1 = nullptr;
    QAction *dbFS1 = nullptr, *dbV1 = nullptr, *dbu1 = nullptr, *dbm1 = nullptr;
    QAction *Eichen1 = nullptr, *ShowFeaturelist1 = nullptr, *AudioDevices1 = nullptr;
    QAction *AudioOutDevice1 = nullptr, *AudioInParameter1 = nullptr, *AudioOutParameter1 = nullptr;
    QAction *DCOffset1 = nullptr, *MixerSupport1 = nullptr, *Reset1 = nullptr;
    QAction *deutschEnglish1 = nullptr;
    QAction *HelpContentsItem = nullptr, *HelpAboutItem = nullptr;
    QAction *Mix[19] = {};

    // Results: diagram options and scale, print, printer setup, copy and
    // remark (mainformresults.cpp). The oscilloscope page exports from its
    // own window.
    void connectResultsMenus();
    void connectDistortionMenus();
    void UpdateResultsMenus(int page); // print and remark are off on the oscilloscope page
    void DiaEinMenuClick();
    void Skalierung1Click();
    void Kommentar1Click();
    void FilePrintItemClick();
    void FilePrintSetupItemClick();
    void EditCopyItemClick();
    // Result files (mainformfiles.cpp): save the page's result, open a
    // result or a limits file as an overlay (false, with a message, when it
    // was refused), the recent files kept in section [FILES].
    void buildResultFileMenus();
    void SetFileMenuLanguage(char language);
    void SaveResultClick();
    void OpenOverlayClick();
    void OpenLimitsClick();
    bool OpenOverlayFile(const QString &fileName);
    bool OpenLimitsFile(const QString &fileName);
    void RefreshRecentMenu();
    void ReadRecentFiles(const platform::IniFile &ini);
    void WriteRecentFiles(platform::IniFile &ini) const;
    void RememberFile(const QString &fileName);
    const app::RecentFiles &Recent() const { return recent_; }
    QAction *SaveResult1 = nullptr, *OpenOverlay1 = nullptr, *OpenLimits1 = nullptr, *Overlays1 = nullptr;
    QMenu *RecentFiles1 = nullptr;
    QPrinter &Printer(); // the program's printer; it keeps the user's choices between prints
    struct PrinterDeleter {
        void operator()(QPrinter *p) const;
    };
private:
    std::unique_ptr<QPrinter, PrinterDeleter> printer_;
    app::RecentFiles recent_;

private:
    app::MainWindowFields fields_;
    bool startupFailed_ = false;
    bool shown_ = false;
    bool activatedOnce_ = false;
    bool closing_ = false;
    bool closed_ = false;
    int currentPage_ = -1;
    app::AnalyserPage *analyser_ = nullptr;
    app::SweepPage *sweepPage_ = nullptr;
    app::ScopePage *scope_ = nullptr;

};
