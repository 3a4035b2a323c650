#include "platform/runtime/utilities.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cmath>
#include <unistd.h>

namespace platform {

namespace {
std::string &overridePath()
{
    static std::string path;
    return path;
}
} // namespace

std::string ProgramDirectory()
{
    QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QDir::currentPath();
    std::string s = QDir::toNativeSeparators(dir).toStdString();
    if (s.empty() || s.back() != '/')
        s += '/';
    if (s.size() > 255)
        s.resize(255);
    return s;
}

std::string DataDirectory()
{
    // The install rules put the program into <prefix>/bin and its data into
    // <prefix>/share/sonalyx; the relative path between them comes from the
    // build configuration, so any prefix (and DESTDIR staging) works.
    const QString dir = QDir::cleanPath(QString::fromStdString(ProgramDirectory()) + SONALYX_DATADIR_FROM_BINDIR);
    return QFileInfo(dir).isDir() ? dir.toStdString() : std::string();
}

std::string SettingsFileName()
{
    if (!overridePath().empty())
        return overridePath();
    const std::string programFile = ProgramDirectory() + "sonmain.ini";
    const std::string dir = ProgramDirectory();
    bool fileWritable = access(programFile.c_str(), W_OK) == 0;
    bool fileExists = access(programFile.c_str(), F_OK) == 0;
    // Installed: never beside the program, even when root could write there.
    if (DataDirectory().empty() && access(dir.c_str(), W_OK) == 0 && (fileWritable || !fileExists))
        return programFile;

    QString userDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (userDir.isEmpty())
        return programFile;
    userDir += "/sonalyx";
    QDir().mkpath(userDir);
    QString userFile = userDir + "/sonmain.ini";
    if (!QFileInfo::exists(userFile) && fileExists && DataDirectory().empty()) {
        // The settings found beside the program start the user's own file.
        std::string text;
        if (ReadTextFile(programFile, kSettingsFileLimit, text) == 0)
            WriteTextFile(QFile::encodeName(userFile).toStdString(), text);
    }
    return userFile.toStdString();
}

void SetSettingsFileName(const std::string &path) { overridePath() = path; }

double Log10(double x)
{
    return static_cast<double>(std::log(static_cast<long double>(x)) / std::log(10.0L));
}

double Pow10(double x)
{
    return static_cast<double>(std::exp(static_cast<long double>(x) * std::log(10.0L)));
}

} // namespace platform
