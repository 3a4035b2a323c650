// Limits files (see limits.h).
#include "measurement/limits.h"

#include "platform/inifile.h"
#include "platform/textfile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

namespace measure {

namespace {

std::vector<std::string> Fields(const std::string &line)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : line) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == ';') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

bool Number(const std::string &text, double &v) { return platform::ParseFloat(text, v) && std::isfinite(v); }

std::string Upper(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

const char *LimitKindName(LimitKind kind)
{
    switch (kind) {
    case LimitKind::ThdNMax:
        return "THDN_MAX";
    case LimitKind::LevelMin:
        return "LEVEL_MIN";
    case LimitKind::LevelMax:
        return "LEVEL_MAX";
    case LimitKind::ThdMax:
        return "THD_MAX";
    case LimitKind::ImdMax:
        return "IMD_MAX";
    case LimitKind::NoiseMax:
        return "NOISE_MAX";
    case LimitKind::DrMin:
        return "DR_MIN";
    case LimitKind::Curve:
        break;
    }
    return "curve row";
}

bool Limits::Parse(const std::string &text, std::string &error)
{
    rows_.clear();
    lines_.clear();
    ThdNMax.reset();
    ThdMax.reset();
    ImdMax.reset();
    NoiseMax.reset();
    DrMin.reset();
    LevelMin.reset();
    LevelMax.reset();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::vector<std::string> f = Fields(line);
        if (f.empty() || f[0][0] == '#')
            continue;
        const std::string where = "line " + std::to_string(lineNo) + ": ";
        const std::string key = Upper(f[0]);
        double v = 0.0;
        struct Single {
            const char *name;
            std::optional<double> *value;
            LimitKind kind;
        };
        const Single singles[] = {
            {"THDN_MAX", &ThdNMax, LimitKind::ThdNMax},   {"THD_MAX", &ThdMax, LimitKind::ThdMax},
            {"LEVEL_MIN", &LevelMin, LimitKind::LevelMin}, {"LEVEL_MAX", &LevelMax, LimitKind::LevelMax},
            {"IMD_MAX", &ImdMax, LimitKind::ImdMax},       {"NOISE_MAX", &NoiseMax, LimitKind::NoiseMax},
            {"DR_MIN", &DrMin, LimitKind::DrMin},
        };
        const Single *single = nullptr;
        for (const Single &sg : singles)
            if (key == sg.name)
                single = &sg;
        if (single) {
            if (f.size() != 2 || !Number(f[1], v)) {
                error = where + key + " needs one number in dB";
                return false;
            }
            *single->value = v;
            lines_.push_back({lineNo, single->kind});
            continue;
        }
        LimitRow row;
        if (f.size() != 3 || !Number(f[0], row.FrequencyHz) || !(row.FrequencyHz > 0.0)) {
            error = where + "expected a frequency in Hz, a lower and an upper level in dB (\"-\" for none)";
            return false;
        }
        for (int i = 1; i <= 2; ++i) {
            if (f[i] == "-")
                continue;
            if (!Number(f[i], v)) {
                error = where + "\"" + f[i] + "\" is not a level in dB";
                return false;
            }
            (i == 1 ? row.Lower : row.Upper) = v;
        }
        if (row.Lower && row.Upper && *row.Lower > *row.Upper) {
            error = where + "the lower level is above the upper level";
            return false;
        }
        if (!rows_.empty() && !(row.FrequencyHz > rows_.back().FrequencyHz)) {
            error = where + "frequencies must ascend";
            return false;
        }
        rows_.push_back(row);
        lines_.push_back({lineNo, LimitKind::Curve});
    }
    if (lines_.empty()) {
        error = "the file holds no limits";
        return false;
    }
    return true;
}

bool Limits::Load(const std::string &fileName, std::string &error)
{
    // A regular file of a sane size only: never a FIFO, a device or an
    // endless file.
    std::string text;
    if (const int e = platform::ReadTextFile(fileName, platform::kDataFileLimit, text)) {
        error = "cannot read limits file " + fileName + ": " + platform::FileErrorText(e) +
                (e == platform::FileTooLarge ? " (at most 4 MiB)" : "");
        return false;
    }
    if (!Parse(text, error)) {
        error = fileName + ", " + error;
        return false;
    }
    return true;
}

LimitRow Limits::BoundsAt(double f) const
{
    LimitRow b;
    b.FrequencyHz = f;
    if (rows_.empty() || !(f >= rows_.front().FrequencyHz) || !(f <= rows_.back().FrequencyHz))
        return b;
    // The first row at or above f; f lies within the span, so there is one,
    // and a row below it unless f is the first row's frequency.
    std::size_t hi = 0;
    while (rows_[hi].FrequencyHz < f)
        ++hi;
    if (rows_[hi].FrequencyHz == f)
        return LimitRow{f, rows_[hi].Lower, rows_[hi].Upper};
    const LimitRow &a = rows_[hi - 1], &c = rows_[hi];
    // Differences of logarithms: the ratio of two frequencies far apart
    // (1e-300 Hz and 1e300 Hz) would overflow.
    const double la = std::log(a.FrequencyHz);
    const double t = std::clamp((std::log(f) - la) / (std::log(c.FrequencyHz) - la), 0.0, 1.0);
    // Weighted, not a difference: bounds of opposite sign near the limits of
    // double precision would overflow it.
    if (a.Lower && c.Lower)
        b.Lower = (1.0 - t) * *a.Lower + t * *c.Lower;
    if (a.Upper && c.Upper)
        b.Upper = (1.0 - t) * *a.Upper + t * *c.Upper;
    return b;
}

bool Limits::CurvePasses(double f, double levelDb) const
{
    const LimitRow b = BoundsAt(f);
    return (!b.Lower || levelDb >= *b.Lower) && (!b.Upper || levelDb <= *b.Upper);
}

} // namespace measure
