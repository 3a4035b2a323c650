// Spectra of several blocks averaged as powers: each bin the root of the mean
// square of its magnitudes. An average of magnitudes, as the analyser's
// display takes it, reads noise 1.05 dB low (the mean of a Rayleigh-
// distributed magnitude is sqrt(pi)/2 of its RMS), so the distortion and
// noise readings take this one.
//
// Threads: UI thread (the engine's). The sums are sized at the start of a
// round (kept across rounds of one size); a block allocates nothing.
#pragma once

#include "measurement/spectrummeasurement.h"

#include <functional>
#include <string>
#include <vector>

namespace measure {

class PowerSpectra {
public:
    // Captures `averages` blocks of `setup` (its own Averages is ignored)
    // and averages their powers. `onBlock` (may be empty) is told the block
    // about to be captured, from 0. False with Error() set when a capture
    // fails or an interrupt ends the round.
    bool Run(const SpectrumSetup &setup, int averages, const std::function<void(int)> &onBlock = {});

    // Magnitudes of bins 0 .. FftSize/2 - 1 of the last round.
    const float *Channel(bool right) const { return right ? right_.data() : left_.data(); }
    int Overloads() const { return overloads_; }
    int Rate() const { return rate_; }
    const std::string &Error() const { return m_.Error(); }

private:
    SpectrumMeasurement m_;
    std::vector<double> sumLeft_, sumRight_;
    std::vector<float> left_, right_;
    int overloads_ = 0;
    int rate_ = 0;
};

} // namespace measure
