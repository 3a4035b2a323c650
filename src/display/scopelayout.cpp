// Oscilloscope screen layout and point mapping (see scopelayout.h).
#include "display/scopelayout.h"

#include "platform/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace display {

namespace {

// Pixels further than this outside the plot are all alike to the painter.
constexpr double kFarOff = 1.0e6;

int RoundBounded(double v)
{
    if (!(v == v)) // NaN
        return 0;
    return static_cast<int>(std::lround(std::clamp(v, -kFarOff, kFarOff)));
}

} // namespace

ScopeLayout LayoutScope(int width, int height, double xmax, double ymin, double ymax)
{
    ScopeLayout l;
    l.Strip = {0, 0, std::max(width, 1) - 1, kScopeStripHeight - 1};
    l.Plot = {0, kScopeStripHeight, std::max(width, 1) - 1, height - 1};
    const double w = l.Plot.Width(), h = l.Plot.Height();
    l.XPix = xmax != 0.0 ? w / xmax : 0.0;
    l.YPix = ymax != ymin ? h / (ymax - ymin) : 0.0;
    return l;
}

int ScopeColumn(const ScopeLayout &layout, double x) { return layout.Plot.Left + RoundBounded(x * layout.XPix); }

int ScopeRow(const ScopeLayout &layout, double value, double ymin)
{
    const PixelRect &p = layout.Plot;
    const int y = p.Bottom - RoundBounded((value - ymin) * layout.YPix);
    if (y > p.Bottom)
        return p.Bottom + kScopeOffScreen;
    if (y < p.Top)
        return p.Top - kScopeOffScreen;
    return y;
}

int BuildScopeTrace(const ScopeLayout &layout, const float *x, const float *y, int count, double ymin,
                    bool clampX, PixelPoint *out)
{
    const PixelRect &p = layout.Plot;
    int n = 0;
    auto add = [&](int px, int py) {
        if (n == 0 || out[n - 1].X != px || out[n - 1].Y != py)
            out[n++] = {px, py};
    };
    for (int i = 0; i < count; ++i) {
        int px = ScopeColumn(layout, x[i]);
        const int py = ScopeRow(layout, y[i], ymin);
        if (clampX || px <= p.Right) {
            add(std::clamp(px, p.Left, p.Right), py);
            continue;
        }
        // The first point past the right edge: end the trace on the edge,
        // on the line towards that point.
        if (n > 0) {
            const PixelPoint last = out[n - 1];
            const double f = double(p.Right - last.X) / double(px - last.X);
            add(p.Right, last.Y + RoundBounded(f * double(py - last.Y)));
        }
        break;
    }
    return n;
}

std::string TimeReadout(int x1, int x, double xpix)
{
    if (xpix == 0.0)
        return {};
    const double ms = std::abs(x - x1) / xpix * 1000.0;
    if (ms == 0.0)
        return {};
    return platform::FormatNumber(ms, 'f', 3) + "ms / " + platform::FormatNumber(1.0 / ms, 'f', 3) + "kHz";
}

std::string VoltReadout(int y1, int y, double ypix, double voltsPerDiv)
{
    if (ypix == 0.0)
        return {};
    const double mv = std::abs(y - y1) / ypix * (voltsPerDiv * 1000.0);
    if (mv == 0.0)
        return {};
    return platform::FormatNumber(mv, 'f', 3) + "mV";
}

} // namespace display
