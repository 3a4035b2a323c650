// The analyser's arithmetic on one captured block, shared by the analyser
// page and the command line: a channel split out of the interleaved block,
// the averaging of magnitude spectra over a round of blocks, and the level
// of one bin in the current unit with the input correction taken off.
//
// Units: blocks as the capture engine delivers them (interleaved floats,
// right input at even positions, left at odd, full scale about +-1.0);
// magnitudes as dsp::SpectrumTransform leaves them; levels in dB.
//
// Threads: any; nothing here allocates.
#pragma once

#include "dsp/correction.h"

namespace measure {

// Channel numbers within an interleaved frame.
constexpr int kRightChannel = 0;
constexpr int kLeftChannel = 1;

// Frames the analyser captures for an FFT of `fftSize` points: one eighth
// more, so the split channel always holds fftSize values.
constexpr int AnalyserCaptureFrames(int fftSize) { return fftSize + fftSize / 8; }

// Copies channel `channel` of an interleaved block of `count` values into
// `out`: elements k·2 + channel for k = 0 .. count/2 - 2, so all but the last
// frame. A short block is padded with zeros up to `fftSize` so the transform
// never sees another block's samples.
void SplitChannel(const float *block, int count, int channel, float *out, int fftSize);

// Counters of an averaging round: `averages` blocks per round, `left` still
// to come in the current one.
struct AverageRound {
    int averages = 1;
    int left = 1;
};

// One averaging step over `bins` magnitudes per channel: counts the block
// and adds both spectra to their sums. When the round is complete (left has
// reached 0) each spectrum is replaced by its sum divided by the number of
// blocks and the sums are zeroed; returns true then. With one block per
// round the spectra are taken as they are. The caller restarts the round.
bool AverageSpectra(AverageRound &round, float *left, float *right, float *leftSum, float *rightSum, int bins);

// Level of one bin: factor·ln(magnitude) + offset, then the input
// correction at `frequencyHz` taken off (sign +1); the no-signal level for
// a channel that is off or a magnitude of exactly 0, whatever the
// correction.
double SpectrumBinLevel(float magnitude, bool channelOn, double factor, double offset,
                        const dsp::CorrectionCurve &inputCorrection, float frequencyHz);

} // namespace measure
