// The oscilloscope run without widgets: the volts-per-division and timebase
// tables, the choice of sample rate and block length for a timebase and the
// trigger search in a captured block. Plain C++; the oscilloscope page
// (app/scopepage.h) drives it.
#pragma once

#include <cstdint>
#include <functional>

namespace measure {

constexpr int kScopeVoltsSteps = 14;   // volts index 1..14
constexpr int kScopeTimebaseSteps = 9; // timebase index 1..9
constexpr int kScopeXYTimebase = 1;    // the timebase index of X-Y operation

struct ScopeStep {
    const char *Text; // UTF-8
    double Value;     // volts per division, or seconds per division (-1: X-Y)
};

// Table entries; an index outside the table gives its nearest end.
const ScopeStep &ScopeVolts(int index);
const ScopeStep &ScopeTimebase(int index);

// Volts of a full-scale peak: the input calibration is the RMS voltage of a
// full-scale sine in mV ("mV eff"), whose peak is sqrt(2) times that. So a
// sine the analyser reads as X dBV shows a peak of X + 3.01 dBV.
long double ScopeVoltsFullScale(double inputCalibrationMv);

struct ScopeRate {
    std::int32_t Rate = 8000;   // Hz
    std::int32_t Samples = 2448; // frames per sweep, even
};

// Sample rate and frames per sweep for `secondsPerDiv` (-1 for X-Y).
// `supports16(rate)` tells whether the input takes 16-bit stereo at the
// rate. The classic choice: 8000 Hz with 2448 frames, then 11025 Hz (2448
// frames below 19.8 ms/div, 1300 below 9.8 ms), 22050 Hz with 1024 below
// 4.8 ms, and 44100 Hz with 1024 below 1.98 ms and for X-Y, each only when
// supported. When the rate it ends on is not supported (a device that only
// runs at 48000 Hz), the lowest supported rate above it is taken (else the
// highest below), with enough frames that half a block still covers the ten
// divisions (even, 1024..32768).
ScopeRate ChooseScopeRate(double secondsPerDiv, const std::function<bool(int)> &supports16);

// Start frame of the display in an interleaved block of `count` values
// (channel 0 at even positions, 1 at odd ones). The trigger channel's values
// times `scale` are in divisions; the search runs over the frames j of the
// first half (j = 0 .. count/4 - 2) for the first j with a(j) <= level <
// a(j+1) (rising) or a(j) >= level > a(j+1) (falling) and returns j + 1, the
// first frame past the level; without a crossing it returns count/4 - 1.
int ScopeTriggerStart(const float *block, int count, int channel, double scale, double level, bool rising);

} // namespace measure
