// Reading and writing the files the program keeps: settings, correction
// files, text exports, the feature list.
//
// Every file the program writes goes through WriteTextFile: the new text is
// written to a temporary file created exclusively (never an existing name,
// never through a link) in the folder where the target really lives,
// flushed to disk, and renamed over the target. A crash, a full disk or a
// failed write leaves the old file whole; the new file keeps the old one's
// permissions; a target that is a symbolic link is written through to the
// file it names (the link stays a link). The readers take only regular
// files up to a size limit, and never wait on a FIFO or a device.
//
// Plain C++ (POSIX), so that the Qt-free signal-processing code can use it.
// Results are 0 for success, an errno value, or one of the FileError codes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Failures of our own, beside the errno values.
enum FileError : int {
    FileNotRegular = 100001,  // a FIFO, a device, a folder, ...
    FileTooLarge = 100002,    // above the reader's limit
    FileLinkRefused = 100003, // a link another user planted in a shared folder
};

// The largest files the readers take.
inline constexpr std::size_t kSettingsFileLimit = std::size_t(1) << 20; // 1 MiB
inline constexpr std::size_t kDataFileLimit = std::size_t(4) << 20;     // 4 MiB: correction, limits, filter files

// Text for a result of the functions below (errno texts from the system).
std::string FileErrorText(int error);

// Reads a whole regular file of at most `limit` bytes into `out`. ENOENT
// for a missing file, FileNotRegular, FileTooLarge, or another errno value.
int ReadTextFile(const std::string &path, std::size_t limit, std::string &out);

// What a target that is a symbolic link means: the file it names, written
// through (a file the user chose or keeps as a link; a link another user
// planted in a shared sticky folder is refused, as the kernel's protected
// links rule does), or a name the program owns, where the link itself is
// replaced by the new file and nothing it names is touched.
enum class Links { Follow, Replace };

// Replaces the file's content atomically (see above). An existing target
// that is not a regular file, or that the user may not write, is left alone
// (FileNotRegular, EACCES).
int WriteTextFile(const std::string &path, std::string_view content, Links links = Links::Follow);

// Line ends of the formats: LF, or CR LF where a format asks for it.
enum class LineEnd { Lf, CrLf };
// The lines, each followed by the line end, written as WriteTextFile does.
int WriteTextLines(const std::string &path, const std::vector<std::string> &lines, LineEnd end,
                   Links links = Links::Follow);

// Creates a file that does not exist yet, with the given content: fails
// with EEXIST for any existing name, a dangling link included, and never
// follows a link. A failed write removes what was created.
int CreateNewTextFile(const std::string &path, std::string_view content);

// The steps of every write, in order: the temporary file opened, written,
// flushed to disk, closed, and renamed over the target. A hook sees each one
// on the writing thread, so a test can stop a process at any of them.
enum class SaveStep { Opened, Written, Synced, Closed, Renamed };
using SaveStepHook = void (*)(SaveStep step);
void SetSaveStepHook(SaveStepHook hook); // nullptr: none (the default)

} // namespace platform
