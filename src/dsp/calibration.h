// Arithmetic of the level calibration: the live input reading of the
// calibration dialog and the check of the values it hands to the main
// window. Plain C++; the dialog turns buttons into calls.
#pragma once

#include <string>

namespace dsp {

// One reading captures this many sample values: 4000 stereo frames.
constexpr int kCalibrationFrames = 4000;

// The reading of a block of `count` interleaved values in full-scale units:
// the sum of the absolute values of all of them divided by 50. Over the 8000
// values of a reading a full-scale sine on both inputs gives 8000·(2/pi)/50,
// about 102, so the number reads close to a percentage of full scale.
double CalibrationReading(const float *block, int count) noexcept;

struct CalibrationValues {
    float VoltageMv = 0.0f; // RMS voltage at full scale, mV
    float Factor = 0.0f;    // dB per natural-log unit of magnitude
    float Offset = 0.0f;    // dB
};

// Parses the three texts (blanks around them allowed, full stop as decimal
// separator). False unless all three are finite numbers, the voltage and the
// factor are greater than 0: a factor of 0 or below would make every level
// of the analyser the offset or turn the scale upside down, and it would be
// stored for good.
bool ReadCalibrationValues(const std::string &voltage, const std::string &factor, const std::string &offset,
                           CalibrationValues &out);

} // namespace dsp
