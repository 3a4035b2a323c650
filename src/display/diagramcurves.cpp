// Curve storage, curve pixel reduction and text export of the diagram.
#include "display/diagramcurves.h"

#include "platform/numbers.h"
#include "platform/textfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace display {

void DiagramCurves::Allocate()
{
    if (!freq_) {
        freq_ = std::make_unique<float[]>(kMaxPoints);
        curve1_ = std::make_unique<float[]>(kMaxPoints);
        curve2_ = std::make_unique<float[]>(kMaxPoints);
        curve3_ = std::make_unique<float[]>(kMaxPoints);
    }
    Clear();
}

void DiagramCurves::Release()
{
    freq_.reset();
    curve1_.reset();
    curve2_.reset();
    curve3_.reset();
}

void DiagramCurves::Clear()
{
    if (!freq_)
        return;
    std::fill_n(freq_.get(), kMaxPoints, 0.0f);
    std::fill_n(curve1_.get(), kMaxPoints, 0.0f);
    std::fill_n(curve2_.get(), kMaxPoints, 0.0f);
    ResetPeak();
}

void DiagramCurves::ResetPeak()
{
    if (curve3_)
        std::fill_n(curve3_.get(), kMaxPoints, kNoValue);
}

int DiagramCurves::StorePoint(const float *values, int index, float frequency,
                              const DiagramOptions &options)
{
    if (!freq_ || !values || index < 0 || index >= kMaxPoints)
        return 1;
    const float k1 = values[0];
    const float k2 = values[1];
    if (!std::isfinite(k1) || !std::isfinite(k2) || !std::isfinite(frequency))
        return 1;
    curve1_[index] = k1;
    curve2_[index] = k2;
    freq_[index] = frequency;

    double candidate = kNoValue;
    if (options.PeakK1)
        candidate = k1;
    if (options.PeakK2)
        candidate = k2;
    if (options.DifMode != DifNone) {
        switch (options.DifMode) {
        case DifK1MinusK2: candidate = static_cast<double>(k1) - k2; break;
        case DifK2MinusK1: candidate = static_cast<double>(k2) - k1; break;
        case DifK1PlusK2: candidate = static_cast<double>(k1) + k2; break;
        default: break; // an unknown mode leaves the candidate as it is
        }
        if (!std::isfinite(static_cast<float>(candidate)))
            return 1;
        curve3_[index] = static_cast<float>(candidate);
    }
    if ((options.PeakK1 || options.PeakK2) && candidate > curve3_[index])
        curve3_[index] = static_cast<float>(candidate);
    return 0;
}

std::string ExportSeparator(const std::string &separator)
{
    if (separator == "\\t")
        return "\t";
    if (separator == "\\n")
        return "\r\n";
    return separator;
}

int DiagramCurves::SaveAsText(const std::string &fileName, const std::string &separator,
                              const CurveExportRange &range, const std::vector<ExtraCurve> &extra) const
{
    if (!freq_)
        return kNoCurvesError;
    std::string text;
    const std::string sep = ExportSeparator(separator);
    const int count = std::clamp(range.PointCount, 0, kMaxPoints);
    std::string line;
    line.reserve(160);
    for (int i = 0; i < count; ++i) {
        const double f = freq_[i];
        if (f < range.XMin || f > range.XMax)
            continue;
        line = platform::FormatNumber(f, 'f', 2);
        auto add = [&](float v) {
            line += sep;
            line += platform::FormatNumber(v, 'f', 2);
        };
        if (range.Curve1)
            add(curve1_[i]);
        if (range.Curve2)
            add(curve2_[i]);
        if (range.Curve3)
            add(curve3_[i]);
        for (const ExtraCurve &c : extra) {
            double v = 0.0;
            line += sep;
            if (ExtraCurveValueAt(c, f, v))
                line += platform::FormatNumber(v, 'f', 2);
        }
        line += "\r\n";
        text += line;
    }
    return platform::WriteTextFile(fileName, text);
}

bool CurveIndexRange(const float *freq, int pointCount, std::int32_t xmin, std::int32_t xmax,
                     int &first, int &last)
{
    const int top = std::clamp(pointCount, 0, kMaxPoints - 1);
    first = -1;
    for (int i = 0; i <= top; ++i) {
        if (freq[i] > xmin) {
            first = i == 0 ? 0 : i - 1;
            break;
        }
    }
    last = top;
    while (last > 1 && freq[last] > xmax)
        --last;
    return first >= 0 && last >= first;
}

int BuildCurvePoints(const float *freq, const float *level, int first, int last,
                     const DiagramAxes &axes, const DiagramLayout &layout, bool rightAxis,
                     PixelPoint *out)
{
    const PixelRect &plot = layout.Plot;
    const double min = rightAxis ? axes.Y2Min : axes.YMin;
    const double pix = rightAxis ? layout.Y2PixPerUnit : layout.YPixPerUnit;
    const int outside = layout.CharHeight / 8;
    const int xHigh = std::max(plot.Left, plot.Right - 1);
    int count = 0;
    for (int i = first; i <= last; ++i) {
        const float f = freq[i];
        if (i > first && f == 0.0f)
            continue;
        const double xd = std::nearbyint(FreqToX(axes, layout, f));
        PixelPoint p;
        p.X = xd >= xHigh ? xHigh : (xd > plot.Left ? static_cast<int>(xd) : plot.Left);
        const double yd = LevelToY(level[i], min, pix, plot.Bottom);
        if (!(yd <= plot.Bottom)) // below the plot, or not a number
            p.Y = plot.Bottom + outside;
        else if (yd < plot.Top)
            p.Y = plot.Top - outside;
        else
            p.Y = static_cast<int>(yd);
        if (count > 0 && p == out[count - 1] && i != last)
            continue;
        out[count++] = p;
    }
    return count;
}

} // namespace display
