// The subcommands of sonalyx-measure. Each takes its own arguments (the
// subcommand's name first), writes its results to standard output and
// returns the exit status: 0 pass, 1 a value outside the limits, 2 error.
// Errors are thrown as CommandError (commandsupport.h).
#pragma once

#include <QStringList>

namespace cli {

int RunDevices(const QStringList &arguments);
int RunSpectrum(const QStringList &arguments);
int RunThdN(const QStringList &arguments);
int RunLevel(const QStringList &arguments);
int RunSweep(const QStringList &arguments);
int RunLogSweep(const QStringList &arguments);
int RunGenerate(const QStringList &arguments);
int RunThd(const QStringList &arguments);
int RunImd(const QStringList &arguments);
int RunNoise(const QStringList &arguments);
int RunDynamicRange(const QStringList &arguments);
int RunDistortionSweep(const QStringList &arguments);
int RunCompare(const QStringList &arguments);

// The whole program: the subcommand chosen by the first argument.
int RunMeasure(const QStringList &arguments);

} // namespace cli
