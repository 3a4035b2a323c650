// The recent result files (see recentfiles.h).
#include "app/recentfiles.h"

#include "platform/inifile.h"

#include <algorithm>

namespace app {

namespace {

std::string Key(int n) { return "RECENT" + std::to_string(n); }

} // namespace

void RecentFiles::Add(const std::string &fileName)
{
    if (fileName.empty())
        return;
    Remove(fileName);
    Files.insert(Files.begin(), fileName);
    if (Files.size() > kMaxRecentFiles)
        Files.resize(kMaxRecentFiles);
    const std::size_t slash = fileName.find_last_of('/');
    if (slash != std::string::npos)
        LastFolder = slash == 0 ? "/" : fileName.substr(0, slash);
}

void RecentFiles::Remove(const std::string &fileName)
{
    Files.erase(std::remove(Files.begin(), Files.end(), fileName), Files.end());
}

void RecentFiles::Read(const platform::IniFile &ini)
{
    LastFolder = ini.get(kFilesSection, "LASTFOLDER", "");
    Files.clear();
    for (int n = 1; n <= kMaxRecentFiles; ++n) {
        const std::string name = ini.get(kFilesSection, Key(n), "");
        if (!name.empty() && std::find(Files.begin(), Files.end(), name) == Files.end())
            Files.push_back(name);
    }
}

void RecentFiles::Write(platform::IniFile &ini) const
{
    ini.set(kFilesSection, "LASTFOLDER", LastFolder);
    for (int n = 1; n <= kMaxRecentFiles; ++n) {
        const auto k = static_cast<std::size_t>(n - 1);
        if (k < Files.size())
            ini.set(kFilesSection, Key(n), Files[k]);
        else
            ini.remove(kFilesSection, Key(n));
    }
}

} // namespace app
