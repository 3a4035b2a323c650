#include "audio/virtualcard/virtualcard.h"
#include "audio/synthesis/samplecodec.h"

#include "platform/runtime/messages.h"

#include <algorithm>
#include <cmath>

namespace audio {

namespace {

constexpr std::uint32_t kEndless = 2147483647;

// A played sample back to the value it was encoded from: the inverse of the
// playback scale, so an ideal card returns exactly the samples played.
double playedValue(const char *data, int bits, std::uint32_t i)
{
    return RawSample(data, bits, i) / (bits == 8 ? kEncodeScale8 : bits == 16 ? kEncodeScale16 : kEncodeScale24);
}

} // namespace

VirtualCard::VirtualCard(const VirtualCardConfig &config, int number)
    : config_(config), name_("Virtual loopback " + std::to_string(number)),
      mixer_(std::make_shared<VirtualMixer>(name_))
{
}

std::shared_ptr<VirtualCard> VirtualCard::Create(const VirtualCardConfig &config, int number)
{
    auto card = std::make_shared<VirtualCard>(config, number);
    card->thread_ = std::thread([self = card] { self->run(); });
    // What the owners hold: the card, together with a guard that ends the
    // thread when the last of them lets go.
    struct Guard {
        std::shared_ptr<VirtualCard> card;
        ~Guard()
        {
            if (card)
                card->shutdown();
        }
    };
    auto guard = std::make_shared<Guard>();
    guard->card = card;
    return std::shared_ptr<VirtualCard>(guard, card.get());
}

void VirtualCard::shutdown()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (!thread_.joinable())
        return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach(); // it ends when it is back in its loop
    else
        thread_.join();
}

VirtualCard::~VirtualCard()
{
    // The thread held a reference: it was joined, or this runs on it at its end.
    if (thread_.joinable())
        thread_.detach();
}

int VirtualCard::query(const WaveFormat &f) const
{
    const int bits = f.wBitsPerSample;
    if (f.wFormatTag != 1 || f.nChannels != 2 || (bits != 8 && bits != 16 && bits != 32) ||
        f.nBlockAlign != 2 * bits / 8 || f.nAvgBytesPerSec != f.nBlockAlign * f.nSamplesPerSec ||
        !config_.accepts(bits, static_cast<long>(f.nSamplesPerSec)))
        return WAVERR_BADFORMAT;
    return MMSYSERR_NOERROR;
}

// Input and output headers are prepared alike, unless the format is one
// the card was told to refuse buffers in.
int VirtualCard::prepare(WaveHeader &h, bool input)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const WaveFormat &f = input ? inFormat_ : outFormat_;
    if (VirtualCardConfig::Lists(config_.failPrepare, f.wBitsPerSample, static_cast<long>(f.nSamplesPerSec)))
        return MMSYSERR_NOMEM;
    return PrepareHeader(h);
}

int VirtualCard::refuseOpen(const WaveFormat &format) const
{
    if (int rc = query(format))
        return rc;
    if (vanished_)
        return MMSYSERR_NODRIVER;
    if (VirtualCardConfig::Lists(config_.failOpen, format.wBitsPerSample, static_cast<long>(format.nSamplesPerSec)))
        return MMSYSERR_ERROR;
    return MMSYSERR_NOERROR;
}

void VirtualCard::vanish()
{
    vanished_ = true;
    inStarted_ = false;
    while (inQueue_.count) {
        WaveHeader *h = inQueue_.pop();
        MarkDone(*h);
        platform::PostMessage(inTarget_, platform::MM_WIM_DATA, DEVICE_LOST, reinterpret_cast<std::intptr_t>(h));
    }
    while (outQueue_.count)
        completeOutput(outQueue_.pop());
}

int VirtualCard::unprepare(WaveHeader &h)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return UnprepareHeader(h);
}

// ---- input -------------------------------------------------------------------

int VirtualCard::openInput(const WaveFormat &format, QObject *target)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = refuseOpen(format))
        return rc;
    if (inOpen_)
        return MMSYSERR_ALLOCATED;
    inOpen_ = true;
    inStarted_ = false;
    inFormat_ = format;
    inTarget_ = target;
    inQueue_ = Queue();
    return MMSYSERR_NOERROR;
}

int VirtualCard::inputAdd(WaveHeader &h)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inOpen_)
        return MMSYSERR_INVALHANDLE;
    if (vanished_)
        return DEVICE_LOST;
    if (int rc = CheckQueueable(h))
        return rc;
    if (h.dwBufferLength < inFormat_.nBlockAlign)
        return MMSYSERR_INVALPARAM;
    if (inQueue_.count == kQueue)
        return MMSYSERR_NOMEM;
    h.dwBytesRecorded = 0;
    MarkQueued(h);
    inQueue_.push(&h);
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

int VirtualCard::inputStart()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inOpen_)
        return MMSYSERR_INVALHANDLE;
    if (vanished_)
        return DEVICE_LOST;
    inStarted_ = true;
    inStartTick_ = -1;
    reanchor_ = true; // a capture of N frames takes N/R from here
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

int VirtualCard::inputReset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inOpen_)
        return MMSYSERR_INVALHANDLE;
    inStarted_ = false;
    // Posted under the lock, so these come after any completion the card
    // thread posted before.
    while (inQueue_.count) {
        WaveHeader *h = inQueue_.pop();
        MarkDone(*h);
        platform::PostMessage(inTarget_, platform::MM_WIM_DATA, 0, reinterpret_cast<std::intptr_t>(h));
    }
    reanchor_ = true;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

int VirtualCard::inputClose()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inOpen_)
        return MMSYSERR_INVALHANDLE;
    if (inQueue_.count)
        return WAVERR_STILLPLAYING;
    inOpen_ = false;
    inStarted_ = false;
    inTarget_ = nullptr;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

void VirtualCard::inputDestroy()
{
    std::lock_guard<std::mutex> lock(mutex_);
    while (inQueue_.count) {
        WaveHeader *h = inQueue_.pop();
        MarkDone(*h);
    }
    inOpen_ = false;
    inStarted_ = false;
    inTarget_ = nullptr;
    wake_.notify_all();
}

// ---- output ------------------------------------------------------------------

int VirtualCard::openOutput(const WaveFormat &format, OutputCallback callback)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (int rc = refuseOpen(format))
        return rc;
    if (outOpen_)
        return MMSYSERR_ALLOCATED;
    waitForCallbacks(lock);
    outOpen_ = true;
    outPaused_ = false;
    outFormat_ = format;
    outCallback_ = std::move(callback);
    outQueue_ = Queue();
    outPos_ = 0;
    outPlayed_ = 0;
    outStartTick_ = -1;
    outAcc_ = 0.0;
    outLeft_ = outRight_ = 0.0;
    reanchor_ = true;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

int VirtualCard::outputPause()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!outOpen_)
        return MMSYSERR_INVALHANDLE;
    outPaused_ = true;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

int VirtualCard::outputRestart()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!outOpen_)
        return MMSYSERR_INVALHANDLE;
    if (outPaused_ && !clockRecording_)
        reanchor_ = true;
    outPaused_ = false;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

int VirtualCard::outputWrite(WaveHeader &h)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!outOpen_)
        return MMSYSERR_INVALHANDLE;
    if (vanished_)
        return DEVICE_LOST;
    if (int rc = CheckQueueable(h))
        return rc;
    if (outQueue_.count == kQueue)
        return MMSYSERR_NOMEM;
    MarkQueued(h);
    if (outQueue_.count == 0) {
        outPos_ = 0;
        outLoopsLeft_ = PlayCount(h);
        if (!clockRecording_)
            reanchor_ = true; // playback starts now, not when the queue ran dry
    }
    outQueue_.push(&h);
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

int VirtualCard::outputReset()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!outOpen_)
        return MMSYSERR_INVALHANDLE;
    waitForCallbacks(lock);
    WaveHeader *returned[kQueue];
    int n = 0;
    while (outQueue_.count) {
        WaveHeader *h = outQueue_.pop();
        MarkDone(*h);
        returned[n++] = h;
    }
    outPos_ = 0;
    // Every returned buffer is reported before reset returns, as callers
    // that reset twice rely on.
    if (outCallback_ && n > 0) {
        const std::thread::id previous = callbackThread_;
        callbackThread_ = std::this_thread::get_id();
        lock.unlock();
        for (int i = 0; i < n; ++i)
            outCallback_(returned[i]);
        lock.lock();
        callbackThread_ = previous;
        idle_.notify_all();
    }
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

int VirtualCard::outputClose()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!outOpen_)
        return MMSYSERR_INVALHANDLE;
    if (outQueue_.count)
        return WAVERR_STILLPLAYING;
    waitForCallbacks(lock);
    outOpen_ = false;
    outCallback_ = nullptr;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

void VirtualCard::outputDestroy()
{
    std::unique_lock<std::mutex> lock(mutex_);
    waitForCallbacks(lock);
    while (outQueue_.count) {
        WaveHeader *h = outQueue_.pop();
        MarkDone(*h);
    }
    doneCount_ = 0;
    outOpen_ = false;
    outCallback_ = nullptr;
    wake_.notify_all();
}

std::uint64_t VirtualCard::outputPosition() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return outPlayed_;
}

int VirtualCard::inputStartTime(StreamStart &start) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    start = StreamStart{};
    if (!inOpen_ || inStartTick_ < 0 || inFormat_.nSamplesPerSec == 0)
        return MMSYSERR_NOTSUPPORTED;
    start.Clock = this;
    start.Seconds = static_cast<double>(inStartTick_) / inFormat_.nSamplesPerSec;
    return MMSYSERR_NOERROR;
}

int VirtualCard::outputStartTime(StreamStart &start) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    start = StreamStart{};
    if (!outOpen_ || outStartTick_ < 0 || outFormat_.nSamplesPerSec == 0)
        return MMSYSERR_NOTSUPPORTED;
    start.Clock = this;
    start.Seconds = static_cast<double>(outStartTick_) / outFormat_.nSamplesPerSec;
    return MMSYSERR_NOERROR;
}

void VirtualCard::waitForCallbacks(std::unique_lock<std::mutex> &lock)
{
    const std::thread::id self = std::this_thread::get_id();
    idle_.wait(lock, [&] { return callbackThread_ == std::thread::id() || callbackThread_ == self; });
}

// ---- the card thread ---------------------------------------------------------

void VirtualCard::nextOutputFrame(double &left, double &right)
{
    for (;;) {
        WaveHeader *h = outQueue_.front();
        if (!h || outPaused_) {
            left = right = 0.0;
            return;
        }
        const std::uint32_t align = outFormat_.nBlockAlign;
        if (outPos_ + align > h->dwBufferLength) {
            if (outLoopsLeft_ > 1 && h->dwBufferLength >= align) {
                if (outLoopsLeft_ != kEndless)
                    --outLoopsLeft_;
                outPos_ = 0;
                continue;
            }
            completeOutput(outQueue_.pop());
            outPos_ = 0;
            if (WaveHeader *next = outQueue_.front())
                outLoopsLeft_ = PlayCount(*next);
            continue;
        }
        const int bits = outFormat_.wBitsPerSample;
        const std::uint32_t i = outPos_ / static_cast<std::uint32_t>(BytesPerSample(bits));
        left = playedValue(h->lpData, bits, i);
        right = playedValue(h->lpData, bits, i + 1);
        outPos_ += align;
        if (outPlayed_++ == 0)
            outStartTick_ = ticks_;
        return;
    }
}

void VirtualCard::completeOutput(WaveHeader *h)
{
    MarkDone(*h);
    if (doneCount_ < 2 * kQueue)
        done_[doneCount_++] = h;
}

void VirtualCard::callOutputCallbacks(std::unique_lock<std::mutex> &lock)
{
    if (doneCount_ == 0)
        return;
    waitForCallbacks(lock);
    WaveHeader *done[2 * kQueue];
    const int n = doneCount_;
    std::copy(done_, done_ + n, done);
    doneCount_ = 0;
    if (!outCallback_)
        return;
    callbackThread_ = std::this_thread::get_id();
    lock.unlock();
    // close() waits until callbackThread_ is clear, so outCallback_ stays valid.
    for (int i = 0; i < n; ++i)
        outCallback_(done[i]);
    lock.lock();
    callbackThread_ = std::thread::id();
    idle_.notify_all();
}

long long VirtualCard::process(long long frames, bool recording, std::unique_lock<std::mutex> &)
{
    long long n = 0;
    double a, b;
    if (!recording) {
        // Output only: the device under test keeps running on what plays, so
        // its filters are settled when a capture begins.
        while (n < frames && outOpen_ && outQueue_.count) {
            nextOutputFrame(outLeft_, outRight_);
            dut_.process(outLeft_, outRight_, a, b);
            ++n;
            ++ticks_;
            if (doneCount_)
                break; // let the refill queue the next buffer first
        }
        return n;
    }
    WaveHeader *h = inQueue_.front();
    const int bits = inFormat_.wBitsPerSample;
    const std::uint32_t bps = static_cast<std::uint32_t>(BytesPerSample(bits));
    const std::uint32_t align = inFormat_.nBlockAlign;
    const double step = outOpen_ ? static_cast<double>(outFormat_.nSamplesPerSec) / inFormat_.nSamplesPerSec : 1.0;
    const double gain = mixer_->inputGain(); // the selected recording source's volume
    while (n < frames && h) {
        double l = 0.0, r = 0.0;
        if (outOpen_ && outQueue_.count) {
            // Output frames advance at the output rate, held between frames.
            outAcc_ += step;
            while (outAcc_ >= 1.0) {
                nextOutputFrame(outLeft_, outRight_);
                outAcc_ -= 1.0;
            }
            l = outLeft_;
            r = outRight_;
        } else if (signal_.active()) {
            l = r = signal_.next(); // nothing plays: the test signal takes the output path
        }
        dut_.process(l, r, a, b);
        a *= gain;
        b *= gain;
        if (inStartTick_ < 0)
            inStartTick_ = ticks_;
        ++ticks_;
        const std::uint32_t i = h->dwBytesRecorded / bps;
        WriteSample(h->lpData, bits, i, a);
        WriteSample(h->lpData, bits, i + 1, b);
        h->dwBytesRecorded += align;
        ++n;
        if (h->dwBufferLength - h->dwBytesRecorded < align) {
            inQueue_.pop();
            MarkDone(*h);
            platform::PostMessage(inTarget_, platform::MM_WIM_DATA, 0, reinterpret_cast<std::intptr_t>(h));
            ++blocksDone_;
            h = inQueue_.front();
        } else if (config_.vanishAfterBlocks > 0 && blocksDone_ >= config_.vanishAfterBlocks &&
                   2 * h->dwBytesRecorded >= h->dwBufferLength) {
            vanish(); // halfway through the block after the last good one
            break;
        }
        if (doneCount_)
            break; // an unpaced capture must not run ahead of the output refill
    }
    return n;
}

void VirtualCard::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        const bool recording = inOpen_ && inStarted_ && inQueue_.count > 0;
        const bool playing = outOpen_ && !outPaused_ && outQueue_.count > 0;
        if (!recording && !playing) {
            clockRecording_ = false;
            reanchor_ = true;
            wake_.wait(lock);
            continue;
        }
        const double rate = recording ? inFormat_.nSamplesPerSec : outFormat_.nSamplesPerSec;
        if (reanchor_ || recording != clockRecording_ || rate != clockRate_) {
            anchor_ = Clock::now();
            clockFrames_ = 0;
            clockRecording_ = recording;
            clockRate_ = rate;
            reanchor_ = false;
            if (dut_.sampleRate() != rate)
                dut_.configure(config_, rate);
            if (recording && signal_.sampleRate() != rate)
                signal_.configure(config_, rate);
        }
        const long long tenMs = std::max(64LL, static_cast<long long>(rate / 100.0));
        long long want;
        if (recording && !config_.paced) {
            want = 4096;
        } else {
            const double elapsed = std::chrono::duration<double>(Clock::now() - anchor_).count();
            const long long due = static_cast<long long>(std::floor(elapsed * rate)) - clockFrames_;
            if (due <= 0) {
                // Sleep until the next slice is due; a capture wakes exactly
                // when its buffer is full.
                long long ahead = tenMs;
                if (recording) {
                    const WaveHeader *h = inQueue_.front();
                    const long long left = (h->dwBufferLength - h->dwBytesRecorded) / inFormat_.nBlockAlign;
                    ahead = std::clamp(left, 1LL, tenMs);
                }
                const auto when = anchor_ + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>((clockFrames_ + ahead) / rate));
                wake_.wait_until(lock, when);
                continue;
            }
            want = std::min(due, 65536LL);
        }
        clockFrames_ += process(want, recording, lock);
        callOutputCallbacks(lock);
    }
}

} // namespace audio
