// A curve reduced to the pixel columns it is drawn in: per column the
// smallest and largest value, and the first and last in the curve's order,
// so a polyline through (first, min, max, last) of each column looks like
// the whole curve drawn point by point, at a cost that follows the width.
//
// Points map to columns as the diagram maps frequencies to pixels: on a
// log axis column = round(ln(x/XMin) / ln(XMax/XMin) * Columns), on a
// linear axis round((x - XMin) / (XMax - XMin) * Columns), clamped to
// 0 .. Columns-1. Of the points outside XMin..XMax only the nearest one on
// each side is taken (into the edge column), so the line leaves the plot
// towards its next point, as the diagram draws live curves (x <= 0 lies
// left of a log axis). A point whose x or value is not finite breaks the
// line.
//
// The curve is walked in order of rising x: from its first to its last
// point, or backwards when its first x lies above its last (a sweep from
// high to low frequencies).
//
// Threads: any; nothing here allocates.
#pragma once

#include <cstddef>

namespace dsp {

struct DecimationAxis {
    double XMin = 0.0, XMax = 0.0;
    bool Log = true;
    int Columns = 0; // pixel columns of the plot
};

struct ColumnRange {
    int Count = 0;            // points in the column; 0: nothing to draw
    double First = 0.0, Last = 0.0, Min = 0.0, Max = 0.0;
    bool BreakBefore = false; // the line does not come from the previous non-empty column
};

// Fills out[0 .. axis.Columns-1]. False (all columns empty) for an axis
// without extent, with XMin <= 0 on a log scale, or without columns.
bool DecimateToColumns(const double *x, const double *y, std::size_t count, const DecimationAxis &axis,
                       ColumnRange *out) noexcept;

} // namespace dsp
