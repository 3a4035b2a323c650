// The program's windows: each is created once at start-up, in a fixed
// order, lives until the program ends and is reached through one reference.
#pragma once

#include "settings/measurementstate.h"

class QCheckBox;
class QWidget;
class TMainForm;
class TAboutBox;
class TDiagramm;
class TOszidia;
class TFeatDlg;
class TAnaly;
class TWavegen;
class Twobbeldlg;
class TSkalDia;
class Tdiadlg;
class TEichDlg;
class TKorEdit;
class TDCOffset;
namespace audio {
class TSCdia;
class TIOdialog;
}

namespace app {

extern TMainForm *MainForm;
extern TAboutBox *AboutBox;
extern TDiagramm *Diagramm;
extern TOszidia *Oszidia; // oscilloscope display
extern TFeatDlg *FeatDlg;
extern TAnaly *Analy; // analysis parameters
extern audio::TSCdia *SCdia;
extern audio::TIOdialog *IOdialog; // audio I/O parameters
extern TWavegen *Wavegen;          // signal generator
extern Twobbeldlg *Wobbeldlg;      // sweep setup
extern TSkalDia *SkalDia;          // readout scale
extern Tdiadlg *Diadlg;            // diagram options
extern TEichDlg *EichDlg;          // calibration
extern TKorEdit *KorEdit;          // correction file editor
extern TDCOffset *DCOffset;        // input DC offset

// Creates every window in the program's order, the main window first (whose
// creation handler opens the audio layer and reads the settings). Returns
// false when the audio layer could not be opened: the caller then ends the
// program with exit code 1, and nothing is written.
bool CreateWindows();
// Destroys the windows in reverse order.
void DestroyWindows();

// Wires the Help menu and the Help button of every window to the help
// window (F1 is installed with the help itself).
void ConnectHelp();

// Asks every other window to apply the language, in the program's order.
void ApplyLanguageToWindows(char language);

// The diagram window's geometry: applied when the main window is first
// shown, read back live when the settings are saved.
void ApplyDiagramGeometry(const WindowGeometry &g);
WindowGeometry LiveDiagramGeometry();
// The oscilloscope window's geometry: applied on entering its page; read
// back live once it was placed, else the stored one.
void ApplyScopeGeometry(const WindowGeometry &g);
WindowGeometry LiveScopeGeometry();

// Colours the channel check boxes with the diagram's left and right curve colours.
void ColourChannelCaptions(QCheckBox *left, QCheckBox *right);
// Clears the diagram's cursor and marker state after a page change.
void ResetDiagramCursor();

// The generator window that docks onto the sweep page; null before it exists.
QWidget *GeneratorWindow();

} // namespace app
