// Level units of the spectrum display (dBFS, dBV, dBu, dBm): the scale that
// turns an FFT magnitude into a level, the axis title per unit and the text
// of the calibration state. Plain C++; the main window owns the unit menu and
// the calibration label and calls these.
#pragma once

#include <cstddef>
#include <string>

namespace display {

enum LevelUnitCode : int { LevelUnitDbFS = 0, LevelUnitDbV = 1, LevelUnitDbu = 2, LevelUnitDbm = 3 };

// Level of a magnitude of exactly 0 in every unit: "no signal".
constexpr double kNoSignalDb = -192.0;

// Analog references in millivolts.
constexpr double kDbVReferenceMv = 1000.0;
constexpr double kDbuReferenceMv = 775.0; // dBu and dBm alike; dBm needs no impedance here

struct LevelScale {
    double Factor = 0.0; // dB per natural-log unit of magnitude
    double Offset = 0.0; // dB added after the factor, unit shift included
    double Shift = 0.0;  // dB from dBFS to the unit (what the analysis adds to its dBFS results)
    std::string Label;   // "dbFS", "dbV", "dbu", "dbm", or "dB" for an unknown unit
};

// Scale for `levelUnit` from the calibration constants and the input
// calibration (millivolts at full scale); the label is cut to maxLabelLength
// characters. A calibration that is not a positive number gives no shift.
LevelScale GetLevelScale(int levelUnit, float levelFactor, float levelOffset, float inputCalibrationMv,
                         std::size_t maxLabelLength = 255);

// The same, in the out-parameter form of the analyser's callers.
void GetLevelScale(int levelUnit, float levelFactor, float levelOffset, float inputCalibrationMv,
                   double &factor, double &offset, double &shift, std::string &label,
                   std::size_t maxLabelLength);

// factor * ln(magnitude) + offset; kNoSignalDb for a magnitude of 0 (or one
// that is not a positive number).
double MagnitudeToLevel(double magnitude, const LevelScale &scale);

// Title of the level axis: "Level [dB FS]", "Level [dBV]", "Level [dBu]",
// "Level [dBm]" (the same in both languages); "Level [dB]" for other units.
std::string LevelAxisTitle(int levelUnit, char language = 'E');

// The units of a distortion sweep's level axis: the generator's level in
// dBFS, or the voltage it gives at the output through the output
// calibration, in dBV, dBu or as the power into a load.
enum OutputLevelUnit : int { OutputUnitDbFS = 0, OutputUnitDbV = 1, OutputUnitDbu = 2, OutputUnitW = 3 };

// Whether `calibrationMv` (millivolts RMS of a full-scale sine) can turn
// levels into volts: a finite number above 0.
bool CalibrationUsable(double calibrationMv);

// A level in dBFS (a sine of peak amplitude 10^(dbfs/20) of full scale) in
// `unit`: dBFS as it is; dBV and dBu from the RMS voltage
// calibrationMv/1000 · 10^(dbfs/20) (re 1 V and 775 mV as the analyser's
// units); W that voltage squared over `loadOhms`. NaN where there is no
// value: no signal (at or below kNoSignalDb), a calibration that is not
// usable, for W a load that is not a positive number, an unknown unit.
double OutputLevelInUnit(double dbfs, int unit, double calibrationMv, double loadOhms);

// Short name of `unit` as columns and captions show it: "dBFS", "dBV",
// "dBu", "W" ("" for an unknown unit).
const char *OutputLevelUnitName(int unit);

// Text of the calibration state label: eighteen blanks in dBFS; in an analog
// unit "calibrated" only while the recording volume equals the one at
// calibration (never while that is -1). 'D' German, anything else English.
std::string CalibrationStateText(int levelUnit, int inputVolume, int calibratedInputVolume,
                                 char language);

} // namespace display
