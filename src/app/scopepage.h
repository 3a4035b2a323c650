// The oscilloscope page: its controls, the input format it borrows while it
// is shown, and the chain of sweeps (scoperun.h) it captures through
// WM_SCOPE_NEXT into the oscilloscope window. The main window creates it,
// hands it the menus it needs through PageHost and dispatches WM_SCOPE_NEXT
// to it.
#pragma once

#include <QWidget>
#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;
class SpinButton;

namespace app {

class PageHost;

class ScopePage : public QWidget {
    Q_OBJECT
public:
    explicit ScopePage(PageHost &host, QWidget *parent = nullptr);

    // Page enter and leave operations, run by the page control.
    void EnterScopePage();
    void LeaveScopePage();

    // WM_SCOPE_NEXT and the capture completion.
    void ScopeNext();
    void ScopeBlockReady();
    // The pause that calibration, Reset and the sweep use.
    void StopOrun();
    void StartOrun();

    void OsziStartStopClick();
    void ScopeTimebaseStep(int step);           // SpinButton3 up (+1) and down (-1)
    void ScopeVoltsStep(int channel, int step); // SpinButton2 (channel 1), SpinButton1 (channel 2)
    void SetScopeRunning(bool on);

    // controls, named as the layout names them
    QGroupBox *ScopeChannel1 = nullptr, *ScopeChannel2 = nullptr, *ScopeTimebase = nullptr;
    QScrollBar *SCRyposCh1 = nullptr, *SCRyposch2 = nullptr, *SCRtrig = nullptr;
    SpinButton *SpinButton1 = nullptr, *SpinButton2 = nullptr, *SpinButton3 = nullptr;
    QLabel *VperDiv1 = nullptr, *VperDiv2 = nullptr, *Panel3 = nullptr;
    QLabel *Label5 = nullptr, *label11 = nullptr, *Label12 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr, *CheckBox3 = nullptr;
    QPushButton *OsziStartStop = nullptr;
    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr;

private:
    void buildControls();
    void ChooseScopeRate();
    void ShowScopeRate();
    void ScopeSampleError(int code);
    void FinishScopeBlockInFlight();

    PageHost &host_;
    std::uint32_t scopeRun_ = 0; // the page visit a capture belongs to
    bool scopeInFlight_ = false; // a capture of the page is running or queued
    bool scopeErrorShown_ = false;
    float scopePeriod_ = 0.0f;   // sample period of the capture in flight, s
};

} // namespace app
