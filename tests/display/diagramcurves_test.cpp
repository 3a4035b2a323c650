// Curve storage: peak hold and difference modes, the index range and pixel
// reduction of a curve, and the text export.
#include "display/diagramcurves.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace display;

namespace {

float StoreAndRead3(DiagramCurves &c, const DiagramOptions &o, float k1, float k2, int index = 7)
{
    const float v[2] = {k1, k2};
    EXPECT_EQ(c.StorePoint(v, index, 1000.0f, o), 0);
    return c.Curve3()[index];
}

} // namespace

TEST(CurveStorage, AllocatedClearedAndReset)
{
    DiagramCurves c;
    EXPECT_FALSE(c.IsAllocated());
    c.Allocate();
    ASSERT_TRUE(c.IsAllocated());
    for (int i : {0, 1, kMaxPoints / 2, kMaxPoints - 1}) {
        EXPECT_EQ(c.Freq()[i], 0.0f);
        EXPECT_EQ(c.Curve1()[i], 0.0f);
        EXPECT_EQ(c.Curve2()[i], 0.0f);
        EXPECT_EQ(c.Curve3()[i], kNoValue);
    }
    DiagramOptions o;
    o.PeakK1 = 1;
    const float v[2] = {-20.0f, -30.0f};
    ASSERT_EQ(c.StorePoint(v, kMaxPoints - 1, 24000.0f, o), 0);
    EXPECT_EQ(c.Freq()[kMaxPoints - 1], 24000.0f);
    EXPECT_EQ(c.Curve1()[kMaxPoints - 1], -20.0f);
    EXPECT_EQ(c.Curve2()[kMaxPoints - 1], -30.0f);
    EXPECT_EQ(c.Curve3()[kMaxPoints - 1], -20.0f);
    c.ResetPeak();
    EXPECT_EQ(c.Curve3()[kMaxPoints - 1], kNoValue);
    EXPECT_EQ(c.Curve1()[kMaxPoints - 1], -20.0f);
    c.Clear();
    EXPECT_EQ(c.Freq()[kMaxPoints - 1], 0.0f);
    EXPECT_EQ(c.Curve1()[kMaxPoints - 1], 0.0f);
}

TEST(CurveStorage, PeakHoldKeepsTheMaximumUntilReset)
{
    DiagramCurves c;
    c.Allocate();
    DiagramOptions o;
    o.PeakK1 = 1;
    EXPECT_EQ(StoreAndRead3(c, o, -40.0f, 0.0f), -40.0f);
    EXPECT_EQ(StoreAndRead3(c, o, -60.0f, 0.0f), -40.0f);
    EXPECT_EQ(StoreAndRead3(c, o, -10.0f, 5.0f), -10.0f);
    EXPECT_EQ(c.Curve1()[7], -10.0f);
    c.ResetPeak();
    EXPECT_EQ(StoreAndRead3(c, o, -60.0f, 0.0f), -60.0f);

    // peak of curve 2
    o.PeakK1 = 0;
    o.PeakK2 = 1;
    c.ResetPeak();
    EXPECT_EQ(StoreAndRead3(c, o, 0.0f, -30.0f), -30.0f);
    EXPECT_EQ(StoreAndRead3(c, o, 10.0f, -50.0f), -30.0f);
    EXPECT_EQ(StoreAndRead3(c, o, 10.0f, -3.0f), -3.0f);
    // other points are untouched
    EXPECT_EQ(c.Curve3()[6], kNoValue);
    EXPECT_EQ(c.Curve3()[8], kNoValue);

    // without peak or difference curve 3 stays as it is
    DiagramOptions none;
    EXPECT_EQ(StoreAndRead3(c, none, 50.0f, 50.0f), -3.0f);
}

TEST(CurveStorage, DifferenceModesFollowTheLatestDataWithoutHold)
{
    DiagramCurves c;
    c.Allocate();
    DiagramOptions o;
    o.DifMode = DifK1MinusK2;
    EXPECT_EQ(StoreAndRead3(c, o, -10.0f, -25.0f), 15.0f);
    EXPECT_EQ(StoreAndRead3(c, o, -30.0f, -20.0f), -10.0f); // no hold
    o.DifMode = DifK2MinusK1;
    EXPECT_EQ(StoreAndRead3(c, o, -10.0f, -25.0f), -15.0f);
    EXPECT_EQ(StoreAndRead3(c, o, -30.0f, -20.0f), 10.0f);
    o.DifMode = DifK1PlusK2;
    EXPECT_EQ(StoreAndRead3(c, o, -10.0f, -25.0f), -35.0f);
    EXPECT_EQ(StoreAndRead3(c, o, 1.5f, 2.25f), 3.75f);
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
    // a difference that overflows single precision
    const float big[2] = {3.0e38f, -3.0e38f};
    o.DifMode = DifK1MinusK2;
    EXPECT_EQ(c.StorePoint(big, 4, 10.0f, o), 1);
    EXPECT_EQ(c.StorePoint(v, kMaxPoints - 1, 10.0f, o), 0);
}

TEST(CurveIndexRange, PointBeforeXMinToLastNotAboveXMax)
{
    std::vector<float> f(kMaxPoints, 0.0f);
    for (int i = 0; i <= 20; ++i)
        f[i] = 2.5f * i; // 0, 2.5, ..., 50
    int first = -1, last = -1;
    ASSERT_TRUE(CurveIndexRange(f.data(), 20, 10, 30, first, last));
    EXPECT_EQ(first, 4); // 12.5 Hz (index 5) is the first above 10 Hz
    EXPECT_EQ(last, 12); // 30 Hz
    // the first point already above xmin
    ASSERT_TRUE(CurveIndexRange(f.data(), 20, 0, 100, first, last));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 20);
    // point count beyond the stored points: the unused entry (0 Hz) ends the range
    ASSERT_TRUE(CurveIndexRange(f.data(), 21, 0, 100, first, last));
    EXPECT_EQ(last, 21);
    // nothing above xmin
    EXPECT_FALSE(CurveIndexRange(f.data(), 20, 60, 100, first, last));
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
        const int n = BuildCurvePoints(f.data(), v.data(), 0, static_cast<int>(f.size()) - 1, axes, layout, right,
                                       out.data());
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
    ASSERT_EQ(p.size(), 6u);
    EXPECT_EQ(p[0], (PixelPoint{10, 120}));
    EXPECT_EQ(p[1], (PixelPoint{60, 70}));
    EXPECT_EQ(p[2], (PixelPoint{109, 20})); // the right edge column is outside the fill
    EXPECT_EQ(p[3], (PixelPoint{109, 40})); // beyond XMax: clamped
    EXPECT_EQ(p[4], (PixelPoint{70, 122})); // below the plot: an eighth of a character below
    EXPECT_EQ(p[5], (PixelPoint{80, 18}));  // above: an eighth above

    // right axis: curve 2 against Y2
    axes.Y2Min = -180.0f;
    const auto r = Build({600}, {0});
    const auto r2 = Build({600}, {0}, true);
    EXPECT_EQ(r[0].Y, 20);
    EXPECT_EQ(r2[0].Y, 120 - 90);
}

TEST_F(CurvePixels, DropsRepeatsAndEmptyPointsButKeepsTheLast)
{
    // 100, 101, 102 Hz all land on column 10, the same row
    const auto p = Build({100, 101, 102, 0, 600, 604, 604}, {-50, -50, -50, -50, -50, -50, -50});
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0], (PixelPoint{10, 70}));
    EXPECT_EQ(p[1], (PixelPoint{60, 70}));
    EXPECT_EQ(p[2], (PixelPoint{60, 70})); // the last point is always kept
    // a first point at 0 Hz is drawn (at the left edge), later ones are skipped
    const auto q = Build({0, 600, 0, 700}, {-50, -40, -30, -20});
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0].X, 10);
    EXPECT_EQ(q[2], (PixelPoint{70, 40}));
    // a level that is not a number is drawn below the plot
    const auto n = Build({600}, {std::numeric_limits<float>::quiet_NaN()});
    EXPECT_EQ(n[0].Y, 122);
}

class CurveExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = testsupport::ScratchDir("curveexport");
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
        const std::string path = dir + "/curves.txt";
        EXPECT_EQ(curves.SaveAsText(path, sep, range), 0);
        return testsupport::ReadFile(path);
    }
    std::string dir;
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

TEST_F(CurveExport, SeparatorsTabAndNewlineStandForControlCharacters)
{
    range.Curve2 = true;
    const std::string tab = Save("\\t");
    EXPECT_EQ(tab.substr(0, tab.find("\r\n")), "10.00\t-12.25\t-20.00");
    const std::string nl = Save("\\n");
    EXPECT_EQ(nl.substr(0, 27), "10.00\r\n-12.25\r\n-20.00\r\n1000");
    EXPECT_EQ(Save("; ").substr(0, 22), "10.00; -12.25; -20.00\r");
}

TEST_F(CurveExport, ColumnsFollowVisibility)
{
    range.Curve1 = false;
    range.Curve2 = true;
    range.Curve3 = true;
    EXPECT_EQ(Save(",").substr(0, 18), "10.00,-20.00,7.75\r");
    range.Curve1 = range.Curve2 = range.Curve3 = false;
    EXPECT_EQ(Save(",").substr(0, 7), "10.00\r\n");
    range.Curve1 = range.Curve2 = range.Curve3 = true;
    EXPECT_EQ(Save(",").substr(0, 25), "10.00,-12.25,-20.00,7.75\r");
}

TEST_F(CurveExport, ErrorsWithoutArraysAndForUnwritablePaths)
{
    DiagramCurves none;
    EXPECT_EQ(none.SaveAsText(dir + "/x.txt", ",", range), kNoCurvesError);
    EXPECT_NE(curves.SaveAsText(dir + "/missing/dir/x.txt", ",", range), 0);
    EXPECT_NE(curves.SaveAsText(dir, ",", range), 0); // a directory
    // an existing file is overwritten
    testsupport::WriteFile(dir + "/old.txt", std::string(5000, 'x'));
    range.PointCount = 2;
    ASSERT_EQ(curves.SaveAsText(dir + "/old.txt", ",", range), 0);
    EXPECT_EQ(testsupport::ReadFile(dir + "/old.txt"), "10.00,-12.25\r\n");
}
