// The frequency response of a stretch of an impulse response: a time window
// around a chosen time zero, the response at any frequency with that time
// zero as the phase origin, and fractional-octave smoothing of it.
//
// The window is flat from `Pre` frames before time zero to `Post` frames
// after it except for raised-cosine ramps at both ends (RampIn frames
// rising from the start, RampOut frames falling to the end).
//
// at() sums the windowed stretch directly (its discrete-time Fourier
// transform at exactly that frequency), so a curve on a log grid needs no
// interpolation between bins. Smoothing averages over a band 1/N octave wide
// centred (geometrically) on the frequency, uniform in frequency, on a
// transform zero-padded to 8 times the window: the mean power gives the
// level, the mean complex value the phase. Bands narrower than a few bins of
// that transform read the plain value at the centre.
//
// Units: frames, frequencies in Hz, rates in frames per second.
// Threads: one object belongs to one thread at a time.
#pragma once

#include "dsp/doublefft.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dsp {

struct ResponseWindow {
    std::int64_t Pre = 0;     // frames before time zero
    std::int64_t Post = 1;    // frames from time zero on
    std::int64_t RampIn = 0;  // rising ramp at the start, at most Pre
    std::int64_t RampOut = 0; // falling ramp at the end, at most Post

    // Weight at frame t relative to time zero (0 outside -Pre .. Post-1).
    double at(std::int64_t t) const noexcept;
};

class ImpulseSpectrum {
public:
    // Takes scale·h[zero + t]·w(t), t = -Pre .. Post-1, with `h` read
    // circularly (length n, as a circular deconvolution leaves it).
    // `smoothing` prepares the transform that smoothed() averages over.
    void compute(const double *h, std::size_t n, std::int64_t zero, const ResponseWindow &window, double scale,
                 double rate, bool smoothing);

    // Complex response at `hz`, phase relative to time zero.
    std::complex<double> at(double hz) const noexcept;

    struct Smoothed {
        std::complex<double> Mean; // mean complex response over the band
        double Power = 0.0;        // mean |H|^2 over the band
    };
    // Smoothed over 1/fraction octave around `hz`; fraction 0, or a
    // spectrum computed without smoothing: the plain value.
    Smoothed smoothed(double hz, int fraction) const noexcept;

private:
    // Integral of the bins' linear interpolant from bin 0 to fractional bin u.
    void integral(double u, std::complex<double> &value, double &power) const noexcept;

    std::vector<double> stretch_; // the windowed frames from t = -pre_ on
    std::int64_t pre_ = 0;
    double rate_ = 0.0;

    ComplexFft fft_;
    std::vector<std::complex<double>> bins_; // dense transform, bins 0 .. half_
    std::vector<std::complex<double>> sum_;  // running trapezoid sums of bins_
    std::vector<double> powerSum_;           // the same for |bins_|^2
    double binHz_ = 1.0;
    std::size_t half_ = 0;
};

} // namespace dsp
