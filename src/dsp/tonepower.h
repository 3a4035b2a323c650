// Reading discrete components (tones, harmonics, intermodulation products)
// out of a magnitude spectrum of SpectrumTransform: the main lobe of each
// window, the power summed over the lobe, the amplitude and level it stands
// for, and the exact position of a tone between two bins.
//
// Why lobe sums: a tone between two bins spreads over the window's main
// lobe; summing the squared magnitudes over the lobe gives its power whatever
// the tone's position (no scalloping), and dividing by the window's mean
// square gives the tone's amplitude for every window alike. For a periodic
// cosine-sum window of K cosine terms the main lobe is ±(K+1) bins wide and
// the power-weighted centroid of the lobe is the tone's position (the
// squared window transform is a sum of 2K+1 shifted kernels whose centroid
// is exact), so no interpolation formula per window is needed.
//
// Units: magnitudes as the transform leaves them (a sine of amplitude A on a
// bin reads A/2 times the window's mean); bins 0 .. n/2-1 of an n-point
// transform, bin i at i·rate/n Hz; amplitudes are sine peaks in full-scale
// units; levels in dB re full scale (0 dBFS = a full-scale sine, AES17).
//
// Threads: pure functions, any thread; nothing allocates.
#pragma once

namespace dsp {

// Constants of one window type (numbers of the window group, dsp/fft.h).
struct WindowShape {
    int lobeBins = 0;         // half-width of the main lobe in bins (first zero)
    double meanSquare = 0.0;  // mean of w² over the window: power per unit of sine power
    double mean = 0.0;        // mean of w: a sine of amplitude A on a bin reads A/2 times it
    bool fitForDistortion = false; // leakage beyond the excluded bins stays below the harmonics
};

// The shape of window `type`, from the same table the transform uses; a
// type outside 0..8 gives lobeBins 0 (not usable).
WindowShape WindowShapeOf(int type);

// Sum of magnitude² over bins centre-half .. centre+half, clipped to 0..bins-1.
double LobePower(const float *magnitudes, int bins, int centre, int half) noexcept;

// Peak amplitude of a sine whose lobe sums to `lobePower` (2·sqrt(P/meanSquare)).
double LobeAmplitude(double lobePower, const WindowShape &shape) noexcept;

// Level in dB re full scale of a power sum over bins (of a sine or of
// noise): 10·log10(4·P/meanSquare); kNoSignalDb for no power.
double PowerToDbfs(double power, const WindowShape &shape) noexcept;

// 20·log10(ratio) and kNoSignalDb for a ratio of 0 or less.
double RatioToDb(double ratio) noexcept;

// Position of a tone in bins (fractional), found near `nearBin`: the
// strongest bin within ±searchBins of it, then the centroid of the power
// over that bin's main lobe. -1 when the lobe does not fit inside the
// spectrum or holds no power.
double ToneBinPosition(const float *magnitudes, int bins, double nearBin, int searchBins,
                       const WindowShape &shape) noexcept;

// Whether the tone whose lobe is centred on bin `centre` stands out of its
// surroundings: its lobe's mean power per bin at least 10 dB above the mean
// of the few bins beyond its lobe on the quieter side. A lobe placed on noise
// (a named frequency the signal does not carry) does not; a tone that does
// not stand 10 dB above the noise next to it cannot be read as one anyway.
bool StandsOut(const float *magnitudes, int bins, int centre, const WindowShape &shape) noexcept;

// One component read from the spectrum.
struct ToneReading {
    double frequencyHz = 0.0;
    double power = 0.0;     // lobe power (squared magnitudes)
    double amplitude = 0.0; // sine peak, full-scale units
};

// The component at `frequencyHz`: the lobe around the nearest bin, summed.
// `binHz` = rate/n. A lobe that does not fit inside the spectrum reads 0.
ToneReading ReadTone(const float *magnitudes, int bins, double binHz, double frequencyHz,
                     const WindowShape &shape) noexcept;

} // namespace dsp
