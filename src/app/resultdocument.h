// The result on the screen as a measurement document: the diagram's live
// curves of the page that shows them (the analyser's spectrum, the stepped
// sweep, the log sweep) with every setting that produced them, and the
// check that a stored result fits the page. UI thread only.
#pragma once

#include "measurement/document/measurementdocument.h"

#include <optional>
#include <string>

class TDiagramm;

namespace app {

// What the page shows: a spectrum (analyser page), or a stepped or log
// sweep (sweep page, by the method chosen). None on the oscilloscope page.
std::optional<measure::MeasurementKind> PageResultKind(int page);

// The settings every document of the window program carries: program,
// time, devices, calibration and corrections, and for a spectrum or sweep
// kind their settings from the measurement state.
void FillResultSettings(measure::MeasurementKind kind, measure::MeasurementSettings &settings);

// The document of the diagram's live curves for `kind`: title from the
// diagram, `remark` as given, the settings of the measurement state and the
// devices. False when the diagram holds no point.
bool BuildResultDocument(const TDiagramm &diagram, measure::MeasurementKind kind, const std::string &remark,
                         measure::MeasurementDocument &document);

} // namespace app
