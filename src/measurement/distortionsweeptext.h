// A distortion sweep's steps as a text table for export: one row per step
// with its frequency and generator level, then per channel read the
// fundamental, H2 … H9, THD, THD+N and noise. A harmonic left out is an
// empty field. Tab-separated, decimal point whatever the locale.
#pragma once

#include "measurement/distortionsweep.h"

#include <string>
#include <vector>

namespace measure {

// `channels[c]` says whether channel c (0 left, 1 right) was read.
std::string DistortionSweepText(const std::vector<DistortionStep> &steps, const bool channels[2]);

} // namespace measure
