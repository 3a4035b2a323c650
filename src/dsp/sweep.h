// The arithmetic of a stepped-sine frequency-response sweep: the frequency of
// each step, the length of the capture at a step, and the evaluation of the
// captured blocks into the levels of both channels, the level of one channel
// relative to the other and the phase between them. Plain C++; whoever runs
// the sweep (the sweep page, a command line, a test) only sequences output,
// settling and capture around these.
//
// Blocks are interleaved stereo floats as the capture engine delivers them:
// the even positions hold the right input, the odd positions the left input
// (full scale about +-1.0).
//
// A step is read by synchronous detection: over the settled part of a block
// (all but its first fifth) each channel is fitted by least squares with
// a·cos(wt) + b·sin(wt) + c at the known sweep frequency w. The fit is exact
// for a sine plus a DC offset over any stretch of it, whole periods or not,
// so neither the rate being a small multiple of the frequency nor a short
// block biases it; harmonics and noise leak into it only as far as they are
// not orthogonal to the sweep frequency over the fitted stretch (about
// 1/(2 pi P) of their amplitude for P periods). It needs the frequency the
// device really plays.
//
// Threads: any; a SweepEvaluator belongs to one thread at a time.
#pragma once

#include "dsp/correction.h"

#include <complex>
#include <cstdint>

namespace dsp {

// Measurement modes.
enum SweepMode : std::int32_t {
    kSweepLeftReference = 0,  // right channel measured against the left
    kSweepRightReference = 1, // left channel measured against the right
    kSweepStereo = 2,         // both channels on their own, no reference
};

// Level of a silent channel, in dB: the program-wide "no signal".
constexpr float kSweepSilentDb = -192.0f;

// Periods of the sweep frequency a step evaluates at least, after the
// settling part of each block is left out.
constexpr double kSweepMinPeriods = 5.0;
// Captures a step takes at most (1 Hz at 192 kHz needs 37).
constexpr int kSweepMaxCaptures = 64;

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

// Captures of `frames` frames a step at `frequencyHz` takes so that at least
// kSweepMinPeriods periods remain after each block's settling part: 1 unless
// the buffer holds too few periods (low frequencies at high rates), at most
// kSweepMaxCaptures.
int SweepCapturesNeeded(double frequencyHz, std::int32_t rateHz, std::int32_t frames);

// Whether a sine of `frequencyHz` can be played and captured: not above half
// of either sample rate.
bool SweepFrequencyPlayable(double frequencyHz, std::int32_t inputRateHz, std::int32_t outputRateHz);

// The sine at `frequencyHz` in both channels of the settled part of a block
// of `count` values (the frames from count/2 div 5 on), fitted by least
// squares together with a DC offset. An amplitude z stands for the sine
// |z|·sin(wt + arg z), t counted from the middle of the fitted frames, so
// the two channels' amplitudes compare in level and phase. A channel whose
// fitted frames all hold the same value is flat (amplitude 0). Frames is 0,
// and nothing is fitted, when fewer than 3 frames are left.
struct SweepSineFit {
    std::complex<double> Right, Left;
    bool RightFlat = true, LeftFlat = true;
    int Frames = 0;
};
SweepSineFit FitSweepSine(const float *block, int count, double frequencyHz, double rateHz);

// Peak amplitudes of the sweep sine in both channels (full-scale units).
struct SweepLevels {
    double Left = 0.0;
    double Right = 0.0;
};

// One evaluated step.
struct SweepReading {
    SweepLevels Levels;  // fitted peak amplitudes (full-scale units)
    float First = 0.0f;  // modes 0, 1: relative level in dB; mode 2: right level in dB(FS)
    float Second = 0.0f; // modes 0, 1: phase in degrees; mode 2: left level in dB(FS)
};

// Evaluates the blocks of a step, one or more (see SweepCapturesNeeded).
// Allocates nothing.
class SweepEvaluator {
public:
    // A new step: forgets the blocks taken so far.
    void Begin();
    // Takes a block of `count` interleaved values captured at `rateHz` while
    // a sine of `frequencyHz` played. Blocks need not follow each other
    // without a gap: each is fitted on its own and weighted by its length.
    void Add(const float *block, int count, double frequencyHz, double rateHz);
    // The step from the blocks taken. Modes 0 and 1: First = level of the
    // measured channel relative to the reference in dB, Second = its phase
    // in degrees, in (-180, 180], positive when the measured channel leads;
    // over several blocks the least-squares transfer sum(m·conj r)/sum|r|².
    // Mode 2: the peak levels of the right (First) and left (Second) channel
    // in dBFS (the root of the mean squared amplitude over the blocks), each
    // passed through the input correction at the frequency. A silent channel
    // (flat in every block, or no block at all) reads kSweepSilentDb: in
    // modes 0 and 1 the relative level does, with phase 0; in mode 2 the
    // silent channel only.
    SweepReading Result(std::int32_t mode, double frequencyHz, const CorrectionCurve &inputCorrection) const;
    // Begin, Add and Result for a step of one block.
    SweepReading Evaluate(const float *block, int count, std::int32_t mode, double frequencyHz, double rateHz,
                          const CorrectionCurve &inputCorrection);

private:
    double weight_ = 0.0;                  // fitted frames over all blocks
    double rightPower_ = 0.0, leftPower_ = 0.0; // sum of frames·|z|²
    std::complex<double> cross_;           // sum of frames·right·conj(left)
    bool rightFlat_ = true, leftFlat_ = true;
};

} // namespace dsp
