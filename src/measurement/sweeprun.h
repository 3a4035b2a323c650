// A stepped-sine sweep run on the audio engine, widget-free: the state of
// the run in progress (its id, the capture in flight with the step and
// frequency it measures, the output it started, the generator settings it
// borrowed) and the steps that touch the engine. The sweep page drives it
// through its chain of WM_SWEEP_STEP messages; SweepDriver (sweepdriver.h)
// drives it step after step for the command line. The arithmetic of a step
// lives in dsp/sweep.h.
//
// A run owns its work: every capture carries the id of its run, and a block
// that belongs to an older run, or that its driver no longer wants, is
// handed back as stale and never evaluated.
//
// Threads: UI thread (the engine's).
#pragma once

#include "audio/capture.h"
#include "audio/streamwarnings.h"
#include "audio/synthesis/synthesis.h"
#include "dsp/correction.h"
#include "dsp/sweep.h"
#include "settings/sweepsettings.h"

#include <cstdint>

namespace measure {

// What a run takes: the sweep's parameters, the part of the sweep settings
// record the setup dialog, the settings file and the command line validate
// alike (settings/sweepsettings.h).
using SweepSetup = app::SweepParameters;

// One step as the current devices allow it.
struct SweepStepPlan {
    std::int32_t Step = 0;
    float Frequency = 0.0f;         // Hz
    std::int32_t CaptureFrames = 0; // stereo frames per capture
    int Captures = 1;               // captures the step takes (dsp::SweepCapturesNeeded)
    int InputRate = 0;              // Hz
    int OutputRate = 0;             // Hz
    bool Playable = false;          // not above half of either rate
};

// One measured step.
struct SweepPoint {
    std::int32_t Step = 0;
    float Frequency = 0.0f;
    int Overloads = 0;              // clipped samples in the step's blocks
    dsp::SweepReading Reading;
    // What the sound server did with the step's streams (resampled, two
    // clocks), taken while they still ran.
    std::vector<audio::StreamWarning> Warnings;
};

class SweepRun {
public:
    enum class BlockKind {
        Stale,         // not this run's, or no longer wanted: nothing to do
        StaleFinished, // the block the run waited for, no longer wanted: the run may end now
        Failed,        // the capture failed; Status holds the error number
        Continued,     // taken; the step's next capture is in flight with the same callback
        Measured,      // Point holds the evaluated step
    };
    struct Block {
        BlockKind Kind = BlockKind::Stale;
        int Status = 0;
        SweepPoint Point;
    };

    // A new run: a new id, and the generator's settings are kept to be put
    // back when the run ends (unless an earlier run's still are).
    void Begin();
    // Whatever is under way belongs to a run that ends here without its
    // remaining steps: a new id (so a capture in flight is dropped when it
    // completes) and the output stopped.
    void Abandon();

    // Step `step` on the current devices: their rates re-applied, the
    // frequency, the capture length and whether the frequency can be played.
    static SweepStepPlan Plan(const SweepSetup &setup, std::int32_t step);
    // Plays a sine at the step's frequency on both channels with phase 0, at
    // `levelDig` less the output correction at that frequency (whole dB).
    // Returns 0 or the output engine's error number.
    int StartTone(const SweepStepPlan &plan, float levelDig, const dsp::CorrectionCurve &outputCorrection);
    // Starts the first capture of the step for the current run; `done` is
    // called when the block is there. Returns 0, or the error number
    // (nothing is in flight then).
    int StartCapture(const SweepStepPlan &plan, audio::CaptureCallback done);
    // The completion of a sweep capture: fetches the block and takes it into
    // the step. While the step wants more captures (plan.Captures), the next
    // one starts at once with the same callback and the block comes back as
    // Continued; the last one evaluates the step in `mode` with the input
    // correction. `wanted` false (the page was left, the driver gave up)
    // makes even the current run's block stale. After the step's last
    // capture, in loop mode, the output stops, as a looped buffer is built
    // anew for every frequency; in stream mode it keeps playing into the
    // next step.
    Block TakeBlock(std::int32_t mode, const dsp::CorrectionCurve &inputCorrection, bool wanted);

    // The run is over: the output it started stops and the generator gets
    // its settings back. Returns true when the settings were put back.
    bool Finish();
    bool RestoreGenerator();

    // Work under way: a step is being performed, or a capture is in flight.
    bool Busy() const { return Stepping || CaptureInFlight; }

    // Id of the current run.
    std::uint32_t Run = 0;
    // The one capture that may be in flight, with what it measures.
    bool CaptureInFlight = false;
    std::uint32_t CaptureRun = 0;
    std::int32_t CaptureStep = 0;
    float CaptureFrequency = 0.0f;
    // The step's captures: length, how many are still due after the one in
    // flight, the callback each calls, the overloads so far.
    std::int32_t CaptureFrames = 0;
    int CapturesLeft = 0;
    audio::CaptureCallback CaptureDone;
    int StepOverloads = 0;
    // A step is being performed (its settling wait dispatches messages).
    bool Stepping = false;
    // The run started the output and must stop it when it ends.
    bool OutputStarted = false;
    // The generator's settings before the run.
    bool GeneratorSaved = false;
    audio::GeneratorSettings SavedGenerator;

    dsp::SweepEvaluator Evaluator;
};

} // namespace measure
