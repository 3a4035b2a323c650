// A distortion sweep's steps as a text table for export: one row per step
// with its frequency and generator level (and that level in the chosen
// output unit), then per channel read the fundamental, H2 … H9, THD, THD+N
// and noise, or for a two-tone sweep the tones and the intermodulation (IMD,
// or d2 and d3 for CCIF). A value left out is an empty field. Tab-separated,
// decimal point whatever the locale.
#pragma once

#include "measurement/distortionsweep.h"

#include <string>
#include <vector>

namespace measure {

struct DistortionTextSetup {
    DistortionSweepKind Kind = DistortionSweepKind::Frequency;
    bool Ccif = false; // a two-tone sweep's columns: d2 and d3, else imd
    // display::OutputLevelUnit: other than dBFS adds the generator level in
    // that unit through the output calibration (and the load for W).
    int Unit = 0;
    double OutputCalibrationMv = 0.0, LoadOhms = 8.0;
};

// `channels[c]` says whether channel c (0 left, 1 right) was read.
std::string DistortionSweepText(const std::vector<DistortionStep> &steps, const bool channels[2],
                                const DistortionTextSetup &setup = {});

} // namespace measure
