#include "dsp/doublefft.h"

#include <algorithm>
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
    scratch_.assign(n, {0.0, 0.0});
    n_ = n;
    return true;
}

void ComplexFft::forward(std::complex<double> *data) noexcept { transform<false>(data); }

void ComplexFft::inverse(std::complex<double> *data) noexcept
{
    transform<true>(data);
    const double scale = n_ ? 1.0 / static_cast<double>(n_) : 0.0;
    for (std::size_t i = 0; i < n_; ++i)
        data[i] *= scale;
}

template <bool Inverse>
void ComplexFft::transform(std::complex<double> *data) noexcept
{
    const std::size_t n = n_;
    if (n < 2)
        return;
    // std::complex<double> is laid out as two doubles; the arithmetic below
    // is written out so that no library multiplication (with its special
    // cases for infinities) runs per butterfly.
    //
    // Stockham's self-sorting form of the decimation in frequency: every
    // pass reads the data and writes it to the other buffer in order, with
    // the stride s of the finished sub-transforms growing by 4 (radix-4
    // passes, one radix-2 pass when log2 n is odd), so no bit-reversal
    // pass and no scattered access are needed.
    double *x = reinterpret_cast<double *>(data);
    double *y = reinterpret_cast<double *>(scratch_.data());
    const double sign = Inverse ? 1.0 : -1.0; // of the exponent
    const std::size_t half = n / 2;
    const double *cs = cos_.data();
    const double *sn = sin_.data();
    // e^(sign·2 pi i k/n) for 0 <= k < n.
    auto twiddle = [&](std::size_t k, double &re, double &im) {
        if (k < half) {
            re = cs[k];
            im = sign * sn[k];
        } else {
            re = -cs[k - half];
            im = -sign * sn[k - half];
        }
    };

    std::size_t len = n; // length of the sub-transforms still to do
    std::size_t s = 1;   // their count, which is also the stride
    while (len >= 4) {
        const std::size_t quarter = len / 4;
        for (std::size_t p = 0; p < quarter; ++p) {
            double w1r, w1i, w2r, w2i, w3r, w3i;
            twiddle(p * s, w1r, w1i);
            twiddle(2 * p * s, w2r, w2i);
            twiddle(3 * p * s, w3r, w3i);
            const double *a = x + 2 * s * p;
            const double *b = a + 2 * s * quarter;
            const double *c = b + 2 * s * quarter;
            const double *d = c + 2 * s * quarter;
            double *out = y + 2 * s * 4 * p;
            for (std::size_t q = 0; q < s; ++q) {
                const std::size_t i = 2 * q;
                const double apcR = a[i] + c[i], apcI = a[i + 1] + c[i + 1];
                const double amcR = a[i] - c[i], amcI = a[i + 1] - c[i + 1];
                const double bpdR = b[i] + d[i], bpdI = b[i + 1] + d[i + 1];
                // sign·i·(b - d)
                const double jR = -sign * (b[i + 1] - d[i + 1]), jI = sign * (b[i] - d[i]);
                out[i] = apcR + bpdR;
                out[i + 1] = apcI + bpdI;
                const double r1 = amcR + jR, i1 = amcI + jI;
                out[2 * s + i] = r1 * w1r - i1 * w1i;
                out[2 * s + i + 1] = r1 * w1i + i1 * w1r;
                const double r2 = apcR - bpdR, i2 = apcI - bpdI;
                out[4 * s + i] = r2 * w2r - i2 * w2i;
                out[4 * s + i + 1] = r2 * w2i + i2 * w2r;
                const double r3 = amcR - jR, i3 = amcI - jI;
                out[6 * s + i] = r3 * w3r - i3 * w3i;
                out[6 * s + i + 1] = r3 * w3i + i3 * w3r;
            }
        }
        len = quarter;
        s *= 4;
        std::swap(x, y);
    }
    if (len == 2) {
        // The last pass: s = n/2 transforms of two points, no twiddle.
        for (std::size_t q = 0; q < 2 * s; q += 2) {
            const double ar = x[q], ai = x[q + 1], br = x[2 * s + q], bi = x[2 * s + q + 1];
            y[q] = ar + br;
            y[q + 1] = ai + bi;
            y[2 * s + q] = ar - br;
            y[2 * s + q + 1] = ai - bi;
        }
        std::swap(x, y);
    }
    if (x != reinterpret_cast<double *>(data))
        std::copy(x, x + 2 * n, reinterpret_cast<double *>(data));
}

} // namespace dsp
