// Outcomes of the distortion, intermodulation and noise readings, and their
// messages in German and English. The readings only return a status (they
// run once per captured block and build no text); whoever shows or prints
// a reading asks for its text here, so the windows and the command line say
// the same. Numbers in the texts use a full stop whatever the locale.
//
// Threads: any.
#pragma once

#include <string>

namespace dsp {

enum class DistortionStatus : int {
    Ok = 0,
    NoSpectrum,           // no magnitudes, unsupported FFT size, bad rate or window
    NoFundamental,        // no bin above the threshold
    NotResolved,          // components closer than the window's main lobe allows
    FundamentalAboveBand, // the tone lies above the measurement band
    TonesAboveHalfRate,   // a two-tone signal that does not fit below half the rate
    ProductAboveHalfRate, // an intermodulation product to read lies above half the rate
    Clips,                // a two-tone level above 0 dBFS
    BadLevel,             // a two-tone level that is not a number
    BadFrequencies,       // tone frequencies not positive, not finite or not ascending
    BadRatio,             // amplitude ratio not positive or not finite
};

// The message of `status` in 'D' German or 'E' English (anything else English).
// The values fill in the numbers each message names:
//   NotResolved:          v1 spacing of the components (Hz), v2 bin width (Hz)
//   FundamentalAboveBand: v1 fundamental (Hz), v2 upper band edge (Hz)
//   TonesAboveHalfRate:   v1, v2 the two tones (Hz), v3 half the rate (Hz)
//   ProductAboveHalfRate: v1 the product (Hz), v2 half the rate (Hz)
//   Clips:                v1 the level (dBFS)
// Ok gives an empty text.
std::string DistortionStatusText(DistortionStatus status, char language, double v1 = 0.0,
                                 double v2 = 0.0, double v3 = 0.0);

// The note for harmonics left out of a reading: from order `firstOrder`
// (2..9) on, H`firstOrder` … H9 lie above the band edge (`aboveHalfRate`
// false) or above half the sample rate (true) at `limitHz`. Empty for an
// order outside 2..9.
std::string HarmonicsOmittedText(int firstOrder, bool aboveHalfRate, double limitHz, char language);

} // namespace dsp
