// Harmonic readout, THD+N, noise and dynamic range.
#include "dsp/harmonics.h"

#include "dsp/fft.h"
#include "dsp/tonepower.h"

#include <algorithm>
#include <cmath>

namespace dsp {

namespace {

bool Usable(const float *magnitudes, int fftSize, double sampleRate, const WindowShape &shape)
{
    return magnitudes && IsSupportedFftSize(fftSize) && sampleRate > 0.0 && std::isfinite(sampleRate) &&
           shape.lobeBins >= 1;
}

// Weighted power of the bins from just above the 0 Hz lobe to the top,
// leaving out the bins within ±exclude of `skipCentre` (none when negative).
double BandPower(const float *magnitudes, int bins, double binHz, double sampleRate, int lobeBins,
                 const MeasurementBand &band, int skipCentre, int exclude)
{
    double sum = 0.0;
    for (int i = lobeBins + 1; i < bins; ++i) {
        if (skipCentre >= 0 && std::abs(i - skipCentre) <= exclude)
            continue;
        const double m = magnitudes[i];
        if (m == 0.0)
            continue;
        sum += m * m * BandPowerGain(band, i * binHz, sampleRate);
    }
    return sum;
}

// The strongest bin above `threshold` outside the 0 Hz lobe whose lobe fits
// below the top (the lowest of equal maxima wins); -1 when none.
int StrongestBin(const float *magnitudes, int bins, int lobeBins, double threshold)
{
    int best = -1;
    double largest = threshold;
    for (int i = lobeBins + 1; i + lobeBins < bins; ++i) {
        if (magnitudes[i] > largest) {
            largest = magnitudes[i];
            best = i;
        }
    }
    return best;
}

} // namespace

HarmonicReading AnalyseHarmonics(const float *magnitudes, int fftSize, double sampleRate,
                                 int windowType, const HarmonicSetup &setup) noexcept
{
    HarmonicReading r;
    const WindowShape shape = WindowShapeOf(windowType);
    r.windowFit = shape.fitForDistortion;
    if (!Usable(magnitudes, fftSize, sampleRate, shape))
        return r;
    const int bins = fftSize / 2;
    const int lobe = shape.lobeBins;
    const double binHz = sampleRate / fftSize;
    const double halfRate = sampleRate / 2.0;
    const double upper = BandUpperHz(setup.band, sampleRate);
    r.binHz = binHz;
    r.upperHz = upper;

    // The fundamental's position between bins.
    double pos = -1.0;
    if (setup.fundamentalHz > 0.0 && std::isfinite(setup.fundamentalHz)) {
        const double near = setup.fundamentalHz / binHz;
        if (near < 2 * lobe + 1) {
            r.status = DistortionStatus::NotResolved;
            r.fundamentalHz = setup.fundamentalHz;
            return r;
        }
        pos = ToneBinPosition(magnitudes, bins, near, 2, shape);
    } else {
        const int peak = StrongestBin(magnitudes, bins, lobe, setup.threshold);
        if (peak >= 0)
            pos = ToneBinPosition(magnitudes, bins, peak, 0, shape);
    }
    if (pos < 0.0) {
        r.status = DistortionStatus::NoFundamental;
        return r;
    }
    r.fundamentalHz = pos * binHz;
    // Harmonics one fundamental apart must not share lobe bins.
    if (pos < 2 * lobe + 1) {
        r.status = DistortionStatus::NotResolved;
        return r;
    }
    if (r.fundamentalHz > upper) {
        r.status = DistortionStatus::FundamentalAboveBand;
        return r;
    }
    const int centre = static_cast<int>(std::lround(pos));
    const double p1 = LobePower(magnitudes, bins, centre, lobe);
    // Nothing but noise where the fundamental was looked for: reading it
    // would give the real tone elsewhere as its "distortion".
    if (!(p1 > 0.0) || !StandsOut(magnitudes, bins, centre, shape)) {
        r.status = DistortionStatus::NoFundamental;
        return r;
    }
    r.status = DistortionStatus::Ok;
    r.fundamentalAmplitude = LobeAmplitude(p1, shape);
    r.fundamentalDbfs = PowerToDbfs(p1, shape);

    double thd2 = 0.0, weightedThd2 = 0.0;
    for (int k = 2; k <= kHighestHarmonic; ++k) {
        Component &h = r.harmonics[k - 2];
        h.order = k;
        h.frequencyHz = k * r.fundamentalHz;
        const long c = std::lround(k * pos);
        if (h.frequencyHz > upper)
            h.state = upper < halfRate ? ComponentState::AboveBand : ComponentState::AboveHalfRate;
        else if (c + lobe > bins - 1)
            h.state = ComponentState::AboveHalfRate;
        if (h.state != ComponentState::Measured) {
            h.levelDb = kNoSignalDb;
            if (r.firstOmitted == 0) {
                r.firstOmitted = k;
                r.omittedAboveHalfRate = h.state == ComponentState::AboveHalfRate;
                r.omittedLimitHz = r.omittedAboveHalfRate ? halfRate : upper;
            }
            continue;
        }
        const double pk = LobePower(magnitudes, bins, static_cast<int>(c), lobe);
        h.amplitude = LobeAmplitude(pk, shape);
        h.ratio = std::sqrt(pk / p1);
        h.levelDb = RatioToDb(h.ratio);
        thd2 += pk / p1;
        weightedThd2 += pk / p1 * BandPowerGain(setup.band, h.frequencyHz, sampleRate);
        ++r.measuredCount;
    }

    // Everything but the fundamental: ±12 bins left out, fewer when the
    // fundamental is so low that H2's lobe would fall inside.
    const int exclude = std::min(kFundamentalExcludedBins, static_cast<int>(std::floor(pos)) - lobe - 1);
    const double residual = BandPower(magnitudes, bins, binHz, sampleRate, lobe, setup.band, centre, exclude);
    r.thd = std::sqrt(thd2);
    r.thdn = std::sqrt(residual / p1);
    r.noise = std::sqrt(std::max(0.0, residual / p1 - weightedThd2));
    r.thdDb = RatioToDb(r.thd);
    r.thdnDb = RatioToDb(r.thdn);
    r.noiseDb = RatioToDb(r.noise);
    r.residualDbfs = PowerToDbfs(residual, shape);
    r.noiseDbfs = r.noise > 0.0 ? r.fundamentalDbfs + r.noiseDb : kNoSignalDb;
    return r;
}

std::string HarmonicStatusText(const HarmonicReading &reading, char language)
{
    switch (reading.status) {
    case DistortionStatus::NotResolved:
        return DistortionStatusText(reading.status, language, reading.fundamentalHz, reading.binHz);
    case DistortionStatus::FundamentalAboveBand:
        return DistortionStatusText(reading.status, language, reading.fundamentalHz, reading.upperHz);
    default:
        return DistortionStatusText(reading.status, language);
    }
}

std::string HarmonicsOmittedText(const HarmonicReading &reading, char language)
{
    if (reading.status != DistortionStatus::Ok)
        return std::string();
    return HarmonicsOmittedText(reading.firstOmitted, reading.omittedAboveHalfRate, reading.omittedLimitHz,
                                language);
}

NoiseReading MeasureNoise(const float *magnitudes, int fftSize, double sampleRate, int windowType,
                          const MeasurementBand &band) noexcept
{
    NoiseReading r;
    const WindowShape shape = WindowShapeOf(windowType);
    if (!Usable(magnitudes, fftSize, sampleRate, shape))
        return r;
    const double power = BandPower(magnitudes, fftSize / 2, sampleRate / fftSize, sampleRate, shape.lobeBins,
                                   band, -1, 0);
    r.status = DistortionStatus::Ok;
    // Σ|X|² over the positive half is half the windowed mean square.
    r.rms = std::sqrt(2.0 * power / shape.meanSquare);
    r.dbfs = PowerToDbfs(power, shape);
    return r;
}

NoiseLevels MeasureNoiseLevels(const float *magnitudes, int fftSize, double sampleRate, int windowType,
                               double lowHz) noexcept
{
    MeasurementBand band;
    band.lowHz = lowHz;
    NoiseLevels n;
    band.limit = BandLimit::HalfRate;
    n.unweighted = MeasureNoise(magnitudes, fftSize, sampleRate, windowType, band);
    band.limit = BandLimit::Aes17_20k;
    n.aes17 = MeasureNoise(magnitudes, fftSize, sampleRate, windowType, band);
    band.weighting = BandWeighting::A;
    n.aWeighted = MeasureNoise(magnitudes, fftSize, sampleRate, windowType, band);
    return n;
}

double SignalToNoiseDb(double referenceDbfs, double noiseDbfs) noexcept { return referenceDbfs - noiseDbfs; }

DynamicRangeReading MeasureDynamicRange(const float *magnitudes, int fftSize, double sampleRate,
                                        int windowType, const MeasurementBand &band, double toneHz) noexcept
{
    HarmonicSetup setup;
    setup.fundamentalHz = toneHz;
    setup.band = band;
    const HarmonicReading h = AnalyseHarmonics(magnitudes, fftSize, sampleRate, windowType, setup);
    DynamicRangeReading r;
    r.status = h.status;
    if (h.status != DistortionStatus::Ok)
        return r;
    r.thdnDb = h.thdnDb;
    r.toneDbfs = h.fundamentalDbfs;
    r.dynamicRangeDb = -h.residualDbfs;
    return r;
}

} // namespace dsp
