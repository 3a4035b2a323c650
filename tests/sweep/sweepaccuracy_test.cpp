// Sweep readings against closed forms on the unpaced virtual card, through
// the sweep run the page and the command line share: an ideal card and the
// card's device model (its filters worked out from their bilinear designs,
// with gain, inversion, -80 dB harmonics and -110 dBFS noise; in both mono
// modes) at log and linear steps and at the rates' simple fractions, where a
// period holds a few frames at fixed places; low steps at 192 kHz that take
// two captures; a delay on the measured path and on both inputs.
#include "audio/outputengine.h"
#include "measurement/blockwait.h"
#include "measurement/sweeprun.h"
#include "support/audiotestsupport.h"
#include "support/cardmodel.h"

#include <memory>

namespace {

// A log sweep from 20 Hz to 0.45·rate, linear steps of 1 kHz, and rate/24,
// /12, /8, /6, /4, /3 (11025 Hz at 44100 Hz).
std::vector<double> Frequencies(int rate)
{
    std::vector<double> f;
    for (int i = 0; i <= 24; ++i)
        f.push_back(20.0 * std::pow(0.45 * rate / 20.0, i / 24.0));
    for (double k = 1000.0; k <= 0.45 * rate; k += 1000.0)
        f.push_back(k);
    for (const double d : {24.0, 12.0, 8.0, 6.0, 4.0, 3.0})
        f.push_back(rate / d);
    return f;
}

double Degrees(std::complex<double> h) { return std::arg(h) * 180.0 / std::numbers::pi; }
double Wrapped(double degrees) { return std::remainder(degrees, 360.0); }

class SweepAccuracy : public ::testing::Test {
protected:
    audiotest::SettingsScratch settings_{"sweepaccuracy"};
    audiotest::CardEngine engine_;
    void TearDown() override { engine_.stop(); }

    // Each frequency as a step of a sweep run on an unpaced card: the tone at
    // -6 dB, 20 ms of settling, as many captures as the step takes.
    std::vector<dsp::SweepReading> measure(audio::VirtualCardConfig config, int rate, bool loop,
                                           const std::vector<double> &freqs, int mode, std::vector<int> *captures = {})
    {
        engine_.stop();
        config.paced = false;
        config.signal = audio::VirtualCardConfig::Signal::Off;
        engine_.start(config);
        engine_.setFormat(rate, 16);
        audio::SetLoop(loop);
        std::vector<dsp::SweepReading> out;
        measure::SweepRun run;
        const dsp::CorrectionCurve none;
        run.Begin();
        for (const double f : freqs) {
            measure::SweepStepPlan plan = measure::SweepRun::Plan({}, 0);
            plan.Frequency = static_cast<float>(f);
            plan.CaptureFrames = dsp::SweepCaptureFrames(f, rate, 16);
            plan.Captures = dsp::SweepCapturesNeeded(f, rate, plan.CaptureFrames);
            auto done = std::make_shared<bool>(false);
            EXPECT_EQ(run.StartTone(plan, -6.0f, none), 0);
            measure::WaitMs(20);
            EXPECT_EQ(run.StartCapture(plan, [done] { *done = true; }), 0);
            measure::SweepRun::Block b;
            int blocks = 0;
            do {
                EXPECT_TRUE(audiotest::WaitFor([&] { return *done; }, 20000)) << f;
                *done = false;
                ++blocks;
                b = run.TakeBlock(mode, none, true);
            } while (b.Kind == measure::SweepRun::BlockKind::Continued);
            EXPECT_EQ(b.Kind, measure::SweepRun::BlockKind::Measured) << f;
            out.push_back(b.Point.Reading);
            if (captures)
                captures->push_back(blocks);
        }
        run.Finish();
        return out;
    }
};

TEST_F(SweepAccuracy, IdealCardReadsFlatAndThePlayedLevelAtEveryRate)
{
    for (const int rate : {44100, 48000, 96000})
        for (const int mode : {dsp::kSweepLeftReference, dsp::kSweepStereo}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, mode " << mode);
            const std::vector<double> f = Frequencies(rate);
            const auto m = measure(audio::VirtualCardConfig::Ideal(), rate, rate != 48000, f, mode);
            ASSERT_EQ(m.size(), f.size());
            // Stereo: the peak played, -6 dB re full scale, on both channels.
            const bool stereo = mode == dsp::kSweepStereo;
            for (std::size_t i = 0; i < f.size(); ++i) {
                EXPECT_NEAR(m[i].First, stereo ? -6.0 : 0.0, stereo ? 0.01 : 0.005) << f[i];
                EXPECT_NEAR(m[i].Second, stereo ? -6.0 : 0.0, stereo ? 0.01 : 0.1) << f[i];
            }
        }
}

TEST_F(SweepAccuracy, DeviceModelFollowsItsClosedForm)
{
    for (const int rate : {44100, 48000, 96000, 192000}) {
        SCOPED_TRACE(rate);
        audio::VirtualCardConfig config; // gain, filters, harmonics, noise
        config.invert = rate == 48000;
        std::vector<double> f = rate == 192000 ? std::vector<double>{20.0, 30.0, 40.0} : Frequencies(rate);
        if (rate == 44100)
            f.push_back(22000.0); // the last step of the stored default sweep
        // At 96000 Hz the left (wire) against the right: the inverse response.
        const int mode = rate == 96000 ? dsp::kSweepRightReference : dsp::kSweepLeftReference;
        std::vector<int> captures;
        const auto m = measure(config, rate, rate != 48000, f, mode, &captures);
        ASSERT_EQ(m.size(), f.size());
        for (std::size_t i = 0; i < f.size(); ++i) {
            std::complex<double> h = (config.invert ? -1.0 : 1.0) * testsupport::DeviceUnderTest(f[i], rate);
            if (mode == dsp::kSweepRightReference)
                h = 1.0 / h;
            EXPECT_NEAR(m[i].First, 20.0 * std::log10(std::abs(h)), 0.02) << f[i];
            EXPECT_NEAR(Wrapped(m[i].Second - Degrees(h)), 0.0, 0.3) << f[i];
        }
        // 170 ms of 20 and 30 Hz hold fewer than five periods after the
        // first fifth: two captures each.
        if (rate == 192000) {
            EXPECT_EQ(captures, (std::vector<int>{2, 2, 1}));
        }
    }
}

TEST_F(SweepAccuracy, DelaysReadAsThePhaseOfAPureDelayOrCancel)
{
    const std::vector<double> f{20.0, 100.0, 997.0, 2000.0, 6000.0, 12000.0, 15000.0, 21000.0};
    audio::VirtualCardConfig config = audio::VirtualCardConfig::Ideal();
    config.dutDelayFrames = 7;
    auto m = measure(config, 48000, true, f, dsp::kSweepLeftReference);
    for (std::size_t i = 0; i < f.size(); ++i) {
        EXPECT_NEAR(m[i].First, 0.0, 0.005) << f[i];
        EXPECT_NEAR(Wrapped(m[i].Second + 360.0 * f[i] * 7.0 / 48000.0), 0.0, 0.3) << f[i];
    }
    // The card's own latency on both inputs: the reference takes it out.
    config.dutDelayFrames = 0;
    config.delayFrames = 333;
    m = measure(config, 48000, false, f, dsp::kSweepRightReference);
    for (std::size_t i = 0; i < f.size(); ++i) {
        EXPECT_NEAR(m[i].First, 0.0, 0.005) << f[i];
        EXPECT_NEAR(m[i].Second, 0.0, 0.1) << f[i];
    }
}

} // namespace
