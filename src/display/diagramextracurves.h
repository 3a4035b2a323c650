// Curves a measurement adds to the diagram beside its two level curves
// (the log sweep's harmonics and THD): each named and coloured, with its
// own (frequency, value) pairs, drawn against the left (level) axis or the
// right axis, listed in a legend in the plot's top right corner, and
// written by the text export as one more column each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace display {

struct ExtraCurve {
    std::string Name;           // the legend's text
    std::uint32_t Colour = 0;   // 0x00BBGGRR
    bool RightAxis = false;     // against the right axis; else the left
    // Rising frequencies in Hz and their values, the same count; a value
    // that is not a finite number leaves a gap in the line (and an empty
    // field in the export).
    std::vector<double> FrequencyHz, Values;
};

// The value of `curve` at `hz`: the value of the point whose frequency lies
// within a relative 1e-5 of it (the float precision the diagram stores its
// frequencies in); false when there is none or its value is not finite.
bool ExtraCurveValueAt(const ExtraCurve &curve, double hz, double &value);

} // namespace display
