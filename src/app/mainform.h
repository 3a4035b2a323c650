// The main window: the hub of the program. It owns the measurement state,
// hosts the three pages (analyser, generator/sweep, oscilloscope), switches
// the interface language, runs the menus and drives the measurement chains
// through window messages it posts to itself.
#pragma once

#include "settings/measurementstate.h"
#include "settings/settingsfile.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPrinter;
class QPushButton;
class QScrollBar;
class QSpinBox;
class QTabWidget;
class QWidget;
class SpinButton;

namespace platform {
class RadioGroup;
}
namespace app {
struct SweepRunState;
}
namespace audio {
struct TsrcCtr;
}

class TMainForm : public QMainWindow, private app::SettingsHooks {
    Q_OBJECT
public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // False when the audio layer could not be opened in the creation
    // handler; the program then ends with exit code 1 and writes nothing.
    bool StartupFailed() const { return startupFailed_; }

    void SetLanguage(char language);
    void ShowCalibrationState();

    // Page enter and leave operations, run by the page control.
    void EnterAnalyserPage();
    void LeaveAnalyserPage();
    void EnterSweepPage();
    void LeaveSweepPage();
    void EnterScopePage();
    void LeaveScopePage();

    // Fields of the main window itself.
    app::MainWindowFields &Fields() { return fields_; }

    // Settings file, read once at creation and written once at closing.
    void LoadfromIni(const std::string &fileName);
    // Writes the main window's sections; a failure is shown (and false).
    bool SaveToIni(const std::string &fileName);

    // Shows the device names in the status line and the input format in Ldb/Lsf.
    void ShowDeviceStatus();

    // Generator docking onto the Generator group box of the sweep page.
    void DockGenerator(bool force);

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
    QWidget *buildAnalyserPage();
    QWidget *buildSweepPage();
    QWidget *buildScopePage();

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
    void Button1Click();
    void FFTpointsgroupClick(int index);
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
    void FFTwinGroupClick(int index);
    void RunningGroupClick(int index);

    // SettingsHooks
    void SelectInputDevice(int device) override;
    void SelectOutputDevice(int device) override;
    void LoadInputCorrection(const std::string &fileName) override;
    void LoadOutputCorrection(const std::string &fileName) override;
    void SetInputCorrectionActive(bool on) override;
    void SetOutputCorrectionActive(bool on) override;
    void SetAverageValue(int averages) override;
    int InputDevice() override;
    int OutputDevice() override;
    std::string InputCorrectionName() override;
    std::string OutputCorrectionName() override;
    bool InputCorrectionActive() override;
    bool OutputCorrectionActive() override;
    app::WindowGeometry ScopeWindowGeometry() override;
    app::WindowGeometry DiagramWindowGeometry() override;
    void MainWindowPosition(std::int32_t &left, std::int32_t &top) override;

    void updateCorrectionLabel();

    // analyser page (analyserpage.cpp, analyserblock.cpp)
    void connectAnalyserPage();
    void StartButtonClick();
    void StopButtonClick();
    void THDN1Click();
    void Noise1Click();
    void Parameter1Click();
    // Starts a capture of FftSize + FftSize/8 frames for the analyser; on a
    // failure stops the run and reports the code after `errorPrefix`.
    bool startAnalyserCapture(const QString &errorPrefix);
    // Levels and result lines of a completed averaging round; false on a
    // diagram error. Out: the trigger's mean level and threshold.
    bool analyserRound(int rate, double &meanLevel, double &triggerLevel);

    // sweep page (sweeppage.cpp)
    void connectSweepPage();
    void wobbelnButClick();
    void STOPbutClick();
    void WobDialogButClick();
    // Reports an output or capture failure of the sweep and stops it.
    void dowoberr(int code);
    void beginSweepRun();
    void performSweepStep();
    // Locks, and once the run is over its output and the generator settings.
    void finishSweepStep();
    void restoreSweepGenerator();
    void updateSweepLocks();
    void SetGeneratorOnTop(bool on);

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
    // sweep page: WM_SWEEP_STEP and the capture completion
    void SweepStep();
    void SweepBlockReady();
    // A run is going, or one of its steps or captures is still under way.
    bool SweepBusy() const;
    // Shows InputVolume and OutputVolume on every bar and percentage label.
    void ShowVolumes();
    // Mixer support: the menu caption, the mixer-bound controls enabled or
    // not, the input captions (after the selected recording source).
    void ShowMixerSupport();

    // oscilloscope page (scopepage.cpp)
    void connectScopePage();
    void OsziStartStopClick();
    void ScopeTimebaseStep(int step);           // SpinButton3 up (+1) and down (-1)
    void ScopeVoltsStep(int channel, int step); // SpinButton2 (channel 1), SpinButton1 (channel 2)
    void SetScopeRunning(bool on);
    void ChooseScopeRate();
    void ShowScopeRate();
    void ScopeSampleError(int code);
    void FinishScopeBlockInFlight();
    std::uint32_t scopeRun_ = 0; // the page visit a capture belongs to
    bool scopeInFlight_ = false; // a capture of the page is running or queued
    bool scopeErrorShown_ = false;
    float scopePeriod_ = 0.0f;   // sample period of the capture in flight, s

public:
    // oscilloscope page: WM_SCOPE_NEXT, capture completion, and the pause
    // that calibration, Reset and the sweep use
    void ScopeNext();
    void ScopeBlockReady();
    void StopOrun();
    void StartOrun();

    // analyser page: run state, capture completion and WM_ANALYSER_NEXT
    void SetAnalyserRunning(bool on);
    void AnalyserBlockReady();
    void AnalyserNext();

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

    // controls, named as the layout names them
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr, *TabSheet2 = nullptr, *TabSheet3 = nullptr;
    QLabel *StatusLine = nullptr;

    // analyser page
    QPushButton *StartButton = nullptr, *StopButton = nullptr;
    platform::RadioGroup *FFTwinGroup = nullptr, *FFTpointsgroup = nullptr, *RunningGroup = nullptr;
    QSpinBox *AverVal = nullptr;
    QLabel *Label6 = nullptr;
    QCheckBox *MeasureLeft = nullptr, *MeasureRight = nullptr;
    QLabel *Label2 = nullptr, *coract = nullptr, *Label15 = nullptr, *Label3 = nullptr;
    QLabel *Lsf = nullptr, *Ldb = nullptr, *Label14 = nullptr;
    QScrollBar *ScrollBar3 = nullptr;
    QPushButton *Binpopt = nullptr;
    QSpinBox *UpDown1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;

    // sweep page
    QGroupBox *Wobbeln = nullptr, *Pegelbox = nullptr, *Generator = nullptr;
    QPushButton *wobbelnBut = nullptr, *WobDialogBut = nullptr, *STOPbut = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr;
    QLabel *Label7 = nullptr, *FreqText = nullptr, *Label1 = nullptr, *Label8 = nullptr;
    QLabel *Label10 = nullptr, *Label9 = nullptr, *Wobinptxt = nullptr;
    QScrollBar *ScrollBar1 = nullptr, *ScrollBar2 = nullptr;

    // oscilloscope page
    QGroupBox *ScopeChannel1 = nullptr, *ScopeChannel2 = nullptr, *ScopeTimebase = nullptr;
    QScrollBar *SCRyposCh1 = nullptr, *SCRyposch2 = nullptr, *SCRtrig = nullptr;
    SpinButton *SpinButton1 = nullptr, *SpinButton2 = nullptr, *SpinButton3 = nullptr;
    QLabel *VperDiv1 = nullptr, *VperDiv2 = nullptr, *Panel3 = nullptr;
    QLabel *Label5 = nullptr, *label11 = nullptr, *Label12 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr, *CheckBox3 = nullptr;
    QPushButton *OsziStartStop = nullptr;
    class QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr;

    // menus
    QMenu *File1 = nullptr, *Bearbeiten1 = nullptr, *Analyse1 = nullptr, *Korrektur1 = nullptr;
    QMenu *Diagramm1 = nullptr, *Einstellungen1 = nullptr, *Hilfe1 = nullptr;
    QMenu *WaveInChannel1 = nullptr, *Pegeleinheit1 = nullptr;
    QAction *SpeichernalsText1 = nullptr, *FilePrintItem = nullptr, *FilePrintSetupItem = nullptr;
    QAction *FileExitItem = nullptr, *Kommentar1 = nullptr, *EditCopyItem = nullptr;
    QAction *THDN1 = nullptr, *Noise1 = nullptr, *Parameter1 = nullptr;
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
    void UpdateResultsMenus(int page); // print and remark are off on the oscilloscope page
    void DiaEinMenuClick();
    void Skalierung1Click();
    void Kommentar1Click();
    void FilePrintItemClick();
    void FilePrintSetupItemClick();
    void EditCopyItemClick();
    QPrinter &Printer(); // the program's printer; it keeps the user's choices between prints
    struct PrinterDeleter {
        void operator()(QPrinter *p) const;
    };
private:
    std::unique_ptr<QPrinter, PrinterDeleter> printer_;

private:
    app::MainWindowFields fields_;
    bool startupFailed_ = false;
    bool shown_ = false;
    bool activatedOnce_ = false;
    bool closing_ = false;
    bool closed_ = false;
    int currentPage_ = -1;
    std::unique_ptr<app::SweepRunState> sweep_;

};
