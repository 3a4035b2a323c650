// Arithmetic of the diagram's mouse readouts and range controls: the readout
// texts, the level-button steps and the frequency-limit steps. Plain C++, so
// the numbers can be checked by hand; the window turns events into calls.
#pragma once

#include <cstdint>
#include <string>

namespace display {

// Longest readout text the window shows.
constexpr std::size_t kReadoutLength = 40;

// Highest frequency a limit can be moved to, and the table a limit walks on
// a logarithmic axis.
constexpr std::int32_t kHighestFrequency = 50000;

// Next table entry above (up) or below (down) `value`; the value itself when
// there is none (50000 up, 1 down, or beyond the table's ends outwards).
std::int32_t NextScrollStep(std::int32_t value, bool up);

// Moves the upper (xmax) or lower (xmin) frequency limit one step. On a
// logarithmic axis the limit walks the table; on a linear one it moves by a
// tenth of the range (at least 1 Hz), the upper limit capped at 50000 and the
// lower one kept at 1 or more. A limit that would reach or cross the other one
// stays. True when the limit changed.
bool StepUpperFrequency(std::int32_t &xmax, std::int32_t xmin, bool up, bool logX);
bool StepLowerFrequency(std::int32_t &xmin, std::int32_t xmax, bool up, bool logX);

// Moves the top (ymax) or bottom (ymin) of the level axis one step. With
// autoStep the limit moves to the neighbouring multiple of NiceStep(range/10);
// otherwise by `step` dB, which must be a finite number above 0. Moving a
// limit towards the other one is refused when it would reach or cross it.
// True when the limit changed.
bool StepLevelTop(float &ymax, float ymin, bool up, bool autoStep, float step);
bool StepLevelBottom(float &ymin, float ymax, bool up, bool autoStep, float step);

// "1000.0Hz/-20.0dB": the scaled frequency with one decimal, the unit, the level.
std::string ClickReadout(double scaledFrequency, const std::string &unit, double levelDb);
// "2000.00mm": the scaled frequency with two decimals and the unit.
std::string FrequencyReadout(double scaledFrequency, const std::string &unit);
// "-6.0dB / 50.0%", "20.0dB / 10.00times": a level difference (upwards
// positive) with its amplitude ratio; below 0 dB as a percentage, with five
// decimals at or below 1 %.
std::string LevelReadout(double differenceDb, const std::string &ratioWord);
// "6.0dB/Oct": the slope of a level difference over a frequency ratio above 1,
// as a magnitude per octave.
std::string SlopeReadout(double differenceDb, double frequencyRatio, const std::string &slopeUnit);

} // namespace display
