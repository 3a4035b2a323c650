// Main window: the audio I/O parameters dialog from the menu, the analyser
// page's "In-Para" and the sweep page's "Out-Para" buttons.
#include "app/forms.h"
#include "app/mainform.h"
#include "dialogs/iodialog.h"
#include "audio/outputengine.h"

void TMainForm::RunIODialog(bool forInput)
{
    if (!app::IOdialog)
        return;
    app::IOdialog->ForInput = forInput;
    app::IOdialog->exec();
    ShowDeviceStatus();
}

void TMainForm::AudioInParameter1Click() { RunIODialog(true); }

// The output format cannot change under a playing generator.
void TMainForm::AudioOutParameter1Click()
{
    if (!audio::OutputRunning())
        RunIODialog(false);
}

void TMainForm::BinpoptClick() { RunIODialog(true); }

void TMainForm::Button2Click()
{
    if (!audio::OutputRunning())
        RunIODialog(false);
}
