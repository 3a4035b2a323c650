// The response of the virtual card's default device under test, worked out
// here from its filters' designs rather than taken from the card's code.
#pragma once

#include <cmath>
#include <complex>
#include <numbers>

namespace testsupport {

// Gain -0.5 dB and second-order Butterworth high-pass at 20 Hz and low-pass
// at 20 kHz, each the bilinear transform of its analog prototype prewarped
// at its corner.
inline std::complex<double> DeviceUnderTest(double f, double rate = 44100.0)
{
    using C = std::complex<double>;
    const double pi = std::numbers::pi;
    const C z = std::polar(1.0, 2.0 * pi * f / rate);
    const C s = 2.0 * rate * (z - 1.0) / (z + 1.0);
    auto corner = [&](double fc) { return 2.0 * rate * std::tan(pi * fc / rate); };
    const double wl = corner(20000.0), wh = corner(20.0), r2 = std::sqrt(2.0);
    return std::pow(10.0, -0.5 / 20.0) * wl * wl / (s * s + r2 * wl * s + wl * wl) * (s * s / (s * s + r2 * wh * s + wh * wh));
}

} // namespace testsupport
