// Curves reduced to pixel columns, worked out by hand on a linear and a log
// axis: which points land in which column, the nearest point outside each
// edge, breaks at points without value, and a curve given backwards.
#include "dsp/curvedecimation.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

using dsp::ColumnRange;

void ExpectColumn(const ColumnRange &c, int count, double first, double last, double min, double max,
                  bool breakBefore = false)
{
    EXPECT_EQ(c.Count, count);
    EXPECT_DOUBLE_EQ(c.First, first);
    EXPECT_DOUBLE_EQ(c.Last, last);
    EXPECT_DOUBLE_EQ(c.Min, min);
    EXPECT_DOUBLE_EQ(c.Max, max);
    EXPECT_EQ(c.BreakBefore, breakBefore);
}

// 0..10 over 5 columns: column = round(x / 2), so x = 1 and 2 share
// column 1, and x = 7 .. 10 fall into the last one.
TEST(CurveDecimation, LinearAxisCollectsMinAndMaxPerColumn)
{
    const double x[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const double y[] = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5};
    ColumnRange out[5];
    ASSERT_TRUE(dsp::DecimateToColumns(x, y, 11, {0.0, 10.0, false, 5}, out));
    ExpectColumn(out[0], 1, 3, 3, 3, 3);
    ExpectColumn(out[1], 2, 1, 4, 1, 4);
    ExpectColumn(out[2], 2, 1, 5, 1, 5);
    ExpectColumn(out[3], 2, 9, 2, 2, 9);
    ExpectColumn(out[4], 4, 6, 5, 3, 6);
}

// 10 Hz .. 1 kHz over 4 columns: column = round(2·log10(x/10)): 20 and
// 50 Hz -> 1, 100 Hz -> 2, 300 Hz and 1 kHz -> 3. Of the points left of
// 10 Hz only 8 Hz counts (0 Hz lies left of a log axis), of those right of
// 1 kHz only 2 kHz; the missing value at 70 Hz breaks the line.
TEST(CurveDecimation, LogAxisTakesTheNearestPointsOutsideAndBreaksAtGaps)
{
    const std::vector<double> x = {0, 8, 10, 20, 50, 70, 100, 300, 1000, 2000, 5000};
    const std::vector<double> y = {100, 7, 1, 2, 3, std::nan(""), 4, 5, 6, 8, 99};
    ColumnRange out[4];
    ASSERT_TRUE(dsp::DecimateToColumns(x.data(), y.data(), x.size(), {10.0, 1000.0, true, 4}, out));
    ExpectColumn(out[0], 2, 7, 1, 1, 7);
    ExpectColumn(out[1], 2, 2, 3, 2, 3);
    ExpectColumn(out[2], 1, 4, 4, 4, 4, true);
    ExpectColumn(out[3], 3, 5, 8, 5, 8);

    // The same sweep run from high to low frequencies gives the same columns.
    const std::vector<double> rx(x.rbegin(), x.rend()), ry(y.rbegin(), y.rend());
    ColumnRange back[4];
    ASSERT_TRUE(dsp::DecimateToColumns(rx.data(), ry.data(), rx.size(), {10.0, 1000.0, true, 4}, back));
    for (int c = 0; c < 4; ++c)
        ExpectColumn(back[c], out[c].Count, out[c].First, out[c].Last, out[c].Min, out[c].Max, out[c].BreakBefore);
}

TEST(CurveDecimation, AnAxisWithoutExtentLeavesEveryColumnEmpty)
{
    const double x[] = {10, 100}, y[] = {1, 2};
    ColumnRange out[3];
    out[1].Count = 42;
    EXPECT_FALSE(dsp::DecimateToColumns(x, y, 2, {0.0, 1000.0, true, 3}, out)); // log from 0 Hz
    EXPECT_EQ(out[1].Count, 0);
    EXPECT_FALSE(dsp::DecimateToColumns(x, y, 2, {100.0, 100.0, false, 3}, out));
    // A line across the whole plot with no point inside: both ends drawn.
    const double wide[] = {1, 1e5};
    ASSERT_TRUE(dsp::DecimateToColumns(wide, y, 2, {10.0, 1000.0, true, 3}, out));
    ExpectColumn(out[0], 1, 1, 1, 1, 1);
    EXPECT_EQ(out[1].Count, 0);
    ExpectColumn(out[2], 1, 2, 2, 2, 2);
}

} // namespace
