// The sweep page: its controls, the generator docked onto it, and the run of
// frequency steps (measurement/sweeprun.h) it chains through WM_SWEEP_STEP
// and shows point by point in the diagram; or, with the log sweep chosen in
// the setup dialog, the log sweep run (logsweeprunner.h), or with the
// distortion sweep chosen, that run (distortionsweeprunner.h). The main window creates it, hands
// it the menus it needs through PageHost and dispatches WM_SWEEP_STEP to it.
#pragma once

#include "app/sweeprunstate.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace app {

class DistortionSweepRunner;
class LogSweepRunner;
class PageHost;

class SweepPage : public QWidget {
    Q_OBJECT
public:
    explicit SweepPage(PageHost &host, QWidget *parent = nullptr);

    // Page enter and leave operations, run by the page control.
    void EnterSweepPage();
    void LeaveSweepPage();

    // WM_SWEEP_STEP and the capture completion.
    void SweepStep();
    void SweepBlockReady();
    // A run is going, or one of its steps or captures is still under way.
    bool SweepBusy() const;

    void wobbelnButClick();
    void STOPbutClick();
    void WobDialogButClick();
    // "back": the generator window onto the Generator group box.
    void Button1Click();
    // Generator docking onto the Generator group box: always when forced,
    // else when the generator window overlaps the box.
    void DockGenerator(bool force);
    void SetGeneratorOnTop(bool on);

    // controls, named as the layout names them
    QGroupBox *Wobbeln = nullptr, *Pegelbox = nullptr, *Generator = nullptr;
    QPushButton *wobbelnBut = nullptr, *WobDialogBut = nullptr, *STOPbut = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr;
    // Shows the log sweep's impulse response window.
    QPushButton *ImpulseBut = nullptr;
    QLabel *Label7 = nullptr, *FreqText = nullptr, *Label1 = nullptr, *Label8 = nullptr;
    QLabel *Label10 = nullptr, *Label9 = nullptr, *Wobinptxt = nullptr;
    QScrollBar *ScrollBar1 = nullptr, *ScrollBar2 = nullptr;

    LogSweepRunner *LogSweep() const { return log_; }
    DistortionSweepRunner *DistortionSweep() const { return dist_; }

private:
    void buildControls();
    void runLogSweep();
    void runDistortionSweep();
    // Reports an output or capture failure of the sweep and stops it.
    void dowoberr(int code);
    void beginSweepRun();
    void performSweepStep();
    // Locks, and once the run is over its output and the generator settings.
    void finishSweepStep();
    void restoreSweepGenerator();
    void updateSweepLocks();

    PageHost &host_;
    SweepRunState run_;
    LogSweepRunner *log_ = nullptr;
    DistortionSweepRunner *dist_ = nullptr;
};

} // namespace app
