#include "display/diagramextracurves.h"

#include <algorithm>
#include <cmath>

namespace display {

bool ExtraCurveValueAt(const ExtraCurve &curve, double hz, double &value)
{
    constexpr double kRelative = 1e-5;
    const std::vector<double> &f = curve.FrequencyHz;
    const std::size_t count = std::min(f.size(), curve.Values.size());
    const auto end = f.begin() + static_cast<std::ptrdiff_t>(count);
    const auto it = std::lower_bound(f.begin(), end, hz * (1.0 - kRelative));
    if (it == end || !(std::abs(*it - hz) <= kRelative * std::abs(hz)))
        return false;
    value = curve.Values[static_cast<std::size_t>(it - f.begin())];
    return std::isfinite(value);
}

} // namespace display
