// A log sweep in one call (see logsweepdriver.h).
#include "measurement/logsweepdriver.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/soundinterface.h"
#include "audio/streamcapture.h"
#include "audio/synthesis/samplecodec.h"
#include "measurement/blockwait.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <system_error>

namespace measure {

namespace {
// Capture blocks: about 21 ms at 48 kHz (the run ends at most one block
// after the recording is complete), 32 of them queued (0.68 s).
constexpr int kBlockFrames = 1024;
constexpr int kBlocks = 32;
} // namespace

std::string LogSweepCheckText(const dsp::LogSweepCheck &check) { return dsp::LogSweepProblemText(check, 'E'); }

LogSweepDriver::LogSweepDriver() : capture_(std::make_unique<audio::StreamCapture>()) {}

LogSweepDriver::~LogSweepDriver() = default;

LogSweepDriver::Outcome LogSweepDriver::Run(const dsp::LogSweepParameters &parameters,
                                            const dsp::CorrectionCurve &inputCorrection)
{
    error_.clear();
    stopRequested_ = false;
    processing_ = 0.0;
    check_ = dsp::LogSweepCheck{};
    complete_ = false;
    overloads_ = 0;
    warnings_.clear();
    outputOffsetFrames_ = 0;
    offsetUncertaintyFrames_ = -1;
    correction_ = inputCorrection;

    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    audio::SetRates(rateIn, rateOut);
    if (rateIn != rateOut) {
        error_ = "the input and output rates differ (" + std::to_string(rateIn) + " Hz and " +
                 std::to_string(rateOut) + " Hz); a log sweep needs one rate";
        return Outcome::Invalid;
    }
    rate_ = rateIn;
    const auto prepared0 = std::chrono::steady_clock::now();
    // The transforms of the played sweep wait until it plays (see sweep()).
    if (!analyser_.prepare(parameters, rateIn, &check_, false)) {
        error_ = LogSweepCheckText(check_);
        return Outcome::Invalid;
    }
    if (audio::InputFormats(audio::GetInputDevice()) == 0) {
        error_ = "the input device cannot be used";
        return Outcome::Failed;
    }

    // The output: silence, the sweep, and silence until long after the
    // recording ends (the stream would start over at its end).
    const audio::WaveFormat format = audio::OutputFormat();
    const int bits = format.wBitsPerSample;
    const int bps = audio::BytesPerSample(bits);
    if (bps == 0 || format.nChannels < 1 || format.nBlockAlign != format.nChannels * bps) {
        error_ = "the output format cannot be played: " + audio::ErrorText(audio::WAVERR_BADFORMAT);
        return Outcome::Failed;
    }
    const dsp::LogSweepDesign &d = analyser_.design();
    leadFrames_ = static_cast<std::int64_t>(std::lround(kLeadSeconds * rateIn));
    const std::int64_t total = leadFrames_ + d.CaptureFrames + 2LL * rateIn;
    encoded_ = std::make_shared<std::vector<char>>(static_cast<std::size_t>(total) * format.nBlockAlign, 0);
    // Silence in the output's own encoding (8-bit samples are offset).
    const std::vector<float> &samples = analyser_.sweep();
    for (std::int64_t n = 0; n < total; ++n) {
        const std::int64_t s = n - leadFrames_;
        const double x = s >= 0 && s < static_cast<std::int64_t>(samples.size()) ? samples[static_cast<std::size_t>(s)] : 0.0;
        for (int c = 0; c < format.nChannels; ++c)
            audio::WriteSample(encoded_->data(), bits, n * format.nChannels + c, x);
    }
    // Divide by what the device is given, after its quantisation.
    played_.resize(samples.size());
    for (std::size_t i = 0; i < played_.size(); ++i)
        played_[i] = static_cast<float>(audio::ReadSample(encoded_->data(), bits,
                                                          (static_cast<long long>(i) + leadFrames_) * format.nChannels));
    analyser_.clearAverage();
    processing_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - prepared0).count();

    Outcome outcome = Outcome::Done;
    running_ = true;
    for (int i = 0; i < parameters.Averages && outcome == Outcome::Done; ++i)
        outcome = sweep(i);
    running_ = false;
    // After a stop request the devices were stopped then and may belong to
    // someone else by now.
    if (!stopRequested_) {
        capture_->Stop();
        audio::StopOutput();
    }
    if (outcome != Outcome::Done) {
        analyser_.clearAverage();
        return outcome;
    }
    complete_ = true;
    return outcome;
}

void LogSweepDriver::RequestStop()
{
    if (!running_ || stopRequested_)
        return;
    stopRequested_ = true;
    capture_->Stop();
    audio::StopOutput();
}

LogSweepDriver::Outcome LogSweepDriver::sweep(int index)
{
    if (InterruptRequested() || stopRequested_)
        return Outcome::Interrupted;
    if (OnSweep)
        OnSweep(index + 1, analyser_.parameters().Averages);
    analyser_.beginCapture();
    skipped_ = 0;
    const std::int64_t due = analyser_.design().CaptureFrames;
    bool done = false;
    // Runs on the UI thread per block: no allocation, only the copy into
    // the analyser's transform buffer.
    auto onBlock = [this, &done, due](const float *block, int frames, int overloads) {
        if (done)
            return;
        const std::int64_t skip = std::min<std::int64_t>(leadFrames_ - skipped_, frames);
        skipped_ += skip;
        if (skip < frames) {
            overloads_ += overloads;
            const auto t0 = std::chrono::steady_clock::now();
            analyser_.appendInterleaved(block + 2 * skip, frames - skip);
            processing_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        }
        if (OnProgress)
            OnProgress(analyser_.capturedFrames(), due);
        if (analyser_.captureComplete())
            done = true;
    };
    if (const int rc = capture_->Start(kBlockFrames, kBlocks, onBlock)) {
        error_ = "the capture failed to start: " + audio::ErrorText(rc);
        return Outcome::Failed;
    }
    if (const int rc = audio::StartEncodedStream(encoded_)) {
        capture_->Stop();
        error_ = "the output failed: " + audio::ErrorText(rc);
        return Outcome::Failed;
    }
    // The played sweep's transforms on a thread of their own while the
    // sweep plays: they touch none of what the blocks go into, and the
    // future's end waits for them on every way out of this function.
    std::future<double> spectra;
    if (index == 0) {
        try {
            spectra = std::async(std::launch::async, [this] {
                const auto t0 = std::chrono::steady_clock::now();
                analyser_.setPlayedSweep(played_.data(), static_cast<std::int64_t>(played_.size()));
                return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            });
        } catch (const std::system_error &) {
            // No thread: finishCapture() works them out itself.
        }
    }
    // The stream capture's own watchdog ends a stream whose blocks stop
    // coming; this wait only has to outlast the recording.
    while (!done && capture_->Running()) {
        // Back as soon as the last block is in, else every 50 ms to look at
        // the output and an interrupt.
        WaitForCompletion(done, 50);
        if (stopRequested_)
            return Outcome::Interrupted;
        if (InterruptRequested())
            break;
        if (audio::RefillError() != 0) {
            capture_->Stop();
            audio::StopOutput();
            error_ = "the output failed during the sweep: " + audio::ErrorText(audio::RefillError());
            return Outcome::Failed;
        }
    }
    if (done && index == 0)
        readOutputOffset();
    // While both streams still run.
    if (done)
        audio::AddStreamWarnings(warnings_, audio::CurrentStreamWarnings(true));
    const int captureError = capture_->Error();
    capture_->Stop();
    audio::StopOutput();
    if (!done) {
        if (InterruptRequested())
            return Outcome::Interrupted;
        error_ = "the capture failed: " + audio::ErrorText(captureError != 0 ? captureError : audio::DEVICE_LOST);
        return Outcome::Failed;
    }
    if (spectra.valid())
        processing_ += spectra.get();
    const auto t0 = std::chrono::steady_clock::now();
    const dsp::LogSweepCheck check = analyser_.finishCapture();
    processing_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!check.ok()) {
        check_ = check;
        error_ = LogSweepCheckText(check);
        return Outcome::Failed;
    }
    return Outcome::Done;
}

void LogSweepDriver::readOutputOffset()
{
    audio::StreamStart in, out;
    outputOffsetFrames_ = 0;
    offsetUncertaintyFrames_ = -1;
    if (capture_->StartTime(in) != 0 || audio::OutputStartTime(out) != 0 || in.Clock == nullptr ||
        in.Clock != out.Clock)
        return;
    const double offset = (out.Seconds - in.Seconds) * rate_;
    const double uncertainty = (in.UncertaintySeconds + out.UncertaintySeconds) * rate_;
    if (!std::isfinite(offset) || !std::isfinite(uncertainty) || std::fabs(offset) > 1e9)
        return;
    outputOffsetFrames_ = std::llround(offset);
    offsetUncertaintyFrames_ = static_cast<std::int64_t>(std::ceil(uncertainty - 1e-9));
}

void LogSweepDriver::applyOutputOffset(dsp::LogSweepResult &r) const
{
    r.LatencyUncertaintyFrames = offsetUncertaintyFrames_;
    const std::int64_t o = outputOffsetFrames_;
    r.LatencyFrames -= o;
    for (int c = 0; c < r.ChannelCount; ++c) {
        dsp::LogSweepChannelResult &ch = r.Channels[static_cast<std::size_t>(c)];
        ch.LatencyFrames -= o;
        // Against the played sweep in stereo; against the other input (whose
        // offset is the same) in the reference modes.
        if (r.Mode == dsp::kSweepStereo)
            ch.PeakFrames -= o;
    }
}

dsp::LogSweepResult LogSweepDriver::Result() const { return Result(dsp::ViewOf(analyser_.parameters())); }

dsp::LogSweepResult LogSweepDriver::Result(const dsp::LogSweepView &view) const
{
    if (!complete_)
        return dsp::LogSweepResult{};
    dsp::LogSweepResult r = analyser_.result(view);
    applyOutputOffset(r);
    applyCorrection(r);
    return r;
}

void LogSweepDriver::applyCorrection(dsp::LogSweepResult &r) const
{
    if (r.Mode != dsp::kSweepStereo)
        return;
    for (int c = 0; c < r.ChannelCount; ++c) {
        std::vector<double> &level = r.Channels[static_cast<std::size_t>(c)].LevelDb;
        for (std::size_t i = 0; i < level.size() && i < r.FrequencyHz.size(); ++i)
            level[i] = correction_.apply(1.0, r.FrequencyHz[i], level[i]);
    }
}

} // namespace measure
