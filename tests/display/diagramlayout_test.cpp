// Layout arithmetic of the diagram, against hand-derived numbers.
#include "display/diagramlayout.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

using namespace display;

namespace {

// Text sizes of a typical 8-point screen font.
DiagramTextMetrics ScreenMetrics()
{
    DiagramTextMetrics m;
    m.DigitHeight = 13;
    m.DigitWidth = 7;
    m.FrequencyLabelWidth = 40;
    return m;
}

DiagramAxes SpectrumAxes()
{
    DiagramAxes a;
    a.XMin = 10;
    a.XMax = 24000;
    a.YMin = a.Y2Min = -110.0f;
    a.YMax = a.Y2Max = 0.0f;
    a.PointCount = 4096;
    return a;
}

std::array<int, 4> Corners(const PixelRect &r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

} // namespace

TEST(AxisLabels, NiceStepDecimalsAndFormatting)
{
    // the next 1-2-5 value strictly above x, from 0.02 up to 100000, then x itself
    const double steps[][2] = {{0.0, 0.02},  {-5.0, 0.02}, {0.02, 0.05},     {0.07, 0.1},
                               {0.3, 0.5},   {1.5, 2.0},   {110.0 / 15, 10}, {10.0, 20.0},
                               {2998, 5000}, {99999, 1e5}, {1e5, 1e5},       {250000, 250000}};
    for (const auto &s : steps)
        EXPECT_DOUBLE_EQ(NiceStep(s[0]), s[1]) << s[0];
    for (auto [step, decimals] : {std::pair{0.05, 2}, {0.0999, 2}, {0.1, 1}, {0.5, 1}, {1.0, 0}, {20.0, 0}})
        EXPECT_EQ(LabelDecimals(step), decimals) << step;
    EXPECT_EQ(FormatLabel(-110.0, 3, 0), "-110");
    EXPECT_EQ(FormatLabel(5.0, 3, 0), "  5");
    EXPECT_EQ(FormatLabel(-2.5, 3, 1), "-2.5");
    EXPECT_EQ(FormatLabel(-1e-9, 5, 1), "  0.0"); // never minus zero
    EXPECT_EQ(FormatLabel(0.125, 3, 2), "0.12");  // ties to even as printf does
}

TEST(LogGrid, TenTo24000HasLinesEveryStepAndLabelsAt1235)
{
    std::vector<int> lines;
    std::vector<std::string> labels;
    for (int i = FirstLogGridIndex(10); i < kLogGridCount && LogGridFrequency(i) <= 24000; ++i) {
        lines.push_back(LogGridFrequency(i));
        if (*LogGridLabel(i))
            labels.push_back(LogGridLabel(i));
    }
    std::vector<int> expectedLines;
    for (int decade = 10; decade <= 1000; decade *= 10)
        for (int k = 1; k <= 9; ++k)
            expectedLines.push_back(k * decade);
    expectedLines.push_back(10000);
    expectedLines.push_back(20000);
    EXPECT_EQ(lines, expectedLines);
    EXPECT_EQ(labels, (std::vector<std::string>{"10", "20", "30", "50", "100", "200", "300", "500", "1k", "2k",
                                                "3k", "5k", "10k", "20k"}));
    EXPECT_EQ(FirstLogGridIndex(0), 0);
    EXPECT_EQ(FirstLogGridIndex(11), 11); // 20 is the first entry >= 11
    EXPECT_EQ(FirstLogGridIndex(100001), kLogGridCount);
    EXPECT_EQ(LogGridFrequency(kLogGridCount - 1), 100000);
    EXPECT_EQ(LogGridFrequency(kLogGridCount), 0);
}

// A power axis in nW spans more decades than the table: from 125 nW to
// 125 mW (125,000,000 nW) the grid goes on past 100k at 2..9 times each
// power of ten, labelled at 1, 2, 3 and 5 of them.
TEST(LogGrid, BeyondTheTableTheDecadesGoOnUpToTheAxisEnd)
{
    std::int32_t v[64];
    const int n = LogGridAbove(125, 125000000, v, 64);
    std::vector<std::int32_t> expected;
    for (std::int32_t k = 2; k <= 9; ++k)
        expected.push_back(k * 100000);
    for (std::int32_t decade = 1000000; decade <= 100000000; decade *= 10)
        for (std::int32_t k = 1; k <= 9 && k * decade <= 125000000; ++k)
            expected.push_back(k * decade);
    EXPECT_EQ(std::vector<std::int32_t>(v, v + n), expected);
    EXPECT_EQ(LogGridAbove(125, 100000, v, 64), 0); // the table alone reaches so far
    EXPECT_EQ(LogGridAbove(3000000, 5000000, v, 64), 3); // 3M, 4M, 5M
    EXPECT_EQ(LogGridAbove(1, 2147483647, v, 64), 8 + 27 + 2); // up to 2G
    std::vector<std::string> labels;
    for (std::int32_t x : {200000, 400000, 1000000, 3000000, 7000000, 50000000, 100000000, 2000000000})
        labels.push_back(LogGridAboveLabel(x));
    EXPECT_EQ(labels, (std::vector<std::string>{"200k", "", "1M", "3M", "", "50M", "100M", "2G"}));
}

TEST(LinearGrid, ValuesAndLabels)
{
    std::int32_t v[16];
    const int n = LinearGridValues(10, 24000, 5000, v, 16);
    EXPECT_EQ(std::vector<std::int32_t>(v, v + n), (std::vector<std::int32_t>{10, 5000, 10000, 15000, 20000}));
    EXPECT_EQ(LinearFrequencyLabel(10), "10");
    EXPECT_EQ(LinearFrequencyLabel(999), "999");
    EXPECT_EQ(LinearFrequencyLabel(1000), "1.00k");
    EXPECT_EQ(LinearFrequencyLabel(12345), "12.35k");
    // xmin on a multiple: the next multiple follows it, xmax itself is included
    EXPECT_EQ(LinearGridValues(1000, 3000, 1000, v, 16), 3);
    EXPECT_EQ(v[2], 3000);
    EXPECT_EQ(LinearGridValues(1, 100000, 1, v, 16), 16); // the buffer bounds the count
}

TEST(DiagramFrame, MarginsFromFontSizeAndCaptions)
{
    DiagramAxes axes = SpectrumAxes();
    DiagramTextMetrics m = ScreenMetrics();
    DiagramLayout L;
    // top 4*8, bottom 5*8, left 8*(0+3), right 8 (one axis)
    ComputeDiagramFrame(axes, m, 580, 370, 8, 0, L);
    EXPECT_EQ(Corners(L.Plot), (std::array<int, 4>{24, 32, 572, 330}));
    m.XCaptionHeight = m.YCaptionHeight = 13;
    ComputeDiagramFrame(axes, m, 580, 370, 8, 1, L);
    EXPECT_EQ(L.Plot.Left, 8 * 4 + 13);
    EXPECT_EQ(L.Plot.Bottom, 370 - 40 - 13);
    // two axes: right margin 4*fs plus 1.5 caption heights (19.5 rounds to even 20)
    axes.RightAxisShown = true;
    m.Y2CaptionHeight = 13;
    ComputeDiagramFrame(axes, m, 580, 370, 8, 0, L);
    EXPECT_EQ(L.Plot.Right, 580 - 32 - 20);
    // the margin strips tile the bitmap around the plot
    EXPECT_EQ(L.TopMargin.Bottom, L.Plot.Top);
    EXPECT_EQ(L.BottomMargin.Top, L.Plot.Bottom);
    EXPECT_EQ(L.BottomMargin.Bottom, 370);
    EXPECT_EQ(L.LeftMargin.Right, L.Plot.Left);
    EXPECT_EQ(L.RightMargin.Left, L.Plot.Right);
    EXPECT_EQ(L.RightMargin.Right, 580);
    // printer-sized font: every margin scales with it
    ComputeDiagramFrame(SpectrumAxes(), ScreenMetrics(), 1200, 800, 16, 0, L);
    EXPECT_EQ(Corners(L.Plot), (std::array<int, 4>{48, 64, 1184, 720}));
}

TEST(DiagramLayout, ScalesAndLabelSteps)
{
    DiagramAxes axes = SpectrumAxes();
    DiagramTextMetrics m = ScreenMetrics();
    m.XCaptionHeight = m.YCaptionHeight = 13;
    DiagramLayout L;
    ASSERT_TRUE(ComputeDiagramLayout(axes, m, 580, 370, 8, L));
    ASSERT_EQ(Corners(L.Plot), (std::array<int, 4>{37, 32, 572, 317})); // 535 x 285
    EXPECT_NEAR(L.YPixPerUnit, 285.0 / 110.0, 1e-9);
    EXPECT_NEAR(L.XPixPerPoint, 535.0 / 4096.0, 1e-12);
    EXPECT_EQ(L.FirstLogIndex, 10);
    EXPECT_EQ(L.XLabelStep, 5000);      // 535 / trunc(1.5 * 40) = 8 columns; 23990 div 8 = 2998
    EXPECT_DOUBLE_EQ(L.YLabelStep, 10); // 285 / trunc(1.5 * 13) = 15 rows; 110 / 15 = 7.3
    EXPECT_EQ(L.YDecimals, 0);
    // the right axis gets the same 11 divisions as the left one
    axes.Y2Min = -180.0f;
    axes.Y2Max = 180.0f;
    ASSERT_TRUE(ComputeDiagramLayout(axes, m, 580, 370, 8, L));
    EXPECT_NEAR(L.Y2LabelStep, 360.0 / 11.0, 1e-9);
    EXPECT_NEAR(L.Y2PixPerUnit, 285.0 / 360.0, 1e-12);
    // narrow level ranges need decimals
    for (auto [range, step, decimals] : {std::tuple{1.0f, 0.2, 1}, {0.1f, 0.02, 2}}) {
        axes.YMin = -range;
        axes.YMax = range;
        ASSERT_TRUE(ComputeDiagramLayout(axes, m, 580, 370, 8, L));
        EXPECT_DOUBLE_EQ(L.YLabelStep, step);
        EXPECT_EQ(L.YDecimals, decimals);
    }
}

TEST(DiagramLayout, FailuresAndFallbacks)
{
    DiagramAxes axes = SpectrumAxes();
    const DiagramTextMetrics m = ScreenMetrics();
    DiagramLayout L;
    // a plot lower than one and a half character heights has no label row
    EXPECT_FALSE(ComputeDiagramLayout(axes, m, 580, 72 + 18, 8, L));
    EXPECT_TRUE(ComputeDiagramLayout(axes, m, 580, 72 + 19, 8, L));
    DiagramAxes unset; // ranges not set yet leave no divisions
    unset.PointCount = 51;
    EXPECT_FALSE(ComputeDiagramLayout(unset, m, 580, 370, 8, L));
    // no points, or equal frequencies: the scales fall back to 1
    axes.PointCount = 0;
    axes.XMin = axes.XMax = 1000;
    EXPECT_TRUE(ComputeDiagramLayout(axes, m, 580, 370, 8, L));
    for (double scale : {L.YPixPerUnit, L.Y2PixPerUnit, L.XPixPerPoint, L.XPixPerLn, L.XPixPerHz})
        EXPECT_EQ(scale, 1.0);
    // a frequency of 0 has no logarithm; the linear axis does not need one
    axes = SpectrumAxes();
    axes.XMin = 0;
    EXPECT_FALSE(ComputeDiagramLayout(axes, m, 580, 370, 8, L));
    axes.LogX = false;
    EXPECT_TRUE(ComputeDiagramLayout(axes, m, 580, 370, 8, L));
    // a character height outside 1..40 is taken as 16
    DiagramTextMetrics huge = m;
    huge.DigitHeight = 41;
    ComputeDiagramLayout(SpectrumAxes(), huge, 1200, 800, 8, L);
    EXPECT_EQ(L.CharHeight, 16);
}

TEST(FrequencyMapping, LogAxisIsNotClampedLinearAxisIsAndBothRoundTrip)
{
    for (bool logX : {true, false}) {
        DiagramAxes axes = SpectrumAxes();
        axes.LogX = logX;
        DiagramLayout L;
        ASSERT_TRUE(ComputeDiagramLayout(axes, ScreenMetrics(), 580, 370, 8, L));
        EXPECT_DOUBLE_EQ(FreqToX(axes, L, 10.0), L.Plot.Left);
        EXPECT_NEAR(FreqToX(axes, L, 24000.0), L.Plot.Right, 1e-9);
        for (double f : {10.0, 31.5, 440.0, 9876.5, 23999.5})
            EXPECT_NEAR(XToFreq(axes, L, FreqToX(axes, L, f)), f, 1e-6) << f;
        for (int x : {L.Plot.Left, 100, 333, L.Plot.Right})
            EXPECT_NEAR(FreqToX(axes, L, XToFreq(axes, L, x)), x, 1e-9) << x;
        if (logX) {
            // one decade is plot width · ln 10 / ln 2400 pixels; beyond the range lies beyond the plot
            EXPECT_NEAR(FreqToX(axes, L, 1000.0) - FreqToX(axes, L, 100.0),
                        L.Plot.Width() * std::log(10.0) / std::log(2400.0), 1e-9);
            EXPECT_GT(FreqToX(axes, L, 48000.0), L.Plot.Right);
            EXPECT_LT(FreqToX(axes, L, 5.0), L.Plot.Left);
            EXPECT_DOUBLE_EQ(FreqToX(axes, L, 0.0), L.Plot.Left);
        } else {
            EXPECT_NEAR(FreqToX(axes, L, 12005.0), (L.Plot.Left + L.Plot.Right) / 2.0, 1e-9);
            EXPECT_DOUBLE_EQ(FreqToX(axes, L, 30000.0), L.Plot.Right);
            EXPECT_DOUBLE_EQ(FreqToX(axes, L, 5.0), L.Plot.Left);
        }
    }
}

TEST(LevelMapping, RowsFromTheBottomRoundedToEven)
{
    // 2.5 px per dB from -100 dB, bottom row 300
    EXPECT_EQ(LevelToY(-100.0, -100.0, 2.5, 300), 300);
    EXPECT_EQ(LevelToY(0.0, -100.0, 2.5, 300), 50);
    EXPECT_EQ(LevelToY(-99.0, -100.0, 2.5, 300), 298.0); // 2.5 ties to 2
    EXPECT_EQ(LevelToY(-97.0, -100.0, 2.5, 300), 292.0); // 7.5 ties to 8
    EXPECT_EQ(LevelToY(-1.0e7, -100.0, 2.5, 300), 300 + 2.5e7 - 250);
}

// Labels 30 pixels wide, 5 pixels apart at least: 100k and 1M (powers of
// ten) first; 200k would touch 100k, 300k fits between, 500k would touch
// 300k. A value without a label (width 0) is never drawn.
TEST(LogGrid, LabelsAtPowersOfTenComeFirstAndTheOthersWhereTheyFit)
{
    const std::vector<std::int32_t> values{100000, 200000, 300000, 400000, 500000, 1000000};
    const std::vector<int> centres{0, 30, 48, 60, 70, 100};
    const std::vector<int> widths{30, 30, 30, 0, 30, 30};
    EXPECT_EQ(FittingLogLabels(values, centres, widths, 5),
              (std::vector<bool>{true, false, true, false, false, true}));
    // Far apart, as on a frequency axis of three decades: every label.
    EXPECT_EQ(FittingLogLabels({10, 20, 30, 50, 100}, {0, 60, 95, 140, 200}, {12, 12, 12, 12, 18}, 5),
              (std::vector<bool>{true, true, true, true, true}));
}
