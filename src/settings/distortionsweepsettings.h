// The distortion sweep's choices on the sweep page (the third method of the
// sweep setup dialog): against frequency at a fixed level (from, to, steps;
// the spacing is the stepped sweep's log/lin choice) or against level at a
// fixed frequency (from, to and step in dB) or against the level of the
// generator's two-tone signal for its intermodulation (from, to and step in
// dB), with the settling time of each step, whether H2 and H3 are drawn
// beside THD+N and THD, and the unit of the level axis (dBFS, or through the
// output calibration dBV, dBu or the power into a load). Kept in section
// [DISTSWEEP] of the settings file.
#pragma once

#include <cstdint>

namespace app {

enum class DistortionAxis : std::int32_t { Frequency = 0, Level = 1, Imd = 2 };

// The unit of the level axis; the codes are measure::OutputLevelUnit's.
enum class DistortionUnit : std::int32_t { DbFS = 0, DbV = 1, Dbu = 2, Watt = 3 };

// The ranges the settings file and the setup dialog hold the fields to.
constexpr std::int32_t kDistFreqMin = 1, kDistFreqMax = 96000;   // Hz
constexpr std::int32_t kDistStepsMax = 1000;
constexpr std::int32_t kDistLevelMin = -140, kDistLevelMax = 0;  // dB re full scale
constexpr std::int32_t kDistStepDbMax = 60;
constexpr std::int32_t kDistSettleMsMax = 100000;
constexpr double kDistLoadMin = 0.001, kDistLoadMax = 1e6; // ohms

struct DistortionSweepSettings {
    DistortionAxis Vs = DistortionAxis::Frequency;
    std::int32_t FromHz = 50, ToHz = 10000, Steps = 30; // against frequency
    std::int32_t LevelDb = -6;                           // its fixed level
    double FrequencyHz = 1000.0;                         // against level: the tone
    std::int32_t FromDb = -60, ToDb = 0, StepDb = 6;
    std::int32_t SettleMs = 300;
    bool Harmonics = true; // H2 and H3 drawn beside THD+N and THD
    DistortionUnit Unit = DistortionUnit::DbFS; // of the level axis
    double LoadOhms = 8.0;                      // the load the power is taken into
};

// Each field outside its range back to its default; a range whose end is
// not above (frequency) or not at or above (level) its start gets both
// defaults; an axis or a unit of no known kind becomes Frequency or dBFS, a
// load that is no number within kDistLoadMin..kDistLoadMax ohms 8 ohms.
void RepairDistortionSweepSettings(DistortionSweepSettings &s);

} // namespace app
