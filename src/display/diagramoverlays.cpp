// Overlays of the diagram (see diagramoverlays.h).
#include "display/diagramoverlays.h"

#include <algorithm>
#include <cmath>

namespace display {

namespace {

bool IsFrequencyUnit(const std::string &unit) { return unit == "Hz"; }

std::string BaseName(const std::string &fileName)
{
    const std::size_t slash = fileName.find_last_of('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

} // namespace

std::uint32_t OverlayColour(int n)
{
    // Saturated colours that stand apart from the live curves' defaults
    // (red, blue, green) and from each other on the light and the dark
    // diagram background.
    static const std::uint32_t kColours[kMaxOverlays] = {
        0x0080FF, // orange
        0xC000C0, // magenta
        0xA0A000, // teal
        0x0000A0, // dark red
        0x808000, // blue grey
        0x00A0A0, // olive
        0xFF8080, // light blue
        0x404040, // dark grey
    };
    return kColours[static_cast<unsigned>(n) % kMaxOverlays];
}

bool OverlayFromDocument(const measure::MeasurementDocument &document, const std::string &fileName,
                         Overlay &overlay)
{
    Overlay o;
    o.File = fileName;
    o.Name = document.Title.empty() ? BaseName(fileName) : document.Title;
    o.Kind = measure::KindName(document.Kind);
    bool haveLevel = false;
    for (const measure::CurveDefinition &c : document.Curves)
        haveLevel = haveLevel || (c.Quantity == "level" && IsFrequencyUnit(c.XUnit));
    for (const measure::CurveDefinition &c : document.Curves) {
        if (!IsFrequencyUnit(c.XUnit) || (haveLevel && c.Quantity != "level"))
            continue;
        measure::CurvePoints points = measure::PointsOf(document, c);
        if (points.X.empty())
            continue;
        OverlayCurve curve;
        curve.Name = c.Name;
        curve.YUnit = c.YUnit;
        curve.X = std::move(points.X);
        curve.Y = std::move(points.Y);
        curve.Phase = std::move(points.Phase);
        o.Curves.push_back(std::move(curve));
    }
    if (o.Curves.empty())
        return false;
    overlay = std::move(o);
    return true;
}

bool OverlayFromLimits(const measure::Limits &limits, const std::string &fileName, Overlay &overlay)
{
    if (limits.Rows().empty())
        return false;
    Overlay o;
    o.File = fileName;
    o.Name = BaseName(fileName);
    o.Kind = "limits";
    o.IsLimits = true;
    OverlayCurve upper, lower;
    upper.Name = "upper";
    lower.Name = "lower";
    upper.YUnit = lower.YUnit = "dB";
    const double none = std::nan("");
    for (const measure::LimitRow &row : limits.Rows()) {
        upper.X.push_back(row.FrequencyHz);
        upper.Y.push_back(row.Upper ? *row.Upper : none);
        lower.X.push_back(row.FrequencyHz);
        lower.Y.push_back(row.Lower ? *row.Lower : none);
    }
    o.Curves.push_back(std::move(upper));
    o.Curves.push_back(std::move(lower));
    o.LimitsFile = std::make_shared<measure::Limits>(limits);
    overlay = std::move(o);
    return true;
}

bool OverlaySet::Add(Overlay overlay)
{
    if (overlay.IsLimits) {
        const int old = LimitsIndex();
        if (old >= 0) {
            overlay.Colour = overlay.Colour ? overlay.Colour : items_[static_cast<std::size_t>(old)].Colour;
            items_[static_cast<std::size_t>(old)] = std::move(overlay);
            return true;
        }
    }
    if (Full())
        return false;
    if (overlay.Colour == 0) {
        // The first colour no overlay shown now has, so a removed overlay's
        // colour comes back rather than two overlays sharing one.
        for (int k = 0; k < kMaxOverlays; ++k) {
            const std::uint32_t c = OverlayColour(colourCounter_ + k);
            if (std::none_of(items_.begin(), items_.end(), [c](const Overlay &o) { return o.Colour == c; })) {
                overlay.Colour = c;
                colourCounter_ += k + 1;
                break;
            }
        }
    }
    items_.push_back(std::move(overlay));
    return true;
}

void OverlaySet::Remove(int i)
{
    if (i < 0 || i >= Count())
        return;
    items_.erase(items_.begin() + i);
    if (reference_ == i)
        SetReference(-1);
    else if (reference_ > i)
        --reference_;
}

void OverlaySet::Clear()
{
    items_.clear();
    SetReference(-1);
}

void OverlaySet::SetVisible(int i, bool visible)
{
    if (i >= 0 && i < Count())
        items_[static_cast<std::size_t>(i)].Visible = visible;
}

bool OverlaySet::SetReference(int i)
{
    if (i >= Count() || (i >= 0 && items_[static_cast<std::size_t>(i)].IsLimits))
        return false;
    reference_ = i < 0 ? -1 : i;
    PrepareReference();
    return true;
}

void OverlaySet::PrepareReference()
{
    referenceNames_.clear();
    referenceCurves_.clear();
    if (reference_ < 0)
        return;
    for (const OverlayCurve &c : items_[static_cast<std::size_t>(reference_)].Curves) {
        referenceNames_.push_back(c.Name);
        referenceCurves_.emplace_back(c.X.data(), c.Y.data(), c.Phase.empty() ? nullptr : c.Phase.data(),
                                      c.X.size(), true);
    }
}

const measure::ReferenceCurve &OverlaySet::ReferenceFor(const std::string &name) const
{
    if (referenceCurves_.empty())
        return none_;
    for (std::size_t k = 0; k < referenceNames_.size(); ++k)
        if (referenceNames_[k] == name)
            return referenceCurves_[k];
    return referenceCurves_.front();
}

const measure::ReferenceCurve &OverlaySet::ReferenceAt(std::size_t k) const
{
    if (referenceCurves_.empty())
        return none_;
    return k < referenceCurves_.size() ? referenceCurves_[k] : referenceCurves_.front();
}

int OverlaySet::LimitsIndex() const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<std::size_t>(i)].IsLimits)
            return i;
    return -1;
}

int CountLimitCrossings(const Overlay &limits, const float *frequency, const float *level, int count)
{
    if (!limits.LimitsFile || !frequency || !level)
        return 0;
    int crossings = 0;
    for (int i = 0; i < count; ++i) {
        const double f = frequency[i], v = level[i];
        if (f > 0.0 && std::isfinite(v) && !limits.LimitsFile->CurvePasses(f, v))
            ++crossings;
    }
    return crossings;
}

} // namespace display
