// What the sweep page keeps about the run in progress besides the sweep
// settings record: the engine-side run (measurement/sweeprun.h) and whether
// the page has locked its controls for it. UI thread only.
#pragma once

#include "measurement/sweeprun.h"

namespace app {

struct SweepRunState : measure::SweepRun {
    // The page's controls and the device menus are locked for the run.
    bool ControlsLocked = false;
};

} // namespace app
