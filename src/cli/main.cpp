// Entry of sonalyx-measure: the measurements without windows, on the engine
// of the window program. Needs no display. SIGINT and SIGTERM end a running
// measurement or generator cleanly (the output stops, status 2 for an
// unfinished measurement).
#include "cli/commands.h"
#include "cli/commandsupport.h"
#include "dsp/correction.h"
#include "measurement/blockwait.h"

#include <QCoreApplication>
#include <csignal>

namespace {
void OnSignal(int) { measure::RequestInterrupt(); }
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("sonalyx-measure");
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // The command line speaks English, messages about correction files too.
    dsp::SetCorrectionLanguage('E');
    // The arguments as given: a file name need not be UTF-8.
    return cli::RunMeasure(cli::ArgumentsFromArgv(argc, argv));
}
