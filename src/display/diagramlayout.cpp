// Layout arithmetic of the diagram window (see diagramlayout.h).
#include "display/diagramlayout.h"

#include "platform/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace display {

namespace {

constexpr double kNiceSeries[] = {0.02, 0.05, 0.1,  0.2,  0.5,   1,     2,     5,    10,    20,    50,
                                  100,  200,  500, 1000, 2000, 5000, 10000, 20000, 50000, 100000};

constexpr std::int32_t kLogGrid[kLogGridCount] = {
    0,     1,     2,     3,     4,     5,     6,     7,     8,     9,     10,   20,
    30,    40,    50,    60,    70,    80,    90,    100,   200,   300,   400,  500,
    600,   700,   800,   900,   1000,  2000,  3000,  4000,  5000,  6000,  7000, 8000,
    9000,  10000, 20000, 30000, 40000, 50000, 60000, 70000, 80000, 90000, 100000};

// Rounds half to even, as the processor's default rounding mode does; every
// pixel computation goes through here so screen and tests agree.
double RoundEven(double v) { return std::nearbyint(v); }

} // namespace

double NiceStep(double x)
{
    if (x >= 100000.0)
        return x;
    for (double s : kNiceSeries)
        if (s > x)
            return s;
    return x; // NaN
}

int LabelDecimals(double step)
{
    if (step < 0.1)
        return 2;
    if (step < 1.0)
        return 1;
    return 0;
}

std::int32_t LogGridFrequency(int index)
{
    if (index < 0 || index >= kLogGridCount)
        return 0;
    return kLogGrid[index];
}

const char *LogGridLabel(int index)
{
    const std::int32_t f = LogGridFrequency(index);
    if (index < 0 || index >= kLogGridCount)
        return "";
    // Labels only at 0, at 1, 2, 3 and 5 times a power of ten (and at 10).
    std::int32_t mantissa = f;
    while (mantissa >= 10 && mantissa % 10 == 0)
        mantissa /= 10;
    if (f != 0 && mantissa != 1 && mantissa != 2 && mantissa != 3 && mantissa != 5)
        return "";
    switch (f) {
    case 0: return "0";
    case 1: return "1";
    case 2: return "2";
    case 3: return "3";
    case 5: return "5";
    case 10: return "10";
    case 20: return "20";
    case 30: return "30";
    case 50: return "50";
    case 100: return "100";
    case 200: return "200";
    case 300: return "300";
    case 500: return "500";
    case 1000: return "1k";
    case 2000: return "2k";
    case 3000: return "3k";
    case 5000: return "5k";
    case 10000: return "10k";
    case 20000: return "20k";
    case 30000: return "30k";
    case 50000: return "50k";
    case 100000: return "100k";
    default: return "";
    }
}

int FirstLogGridIndex(double xmin)
{
    for (int i = 0; i < kLogGridCount; ++i)
        if (kLogGrid[i] >= xmin)
            return i;
    return kLogGridCount;
}

int LogGridAbove(std::int32_t xmin, std::int32_t xmax, std::int32_t *out, int maxCount)
{
    int n = 0;
    for (std::int64_t decade = 100000; decade <= xmax && n < maxCount; decade *= 10) {
        for (int k = decade == 100000 ? 2 : 1; k <= 9 && n < maxCount; ++k) {
            const std::int64_t v = k * decade;
            if (v > xmax)
                return n;
            if (v >= xmin)
                out[n++] = static_cast<std::int32_t>(v);
        }
    }
    return n;
}

std::string LogGridAboveLabel(std::int32_t value)
{
    static const struct { std::int32_t unit; const char *suffix; } kUnits[] = {
        {1000000000, "G"}, {1000000, "M"}, {1000, "k"}};
    for (const auto &u : kUnits) {
        if (value < u.unit || value % u.unit != 0)
            continue;
        std::int32_t mantissa = value / u.unit;
        while (mantissa >= 10 && mantissa % 10 == 0)
            mantissa /= 10;
        if (mantissa != 1 && mantissa != 2 && mantissa != 3 && mantissa != 5)
            return std::string();
        return std::to_string(value / u.unit) + u.suffix;
    }
    return std::string();
}

std::vector<bool> FittingLogLabels(const std::vector<std::int32_t> &values, const std::vector<int> &centres,
                                   const std::vector<int> &widths, int gap)
{
    const std::size_t n = std::min({values.size(), centres.size(), widths.size()});
    std::vector<bool> drawn(n, false);
    std::vector<std::pair<int, int>> taken;
    auto powerOfTen = [](std::int32_t v) {
        while (v >= 10 && v % 10 == 0)
            v /= 10;
        return v <= 1;
    };
    for (const bool first : {true, false}) {
        for (std::size_t i = 0; i < n; ++i) {
            if (widths[i] <= 0 || powerOfTen(values[i]) != first)
                continue;
            const int left = centres[i] - widths[i] / 2, right = left + widths[i];
            const bool free = std::none_of(taken.begin(), taken.end(), [&](const std::pair<int, int> &t) {
                return left < t.second + gap && right + gap > t.first;
            });
            if (free) {
                taken.emplace_back(left, right);
                drawn[i] = true;
            }
        }
    }
    return drawn;
}

std::string LinearFrequencyLabel(std::int32_t hz)
{
    if (hz < 1000)
        return std::to_string(hz);
    return platform::FormatNumber(hz / 1000.0, 'f', 2) + "k";
}

int LinearGridValues(std::int32_t xmin, std::int32_t xmax, std::int32_t step, std::int32_t *out,
                     int maxCount)
{
    if (maxCount <= 0)
        return 0;
    int n = 0;
    out[n++] = xmin;
    if (step < 1)
        return n;
    // first multiple of step strictly above xmin (floor division for negative xmin)
    std::int64_t q = xmin / step;
    if (xmin < 0 && xmin % step != 0)
        --q;
    for (std::int64_t v = (q + 1) * step; v <= xmax && n < maxCount; v += step)
        out[n++] = static_cast<std::int32_t>(v);
    return n;
}

std::string FormatLabel(double value, int width, int decimals)
{
    std::string s = platform::FormatNumber(value, 'f', decimals, width);
    // A value a rounding error below zero must not read "-0.0".
    const auto minus = s.find('-');
    if (minus != std::string::npos && s.find_first_of("123456789") == std::string::npos)
        s[minus] = ' ';
    return s;
}

void ComputeDiagramFrame(const DiagramAxes &axes, const DiagramTextMetrics &metrics, int width,
                         int height, int fontSize, int yDecimals, DiagramLayout &out)
{
    const int fs = fontSize;
    const int top = 4 * fs;
    int bottom = 5 * fs;
    if (metrics.XCaptionHeight > 0)
        bottom += metrics.XCaptionHeight;
    int left = fs * (yDecimals + 3);
    if (metrics.YCaptionHeight > 0)
        left += metrics.YCaptionHeight;
    int right = fs;
    if (axes.LeftAxisShown && axes.RightAxisShown) {
        right = 4 * fs;
        if (metrics.Y2CaptionHeight > 0)
            right += static_cast<int>(RoundEven(1.5 * metrics.Y2CaptionHeight));
    }
    out.Width = width;
    out.Height = height;
    out.FontSize = fs;
    out.Plot = {left, top, width - right, height - bottom};
    out.TopMargin = {0, 0, width, top};
    out.BottomMargin = {0, out.Plot.Bottom, width, height};
    out.LeftMargin = {0, top, left, out.Plot.Bottom};
    out.RightMargin = {out.Plot.Right, top, width, out.Plot.Bottom};
}

bool ComputeDiagramLayout(const DiagramAxes &axes, const DiagramTextMetrics &metrics, int width,
                          int height, int fontSize, DiagramLayout &out)
{
    ComputeDiagramFrame(axes, metrics, width, height, fontSize, out.YDecimals, out);
    out.CharHeight = (metrics.DigitHeight >= 1 && metrics.DigitHeight <= 40) ? metrics.DigitHeight : 16;
    out.CharWidth = metrics.DigitWidth;

    const double plotWidth = out.Plot.Width();
    const double plotHeight = out.Plot.Height();

    // Logarithmic scale. Without a positive range there is no logarithmic
    // layout; a linear axis does not need one.
    if (axes.XMin > 0 && axes.XMax > 0) {
        const double ratio = static_cast<double>(axes.XMax) / axes.XMin;
        out.XPixPerLn = ratio == 1.0 ? 1.0 : plotWidth / std::log(ratio);
    } else if (axes.LogX) {
        return false;
    } else {
        out.XPixPerLn = 1.0;
    }

    const double yRange = static_cast<double>(axes.YMax) - axes.YMin;
    const double y2Range = static_cast<double>(axes.Y2Max) - axes.Y2Min;
    if (yRange != 0.0 && y2Range != 0.0) {
        if (axes.PointCount != 0 && std::isfinite(yRange) && std::isfinite(y2Range)) {
            out.YPixPerUnit = plotHeight / yRange;
            out.Y2PixPerUnit = plotHeight / y2Range;
            out.XPixPerPoint = plotWidth / axes.PointCount;
        } else {
            out.YPixPerUnit = out.Y2PixPerUnit = out.XPixPerPoint = 1.0;
        }
    }

    out.FirstLogIndex = FirstLogGridIndex(axes.XMin);
    out.XPixPerHz = axes.XMax != axes.XMin ? plotWidth / (static_cast<double>(axes.XMax) - axes.XMin) : 1.0;

    // X label step: as many "20.00k" labels as fit with half a label of room.
    const int labelSlot = static_cast<int>(1.5 * metrics.FrequencyLabelWidth);
    const int columns = labelSlot > 0 ? out.Plot.Width() / labelSlot : out.Plot.Width();
    const std::int64_t xSpan = static_cast<std::int64_t>(axes.XMax) - axes.XMin;
    const double xStep = RoundEven(NiceStep(static_cast<double>(xSpan / std::max(columns, 1))));
    out.XLabelStep = static_cast<std::int32_t>(std::clamp(xStep, 1.0, 2.0e9));

    // Y label step: rows of one and a half digit heights.
    const int rowSlot = static_cast<int>(1.5 * metrics.DigitHeight);
    const int rows = rowSlot > 0 ? out.Plot.Height() / rowSlot : 0;
    if (rows <= 0)
        return false;
    const double yStep = NiceStep(yRange / rows);
    const double divisions = yRange / yStep;
    if (!std::isfinite(yStep) || !std::isfinite(divisions) || divisions == 0.0)
        return false;
    out.YLabelStep = yStep;
    out.YDecimals = LabelDecimals(yStep);
    // The right axis gets the same number of divisions as the left one.
    out.Y2LabelStep = y2Range / divisions;
    return std::isfinite(out.Y2LabelStep);
}

double FreqToX(const DiagramAxes &axes, const DiagramLayout &layout, double f)
{
    const PixelRect &p = layout.Plot;
    // An axis that starts below 0 is a linear axis of levels (dB).
    if (axes.XMin >= 0 && (axes.XMin == 0 || f == 0.0))
        return p.Left;
    if (axes.LogX) {
        if (!(f > 0.0) || axes.XMin < 0)
            return p.Left;
        return p.Left + std::log(f / axes.XMin) * layout.XPixPerLn;
    }
    if (f > axes.XMax)
        return p.Right;
    if (f < axes.XMin)
        return p.Left;
    return p.Left + (f - axes.XMin) * layout.XPixPerHz;
}

double XToFreq(const DiagramAxes &axes, const DiagramLayout &layout, double x)
{
    const double d = x - layout.Plot.Left;
    if (axes.LogX)
        return axes.XMin * std::exp(d / layout.XPixPerLn);
    return d / layout.XPixPerHz + axes.XMin;
}

double LevelToY(double v, double min, double pixPerUnit, int bottom)
{
    return bottom - RoundEven((v - min) * pixPerUnit);
}

} // namespace display
