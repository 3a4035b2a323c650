// The oscilloscope run without widgets (see scoperun.h).
#include "measurement/scoperun.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace measure {

namespace {

const ScopeStep kVolts[kScopeVoltsSteps] = {
    {"100µV", 0.0001}, {"200µV", 0.0002}, {"500µV", 0.0005}, {"1mV", 0.001},  {"2mV", 0.002},
    {"5mV", 0.005},    {"10mV", 0.01},    {"20mV", 0.02},    {"50mV", 0.05},  {"100mV", 0.1},
    {"200mV", 0.2},    {"500mV", 0.5},    {"1V", 1.0},       {"2V", 2.0},
};

const ScopeStep kTimebase[kScopeTimebaseSteps] = {
    {"X-Y", -1.0},    {"50µs", 0.00005}, {"100µs", 0.0001}, {"200µs", 0.0002}, {"500µs", 0.0005},
    {"1ms", 0.001},   {"2ms", 0.002},    {"5ms", 0.005},    {"10ms", 0.01},
};

// Rates a device may offer in place of the classic ones, ascending.
constexpr std::int32_t kCommonRates[] = {8000,  11025, 16000, 22050,  32000, 44100,
                                         48000, 88200, 96000, 176400, 192000};

constexpr std::int32_t kMinSamples = 1024;
constexpr std::int32_t kMaxSamples = 32768;

// A supported rate to use instead of `wanted`: the lowest above it, else the
// highest below it; 0 when the device takes none of them.
std::int32_t SubstituteRate(std::int32_t wanted, const std::function<bool(int)> &supports16)
{
    for (std::int32_t r : kCommonRates)
        if (r > wanted && supports16(r))
            return r;
    for (auto it = std::rbegin(kCommonRates); it != std::rend(kCommonRates); ++it)
        if (*it < wanted && supports16(*it))
            return *it;
    return 0;
}

} // namespace

long double ScopeVoltsFullScale(double inputCalibrationMv)
{
    return std::sqrt(2.0L) / 1000.0L * inputCalibrationMv;
}

const ScopeStep &ScopeVolts(int index) { return kVolts[std::clamp(index, 1, kScopeVoltsSteps) - 1]; }

const ScopeStep &ScopeTimebase(int index) { return kTimebase[std::clamp(index, 1, kScopeTimebaseSteps) - 1]; }

ScopeRate ChooseScopeRate(double t, const std::function<bool(int)> &supports16)
{
    const bool xy = t < 0.0;
    ScopeRate r;
    if (!xy) {
        if (t < 0.0198 && supports16(11025))
            r = {11025, 2448};
        if (t < 0.0098 && supports16(11025))
            r = {11025, 1300};
        if (t < 0.0048 && supports16(22050))
            r = {22050, 1024};
    }
    const bool fast = t < 0.00198; // includes X-Y
    if (fast && supports16(44100))
        return {44100, 1024};
    // X-Y wants 44100 Hz whatever the device offers below it.
    if (xy)
        r = {44100, 1024};
    if (supports16(r.Rate))
        return r;
    const std::int32_t rate = SubstituteRate(r.Rate, supports16);
    if (rate == 0)
        return r; // nothing fits: the capture reports the device's refusal
    if (xy)
        return {rate, kMinSamples};
    // Half the block is shown: it has to hold the ten divisions. The margin
    // keeps 20 * 0.01 * 48000 from rounding up past 9600.
    const double frames = std::ceil(20.0 * t * rate - 1e-6);
    std::int32_t samples = static_cast<std::int32_t>(std::clamp(frames, double(kMinSamples), double(kMaxSamples)));
    samples = std::min(kMaxSamples, (samples + 1) & ~1);
    return {rate, samples};
}

int ScopeTriggerStart(const float *block, int count, int channel, double scale, double level, bool rising)
{
    const int last = count / 4 - 1;
    for (int j = 0; j < last; ++j) {
        const double a = double(block[2 * j + channel]) * scale;
        const double b = double(block[2 * (j + 1) + channel]) * scale;
        if (rising ? (a <= level && level < b) : (a >= level && level > b))
            return j + 1;
    }
    return std::max(last, 0);
}

} // namespace measure
