// Helpers shared by the test areas.
#pragma once

#include <QDir>
#include <QString>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

// A fresh, empty scratch directory for the running test executable,
// under the build tree (SONALYX_TEST_TMP), or under /tmp when run by hand.
inline std::string ScratchDir(const std::string &sub = {})
{
    const char *base = std::getenv("SONALYX_TEST_TMP");
    QString dir = base ? QString::fromLocal8Bit(base) : QDir::tempPath() + "/sonalyx-test";
    if (!sub.empty())
        dir += "/" + QString::fromStdString(sub);
    QDir d(dir);
    d.removeRecursively();
    QDir().mkpath(dir);
    return dir.toStdString();
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
