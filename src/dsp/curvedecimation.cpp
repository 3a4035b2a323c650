// A curve reduced to pixel columns (see curvedecimation.h).
#include "dsp/curvedecimation.h"

#include <algorithm>
#include <cmath>

namespace dsp {

bool DecimateToColumns(const double *x, const double *y, std::size_t count, const DecimationAxis &axis,
                       ColumnRange *out) noexcept
{
    if (axis.Columns <= 0)
        return false;
    std::fill(out, out + axis.Columns, ColumnRange{});
    if (!std::isfinite(axis.XMin) || !std::isfinite(axis.XMax) || !(axis.XMax > axis.XMin) ||
        (axis.Log && !(axis.XMin > 0.0)))
        return false;
    const double scale = axis.Log ? axis.Columns / std::log(axis.XMax / axis.XMin) : axis.Columns / (axis.XMax - axis.XMin);
    const int last = axis.Columns - 1;
    const bool reverse = count > 1 && x[0] > x[count - 1];

    bool gap = false;         // a break since the last point taken
    bool pending = false;     // the nearest point left of the axis, not yet taken
    double pendingY = 0.0;
    bool rightSeen = false;   // the nearest point right of the axis was dealt with
    auto add = [&](int c, double v) {
        ColumnRange &r = out[c];
        if (r.Count == 0) {
            r.First = r.Min = r.Max = v;
            r.BreakBefore = gap;
        } else {
            r.Min = std::min(r.Min, v);
            r.Max = std::max(r.Max, v);
        }
        r.Last = v;
        ++r.Count;
        gap = false;
    };
    auto takePending = [&] {
        if (pending)
            add(0, pendingY);
        pending = false;
    };

    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = reverse ? count - 1 - k : k;
        const double xi = x[i], yi = y[i];
        if (!std::isfinite(xi) || !std::isfinite(yi)) {
            gap = true;
            pending = false;
            continue;
        }
        if (xi < axis.XMin || (axis.Log && xi <= 0.0)) {
            pending = true;
            pendingY = yi;
            gap = false;
            continue;
        }
        if (xi > axis.XMax) {
            if (!rightSeen && !gap) {
                takePending();
                add(last, yi);
            }
            rightSeen = true;
            continue;
        }
        const double pos = axis.Log ? std::log(xi / axis.XMin) * scale : (xi - axis.XMin) * scale;
        const int c = static_cast<int>(std::clamp(std::lround(pos), 0l, static_cast<long>(last)));
        takePending();
        add(c, yi);
    }
    return true;
}

} // namespace dsp
