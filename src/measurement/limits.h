// Pass/fail limits for scripted measurements, read from a limits file:
// frequency-dependent lower and upper levels for sweeps and spectra, and
// single bounds for THD+N, THD, intermodulation, noise, dynamic range and
// band levels.
//
// File format (text, one item per line; '#' starts a comment line):
//   FREQUENCY LOWER UPPER   a row of the limit curve: Hz, dB, dB; "-" where
//                           a row has no bound; fields separated by blanks,
//                           commas or semicolons; frequencies ascending
//   THDN_MAX dB             largest THD+N that passes
//   LEVEL_MIN dB            smallest band level that passes
//   LEVEL_MAX dB            largest band level that passes
//   THD_MAX dB              largest THD (re the fundamental) that passes: on
//                           a log sweep's THD curve, or of one tone
//   IMD_MAX dB              largest intermodulation that passes (SMPTE/DIN
//                           IMD, or each of CCIF's d2 and d3)
//   NOISE_MAX dB            largest noise level (dBFS) that passes
//   DR_MIN dB               smallest dynamic range that passes
// Between two rows a bound follows a straight line over log frequency, where
// both rows have it; outside the rows' span a level is not checked.
//
// Threads: any.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace measure {

struct LimitRow {
    double FrequencyHz = 0.0;
    std::optional<double> Lower, Upper; // dB
};

// What a line of the file holds, so a command can tell the limits it checks
// from those it cannot.
enum class LimitKind { Curve, ThdNMax, LevelMin, LevelMax, ThdMax, ImdMax, NoiseMax, DrMin };
constexpr int kLimitKinds = 8;
struct LimitLine {
    int Line = 0; // 1-based line number in the file
    LimitKind Kind = LimitKind::Curve;
};
const char *LimitKindName(LimitKind kind); // "curve row", "THDN_MAX", ...

class Limits {
public:
    // Parses the text of a limits file; false with `error` naming the line.
    bool Parse(const std::string &text, std::string &error);
    // Reads and parses a file: a regular file of at most
    // platform::kDataFileLimit bytes.
    bool Load(const std::string &fileName, std::string &error);

    const std::vector<LimitRow> &Rows() const { return rows_; }
    // Every limit of the file with its line, in file order.
    const std::vector<LimitLine> &Lines() const { return lines_; }
    std::optional<double> ThdNMax, LevelMin, LevelMax, ThdMax, ImdMax, NoiseMax, DrMin;

    // The bounds of the curve at `frequencyHz` (none outside its span).
    LimitRow BoundsAt(double frequencyHz) const;
    // Whether `levelDb` at `frequencyHz` lies within the curve's bounds.
    bool CurvePasses(double frequencyHz, double levelDb) const;
    bool ThdNPasses(double thdnDb) const { return !ThdNMax || thdnDb <= *ThdNMax; }
    bool ThdPasses(double thdDb) const { return !ThdMax || thdDb <= *ThdMax; }
    bool ImdPasses(double imdDb) const { return !ImdMax || imdDb <= *ImdMax; }
    bool NoisePasses(double noiseDbfs) const { return !NoiseMax || noiseDbfs <= *NoiseMax; }
    bool DynamicRangePasses(double rangeDb) const { return !DrMin || rangeDb >= *DrMin; }
    bool LevelPasses(double levelDb) const
    {
        return (!LevelMin || levelDb >= *LevelMin) && (!LevelMax || levelDb <= *LevelMax);
    }

private:
    std::vector<LimitRow> rows_;
    std::vector<LimitLine> lines_;
};

} // namespace measure
