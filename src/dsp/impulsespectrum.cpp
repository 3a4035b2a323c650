#include "dsp/impulsespectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dsp {

namespace {

constexpr std::size_t kPadding = 8;
constexpr std::size_t kMinTransform = 1024;
// Smoothing bands narrower than this many bins read the centre value.
constexpr double kMinBandBins = 4.0;
// at() recomputes its rotating phasor exactly this often, so rounding
// cannot build up over long windows.
constexpr std::size_t kPhasorBlock = 256;
// Phasor chains at() runs side by side (kPhasorBlock is a multiple).
constexpr int kChains = 8;

std::size_t Wrap(std::int64_t i, std::size_t n)
{
    const auto m = static_cast<std::int64_t>(n);
    const std::int64_t r = i % m;
    return static_cast<std::size_t>(r < 0 ? r + m : r);
}

} // namespace

double ResponseWindow::at(std::int64_t t) const noexcept
{
    if (t < -Pre || t >= Post)
        return 0.0;
    const std::int64_t fromStart = t + Pre;  // 0 at the first frame
    const std::int64_t toEnd = Post - 1 - t; // 0 at the last frame
    // Ramps rise over frames 0 .. R-1 from just above 0 to just below 1.
    if (fromStart < RampIn)
        return 0.5 * (1.0 - std::cos(std::numbers::pi * (static_cast<double>(fromStart) + 0.5) / RampIn));
    if (toEnd < RampOut)
        return 0.5 * (1.0 - std::cos(std::numbers::pi * (static_cast<double>(toEnd) + 0.5) / RampOut));
    return 1.0;
}

void ImpulseSpectrum::compute(const double *h, std::size_t n, std::int64_t zero, const ResponseWindow &window,
                              double scale, double rate, bool smoothing)
{
    const std::int64_t pre = std::max<std::int64_t>(window.Pre, 0);
    const std::int64_t length = std::max<std::int64_t>(pre + window.Post, 1);
    stretch_.resize(static_cast<std::size_t>(length));
    for (std::int64_t t = -pre; t < length - pre; ++t)
        stretch_[static_cast<std::size_t>(t + pre)] = scale * h[Wrap(zero + t, n)] * window.at(t);
    pre_ = pre;
    rate_ = rate;
    bins_.clear();
    half_ = 0;
    if (!smoothing)
        return;

    std::size_t size = ComplexFft::SizeFor(std::max(static_cast<std::size_t>(length) * kPadding, kMinTransform));
    if (size == 0)
        size = ComplexFft::kMaxSize;
    fft_.setSize(size);
    bins_.assign(size, {0.0, 0.0});
    // Time zero at index 0; a stretch longer than the transform loses its end.
    const std::int64_t last = std::min<std::int64_t>(length - pre, static_cast<std::int64_t>(size) - pre);
    for (std::int64_t t = -pre; t < last; ++t)
        bins_[Wrap(t, size)] = stretch_[static_cast<std::size_t>(t + pre)];
    fft_.forward(bins_.data());
    binHz_ = rate / static_cast<double>(size);
    half_ = size / 2;
    sum_.assign(half_ + 1, {0.0, 0.0});
    powerSum_.assign(half_ + 1, 0.0);
    for (std::size_t k = 0; k < half_; ++k) {
        sum_[k + 1] = sum_[k] + 0.5 * (bins_[k] + bins_[k + 1]);
        powerSum_[k + 1] = powerSum_[k] + 0.5 * (std::norm(bins_[k]) + std::norm(bins_[k + 1]));
    }
}

std::complex<double> ImpulseSpectrum::at(double hz) const noexcept
{
    if (stretch_.empty() || !(rate_ > 0.0))
        return {0.0, 0.0};
    // H = sum s[t]·e^(-i w t), t from -pre on.
    // kChains phasors a frame apart, each stepping kChains frames, so that
    // independent chains of multiplications keep the processor busy; each
    // block starts them afresh from cos and sin.
    const double w = 2.0 * std::numbers::pi * hz / rate_;
    const double stepRe = std::cos(kChains * w), stepIm = -std::sin(kChains * w);
    double re[kChains] = {}, im[kChains] = {};
    const double *x = stretch_.data();
    const std::size_t count = stretch_.size();
    for (std::size_t start = 0; start < count; start += kPhasorBlock) {
        const std::size_t end = std::min(count, start + kPhasorBlock);
        double pr[kChains], pi[kChains];
        for (int j = 0; j < kChains; ++j) {
            const double t0 = static_cast<double>(static_cast<std::int64_t>(start) + j - pre_);
            pr[j] = std::cos(w * t0);
            pi[j] = -std::sin(w * t0);
        }
        std::size_t i = start;
        for (; i + kChains <= end; i += kChains) {
            for (int j = 0; j < kChains; ++j) {
                re[j] += x[i + j] * pr[j];
                im[j] += x[i + j] * pi[j];
                const double nr = pr[j] * stepRe - pi[j] * stepIm;
                pi[j] = pr[j] * stepIm + pi[j] * stepRe;
                pr[j] = nr;
            }
        }
        for (int j = 0; i < end; ++i, ++j) { // the block's last frames
            re[j] += x[i] * pr[j];
            im[j] += x[i] * pi[j];
        }
    }
    double sumRe = 0.0, sumIm = 0.0;
    for (int j = 0; j < kChains; ++j) {
        sumRe += re[j];
        sumIm += im[j];
    }
    return {sumRe, sumIm};
}

void ImpulseSpectrum::integral(double u, std::complex<double> &value, double &power) const noexcept
{
    u = std::clamp(u, 0.0, static_cast<double>(half_));
    auto k = static_cast<std::size_t>(u);
    if (k >= half_)
        k = half_ - 1;
    const double x = u - static_cast<double>(k);
    const std::complex<double> a = bins_[k], b = bins_[k + 1];
    const double pa = std::norm(a), pb = std::norm(b);
    value = sum_[k] + x * a + 0.5 * x * x * (b - a);
    power = powerSum_[k] + x * pa + 0.5 * x * x * (pb - pa);
}

ImpulseSpectrum::Smoothed ImpulseSpectrum::smoothed(double hz, int fraction) const noexcept
{
    Smoothed s;
    if (fraction > 0 && half_ > 0) {
        const double halfBand = std::exp2(0.5 / fraction);
        const double ua = std::max(hz / halfBand / binHz_, 0.0);
        const double ub = std::min(hz * halfBand / binHz_, static_cast<double>(half_));
        if (ub - ua >= kMinBandBins) {
            std::complex<double> va, vb;
            double pa = 0.0, pb = 0.0;
            integral(ua, va, pa);
            integral(ub, vb, pb);
            s.Mean = (vb - va) / (ub - ua);
            s.Power = (pb - pa) / (ub - ua);
            return s;
        }
    }
    s.Mean = at(hz);
    s.Power = std::norm(s.Mean);
    return s;
}

} // namespace dsp
