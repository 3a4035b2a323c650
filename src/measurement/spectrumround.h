// One analyser round, shared by the analyser page and the command line:
// captured blocks go in one at a time; each channel is split out, windowed
// and transformed, and the magnitude spectra are averaged over the round's
// blocks (the arithmetic is in spectrumblock.h). Who captures, and when, is
// the caller's business: the page chains captures through its messages, the
// command line waits for each block (spectrummeasurement.h).
//
// Threads: one (the engine's UI thread). Buffers are allocated by
// Allocate() and kept until Release(); a block allocates nothing.
#pragma once

#include "dsp/fft.h"
#include "measurement/spectrumblock.h"

#include <cstddef>
#include <vector>

namespace measure {

class SpectrumRound {
public:
    // Values per buffer: a whole split block of the largest capture fits.
    static constexpr std::size_t kChannelValues = 65536;

    // The four buffers (two spectra, two sums) of kChannelValues each,
    // zeroed; false, holding none, when they cannot be had.
    bool Allocate();
    void Release();
    bool Allocated() const { return !left_.empty(); }

    // Window table for `type` and `fftSize` points; the next block uses it
    // and gives fftSize/2 bins.
    void SetWindow(int type, int fftSize);
    const dsp::SpectrumTransform &Transform() const { return transform_; }
    int Bins() const { return bins_; }

    // Empties the sums, so the next block starts a round from nothing.
    void ZeroSums();
    // Empties the spectra and the sums.
    void ZeroAll();

    // Takes one interleaved block of `count` values: the channels that are
    // on are split out and transformed into their spectrum, then the block
    // is counted into `round` (AverageSpectra). True when the round is
    // complete: Left() and Right() then hold its averaged magnitudes. False
    // without buffers.
    bool AddBlock(const float *block, int count, bool left, bool right, AverageRound &round);

    // Magnitudes of bins 0 .. Bins()-1 (of the last complete round, or of
    // the last block in a round of one).
    const float *Left() const { return left_.data(); }
    const float *Right() const { return right_.data(); }
    // The running sums of the round in progress (kChannelValues each).
    const std::vector<float> &LeftSum() const { return leftSum_; }
    const std::vector<float> &RightSum() const { return rightSum_; }
    std::size_t Size() const { return left_.size(); }

private:
    dsp::SpectrumTransform transform_;
    std::vector<float> left_, right_, leftSum_, rightSum_;
    int fftSize_ = 0;
    int bins_ = 0;
};

} // namespace measure
