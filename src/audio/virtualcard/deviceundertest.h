// The model of a device under test that the virtual loopback card puts in
// front of its right input: gain, second-order Butterworth high- and
// low-pass, a polynomial (POLY), second and third harmonic, and a white-noise floor that both
// inputs share in level (not in samples); last a DC offset on both inputs.
// Before all that, whole frames of delay: the card's latency on both inputs
// and the device's own on the right. Allocation-free after configure();
// used by the card's thread only.
#pragma once

#include "audio/virtualcard/virtualcardconfig.h"
#include "dsp/iirfilter.h"

#include <cstdint>
#include <vector>

namespace audio {

// xorshift64*: fast, seedable, good enough for test noise.
class NoiseSource {
public:
    explicit NoiseSource(std::uint64_t seed = 0x9E3779B97F4A7C15ull) : state_(seed ? seed : 1) {}
    // Uniform in [0, 1).
    double uniform() noexcept
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<double>((state_ * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53;
    }

private:
    std::uint64_t state_;
};

class DeviceUnderTest {
public:
    // Designs the filters for the rate and clears every state.
    void configure(const VirtualCardConfig &config, double sampleRate);
    double sampleRate() const noexcept { return rate_; }
    // True when the model, apart from its delays, returns its input unchanged.
    bool ideal() const noexcept { return ideal_; }

    // One frame from the output path (full scale +-1) to the two inputs.
    // The left input is a straight wire; the right passes the model. The
    // left input of frame j is the left output of frame j - DELAY, the
    // right one starts from the right output of frame j - DELAY - DUTDELAY.
    void process(double left, double right, double &inLeft, double &inRight) noexcept;

private:
    // A delay of a whole number of frames: a ring holding the frames in
    // flight; an empty ring passes its input straight through.
    struct DelayLine {
        std::vector<double> ring;
        std::size_t at = 0;
        void configure(int frames) { ring.assign(static_cast<std::size_t>(frames), 0.0); at = 0; }
        double pass(double x) noexcept
        {
            if (ring.empty())
                return x;
            const double out = ring[at];
            ring[at] = x;
            if (++at == ring.size())
                at = 0;
            return out;
        }
    };

    DelayLine leftDelay_, rightDelay_;
    double rate_ = 0.0;
    bool ideal_ = true;
    double gain_ = 1.0;
    bool highpass_ = false, lowpass_ = false;
    dsp::IirSection hp_, lp_;
    double poly_[5] = {1.0, 0.0, 0.0, 0.0, 0.0}; // a1 .. a5
    bool polynomial_ = false;
    double harmonic_ = 0.0;   // relative amplitude of each harmonic
    double envelope_ = 0.0;   // peak follower that makes the harmonics level-independent
    double decay_ = 1.0;
    double noiseHalfWidth_ = 0.0; // uniform noise of the configured RMS
    double rightSign_ = 1.0;
    double dcOffset_ = 0.0;       // added to both inputs last
    NoiseSource noise_;
};

} // namespace audio
