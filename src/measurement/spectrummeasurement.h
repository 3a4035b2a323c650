// An analyser round without a window: blocks captured from the current
// input device one after the other, each channel windowed and transformed,
// the magnitude spectra averaged over the round, exactly as the analyser
// page does it block by block (measurement/spectrumblock.h, dsp/fft.h).
//
// Threads: UI thread (the engine's). Buffers are allocated once, in the
// constructor; a round allocates nothing.
#pragma once

#include "dsp/fft.h"

#include <string>
#include <vector>

namespace measure {

struct SpectrumSetup {
    int FftSize = 4096; // 2048, 4096, 8192 or 16384 (any supported power of two)
    int Window = dsp::kWindowRifeVincent3;
    int Averages = 1;   // blocks per round, 1..9999
    bool Left = true;   // channels to transform; one that is off stays 0
    bool Right = true;
};

class SpectrumMeasurement {
public:
    SpectrumMeasurement();

    // Captures setup.Averages blocks and leaves their averaged magnitudes.
    // False with Error() set when the setup is unusable, a capture fails or
    // an interrupt ends the round.
    bool Run(const SpectrumSetup &setup);

    // Magnitudes of bins 0 .. Bins()-1 of the last round.
    const float *Left() const { return left_.data(); }
    const float *Right() const { return right_.data(); }
    int Bins() const { return bins_; }
    // Clipped samples over the round; input rate of its blocks (Hz).
    int Overloads() const { return overloads_; }
    int Rate() const { return rate_; }
    const std::string &Error() const { return error_; }

private:
    dsp::SpectrumTransform transform_;
    std::vector<float> left_, right_, leftSum_, rightSum_;
    int bins_ = 0;
    int overloads_ = 0;
    int rate_ = 0;
    std::string error_;
};

} // namespace measure
