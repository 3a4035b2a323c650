#include "audio/virtualcard/loopbacktestsignal.h"

#include <cmath>
#include <numbers>

namespace audio {

void LoopbackTestSignal::configure(const VirtualCardConfig &c, double sampleRate)
{
    kind_ = c.signal;
    rate_ = sampleRate;
    amplitude_ = std::pow(10.0, c.sigLevelDb / 20.0);
    step_ = sampleRate > 0.0 ? 2.0 * std::numbers::pi * c.sigFreqHz / sampleRate : 0.0;
    phase_ = 0.0;
    if (kind_ == VirtualCardConfig::Signal::Pink)
        pink_.setup(sampleRate);
}

double LoopbackTestSignal::next() noexcept
{
    switch (kind_) {
    case VirtualCardConfig::Signal::Sine: {
        const double v = amplitude_ * std::sin(phase_);
        phase_ += step_;
        if (phase_ >= 2.0 * std::numbers::pi) // keeps the argument small so precision holds for hours
            phase_ = std::fmod(phase_, 2.0 * std::numbers::pi);
        return v;
    }
    case VirtualCardConfig::Signal::Pink:
        // As the generator: the pink filter applied to uniform noise in [-1, 1).
        return amplitude_ * pink_.process(2.0 * noise_.uniform() - 1.0);
    default:
        return 0.0;
    }
}

} // namespace audio
