// An analyser round without a window: blocks captured from the current
// input device one after the other and taken by the round the analyser page
// uses too (measurement/spectrumround.h).
//
// Threads: UI thread (the engine's). Buffers are allocated once, in the
// constructor; a round allocates nothing.
#pragma once

#include "dsp/fft.h"
#include "measurement/spectrumround.h"

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
    const float *Left() const { return round_.Left(); }
    const float *Right() const { return round_.Right(); }
    int Bins() const { return round_.Bins(); }
    // Clipped samples over the round; input rate of its blocks (Hz).
    int Overloads() const { return overloads_; }
    int Rate() const { return rate_; }
    const std::string &Error() const { return error_; }

private:
    SpectrumRound round_;
    int overloads_ = 0;
    int rate_ = 0;
    std::string error_;
};

} // namespace measure
