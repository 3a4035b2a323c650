// Second-order IIR sections designed from analog prototypes by the bilinear
// transform, the pink-noise cascade built from them, and the stereo block
// filter the sweep uses before its phase evaluation.
//
// Design is a pure function returning coefficients; IirSection runs them
// (noexcept, no allocation); IirMagnitude evaluates the response of a
// coefficient set for tests and plots.
//
// Units: frequencies in Hz, sample rates in Hz (frames per second), gains in
// dB. Samples are linear (full scale about +-1.0).
//
// Threads: IirDesign, IirMagnitude, FilterStereoBlock and every member of
// IirSection / PinkNoiseFilter may be called from any thread, each object
// being used by one thread at a time (the output engine owns its own
// PinkNoiseFilter and runs it on its refill thread). The unit-wide wrappers
// InitIir / DesignIir / SetupPinkNoise / PinkNoiseSample share global state and
// belong to the user-interface thread.
#pragma once

namespace dsp {

// b0, b1, b2, -a1, -a2 of y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2].
struct IirCoefficients {
    double c[5] = {1.0, 0.0, 0.0, 0.0, 0.0};
};

// Filter types (the numbers are stored by callers, keep them).
enum IirType : int {
    kIirPassThrough = 0,
    kIirLowShelf = 1,   // gain, f
    kIirHighShelf = 2,  // gain, f
    kIirPeaking = 3,    // gain, Q, f
    kIirLowPass = 4,    // 2nd-order Butterworth, f
    kIirHighPass = 5,   // 2nd-order Butterworth, f
    kIirBandPass = 6,   // unity gain at f, Q
    kIirNotch = 7,      // zero at f, Q
    kIirAllPass = 8,    // double real pole at f
};

// Designs one section for `sampleRate`. Type 0 and any unknown type give the
// pass-through set (1, 0, 0, 0, 0). Inputs that have no stable design (rate or
// frequency not positive or not finite, Q not positive for types 3, 6 and 7)
// also give the pass-through set; a frequency at or above half the rate is
// taken as 0.49 of the rate so the prewarping stays finite.
IirCoefficients IirDesign(int type, double gainDb, double q, double freqHz, double sampleRate);

// As IirDesign, but an unknown type leaves `out` unchanged and returns false.
bool IirDesignInto(IirCoefficients &out, int type, double gainDb, double q, double freqHz,
                   double sampleRate);

// |H| of the section at `freqHz` (linear, not dB).
double IirMagnitude(const IirCoefficients &coefficients, double freqHz, double sampleRate);

// One section with its own state (direct form I, five multiplications a sample).
class IirSection {
public:
    IirSection() = default;
    explicit IirSection(const IirCoefficients &c) : coeff_(c) {}

    // Takes new coefficients; the state is kept (call reset() to clear it).
    void setCoefficients(const IirCoefficients &c) noexcept { coeff_ = c; }
    const IirCoefficients &coefficients() const noexcept { return coeff_; }

    void reset() noexcept { x1_ = x2_ = y1_ = y2_ = 0.0; }

    double process(double x) noexcept
    {
        const double *c = coeff_.c;
        const double y = c[0] * x + c[1] * x1_ + c[2] * x2_ + c[3] * y1_ + c[4] * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    IirCoefficients coeff_;
    double x1_ = 0.0, x2_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};

// The fixed cascade that turns white noise into pink noise: peaking sections
// at 20, 40, 80, ... Hz (Q 1, +2 dB falling 1 dB per octave) below half the
// rate, at most 12 of them, then a -30 dB high shelf at rate/2.4 that tames
// the top octave. Fixed arrays: setup and process never allocate.
class PinkNoiseFilter {
public:
    static constexpr int kMaxSections = 13;

    struct Section {
        int type = kIirPassThrough;
        int freqHz = 0;
        double q = 1.0;
        double gainDb = 0.0;
        IirSection filter;
    };

    // Designs the cascade for the rate (taken as a whole number of Hz) and
    // clears every section's state. Must precede the first process().
    void setup(double sampleRate);
    void reset() noexcept;

    // One white-noise value in, one pink-noise value out.
    double process(double x) noexcept
    {
        for (int i = 0; i < count_; ++i)
            x = sections_[i].filter.process(x);
        return x;
    }

    int sectionCount() const noexcept { return count_; }
    const Section &section(int i) const { return sections_[i]; }
    // Product of the section responses at `freqHz` (linear).
    double magnitude(double freqHz) const;
    double sampleRate() const noexcept { return rate_; }

private:
    Section sections_[kMaxSections];
    int count_ = 0;
    double rate_ = 0.0;
};

// Filters an interleaved stereo float block (`frames` pairs, "left" being the
// first value of each pair) in place with one section per channel, each
// starting from a cleared state. The left channel is filtered over frames
// 0..frames-3 (the last two frames stay as they were); the right channel over
// all frames, results above 1.0 written as 1.0. This is the form the sweep's
// phase evaluation was tuned on.
void FilterStereoBlock(const IirCoefficients &c, int frames, float *block) noexcept;

// Unit-wide entry points in the style of the rest of the program (user-interface
// thread only): InitIir sets the sample rate every later DesignIir and
// SetupPinkNoise use; DesignIir leaves `out` unchanged for an unknown type.
void InitIir(int sampleRate);
int IirSampleRate();
void DesignIir(int type, IirCoefficients &out, double gainDb, double q, double freqHz);
// The unit's own pink-noise cascade (designed for the rate set by InitIir).
void SetupPinkNoise();
double PinkNoiseSample(double x) noexcept;
PinkNoiseFilter &UnitPinkNoiseFilter();

} // namespace dsp
