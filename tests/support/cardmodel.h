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

namespace testsupport {

// The card's nonlinearity y = x + 2h(x²/P - P/2) + 4h(x³/P² - 3x/4), P the held
// peak, for x = a cos α + b cos β: f2 ± f1 at 2hab/P, 2f1 - f2 at 3ha²b/P²,
// 2f2 - f1 at 3hab²/P², the tones a' = a(1 - 3h + 3h(a² + 2b²)/P²), b' likewise.
// CCIF (IEC 60268-3): d2 = A(f2 - f1)/(A1 + A2), d3 = [A(2f1 - f2) + A(2f2 - f1)]/(A1 + A2).
inline void ModelCcif(double a, double b, double peak, double h, double &d2, double &d3)
{
    const double p2 = peak * peak;
    const double sum =
        a * (1 - 3 * h + 3 * h * (a * a + 2 * b * b) / p2) + b * (1 - 3 * h + 3 * h * (b * b + 2 * a * a) / p2);
    d2 = 2 * h * a * b / peak / sum;
    d3 = 3 * h * a * b * (a + b) / p2 / sum;
}

} // namespace testsupport
