// Sweep run on the audio engine (see sweeprun.h).
#include "measurement/sweeprun.h"

#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "audio/soundinterface.h"

#include <algorithm>
#include <cmath>

namespace measure {

void SweepRun::Begin()
{
    ++Run;
    if (!GeneratorSaved) {
        SavedGenerator = audio::Generator();
        GeneratorSaved = true;
    }
}

void SweepRun::Abandon()
{
    ++Run;
    if (OutputStarted) {
        audio::StopOutput();
        OutputStarted = false;
    }
}

SweepStepPlan SweepRun::Plan(const SweepSetup &setup, std::int32_t step)
{
    SweepStepPlan plan;
    plan.Step = step;
    int bitsIn = 0, bitsOut = 0;
    audio::GetRates(plan.InputRate, plan.OutputRate);
    audio::SetRates(plan.InputRate, plan.OutputRate);
    audio::GetBits(bitsIn, bitsOut);
    plan.Frequency = dsp::SweepFrequency(setup.Linear, setup.FreqFrom, setup.FreqTo, setup.Steps, step);
    plan.CaptureFrames = dsp::SweepCaptureFrames(plan.Frequency, plan.InputRate, bitsIn);
    plan.Captures = dsp::SweepCapturesNeeded(plan.Frequency, plan.InputRate, plan.CaptureFrames);
    plan.Playable = dsp::SweepFrequencyPlayable(plan.Frequency, plan.InputRate, plan.OutputRate);
    return plan;
}

int SweepRun::StartTone(const SweepStepPlan &plan, float levelDig, const dsp::CorrectionCurve &outputCorrection)
{
    audio::GeneratorSettings &g = audio::Generator();
    const auto level = static_cast<std::int32_t>(std::lround(outputCorrection.apply(1.0, plan.Frequency, levelDig)));
    g.LevelL = g.LevelR = level;
    g.PhaseL = g.PhaseR = 0;
    g.Waveform = audio::WaveSine;
    const int rc = audio::StartOutput(g, -1.0, plan.Frequency);
    if (rc == 0)
        OutputStarted = true;
    return rc;
}

int SweepRun::StartCapture(const SweepStepPlan &plan, audio::CaptureCallback done)
{
    CaptureInFlight = true;
    CaptureRun = Run;
    CaptureStep = plan.Step;
    CaptureFrequency = plan.Frequency;
    CaptureFrames = plan.CaptureFrames;
    CapturesLeft = std::max(plan.Captures, 1) - 1;
    CaptureDone = std::move(done);
    StepOverloads = 0;
    Evaluator.Begin();
    const int status = audio::StartCapture(CaptureFrames, Run, CaptureDone);
    if (status != 0)
        CaptureInFlight = false;
    return status;
}

SweepRun::Block SweepRun::TakeBlock(std::int32_t mode, const dsp::CorrectionCurve &inputCorrection, bool wanted)
{
    Block b;
    int count = 0;
    std::uint32_t tag = 0;
    const float *v = audio::FinishCapture(count, b.Point.Overloads, tag);
    const int status = audio::AudioStatus();

    const bool awaited = CaptureInFlight && tag == CaptureRun;
    if (awaited)
        CaptureInFlight = false;
    if (!awaited || tag != Run || !wanted) {
        b.Kind = awaited ? BlockKind::StaleFinished : BlockKind::Stale;
        return b;
    }
    b.Point.Step = CaptureStep;
    b.Point.Frequency = CaptureFrequency;
    auto stopLoop = [this] {
        if (audio::GetLoop()) {
            audio::StopOutput();
            OutputStarted = false;
        }
    };
    if (!v) {
        stopLoop();
        b.Kind = BlockKind::Failed;
        b.Status = status != 0 ? status : audio::MMSYSERR_ERROR;
        return b;
    }
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    // Taken before the next capture reuses the engine's block.
    Evaluator.Add(v, count, CaptureFrequency, rateIn);
    StepOverloads += b.Point.Overloads;
    b.Point.Overloads = StepOverloads;
    if (CapturesLeft > 0) {
        --CapturesLeft;
        CaptureInFlight = true;
        const int next = audio::StartCapture(CaptureFrames, Run, CaptureDone);
        if (next == 0) {
            b.Kind = BlockKind::Continued;
            return b;
        }
        CaptureInFlight = false;
        stopLoop();
        b.Kind = BlockKind::Failed;
        b.Status = next;
        return b;
    }
    b.Point.Warnings = audio::CurrentStreamWarnings(true); // before a looped tone stops
    stopLoop();
    b.Point.Reading = Evaluator.Result(mode, CaptureFrequency, inputCorrection);
    b.Kind = BlockKind::Measured;
    return b;
}

bool SweepRun::Finish()
{
    // In loop mode too: a run stopped during its settling wait would leave a
    // buffer looping.
    if (OutputStarted) {
        audio::StopOutput();
        OutputStarted = false;
    }
    return RestoreGenerator();
}

bool SweepRun::RestoreGenerator()
{
    if (!GeneratorSaved)
        return false;
    GeneratorSaved = false;
    audio::GeneratorSettings &g = audio::Generator();
    g.Frequency = SavedGenerator.Frequency;
    g.LevelL = SavedGenerator.LevelL;
    g.LevelR = SavedGenerator.LevelR;
    g.PhaseL = SavedGenerator.PhaseL;
    g.PhaseR = SavedGenerator.PhaseR;
    g.Waveform = SavedGenerator.Waveform;
    return true;
}

} // namespace measure
