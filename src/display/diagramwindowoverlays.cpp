// The diagram window's overlays: stored results and a limits file drawn
// beside the live curves, the reference mode that shows every curve minus
// the reference, and the name of the curve under the mouse (see
// diagramwindow.h).
#include "display/diagramwindow.h"
#include "display/overlaylistdialog.h"

#include <algorithm>
#include <cmath>

using namespace display;

namespace {

constexpr std::uint32_t kCrossedColour = 0x0000D0; // red
constexpr std::uint32_t kWithinColour = 0x008000;  // green
// How far (pixels) from a curve the mouse may be for the readout to name it.
constexpr int kNameDistance = 6;

QString Tr(char language, const char *german, const char *english)
{
    return QString::fromUtf8(language == 'E' ? english : german);
}

} // namespace

bool TDiagramm::AddOverlay(Overlay overlay)
{
    ++overlayGeneration_;
    if (!overlays_.Add(std::move(overlay)))
        return false;
    emit overlaysChanged();
    update();
    return true;
}

void TDiagramm::RemoveOverlay(int index)
{
    ++overlayGeneration_;
    overlays_.Remove(index);
    emit overlaysChanged();
    update();
}

void TDiagramm::SetOverlayVisible(int index, bool visible)
{
    ++overlayGeneration_;
    overlays_.SetVisible(index, visible);
    emit overlaysChanged();
    update();
}

bool TDiagramm::SetReference(int index)
{
    ++overlayGeneration_;
    if (!overlays_.SetReference(index))
        return false;
    emit overlaysChanged();
    update();
    return true;
}

TOverlayList *TDiagramm::OverlayList()
{
    if (!overlayList_) {
        overlayList_ = new TOverlayList(*this, this);
        overlayList_->SetLanguage(language_);
    }
    return overlayList_;
}

void TDiagramm::ShowOverlayList()
{
    TOverlayList *list = OverlayList();
    list->show();
    list->raise();
    list->activateWindow();
}

bool TDiagramm::SecondCurveIsPhase() const
{
    // The sweeps draw their phase as the second curve against the right
    // axis, which they caption so; the analyser's second curve is a level.
    return axes_.RightAxisShown && y2Caption_.startsWith(QStringLiteral("Phase"));
}

QString TDiagramm::LiveCurveName(int curve) const
{
    return QString(language_ == 'E' ? QStringLiteral("L") : QStringLiteral("K")) + QString::number(curve);
}

void TDiagramm::ComputeLiveDifferences(std::vector<ExtraCurve> &out) const
{
    out.resize(0);
    if (overlays_.Reference() < 0 || !curves_.IsAllocated())
        return;
    const int count = std::clamp(axes_.PointCount, 0, kMaxPoints);
    const float *freq = curves_.Freq();
    const bool phase2 = SecondCurveIsPhase();
    const QString minusRef = Tr(language_, " - Referenz", " - reference");
    std::vector<measure::DifferencePoint> points(static_cast<std::size_t>(count));
    const auto add = [&](const float *level, const float *phase, std::size_t refCurve, const QString &name,
                         std::uint32_t colour, bool right, bool takePhase) {
        const measure::ReferenceCurve &ref = overlays_.ReferenceAt(refCurve);
        if (ref.Empty() || (takePhase && !ref.HasPhase()))
            return;
        measure::DifferenceToReference(ref, freq, level, phase, static_cast<std::size_t>(count), points.data());
        ExtraCurve c;
        c.Name = name.toStdString();
        c.Colour = colour;
        c.RightAxis = right;
        c.FrequencyHz.reserve(points.size());
        c.Values.reserve(points.size());
        for (const measure::DifferencePoint &p : points) {
            if (p.X <= 0.0)
                continue;
            c.FrequencyHz.push_back(p.X);
            c.Values.push_back(takePhase ? p.PhaseDifference : p.LevelDifference);
        }
        out.push_back(std::move(c));
    };
    if (options_.ShowK1)
        add(curves_.Curve1(), phase2 ? curves_.Curve2() : nullptr, 0, LiveCurveName(1) + minusRef,
            options_.ColLine1, false, false);
    if (options_.ShowK2) {
        if (phase2)
            add(curves_.Curve1(), curves_.Curve2(), 0,
                Tr(language_, "Phase K1 - Referenz", "phase L1 - reference"), options_.ColLine2, true, true);
        else
            add(curves_.Curve2(), nullptr, 1, LiveCurveName(2) + minusRef, options_.ColLine2, true, false);
    }
}

void TDiagramm::BuildOverlayScene()
{
    OverlayScene &scene = overlayScene_;
    scene.Curves.clear();
    scene.Legend.clear();
    scene.InfoLine.clear();
    const int reference = overlays_.Reference();
    scene.ReferenceMode = reference >= 0;
    const int count = std::clamp(axes_.PointCount, 0, kMaxPoints);

    // Overlay minus reference for every visible overlay but the reference;
    // the buffers keep their memory from one drawing to the next.
    overlayDifferences_.resize(static_cast<std::size_t>(overlays_.Count()));
    std::vector<measure::DifferencePoint> points;
    std::size_t cacheSlot = 0;
    for (int i = 0; i < overlays_.Count(); ++i) {
        const Overlay &o = overlays_.At(i);
        if (!o.Visible)
            continue;
        QString legend = QString::fromStdString(o.Name);
        if (i == reference)
            legend += Tr(language_, " (Referenz)", " (reference)");
        scene.Legend.push_back({legend, o.Colour});
        if (i == reference)
            continue;
        for (std::size_t k = 0; k < o.Curves.size(); ++k) {
            const OverlayCurve &c = o.Curves[k];
            ShownCurve shown;
            shown.Name = o.Name + (o.Curves.size() > 1 ? " " + c.Name : std::string());
            shown.Colour = o.Colour;
            if (!scene.ReferenceMode || o.IsLimits) {
                shown.X = c.X.data();
                shown.Y = c.Y.data();
                shown.Count = std::min(c.X.size(), c.Y.size());
                if (const ColumnCache *cache = CachedColumns(cacheSlot++, shown.X, shown.Y, shown.Count)) {
                    shown.Columns = cache->Columns.data();
                    shown.ColumnCount = cache->Axis.Columns;
                }
                scene.Curves.push_back(shown);
                continue;
            }
            if (k > 0)
                continue; // one difference per overlay: its first curve
            const measure::ReferenceCurve &ref = overlays_.ReferenceFor(c.Name);
            points.resize(c.X.size());
            measure::DifferenceToReference(ref, c.X.data(), c.Y.data(), nullptr, c.X.size(), points.data());
            OverlayDifference &d = overlayDifferences_[static_cast<std::size_t>(i)];
            d.X.resize(points.size());
            d.Y.resize(points.size());
            for (std::size_t n = 0; n < points.size(); ++n) {
                d.X[n] = points[n].X;
                d.Y[n] = points[n].LevelDifference;
            }
            shown.Name += Tr(language_, " - Referenz", " - reference").toStdString();
            shown.X = d.X.data();
            shown.Y = d.Y.data();
            shown.Count = d.X.size();
            scene.Curves.push_back(shown);
        }
    }
    if (scene.ReferenceMode) {
        ComputeLiveDifferences(liveDifferences_);
        for (const ExtraCurve &c : liveDifferences_) {
            ShownCurve shown;
            shown.Name = c.Name;
            shown.Colour = c.Colour;
            shown.RightAxis = c.RightAxis;
            shown.X = c.FrequencyHz.data();
            shown.Y = c.Values.data();
            shown.Count = c.FrequencyHz.size();
            scene.Curves.push_back(shown);
        }
        scene.InfoLine = Tr(language_, "Differenz zur Referenz ", "Difference to the reference ") +
                         QString::fromStdString(overlays_.At(reference).Name);
        scene.InfoColour = options_.ColText;
    }

    // The limits' verdict on the live level curves.
    limitCrossings_ = 0;
    const int limits = overlays_.LimitsIndex();
    const float *freq = curves_.IsAllocated() ? curves_.Freq() : nullptr;
    const bool live = freq && std::any_of(freq, freq + count, [](float f) { return f > 0.0f; });
    if (limits >= 0 && live) {
        const Overlay &l = overlays_.At(limits);
        if (options_.ShowK1)
            limitCrossings_ += CountLimitCrossings(l, freq, curves_.Curve1(), count);
        if (options_.ShowK2 && !SecondCurveIsPhase())
            limitCrossings_ += CountLimitCrossings(l, freq, curves_.Curve2(), count);
        if (!scene.ReferenceMode) {
            scene.InfoLine = limitCrossings_ > 0
                                 ? Tr(language_, "Grenzwerte verletzt an %1 Punkten", "Limits crossed at %1 points")
                                       .arg(limitCrossings_)
                                 : Tr(language_, "Grenzwerte eingehalten", "Within the limits");
            scene.InfoColour = limitCrossings_ > 0 ? kCrossedColour : kWithinColour;
        }
    }
}

const TDiagramm::ColumnCache *TDiagramm::CachedColumns(std::size_t slot, const double *x, const double *y,
                                                       std::size_t count)
{
    dsp::DecimationAxis axis;
    axis.XMin = axes_.XMin;
    axis.XMax = axes_.XMax;
    axis.Log = axes_.LogX;
    axis.Columns = PlotColumns(layout_, kMaxPoints / 4);
    if (axis.Columns <= 0)
        return nullptr;
    if (columnCache_.size() <= slot)
        columnCache_.resize(slot + 1);
    ColumnCache &c = columnCache_[slot];
    if (c.X == x && c.Count == count && c.Generation == overlayGeneration_ && c.Axis.XMin == axis.XMin &&
        c.Axis.XMax == axis.XMax && c.Axis.Log == axis.Log && c.Axis.Columns == axis.Columns)
        return &c;
    c.X = x;
    c.Count = count;
    c.Axis = axis;
    c.Generation = overlayGeneration_;
    c.Columns.resize(static_cast<std::size_t>(axis.Columns));
    if (!dsp::DecimateToColumns(x, y, count, axis, c.Columns.data())) {
        c.Generation = ~std::uint64_t(0); // nothing to draw; try again next time
        return nullptr;
    }
    return &c;
}

QString TDiagramm::CurveNameAt(int X, int Y) const
{
    const PixelRect &r = layout_.Plot;
    if (X < r.Left || X > r.Right || layout_.YPixPerUnit == 0.0)
        return QString();
    const double f = XToFreq(axes_, layout_, X);
    QString best;
    double bestDistance = kNameDistance + 1;
    const auto consider = [&](double value, bool right, const QString &name) {
        if (!std::isfinite(value))
            return;
        const double min = right ? axes_.Y2Min : axes_.YMin;
        const double pix = right ? layout_.Y2PixPerUnit : layout_.YPixPerUnit;
        const double d = std::abs(LevelToY(value, min, pix, r.Bottom) - Y);
        if (d < bestDistance) {
            bestDistance = d;
            best = name;
        }
    };
    // The value of a curve with rising x at f: its nearest point in x.
    const auto valueAt = [f](const double *x, const double *y, std::size_t n) {
        if (n == 0)
            return std::nan("");
        const double *it = std::lower_bound(x, x + n, f);
        std::size_t k = static_cast<std::size_t>(it - x);
        if (k == n || (k > 0 && std::abs(std::log(x[k - 1] / f)) < std::abs(std::log(x[k] / f))))
            k = k == 0 ? 0 : k - 1;
        return y[k];
    };
    for (const ShownCurve &c : overlayScene_.Curves)
        consider(valueAt(c.X, c.Y, c.Count), c.RightAxis, QString::fromStdString(c.Name));
    if (!overlayScene_.ReferenceMode && curves_.IsAllocated()) {
        const int count = std::clamp(axes_.PointCount, 0, kMaxPoints);
        const float *freq = curves_.Freq();
        int nearest = -1;
        for (int i = 0; i < count; ++i)
            if (freq[i] > 0.0f && (nearest < 0 || std::abs(std::log(freq[i] / f)) <
                                                      std::abs(std::log(freq[nearest] / f))))
                nearest = i;
        if (nearest >= 0) {
            if (options_.ShowK1)
                consider(curves_.Curve1()[nearest], false, LiveCurveName(1));
            if (options_.ShowK2)
                consider(curves_.Curve2()[nearest], true, LiveCurveName(2));
        }
    }
    return best;
}
