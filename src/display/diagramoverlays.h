// Stored results shown in the diagram beside the live curves: up to
// kMaxOverlays overlays, each with its colour, name and visibility, one of
// which may be the reference the diagram then subtracts; and a limits file
// shown as its upper and lower lines. The axes stay those of the live
// measurement: an overlay is drawn where it falls on them.
//
// An overlay keeps the level curves of a result document (quantity "level"
// over a frequency axis; when a result has none, every curve over
// frequency), each with its phase where the document has one. Drawing
// reduces each curve to the plot's pixel columns (dsp/curvedecimation.h),
// so eight overlays of thousands of points cost about as much as the width.
//
// Plain C++ and Qt Core; UI thread only.
#pragma once

#include "measurement/document/curvecomparison.h"
#include "measurement/document/measurementdocument.h"
#include "measurement/limits.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>


namespace display {

constexpr int kMaxOverlays = 8;

struct OverlayCurve {
    std::string Name;     // the document's curve name ("left", "level", ...)
    std::string YUnit;
    std::vector<double> X, Y, Phase; // Phase empty when the curve has none
};

struct Overlay {
    std::string Name;     // the document's title, else its file name
    std::string File;     // the file it came from ("" for none)
    std::string Kind;     // the kind's name in files; "limits" for a limits file
    std::uint32_t Colour = 0; // 0x00BBGGRR
    bool Visible = true;
    bool IsLimits = false;    // curves "upper" and "lower" of a limits file
    std::vector<OverlayCurve> Curves;
    std::shared_ptr<const measure::Limits> LimitsFile; // for IsLimits
};

// Colour of the n-th overlay added (0x00BBGGRR): distinct from each other
// and from the live curves' default colours.
std::uint32_t OverlayColour(int n);

// The overlay of a document: false when it has no curve over frequency.
bool OverlayFromDocument(const measure::MeasurementDocument &document, const std::string &fileName,
                         Overlay &overlay);
// The limit curve of a limits file as lines "upper" and "lower" (each
// broken where a row has no bound): false when the file has no curve rows.
bool OverlayFromLimits(const measure::Limits &limits, const std::string &fileName, Overlay &overlay);

// The overlays of the diagram: at most kMaxOverlays, at most one of them the
// reference and at most one a limits overlay (a new one replaces it).
class OverlaySet {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    bool Full() const { return Count() >= kMaxOverlays; }
    const Overlay &At(int i) const { return items_[static_cast<std::size_t>(i)]; }
    const std::vector<Overlay> &Items() const { return items_; }

    // Appends (or, for limits, replaces the limits overlay); a colour of 0
    // is chosen from OverlayColour. False when the set is full.
    bool Add(Overlay overlay);
    void Remove(int i);
    void Clear();
    void SetVisible(int i, bool visible);

    // -1 for none. A limits overlay cannot be the reference.
    int Reference() const { return reference_; }
    bool SetReference(int i);
    // The reference's first curve (and the curve of the same name as
    // `name`, when it has one) prepared for interpolation; empty without
    // reference.
    const measure::ReferenceCurve &ReferenceFor(const std::string &name) const;
    // The reference's k-th curve, or its first when it has fewer.
    const measure::ReferenceCurve &ReferenceAt(std::size_t k) const;
    // The reference's curve names, in order.
    const std::vector<std::string> &ReferenceNames() const { return referenceNames_; }
    // The limits overlay, or -1.
    int LimitsIndex() const;

private:
    void PrepareReference();

    std::vector<Overlay> items_;
    int reference_ = -1;
    int colourCounter_ = 0;
    std::vector<std::string> referenceNames_;
    std::vector<measure::ReferenceCurve> referenceCurves_;
    measure::ReferenceCurve none_;
};

// Points of a live curve that lie outside the limits overlay's bounds (in
// the limits' frequency span, where a bound exists there): the count.
// Points with frequency 0 or a level that is no number are skipped.
int CountLimitCrossings(const Overlay &limits, const float *frequency, const float *level, int count);

} // namespace display
