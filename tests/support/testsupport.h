// Helpers shared by the test areas.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

} // namespace testsupport
