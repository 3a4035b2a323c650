// Curve storage: peak hold and difference modes, the index range and pixel
// reduction of a curve, and the text export.
#include "display/diagramcurves.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <vector>

using namespace display;

namespace {

// Stores (k1, k2) at point 7 and returns curve 3 there.
float StoreAndRead3(DiagramCurves &c, const DiagramOptions &o, float k1, float k2)
{
    const float v[2] = {k1, k2};
    EXPECT_EQ(c.StorePoint(v, 7, 1000.0f, o), 0);
    return c.Curve3()[7];
}

} // namespace

TEST(CurveStorage, ResetPeakAndClearReachTheLastPoint)
{
    DiagramCurves c;
    c.Allocate();
    const int last = kMaxPoints - 1;
    DiagramOptions o;
    o.PeakK1 = 1;
    const float v[2] = {-20.0f, -30.0f};
    ASSERT_EQ(c.StorePoint(v, last, 24000.0f, o), 0);
    EXPECT_EQ(c.Curve2()[last], -30.0f);
    EXPECT_EQ(c.Curve3()[last], -20.0f);
    c.ResetPeak();
    EXPECT_EQ(c.Curve3()[last], kNoValue);
    EXPECT_EQ(c.Curve1()[last], -20.0f);
    c.Clear();
    EXPECT_EQ(c.Freq()[last], 0.0f);
    EXPECT_EQ(c.Curve1()[last], 0.0f);
}

TEST(CurveStorage, PeakHoldKeepsTheMaximumUntilResetDifferencesFollowTheLatestData)
{
    DiagramCurves c;
    c.Allocate();
    DiagramOptions o;
    o.PeakK1 = 1;
    EXPECT_EQ(StoreAndRead3(c, o, -40.0f, 0.0f), -40.0f);
    EXPECT_EQ(StoreAndRead3(c, o, -60.0f, 0.0f), -40.0f);
    EXPECT_EQ(StoreAndRead3(c, o, -10.0f, 5.0f), -10.0f);
    c.ResetPeak();
    EXPECT_EQ(StoreAndRead3(c, o, -60.0f, 0.0f), -60.0f);
    o.PeakK1 = 0;
    o.PeakK2 = 1;
    c.ResetPeak();
    EXPECT_EQ(StoreAndRead3(c, o, 0.0f, -30.0f), -30.0f);
    EXPECT_EQ(StoreAndRead3(c, o, 10.0f, -50.0f), -30.0f);
    EXPECT_EQ(c.Curve3()[6], kNoValue); // other points are untouched
    EXPECT_EQ(StoreAndRead3(c, DiagramOptions{}, 50.0f, 50.0f), -30.0f); // neither: curve 3 stays

    struct Case {
        int mode;
        float k1, k2, expected;
    };
    for (const Case &d : {Case{DifK1MinusK2, -10, -25, 15}, Case{DifK1MinusK2, -30, -20, -10},
                          Case{DifK2MinusK1, -10, -25, -15}, Case{DifK1PlusK2, 1.5f, 2.25f, 3.75f}}) {
        DiagramOptions dif;
        dif.DifMode = d.mode;
        EXPECT_EQ(StoreAndRead3(c, dif, d.k1, d.k2), d.expected) << d.mode;
    }
}

TEST(CurveStorage, RefusesWhatCannotBeStored)
{
    DiagramCurves c;
    const float v[2] = {1.0f, 2.0f};
    DiagramOptions o;
    EXPECT_EQ(c.StorePoint(v, 0, 10.0f, o), 1); // no arrays
    c.Allocate();
    EXPECT_EQ(c.StorePoint(v, -1, 10.0f, o), 1);
    EXPECT_EQ(c.StorePoint(v, kMaxPoints, 10.0f, o), 1);
    const float nan[2] = {std::numeric_limits<float>::quiet_NaN(), 0.0f};
    EXPECT_EQ(c.StorePoint(nan, 3, 10.0f, o), 1);
    EXPECT_EQ(c.Freq()[3], 0.0f);
    const float big[2] = {3.0e38f, -3.0e38f}; // a difference that overflows single precision
    o.DifMode = DifK1MinusK2;
    EXPECT_EQ(c.StorePoint(big, 4, 10.0f, o), 1);
}

TEST(CurveIndexRange, PointBeforeXMinToLastNotAboveXMax)
{
    std::vector<float> f(kMaxPoints, 0.0f);
    for (int i = 0; i <= 20; ++i)
        f[i] = 2.5f * i; // 0, 2.5, ..., 50
    int first = -1, last = -1;
    ASSERT_TRUE(CurveIndexRange(f.data(), 20, 10, 30, first, last));
    EXPECT_EQ(first, 4); // 12.5 Hz (index 5) is the first above 10 Hz
    EXPECT_EQ(last, 12);
    ASSERT_TRUE(CurveIndexRange(f.data(), 20, 0, 100, first, last));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 20);
    // a count beyond the stored points: the unused entry (0 Hz) ends the range
    ASSERT_TRUE(CurveIndexRange(f.data(), 21, 0, 100, first, last));
    EXPECT_EQ(last, 21);
    EXPECT_FALSE(CurveIndexRange(f.data(), 20, 60, 100, first, last)); // nothing above xmin
}

class CurvePixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        axes.XMin = 100;
        axes.XMax = 1100;
        axes.YMin = -100.0f;
        axes.YMax = 0.0f;
        axes.LogX = false;
        layout.Plot = {10, 20, 110, 120};
        layout.CharHeight = 16;
        layout.XPixPerHz = 0.1;
        layout.YPixPerUnit = 1.0;
        layout.Y2PixPerUnit = 0.5;
    }
    std::vector<PixelPoint> Build(const std::vector<float> &f, const std::vector<float> &v, bool right = false)
    {
        std::vector<PixelPoint> out(f.size() + 4, PixelPoint{-7, -7});
        const int n = BuildCurvePoints(f.data(), v.data(), 0, int(f.size()) - 1, axes, layout, right, out.data());
        EXPECT_EQ(out[f.size()].X, -7) << "wrote past the points";
        out.resize(n);
        return out;
    }
    DiagramAxes axes;
    DiagramLayout layout;
};

TEST_F(CurvePixels, MapsClampsAndMarksOutOfRange)
{
    const auto p = Build({100, 600, 1100, 1500, 700, 800}, {-100, -50, 0, -20, -150, 10});
    const std::vector<PixelPoint> expected = {
        {10, 120}, {60, 70},
        {109, 20},  // the right edge column is outside the fill
        {109, 40},  // beyond XMax: clamped
        {70, 122},  // below the plot: an eighth of a character below
        {80, 18}};  // above: an eighth above
    EXPECT_EQ(p, expected);
    axes.Y2Min = -180.0f; // curve 2 against the right axis
    EXPECT_EQ(Build({600}, {0})[0].Y, 20);
    EXPECT_EQ(Build({600}, {0}, true)[0].Y, 120 - 90);
}

TEST_F(CurvePixels, DropsRepeatsAndEmptyPointsButKeepsTheLast)
{
    // 100, 101, 102 Hz all land on column 10, the same row; the last point is always kept
    EXPECT_EQ(Build({100, 101, 102, 0, 600, 604, 604}, {-50, -50, -50, -50, -50, -50, -50}),
              (std::vector<PixelPoint>{{10, 70}, {60, 70}, {60, 70}}));
    // a first point at 0 Hz is drawn at the left edge, later ones are skipped
    const auto q = Build({0, 600, 0, 700}, {-50, -40, -30, -20});
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0].X, 10);
    EXPECT_EQ(q[2], (PixelPoint{70, 40}));
    EXPECT_EQ(Build({600}, {std::numeric_limits<float>::quiet_NaN()})[0].Y, 122); // NaN: below the plot
}

class CurveExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        curves.Allocate();
        DiagramOptions o;
        o.DifMode = DifK1MinusK2;
        const float f[] = {5.0f, 10.0f, 1000.0f, 12345.675f, 24000.0f, 24000.5f};
        const float k1[] = {-1.0f, -12.25f, -3.5f, 0.0f, -100.125f, 7.0f};
        const float k2[] = {-2.0f, -20.0f, -6.0f, -0.5f, -110.0f, 8.0f};
        for (int i = 0; i < 6; ++i) {
            const float v[2] = {k1[i], k2[i]};
            ASSERT_EQ(curves.StorePoint(v, i, f[i], o), 0);
        }
        range.PointCount = 6;
        range.XMin = 10;
        range.XMax = 24000;
    }
    std::string Save(const std::string &sep)
    {
        EXPECT_EQ(curves.SaveAsText(dir + "/curves.txt", sep, range), 0);
        return testsupport::ReadFile(dir + "/curves.txt");
    }
    const std::string dir = testsupport::ScratchDir("curveexport");
    DiagramCurves curves;
    CurveExportRange range;
};

TEST_F(CurveExport, TwoDecimalsCrLfAndOnlyPointsInRange)
{
    EXPECT_EQ(Save(","), "10.00,-12.25\r\n"
                         "1000.00,-3.50\r\n"
                         "12345.67,0.00\r\n" // 12345.675 is 12345.6748... in single precision
                         "24000.00,-100.12\r\n");
}

TEST_F(CurveExport, ColumnsFollowVisibilityAndTabOrNewlineStandForControlCharacters)
{
    struct Case {
        bool c1, c2, c3;
        const char *sep, *firstLine;
    };
    for (const Case &c : {Case{true, true, false, "\\t", "10.00\t-12.25\t-20.00\r\n"},
                          Case{true, true, false, "\\n", "10.00\r\n-12.25\r\n-20.00\r\n"},
                          Case{true, true, false, "; ", "10.00; -12.25; -20.00\r\n"},
                          Case{false, true, true, ",", "10.00,-20.00,7.75\r\n"},
                          Case{false, false, false, ",", "10.00\r\n1000.00\r\n"},
                          Case{true, true, true, ",", "10.00,-12.25,-20.00,7.75\r\n"}}) {
        range.Curve1 = c.c1;
        range.Curve2 = c.c2;
        range.Curve3 = c.c3;
        EXPECT_EQ(Save(c.sep).rfind(c.firstLine, 0), 0u) << c.firstLine;
    }
}

TEST_F(CurveExport, ErrorsWithoutArraysAndForUnwritablePathsAndOverwritesOldFiles)
{
    EXPECT_EQ(DiagramCurves().SaveAsText(dir + "/x.txt", ",", range), kNoCurvesError);
    EXPECT_NE(curves.SaveAsText(dir + "/missing/dir/x.txt", ",", range), 0);
    EXPECT_NE(curves.SaveAsText(dir, ",", range), 0); // a directory
    testsupport::WriteFile(dir + "/old.txt", std::string(5000, 'x'));
    range.PointCount = 2;
    ASSERT_EQ(curves.SaveAsText(dir + "/old.txt", ",", range), 0);
    EXPECT_EQ(testsupport::ReadFile(dir + "/old.txt"), "10.00,-12.25\r\n");
}

// A full disk in the middle of an export leaves the file that was there as
// it was, and says so.
TEST_F(CurveExport, AFailedExportLeavesTheOldFileWhole)
{
    testsupport::WriteFile(dir + "/old.txt", "kept\r\n");
    {
        testsupport::FileSizeLimit full(20); // the four lines need 61 bytes
        EXPECT_EQ(curves.SaveAsText(dir + "/old.txt", ",", range), EFBIG);
    }
    EXPECT_EQ(testsupport::ReadFile(dir + "/old.txt"), "kept\r\n");
}

TEST_F(CurveExport, ExtraCurvesAddAColumnEachWithAnEmptyFieldWhereTheyHaveNoValue)
{
    ExtraCurve h2;
    h2.FrequencyHz = {10.0, 1000.0, 12345.675, 24000.0};
    h2.Values = {-80.125, std::nan(""), -79.5, -81.0};
    ExtraCurve thd;
    thd.FrequencyHz = {1000.05, 24000.0}; // 5e-5 off 1000 Hz: not its point
    thd.Values = {-77.0, -70.0};
    range.PointCount = 5; // 24000.5 Hz is not written
    EXPECT_EQ(curves.SaveAsText(dir + "/extra.txt", ";", range, {h2, thd}), 0);
    EXPECT_EQ(testsupport::ReadFile(dir + "/extra.txt"), "10.00;-12.25;-80.12;\r\n"
                                                          "1000.00;-3.50;;\r\n"
                                                          "12345.67;0.00;-79.50;\r\n" // the float 12345.6748 finds it
                                                          "24000.00;-100.12;-81.00;-70.00\r\n");
}
