// Readout texts and range steps of the diagram (see diagramreadout.h).
#include "display/diagramreadout.h"

#include "display/diagramlayout.h"
#include "platform/inifile.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace display {

namespace {

// 11025, 22050, 24000 and 28000 are there so a limit can land on the edge of
// the common sample rates' bands.
constexpr std::int32_t kScrollSteps[] = {1,    2,    3,    5,     10,    20,    30,    50,
                                         100,  200,  300,  500,   1000,  2000,  3000,  5000,
                                         10000, 11025, 20000, 22050, 24000, 28000, 30000, 50000};

std::string Cut(std::string text)
{
    if (text.size() > kReadoutLength)
        text.resize(kReadoutLength);
    return text;
}

std::int32_t LinearStep(std::int32_t xmin, std::int32_t xmax)
{
    const std::int64_t d = std::int64_t(xmax) - xmin;
    return d >= 10 ? static_cast<std::int32_t>(d / 10) : 1;
}

// The neighbouring multiple of the automatic step, or the limit moved by the
// manual step; false when there is no usable step.
bool NextLevel(float value, float range, bool up, bool autoStep, float step, float &out)
{
    double next = 0.0;
    if (autoStep) {
        const double s = NiceStep(std::fabs(double(range)) / 10.0);
        next = (std::round(value / s) + (up ? 1 : -1)) * s;
    } else {
        if (!(step > 0.0f) || !std::isfinite(step))
            return false;
        next = double(value) + (up ? step : -step);
    }
    out = static_cast<float>(next);
    return std::isfinite(out);
}

} // namespace

std::int32_t NextScrollStep(std::int32_t value, bool up)
{
    if (up) {
        for (std::int32_t s : kScrollSteps)
            if (s > value)
                return s;
        return value;
    }
    for (auto it = std::rbegin(kScrollSteps); it != std::rend(kScrollSteps); ++it)
        if (*it < value)
            return *it;
    return value;
}

bool StepUpperFrequency(std::int32_t &xmax, std::int32_t xmin, bool up, bool logX)
{
    std::int32_t next = 0;
    if (logX) {
        next = NextScrollStep(xmax, up);
    } else {
        const std::int64_t moved = std::int64_t(xmax) + (up ? 1 : -1) * std::int64_t(LinearStep(xmin, xmax));
        next = static_cast<std::int32_t>(std::min<std::int64_t>(moved, kHighestFrequency));
    }
    if (next <= xmin || next == xmax)
        return false;
    xmax = next;
    return true;
}

bool StepLowerFrequency(std::int32_t &xmin, std::int32_t xmax, bool up, bool logX)
{
    std::int32_t next = 0;
    if (logX) {
        next = NextScrollStep(xmin, up);
    } else {
        const std::int64_t moved = std::int64_t(xmin) + (up ? 1 : -1) * std::int64_t(LinearStep(xmin, xmax));
        next = static_cast<std::int32_t>(std::max<std::int64_t>(moved, 1));
    }
    if (next >= xmax || next == xmin)
        return false;
    xmin = next;
    return true;
}

bool StepLevelTop(float &ymax, float ymin, bool up, bool autoStep, float step)
{
    float next = 0.0f;
    if (!NextLevel(ymax, ymax - ymin, up, autoStep, step, next) || next <= ymin || next == ymax)
        return false;
    ymax = next;
    return true;
}

bool StepLevelBottom(float &ymin, float ymax, bool up, bool autoStep, float step)
{
    float next = 0.0f;
    if (!NextLevel(ymin, ymax - ymin, up, autoStep, step, next) || next >= ymax || next == ymin)
        return false;
    ymin = next;
    return true;
}

std::string ClickReadout(double scaledFrequency, const std::string &unit, double levelDb)
{
    return Cut(platform::FormatFixed(scaledFrequency, 1) + unit + "/" + platform::FormatFixed(levelDb, 1) + "dB");
}

std::string FrequencyReadout(double scaledFrequency, const std::string &unit)
{
    return Cut(platform::FormatFixed(scaledFrequency, 2) + unit);
}

std::string LevelReadout(double differenceDb, const std::string &ratioWord)
{
    std::string ratio;
    if (differenceDb >= 0.0) {
        ratio = platform::FormatFixed(std::pow(10.0, differenceDb / 20.0), 2) + ratioWord;
    } else {
        const double percent = 100.0 * std::pow(10.0, differenceDb / 20.0);
        ratio = platform::FormatFixed(percent, percent <= 1.0 ? 5 : 1) + "%";
    }
    return Cut(platform::FormatFixed(differenceDb, 1) + "dB / " + ratio);
}

std::string SlopeReadout(double differenceDb, double frequencyRatio, const std::string &slopeUnit)
{
    const double octaves = std::log(frequencyRatio) / std::log(2.0);
    return Cut(platform::FormatFixed(std::fabs(differenceDb / octaves), 1) + slopeUnit);
}

} // namespace display
