// Sweep readings against closed forms on the unpaced virtual card, through
// the sweep run the page and the command line share, at log and linear steps
// and at the rates' simple fractions (where a period holds a few frames at
// fixed places): an ideal card in stereo and, with a delay on both inputs and
// one on the measured path, in mono; the card's device model (its filters
// worked out from their bilinear designs, with gain, inversion, -80 dB
// harmonics and -110 dBFS noise) in both mono modes, at 192 kHz too, where
// low steps take two captures.
#include "audio/outputengine.h"
#include "measurement/blockwait.h"
#include "measurement/sweeprun.h"
#include "support/audiotestsupport.h"
#include "support/cardmodel.h"

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

struct Case {
    int rate;
    bool model; // the default device model, else an ideal card
    int mode;
    int delay = 0, dutDelay = 0;
};

class SweepAccuracy : public ::testing::TestWithParam<Case> {
protected:
    audiotest::SettingsScratch settings_{"sweepaccuracy"};
    audiotest::CardEngine engine_;
    void TearDown() override { engine_.stop(); }
};

TEST_P(SweepAccuracy, ReadingsFollowTheClosedForm)
{
    const Case c = GetParam();
    audio::VirtualCardConfig config = c.model ? audio::VirtualCardConfig() : audio::VirtualCardConfig::Ideal();
    config.paced = false;
    config.signal = audio::VirtualCardConfig::Signal::Off;
    config.invert = c.model && c.rate == 48000;
    config.delayFrames = c.delay;
    config.dutDelayFrames = c.dutDelay;
    // The model at 24 bits: its output down to -71 dBFS (22000 Hz at 44100
    // Hz) would otherwise be a few steps of 16 bits.
    const int bits = c.model ? 24 : 16;
    engine_.start(config);
    engine_.setFormat(c.rate, bits);
    audio::SetLoop(c.rate != 48000);
    std::vector<double> freqs = c.rate == 192000 ? std::vector<double>{20.0, 30.0, 40.0} : Frequencies(c.rate);
    if (c.rate == 44100)
        freqs.push_back(22000.0); // the last step of the stored default sweep

    // Each frequency as a step of a run: the tone at -6 dB, 20 ms of
    // settling, as many captures as the step takes.
    measure::SweepRun run;
    const dsp::CorrectionCurve none;
    run.Begin();
    for (const double f : freqs) {
        measure::SweepStepPlan plan = measure::SweepRun::Plan({}, 0);
        plan.Frequency = static_cast<float>(f);
        plan.CaptureFrames = dsp::SweepCaptureFrames(f, c.rate, bits);
        plan.Captures = dsp::SweepCapturesNeeded(f, c.rate, plan.CaptureFrames);
        bool done = false;
        ASSERT_EQ(run.StartTone(plan, -6.0f, none), 0);
        measure::WaitMs(20);
        ASSERT_EQ(run.StartCapture(plan, [&done] { done = true; }), 0);
        measure::SweepRun::Block b;
        do {
            ASSERT_TRUE(audiotest::WaitFor([&] { return done; }, 20000)) << f;
            done = false;
            b = run.TakeBlock(c.mode, none, true);
        } while (b.Kind == measure::SweepRun::BlockKind::Continued);
        ASSERT_EQ(b.Kind, measure::SweepRun::BlockKind::Measured) << f;
        const dsp::SweepReading &r = b.Point.Reading;
        if (c.mode == dsp::kSweepStereo) { // the peak played on both channels
            EXPECT_NEAR(r.First, -6.0, 0.01) << f;
            EXPECT_NEAR(r.Second, -6.0, 0.01) << f;
            continue;
        }
        // The right input's response; the reference's delay cancels.
        std::complex<double> h = std::polar(1.0, -2.0 * std::numbers::pi * f * c.dutDelay / c.rate);
        if (c.model)
            h *= (config.invert ? -1.0 : 1.0) * testsupport::DeviceUnderTest(f, c.rate);
        // Where the model attenuates deeply, its -110 dBFS noise over the
        // fitted frames sets the reading's standard error; allow four of them.
        const double fitted = plan.Captures * (plan.CaptureFrames - plan.CaptureFrames / 5);
        const double noise = c.model ? std::pow(10.0, -110.0 / 20.0) : 0.0;
        const double error = 4.0 * noise * std::sqrt(2.0 / fitted) / (0.5 * std::abs(h));
        if (c.mode == dsp::kSweepRightReference)
            h = 1.0 / h;
        EXPECT_NEAR(r.First, 20.0 * std::log10(std::abs(h)), c.model ? std::max(0.02, 8.69 * error) : 0.005) << f;
        EXPECT_NEAR(std::remainder(r.Second - std::arg(h) * 180.0 / std::numbers::pi, 360.0), 0.0,
                    c.model || c.dutDelay ? std::max(0.3, 57.3 * error) : 0.1) << f;
    }
    run.Finish();
}

INSTANTIATE_TEST_SUITE_P(
    Cards, SweepAccuracy,
    ::testing::Values(Case{44100, false, dsp::kSweepStereo}, Case{48000, false, dsp::kSweepStereo},
                      Case{96000, false, dsp::kSweepStereo}, Case{44100, false, dsp::kSweepLeftReference, 333},
                      Case{48000, false, dsp::kSweepLeftReference, 333, 7},
                      Case{96000, false, dsp::kSweepRightReference}, Case{44100, true, dsp::kSweepLeftReference},
                      Case{48000, true, dsp::kSweepLeftReference}, Case{96000, true, dsp::kSweepRightReference},
                      Case{192000, true, dsp::kSweepLeftReference}));

} // namespace
