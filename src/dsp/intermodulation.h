// Intermodulation distortion with the standard two-tone signals: their
// definitions (shared by the generator and the command line), their
// validation, and the reading of the products from a magnitude spectrum.
//
// SMPTE (RP120: 60 Hz + 7 kHz, amplitudes 4:1) and DIN (DIN 45403:
// 250 Hz + 8 kHz, 4:1): IMD = the RMS sum of the sidebands f2 ± f1 and
// f2 ± 2f1, re the amplitude of the high tone f2.
// CCIF / difference-frequency distortion (IEC 60268-3; 19 kHz + 20 kHz,
// 1:1, centre and spacing adjustable):
//   d2 = A(f2 − f1) / (A1 + A2),
//   d3 = [A(2f1 − f2) + A(2f2 − f1)] / (A1 + A2),
// re the sum of the two tones' amplitudes.
// Amplitudes are read as lobe sums (dsp/tonepower.h), the tones' positions
// refined from the spectrum, the products placed from the refined tones.
//
// Level: the two-tone level is the peak of the sum, A1 + A2 = 10^(level/20),
// so a signal at 0 dBFS just reaches full scale.
//
// Threads: any; nothing allocates.
#pragma once

#include "dsp/distortiontexts.h"
#include "dsp/harmonics.h"

namespace dsp {

enum class TwoToneStandard : int { Smpte = 0, Din = 1, Ccif = 2 };

// The standard's name for result lines: "SMPTE", "DIN", "CCIF".
const char *TwoToneStandardName(TwoToneStandard standard);

struct TwoToneSetup {
    TwoToneStandard standard = TwoToneStandard::Smpte;
    double levelDbfs = -6.0; // peak of the sum
    // SMPTE and DIN: the low and the high tone, and the low tone's amplitude
    // as a multiple of the high tone's.
    double lowHz = 60.0;
    double highHz = 7000.0;
    double ratio = 4.0;
    // CCIF: the pair's centre and spacing (equal amplitudes).
    double centreHz = 19500.0;
    double spacingHz = 1000.0;
};

// The standard's own setup: SMPTE 60 Hz + 7 kHz at 4:1, DIN 250 Hz + 8 kHz
// at 4:1, CCIF 19 kHz + 20 kHz (centre 19.5 kHz, spacing 1 kHz) at 1:1;
// level -6 dBFS.
TwoToneSetup DefaultTwoTone(TwoToneStandard standard);

// What the generator plays: x(t) = a1·sin(2π f1 t) + a2·sin(2π f2 t),
// f1 < f2, amplitudes in full-scale units.
struct TwoToneSignal {
    double f1Hz = 0.0, f2Hz = 0.0;
    double a1 = 0.0, a2 = 0.0;
};
TwoToneSignal TwoToneSignalOf(const TwoToneSetup &setup);

// Checks a setup against a sample rate, in this order: the frequencies
// (BadFrequencies: the low tone above 0 Hz; for SMPTE/DIN the high tone
// above three times the low one, so that f2 - 2f1 stays above f1; for CCIF
// 2f1 - f2 above 0 Hz), the ratio for SMPTE/DIN (BadRatio), the level
// (BadLevel when not a number, Clips above 0 dBFS), both tones below half
// the rate (TonesAboveHalfRate), the highest product the reading needs below
// half the rate (ProductAboveHalfRate: f2 + 2f1 for SMPTE/DIN, 2f2 - f1 for
// CCIF). Ok when the signal can be played and read.
DistortionStatus ValidateTwoTone(const TwoToneSetup &setup, double sampleRate);

// The message for a failed ValidateTwoTone, with its numbers filled in.
std::string TwoToneStatusText(DistortionStatus status, const TwoToneSetup &setup, double sampleRate,
                              char language);

// What the ratios of a reading are taken against, for the result line:
// SMPTE/DIN "re A(f2)" / "bez. auf A(f2)", CCIF "re A1 + A2" / "bez. auf A1 + A2".
const char *ImdReferenceText(TwoToneStandard standard, char language);

struct ImdReading {
    DistortionStatus status = DistortionStatus::NoSpectrum;
    TwoToneStandard standard = TwoToneStandard::Smpte;
    bool windowFit = false;
    double binHz = 0.0;            // rate / N
    double f1Hz = 0.0, f2Hz = 0.0; // the tones as found
    double a1 = 0.0, a2 = 0.0;     // their amplitudes (sine peaks, full-scale units)
    double reference = 0.0;        // A(f2) for SMPTE/DIN, A1 + A2 for CCIF
    // SMPTE/DIN: products[0..3] = f2 − f1, f2 + f1, f2 − 2f1, f2 + 2f1.
    // CCIF: products[0..2] = f2 − f1, 2f1 − f2, 2f2 − f1.
    Component products[4];
    int productCount = 0;
    double imd = 0.0;    // SMPTE/DIN ratio
    double d2 = 0.0, d3 = 0.0; // CCIF ratios
    double imdDb = kNoSignalDb, d2Db = kNoSignalDb, d3Db = kNoSignalDb;
};

// Reads the products of the two-tone signal `setup` describes from an
// `fftSize`-point spectrum taken at `sampleRate` with `windowType`. status
// is ValidateTwoTone's when that fails, NoSpectrum, NotResolved (the tones
// or products lie closer than two main lobes) or
// NoFundamental (a tone is missing from the spectrum).
ImdReading AnalyseImd(const float *magnitudes, int fftSize, double sampleRate, int windowType,
                      const TwoToneSetup &setup) noexcept;

// The message for a reading whose status is not Ok ("" when it is).
std::string ImdStatusText(const ImdReading &reading, const TwoToneSetup &setup, double sampleRate,
                          char language);

} // namespace dsp
