// The log sweep run on the paced virtual card against closed forms: an ideal
// card flat in level and phase, with a delay on both inputs and one on the
// measured path found to the frame; the card's device model (bilinear
// Butterworth filters worked out in support/cardmodel.h, gain, inversion,
// 2nd and 3rd harmonics at its DISTORTION) in level, phase and harmonics,
// and beside the stepped sweep on the same model; a card that vanishes
// mid-sweep, after which the next run works.
#include "audio/outputengine.h"
#include "measurement/logsweepdriver.h"
#include "measurement/sweepdriver.h"
#include "support/audiotestsupport.h"
#include "support/cardmodel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

constexpr double kRate = 48000.0;

class LogSweepRun : public ::testing::Test {
protected:
    audiotest::SettingsScratch settings_{"logsweeprun"};
    audiotest::CardEngine engine_;
    measure::LogSweepDriver driver_;
    const dsp::CorrectionCurve none_;

    void TearDown() override { engine_.stop(); }
    void start(audio::VirtualCardConfig config, int bits = 24)
    {
        config.paced = true; // the stream capture needs the card's own clock
        config.signal = audio::VirtualCardConfig::Signal::Off;
        engine_.start(config);
        engine_.setFormat(static_cast<int>(kRate), bits);
    }
    dsp::LogSweepResult run(const dsp::LogSweepParameters &p)
    {
        const auto outcome = driver_.Run(p, none_);
        EXPECT_EQ(outcome, measure::LogSweepDriver::Outcome::Done) << driver_.Error();
        return driver_.Result();
    }
};

double Wrapped(double deg) { return std::remainder(deg, 360.0); }
double Deg(std::complex<double> h) { return std::arg(h) * 180.0 / std::numbers::pi; }

TEST_F(LogSweepRun, AnIdealCardIsFlatAndItsDelaysAreFoundToTheFrame)
{
    audio::VirtualCardConfig config = audio::VirtualCardConfig::Ideal(true);
    config.delayFrames = 311;
    config.dutDelayFrames = 29;
    start(config, 16);
    dsp::LogSweepParameters p;
    p.FromHz = 50.0;
    p.ToHz = 20000.0;
    p.Seconds = 1.0; // without harmonics 0.7 s would do
    p.Harmonics = 1;
    p.LevelDb = -6.0;

    // Right against left: the card's delay cancels, the measured path's
    // remains as the response's time zero.
    p.Mode = dsp::kSweepLeftReference;
    dsp::LogSweepResult r = run(p);
    ASSERT_EQ(r.ChannelCount, 1);
    EXPECT_EQ(r.Channels[0].PeakFrames, 29);
    // The card adds no offset of its own: the reference input's latency is
    // DELAY, the measured input's DELAY + DUTDELAY, to the frame.
    EXPECT_EQ(r.LatencyFrames, 311);
    EXPECT_EQ(r.Channels[0].LatencyFrames, 340);
    EXPECT_EQ(r.LatencyUncertaintyFrames, 0);
    int checked = 0;
    for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
        const double f = r.FrequencyHz[i];
        if (f < 2.0 * p.FromHz || f > 0.9 * p.ToHz)
            continue;
        ++checked;
        EXPECT_NEAR(r.Channels[0].LevelDb[i], 0.0, 0.01) << f;
        EXPECT_NEAR(Wrapped(r.Channels[0].PhaseDeg[i]), 0.0, 0.1) << f;
    }
    EXPECT_GT(checked, 300);

    // Each input against the played sweep: the peak level of the sweep, and
    // the right input later than the left by the measured path's delay.
    p.Mode = dsp::kSweepStereo;
    r = run(p);
    ASSERT_EQ(r.ChannelCount, 2);
    const auto &left = r.Channels[0].Input == 0 ? r.Channels[0] : r.Channels[1];
    const auto &right = r.Channels[0].Input == 0 ? r.Channels[1] : r.Channels[0];
    EXPECT_EQ(left.LatencyFrames, 311);
    EXPECT_EQ(right.LatencyFrames, 340);
    EXPECT_EQ(r.LatencyFrames, 311);
    EXPECT_EQ(r.LatencyUncertaintyFrames, 0);
    // The impulse responses peak there, positive (a wire does not invert).
    EXPECT_EQ(left.PeakFrames, 311);
    EXPECT_EQ(right.PeakFrames, 340);
    for (const auto *c : {&left, &right}) {
        ASSERT_GT(c->Impulse.size(), static_cast<std::size_t>(c->ImpulseZero));
        EXPECT_GT(c->Impulse[static_cast<std::size_t>(c->ImpulseZero)], 0.5);
    }
    for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
        const double f = r.FrequencyHz[i];
        if (f < 2.0 * p.FromHz || f > 0.9 * p.ToHz)
            continue;
        EXPECT_NEAR(left.LevelDb[i], -6.0, 0.01) << f;
        EXPECT_NEAR(right.LevelDb[i], -6.0, 0.01) << f;
        EXPECT_NEAR(Wrapped(left.PhaseDeg[i]), 0.0, 0.1) << f;
        EXPECT_NEAR(Wrapped(right.PhaseDeg[i]), 0.0, 0.1) << f;
    }
}

TEST_F(LogSweepRun, AWireShowsNoHarmonicsDownToTheStart)
{
    // A straight wire in stereo from 20 Hz: whatever harmonic is reported
    // lies far below any converter's distortion; near the start, where the
    // band edge's ringing would leak into H2's window, H2 has no value.
    start(audio::VirtualCardConfig::Ideal(true), 24);
    dsp::LogSweepParameters p;
    p.FromHz = 20.0;
    p.ToHz = 20000.0;
    p.Seconds = 3.0;
    p.Mode = dsp::kSweepStereo;
    const dsp::LogSweepResult r = run(p);
    ASSERT_EQ(r.ChannelCount, 2);
    int reported[4] = {};
    for (int c = 0; c < 2; ++c) {
        for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
            const double f = r.FrequencyHz[i];
            for (int k = 2; k <= 5; ++k) {
                const double h = r.Channels[c].HarmonicDb[k - 2][i];
                if (std::isnan(h))
                    continue;
                EXPECT_LT(h, -100.0) << "H" << k << " at " << f << " Hz";
                ++reported[k - 2];
            }
            if (!std::isnan(r.Channels[c].ThdDb[i])) {
                EXPECT_LT(r.Channels[c].ThdDb[i], -100.0) << f;
            }
            if (f >= 100.0 && 2.0 * f < 0.9 * p.ToHz) {
                EXPECT_FALSE(std::isnan(r.Channels[c].HarmonicDb[0][i])) << "H2 withheld at " << f << " Hz";
            }
        }
    }
    // H2 from about twice the start on; H3 .. H5 up to the fade.
    EXPECT_GT(reported[0], 2 * 350);
    EXPECT_GT(reported[1], 2 * 360);
}

TEST_F(LogSweepRun, APolynomialsHarmonicsFollowItsCoefficients)
{
    // y = a1 x + ... + a5 x^5 for x = A sin t. With the power reductions
    //   sin^2 = (1 - cos 2t)/2,        sin^3 = (3 sin t - sin 3t)/4,
    //   sin^4 = (3 - 4 cos 2t + cos 4t)/8, sin^5 = (10 sin t - 5 sin 3t + sin 5t)/16
    // the output holds
    //   fundamental  a1 A + 3/4 a3 A^3 + 5/8 a5 A^5,
    //   2nd  -(a2 A^2/2 + a4 A^4/2) cos 2t,   3rd  -(a3 A^3/4 + 5/16 a5 A^5) sin 3t,
    //   4th  a4 A^4/8 cos 4t,                 5th  a5 A^5/16 sin 5t,
    // the harmonic levels that A. Novák, L. Simon, P. Lotton, "Synchronized
    // Swept-Sine: Theory, Application, and Implementation", J. Audio Eng.
    // Soc. 63(10), 2015, derive for a polynomial system. The sweep ends at
    // 4 kHz, so no harmonic folds back: 20 Hz .. 4 kHz, 2 s asked (L = 0.4 s).
    const double a[5] = {0.9, 0.05, -0.04, 0.01, 0.02};
    audio::VirtualCardConfig config = audio::VirtualCardConfig::Ideal(true);
    config.polynomial.assign(a, a + 5);
    start(config);
    dsp::LogSweepParameters p;
    p.FromHz = 20.0;
    p.ToHz = 4000.0;
    p.Seconds = 2.0;
    p.LevelDb = -3.0;
    p.Mode = dsp::kSweepLeftReference;
    const dsp::LogSweepResult r = run(p);
    ASSERT_EQ(r.ChannelCount, 1);
    const double x = std::pow(10.0, p.LevelDb / 20.0);
    const double fundamental = a[0] * x + 0.75 * a[2] * std::pow(x, 3) + 0.625 * a[4] * std::pow(x, 5);
    const double harmonic[4] = {std::fabs(a[1] * x * x / 2 + a[3] * std::pow(x, 4) / 2),
                                std::fabs(a[2] * std::pow(x, 3) / 4 + 5 * a[4] * std::pow(x, 5) / 16),
                                std::fabs(a[3] * std::pow(x, 4) / 8), std::fabs(a[4] * std::pow(x, 5) / 16)};
    double worst = 0.0;
    int checked = 0;
    const dsp::LogSweepChannelResult &c = r.Channels[0];
    for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
        const double f = r.FrequencyHz[i];
        if (f < 100.0 || f > 3800.0)
            continue;
        EXPECT_NEAR(c.LevelDb[i], 20.0 * std::log10(fundamental / x), 0.05) << f;
        for (int k = 2; k <= 5; ++k) {
            const double expected = 20.0 * std::log10(harmonic[k - 2] / fundamental);
            EXPECT_NEAR(c.HarmonicDb[k - 2][i], expected, 0.5) << "H" << k << " at " << f << " Hz";
            worst = std::max(worst, std::fabs(c.HarmonicDb[k - 2][i] - expected));
            ++checked;
        }
    }
    EXPECT_GT(checked, 4 * 200);
    std::printf("polynomial: H2..H5 %.2f %.2f %.2f %.2f dB expected, largest deviation %.4f dB\n",
                20.0 * std::log10(harmonic[0] / fundamental), 20.0 * std::log10(harmonic[1] / fundamental),
                20.0 * std::log10(harmonic[2] / fundamental), 20.0 * std::log10(harmonic[3] / fundamental), worst);
}

TEST_F(LogSweepRun, TheDeviceModelsResponseAndHarmonicsFollowTheirClosedForms)
{
    audio::VirtualCardConfig config; // the device model
    config.invert = true;
    start(config);
    dsp::LogSweepParameters p;
    p.FromHz = 10.0;
    p.ToHz = 22500.0;
    p.Seconds = 5.0; // H5 needs 4.7 s over this range with the window of 300 ms
    p.Mode = dsp::kSweepLeftReference;
    p.LevelDb = -6.0;

    double worst[4] = {}; // level dB, phase deg, harmonics at -80 and at -60 dB
    for (const double distortion : {-80.0, -60.0}) {
        if (distortion != -80.0) {
            engine_.stop();
            config.distortionDb = distortion;
            start(config);
            p.Harmonics = 3; // H2 and H3 only: a shorter sweep
            p.Seconds = 3.0;
        }
        const dsp::LogSweepResult r = run(p);
        ASSERT_EQ(r.ChannelCount, 1);
        const dsp::LogSweepChannelResult &c = r.Channels[0];
        // The model's filters have their largest tap at once or a frame later.
        ASSERT_GE(c.PeakFrames, 0);
        ASSERT_LE(c.PeakFrames, 1);
        for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
            const double f = r.FrequencyHz[i];
            const std::complex<double> h = -testsupport::DeviceUnderTest(f, kRate) *
                                           std::polar(1.0, 2.0 * std::numbers::pi * f * c.PeakFrames / kRate);
            if (f >= 20.0 && f <= 20000.0 && distortion == -80.0) {
                EXPECT_NEAR(c.LevelDb[i], 20.0 * std::log10(std::abs(h)), 0.05) << f;
                EXPECT_NEAR(Wrapped(c.PhaseDeg[i] - Deg(h)), 0.0, 0.5) << f;
                worst[0] = std::max(worst[0], std::abs(c.LevelDb[i] - 20.0 * std::log10(std::abs(h))));
                worst[1] = std::max(worst[1], std::abs(Wrapped(c.PhaseDeg[i] - Deg(h))));
            }
            if (f >= 100.0 && f <= 5000.0) {
                const double tolerance = distortion == -80.0 ? 1.0 : 0.5;
                EXPECT_NEAR(c.HarmonicDb[0][i], distortion, tolerance) << "H2 " << f;
                EXPECT_NEAR(c.HarmonicDb[1][i], distortion, tolerance) << "H3 " << f;
                for (int k = 4; k <= p.Harmonics; ++k) {
                    if (k * f < kRate / 2.0) { // above, a harmonic has no value
                        EXPECT_LT(c.HarmonicDb[k - 2][i], -100.0) << "H" << k << " " << f;
                    }
                }
                worst[distortion == -80.0 ? 2 : 3] =
                    std::max({worst[distortion == -80.0 ? 2 : 3], std::abs(c.HarmonicDb[0][i] - distortion),
                              std::abs(c.HarmonicDb[1][i] - distortion)});
            }
        }
    }

    std::printf("largest deviations: level %.4f dB, phase %.3f deg, H2/H3 %.3f dB at -80, %.3f dB at -60\n",
                worst[0], worst[1], worst[2], worst[3]);

    // The stepped sweep on the same model at 100 Hz, 1 kHz and 10 kHz; the
    // log sweep's curve read between its neighbouring points.
    const dsp::LogSweepResult r = driver_.Result();
    measure::SweepSetup setup;
    setup.FreqFrom = 100;
    setup.FreqTo = 10000;
    setup.Steps = 2;
    setup.Mode = dsp::kSweepLeftReference;
    setup.LevelDig = -6.0f;
    setup.SettleMs = 50;
    audio::SetLoop(true);
    measure::SweepDriver stepped;
    int points = 0;
    stepped.OnPoint = [&](const measure::SweepPoint &pt) {
        const double f = pt.Frequency;
        const auto &fs = r.FrequencyHz;
        const std::size_t j = static_cast<std::size_t>(std::upper_bound(fs.begin(), fs.end(), f) - fs.begin());
        ASSERT_TRUE(j > 0 && j < fs.size());
        const double t = std::log(f / fs[j - 1]) / std::log(fs[j] / fs[j - 1]);
        const double level = (1 - t) * r.Channels[0].LevelDb[j - 1] + t * r.Channels[0].LevelDb[j];
        EXPECT_NEAR(level, pt.Reading.First, 0.05) << f;
        std::printf("stepped %.1f Hz: %.4f dB, log sweep %.4f dB\n", f, pt.Reading.First, level);
        ++points;
    };
    ASSERT_EQ(stepped.Run(setup, none_, none_), measure::SweepDriver::Outcome::Done) << stepped.Error();
    EXPECT_EQ(points, 3);
}

TEST_F(LogSweepRun, ACardThatVanishesEndsTheRunWithNothingKeptAndTheNextRunWorks)
{
    audio::VirtualCardConfig config = audio::VirtualCardConfig::Ideal(true);
    config.vanishAfterBlocks = 3;
    start(config, 16);
    dsp::LogSweepParameters p;
    p.Seconds = 1.0;
    p.Harmonics = 1;
    EXPECT_EQ(driver_.Run(p, none_), measure::LogSweepDriver::Outcome::Failed);
    EXPECT_NE(driver_.Error().find("capture"), std::string::npos) << driver_.Error();
    EXPECT_EQ(driver_.Result().ChannelCount, 0);
    EXPECT_FALSE(audio::OutputRunning());

    engine_.stop();
    start(audio::VirtualCardConfig::Ideal(true), 16);
    const dsp::LogSweepResult r = run(p);
    ASSERT_EQ(r.ChannelCount, 1);
    EXPECT_NEAR(r.Channels[0].LevelDb[r.FrequencyHz.size() / 2], 0.0, 0.01);

    // A length the harmonics cannot live with is refused before anything plays.
    p.Harmonics = 5;
    p.Seconds = 0.2;
    EXPECT_EQ(driver_.Run(p, none_), measure::LogSweepDriver::Outcome::Invalid);
    EXPECT_NE(driver_.Error().find("at least"), std::string::npos) << driver_.Error();
    EXPECT_EQ(driver_.Result().ChannelCount, 0);
}

} // namespace
