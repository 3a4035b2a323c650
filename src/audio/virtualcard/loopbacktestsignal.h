// The test signal a virtual loopback card feeds into its output path while no
// output device plays: a sine of any frequency or pink noise, at a level in dB
// re full scale as the generator uses it. Card thread only, no allocation.
#pragma once

#include "audio/virtualcard/deviceundertest.h"
#include "audio/virtualcard/virtualcardconfig.h"
#include "dsp/iirfilter.h"

namespace audio {

class LoopbackTestSignal {
public:
    void configure(const VirtualCardConfig &config, double sampleRate);
    bool active() const noexcept { return kind_ != VirtualCardConfig::Signal::Off; }
    double sampleRate() const noexcept { return rate_; }
    // The next value (the same on both channels).
    double next() noexcept;

private:
    VirtualCardConfig::Signal kind_ = VirtualCardConfig::Signal::Off;
    double rate_ = 0.0;
    double amplitude_ = 0.0;
    double phase_ = 0.0, step_ = 0.0; // radians
    dsp::PinkNoiseFilter pink_;
    NoiseSource noise_{0x5DEECE66Dull};
};

} // namespace audio
