#include "audio/virtualcard/deviceundertest.h"

#include <algorithm>
#include <cmath>

namespace audio {

void DeviceUnderTest::configure(const VirtualCardConfig &c, double sampleRate)
{
    rate_ = sampleRate;
    gain_ = std::pow(10.0, c.gainDb / 20.0);
    highpass_ = c.highpassHz > 0.0;
    lowpass_ = c.lowpassHz > 0.0 && c.lowpassHz < sampleRate / 2.0;
    hp_ = dsp::IirSection(dsp::IirDesign(dsp::kIirHighPass, 0.0, 0.0, c.highpassHz, sampleRate));
    lp_ = dsp::IirSection(dsp::IirDesign(dsp::kIirLowPass, 0.0, 0.0, c.lowpassHz, sampleRate));
    polynomial_ = !c.polynomial.empty();
    for (std::size_t i = 0; i < 5; ++i)
        poly_[i] = i < c.polynomial.size() ? c.polynomial[i] : 0.0;
    if (!polynomial_)
        poly_[0] = 1.0;
    harmonic_ = c.distortionDb > -200.0 ? std::pow(10.0, c.distortionDb / 20.0) : 0.0;
    envelope_ = 0.0;
    // Two-second release: the follower holds the peak of a 20 Hz sine to 1 %.
    decay_ = std::exp(-1.0 / (2.0 * sampleRate));
    // Uniform noise in [-w, w] has an RMS of w / sqrt(3).
    noiseHalfWidth_ = c.noiseDb > -200.0 ? std::sqrt(3.0) * std::pow(10.0, c.noiseDb / 20.0) : 0.0;
    rightSign_ = c.invert ? -1.0 : 1.0;
    dcOffset_ = c.dcOffset;
    leftDelay_.configure(std::max(c.delayFrames, 0));
    rightDelay_.configure(std::max(c.delayFrames, 0) + std::max(c.dutDelayFrames, 0));
    ideal_ = gain_ == 1.0 && !polynomial_ && !highpass_ && !lowpass_ && harmonic_ == 0.0 && noiseHalfWidth_ == 0.0 && !c.invert &&
             dcOffset_ == 0.0;
}

void DeviceUnderTest::process(double left, double right, double &inLeft, double &inRight) noexcept
{
    left = leftDelay_.pass(left);
    right = rightDelay_.pass(right);
    if (ideal_) {
        inLeft = left;
        inRight = right;
        return;
    }
    double x = gain_ * right;
    if (highpass_)
        x = hp_.process(x);
    if (lowpass_)
        x = lp_.process(x);
    if (polynomial_) // Horner: ((((a5 x + a4) x + a3) x + a2) x + a1) x
        x = ((((poly_[4] * x + poly_[3]) * x + poly_[2]) * x + poly_[1]) * x + poly_[0]) * x;
    if (harmonic_ != 0.0) {
        // For a sine of peak P = A the terms below are exactly -hA cos 2t and
        // -hA sin 3t: the 2nd and 3rd harmonic at h relative to the signal,
        // without DC and without changing the fundamental.
        const double a = std::fabs(x);
        envelope_ = a > envelope_ * decay_ ? a : envelope_ * decay_;
        const double p = envelope_;
        if (p > 1e-12)
            x += 2.0 * harmonic_ * (x * x / p - 0.5 * p) + 4.0 * harmonic_ * (x * x * x / (p * p) - 0.75 * x);
    }
    inLeft = left;
    inRight = rightSign_ * x;
    if (noiseHalfWidth_ != 0.0) {
        inLeft += noiseHalfWidth_ * (2.0 * noise_.uniform() - 1.0);
        inRight += noiseHalfWidth_ * (2.0 * noise_.uniform() - 1.0);
    }
    inLeft += dcOffset_;
    inRight += dcOffset_;
}

} // namespace audio
