// THD+N and weighted band level from one channel's magnitude spectrum, the
// analysis settings record and its INI section "ANALYSE".
//
// Units: magnitudes as left by SpectrumTransform (N/2 bins, bin i at
// i·SampleRate/N Hz); frequencies in Hz; results in dB. `factor` turns a
// natural logarithm into dB: every caller passes kLnToDb (20/ln 10).
//
// Threads: user-interface thread (the analyser run and the analysis dialog).
#pragma once

#include "dsp/correction.h"

#include <string>

namespace platform {
class IniFile;
}

namespace dsp {

// The analysis settings record.
struct AnalysisSettings {
    bool thdMess = false;        // show the THD+N line
    bool noiseMess = false;      // show the level line
    bool harmMess = false;       // show the harmonics (or intermodulation) line
    // AES17 measurement bandwidth for THD+N and level: 0 off, 20 or 40 (kHz).
    // The band's upper edge becomes the lower of highFreq and the AES17
    // edge; 40 kHz needs a rate above 80 kHz and gives 20 kHz below it.
    int aes17 = 0;
    bool fundAuto = true;        // find the fundamental automatically
    double sampleRate = 44100.0; // Hz, set by the analyser before each computation
    int fftSize = 4096;          // N, set by the analyser before each computation
    int windowType = 8;          // window of the spectra (WindowType), set likewise
    std::string filterName = "none"; // item text of the selected weighting
    int lowFreq = 100;           // band limits, Hz (both ends included)
    int highFreq = 20000;
    double threshold = 0.001;    // linear magnitude a bin must exceed to be the fundamental
    double binWidth = 0.0;       // SampleRate/N, recomputed by every computation
    double fundamental = 1000.0; // Hz: the manual value, or the last one found
};

// The AES17 edge the settings ask for at their sample rate, Hz (0: none).
double Aes17UpperHz(const AnalysisSettings &settings);
// The upper band edge THD+N and level use: highFreq, or the AES17 edge when
// that lies lower.
double EffectiveHighHz(const AnalysisSettings &settings);

// Lowest bin with the largest magnitude above settings.threshold, in Hz; 0
// when no bin exceeds the threshold or the largest is bin 0 (DC). Sets
// settings.binWidth. `magnitudes` holds settings.fftSize/2 values.
double FindFundamental(const float *magnitudes, AnalysisSettings &settings);

// THD+N in dB: the power in the band [lowFreq, highFreq] without the ±12
// bins around the fundamental, relative to the power of the whole spectrum.
// With fundAuto the fundamental is found first (whole Hz) and stored in
// settings.fundamental. With no fundamental (0) the result is the band's
// absolute level. kNoSignalDb when either sum is 0. `weighting` is applied
// (sign -1) to every bin when it has points and is active.
//
// The ±12 bins hold the fundamental only where the window's leakage falls
// off fast enough: Bla/Harris, Flat-Top and Rife-Vinc1 to 3 agree on a
// THD+N near -80 dB. With None, Hamming, van Hann and Blackman the
// fundamental's own leakage beyond those bins reads as distortion (at 16384
// points a -77 dB device reads about -19, -37, -70 and -75 dB).

double ThdN(const float *magnitudes, AnalysisSettings &settings, const CorrectionCurve &weighting,
            double factor);

// Weighted level of the band [lowFreq, highFreq] in dB:
// ln(sqrt(sum m²))·factor + 8.17 + window + levelOffset, or kNoSignalDb for
// an empty sum. levelOffset is the level unit's shift (0 for dBFS). The band
// sum grows with the window's power gain (the mean of its squared values)
// for a sine and for noise alike; 8.17 dB calibrates it for the default
// window, Rife-Vinc3, and `window` = 10·log10(power gain of Rife-Vinc3 /
// power gain of settings.windowType) gives every other window the same
// reading (0 for a type outside 0..8).
double BandLevel(const float *magnitudes, AnalysisSettings &settings,
                 const CorrectionCurve &weighting, double levelOffset, double factor);

// Section "ANALYSE" of the settings file.
constexpr const char *kAnalysisSection = "ANALYSE";

// The analysis unit: owns the settings record and the weighting curve.
class SpectrumAnalysis {
public:
    SpectrumAnalysis(); // flat weighting, inactive

    AnalysisSettings &settings() { return settings_; }
    const AnalysisSettings &settings() const { return settings_; }
    CorrectionCurve &weighting() { return weighting_; }
    const CorrectionCurve &weighting() const { return weighting_; }

    // A built-in item sets the curve from its table and switches it on;
    // "none" sets the flat table and switches it off; any other name
    // ("USER") keeps the points and switches the curve on. filterName
    // becomes `name` in every case.
    void selectFilter(const std::string &name);

    double findFundamental(const float *magnitudes) { return FindFundamental(magnitudes, settings_); }
    double thdN(const float *magnitudes, double factor)
    {
        return ThdN(magnitudes, settings_, weighting_, factor);
    }
    double bandLevel(const float *magnitudes, double levelOffset, double factor)
    {
        return BandLevel(magnitudes, settings_, weighting_, levelOffset, factor);
    }

    // Reads THDMESS, NOISEMESS, FUNDAUTO (true unless exactly "FALSE"),
    // FUNDAMENTAL, FVON, FBIS (whole Hz; unparsable or 0 gives 1000, 100,
    // 20000, a negative value its absolute value), FUNDLOW (not a positive
    // number gives 0.001) and FILTER (passed to selectFilter; default "none").
    void readSettings(const platform::IniFile &ini);
    // Also HARMMESS (as THDMESS) and AES17 (0, 20 or 40; anything else 0).
    // Writes the same keys (booleans "TRUE"/"FALSE", FUNDLOW with 7 decimals).
    void writeSettings(platform::IniFile &ini) const;
    // The same on a file: read loads it (a missing file gives the defaults);
    // write returns false when the file could not be written.
    void readSettingsFile(const std::string &fileName);
    bool writeSettingsFile(const std::string &fileName) const;

private:
    AnalysisSettings settings_;
    CorrectionCurve weighting_;
};

// The program's analysis unit (user-interface thread).
SpectrumAnalysis &UnitAnalysis();

} // namespace dsp
