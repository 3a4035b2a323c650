// Layout arithmetic of the oscilloscope screen: the top strip and the plot,
// the pixel scales, the mapping of stored points to pixels (with the rules
// for points off the screen) and the texts of the two cursor readouts. Plain
// C++ so that it can be checked against hand-derived numbers.
#pragma once

#include "display/diagramcurves.h"
#include "display/diagramlayout.h"

#include <string>

namespace display {

// Height of the strip above the plot that holds the button and the readouts.
constexpr int kScopeStripHeight = 30;
// Range value meaning "not set yet".
constexpr float kScopeUnsetRange = 99.0f;
// A point beyond the top or bottom edge is drawn this far outside the plot.
constexpr int kScopeOffScreen = 3;

// The plot's edge pixels are Plot.Left..Plot.Right and Plot.Top..Plot.Bottom,
// both included, so the outer graticule lines lie on visible pixels; the
// scales spread the range over Right - Left and Bottom - Top pixels.
struct ScopeLayout {
    PixelRect Plot;
    PixelRect Strip;
    double XPix = 0.0; // pixels per second (negative in X-Y operation, whose xmax is -10)
    double YPix = 0.0; // pixels per division
};

// Layout for a client area of width x height with the horizontal range
// 0..xmax and the vertical range ymin..ymax. A zero range gives scale 0.
ScopeLayout LayoutScope(int width, int height, double xmax, double ymin, double ymax);

// Column of a horizontal value, not clamped (far-off values are bounded so
// that they cannot overflow).
int ScopeColumn(const ScopeLayout &layout, double x);
// Row of a value: Bottom - round((v - ymin) * YPix); a row below the plot
// becomes Bottom + 3, one above it Top - 3.
int ScopeRow(const ScopeLayout &layout, double value, double ymin);

// Pixel polyline of one trace through `count` points (x[i], y[i]), written
// to `out` (room for count points); returns the number of points. With
// `clampX` (X-Y operation) columns are clamped onto the plot. Without it
// (Y-T operation, x rising with i) columns left of the plot are clamped and
// the trace ends where it crosses the right edge, so points beyond the
// visible time span do not pile up on the border. Repeated pixels are dropped.
int BuildScopeTrace(const ScopeLayout &layout, const float *x, const float *y, int count, double ymin,
                    bool clampX, PixelPoint *out);

// Readout of a time cursor dragged from column x1 to x: the span in ms and
// the frequency whose period it is, "1.000ms / 1.000kHz". Empty when the
// scale or the span is 0 (the readout then keeps its text).
std::string TimeReadout(int x1, int x, double xpix);
// Readout of a voltage cursor dragged from row y1 to y at voltsPerDiv,
// "500.000mV"; empty when the scale or the difference is 0.
std::string VoltReadout(int y1, int y, double ypix, double voltsPerDiv);

} // namespace display
