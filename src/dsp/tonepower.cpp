// Main lobes, lobe power and tone positions in a magnitude spectrum.
#include "dsp/tonepower.h"

#include "dsp/fft.h"

#include <cmath>

namespace dsp {

namespace {

// Half-widths of the main lobes: a periodic cosine sum of K cosine terms has
// its first zeros K+1 bins from the centre (None: the rectangle, ±1).
constexpr int kLobeBins[kWindowTypeCount] = {1, 2, 2, 3, 4, 5, 3, 4, 5};

// None, Hamming, van Hann and Blackman leak the fundamental past the bins a
// THD+N reading leaves out (their side lobes fall from -13 to -58 dB); the
// others keep it below the distortion of good devices.
constexpr bool kFit[kWindowTypeCount] = {false, false, false, false, true, true, true, true, true};

} // namespace

WindowShape WindowShapeOf(int type)
{
    WindowShape s;
    if (type < 0 || type >= kWindowTypeCount)
        return s;
    // 64 points of the periodic table average every product of cosines up
    // to cos 8x exactly, so the means are those of any size the analyser
    // uses (and carry the same single-precision gain).
    constexpr int n = 64;
    float table[n];
    if (!FillWindow(table, type, n))
        return s;
    double sum = 0.0, sumSquares = 0.0;
    for (float w : table) {
        sum += w;
        sumSquares += double(w) * w;
    }
    s.lobeBins = kLobeBins[type];
    s.mean = sum / n;
    s.meanSquare = sumSquares / n;
    s.fitForDistortion = kFit[type];
    return s;
}

double LobePower(const float *magnitudes, int bins, int centre, int half) noexcept
{
    int from = centre - half, to = centre + half;
    if (from < 0)
        from = 0;
    if (to > bins - 1)
        to = bins - 1;
    double p = 0.0;
    for (int i = from; i <= to; ++i)
        p += double(magnitudes[i]) * magnitudes[i];
    return p;
}

double LobeAmplitude(double lobePower, const WindowShape &shape) noexcept
{
    if (!(lobePower > 0.0) || !(shape.meanSquare > 0.0))
        return 0.0;
    return 2.0 * std::sqrt(lobePower / shape.meanSquare);
}

double PowerToDbfs(double power, const WindowShape &shape) noexcept
{
    if (!(power > 0.0) || !(shape.meanSquare > 0.0))
        return kNoSignalDb;
    return 10.0 * std::log10(4.0 * power / shape.meanSquare);
}

double RatioToDb(double ratio) noexcept
{
    return ratio > 0.0 ? 20.0 * std::log10(ratio) : kNoSignalDb;
}

double ToneBinPosition(const float *magnitudes, int bins, double nearBin, int searchBins,
                       const WindowShape &shape) noexcept
{
    const int half = shape.lobeBins;
    if (!magnitudes || half < 1 || !std::isfinite(nearBin))
        return -1.0;
    const long centre = std::lround(nearBin);
    int peak = -1;
    float largest = -1.0f;
    for (long i = centre - searchBins; i <= centre + searchBins; ++i) {
        if (i - half < 0 || i + half > bins - 1)
            continue;
        if (magnitudes[i] > largest) {
            largest = magnitudes[i];
            peak = static_cast<int>(i);
        }
    }
    if (peak < 0)
        return -1.0;
    double p = 0.0, moment = 0.0;
    for (int i = peak - half; i <= peak + half; ++i) {
        const double q = double(magnitudes[i]) * magnitudes[i];
        p += q;
        moment += q * (i - peak);
    }
    if (!(p > 0.0))
        return -1.0;
    return peak + moment / p;
}

bool StandsOut(const float *magnitudes, int bins, int centre, const WindowShape &shape) noexcept
{
    constexpr int kSideBins = 6;
    constexpr double kMargin = 10.0; // 10 dB in power
    const int half = shape.lobeBins;
    if (!magnitudes || half < 1 || centre - half < 0 || centre + half > bins - 1)
        return false;
    const double lobe = LobePower(magnitudes, bins, centre, half) / (2 * half + 1);
    double quieter = -1.0;
    for (int side : {-1, 1}) {
        double sum = 0.0;
        int count = 0;
        for (int k = half + 1; k <= half + kSideBins; ++k) {
            const int i = centre + side * k;
            if (i < 1 || i > bins - 1) // bin 0 holds the offset, not noise
                break;
            sum += double(magnitudes[i]) * magnitudes[i];
            ++count;
        }
        if (count > 0 && (quieter < 0.0 || sum / count < quieter))
            quieter = sum / count;
    }
    return quieter < 0.0 ? lobe > 0.0 : lobe > 0.0 && lobe >= kMargin * quieter;
}

ToneReading ReadTone(const float *magnitudes, int bins, double binHz, double frequencyHz,
                     const WindowShape &shape) noexcept
{
    ToneReading r;
    r.frequencyHz = frequencyHz;
    if (!magnitudes || !(binHz > 0.0) || !std::isfinite(frequencyHz) || shape.lobeBins < 1)
        return r;
    const double centre = std::round(frequencyHz / binHz);
    if (centre - shape.lobeBins < 0.0 || centre + shape.lobeBins > bins - 1.0)
        return r;
    r.power = LobePower(magnitudes, bins, static_cast<int>(centre), shape.lobeBins);
    r.amplitude = LobeAmplitude(r.power, shape);
    return r;
}

} // namespace dsp
