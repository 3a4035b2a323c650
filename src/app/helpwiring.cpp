// The Help menu and the windows' Help buttons, wired to the help window.
#include "app/forms.h"
#include "app/mainform.h"
#include "help/helpsystem.h"

#include <QAction>
#include <QApplication>

namespace app {

void ConnectHelp()
{
    // Every window that offers help says so with a helpRequested signal;
    // windows added later are wired the same way without naming them here.
    for (QWidget *w : QApplication::topLevelWidgets())
        help::ConnectHelpSignal(w);
    if (auto *contents = MainForm->findChild<QAction *>("HelpContentsItem"))
        QObject::connect(contents, &QAction::triggered, MainForm, [] { help::ShowContents(); });
}

} // namespace app
