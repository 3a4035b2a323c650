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
    EXPECT_GE(r.LatencyFrames, 311); // the card's own offset comes on top
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
    EXPECT_EQ(right.LatencyFrames - left.LatencyFrames, 29);
    EXPECT_GE(left.LatencyFrames, 311);
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
