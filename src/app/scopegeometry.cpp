// Scroll positions and the oscilloscope window's place (see scopegeometry.h).
#include "app/scopegeometry.h"

#include <algorithm>
#include <cmath>

namespace app {

float ScrollToPosition(int s) { return 4.0f - float(s) / 50.0f; }

int PositionToScroll(float p)
{
    const double s = -(double(p) - 4.0) * 50.0;
    if (!std::isfinite(s))
        return 0;
    return static_cast<int>(std::lround(std::clamp(s, -1.0e6, 1.0e6)));
}

WindowGeometry PlaceScopeWindow(const WindowGeometry &stored, int &mainLeft, int mainTop, int mainHeight)
{
    // A window too small to see or grab would be lost on the desktop.
    constexpr std::int32_t kMinWidth = 120, kMinHeight = 90;
    WindowGeometry g = stored;
    g.Width = std::max(g.Width, kMinWidth);
    if (mainLeft < g.Width)
        mainLeft = g.Width + 1;
    if (g.Left == -1)
        g.Left = mainLeft - g.Width;
    if (g.Top == -1)
        g.Top = mainTop;
    if (g.Height == -1)
        g.Height = mainHeight;
    g.Height = std::max(g.Height, kMinHeight);
    return g;
}

} // namespace app
