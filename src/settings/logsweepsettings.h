// The log sweep's choices on the sweep page: which method START runs, and
// the fields that only the log sweep has (length, averages, the frequency
// response's time window, smoothing, the harmonics as curves). Start and
// stop frequency, the level and the mode are the stepped sweep's
// (sweepsettings.h). Kept in section [LOGSWEEP] of the settings file.
#pragma once

#include "dsp/logsweep.h"

#include <cstdint>

namespace app {

struct SweepParameters;

// Distortion: the stepped distortion sweep (distortionsweepsettings.h).
enum class SweepMethod : std::int32_t { Stepped = 0, LogSweep = 1, Distortion = 2 };

// The ranges the settings file and the setup dialog hold the fields to;
// whether a length fits the range and the harmonics is for
// dsp::CheckLogSweep to say, with the rate of the devices.
constexpr double kLogSweepSecondsMin = 0.1;
constexpr double kLogSweepSecondsMax = 60.0;
constexpr double kLogSweepWindowMsMin = 1.0;
// The recording runs this long after the sweep, and the window ends in it.
constexpr double kLogSweepTailSeconds = 0.5;
constexpr double kLogSweepWindowMsMax = kLogSweepTailSeconds * 1000.0;

struct LogSweepSettings {
    SweepMethod Method = SweepMethod::Stepped;
    double Seconds = 3.0;         // wanted length of one sweep
    std::int32_t Averages = 1;    // sweeps averaged, 1..dsp::kLogSweepMaxAverages
    double WindowMs = 300.0;      // frequency-response window after the impulse's peak
    std::int32_t Smoothing = 0;   // 0 off, or N of 1/N octave (48, 24, 12, 6, 3)
    bool Harmonics = true;        // H2..H5 and THD evaluated and drawn
};

// Each field outside its range (a length or window that is not a finite
// number among them) back to its default; a method of neither kind to the
// stepped sweep.
void RepairLogSweepSettings(LogSweepSettings &s);

// The parameters of one run: range, level and mode from the stepped
// sweep's record, the rest from `log`.
dsp::LogSweepParameters LogSweepParametersOf(const SweepParameters &sweep, const LogSweepSettings &log);

} // namespace app
