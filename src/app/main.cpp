// Program entry: title, the windows in their order, the message loop.
#include "app/forms.h"
#include "app/mainform.h"
#include "app/platformchoice.h"
#include "help/helpsystem.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A termination request (SIGTERM from a session logout, SIGINT from a
// terminal) closes the main window the normal way, so the settings are
// written as on File > Exit. The handler only writes a byte to a socket;
// the close runs on the UI thread.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    char b = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[0], &b, 1);
}

void closeOnTermination(QObject *context)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
        char b;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[1], &b, 1);
        if (app::MainForm)
            app::MainForm->close();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    app::ApplyPreferredPlatform(argc, argv);
    QApplication application(argc, argv);
    QApplication::setApplicationName("Sonalyx");
    if (!app::CreateWindows()) {
        help::WaitUntilClosed();
        app::DestroyWindows();
        return 1;
    }
    closeOnTermination(&application);
    app::MainForm->show();
    int rc = QApplication::exec();
    app::DestroyWindows();
    return rc;
}
