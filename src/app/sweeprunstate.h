// What the sweep page keeps about the run in progress besides the sweep
// settings record: which run is current, the capture in flight with the step
// and frequency it belongs to, the generator settings the run replaced, and
// the block evaluator. UI thread only.
#pragma once

#include "audio/synthesis.h"
#include "dsp/sweep.h"

#include <cstdint>

namespace app {

struct SweepRunState {
    // Id of the current run. START and leaving the page take a new one, so
    // work that belongs to an older run is recognised and dropped.
    std::uint32_t Run = 0;

    // The one sweep capture that may be in flight, with what it measures.
    bool CaptureInFlight = false;
    std::uint32_t CaptureRun = 0;
    std::int32_t CaptureStep = 0;
    float CaptureFrequency = 0.0f;

    // A step is being performed (its settling wait dispatches messages).
    bool Stepping = false;
    // The run has started the output and must stop it when it ends.
    bool OutputStarted = false;
    // The page's controls and the device menus are locked for the run.
    bool ControlsLocked = false;

    // The generator's settings before the run; put back when it ends.
    bool GeneratorSaved = false;
    audio::GeneratorSettings SavedGenerator;

    dsp::SweepEvaluator Evaluator;
};

} // namespace app
