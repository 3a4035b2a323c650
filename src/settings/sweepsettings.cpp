#include "settings/sweepsettings.h"

#include "platform/numbers.h"

#include <algorithm>
#include <cstdint>

namespace app {

void RepairSweepParameters(SweepParameters &p, SweepRepair what)
{
    p.LevelDig = std::clamp(p.LevelDig, kSweepLevelMin, kSweepLevelMax);
    p.SettleMs = std::clamp(p.SettleMs, 0, kSweepSettleMsMax);
    if (what == SweepRepair::All) {
        // The start stays below the top, so that the repaired stop cannot
        // leave the range (nor overflow).
        p.FreqFrom = std::clamp(p.FreqFrom, kSweepFreqMin, kSweepFromMax);
        p.FreqTo = std::min(p.FreqTo, kSweepFreqMax);
        if (p.FreqFrom >= p.FreqTo)
            p.FreqTo = p.FreqFrom + kSweepFreqGap;
    }
    p.Steps = std::clamp(p.Steps, 1, kSweepStepsMax);
    if (p.Mode < 0 || p.Mode > 2)
        p.Mode = 0;
}

std::string SweepParameterFault(const SweepParameters &p)
{
    SweepParameters r = p;
    RepairSweepParameters(r);
    const auto whole = [](std::int64_t v) { return std::to_string(v); };
    const auto number = [](double v) { return platform::FormatNumber(v, 'g', 9); };
    if (r.FreqFrom != p.FreqFrom)
        return "the start frequency " + whole(p.FreqFrom) + " Hz lies outside " + whole(kSweepFreqMin) + " to " +
               whole(kSweepFromMax) + " Hz";
    if (p.FreqTo > kSweepFreqMax)
        return "the stop frequency " + whole(p.FreqTo) + " Hz lies above " + whole(kSweepFreqMax) + " Hz";
    if (r.FreqTo != p.FreqTo)
        return "the stop frequency " + whole(p.FreqTo) + " Hz is not above the start frequency " +
               whole(p.FreqFrom) + " Hz";
    if (r.Steps != p.Steps)
        return "the step count " + whole(p.Steps) + " lies outside 1 to " + whole(kSweepStepsMax);
    if (r.LevelDig != p.LevelDig)
        return "the level " + number(p.LevelDig) + " dB lies outside " + number(kSweepLevelMin) + " to " +
               number(kSweepLevelMax) + " dB";
    if (r.SettleMs != p.SettleMs)
        return "the settling time " + whole(p.SettleMs) + " ms lies outside 0 to " + whole(kSweepSettleMsMax) + " ms";
    if (r.Mode != p.Mode)
        return "the reference mode " + whole(p.Mode) + " is none of 0, 1 and 2";
    return {};
}

} // namespace app
