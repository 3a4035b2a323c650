#include "dsp/doublefft.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace dsp {

bool ComplexFft::SupportedSize(std::size_t n) noexcept
{
    return n >= 2 && n <= kMaxSize && (n & (n - 1)) == 0;
}

std::size_t ComplexFft::SizeFor(std::size_t n) noexcept
{
    std::size_t size = 2;
    while (size < n && size < kMaxSize)
        size <<= 1;
    return size >= n ? size : 0;
}

bool ComplexFft::setSize(std::size_t n)
{
    if (!SupportedSize(n))
        return false;
    if (n == n_)
        return true;
    const std::size_t half = n / 2;
    cos_.assign(half, 0.0);
    sin_.assign(half, 0.0);
    // Each entry from its own angle; the symmetric octants are taken from
    // the first one so that cos and sin of the same angle agree exactly.
    const double step = 2.0 * std::numbers::pi / static_cast<double>(n);
    const std::size_t eighth = n / 8;
    for (std::size_t k = 0; k < half; ++k) {
        if (eighth >= 1 && k > eighth && k < 2 * eighth) {
            // pi/4 .. pi/2: cos(x) = sin(pi/2 - x).
            cos_[k] = sin_[2 * eighth - k];
            sin_[k] = cos_[2 * eighth - k];
        } else if (eighth >= 1 && k >= 2 * eighth) {
            // pi/2 .. pi: cos(x) = -cos(pi - x), sin(x) = sin(pi - x).
            cos_[k] = k == 2 * eighth ? 0.0 : -cos_[half - k];
            sin_[k] = k == 2 * eighth ? 1.0 : sin_[half - k];
        } else {
            const double x = step * static_cast<double>(k);
            cos_[k] = std::cos(x);
            sin_[k] = std::sin(x);
        }
    }
    n_ = n;
    int log2 = 0;
    while ((std::size_t{1} << log2) < n)
        ++log2;
    log2_ = log2;
    return true;
}

void ComplexFft::forward(std::complex<double> *data) const noexcept { transform<false>(data); }

void ComplexFft::inverse(std::complex<double> *data) const noexcept
{
    transform<true>(data);
    const double scale = n_ ? 1.0 / static_cast<double>(n_) : 0.0;
    for (std::size_t i = 0; i < n_; ++i)
        data[i] *= scale;
}

template <bool Inverse>
void ComplexFft::transform(std::complex<double> *data) const noexcept
{
    const std::size_t n = n_;
    if (n < 2)
        return;
    // std::complex<double> is laid out as two doubles; the arithmetic below
    // is written out so that no library multiplication (with its special
    // cases for infinities) runs per butterfly.
    double *v = reinterpret_cast<double *>(data);

    for (std::size_t i = 0, j = 0; i < n; ++i) {
        if (i < j) {
            std::swap(v[2 * i], v[2 * j]);
            std::swap(v[2 * i + 1], v[2 * j + 1]);
        }
        std::size_t bit = n >> 1;
        while (bit && (j & bit)) {
            j ^= bit;
            bit >>= 1;
        }
        j |= bit;
    }

    // Length-2 butterflies need no twiddle factor.
    for (std::size_t i = 0; i < n; i += 2) {
        const double ar = v[2 * i], ai = v[2 * i + 1];
        const double br = v[2 * i + 2], bi = v[2 * i + 3];
        v[2 * i] = ar + br;
        v[2 * i + 1] = ai + bi;
        v[2 * i + 2] = ar - br;
        v[2 * i + 3] = ai - bi;
    }
    const double *c = cos_.data();
    const double *s = sin_.data();
    for (std::size_t len = 4; len <= n; len <<= 1) {
        const std::size_t half = len / 2;
        const std::size_t stride = n / len;
        for (std::size_t start = 0; start < n; start += len) {
            double *a = v + 2 * start;
            double *b = a + 2 * half;
            for (std::size_t j = 0, t = 0; j < half; ++j, t += stride) {
                // w = e^(-i x) forward, e^(+i x) inverse.
                const double wr = c[t];
                const double wi = Inverse ? s[t] : -s[t];
                const double br = b[2 * j] * wr - b[2 * j + 1] * wi;
                const double bi = b[2 * j] * wi + b[2 * j + 1] * wr;
                const double ar = a[2 * j], ai = a[2 * j + 1];
                a[2 * j] = ar + br;
                a[2 * j + 1] = ai + bi;
                b[2 * j] = ar - br;
                b[2 * j + 1] = ai - bi;
            }
        }
    }
}

} // namespace dsp
