// Helpers shared by the test areas.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>

namespace testsupport {

// A fresh, empty scratch directory for the running test executable,
// under the build tree (SONALYX_TEST_TMP), or, when run by hand, in a folder
// of its own that mkdtemp creates (no name in /tmp anyone could guess).
inline std::string ScratchDir(const std::string &sub = {})
{
    namespace fs = std::filesystem;
    const char *base = std::getenv("SONALYX_TEST_TMP");
    static const std::string own = [] {
        std::string pattern = (fs::temp_directory_path() / "sonalyx-test-XXXXXX").string();
        return mkdtemp(pattern.data()) ? pattern : std::string();
    }();
    fs::path dir = base ? fs::path(base) : fs::path(own);
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

// A full disk, for as long as it lives: files of this process cannot grow
// beyond `bytes` (writes past it fail with EFBIG instead of raising SIGXFSZ).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit old_{};
};

} // namespace testsupport
