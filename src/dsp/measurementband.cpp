// Measurement band: AES17 low-pass edge, A-weighting, weighting curves.
#include "dsp/measurementband.h"

#include "dsp/fft.h"
#include "platform/inifile.h"

#include <cmath>

namespace dsp {

double Aes17EdgeHz(BandLimit limit) noexcept
{
    switch (limit) {
    case BandLimit::Aes17_20k:
        return 20000.0;
    case BandLimit::Aes17_40k:
        return 40000.0;
    case BandLimit::HalfRate:
        break;
    }
    return 0.0;
}

double BandUpperHz(const MeasurementBand &band, double sampleRate) noexcept
{
    const double half = sampleRate > 0.0 && std::isfinite(sampleRate) ? sampleRate / 2.0 : 0.0;
    const double edge = Aes17EdgeHz(band.limit);
    return edge > 0.0 && edge < half ? edge : half;
}

double AWeightingDb(double f) noexcept
{
    if (!(f > 0.0) || !std::isfinite(f))
        return kNoSignalDb;
    const double f2 = f * f;
    const double r = 12194.0 * 12194.0 * f2 * f2 /
                     ((f2 + 20.6 * 20.6) * std::sqrt((f2 + 107.7 * 107.7) * (f2 + 737.9 * 737.9)) *
                      (f2 + 12194.0 * 12194.0));
    return 20.0 * std::log10(r) + 2.0;
}

double BandPowerGain(const MeasurementBand &band, double freqHz, double sampleRate) noexcept
{
    if (freqHz < band.lowHz || freqHz > BandUpperHz(band, sampleRate))
        return 0.0;
    switch (band.weighting) {
    case BandWeighting::A:
        return std::pow(10.0, AWeightingDb(freqHz) / 10.0);
    case BandWeighting::Curve:
        if (band.curve)
            return std::pow(10.0, band.curve->apply(-1.0, freqHz, 0.0) / 10.0);
        break;
    case BandWeighting::None:
        break;
    }
    return 1.0;
}

std::string BandText(const MeasurementBand &band, double sampleRate, char language,
                     const std::string &curveName)
{
    const bool de = language == 'D';
    std::string text;
    if (band.limit != BandLimit::HalfRate && Aes17EdgeHz(band.limit) < sampleRate / 2.0)
        text = band.limit == BandLimit::Aes17_20k ? "AES17 20 kHz" : "AES17 40 kHz";
    else
        text = platform::FormatFixed(band.lowHz, 0) + " Hz \u2026 " +
               platform::FormatFixed(BandUpperHz(band, sampleRate), 0) + " Hz";
    if (band.weighting == BandWeighting::A)
        text += de ? ", A-bewertet" : ", A-weighted";
    else if (band.weighting == BandWeighting::Curve && !curveName.empty())
        text += ", " + curveName;
    return text;
}

} // namespace dsp
