#include "settings/distortionsweepsettings.h"

#include <cmath>

namespace app {

void RepairDistortionSweepSettings(DistortionSweepSettings &s)
{
    const DistortionSweepSettings d;
    if (s.Vs != DistortionAxis::Frequency && s.Vs != DistortionAxis::Level && s.Vs != DistortionAxis::Imd)
        s.Vs = d.Vs;
    if (s.Unit != DistortionUnit::DbFS && s.Unit != DistortionUnit::DbV && s.Unit != DistortionUnit::Dbu &&
        s.Unit != DistortionUnit::Watt)
        s.Unit = d.Unit;
    if (!(std::isfinite(s.LoadOhms) && s.LoadOhms >= kDistLoadMin && s.LoadOhms <= kDistLoadMax))
        s.LoadOhms = d.LoadOhms;
    auto inRange = [](std::int32_t v, std::int32_t lo, std::int32_t hi) { return v >= lo && v <= hi; };
    if (!inRange(s.FromHz, kDistFreqMin, kDistFreqMax) || !inRange(s.ToHz, kDistFreqMin, kDistFreqMax) ||
        s.ToHz <= s.FromHz) {
        s.FromHz = d.FromHz;
        s.ToHz = d.ToHz;
    }
    if (!inRange(s.Steps, 1, kDistStepsMax))
        s.Steps = d.Steps;
    if (!inRange(s.LevelDb, kDistLevelMin, kDistLevelMax))
        s.LevelDb = d.LevelDb;
    if (!(std::isfinite(s.FrequencyHz) && s.FrequencyHz >= kDistFreqMin && s.FrequencyHz <= kDistFreqMax))
        s.FrequencyHz = d.FrequencyHz;
    if (!inRange(s.FromDb, kDistLevelMin, kDistLevelMax) || !inRange(s.ToDb, kDistLevelMin, kDistLevelMax) ||
        s.ToDb < s.FromDb) {
        s.FromDb = d.FromDb;
        s.ToDb = d.ToDb;
    }
    if (!inRange(s.StepDb, 1, kDistStepDbMax))
        s.StepDb = d.StepDb;
    if (!inRange(s.SettleMs, 0, kDistSettleMsMax))
        s.SettleMs = d.SettleMs;
}

} // namespace app
