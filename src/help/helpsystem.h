// Opening help: the Help menu, every Help button, the Help button of device
// error boxes and F1 in every window lead here. One help window serves the
// whole program; it follows the interface language.
#pragma once

#include <QString>

class QObject;
class QWidget;
class THelpWindow;

namespace help {

// Installs F1 for every window and the handler behind the Help button of
// message boxes. Safe to call more than once.
void Install();
// Closes and destroys the help window and removes F1 (program end, tests).
void Shutdown();

// The language of the pages: 'D' German, 'E' English (any other character
// shows the German pages, as the windows keep their German captions then).
void SetLanguage(char language);

void ShowContents();
void ShowTopic(const QString &name);     // by topic name, e.g. "DCMOffset"
void ShowContext(int context);           // by numeric context; unknown ones show the contents
// The topic of a window (or of the page or dialog a widget sits in), unless
// a known context is given: what a Help button of that window opens.
void ShowForWidget(const QWidget *widget, int context = 0);

// Connects the helpRequested(int) or helpRequested(QString) signal of a
// window, if it has one, to ShowForWidget / ShowTopic.
void ConnectHelpSignal(QObject *window);

// The help window, or null while none was opened.
THelpWindow *Window();
// After a failed start the program ends at once; a help page opened from
// the start-up error box stays readable until its window is closed.
void WaitUntilClosed();

} // namespace help
