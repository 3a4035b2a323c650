// Harmonics, intermodulation and noise of the virtual card's device model,
// read through the spectrum and compared with the model's closed form.
//
// After its gain g and its Butterworth high- and low-pass (prewarped
// bilinear sections: the analog response at tan(pi f/rate)), the model adds
//   y = x + 2h(x²/P - P/2) + 4h(x³/P² - 3x/4),   h = 10^(DISTORTION/20),
// P being the held peak of x. For x = a sin α (P = a): y = a sin α - ha cos 2α
// - ha sin 3α, so H2 = H3 = h re the fundamental.
// For x = a sin α + b sin β, collecting the terms of x² and x³:
//   f2 ± f1:   2hab/P            2f1 ± f2: 3ha²b/P²        2f2 ± f1: 3hab²/P²
//   f2 itself: b' = b(1 - 3h + 3h(b² + 2a²)/P²), likewise a' with a, b swapped.
// So SMPTE/DIN IMD = sqrt(2(2hab/P)² + 2(3ha²b/P²)²) / b', and for CCIF
// d2 = (2hab/P) / (a' + b'), d3 = (3ha²b/P² + 3hab²/P²) / (a' + b').
// P is a + b for a continuous signal, but the model holds the largest
// sample: 19 and 20 kHz at 48 kHz repeat every 48 samples, none of them on
// the crest, and P is 2.9 % lower (0.5 dB more d3). The test takes P as
// the largest of a second of samples of the two filtered tones.
#include "audio/virtualcard/deviceundertest.h"
#include "dsp/fft.h"
#include "dsp/harmonics.h"
#include "dsp/intermodulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <vector>

namespace {

using namespace dsp;
constexpr double kPi = std::numbers::pi;
constexpr double kRate = 48000;
constexpr int kN = 16384;
constexpr int kWindow = kWindowRifeVincent3;

double Db(double ratio) { return 20.0 * std::log10(ratio); }

audio::VirtualCardConfig Model(double distortionDb)
{
    audio::VirtualCardConfig c; // gain -0.5 dB, 20 Hz high-pass, 20 kHz low-pass, noise -110 dB
    c.distortionDb = distortionDb;
    return c;
}

// Gain and Butterworth sections up to the nonlinearity at `f` Hz:
// 1/(s² + √2 s + 1) and s²/(s² + √2 s + 1) at s = j·tan(pi f/rate)/tan(pi fc/rate).
std::complex<double> Path(const audio::VirtualCardConfig &c, double f)
{
    const double w = std::tan(kPi * f / kRate);
    const std::complex<double> sl(0.0, w / std::tan(kPi * c.lowpassHz / kRate));
    const std::complex<double> sh(0.0, w / std::tan(kPi * c.highpassHz / kRate));
    return std::pow(10.0, c.gainDb / 20) / (sl * sl + std::sqrt(2.0) * sl + 1.0) * (sh * sh) /
           (sh * sh + std::sqrt(2.0) * sh + 1.0);
}

// The right input's spectrum for `signal(t)` played: faded in over 0.25 s
// (so no switch-on transient lifts the held peak), settled 0.5 s, then kN
// frames captured.
std::vector<float> Through(const audio::VirtualCardConfig &c, const std::function<double(double)> &signal)
{
    audio::DeviceUnderTest dut;
    dut.configure(c, kRate);
    const int fade = int(0.25 * kRate), start = int(0.75 * kRate);
    std::vector<float> x(kN);
    double left = 0.0, right = 0.0;
    for (int i = 0; i < start + kN; ++i) {
        const double ramp = i < fade ? 0.5 - 0.5 * std::cos(kPi * i / fade) : 1.0;
        dut.process(0.0, ramp * signal(i / kRate), left, right);
        if (i >= start)
            x[i - start] = static_cast<float>(right);
    }
    SpectrumTransform tr;
    tr.setWindow(kWindow, kN);
    tr.transform(x.data(), kN);
    x.resize(kN / 2);
    return x;
}

TEST(DistortionModel, HarmonicsEqualTheSettingAtEveryFrequencyAndLevelAndIdleNoise)
{
    const double cases[][3] = {{200, -1, -60}, {997, -20, -60}, {5000, -6, -60}, {1000, -20, -80}};
    for (const auto &cs : cases) {
        const double f = cs[0], a = std::pow(10.0, cs[1] / 20), h = cs[2];
        const auto x = Through(Model(h), [&](double t) { return a * std::sin(2 * kPi * f * t); });
        HarmonicSetup setup;
        setup.fundamentalHz = f;
        const HarmonicReading r = AnalyseHarmonics(x.data(), kN, kRate, kWindow, setup);
        SCOPED_TRACE(testing::Message() << f << " Hz at " << cs[1] << " dBFS, DISTORTION " << h);
        ASSERT_EQ(r.status, DistortionStatus::Ok);
        EXPECT_NEAR(r.fundamentalDbfs, Db(a * std::abs(Path(Model(h), f))), 0.05);
        EXPECT_NEAR(r.harmonic(2).levelDb, h, 0.1);
        EXPECT_NEAR(r.harmonic(3).levelDb, h, 0.1);
        EXPECT_NEAR(r.thdDb, h + Db(std::sqrt(2.0)), 0.1);
        EXPECT_LT(r.harmonic(4).levelDb, h - 20);
    }
    // Idle: uniform noise of RMS 10^(-110/20) re 1.0 is -110 + 3.01 dBFS re a
    // full-scale sine's RMS, of which 20 Hz .. 20 kHz holds 19980/24000.
    const auto idle = Through(Model(-80), [](double) { return 0.0; });
    EXPECT_NEAR(MeasureNoise(idle.data(), kN, kRate, kWindow, MeasurementBand()).dbfs,
                -110 + Db(std::sqrt(2.0)) + 10 * std::log10(19980.0 / 24000), 0.2);
}

TEST(DistortionModel, SmpteDinAndCcifProductsFollowTheClosedForm)
{
    const double hDb = -60, h = std::pow(10.0, hDb / 20);
    const audio::VirtualCardConfig c = Model(hDb);
    for (TwoToneStandard s : {TwoToneStandard::Smpte, TwoToneStandard::Din, TwoToneStandard::Ccif}) {
        const TwoToneSetup setup = DefaultTwoTone(s);
        const TwoToneSignal sig = TwoToneSignalOf(setup);
        const auto x = Through(c, [&](double t) {
            return sig.a1 * std::sin(2 * kPi * sig.f1Hz * t) + sig.a2 * std::sin(2 * kPi * sig.f2Hz * t);
        });
        const ImdReading r = AnalyseImd(x.data(), kN, kRate, kWindow, setup);
        SCOPED_TRACE(TwoToneStandardName(s));
        ASSERT_EQ(r.status, DistortionStatus::Ok);
        const std::complex<double> h1 = Path(c, sig.f1Hz), h2 = Path(c, sig.f2Hz);
        const double a = sig.a1 * std::abs(h1), b = sig.a2 * std::abs(h2);
        double p = 0.0;
        for (int i = 0; i < int(kRate); ++i)
            p = std::max(p, std::fabs(a * std::sin(2 * kPi * sig.f1Hz * i / kRate + std::arg(h1)) +
                                      b * std::sin(2 * kPi * sig.f2Hz * i / kRate + std::arg(h2))));
        const double a2 = a * (1 - 3 * h + 3 * h * (a * a + 2 * b * b) / (p * p));
        const double b2 = b * (1 - 3 * h + 3 * h * (b * b + 2 * a * a) / (p * p));
        const double second = 2 * h * a * b / p;
        EXPECT_NEAR(Db(r.a2), Db(b2), 0.05);
        if (s != TwoToneStandard::Ccif) {
            const double third = 3 * h * a * a * b / (p * p);
            EXPECT_NEAR(r.imdDb, Db(std::sqrt(2 * second * second + 2 * third * third) / b2), 0.1);
            EXPECT_NEAR(r.products[3].levelDb, Db(third / b2), 0.1);
        } else {
            EXPECT_NEAR(r.d2Db, Db(second / (a2 + b2)), 0.1);
            EXPECT_NEAR(r.d3Db, Db(3 * h * a * b * (a + b) / (p * p) / (a2 + b2)), 0.1);
        }
    }
}

} // namespace
