#include "platform/inifile.h"

#include <algorithm>
#include <cctype>
#include <locale>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace platform {

namespace {

std::string trim(const std::string &s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

bool iequals(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y))
            return false;
    }
    return true;
}

// "[name]" -> name; empty optional when the line is no section header.
bool sectionName(const std::string &line, std::string &name)
{
    std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    std::size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

bool keyName(const std::string &line, std::string &name)
{
    std::string t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[')
        return false;
    std::size_t eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    name = trim(t.substr(0, eq));
    return true;
}

std::string valueOf(const std::string &line)
{
    std::size_t eq = line.find('=');
    std::string v = trim(line.substr(eq + 1));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    return v;
}

// The text that makes a later get() return `v` as it is: a value that
// reading would change (blanks or control characters at either end, or
// enclosing quotes) goes between quotes. A line break would end the line and
// put the rest where keys and sections are read: it becomes a blank.
std::string storedValue(std::string v)
{
    std::replace(v.begin(), v.end(), '\n', ' ');
    if (trim(v) != v || (v.size() >= 2 && v.front() == '"' && v.back() == '"'))
        return '"' + v + '"';
    return v;
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

bool IniFile::load()
{
    lines_.clear();
    crlf_ = false;
    unreadable_ = false;
    std::string text;
    error_ = ReadTextFile(path_, kSettingsFileLimit, text);
    if (error_ == ENOENT) { // a missing file is simply empty
        error_ = 0;
        return true;
    }
    if (error_ != 0) {
        unreadable_ = true;
        loadError_ = error_;
        return false;
    }
    parse(text);
    return true;
}

void IniFile::parse(const std::string &text)
{
    lines_.clear();
    crlf_ = false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            crlf_ = true;
        }
        lines_.push_back(line);
    }
}

std::string IniFile::text() const
{
    std::string text;
    const char *eol = crlf_ ? "\r\n" : "\n";
    for (const std::string &l : lines_) {
        text += l;
        text += eol;
    }
    return text;
}

bool IniFile::save() const
{
    // A file that exists but could not be read is never replaced by what
    // little this document knows of it.
    error_ = unreadable_ ? loadError_ : WriteTextFile(path_, text());
    return error_ == 0;
}

IniFile::Found IniFile::find(const std::string &section, const std::string &key) const
{
    Found f;
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string name;
        if (sectionName(lines_[i], name)) {
            if (inSection)
                break; // the section ended; the first matching section counts
            if (iequals(name, section)) {
                inSection = true;
                f.sectionLine = static_cast<long>(i);
                f.sectionEnd = static_cast<long>(i) + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!trim(lines_[i]).empty())
            f.sectionEnd = static_cast<long>(i) + 1;
        if (f.keyLine < 0 && keyName(lines_[i], name) && iequals(name, key))
            f.keyLine = static_cast<long>(i);
    }
    return f;
}

std::string IniFile::get(const std::string &section, const std::string &key,
                         const std::string &def, std::size_t bufferSize) const
{
    Found f = find(section, key);
    std::string v = f.keyLine >= 0 ? valueOf(lines_[static_cast<std::size_t>(f.keyLine)]) : trim(def);
    if (bufferSize > 0 && v.size() > bufferSize - 1)
        v.resize(bufferSize - 1);
    return v;
}

bool IniFile::has(const std::string &section, const std::string &key) const
{
    return find(section, key).keyLine >= 0;
}

void IniFile::set(const std::string &section, const std::string &key, const std::string &value)
{
    Found f = find(section, key);
    std::string line = key + "=" + storedValue(value);
    if (f.keyLine >= 0) {
        lines_[static_cast<std::size_t>(f.keyLine)] = line;
    } else if (f.sectionLine >= 0) {
        lines_.insert(lines_.begin() + f.sectionEnd, line);
    } else {
        if (!lines_.empty() && !trim(lines_.back()).empty())
            lines_.push_back("");
        lines_.push_back("[" + section + "]");
        lines_.push_back(line);
    }
}

void IniFile::remove(const std::string &section, const std::string &key)
{
    Found f = find(section, key);
    if (f.keyLine >= 0)
        lines_.erase(lines_.begin() + f.keyLine);
}

std::optional<long long> ReadInteger(const IniFile &ini, const std::string &section, const std::string &key,
                                     const std::string &def, std::size_t bufferSize)
{
    long long v = 0;
    if (!ParseInt(ini.get(section, key, def, bufferSize), v))
        return std::nullopt;
    return v;
}

std::optional<double> ReadReal(const IniFile &ini, const std::string &section, const std::string &key,
                               const std::string &def, std::size_t bufferSize)
{
    double v = 0.0;
    if (!ParseFloat(ini.get(section, key, def, bufferSize), v))
        return std::nullopt;
    return v;
}

bool ReadSwitch(const IniFile &ini, const std::string &section, const std::string &key, bool def,
                std::size_t bufferSize)
{
    return ini.get(section, key, def ? "TRUE" : "FALSE", bufferSize) != "FALSE";
}

std::string GetPrivateProfileString(const std::string &section, const std::string &key,
                                    const std::string &def, std::size_t bufferSize,
                                    const std::string &fileName)
{
    IniFile ini(fileName);
    ini.load();
    return ini.get(section, key, def, bufferSize);
}

bool WritePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::string &fileName)
{
    IniFile ini(fileName);
    if (!ini.load())
        return false;
    ini.set(section, key, value);
    return ini.save();
}

} // namespace platform
