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
