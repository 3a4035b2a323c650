#include "dsp/calibration.h"

#include "platform/inifile.h"

#include <cmath>

namespace dsp {

double CalibrationReading(const float *block, int count) noexcept
{
    double sum = 0.0;
    for (int i = 0; i < count; ++i)
        sum += std::fabs(static_cast<double>(block[i]));
    return sum / 50.0;
}

namespace {

std::string Trimmed(const std::string &s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool Number(const std::string &text, float &out)
{
    double v = 0.0;
    if (!platform::ParseFloat(Trimmed(text), v) || !std::isfinite(static_cast<float>(v)))
        return false;
    out = static_cast<float>(v);
    return true;
}

} // namespace

bool ReadCalibrationValues(const std::string &voltage, const std::string &factor, const std::string &offset,
                           CalibrationValues &out)
{
    CalibrationValues v;
    if (!Number(voltage, v.VoltageMv) || !Number(factor, v.Factor) || !Number(offset, v.Offset))
        return false;
    if (!(v.VoltageMv > 0.0f) || !(v.Factor > 0.0f))
        return false;
    out = v;
    return true;
}

} // namespace dsp
