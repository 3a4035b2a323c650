// Layout arithmetic of the diagram: margins and plot rectangle, pixel scales,
// label steps, the logarithmic grid table and the mapping between
// frequency/level and pixels. Plain C++ so it can be checked by hand-derived
// numbers; the text sizes it needs are measured by the caller with the
// diagram font and passed in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace display {

// Value standing for "range not set yet" (frequencies and levels alike).
constexpr std::int32_t kUnsetFrequency = 99;
constexpr float kUnsetLevel = 99.0f;

// Curve arrays hold this many points; PointCount stays below it.
constexpr int kMaxPoints = 16384;

// Smallest value of the 1-2-5 series 0.02 ... 100000 strictly greater than x;
// x itself from 100000 on.
double NiceStep(double x);

// Decimals of the left level labels for a label step.
int LabelDecimals(double step);

// The 47 entries of the logarithmic grid: 0, 1..10, 20..100, ..., 20000..100000.
constexpr int kLogGridCount = 47;
std::int32_t LogGridFrequency(int index);
// Label of a table entry; empty for entries that carry only a grid line.
const char *LogGridLabel(int index);
// Index of the first entry >= xmin (kLogGridCount when there is none).
int FirstLogGridIndex(double xmin);

// Beyond the table's 100000 (only a power axis in small units reaches so
// far) the grid goes on at 2 … 9 times each power of ten: the values above
// 100000, at or above xmin, up to xmax; at most maxCount, returns the count.
int LogGridAbove(std::int32_t xmin, std::int32_t xmax, std::int32_t *out, int maxCount);
// Label of such a value at 1, 2, 3 and 5 times a power of ten ("200k",
// "1M", "50M", "2G"); empty for the others.
std::string LogGridAboveLabel(std::int32_t value);

// Which labels of a logarithmic axis are drawn, given each grid value, the
// centre of its label in pixels and the label's width (0: none): those at
// powers of ten first, then the others in order where they keep `gap`
// pixels from every label drawn. On a wide axis (a power axis over six
// decades) the 2, 3 and 5 labels would otherwise run into each other.
std::vector<bool> FittingLogLabels(const std::vector<std::int32_t> &values, const std::vector<int> &centres,
                                   const std::vector<int> &widths, int gap);

// Label of a linear-axis frequency: integers below 1000, from 1000 on
// value/1000 with two decimals and "k" ("20.00k").
std::string LinearFrequencyLabel(std::int32_t hz);

// Linear-axis grid values: xmin, then every multiple of step above xmin up to
// the last one <= xmax. Writes at most maxCount values, returns the count.
int LinearGridValues(std::int32_t xmin, std::int32_t xmax, std::int32_t step, std::int32_t *out,
                     int maxCount);

// Text formatted as the axis labels are: fixed decimals, padded with leading
// blanks to at least `width` characters.
std::string FormatLabel(double value, int width, int decimals);

struct PixelRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

// Axis state of the diagram.
struct DiagramAxes {
    std::int32_t XMin = kUnsetFrequency; // Hz
    std::int32_t XMax = kUnsetFrequency;
    float YMin = kUnsetLevel;  // left axis, dB
    float YMax = kUnsetLevel;
    float Y2Min = -90.0f;      // right axis
    float Y2Max = 90.0f;
    bool LeftAxisShown = true;
    bool RightAxisShown = false;
    bool LogX = true;
    int PointCount = 0;        // points in use = count given to SetupDiagram + 1
};

// Text sizes measured with the diagram font; a caption height is 0 when the
// caption is empty.
struct DiagramTextMetrics {
    int DigitHeight = 0;      // height of "8"
    int DigitWidth = 0;       // width of "8"
    int XCaptionHeight = 0;
    int YCaptionHeight = 0;
    int Y2CaptionHeight = 0;
    int FrequencyLabelWidth = 0; // width of "20.00k"
};

// Everything the layout derives; kept between runs because a failed run
// leaves the values it did not reach as they were.
struct DiagramLayout {
    int Width = 0, Height = 0;
    int FontSize = 8;
    PixelRect Plot;
    PixelRect TopMargin, BottomMargin, LeftMargin, RightMargin;
    int CharHeight = 16;
    int CharWidth = 8;
    double YPixPerUnit = 1.0;   // pixels per dB, left axis
    double Y2PixPerUnit = 1.0;  // right axis
    double XPixPerPoint = 1.0;
    double XPixPerLn = 1.0;     // pixels per natural-log unit of frequency
    double XPixPerHz = 1.0;
    int FirstLogIndex = 0;
    std::int32_t XLabelStep = 1; // Hz
    double YLabelStep = 1.0;
    double Y2LabelStep = 1.0;
    int YDecimals = 0;
};

// Margins and plot rectangle for a bitmap of width x height at font size fs.
void ComputeDiagramFrame(const DiagramAxes &axes, const DiagramTextMetrics &metrics, int width,
                         int height, int fontSize, int yDecimals, DiagramLayout &out);

// The whole layout (frame, scales, grid index, label steps). `out.YDecimals`
// on entry sizes the left margin; the run updates it from the new label
// step. Returns false when the numbers admit no layout (for instance a plot
// lower than one and a half characters leaves no label row).
bool ComputeDiagramLayout(const DiagramAxes &axes, const DiagramTextMetrics &metrics, int width,
                          int height, int fontSize, DiagramLayout &out);

// Frequency (Hz) to pixel column and back.
double FreqToX(const DiagramAxes &axes, const DiagramLayout &layout, double f);
double XToFreq(const DiagramAxes &axes, const DiagramLayout &layout, double x);

// Level to pixel row: Bottom - round((v - min) * pixPerUnit), computed in
// double so that far-off values cannot overflow.
double LevelToY(double v, double min, double pixPerUnit, int bottom);

} // namespace display
