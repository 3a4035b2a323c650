// Drawing of the diagram (see diagramrenderer.h).
#include "display/diagramrenderer.h"

#include "widgets/textout.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace display {

namespace {

// Text with its top-left corner at x, y (the painter's baseline is below it).
void TextOutTop(QPainter &p, const QFontMetrics &fm, int x, int y, const QString &text)
{
    p.drawText(x, y + fm.ascent(), text);
}

int RoundToInt(double v)
{
    if (!(v > -1.0e9)) // also NaN
        return -1000000000;
    if (v > 1.0e9)
        return 1000000000;
    return static_cast<int>(std::nearbyint(v));
}

void DrawSunkenFrame(QPainter &p, const PixelRect &r)
{
    const int l = r.Left, t = r.Top, rt = r.Right, b = r.Bottom;
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(l - 2, t - 2, rt + 2, t - 2);
    p.drawLine(l - 2, t - 2, l - 2, b + 2);
    p.setPen(Qt::black);
    p.drawLine(l - 1, t - 1, rt + 1, t - 1);
    p.drawLine(l - 1, t - 1, l - 1, b + 1);
    p.setPen(Qt::white);
    p.drawLine(l - 2, b + 2, rt + 2, b + 2);
    p.drawLine(rt + 2, t - 2, rt + 2, b + 2);
    p.setPen(QColor(0xC0, 0xC0, 0xC0));
    p.drawLine(l - 1, b + 1, rt + 1, b + 1);
    p.drawLine(rt + 1, t - 1, rt + 1, b + 1);
}

QRect ToQRect(const PixelRect &r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

void DrawCurve(QPainter &p, const DiagramScene &s, const float *level, int first, int last,
               bool rightAxis, std::uint32_t colour, CurveScratch scratch)
{
    const int n = BuildCurvePoints(s.Curves.Freq(), level, first, last, s.Axes, s.Layout, rightAxis,
                                   scratch.Pixels);
    for (int i = 0; i < n; ++i)
        scratch.Points[i] = QPoint(scratch.Pixels[i].X, scratch.Pixels[i].Y);
    p.setPen(QPen(ColourFromBgr(colour), 0));
    if (n == 1)
        p.drawPoint(scratch.Points[0]);
    else if (n > 1)
        p.drawPolyline(scratch.Points, n);
}

// The extra curves inside the plot, each line broken where a value is
// missing, and their names in the plot's top right corner.
void DrawExtraCurves(QPainter &p, const DiagramScene &s, const QFontMetrics &fm, CurveScratch scratch)
{
    if (!s.Extra || s.Extra->empty())
        return;
    const DiagramAxes &ax = s.Axes;
    const DiagramLayout &L = s.Layout;
    const PixelRect &r = L.Plot;
    p.save();
    p.setClipRect(QRect(r.Left, r.Top, r.Width() + 1, r.Height() + 1));
    int legendY = r.Top + 2;
    for (const ExtraCurve &c : *s.Extra) {
        const double min = c.RightAxis ? ax.Y2Min : ax.YMin;
        const double pix = c.RightAxis ? L.Y2PixPerUnit : L.YPixPerUnit;
        p.setPen(QPen(ColourFromBgr(c.Colour), 0));
        int n = 0;
        const auto flush = [&] {
            if (n == 1)
                p.drawPoint(scratch.Points[0]);
            else if (n > 1)
                p.drawPolyline(scratch.Points, n);
            n = 0;
        };
        const std::size_t count = std::min(c.FrequencyHz.size(), c.Values.size());
        for (std::size_t i = 0; i < count; ++i) {
            const double f = c.FrequencyHz[i], v = c.Values[i];
            // a linear axis may hold levels at or below 0 (dBFS)
            if (!std::isfinite(v) || !std::isfinite(f) || (ax.LogX && !(f > 0.0)) || f < ax.XMin || f > ax.XMax) {
                flush();
                continue;
            }
            if (n == kMaxPoints) { // go on from the last point drawn
                const QPoint last = scratch.Points[n - 1];
                flush();
                scratch.Points[n++] = last;
            }
            scratch.Points[n++] = QPoint(RoundToInt(FreqToX(ax, L, f)), RoundToInt(LevelToY(v, min, pix, r.Bottom)));
        }
        flush();
        const QString name = QString::fromStdString(c.Name);
        TextOutTop(p, fm, r.Right - 4 - fm.horizontalAdvance(name), legendY, name);
        legendY += fm.height();
    }
    p.restore();
}

// Vertical runs of pixels in one colour inside the plot. On a 32-bit image
// with no transform (the screen bitmap, the copy, the printout's work
// bitmap) the pixels are written straight into the image, which costs a
// fraction of a painter call per column; elsewhere each run is a 1-pixel
// rectangle.
class ColumnSpans {
public:
    ColumnSpans(QPainter &p, const PixelRect &plot, QColor colour) : p_(p), plot_(plot), colour_(colour)
    {
        QPaintDevice *device = p.device();
        if (device && device->devType() == QInternal::Image && p.transform().isIdentity()) {
            auto *image = static_cast<QImage *>(device);
            const QImage::Format f = image->format();
            if (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
                f == QImage::Format_ARGB32_Premultiplied) {
                image_ = image;
                rgb_ = colour.rgb();
            }
        }
    }
    void Span(int x, int y0, int y1)
    {
        if (y0 > y1)
            std::swap(y0, y1);
        y0 = std::max(y0, plot_.Top);
        y1 = std::min(y1, plot_.Bottom);
        if (x < plot_.Left || x > plot_.Right || y0 > y1)
            return;
        if (image_ && x < image_->width() && y1 < image_->height() && y0 >= 0) {
            const qsizetype stride = image_->bytesPerLine();
            uchar *row = image_->bits() + y0 * stride;
            for (int y = y0; y <= y1; ++y, row += stride)
                reinterpret_cast<QRgb *>(row)[x] = rgb_;
            return;
        }
        p_.fillRect(QRect(x, y0, 1, y1 - y0 + 1), colour_);
    }

private:
    QPainter &p_;
    PixelRect plot_;
    QColor colour_;
    QImage *image_ = nullptr;
    QRgb rgb_ = 0;
};

// One curve reduced to the plot's pixel columns: per column one vertical
// run over its smallest to its largest value, reaching back to the last
// value of the column before it, so the line looks as if drawn point by
// point at a cost that follows the width. Between columns further apart
// (a sparse curve's points on a log axis) a line joins them.
void DrawDecimatedCurve(QPainter &p, const DiagramScene &s, const ShownCurve &c, CurveScratch scratch)
{
    const DiagramAxes &ax = s.Axes;
    const DiagramLayout &L = s.Layout;
    const PixelRect &r = L.Plot;
    const int columns = PlotColumns(L, scratch.ColumnCount);
    const dsp::ColumnRange *ranges = c.Columns;
    if (ranges) {
        if (c.ColumnCount != columns)
            return; // reduced for another layout
    } else {
        if (columns <= 0 || !c.X || !c.Y || c.Count == 0 || !scratch.Columns)
            return;
        dsp::DecimationAxis axis;
        axis.XMin = ax.XMin;
        axis.XMax = ax.XMax;
        axis.Log = ax.LogX;
        axis.Columns = columns;
        if (!dsp::DecimateToColumns(c.X, c.Y, c.Count, axis, scratch.Columns))
            return;
        ranges = scratch.Columns;
    }
    const double min = c.RightAxis ? ax.Y2Min : ax.YMin;
    const double pix = c.RightAxis ? L.Y2PixPerUnit : L.YPixPerUnit;
    // Far outside the plot a level is kept just beyond it, so a run or a
    // joining line still reaches the edge without huge coordinates.
    const auto y = [&](double v) {
        return std::clamp(RoundToInt(LevelToY(v, min, pix, r.Bottom)), r.Top - 2, r.Bottom + 2);
    };
    const QColor colour = ColourFromBgr(c.Colour);
    p.setPen(QPen(colour, 0));
    ColumnSpans spans(p, r, colour);
    int previous = -1, previousY = 0;
    for (int k = 0; k < columns; ++k) {
        const dsp::ColumnRange &col = ranges[k];
        if (col.Count == 0)
            continue;
        const int x = r.Left + k;
        int top = y(col.Max), bottom = y(col.Min);
        const int first = y(col.First);
        if (previous >= 0 && !col.BreakBefore) {
            if (previous == k - 1) {
                top = std::min(top, previousY);
                bottom = std::max(bottom, previousY);
            } else {
                p.drawLine(r.Left + previous, previousY, x, first);
            }
        }
        spans.Span(x, top, bottom);
        previous = k;
        previousY = y(col.Last);
    }
}

// The overlays' curves inside the plot, their legend in the plot's top left
// corner (a short line in the overlay's colour and its name) and the
// information line above the plot's bottom edge.
void DrawOverlayCurves(QPainter &p, const DiagramScene &s, CurveScratch scratch)
{
    const OverlayScene *o = s.Overlays;
    if (!o || o->Curves.empty())
        return;
    const PixelRect &r = s.Layout.Plot;
    p.save();
    p.setClipRect(QRect(r.Left, r.Top, r.Width() + 1, r.Height() + 1));
    for (const ShownCurve &c : o->Curves)
        DrawDecimatedCurve(p, s, c, scratch);
    p.restore();
}

void DrawOverlayLegend(QPainter &p, const DiagramScene &s, const QFontMetrics &fm)
{
    const OverlayScene *o = s.Overlays;
    if (!o)
        return;
    const PixelRect &r = s.Layout.Plot;
    p.save();
    p.setClipRect(QRect(r.Left, r.Top, r.Width() + 1, r.Height() + 1));
    const int sample = std::max(8, fm.horizontalAdvance(QStringLiteral("MM")));
    int y = r.Top + 2;
    for (const OverlayScene::LegendEntry &e : o->Legend) {
        const QColor colour = ColourFromBgr(e.Colour);
        const int mid = y + fm.height() / 2;
        p.fillRect(QRect(r.Left + 4, mid - 1, sample, 3), colour);
        p.setPen(colour);
        TextOutTop(p, fm, r.Left + 8 + sample, y, e.Text);
        y += fm.height();
    }
    if (!o->InfoLine.isEmpty()) {
        p.setPen(ColourFromBgr(o->InfoColour));
        TextOutTop(p, fm, r.Left + 4, r.Bottom - fm.height() - 2, o->InfoLine);
    }
    p.restore();
}

void DrawCursorOverlay(QPainter &p, const DiagramScene &s, const QFontMetrics &fm)
{
    const DiagramCursor &c = s.Cursor;
    const PixelRect &r = s.Layout.Plot;
    const QString *text = nullptr;
    int dy = 1;
    p.setPen(ColourFromBgr(s.Options.ColCursor));
    switch (c.CursorMode) {
    case 1:
        p.drawLine(c.x2, r.Top, c.x2, r.Bottom);
        text = &c.FreqText;
        break;
    case 2:
        p.drawLine(r.Left, c.y1, r.Right, c.y1);
        p.drawLine(r.Left, c.y2, r.Right, c.y2);
        text = &c.LevelText;
        dy = 2;
        break;
    case 3:
        p.drawLine(c.x1, c.y1, c.x2, c.y2);
        text = &c.FreqText;
        break;
    case 4: text = &c.ClickText; break;
    default: return;
    }
    TextOutTop(p, fm, c.AnchorX - 2 - fm.horizontalAdvance(*text), c.AnchorY + dy, *text);
}

} // namespace

int DiagramFontPixelSize(int pointSize) { return std::max(1, (pointSize * 96 + 36) / 72); }

QFont MakeDiagramFont(int pointSize)
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(DiagramFontPixelSize(pointSize));
    return f;
}

QFont MakeProgramNameFont(int pointSize)
{
    QFont f = MakeDiagramFont(pointSize);
    f.setPixelSize(std::max(1, (pointSize * 3 * 96 + 72) / (2 * 72)));
    f.setBold(true);
    f.setItalic(true);
    return f;
}

void DrawDiagramScene(QPainter &p, const DiagramScene &s, bool forOutput, CurveScratch scratch)
{
    const DiagramAxes &ax = s.Axes;
    const DiagramLayout &L = s.Layout;
    const DiagramOptions &o = s.Options;
    const PixelRect &r = L.Plot;
    if (r.Height() < 0)
        return;

    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(s.Font);
    const QFontMetrics fm(s.Font);
    const QColor gridColour = ColourFromBgr(o.ColGrid);
    const QColor textColour = ColourFromBgr(o.ColText);

    // 1. plot and margins
    p.fillRect(ToQRect(r), ColourFromBgr(o.ColDiagram));
    const QColor margin = ColourFromBgr(o.ColMargin);
    p.fillRect(ToQRect(L.TopMargin), margin);
    p.fillRect(ToQRect(L.BottomMargin), margin);
    p.fillRect(ToQRect(L.LeftMargin), margin);
    p.fillRect(ToQRect(L.RightMargin), margin);
    p.setBackgroundMode(Qt::TransparentMode);

    // 2. sunken frame
    DrawSunkenFrame(p, r);

    const double yRange = static_cast<double>(ax.YMax) - ax.YMin;
    const int divisions =
        L.YLabelStep > 0.0 ? std::min(RoundToInt(std::fabs(yRange) / L.YLabelStep), 10000) : 0;

    // 3. left axis
    if (ax.PointCount > 0 && ax.YMax != ax.YMin && ax.LeftAxisShown) {
        p.setPen(ColourFromBgr(o.ColLine1));
        if (!s.YCaption.isEmpty())
            platform::TextOutRotated(p, 0, L.Height / 2, 90.0, s.YCaption);
        for (int k = 0; k <= divisions; ++k) {
            const double value = k == 0 ? ax.YMin : ax.YMin + k * L.YLabelStep;
            const int y = std::abs(RoundToInt((value - ax.YMin) * L.YPixPerUnit) - r.Bottom);
            if (y < r.Top)
                continue;
            const QString label = QString::fromStdString(FormatLabel(value, 3, L.YDecimals));
            p.setPen(ColourFromBgr(o.ColLine1));
            TextOutTop(p, fm, r.Left - L.CharWidth / 2 - fm.horizontalAdvance(label), y - L.CharHeight / 2, label);
            p.setPen(gridColour);
            p.drawLine(r.Left, y, r.Right, y);
        }
    }

    // 4. right axis
    if (ax.PointCount > 0 && ax.Y2Max != ax.Y2Min && ax.RightAxisShown) {
        p.setPen(ColourFromBgr(o.ColLine2));
        if (!s.Y2Caption.isEmpty()) {
            const int x = L.Width - RoundToInt(1.5 * fm.height());
            platform::TextOutRotated(p, x, L.Height / 2, 90.0, s.Y2Caption);
        }
        for (int k = 0; k <= divisions; ++k) {
            const double value = ax.Y2Min + k * L.Y2LabelStep;
            const int y = std::abs(RoundToInt((value - ax.Y2Min) * L.Y2PixPerUnit) - r.Bottom);
            if (y < r.Top)
                continue;
            const QString label = QString::fromStdString(FormatLabel(value, 5, 1));
            p.setPen(ColourFromBgr(o.ColLine2));
            TextOutTop(p, fm, r.Right + L.CharWidth / 2, y - L.CharHeight / 2, label);
            if (!ax.LeftAxisShown) {
                p.setPen(gridColour);
                p.drawLine(r.Left, y, r.Right, y);
            }
        }
    }

    // 5. frequency caption
    p.setPen(textColour);
    if (!s.XCaption.isEmpty()) {
        const int w = fm.horizontalAdvance(s.XCaption);
        TextOutTop(p, fm, (L.Width - w) / 2, r.Bottom + RoundToInt(1.5 * fm.height()), s.XCaption);
    }

    // 6. vertical grid and frequency labels
    auto gridLine = [&](int x, const QString &label) {
        p.setPen(gridColour);
        p.drawLine(x, r.Top, x, r.Bottom + (label.isEmpty() ? 0 : L.CharHeight / 3));
        if (!label.isEmpty()) {
            p.setPen(textColour);
            TextOutTop(p, fm, x - fm.horizontalAdvance(label) / 2, r.Bottom + L.CharHeight / 2, label);
        }
    };
    if (!ax.LogX) {
        std::int32_t values[512];
        const int n = LinearGridValues(ax.XMin, ax.XMax, L.XLabelStep, values, 512);
        for (int i = 0; i < n; ++i)
            gridLine(RoundToInt(FreqToX(ax, L, values[i])),
                     QString::fromStdString(LinearFrequencyLabel(values[i])));
    } else {
        // Every grid line, then the labels that find room.
        struct Mark {
            int X;
            std::int32_t Value;
            QString Label;
        };
        std::vector<Mark> marks;
        marks.reserve(kLogGridCount + 64);
        for (int i = L.FirstLogIndex; i < kLogGridCount && LogGridFrequency(i) <= ax.XMax; ++i) {
            const int x = RoundToInt(FreqToX(ax, L, LogGridFrequency(i)));
            if (x >= r.Left)
                marks.push_back({x, LogGridFrequency(i), QString::fromLatin1(LogGridLabel(i))});
        }
        std::int32_t above[64];
        const int n = LogGridAbove(ax.XMin, ax.XMax, above, 64);
        for (int i = 0; i < n; ++i)
            marks.push_back({RoundToInt(FreqToX(ax, L, above[i])), above[i],
                             QString::fromStdString(LogGridAboveLabel(above[i]))});
        std::vector<std::int32_t> values;
        std::vector<int> centres, widths;
        for (const Mark &m : marks) {
            gridLine(m.X, QString());
            values.push_back(m.Value);
            centres.push_back(m.X);
            widths.push_back(m.Label.isEmpty() ? 0 : fm.horizontalAdvance(m.Label));
        }
        const std::vector<bool> drawn =
            FittingLogLabels(values, centres, widths, fm.horizontalAdvance(QLatin1Char(' ')));
        for (std::size_t i = 0; i < marks.size(); ++i)
            if (drawn[i])
                gridLine(marks[i].X, marks[i].Label);
    }

    // 7. right edge of the plot
    p.setPen(gridColour);
    p.drawLine(r.Right, r.Top, r.Right, r.Bottom);

    // 8. curves: the overlays first, the live curves over them
    if (ax.PointCount > 0)
        DrawOverlayCurves(p, s, scratch);
    const bool referenceMode = s.Overlays && s.Overlays->ReferenceMode;
    int first = 0, last = 0;
    if (!referenceMode && s.Curves.IsAllocated() && ax.PointCount > 0 &&
        CurveIndexRange(s.Curves.Freq(), ax.PointCount, ax.XMin, ax.XMax, first, last)) {
        if (o.ShowK1)
            DrawCurve(p, s, s.Curves.Curve1(), first, last, false, o.ColLine1, scratch);
        if (o.ShowK2)
            DrawCurve(p, s, s.Curves.Curve2(), first, last, true, o.ColLine2, scratch);
        if (o.ThirdCurveShown())
            DrawCurve(p, s, s.Curves.Curve3(), first, last, o.ThirdCurveOnRightAxis(), o.ColLine3, scratch);
    }
    if (ax.PointCount > 0 && !referenceMode)
        DrawExtraCurves(p, s, fm, scratch);
    if (ax.PointCount > 0)
        DrawOverlayLegend(p, s, fm);

    // 9./10. mouse readout on screen, title and status in a copy
    if (!forOutput) {
        DrawCursorOverlay(p, s, fm);
    } else {
        p.setPen(textColour);
        TextOutTop(p, fm, r.Left, (r.Top - L.CharHeight) / 2, s.Title);
        TextOutTop(p, fm, r.Left, r.Bottom + RoundToInt(2.5 * L.CharHeight), s.Status);
    }

    // 11. program name
    p.setFont(s.NameFont);
    const QFontMetrics nameMetrics(s.NameFont);
    const QString name = QString::fromLatin1(kProgramName);
    p.setPen(ColourFromBgr(kProgramNameColour));
    TextOutTop(p, nameMetrics, L.Width - 4 - nameMetrics.horizontalAdvance(name),
               r.Top - RoundToInt(3.5 * L.FontSize), name);
    p.restore();
}

} // namespace display
