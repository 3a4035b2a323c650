// The double-precision FFT against a direct DFT in long double, a tone on a
// bin at the largest size, and the sizes it takes.
#include "dsp/doublefft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

using dsp::ComplexFft;
using Complex = std::complex<double>;

TEST(ComplexFft, MatchesADirectTransformInBothDirections)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (std::size_t n : {2u, 8u, 16u, 512u, 1024u}) { // odd and even powers of 2
        std::vector<Complex> x(n);
        for (Complex &v : x)
            v = {u(rng), u(rng)};
        ComplexFft fft(n);
        std::vector<Complex> y = x;
        fft.forward(y.data());
        std::vector<std::complex<long double>> w(n);
        for (std::size_t m = 0; m < n; ++m) {
            const long double a =
                -2.0L * std::numbers::pi_v<long double> * static_cast<long double>(m) / static_cast<long double>(n);
            w[m] = {std::cos(a), std::sin(a)};
        }
        double largest = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            std::complex<long double> sum = 0.0L;
            for (std::size_t j = 0; j < n; ++j)
                sum += std::complex<long double>(x[j].real(), x[j].imag()) * w[j * k % n];
            largest = std::max(largest, std::abs(Complex(static_cast<double>(sum.real()),
                                                         static_cast<double>(sum.imag())) - y[k]));
        }
        EXPECT_LT(largest, 1e-13 * static_cast<double>(n)) << n << " points";
        fft.inverse(y.data());
        for (std::size_t j = 0; j < n; ++j)
            ASSERT_LT(std::abs(y[j] - x[j]), 1e-14) << n << " points, value " << j;
    }
}

TEST(ComplexFft, ToneOnABinAtTheLargestSize)
{
    const std::size_t n = ComplexFft::kMaxSize, bin = 12345;
    std::vector<Complex> x(n);
    for (std::size_t j = 0; j < n; ++j)
        x[j] = std::polar(1.0, 2.0 * std::numbers::pi * static_cast<double>(j * bin % n) / static_cast<double>(n));
    ComplexFft(n).forward(x.data());
    x[bin] -= static_cast<double>(n); // leaves nothing
    for (std::size_t k = 0; k < n; ++k)
        ASSERT_LT(std::abs(x[k]), 1e-7) << k;
}

TEST(ComplexFft, SizesArePowersOfTwoUpTo2To20)
{
    EXPECT_FALSE(ComplexFft::SupportedSize(3));
    EXPECT_FALSE(ComplexFft::SupportedSize(1u << 21));
    EXPECT_EQ(ComplexFft::SizeFor(1000), 1024u);
    EXPECT_EQ(ComplexFft::SizeFor((1u << 20) + 1), 0u);
    ComplexFft fft(8);
    EXPECT_FALSE(fft.setSize(12));
    EXPECT_EQ(fft.size(), 8u);
}
