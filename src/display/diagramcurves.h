// Curve storage of the diagram window: per point a frequency, the levels of
// channel 1 and 2 and the peak-hold or difference curve, allocated once,
// plus the reduction of a curve to polyline pixels and the text export.
// Plain C++; UI thread only.
#pragma once

#include "display/diagramextracurves.h"
#include "display/diagramlayout.h"
#include "display/diagramoptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace display {

// Level that stands for "no value yet" in curve 3.
constexpr float kNoValue = -1.0e7f;

// Error code of the text export when there are no curve arrays.
constexpr int kNoCurvesError = 1000;

struct PixelPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    bool operator==(const PixelPoint &o) const { return X == o.X && Y == o.Y; }
};

// Columns and rows a text export writes.
struct CurveExportRange {
    int PointCount = 0;     // points 0 .. PointCount-1 are candidates
    std::int32_t XMin = 0;  // only points with XMin <= f <= XMax are written
    std::int32_t XMax = 0;
    bool Curve1 = true;
    bool Curve2 = false;
    bool Curve3 = false;
};

class DiagramCurves {
public:
    DiagramCurves() = default;
    DiagramCurves(const DiagramCurves &) = delete;
    DiagramCurves &operator=(const DiagramCurves &) = delete;

    // Allocates the kMaxPoints entries of every array (once) and clears them.
    // Allocation failure throws std::bad_alloc.
    void Allocate();
    void Release();
    bool IsAllocated() const { return freq_ != nullptr; }

    // Freq, Curve1, Curve2 to 0 and Curve3 to kNoValue over all entries.
    void Clear();
    // Curve3 to kNoValue over all entries.
    void ResetPeak();

    // Stores the levels k1 = values[0], k2 = values[1] at `index` and updates
    // curve 3 by the peak and difference modes of `options`. Returns 0, or 1
    // when the point cannot be stored (no arrays, index outside the arrays,
    // a level that is not a finite number); the caller then stops feeding.
    int StorePoint(const float *values, int index, float frequency, const DiagramOptions &options);

    const float *Freq() const { return freq_.get(); }
    const float *Curve1() const { return curve1_.get(); }
    const float *Curve2() const { return curve2_.get(); }
    const float *Curve3() const { return curve3_.get(); }

    // Writes one line per point within the range: frequency, then the
    // selected curves, each with two decimals, separated by `separator`
    // ("\t" stands for a TAB, "\n" for CR LF), lines ending in CR LF. The
    // file is replaced whole (platform::WriteTextFile): a failed write leaves
    // the old one as it was. Returns 0, an errno-style I/O error code, or
    // kNoCurvesError without arrays. Each of `extra` adds a column after
    // them: its value at the line's frequency with two decimals, or an
    // empty field where it has none (ExtraCurveValueAt).
    int SaveAsText(const std::string &fileName, const std::string &separator, const CurveExportRange &range,
                   const std::vector<ExtraCurve> &extra = {}) const;

private:
    std::unique_ptr<float[]> freq_;
    std::unique_ptr<float[]> curve1_;
    std::unique_ptr<float[]> curve2_;
    std::unique_ptr<float[]> curve3_;
};

// Separator text as the export writes it.
std::string ExportSeparator(const std::string &separator);

// Index range of the points a curve draws: first = the point before the first
// point above xmin (0 when that is point 0), last = walking down from
// pointCount the first point not above xmax (at least 1). Returns false when
// no point lies above xmin.
bool CurveIndexRange(const float *freq, int pointCount, std::int32_t xmin, std::int32_t xmax,
                     int &first, int &last);

// Pixel points of one curve between first and last: points after the first
// with frequency 0 are skipped, x is clamped into the plot, a level below the
// plot is drawn an eighth of a character below it and one above the plot an
// eighth above, and a point equal to its predecessor is dropped unless it is
// the last. `out` must hold last - first + 1 points. Returns the count.
int BuildCurvePoints(const float *freq, const float *level, int first, int last,
                     const DiagramAxes &axes, const DiagramLayout &layout, bool rightAxis,
                     PixelPoint *out);

} // namespace display
