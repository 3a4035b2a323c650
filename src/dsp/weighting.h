// Built-in weighting curves for the band-level and THD+N analysis, as
// (frequency Hz, dB) tables selected by the exact item texts of the filter
// list. A weighting is applied as a correction curve with sign -1 (its dB
// values are added to the measured levels).
//
// Threads: constant data, any thread.
#pragma once

#include "dsp/correction.h"

#include <string>

namespace dsp {

struct WeightingTable {
    const char *item; // exact item text, e.g. "A Weighting"
    const CorrectionPoint *points;
    int count;
};

// The item that switches weighting off, and the one that stands for a
// user correction file (it has no table).
inline const char *const kWeightingNone = "none";
inline const char *const kWeightingUser = "USER";

// Items of the filter list in their order, "none" first and "USER" last.
int WeightingItemCount();
const char *WeightingItem(int index); // "" when out of range

// The table of an item, or nullptr for "USER" and unknown names.
const WeightingTable *FindWeightingTable(const std::string &item);

} // namespace dsp
