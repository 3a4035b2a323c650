// A log-sweep measurement in one call, for drivers without a window (the
// command line, benchmarks, tests): the synchronised sweep (dsp/logsweep.h)
// played once through the output engine, with silence before it and after
// it, while both inputs are recorded without a gap over as many capture
// blocks as it takes (audio/streamcapture.h); the recording goes block by
// block into the deconvolution (dsp/logsweepanalysis.h). Repeated and
// averaged on request.
//
// The capture starts before the output, so the recording holds the whole
// sweep whatever the card's start-up time; the frames before the sweep's
// place in the output are skipped.
//
// Latency: the offset in frames between the first played and the first
// captured frame of the sweep's start. The impulse response's peak gives
// it against the recording; the devices' clocks (StreamStart in
// audio/soundinterface.h) tell at which recorded frame the output's first
// frame was converted, and that offset is taken off. How exact that is:
// - virtual card: to the frame. Its clock is its frame count and it adds no
//   offset of its own, so the latency is DELAY (DUTDELAY on top for the
//   right input) and the peak lies there.
// - ALSA: each stream's position at a timestamp of the driver (htstamp and
//   delay of snd_pcm_status), the two on the same system clock. The report
//   is as exact as the driver's position: within a few frames where it
//   reads the DMA position, within one period (about 20 ms here) where it
//   moves in whole periods (batch devices); the result says which.
// - Elsewhere (the sound server, plugins that do not run in real time such
//   as ALSA's file plugin, input and output on different cards): not known;
//   the result's LatencyUncertaintyFrames is -1 and the latency counts from
//   the recorded frame at which the output was asked to start, so it
//   includes the output's start-up.
//
// Input correction: in stereo mode the input correction is taken off each
// input's level, as in the stepped sweep; the reference modes are relative
// and take none.
//
// A run that fails (a refused parameter, an output or capture failure, a
// device that vanishes, an interrupt) keeps no part of its result: Result()
// stays empty until a run completes, and the next run starts afresh.
//
// Threads: UI thread (the engine's). During the first sweep the transforms
// of the played sweep run on a helper thread of the run's own, joined
// before the recording is analysed and on every way out of the sweep.
#pragma once

#include "audio/streamwarnings.h"
#include "dsp/correction.h"
#include "dsp/logsweepanalysis.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace audio {
class StreamCapture;
}

namespace measure {

class LogSweepDriver {
public:
    enum class Outcome { Done, Interrupted, Failed, Invalid };

    LogSweepDriver();
    ~LogSweepDriver();

    // Called before each sweep plays (1-based) and as the recording grows
    // (frames recorded of the sweep, frames due).
    std::function<void(int sweep, int sweeps)> OnSweep;
    std::function<void(std::int64_t recorded, std::int64_t due)> OnProgress;

    // Silence played before the sweep, seconds.
    static constexpr double kLeadSeconds = 0.05;

    // Runs parameters.Averages sweeps on the current devices. Invalid:
    // the parameters do not fit the rate (Error() tells why and Check()
    // what); Failed: the devices failed (Error()); Interrupted: a requested
    // interrupt. The output stops however the run ends.
    Outcome Run(const dsp::LogSweepParameters &parameters, const dsp::CorrectionCurve &inputCorrection);

    // Ends a running Run at once, from an event handler that runs during
    // it (a STOP button, leaving the page, closing the program): the
    // capture and the output stop here, so the devices are free when this
    // returns, and Run returns Interrupted without touching them again.
    // Harmless when nothing runs.
    void RequestStop();
    bool Running() const { return running_; }

    const std::string &Error() const { return error_; }
    const dsp::LogSweepCheck &Check() const { return check_; }
    // The last completed run's result, evaluated with `view`; empty (no
    // channels) when the last run did not complete.
    dsp::LogSweepResult Result(const dsp::LogSweepView &view) const;
    dsp::LogSweepResult Result() const;
    const dsp::LogSweepAnalyser &Analyser() const { return analyser_; }
    int Overloads() const { return overloads_; }
    // What the sound server does with the streams of the last run (resampled,
    // two clocks), each said once; empty on the virtual card and ALSA.
    const std::vector<audio::StreamWarning> &Warnings() const { return warnings_; }
    int Rate() const { return rate_; }
    // Seconds the last run spent designing and encoding the sweep, working
    // out the played sweep's transforms (while it plays, on the helper
    // thread), taking blocks and deconvolving them.
    double ProcessingSeconds() const { return processing_; }

private:
    Outcome sweep(int index);
    // Reads the output's start against the capture's (first sweep only).
    void readOutputOffset();
    void applyCorrection(dsp::LogSweepResult &r) const;
    void applyOutputOffset(dsp::LogSweepResult &r) const;

    dsp::LogSweepAnalyser analyser_;
    std::unique_ptr<audio::StreamCapture> capture_;
    std::shared_ptr<std::vector<char>> encoded_;
    std::vector<float> played_; // the sweep as the output's encoding leaves it
    dsp::CorrectionCurve correction_;
    std::string error_;
    dsp::LogSweepCheck check_;
    // Per run: the recorded frame at which the first sweep's output began
    // (its first frame converted), and how far that may be off (-1: not known).
    std::int64_t outputOffsetFrames_ = 0;
    std::int64_t offsetUncertaintyFrames_ = 0;
    std::int64_t leadFrames_ = 0;
    std::int64_t skipped_ = 0;
    int overloads_ = 0;
    std::vector<audio::StreamWarning> warnings_;
    int rate_ = 0;
    double processing_ = 0.0;
    bool complete_ = false;
    bool running_ = false;
    bool stopRequested_ = false;
};

// The rate the run uses: the input device's, which the output must share.
// A text for the command line's and window's messages on a failed check.
std::string LogSweepCheckText(const dsp::LogSweepCheck &check);

} // namespace measure
