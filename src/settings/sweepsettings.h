// The sweep's parameters and their one validation. The ranges are the sweep
// setup dialog's: its OK repairs a record into them, the settings file holds
// what it reads to them, and the command line refuses what lies outside.
#pragma once

#include "settings/distortionsweepsettings.h"
#include "settings/logsweepsettings.h"

#include <cstdint>
#include <string>

namespace app {

// The sweep setup dialog's ranges.
constexpr std::int32_t kSweepFreqMin = 1;        // Hz
constexpr std::int32_t kSweepFreqMax = 55200;    // Hz, the highest stop frequency
constexpr std::int32_t kSweepFreqGap = 100;      // Hz the stop keeps above the start when repaired
constexpr std::int32_t kSweepFromMax = kSweepFreqMax - kSweepFreqGap; // highest start frequency
// A step count near the 32-bit limit would overflow the step counters.
constexpr std::int32_t kSweepStepsMax = 1000;
// A level above full scale clips every step.
constexpr float kSweepLevelMin = -200.0f;        // dB re digital full scale
constexpr float kSweepLevelMax = 0.0f;
constexpr std::int32_t kSweepSettleMsMax = 100000;

// What a sweep run takes: the range and spacing, the reference mode, the
// settling time and the output level.
struct SweepParameters {
    bool Linear = false;            // false: logarithmic spacing
    std::int32_t FreqFrom = 20;     // Hz
    std::int32_t FreqTo = 22000;    // Hz
    std::int32_t Steps = 50;        // Steps + 1 frequencies
    std::int32_t Mode = 0;          // 0 mono/left reference, 1 mono/right reference, 2 stereo
    std::int32_t SettleMs = 100;    // wait between output start and capture
    float LevelDig = 0.0f;          // dB re digital full scale
};

// Which parts of the parameters a repair brings into the ranges.
enum class SweepRepair {
    All,
    // Everything but the frequency range: a stored range above the dialog's
    // top is what a card at 192 kHz sweeps, and the settings file keeps it.
    KeepFrequencies,
};

// Brings the parameters into the ranges the way the setup dialog's OK does:
// the level into kSweepLevelMin..kSweepLevelMax, the settling time into
// 0..kSweepSettleMsMax, the start into kSweepFreqMin..kSweepFromMax, the stop
// to at most kSweepFreqMax and, when it is not above the start, to the start
// + kSweepFreqGap; the step count into 1..kSweepStepsMax. The mode, when it
// names none of the three, becomes 0.
void RepairSweepParameters(SweepParameters &p, SweepRepair what = SweepRepair::All);

// Empty when the parameters lie in the ranges (a repair would change
// nothing), else what is wrong with the first field out of range, in words
// that name the field, its value and its range.
std::string SweepParameterFault(const SweepParameters &p);

// Frequency-response sweep settings, exchanged whole with the sweep setup
// dialog and used by the sweep run.
struct SweepSettings : SweepParameters {
    // run flags of the sweep run
    bool PageShown = false;
    bool StartRequested = false;
    bool StopRequested = false;
    bool Sweeping = false;
    bool Spare = false;
    bool PhaseOn = false;       // measure and draw the phase
    std::int32_t CaptureSamples = 8000;
    std::int32_t CurrentStep = 0;
    float CurrentFreq = 0.0f;
    std::string Title = "remark:"; // at most 120 characters
    float PhaseMin = -90.0f;
    float PhaseMax = 90.0f;
    float YMax = 5.0f;
    float YMin = -45.0f;
    // The method START runs and the log sweep's own fields.
    LogSweepSettings Log;
    // The distortion sweep's own fields.
    DistortionSweepSettings Dist;
};

} // namespace app
