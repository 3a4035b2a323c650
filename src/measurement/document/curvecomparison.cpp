// Curves against a reference (see curvecomparison.h).
#include "measurement/document/curvecomparison.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace measure {

namespace {

// Points this close outside the reference's ends (relative) count as lying
// on them: the same frequency printed by two programs may differ in its
// last digit.
constexpr double kEndSlack = 1e-6;

template <class T>
void Difference(const ReferenceCurve &reference, const T *x, const T *level, const T *phase, std::size_t count,
                DifferencePoint *out)
{
    const double nan = std::nan("");
    for (std::size_t i = 0; i < count; ++i) {
        DifferencePoint &p = out[i];
        p.X = static_cast<double>(x[i]);
        p.Level = static_cast<double>(level[i]);
        p.ReferenceLevel = p.LevelDifference = p.PhaseDifference = nan;
        double refLevel = nan, refPhase = nan;
        if (!std::isfinite(p.X) || !std::isfinite(p.Level)) {
            p.State = PointComparison::NoValue;
        } else if (!reference.At(p.X, refLevel, refPhase)) {
            p.State = PointComparison::OutsideReference;
        } else if (!std::isfinite(refLevel)) {
            p.State = PointComparison::NoValue;
        } else {
            p.State = PointComparison::Compared;
            p.ReferenceLevel = refLevel;
            p.LevelDifference = p.Level - refLevel;
            const double measuredPhase = phase ? static_cast<double>(phase[i]) : nan;
            if (std::isfinite(measuredPhase) && std::isfinite(refPhase))
                p.PhaseDifference = WrapDegrees(measuredPhase - refPhase);
        }
    }
}

std::string Short(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

std::string Quoted(const std::string &s, bool de) { return de ? "\u201e" + s + "\u201c" : "\"" + s + "\""; }

} // namespace

double WrapDegrees(double x)
{
    double r = std::fmod(x, 360.0);
    if (r > 180.0)
        r -= 360.0;
    else if (r <= -180.0)
        r += 360.0;
    return r;
}

ReferenceCurve::ReferenceCurve(const double *x, const double *level, const double *phase, std::size_t count,
                               bool logX)
    : logX_(logX)
{
    std::vector<std::size_t> order;
    order.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        if (std::isfinite(x[i]) && std::isfinite(level[i]) && (!logX || x[i] > 0.0))
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
    for (const std::size_t i : order) {
        const double p = phase ? phase[i] : std::nan("");
        if (!x_.empty() && x_.back() == x[i]) {
            level_.back() = level[i];
            phase_.back() = p;
        } else {
            x_.push_back(x[i]);
            level_.push_back(level[i]);
            phase_.push_back(p);
        }
        hasPhase_ = hasPhase_ || std::isfinite(p);
    }
}

bool ReferenceCurve::At(double x, double &level, double &phase) const
{
    if (x_.empty() || !std::isfinite(x) || (logX_ && x <= 0.0))
        return false;
    const double low = x_.front(), high = x_.back();
    if (x < low) {
        if (low - x > kEndSlack * std::fabs(low))
            return false;
        x = low;
    } else if (x > high) {
        if (x - high > kEndSlack * std::fabs(high))
            return false;
        x = high;
    }
    const std::size_t j = static_cast<std::size_t>(std::upper_bound(x_.begin(), x_.end(), x) - x_.begin());
    const std::size_t i = j - 1; // x_[i] <= x < x_[j], or i is the last point
    if (x == x_[i]) {
        level = level_[i];
        phase = phase_[i];
        return true;
    }
    const double t = logX_ ? std::log(x / x_[i]) / std::log(x_[j] / x_[i]) : (x - x_[i]) / (x_[j] - x_[i]);
    level = level_[i] + t * (level_[j] - level_[i]);
    phase = std::isfinite(phase_[i]) && std::isfinite(phase_[j])
                ? WrapDegrees(phase_[i] + t * WrapDegrees(phase_[j] - phase_[i]))
                : std::nan("");
    return true;
}

void DifferenceToReference(const ReferenceCurve &reference, const double *x, const double *level,
                           const double *phase, std::size_t count, DifferencePoint *out)
{
    Difference(reference, x, level, phase, count, out);
}

void DifferenceToReference(const ReferenceCurve &reference, const float *x, const float *level, const float *phase,
                           std::size_t count, DifferencePoint *out)
{
    Difference(reference, x, level, phase, count, out);
}

ComparisonSummary Summarize(const std::vector<DifferencePoint> &points, double toleranceDb)
{
    ComparisonSummary s;
    for (const DifferencePoint &p : points) {
        switch (p.State) {
        case PointComparison::OutsideReference:
            ++s.OutsideReference;
            break;
        case PointComparison::NoValue:
            ++s.NoValue;
            break;
        case PointComparison::Compared:
            ++s.Compared;
            if (!(std::fabs(p.LevelDifference) <= toleranceDb))
                ++s.OutsideTolerance;
            if (s.Compared == 1 || std::fabs(p.LevelDifference) > std::fabs(s.LargestDifference)) {
                s.LargestDifference = p.LevelDifference;
                s.LargestAtX = p.X;
            }
            break;
        }
    }
    s.Pass = s.Compared > 0 && s.OutsideTolerance == 0;
    return s;
}

DocumentComparison CompareDocuments(const MeasurementDocument &reference, const MeasurementDocument &measurement,
                                    double toleranceDb)
{
    DocumentComparison result;
    if (!std::isfinite(toleranceDb) || toleranceDb < 0.0) {
        result.Problem = ComparisonProblem::BadTolerance;
        return result;
    }
    if (reference.Kind != measurement.Kind) {
        result.Problem = ComparisonProblem::KindsDiffer;
        result.Detail = KindName(reference.Kind);
        result.Detail2 = KindName(measurement.Kind);
        return result;
    }
    bool anyLevel = false;
    for (const CurveDefinition &curve : measurement.Curves) {
        const CurveDefinition *ref = reference.FindCurve(curve.Name);
        if (!ref)
            continue;
        if (ref->XUnit != curve.XUnit || ref->YUnit != curve.YUnit) {
            result.Problem = ComparisonProblem::UnitsDiffer;
            result.Detail = curve.Name;
            result.Detail2 = ref->XUnit != curve.XUnit ? ref->XUnit + " / " + curve.XUnit
                                                       : ref->YUnit + " / " + curve.YUnit;
            result.Curves.clear();
            return result;
        }
        const CurvePoints r = PointsOf(reference, *ref);
        const CurvePoints m = PointsOf(measurement, curve);
        const bool logX = curve.XUnit == "Hz";
        const ReferenceCurve rc(r.X.data(), r.Y.data(), r.Phase.empty() ? nullptr : r.Phase.data(), r.X.size(), logX);
        CurveComparison c;
        c.Name = curve.Name;
        c.XUnit = curve.XUnit;
        c.YUnit = curve.YUnit;
        c.HasPhase = !r.Phase.empty() && !m.Phase.empty();
        c.ReferenceLowX = rc.LowX();
        c.ReferenceHighX = rc.HighX();
        c.Points.resize(m.X.size());
        DifferenceToReference(rc, m.X.data(), m.Y.data(), c.HasPhase ? m.Phase.data() : nullptr, m.X.size(),
                              c.Points.data());
        c.Judged = curve.Quantity == "level";
        anyLevel = anyLevel || c.Judged;
        result.Curves.push_back(std::move(c));
    }
    if (result.Curves.empty()) {
        result.Problem = ComparisonProblem::NoCommonCurve;
        return result;
    }
    result.Pass = true;
    for (CurveComparison &c : result.Curves) {
        c.Judged = c.Judged || !anyLevel;
        c.Summary = Summarize(c.Points, toleranceDb);
        if (c.Judged && !c.Summary.Pass)
            result.Pass = false;
    }
    return result;
}

std::string ComparisonProblemText(const DocumentComparison &c, char language)
{
    const bool de = language == 'D';
    switch (c.Problem) {
    case ComparisonProblem::None:
        return std::string();
    case ComparisonProblem::BadTolerance:
        return de ? "Die Toleranz muss eine Zahl ab 0 dB sein." : "The tolerance must be a number of 0 dB or more.";
    case ComparisonProblem::KindsDiffer:
        return de ? "Die Messungen sind von verschiedener Art (" + Quoted(c.Detail, de) + " und " +
                        Quoted(c.Detail2, de) + ") und lassen sich nicht vergleichen."
                  : "The measurements are of different kinds (" + Quoted(c.Detail, de) + " and " +
                        Quoted(c.Detail2, de) + ") and cannot be compared.";
    case ComparisonProblem::NoCommonCurve:
        return de ? "Die Messungen haben keine Kurve gleichen Namens." : "The measurements have no curve of the same name.";
    case ComparisonProblem::UnitsDiffer:
        return de ? "Die Kurve " + Quoted(c.Detail, de) + " hat verschiedene Einheiten (Referenz / Messung: " +
                        c.Detail2 + ")."
                  : "The curve " + Quoted(c.Detail, de) + " has different units (reference / measurement: " +
                        c.Detail2 + ").";
    }
    return std::string();
}

std::string OutsideReferenceText(const CurveComparison &c, char language)
{
    const std::size_t n = c.Summary.OutsideReference;
    if (n == 0)
        return std::string();
    const bool de = language == 'D';
    const std::string range = Short(c.ReferenceLowX) + " " + c.XUnit + (de ? " bis " : " to ") +
                              Short(c.ReferenceHighX) + " " + c.XUnit;
    const std::string count = std::to_string(n);
    if (de)
        return count + (n == 1 ? " Punkt" : " Punkte") + " der Kurve " + Quoted(c.Name, de) + (n == 1 ? " liegt" : " liegen") +
               " au\u00dferhalb des Bereichs der Referenz (" + range + ") und " + (n == 1 ? "wurde" : "wurden") +
               " nicht verglichen.";
    return count + (n == 1 ? " point" : " points") + " of the curve " + Quoted(c.Name, de) + (n == 1 ? " lies" : " lie") +
           " outside the reference's range (" + range + ") and " + (n == 1 ? "was" : "were") + " not compared.";
}

} // namespace measure
