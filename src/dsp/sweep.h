// The arithmetic of a stepped-sine frequency-response sweep: the frequency of
// each step, the length of the capture at a step, and the evaluation of a
// captured block into the levels of both channels, the level of one channel
// relative to the other and the phase between them. Plain C++; whoever runs
// the sweep (the sweep page, a command line, a test) only sequences output,
// settling and capture around these.
//
// Blocks are interleaved stereo floats as the capture engine delivers them:
// the even positions hold the right input, the odd positions the left input
// (full scale about +-1.0).
//
// Threads: any; a SweepEvaluator belongs to one thread at a time.
#pragma once

#include "dsp/correction.h"

#include <cstdint>
#include <vector>

namespace dsp {

// Measurement modes.
enum SweepMode : std::int32_t {
    kSweepLeftReference = 0,  // right channel measured against the left
    kSweepRightReference = 1, // left channel measured against the right
    kSweepStereo = 2,         // both channels on their own, no reference
};

// Level of a silent channel, in dB: the program-wide "no signal".
constexpr float kSweepSilentDb = -192.0f;

// Peak amplitude of a sine per unit of its mean absolute value, as the
// level readout has always used it (close to pi/2).
constexpr double kSineMeanToPeak = 1.569858713;

// Frequency in Hz of step `step` (0..steps) of a sweep from `from` to `to` Hz
// in `steps` steps: linear spacing divides the span evenly, logarithmic
// spacing keeps the ratio between neighbours constant. A logarithmic sweep
// without steps or starting at 0 Hz (no ratio defined) stays at 333 Hz.
float SweepFrequency(bool linear, std::int32_t from, std::int32_t to, std::int32_t steps, std::int32_t step);

// Stereo frames to capture at `frequencyHz` from an input running at
// `rateHz` with `bits` bits per sample (24 for 32-bit containers): fifty
// periods, at least 10 ms, and never more than fits the 262,144-byte capture
// buffer at the device format or at eight bytes per frame. 0 for a rate or a
// resolution that is not positive.
std::int32_t SweepCaptureFrames(double frequencyHz, std::int32_t rateHz, std::int32_t bits);

// Whether a sine of `frequencyHz` can be played and captured: not above half
// of either sample rate.
bool SweepFrequencyPlayable(double frequencyHz, std::int32_t inputRateHz, std::int32_t outputRateHz);

// Mean absolute values of both channels over the settled part of a block of
// `count` values (count/2 frames): the first fifth of the frames is left out
// while the device under test settles. A block without frames reads 0.
struct SweepLevels {
    double Left = 0.0;
    double Right = 0.0;
};
SweepLevels SweepMeanLevels(const float *block, int count);

// Phase in degrees (-180..180) of the measured channel against the reference
// in a block that has already been band-pass filtered at the sweep frequency;
// positive when the measured channel leads. Mode 0 measures the right channel
// (even positions) against the left, mode 1 the left against the right. The
// magnitude comes from the share of frames in which both have the same sign,
// the sign from where the reference stands at each rising zero crossing of
// the measured channel, interpolated between the frames around the crossing.
// 0 when the block is too short to count.
double SweepPhase(const float *filteredBlock, int count, int mode);

// One evaluated step.
struct SweepReading {
    SweepLevels Levels;  // mean absolute values (full-scale units)
    float First = 0.0f;  // modes 0, 1: relative level in dB; mode 2: right level in dB(FS)
    float Second = 0.0f; // modes 0, 1: phase in degrees; mode 2: left level in dB(FS)
};

// Evaluates captured blocks. Owns the scratch block the phase filter runs
// on, allocated once, so evaluating allocates nothing.
class SweepEvaluator {
public:
    SweepEvaluator();

    // Evaluates `count` interleaved values captured at `rateHz` while a sine
    // of `frequencyHz` played. Modes 0 and 1: First = level of the measured
    // channel relative to the reference, Second = phase. Mode 2: the peak
    // levels of the right (First) and left (Second) channel in dBFS, each
    // passed through the input correction at the frequency. A silent channel
    // (mean exactly 0) reads kSweepSilentDb: in modes 0 and 1 the relative
    // level does, with phase 0; in mode 2 the silent channel only.
    SweepReading Evaluate(const float *block, int count, std::int32_t mode, double frequencyHz, double rateHz,
                          const CorrectionCurve &inputCorrection);

private:
    std::vector<float> scratch_;
};

} // namespace dsp
