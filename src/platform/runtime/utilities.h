// Small routines shared by every subsystem.
#pragma once

#include <string>

namespace platform {

// Directory of the executable, with its trailing separator (at most 255 characters).
std::string ProgramDirectory();

// The installed program's data directory (<prefix>/share/sonalyx, found
// relative to the program), or empty when the program runs from a build
// tree or a folder of its own.
std::string DataDirectory();

// Full path of the settings file "sonmain.ini". An installed program keeps
// it in the per-user configuration directory ($XDG_CONFIG_HOME/sonalyx,
// usually ~/.config/sonalyx), whoever runs it. A program run from its build
// tree keeps it beside itself; when that directory cannot be written, in
// the per-user directory instead (seeded from the program directory's copy
// if there is one), so settings are never silently lost.
std::string SettingsFileName();
// Overrides the settings file (tests, and hosts that keep the file elsewhere).
// An empty path restores the default rule.
void SetSettingsFileName(const std::string &path);

// ln x / ln 10 and e^(x ln 10), computed in extended precision.
double Log10(double x);
double Pow10(double x);

} // namespace platform
