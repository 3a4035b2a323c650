// A whole sweep in one call (see sweepdriver.h).
#include "measurement/sweepdriver.h"

#include "audio/devices.h"
#include "audio/soundinterface.h"
#include "measurement/blockwait.h"
#include "platform/numbers.h"

#include <cstdio>
#include <memory>

namespace measure {

SweepDriver::Outcome SweepDriver::Run(const SweepSetup &setup, const dsp::CorrectionCurve &inputCorrection,
                                      const dsp::CorrectionCurve &outputCorrection)
{
    error_.clear();
    if (audio::InputFormats(audio::GetInputDevice()) == 0) {
        error_ = "the input device cannot be used";
        return Outcome::Failed;
    }
    run_.Begin();
    Outcome outcome = Outcome::Done;
    for (std::int32_t i = 0; i <= setup.Steps && outcome == Outcome::Done; ++i)
        outcome = step(setup, i, inputCorrection, outputCorrection);
    run_.Finish();
    return outcome;
}

SweepDriver::Outcome SweepDriver::step(const SweepSetup &setup, std::int32_t i,
                                       const dsp::CorrectionCurve &inputCorrection,
                                       const dsp::CorrectionCurve &outputCorrection)
{
    if (InterruptRequested())
        return Outcome::Interrupted;
    const SweepStepPlan plan = SweepRun::Plan(setup, i);
    if (OnStep)
        OnStep(plan);
    if (!plan.Playable) {
        error_ = platform::FormatFixed(plan.Frequency, 1) + " Hz is above half the sample rate (input " +
                 std::to_string(plan.InputRate) + " Hz, output " + std::to_string(plan.OutputRate) + " Hz)";
        return Outcome::Failed;
    }
    if (const int rc = run_.StartTone(plan, setup.LevelDig, outputCorrection)) {
        error_ = "the output failed at " + platform::FormatFixed(plan.Frequency, 1) + " Hz: " + audio::ErrorText(rc);
        return Outcome::Failed;
    }
    if (!WaitMs(setup.SettleMs))
        return Outcome::Interrupted;

    // Shared with the callback, which may come after this step gave up.
    auto done = std::make_shared<bool>(false);
    if (const int rc = run_.StartCapture(plan, [done] { *done = true; })) {
        error_ = "the capture failed to start: " + audio::ErrorText(rc);
        return Outcome::Failed;
    }
    const int blockMs = plan.InputRate > 0 ? static_cast<int>(1000LL * plan.CaptureFrames / plan.InputRate) : 1000;
    SweepRun::Block block;
    do {
        if (!WaitForCompletion(*done, blockMs + 10000)) {
            run_.Abandon();
            if (InterruptRequested())
                return Outcome::Interrupted;
            error_ = "no block came from the input device: " + audio::ErrorText(audio::DEVICE_LOST);
            return Outcome::Failed;
        }
        // The callback only runs while messages are delivered, so the flag is
        // ready for the next capture before it can start.
        *done = false;
        block = run_.TakeBlock(setup.Mode, inputCorrection, true);
    } while (block.Kind == SweepRun::BlockKind::Continued);
    if (block.Kind == SweepRun::BlockKind::Failed) {
        error_ = "the capture failed: " + audio::ErrorText(block.Status);
        return Outcome::Failed;
    }
    if (block.Kind == SweepRun::BlockKind::Measured && OnPoint)
        OnPoint(block.Point);
    return Outcome::Done;
}

} // namespace measure
