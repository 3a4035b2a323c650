// Magnitude spectra: the nine window functions, the in-place radix-2 FFT and
// the one-call window + transform + magnitude used for every captured block,
// plus the rule that turns a magnitude into a level in dB.
//
// Units: samples are linear, full scale about +-1.0. Magnitudes carry the
// transform's 1/N scaling, so a sine of amplitude A exactly on a bin reads
// A/2 times the window's mean value (0.25 for amplitude 1 and window None).
// Bin i of an N-point spectrum lies at (rate/2)·i/(N/2) Hz.
//
// Threads: the free functions are reentrant. A SpectrumTransform belongs to
// one thread at a time (the analyser round's lives on the user-interface
// thread).
#pragma once

#include <vector>

namespace dsp {

constexpr int kMinFftSize = 4;
constexpr int kMaxFftSize = 16384;
constexpr int kWindowTypeCount = 9;
// dB per natural-log unit: 20/ln 10. Callers pass it to turn ln of a
// magnitude (or of the root of a sum of squares) into dB.
constexpr double kLnToDb = 8.68588963806504;
// The level of a magnitude of exactly 0, shown instead of minus infinity.
constexpr double kNoSignalDb = -192.0;

// Window types; the numbers are the item indexes of the window group.
enum WindowType : int {
    kWindowNone = 0,
    kWindowHamming = 1,
    kWindowVanHann = 2,
    kWindowBlackman = 3,
    kWindowBlackmanHarris = 4,
    kWindowFlatTop = 5,
    kWindowRifeVincent1 = 6,
    kWindowRifeVincent2 = 7,
    kWindowRifeVincent3 = 8,
};

// Item text of a window type ("None", "Hamming", ...), or "" when out of range.
const char *WindowItemText(int type);

// FFT size of the FFT-points group items 0..3 (2048 .. 16384); any other index 2048.
int FftSizeForIndex(int index);
// Index of `size` in that group, or -1.
int FftSizeIndex(int size);
// True for a power of two from kMinFftSize to kMaxFftSize.
bool IsSupportedFftSize(int n);

// Periodic cosine-sum window (denominator n, not n-1):
// table[i] = (a0 + a1 cos x + a2 cos 2x + a3 cos 3x + a4 cos 4x)·10^(gainDb/20), x = 2 pi i/n.
// The gain factor is rounded to single precision before it is applied.
void CosineSumWindow(float *table, int n, double a0, double a1, double a2, double a3, double a4,
                     float gainDb);

// Fills table[0..n-1] for window `type` (None: every entry 0.5). Returns false
// and leaves the table alone when the type is outside 0..8 or n < 1.
bool FillWindow(float *table, int type, int n);

// The bit-reversal permutation of an n-point decimation-in-time transform,
// applied to both arrays in place (n a power of two).
void BitReverse(float *re, float *im, int n) noexcept;

// In-place complex radix-2 FFT with positive exponent, X[k] = (1/n)·sum x[j]·e^(+2 pi i jk/n).
// Only magnitudes are ever used, so the sign of the exponent is invisible to
// callers. Returns false (arrays untouched) unless IsSupportedFftSize(n).
bool Fft(float *re, float *im, int n) noexcept;

// Level in dB of a magnitude: ln(m)·factor + offset, and kNoSignalDb for m <= 0.
double MagnitudeToDb(double magnitude, double factor, double offset);

// Frequency of bin `bin` of an n-point spectrum in single precision, with
// rate/2 taken in integer arithmetic as the analyser does.
float BinFrequency(int bin, int n, int sampleRate);

// Window table plus scratch, allocated once; transform() never allocates.
class SpectrumTransform {
public:
    SpectrumTransform();

    // Fills the first n entries of the window table for `type`; a type
    // outside 0..8 leaves the table unchanged. Call after every change of
    // window or FFT size.
    void setWindow(int type, int n);
    int windowType() const { return windowType_; }
    int windowSize() const { return windowSize_; }
    const float *windowTable() const { return window_.data(); }

    // Windows samples[0..n-1] with the current table, transforms them and
    // leaves the magnitudes of bins 0..n/2-1 in samples[0..n/2-1] (entries
    // n/2..n-1 are left unspecified). Uses the table as it is: a table set for
    // another size gives a wrongly windowed spectrum, never a crash. Returns 0,
    // or -1 (samples untouched) when n is not a supported size.
    int transform(float *samples, int n) noexcept;

private:
    std::vector<float> window_; // kMaxFftSize entries, zero beyond the last size set
    std::vector<float> zr_, zi_; // kMaxFftSize/2 each: the half-size complex transform
    int windowType_ = -1;
    int windowSize_ = 0;
};

} // namespace dsp
