// The band a THD+N or noise reading integrates over: a lower edge, an upper
// edge set by the AES17 standard low-pass filter (20 kHz, or 40 kHz for
// high sample rates) or by half the sample rate, and an optional weighting:
// the IEC 61672 A-weighting or one of the analyser's weighting curves.
//
// AES17 asks of its standard low-pass filter a pass band flat within
// ±0.1 dB up to the upper band edge of 20 kHz and at least 60 dB of
// attenuation from 24 kHz on; the 40 kHz filter keeps those proportions for
// the higher rates. Working on a spectrum, the
// filter is applied bin by bin as the ideal response that meets both:
// 0 dB up to the edge, no bin above it. Its noise bandwidth is therefore the
// edge itself, which is what the published dynamic-range figures of
// converters (6.02·bits + 1.76 dB + 10·log10(rate/2 / 20 kHz)) assume.
//
// A-weighting, IEC 61672-1 (and IEC 651 before it):
//   R(f) = 12194² f⁴ / ((f² + 20.6²) · sqrt((f² + 107.7²)(f² + 737.9²)) · (f² + 12194²)),
//   A(f) = 20·log10 R(f) + 2.00 dB (0 dB at 1 kHz).
// It is computed, not interpolated from the analyser's "A Weighting" table.
//
// Units: Hz; gains are power gains (linear). Threads: any; nothing allocates.
#pragma once

#include "dsp/correction.h"

#include <string>

namespace dsp {

enum class BandLimit : int {
    HalfRate = 0,  // no low-pass: up to half the sample rate
    Aes17_20k = 1, // AES17 standard low-pass, 20 kHz
    Aes17_40k = 2, // the same with a 40 kHz band edge, for rates of 88.2 kHz and more
};

enum class BandWeighting : int {
    None = 0,
    A = 1,     // IEC 61672 A-weighting
    Curve = 2, // the curve given in MeasurementBand::curve (sign -1, as the analyser applies it)
};

struct MeasurementBand {
    double lowHz = 20.0; // lower band edge; bins below it are left out
    BandLimit limit = BandLimit::Aes17_20k;
    BandWeighting weighting = BandWeighting::None;
    // For BandWeighting::Curve: not owned, must outlive the reading; an
    // inactive or empty curve weights nothing.
    const CorrectionCurve *curve = nullptr;
};

// Upper band edge of the AES17 filter (20000 or 40000 Hz), or 0 for HalfRate.
double Aes17EdgeHz(BandLimit limit) noexcept;

// Upper edge actually used at `sampleRate`: the filter's edge, never above
// half the rate.
double BandUpperHz(const MeasurementBand &band, double sampleRate) noexcept;

// A-weighting in dB at `freqHz` (IEC 61672 closed form; very negative
// towards 0 Hz, kNoSignalDb at 0 Hz and below).
double AWeightingDb(double freqHz) noexcept;

// Power gain of the band at `freqHz`: 0 outside [lowHz, upper edge], else
// the weighting's gain (1 without weighting).
double BandPowerGain(const MeasurementBand &band, double freqHz, double sampleRate) noexcept;

// Short name for result lines, 'D' German or 'E' English (anything else English):
// "AES17 20 kHz", "AES17 40 kHz" or "20 Hz … 24000 Hz", with ", A-weighted"
// / ", A-bewertet" or ", <curve name>" when weighted. `curveName` names the
// curve (for example the analyser's filter item).
std::string BandText(const MeasurementBand &band, double sampleRate, char language,
                     const std::string &curveName = std::string());

} // namespace dsp
