// The result files the user saved or opened last, and the folder of the
// last one, as section [FILES] of the settings file keeps them:
//   LASTFOLDER   the folder the file dialogs start in
//   RECENT1..8   the files, the newest first
// A name is kept as it is (a file that went away stays listed until it is
// opened and refused). UI thread only.
#pragma once

#include <string>
#include <vector>

namespace platform {
class IniFile;
}

namespace app {

constexpr int kMaxRecentFiles = 8;
constexpr const char *kFilesSection = "FILES";

struct RecentFiles {
    std::string LastFolder;
    std::vector<std::string> Files;

    // Puts `fileName` first (once), drops the oldest beyond kMaxRecentFiles
    // and takes its folder as the last one.
    void Add(const std::string &fileName);
    void Remove(const std::string &fileName);
    void Read(const platform::IniFile &ini);
    void Write(platform::IniFile &ini) const;
};

} // namespace app
