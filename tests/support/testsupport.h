// Helpers shared by the test areas.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace testsupport {

// A fresh, empty scratch directory for the running test executable,
// under the build tree (SONALYX_TEST_TMP), or under /tmp when run by hand.
inline std::string ScratchDir(const std::string &sub = {})
{
    namespace fs = std::filesystem;
    const char *base = std::getenv("SONALYX_TEST_TMP");
    fs::path dir = base ? fs::path(base) : fs::temp_directory_path() / "sonalyx-test";
    if (!sub.empty())
        dir /= sub;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    return dir.string();
}

inline void WriteFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

// Runs `command` through the shell with its standard output in `out`; its
// exit status, -1 when it could not run or was killed. (popen spawns the
// child with posix_spawn, which a thread sanitizer follows; QProcess's
// clone() it cannot.)
inline int RunShell(const std::string &command, std::string &out)
{
    out.clear();
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace testsupport
