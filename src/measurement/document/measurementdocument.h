// A measurement result as a document: what a result file (*.sonalyx.json)
// holds and what the command line prints with --format json. One document
// per result:
//
//   version   format version "major.minor" (kFormatMajor.kFormatMinor); a
//             newer minor only adds keys, which older readers skip; a newer
//             major is refused
//   kind      what was measured (MeasurementKind)
//   title     the user's title (the diagram's comment), remark: free text
//   settings  every setting that produced the result (measurementsettings.h),
//             with the program, its version and the time
//   columns   the names of the result table's columns, in order
//   curves    which columns form curves: name, x, y and optional phase
//             column, each with its unit
//   results   the table: one object per row, a value per column (number,
//             text, or null where a row has no value)
//   readings  single results that are not rows (optional object)
//   impulses  impulse responses kept in wave files beside the document
//             (optional)
//   limits    the outcome of a limits check (optional)
//   warnings  what the sound server did with the measurement's streams:
//             objects of "code" and "text" (optional; the command line's
//             spectrum, thdn, level and sweep always write it, empty when
//             all was well)
//
// Curves share the table's rows, so every curve of a result has the x
// values of its x column; JSON has no NaN, a missing value is null.
//
// Threads: any.
#pragma once

#include "measurement/document/measurementsettings.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace measure {

constexpr int kFormatMajor = 1;
constexpr int kFormatMinor = 0;
// The file name ending of result files.
constexpr const char *kMeasurementFileSuffix = ".sonalyx.json";

// Files larger than this are refused before they are read: the longest
// stepped sweep the program runs (100001 steps, stereo) takes about 10 MB.
constexpr std::int64_t kMaxFileBytes = 32ll * 1024 * 1024;
// Rows of the result table. Covers the longest stepped sweep (100001
// steps) and the largest spectrum (8193 bins) with room to spare; a longer
// table is refused with a message instead of being cut.
constexpr std::size_t kMaxRows = 131072;
// Columns of the result table and curves of a document.
constexpr std::size_t kMaxColumns = 256;

enum class MeasurementKind {
    Spectrum,            // level per FFT bin, left and right
    ThdN,                // THD+N per channel (rows, no curves)
    Level,               // weighted band level per channel (rows, no curves)
    Sweep,               // stepped-sine frequency response, level and phase
    LogSweep,            // log-sweep response: level, phase, H2..H5, THD
    DistortionFrequency, // distortion over frequency: fundamental, H2..H9, THD, THD+N, noise
    DistortionLevel,     // the same over the stimulus level
    DistortionImd,       // intermodulation of a two-tone signal over its level
    Thd,                 // one tone per channel: fundamental, H2..H9, THD, THD+N, noise (rows, no curves)
    Imd,                 // two-tone intermodulation per channel (rows, no curves)
    Noise,               // idle noise per channel: unweighted, A-weighted, AES17 band (rows, no curves)
    DynamicRange,        // AES17 dynamic range per channel (rows, no curves)
};

// The kind's name in files ("spectrum", "thdn", "level", "sweep",
// "logsweep", "distortion_frequency", "distortion_level", "distortion_imd",
// "thd", "imd", "noise", "dynamic_range"); all but the distortion sweeps' are also the
// command line's command names ("dynamic-range" with a hyphen there).
const char *KindName(MeasurementKind kind);
// False for a name that is no kind.
bool KindFromName(const std::string &name, MeasurementKind &kind);
// Whether documents of the kind carry at least one curve.
bool KindHasCurves(MeasurementKind kind);

// One column of the result table: numbers (NaN where a row has none) or
// texts. Decimals >= 0 prints the numbers with that many decimals (trailing
// zeros dropped); -1 prints the shortest text that reads back as the same
// double. Files do not store it; a column read from a file has -1.
struct ResultColumn {
    std::string Name;
    bool Text = false;
    int Decimals = -1;
    std::vector<double> Numbers;
    std::vector<std::string> Texts;
};

struct ResultTable {
    std::vector<ResultColumn> Columns;
    std::size_t Rows = 0;

    // Adds an empty column (before any row is added); returns its index.
    std::size_t AddNumberColumn(const std::string &name, int decimals = -1);
    std::size_t AddTextColumn(const std::string &name);
    // Appends a row with no values; fill it with Set.
    std::size_t AddRow();
    void Set(std::size_t row, std::size_t column, double value) { Columns[column].Numbers[row] = value; }
    void Set(std::size_t row, std::size_t column, const std::string &text) { Columns[column].Texts[row] = text; }

    // The column of that name, or nullptr.
    const ResultColumn *Find(const std::string &name) const;
};

// A curve: columns of the table that belong together. The phase column is
// optional (empty name); units are "Hz", "dB", "dBFS", "dBV", "dBu", "dBm",
// "%", "deg", "s" and the like; a phase is always in degrees.
struct CurveDefinition {
    std::string Name;     // unique within the document, e.g. "left", "level", "left H2"
    std::string Quantity; // "level", "harmonic", "thd", "thdn", "noise"
    std::string Channel;  // "left", "right" or empty
    int Order = 0;        // harmonic order for "harmonic", else 0
    std::string X, XUnit;
    std::string Y, YUnit;
    std::string Phase;    // phase column, empty when the curve has none
};

// An impulse response kept in a wave file beside the document.
struct ImpulseReference {
    std::string Channel;
    std::string File;     // relative to the document's folder, or absolute
    std::string Sha256;
    double RateHz = 0.0;
    std::int64_t Frames = 0;
    std::int64_t ZeroFrame = 0; // frame of time zero (the linear response's peak)
};

struct LimitsOutcome {
    std::string File, Sha256;
    bool Pass = true;
    QJsonArray Failures; // objects: the rows outside the limits
};

struct MeasurementDocument {
    int VersionMajor = kFormatMajor, VersionMinor = kFormatMinor;
    MeasurementKind Kind = MeasurementKind::Spectrum;
    std::string Title, Remark;
    MeasurementSettings Settings;
    ResultTable Results;
    std::vector<CurveDefinition> Curves;
    QJsonObject Readings;
    std::vector<ImpulseReference> Impulses;
    std::optional<LimitsOutcome> Limits;
    std::optional<QJsonArray> Warnings; // objects of "code" and "text"

    const CurveDefinition *FindCurve(const std::string &name) const;
};

// The points of one curve, taken from the table: x, y and (when the curve
// has a phase column) phase, NaN where a row has no value. Empty when a
// column is missing or holds texts.
struct CurvePoints {
    std::vector<double> X, Y, Phase;
};
CurvePoints PointsOf(const MeasurementDocument &document, const CurveDefinition &curve);

} // namespace measure
