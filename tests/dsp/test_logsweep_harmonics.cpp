// Harmonic responses of log sweeps against closed forms: the virtual card's
// device model rebuilt from its description (filters, gain, inversion, 2nd
// and 3rd harmonic at DISTORTION, noise at -110 dB), and a memoryless
// polynomial whose harmonic levels follow from its coefficients by the
// power-reduction formulas sin^n -> harmonics, as Novák et al. derive them.
// The device sweeps run from 10 Hz to 22.5 kHz at 48000 Hz for 4.6 s
// (L = 0.6 s, 222299 frames) at -1 dB re full scale.
#include "dsp/logsweepanalysis.h"
#include "logsweeptest.h"
#include "support/cardmodel.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace dsp;
using namespace logsweeptest;

TEST(LogSweepHarmonics, DeviceModelReadsItsDistortionAndItsFilters)
{
    for (double distortionDb : {-80.0, -60.0}) {
        LogSweepAnalyser a;
        ASSERT_TRUE(a.prepare(Sweep(10.0, 22500.0, 4.6, kSweepLeftReference, -1.0), kRate));
        ModelDevice device(kRate, distortionDb, -110.0), wire(kRate, -200.0, -110.0); // left: noise only
        wire.state = 7;
        ASSERT_TRUE(Record(a, [&wire](double x) { return x + wire.noiseSample(); },
                           [&device](double x) { return device(x); })
                        .ok());
        const LogSweepResult r = a.result();
        const LogSweepChannelResult &c = r.Channels[0];
        // Inverted on the right input; closed form from the analog prototypes.
        ExpectResponse(r, c, 20.0, 20000.0, 0.05, 0.5, [](double f) { return -testsupport::DeviceUnderTest(f, kRate); });
        const double tolerance = distortionDb == -80.0 ? 1.0 : 0.5;
        for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
            const double f = r.FrequencyHz[i];
            if (f < 100.0 || f > 5000.0)
                continue;
            EXPECT_NEAR(c.HarmonicDb[0][i], distortionDb, tolerance) << "H2 at " << f << " Hz";
            EXPECT_NEAR(c.HarmonicDb[1][i], distortionDb, tolerance) << "H3 at " << f << " Hz";
            for (int k = 4; k <= 5; ++k) {
                if (k * f < 0.95 * 22500.0) {
                    EXPECT_LT(c.HarmonicDb[k - 2][i], -100.0) << "H" << k << " at " << f << " Hz";
                }
            }
            // THD of two equal harmonics: 3 dB above each.
            EXPECT_NEAR(c.ThdDb[i], distortionDb + 10.0 * std::log10(2.0), tolerance) << f << " Hz";
        }
    }
}

TEST(LogSweepHarmonics, PolynomialGivesTheLevelsItsCoefficientsPredict)
{
    // y = x + a2 x^2 + ... + a5 x^5 for x = A sin t: sin^2 = (1 - cos 2t)/2,
    // sin^3 = (3 sin t - sin 3t)/4, sin^4 = (3 - 4 cos 2t + cos 4t)/8,
    // sin^5 = (10 sin t - 5 sin 3t + sin 5t)/16. The sweep ends at 4 kHz so
    // that no harmonic folds back (20 Hz .. 4 kHz, 2 s asked, f1·L = 8:
    // L = 0.4 s); harmonics above its end come from the analytic inverse,
    // whose windows also catch a little of the sweep's abrupt end (0.05 dB
    // at -40 dB just above it).
    const double a2 = 0.02, a3 = 0.03, a4 = 0.004, a5 = 0.006;
    LogSweepAnalyser a;
    ASSERT_TRUE(a.prepare(Sweep(20.0, 4000.0, 2.0, kSweepLeftReference), kRate));
    const double x = a.design().Amplitude;
    const double fundamental = x + 0.75 * a3 * std::pow(x, 3) + 0.625 * a5 * std::pow(x, 5);
    const double expected[4] = {(a2 * x * x / 2 + a4 * std::pow(x, 4) / 2) / fundamental,
                                (a3 * std::pow(x, 3) / 4 + 5 * a5 * std::pow(x, 5) / 16) / fundamental,
                                a4 * std::pow(x, 4) / 8 / fundamental, a5 * std::pow(x, 5) / 16 / fundamental};
    auto polynomial = [&](double v) { return v + a2 * v * v + a3 * v * v * v + a4 * std::pow(v, 4) + a5 * std::pow(v, 5); };
    ASSERT_TRUE(Record(a, Delay(0), polynomial).ok());
    const LogSweepResult r = a.result();
    const LogSweepChannelResult &c = r.Channels[0];
    int checked = 0;
    for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
        const double f = r.FrequencyHz[i];
        if (f < 100.0 || f > 3800.0)
            continue;
        EXPECT_NEAR(c.LevelDb[i], 20.0 * std::log10(fundamental / x), 0.01) << f << " Hz";
        for (int k = 2; k <= 5; ++k) {
            if (k * f <= 20000.0) {
                EXPECT_NEAR(c.HarmonicDb[k - 2][i], 20.0 * std::log10(expected[k - 2]), 0.1)
                    << "H" << k << " at " << f << " Hz";
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 100);
}
