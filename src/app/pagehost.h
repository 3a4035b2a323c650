// What a page of the main window needs from the window that hosts it: the
// window its messages belong to, and the few menus of the shell a run
// locks or a page switches. The pages know nothing else of the main window.
#pragma once

class QWidget;

namespace app {

class PageHost {
public:
    // The window that parents the page's messages, takes its posted steps
    // (WM_ANALYSER_NEXT, WM_SWEEP_STEP, WM_SCOPE_NEXT) and that the
    // oscilloscope page places its window beside.
    virtual QWidget *HostWindow() = 0;
    // Calibration and the audio device and parameter menus: locked while a
    // run needs the devices as they are.
    virtual void LockDeviceMenus(bool locked) = 0;
    // The analysis menu on or off.
    virtual void EnableAnalysisMenu(bool on) = 0;
    // The analysis menu's checks, the level unit menu and the calibration
    // state as the settings have them (entering the analyser page).
    virtual void ShowAnalysisChoices() = 0;
    // Remark and print (off on the oscilloscope page).
    virtual void EnableRemarkAndPrint(bool on) = 0;

protected:
    ~PageHost() = default;
};

} // namespace app
