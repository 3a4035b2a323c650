// Correction curves: level corrections in dB as a smooth function of
// frequency, read from correction files ("*.cor", one "frequency correction"
// pair per line) or set from built-in tables, interpolated by a natural cubic
// spline and applied as value - sign·S(f).
//
// Units: frequencies in Hz, corrections and levels in dB.
//
// Threads: user-interface thread only. The messages of the file reader go
// through a settable sink so that the code needs no display: the main window
// installs one that shows warning boxes; tests install one that records them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dsp {

enum class MessageKind { Information, Warning, Error };
using MessageSink = std::function<void(const std::string &text, MessageKind kind)>;

// Replaces the sink of the correction unit's messages; an empty sink restores
// the default, which writes to standard error.
void SetCorrectionMessageSink(MessageSink sink);
// 'D' German, 'E' English; other values are ignored.
void SetCorrectionLanguage(char language);
char CorrectionLanguage();

struct CorrectionPoint {
    double x = 0.0; // frequency, Hz
    double y = 0.0; // correction, dB
};

class CorrectionCurve {
public:
    // Number of points (0 = empty).
    int count() const { return static_cast<int>(nodes_.size()); }
    // File the points came from; empty for a built-in table or after a failed load.
    const std::string &fileName() const { return fileName_; }
    // The curve is applied only when it has points and is active.
    bool active() const { return active_; }
    void setActive(bool on) { active_ = on; }
    // Names the file of a curve whose reload failed, so that the name is not
    // lost with the points: the settings keep it and the editor can write to
    // it again.
    void setFileName(const std::string &name) { fileName_ = name; }

    // Empty, no file name, inactive.
    void clear();

    // Reads a correction file: a name of at most 255 characters (a longer
    // one is refused with a message, never cut), a regular file of at most
    // platform::kDataFileLimit bytes (others are refused with a message). A
    // missing file is created with the single point "1000 0" and then read;
    // the creation never follows a link (a dangling link is no missing file)
    // and never replaces anything. An existing file that cannot be read is
    // reported and left alone (the curve keeps its points). Every failure
    // shows its message (in the language set by SetCorrectionLanguage) and
    // returns false; once the file could be opened the curve is cleared
    // first, so a failed read leaves it empty and inactive. Files whose
    // frequencies are not strictly ascending are refused with a message
    // naming the first offending line, and files whose curve would not be
    // finite from 0 Hz to 1 MHz (numbers too large, or points too close, for
    // double precision) with a message naming the file. On success the curve
    // holds the points in file order, fileName() is set and the curve is left
    // inactive for the caller to switch on.
    bool loadFromFile(const std::string &fileName);

    // Replaces the points with a table (file name empty, inactive). Returns
    // false and leaves the curve empty when the frequencies are not strictly
    // ascending or not finite, or the curve would not be finite.
    bool setFromTable(const CorrectionPoint *points, int count);
    bool setFromTable(const std::vector<CorrectionPoint> &points)
    {
        return setFromTable(points.data(), static_cast<int>(points.size()));
    }

    // value - sign·S(freqHz) when the curve has points and is active,
    // otherwise value unchanged. Sign +1 removes a correction from a measured
    // or generated level, sign -1 adds a weighting.
    double apply(double sign, double freqHz, double value) const noexcept
    {
        if (nodes_.empty() || !active_)
            return value;
        return value - sign * evaluate(freqHz);
    }

    // The spline S(freqHz) in dB; 0 for an empty curve. Outside the points the
    // first or last interval's cubic continues (no clamping).
    double evaluate(double freqHz) const noexcept;

    std::vector<CorrectionPoint> points() const;
    // Second derivative of the spline at point i (dB/Hz²), for tests and plots.
    double secondDerivative(int i) const { return nodes_[static_cast<size_t>(i)].m; }

private:
    struct Node {
        double x, y; // point
        double m;    // second derivative of the spline at x
        double h;    // x minus the previous point's x (0 for the first)
    };
    void buildSpline();
    // Whether S stays finite from 0 Hz up to maxHz.
    bool finiteUpTo(double maxHz) const;

    std::vector<Node> nodes_;
    std::string fileName_;
    bool active_ = false;
};

// One line of a correction file: trimmed of blanks and control characters at
// both ends, the frequency before the first space, the correction after it
// (leading blanks skipped); both plain decimal numbers. False for anything
// else (no space, empty line, a third column, a number that does not parse).
bool ParseCorrectionLine(const std::string &line, CorrectionPoint &out);

} // namespace dsp
