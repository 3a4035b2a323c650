// Second-order IIR sections: design by bilinear transform, the pink-noise
// cascade and the stereo block filter.
#include "dsp/iirfilter.h"

#include <cmath>
#include <complex>

namespace dsp {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSqrt2 = 1.41421356237309504880;

// Frequency whose bilinear image lands at `f`: tan(pi f/fs)·fs/pi.
double Prewarp(double f, double fs) { return std::tan(kPi * f / fs) * fs / kPi; }

bool UsesQ(int type) { return type == kIirPeaking || type == kIirBandPass || type == kIirNotch; }

} // namespace

bool IirDesignInto(IirCoefficients &out, int type, double gainDb, double q, double freqHz,
                   double sampleRate)
{
    if (type < kIirPassThrough || type > kIirAllPass)
        return false;

    const IirCoefficients passThrough;
    const bool usable = std::isfinite(sampleRate) && sampleRate > 0.0 && std::isfinite(freqHz) &&
                        freqHz > 0.0 && std::isfinite(gainDb) &&
                        (!UsesQ(type) || (std::isfinite(q) && q > 0.0));
    if (type == kIirPassThrough || !usable) {
        out = passThrough;
        return true;
    }

    const double fs = sampleRate;
    const double f = std::fmin(freqHz, 0.49 * fs);
    const double g = std::fabs(gainDb);
    const double a = std::pow(10.0, g / 20.0);
    const double a2 = std::pow(10.0, g / (20.0 * kSqrt2));

    const double fw = Prewarp(f, fs);
    const double w = 2.0 * kPi * fw;
    double k = 0.0;
    if (UsesQ(type)) {
        // Relative bandwidth from Q: the lower band edge, both ends prewarped.
        const double half = f / (2.0 * q);
        const double f1 = std::sqrt(f * f + half * half) - half;
        const double f1w = Prewarp(f1, fs);
        k = (fw * fw / f1w - f1w) / fw;
    }

    // Analog prototype, coefficients of s^0, s^1, s^2.
    double b0 = 0, b1 = 0, b2 = 0, a0 = 0, a1 = 0, a2s = 0;
    auto set = [&](double n0, double n1, double n2, double d0, double d1, double d2) {
        b0 = n0, b1 = n1, b2 = n2, a0 = d0, a1 = d1, a2s = d2;
    };
    const double w2 = w * w;
    switch (type) {
    case kIirLowShelf:
        if (gainDb >= 0)
            set(a * w2, 2.0 * std::sqrt(a) * w, 1.0, w2, (a + 1.0) * w / a2, 1.0);
        else
            set(w2, (a + 1.0) * w / a2, 1.0, a * w2, 2.0 * std::sqrt(a) * w, 1.0);
        break;
    case kIirHighShelf:
        if (gainDb >= 0)
            set(w2, 2.0 * std::sqrt(a) * w, a, w2, (a + 1.0) * w / a2, 1.0);
        else
            set(w2, (a + 1.0) * w / a2, 1.0, w2, 2.0 * std::sqrt(a) * w, a);
        break;
    case kIirPeaking: {
        // A gain too small to separate A from A2 in double precision is a 0 dB peak.
        const double v = a * a > a2 * a2 ? std::sqrt((a2 * a2 - 1.0) / (a * a - a2 * a2)) : kSqrt2;
        if (gainDb > 0)
            set(w2, v * a * k * w, 1.0, w2, v * k * w, 1.0);
        else
            set(w2, v * k * w, 1.0, w2, v * a * k * w, 1.0);
        break;
    }
    case kIirLowPass: set(w2, 0.0, 0.0, w2, kSqrt2 * w, 1.0); break;
    case kIirHighPass: set(0.0, 0.0, 1.0, w2, kSqrt2 * w, 1.0); break;
    case kIirBandPass: set(0.0, k * w, 0.0, w2, k * w, 1.0); break;
    case kIirNotch: set(w2, 0.0, 1.0, w2, k * w, 1.0); break;
    case kIirAllPass: set(w2, -2.0 * w, 1.0, w2, 2.0 * w, 1.0); break;
    }

    // Bilinear transform s = (2/T)(1 - z^-1)/(1 + z^-1), multiplied through by T².
    const double t = 1.0 / fs;
    const double t2 = t * t;
    const double n0 = b0 * t2 + 2.0 * b1 * t + 4.0 * b2;
    const double n1 = 2.0 * b0 * t2 - 8.0 * b2;
    const double n2 = b0 * t2 - 2.0 * b1 * t + 4.0 * b2;
    const double d0 = a0 * t2 + 2.0 * a1 * t + 4.0 * a2s;
    const double d1 = 2.0 * a0 * t2 - 8.0 * a2s;
    const double d2 = a0 * t2 - 2.0 * a1 * t + 4.0 * a2s;
    out.c[0] = n0 / d0;
    out.c[1] = n1 / d0;
    out.c[2] = n2 / d0;
    out.c[3] = -d1 / d0;
    out.c[4] = -d2 / d0;
    return true;
}

IirCoefficients IirDesign(int type, double gainDb, double q, double freqHz, double sampleRate)
{
    IirCoefficients c;
    IirDesignInto(c, type, gainDb, q, freqHz, sampleRate);
    return c;
}

double IirMagnitude(const IirCoefficients &coefficients, double freqHz, double sampleRate)
{
    const double *c = coefficients.c;
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * freqHz / sampleRate); // z^-1
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> num = c[0] + c[1] * z1 + c[2] * z2;
    const std::complex<double> den = 1.0 - c[3] * z1 - c[4] * z2;
    return std::abs(num / den);
}

void PinkNoiseFilter::setup(double sampleRate)
{
    const long fs = std::isfinite(sampleRate) ? std::lround(sampleRate) : 0;
    rate_ = static_cast<double>(fs);
    for (Section &s : sections_)
        s = Section{};

    // Peaking sections an octave apart, each 1 dB below the one before, so
    // that together they tilt white noise by -3 dB per octave.
    int freq = 20;
    double gain = 2.0;
    for (int i = 0; i < kMaxSections; ++i) {
        sections_[i].type = kIirPeaking;
        sections_[i].freqHz = freq;
        sections_[i].q = 1.0;
        sections_[i].gainDb = gain;
        freq *= 2;
        gain -= 1.0;
    }

    // At most 12 peaking sections, so the shelf always has its place.
    int peaking = 0;
    while (peaking < kMaxSections - 1 && sections_[peaking].freqHz < fs / 2) {
        Section &s = sections_[peaking];
        s.filter.setCoefficients(IirDesign(s.type, s.gainDb, s.q, s.freqHz, rate_));
        ++peaking;
    }
    Section &shelf = sections_[peaking];
    shelf.type = kIirHighShelf;
    shelf.freqHz = static_cast<int>(std::lround(static_cast<double>(fs) / 2.4));
    shelf.q = 1.0;
    shelf.gainDb = -30.0;
    shelf.filter.setCoefficients(IirDesign(shelf.type, shelf.gainDb, shelf.q, shelf.freqHz, rate_));
    count_ = peaking + 1;
    reset();
}

void PinkNoiseFilter::reset() noexcept
{
    for (Section &s : sections_)
        s.filter.reset();
}

double PinkNoiseFilter::magnitude(double freqHz) const
{
    double m = 1.0;
    for (int i = 0; i < count_; ++i)
        m *= IirMagnitude(sections_[i].filter.coefficients(), freqHz, rate_);
    return m;
}

void FilterStereoBlock(const IirCoefficients &c, int frames, float *block) noexcept
{
    if (!block || frames <= 0)
        return;
    IirSection section(c);
    for (int i = 0; i < frames - 2; ++i)
        block[2 * i] = static_cast<float>(section.process(block[2 * i]));

    section.reset();
    for (int i = 0; i < frames; ++i) {
        const double y = section.process(block[2 * i + 1]);
        block[2 * i + 1] = y > 1.0 ? 1.0f : static_cast<float>(y);
    }
}

namespace {
int g_sampleRate = 44100;
PinkNoiseFilter g_pink;
} // namespace

void InitIir(int sampleRate) { g_sampleRate = sampleRate; }

int IirSampleRate() { return g_sampleRate; }

void DesignIir(int type, IirCoefficients &out, double gainDb, double q, double freqHz)
{
    IirDesignInto(out, type, gainDb, q, freqHz, g_sampleRate);
}

void SetupPinkNoise() { g_pink.setup(g_sampleRate); }

double PinkNoiseSample(double x) noexcept { return g_pink.process(x); }

PinkNoiseFilter &UnitPinkNoiseFilter() { return g_pink; }

} // namespace dsp
