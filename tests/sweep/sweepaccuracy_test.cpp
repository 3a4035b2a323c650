// Sweep readings against closed forms on the unpaced virtual card, through
// the sweep run the page and the command line share: an ideal card at three
// rates (log and linear steps and the rates' simple fractions, where a
// period holds a few frames at fixed places), the card's device model (its
// filters worked out from their bilinear designs, with gain, inversion,
// distortion and noise), a delay on the measured path and on both inputs,
// and a low step at 192 kHz that needs two captures.
#include "audio/outputengine.h"
#include "audio/virtualcardconfig.h"
#include "measurement/blockwait.h"
#include "measurement/sweeprun.h"
#include "support/audiotestsupport.h"
#include "support/cardmodel.h"

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>

namespace {

struct Measured {
    double f = 0.0;
    int captures = 0;
    dsp::SweepReading r;
};

// Frequencies a sweep at `rate` must read right: a log sweep from 20 Hz to
// 0.45·rate, linear steps of 1 kHz, and rate/24, /12, /8, /6, /4, /3.
std::vector<double> Frequencies(int rate)
{
    std::vector<double> f;
    const double top = 0.45 * rate;
    for (int i = 0; i <= 24; ++i)
        f.push_back(20.0 * std::pow(top / 20.0, i / 24.0));
    for (double k = 1000.0; k <= top; k += 1000.0)
        f.push_back(k);
    for (const double d : {24.0, 12.0, 8.0, 6.0, 4.0, 3.0})
        f.push_back(rate / d);
    return f;
}

double Wrapped(double degrees)
{
    const double d = std::remainder(degrees, 360.0);
    return d <= -180.0 ? d + 360.0 : d;
}

class SweepAccuracy : public ::testing::Test {
protected:
    audiotest::SettingsScratch settings_{"sweepaccuracy"};
    audiotest::CardEngine engine_;

    void start(audio::VirtualCardConfig config, int rate, bool loop)
    {
        config.paced = false;
        config.signal = audio::VirtualCardConfig::Signal::Off;
        engine_.start(config);
        engine_.setFormat(rate, 16);
        audio::SetLoop(loop);
    }
    void TearDown() override { engine_.stop(); }

    // Each frequency as one step of a sweep run: the tone at `levelDig`,
    // `settleMs` of settling, then as many captures as the step takes.
    std::vector<Measured> measure(const std::vector<double> &freqs, int mode, int settleMs, float levelDig = -6.0f)
    {
        std::vector<Measured> out;
        measure::SweepRun run;
        measure::SweepSetup setup;
        setup.Mode = mode;
        const dsp::CorrectionCurve none;
        run.Begin();
        for (const double f : freqs) {
            measure::SweepStepPlan plan = measure::SweepRun::Plan(setup, 0);
            plan.Frequency = static_cast<float>(f);
            plan.CaptureFrames = dsp::SweepCaptureFrames(plan.Frequency, plan.InputRate, 16);
            plan.Captures = dsp::SweepCapturesNeeded(plan.Frequency, plan.InputRate, plan.CaptureFrames);
            EXPECT_EQ(run.StartTone(plan, levelDig, none), 0);
            measure::WaitMs(settleMs);
            auto done = std::make_shared<bool>(false);
            EXPECT_EQ(run.StartCapture(plan, [done] { *done = true; }), 0);
            measure::SweepRun::Block b;
            int captures = 0;
            do {
                if (!audiotest::WaitFor([&] { return *done; }, 20000)) {
                    ADD_FAILURE() << "no block at " << f << " Hz";
                    run.Finish();
                    return out;
                }
                *done = false;
                ++captures;
                b = run.TakeBlock(mode, none, true);
            } while (b.Kind == measure::SweepRun::BlockKind::Continued);
            EXPECT_EQ(b.Kind, measure::SweepRun::BlockKind::Measured) << f;
            EXPECT_EQ(captures, plan.Captures) << f;
            out.push_back({plan.Frequency, captures, b.Point.Reading});
        }
        run.Finish();
        return out;
    }
};

TEST_F(SweepAccuracy, IdealCardReadsFlatAndThePlayedLevelAtEveryRate)
{
    for (const int rate : {44100, 48000, 96000}) {
        for (const int mode : {dsp::kSweepLeftReference, dsp::kSweepStereo}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, mode " << mode);
            start(audio::VirtualCardConfig::Ideal(), rate, rate != 48000);
            const std::vector<Measured> m = measure(Frequencies(rate), mode, 5);
            ASSERT_EQ(m.size(), Frequencies(rate).size());
            const double played = -6.0; // dB re full scale, the peak of the sine
            for (const Measured &p : m) {
                if (mode == dsp::kSweepStereo) {
                    EXPECT_NEAR(p.r.First, played, 0.01) << p.f;
                    EXPECT_NEAR(p.r.Second, played, 0.01) << p.f;
                } else {
                    EXPECT_NEAR(p.r.First, 0.0, 0.005) << p.f;
                    EXPECT_NEAR(p.r.Second, 0.0, 0.1) << p.f;
                }
            }
            engine_.stop();
        }
    }
}

TEST_F(SweepAccuracy, DeviceModelFollowsItsClosedForm)
{
    struct Case {
        int rate;
        bool invert, loop;
    };
    for (const Case c : {Case{44100, false, true}, Case{48000, true, false}, Case{96000, false, true}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz" << (c.invert ? ", inverted" : ""));
        audio::VirtualCardConfig config; // gain, filters, -80 dB harmonics, -110 dBFS noise
        config.invert = c.invert;
        start(config, c.rate, c.loop);
        std::vector<double> freqs = Frequencies(c.rate);
        if (c.rate == 44100)
            freqs.push_back(22000.0); // the last step of the stored default sweep
        const std::vector<Measured> m = measure(freqs, dsp::kSweepLeftReference, 20);
        ASSERT_EQ(m.size(), freqs.size());
        for (const Measured &p : m) {
            const std::complex<double> h = (c.invert ? -1.0 : 1.0) * testsupport::DeviceUnderTest(p.f, c.rate);
            EXPECT_NEAR(p.r.First, 20.0 * std::log10(std::abs(h)), 0.02) << p.f;
            EXPECT_NEAR(Wrapped(p.r.Second - std::arg(h) * 180.0 / std::numbers::pi), 0.0, 0.3) << p.f;
        }
        engine_.stop();
    }
}

TEST_F(SweepAccuracy, DelaysReadAsThePhaseOfAPureDelayOrCancel)
{
    const std::vector<double> freqs{20.0, 100.0, 997.0, 2000.0, 6000.0, 12000.0, 15000.0, 21000.0};
    audio::VirtualCardConfig config = audio::VirtualCardConfig::Ideal();
    config.dutDelayFrames = 7;
    start(config, 48000, true);
    for (const Measured &p : measure(freqs, dsp::kSweepLeftReference, 20)) {
        EXPECT_NEAR(p.r.First, 0.0, 0.005) << p.f;
        EXPECT_NEAR(Wrapped(p.r.Second + 360.0 * p.f * 7.0 / 48000.0), 0.0, 0.3) << p.f;
    }
    engine_.stop();

    // The card's own latency on both inputs: the reference takes it out.
    config.dutDelayFrames = 0;
    config.delayFrames = 333;
    start(config, 48000, false);
    for (const Measured &p : measure(freqs, dsp::kSweepRightReference, 20)) {
        EXPECT_NEAR(p.r.First, 0.0, 0.005) << p.f;
        EXPECT_NEAR(p.r.Second, 0.0, 0.1) << p.f;
    }
}

TEST_F(SweepAccuracy, LowStepsAtHighRatesTakeConsecutiveCaptures)
{
    // 170 ms of 20 Hz at 192 kHz hold 3.4 periods: two captures make the
    // five settled periods; the device model's reading stays right.
    start(audio::VirtualCardConfig(), 192000, true);
    const std::vector<Measured> m = measure({20.0, 30.0, 40.0}, dsp::kSweepLeftReference, 20);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].captures, 2);
    EXPECT_EQ(m[1].captures, 2);
    EXPECT_EQ(m[2].captures, 1);
    for (const Measured &p : m) {
        const std::complex<double> h = testsupport::DeviceUnderTest(p.f, 192000.0);
        EXPECT_NEAR(p.r.First, 20.0 * std::log10(std::abs(h)), 0.02) << p.f;
        EXPECT_NEAR(p.r.Second, std::arg(h) * 180.0 / std::numbers::pi, 0.3) << p.f;
    }
}

} // namespace
