// Independent references for measured signals: decibels and a direct DFT at
// one frequency, shared by the DSP, engine and output tests.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>

namespace testsupport {

inline double Db(double amplitudeRatio) { return 20.0 * std::log10(amplitudeRatio); }
inline double DbPower(double powerRatio) { return 10.0 * std::log10(powerRatio); }

// Root mean square of the default window, Rife-Vincent 3, from its published
// coefficients (a0² + (a1² + a2² + a3² + a4²)/2 under the root) and its 5 dB
// gain: 0.788. The band level reads a sine as 20·log10(peak·this/2) + 8.17
// dB in every window.
inline double DefaultWindowRms()
{
    const double a[] = {0.2734375, 0.4375, 0.21875, 0.0625, 0.0078125};
    return std::sqrt(a[0] * a[0] + (a[1] * a[1] + a[2] * a[2] + a[3] * a[3] + a[4] * a[4]) / 2.0) *
           std::pow(10.0, 5.0 / 20.0);
}

// Σ x[k·stride]·e^(-j2πfk/rate) over n samples: one bin of a direct DFT,
// at any frequency, of every `stride`-th value (one channel of interleaved data).
template <class T>
std::complex<double> DftAt(const T *x, std::size_t n, double freq, double rate, std::size_t stride = 1)
{
    std::complex<double> sum = 0.0;
    for (std::size_t k = 0; k < n; ++k)
        sum += std::complex<double>(x[k * stride]) * std::polar(1.0, -2.0 * std::numbers::pi * freq * double(k) / rate);
    return sum;
}

} // namespace testsupport
