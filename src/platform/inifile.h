// INI settings files with private-profile semantics: section and key names
// match case-insensitively, a missing key yields the caller's default text,
// values are cut to the caller's buffer size, and writing a key replaces it
// in place (or appends it, creating section and file) while every other
// line - foreign sections, keys, comments, blank lines - stays as it was.
//
// Files are read and written through textfile.h: only a regular file of at
// most kSettingsFileLimit bytes is read, and a save replaces the file
// atomically (exclusive temporary file in the target's real folder, renamed
// over it; permissions kept; a link written through), so a crash or a full
// disk never leaves a half-written settings file behind.
#pragma once

#include "platform/numbers.h" // the values' number text: ParseInt, ParseFloat, FormatFixed
#include "platform/textfile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string path);

    // Reads the file; a missing file is an empty document. Returns false only
    // when the file exists but cannot be read (error() tells why); the
    // document is then empty, and save() refuses to replace that file.
    bool load();
    // Writes atomically. Returns false when the file could not be written
    // (error() tells why); the previous contents are then untouched.
    bool save() const;
    // Result of the last load or save: 0, errno or a platform::FileError.
    int error() const { return error_; }

    // The document as text, and its replacement by a text, without the file.
    std::string text() const;
    void parse(const std::string &text);

    const std::string &path() const { return path_; }

    // Value of section/key, or `def` when the key (or section) is missing.
    // Leading and trailing blanks are stripped, as are one pair of enclosing
    // double quotes. The result is cut to bufferSize - 1 characters (the
    // platform functions fill a character buffer of that size, terminator
    // included); bufferSize 0 means no limit.
    std::string get(const std::string &section, const std::string &key,
                    const std::string &def, std::size_t bufferSize = 0) const;
    bool has(const std::string &section, const std::string &key) const;

    // Replaces the key in place or adds it at the end of its section; creates
    // the section at the end of the document if needed. Only changes memory.
    // The value is written so that get() returns it unchanged: between quotes
    // when it has blanks at an end or enclosing quotes of its own; line
    // breaks become blanks.
    void set(const std::string &section, const std::string &key, const std::string &value);
    // Removes a key (no-op when missing).
    void remove(const std::string &section, const std::string &key);

    const std::vector<std::string> &lines() const { return lines_; }

private:
    struct Found {
        long sectionLine = -1; // index of the [section] header, -1 if missing
        long keyLine = -1;     // index of the key line, -1 if missing
        long sectionEnd = -1;  // index just after the last non-blank line of the section
    };
    Found find(const std::string &section, const std::string &key) const;

    std::string path_;
    std::vector<std::string> lines_;
    bool crlf_ = false; // keep the line ends the file came with
    bool unreadable_ = false; // the file exists but could not be loaded
    int loadError_ = 0;
    mutable int error_ = 0;
};

// Reading a value with its fall-back, the one way every section of the
// settings files reads one: the stored text (the default text `def` when the
// key is missing), cut as get() cuts it, parsed without regard to the locale
// (ParseInt, ParseFloat). Empty when the text does not parse; the caller then
// takes its fall-back, as it does for a value outside what it accepts.
std::optional<long long> ReadInteger(const IniFile &ini, const std::string &section, const std::string &key,
                                     const std::string &def, std::size_t bufferSize = 0);
std::optional<double> ReadReal(const IniFile &ini, const std::string &section, const std::string &key,
                               const std::string &def, std::size_t bufferSize = 0);
// A switch: every text but exactly "FALSE" is true; a missing key is `def`.
bool ReadSwitch(const IniFile &ini, const std::string &section, const std::string &key, bool def,
                std::size_t bufferSize = 0);

// The two private-profile functions, one file access per call.
std::string GetPrivateProfileString(const std::string &section, const std::string &key,
                                    const std::string &def, std::size_t bufferSize,
                                    const std::string &fileName);
bool WritePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::string &fileName);

} // namespace platform
