// A whole sweep from the first step to the last in one call, for drivers
// without a window (the command line, benchmarks, tests): the same run as
// the sweep page's (measurement/sweeprun.h), its steps performed one after
// the other instead of chained through window messages.
//
// Threads: UI thread (the engine's).
#pragma once

#include "measurement/sweeprun.h"

#include <functional>
#include <string>

namespace measure {

class SweepDriver {
public:
    enum class Outcome { Done, Interrupted, Failed };

    // Called before a step's output starts, and when a step has been measured.
    std::function<void(const SweepStepPlan &)> OnStep;
    std::function<void(const SweepPoint &)> OnPoint;

    // Runs every step of `setup` on the current devices. A frequency above
    // half a sample rate, an output or capture failure or an unusable input
    // device ends the run as Failed with Error() telling why; the points
    // measured so far have been reported. The output stops and the
    // generator gets its settings back however the run ends.
    Outcome Run(const SweepSetup &setup, const dsp::CorrectionCurve &inputCorrection,
                const dsp::CorrectionCurve &outputCorrection);

    const std::string &Error() const { return error_; }

private:
    Outcome step(const SweepSetup &setup, std::int32_t step, const dsp::CorrectionCurve &inputCorrection,
                 const dsp::CorrectionCurve &outputCorrection);

    SweepRun run_;
    std::string error_;
};

} // namespace measure
