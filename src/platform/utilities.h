// Small routines shared by every subsystem.
#pragma once

#include <string>

namespace platform {

// Directory of the executable, with its trailing separator (at most 255 characters).
std::string ProgramDirectory();

// Full path of the settings file "sonmain.ini". It lives in the program
// directory; when that directory cannot be written, the file lives in the
// per-user configuration directory instead (seeded from the program
// directory's copy if there is one), so settings are never silently lost.
std::string SettingsFileName();
// Overrides the settings file (tests, and hosts that keep the file elsewhere).
// An empty path restores the default rule.
void SetSettingsFileName(const std::string &path);

// ln x / ln 10 and e^(x ln 10), computed in extended precision.
double Log10(double x);
double Pow10(double x);

} // namespace platform
