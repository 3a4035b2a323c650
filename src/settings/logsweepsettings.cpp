#include "settings/logsweepsettings.h"

#include "settings/sweepsettings.h"

#include <cmath>

namespace app {

void RepairLogSweepSettings(LogSweepSettings &s)
{
    const LogSweepSettings d;
    if (s.Method != SweepMethod::Stepped && s.Method != SweepMethod::LogSweep &&
        s.Method != SweepMethod::Distortion)
        s.Method = d.Method;
    if (!(s.Seconds >= kLogSweepSecondsMin && s.Seconds <= kLogSweepSecondsMax))
        s.Seconds = d.Seconds;
    if (s.Averages < 1 || s.Averages > dsp::kLogSweepMaxAverages)
        s.Averages = d.Averages;
    if (!(s.WindowMs >= kLogSweepWindowMsMin && s.WindowMs <= kLogSweepWindowMsMax))
        s.WindowMs = d.WindowMs;
    if (!dsp::IsLogSweepSmoothing(s.Smoothing))
        s.Smoothing = d.Smoothing;
}

dsp::LogSweepParameters LogSweepParametersOf(const SweepParameters &sweep, const LogSweepSettings &log)
{
    dsp::LogSweepParameters p;
    p.FromHz = sweep.FreqFrom;
    p.ToHz = sweep.FreqTo;
    p.Seconds = log.Seconds;
    p.LevelDb = sweep.LevelDig;
    p.Mode = sweep.Mode;
    p.Averages = log.Averages;
    p.Harmonics = log.Harmonics ? dsp::kLogSweepMaxHarmonic : 1;
    p.WindowMs = log.WindowMs;
    p.Smoothing = log.Smoothing;
    p.TailSeconds = kLogSweepTailSeconds;
    return p;
}

} // namespace app
