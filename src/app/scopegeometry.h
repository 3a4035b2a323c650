// Where the oscilloscope page's controls and window put things on screen:
// the position scroll bars' relation to the traces' vertical position, and
// the oscilloscope window's place beside the main window.
#pragma once

#include "settings/measurementstate.h"

namespace app {

// Vertical position (divisions) of a position scroll bar value and back:
// p = 4 - s/50, s = round(-(p - 4) * 50).
float ScrollToPosition(int s);
int PositionToScroll(float p);

// Where the oscilloscope window goes beside the main window: the main window
// moves right when the oscilloscope's width does not fit to its left; a
// stored left, top or height of -1 takes the main window's left minus the
// width, its top and its height. `mainLeft` is updated.
WindowGeometry PlaceScopeWindow(const WindowGeometry &stored, int &mainLeft, int mainTop, int mainHeight);

} // namespace app
