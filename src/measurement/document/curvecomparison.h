// A curve against a reference curve: the level difference (and, where both
// carry phase, the phase difference) at the curve's own x values, the
// reference interpolated there. One arithmetic for the diagram's reference
// mode (a live or stored curve minus the reference) and for comparing two
// result files with a tolerance.
//
// Interpolation: straight lines between neighbouring reference points over
// log x on a frequency axis (x in Hz), over x itself otherwise (a level
// axis in dB). Phases are interpolated along the shorter way round, so
// 170° and -170° meet at 180°, not at 0°. Differences: level measured -
// reference in dB; phase measured - reference wrapped to (-180°, 180°].
//
// A point outside the reference's x range is not compared: no reference is
// made up by extrapolation; such points are counted and reported. A point
// with no value (NaN), or whose neighbours in the reference have none, is
// not compared either.
//
// Threads: any. ReferenceCurve allocates once when built; the difference
// itself allocates nothing, so the diagram can run it for every block.
#pragma once

#include "measurement/document/measurementdocument.h"

#include <cstddef>
#include <string>
#include <vector>

namespace measure {

// x wrapped to (-180, 180].
double WrapDegrees(double x);

class ReferenceCurve {
public:
    ReferenceCurve() = default;
    // The points with a finite x (positive on a log axis) and a finite
    // level, ordered by x; `phase` may be null. Of points with the same x
    // the last one counts.
    ReferenceCurve(const double *x, const double *level, const double *phase, std::size_t count, bool logX);

    bool Empty() const { return x_.empty(); }
    bool LogX() const { return logX_; }
    double LowX() const { return x_.empty() ? 0.0 : x_.front(); }
    double HighX() const { return x_.empty() ? 0.0 : x_.back(); }
    bool HasPhase() const { return hasPhase_; }

    // Level and phase (NaN where unknown) at `x`; false outside LowX..HighX.
    bool At(double x, double &level, double &phase) const;

private:
    std::vector<double> x_, level_, phase_;
    bool logX_ = true;
    bool hasPhase_ = false;
};

enum class PointComparison {
    Compared,         // level (and phase, when both have one) compared
    OutsideReference, // x outside the reference's range
    NoValue,          // the point, or the reference there, has no value
};

struct DifferencePoint {
    double X = 0.0;
    double Level = 0.0;          // the measured value
    double ReferenceLevel = 0.0; // interpolated
    double LevelDifference = 0.0;
    double PhaseDifference = 0.0; // NaN where one of them has no phase
    PointComparison State = PointComparison::NoValue;
};

// Measured minus reference for `count` points into `out` (count entries);
// `phase` may be null. Not-compared points have NaN differences.
void DifferenceToReference(const ReferenceCurve &reference, const double *x, const double *level,
                           const double *phase, std::size_t count, DifferencePoint *out);
void DifferenceToReference(const ReferenceCurve &reference, const float *x, const float *level,
                           const float *phase, std::size_t count, DifferencePoint *out);

struct ComparisonSummary {
    std::size_t Compared = 0, OutsideReference = 0, NoValue = 0;
    std::size_t OutsideTolerance = 0; // compared points with |difference| > tolerance
    double LargestDifference = 0.0;   // of the compared points, signed, largest magnitude
    double LargestAtX = 0.0;
    // Every compared point within the tolerance, and at least one compared.
    bool Pass = false;
};
ComparisonSummary Summarize(const std::vector<DifferencePoint> &points, double toleranceDb);

// Two result files compared curve by curve (curves of the same name).
enum class ComparisonProblem {
    None,
    BadTolerance,    // not a finite number >= 0
    KindsDiffer,     // Detail: the reference's kind, Detail2: the measurement's
    NoCommonCurve,   // no curve name in both
    UnitsDiffer,     // Detail: the curve; Detail2: "reference unit / measured unit"
};

struct CurveComparison {
    std::string Name, XUnit, YUnit;
    bool Judged = false;   // the tolerance applies to this curve
    bool HasPhase = false; // both carry phase
    double ReferenceLowX = 0.0, ReferenceHighX = 0.0;
    std::vector<DifferencePoint> Points;
    ComparisonSummary Summary;
};

struct DocumentComparison {
    ComparisonProblem Problem = ComparisonProblem::None;
    std::string Detail, Detail2;
    std::vector<CurveComparison> Curves;
    // No problem, and every judged curve passes.
    bool Pass = false;
};

// Compares `measurement` against `reference`. The tolerance applies to the
// level curves (quantity "level"); a result without level curves (a
// distortion sweep's harmonics alone) has it applied to all its curves.
// Other curves are compared and reported without a verdict.
DocumentComparison CompareDocuments(const MeasurementDocument &reference, const MeasurementDocument &measurement,
                                    double toleranceDb);

// The message for a problem in German ('D') or English; "" for None.
std::string ComparisonProblemText(const DocumentComparison &comparison, char language);
// The note for the points of a curve outside the reference's range ("" when
// there are none).
std::string OutsideReferenceText(const CurveComparison &curve, char language);

} // namespace measure
