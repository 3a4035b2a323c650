// Harmonic distortion, THD+N, noise and dynamic range from one channel's
// magnitude spectrum (SpectrumTransform, dsp/fft.h).
//
// Harmonic readout: the fundamental and H2 … H9, each the power of the bins
// around k·f over the window's main lobe (dsp/tonepower.h), as a level re the
// fundamental in dB and in percent; THD = sqrt(Σ Hk²) / H1 over the
// harmonics read; THD+N = the band's power without the fundamental (the
// bins within ±12 of it, fewer when the harmonics are closer) re the
// fundamental's power; noise = sqrt(THD+N² − THD²) with the harmonics
// weighted as the band weights them. Harmonics above the band's upper edge
// or whose lobe does not fit below half the rate are left out and marked.
// All ratios are re the fundamental's amplitude.
//
// Noise: the power of the band's bins as a level in dBFS (0 dBFS = the RMS
// of a full-scale sine, AES17). Dynamic range per AES17: the THD+N of a
// −60 dBFS 997 Hz tone in the 20 kHz band, as its residual's level re full
// scale: −(THD+N in dB + the tone's level in dBFS), which is THD+N + 60 dB
// for a tone at exactly −60 dBFS.
//
// Use a window fit for distortion (WindowShape::fitForDistortion:
// Bla/Harris, Flat-Top, Rife-Vinc1..3); the others leak the fundamental into
// the residual. Readings are computed for every window and say whether it
// was fit. Even the fit ones leak a tone between two bins into the residual
// at their own floor, re the tone (any FFT size): Bla/Harris -99 dB,
// Rife-Vinc1 -106 dB, Flat-Top -122 dB, Rife-Vinc2 -131 dB, Rife-Vinc3
// -137 dB; so the 16-bit limit (-98 dB) wants Flat-Top or Rife-Vinc2/3, and
// 24-bit converters Rife-Vinc3, whose floor is then the single-precision
// spectrum's.
//
// Threads: any; nothing allocates.
#pragma once

#include "dsp/distortiontexts.h"
#include "dsp/fft.h"
#include "dsp/measurementband.h"

namespace dsp {

constexpr int kHighestHarmonic = 9;
constexpr int kHarmonicCount = kHighestHarmonic - 1; // H2 .. H9
// Bins either side of the fundamental that THD+N leaves out (as the
// analyser's THD+N line does).
constexpr int kFundamentalExcludedBins = 12;

// Whether a component was read, or why not.
enum class ComponentState : int {
    Measured = 0,
    AboveBand = 1,     // above the band's upper edge
    AboveHalfRate = 2, // its main lobe does not fit below half the rate
};

struct Component {
    int order = 0;           // harmonic order, or 0 for an intermodulation product
    double frequencyHz = 0.0;
    double amplitude = 0.0;  // sine peak, full-scale units (0 when not measured)
    double ratio = 0.0;      // amplitude re the reading's reference
    double levelDb = 0.0;    // 20·log10(ratio); kNoSignalDb when 0
    double percent() const { return 100.0 * ratio; }
    ComponentState state = ComponentState::Measured;
};

struct HarmonicSetup {
    // Frequency of the stimulus when it is known (generator, sweep); the
    // tone is then looked for within two bins of it. 0: the strongest bin
    // above `threshold` is the fundamental.
    double fundamentalHz = 0.0;
    // Linear magnitude the strongest bin must exceed (as the analyser's
    // threshold); used when fundamentalHz is 0.
    double threshold = 0.0;
    MeasurementBand band;
};

struct HarmonicReading {
    DistortionStatus status = DistortionStatus::NoSpectrum;
    bool windowFit = false;        // the window is fit for distortion readings
    double binHz = 0.0;            // rate / N
    double upperHz = 0.0;          // the band's upper edge as used
    double fundamentalHz = 0.0;    // as found (between bins)
    double fundamentalAmplitude = 0.0; // sine peak, full-scale units
    double fundamentalDbfs = kNoSignalDb;
    Component harmonics[kHarmonicCount]; // harmonics[k - 2] is Hk
    int measuredCount = 0;         // harmonics read
    int firstOmitted = 0;          // lowest order left out (0: none)
    bool omittedAboveHalfRate = false; // why the first omitted one was left out
    double omittedLimitHz = 0.0;       // the edge it lies above
    double thd = 0.0, thdn = 0.0, noise = 0.0; // ratios re the fundamental
    double thdDb = kNoSignalDb, thdnDb = kNoSignalDb, noiseDb = kNoSignalDb;
    double residualDbfs = kNoSignalDb; // level of everything THD+N counts
    double noiseDbfs = kNoSignalDb;    // level of the noise alone

    const Component &harmonic(int order) const { return harmonics[order - 2]; }
};

// Reads the fundamental, H2 … H9, THD, THD+N and noise from the
// magnitudes of an `fftSize`-point spectrum (fftSize/2 values) taken at
// `sampleRate` with window `windowType`. status is Ok, NoSpectrum,
// NoFundamental, NotResolved (the fundamental lies closer to 0 Hz than two
// main lobes, so its harmonics would overlap) or FundamentalAboveBand; on
// anything but Ok only status, windowFit, binHz, upperHz and (when found)
// fundamentalHz are set.
HarmonicReading AnalyseHarmonics(const float *magnitudes, int fftSize, double sampleRate,
                                 int windowType, const HarmonicSetup &setup) noexcept;

// The message for a reading whose status is not Ok ("" when it is).
std::string HarmonicStatusText(const HarmonicReading &reading, char language);
// The note to show for the harmonics a reading left out ("" when none).
std::string HarmonicsOmittedText(const HarmonicReading &reading, char language);

struct NoiseReading {
    DistortionStatus status = DistortionStatus::NoSpectrum;
    double rms = 0.0;            // RMS in full-scale units
    double dbfs = kNoSignalDb;   // re the RMS of a full-scale sine
};

// The noise in the band, every bin counted (the input idle). The bins of the
// 0 Hz main lobe are always left out, so a DC offset does not count.
NoiseReading MeasureNoise(const float *magnitudes, int fftSize, double sampleRate, int windowType,
                          const MeasurementBand &band) noexcept;

// The three noise figures at once: unweighted up to half the rate,
// A-weighted and unweighted in the AES17 20 kHz band (all from `lowHz`).
struct NoiseLevels {
    NoiseReading unweighted, aWeighted, aes17;
};
NoiseLevels MeasureNoiseLevels(const float *magnitudes, int fftSize, double sampleRate,
                               int windowType, double lowHz = 20.0) noexcept;

// Signal-to-noise ratio of a reference level against a noise level (dB).
double SignalToNoiseDb(double referenceDbfs, double noiseDbfs) noexcept;

// The AES17 dynamic-range stimulus.
constexpr double kDynamicRangeToneHz = 997.0;
constexpr double kDynamicRangeToneDbfs = -60.0;

struct DynamicRangeReading {
    DistortionStatus status = DistortionStatus::NoSpectrum;
    double dynamicRangeDb = 0.0; // -(THD+N dB + tone dBFS)
    double thdnDb = kNoSignalDb; // THD+N of the tone
    double toneDbfs = kNoSignalDb;
};

// Dynamic range from the spectrum of the −60 dBFS tone at `toneHz`, in
// `band` (by default the AES17 20 kHz band, unweighted).
DynamicRangeReading MeasureDynamicRange(const float *magnitudes, int fftSize, double sampleRate,
                                        int windowType, const MeasurementBand &band = MeasurementBand(),
                                        double toneHz = kDynamicRangeToneHz) noexcept;

} // namespace dsp
