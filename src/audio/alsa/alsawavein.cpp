#include "audio/alsa/alsawavein.h"

#include "platform/messages.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace audio::alsa {

namespace {

using Clock = std::chrono::steady_clock;

// Capture ring of the device: long enough to ride out a busy UI thread, with
// short periods so that a reset is answered promptly.
constexpr unsigned kBufferUs = 500000;
constexpr unsigned kPeriodUs = 20000;
// Longest wait for data in one round of the worker.
constexpr int kWaitMs = 20;

} // namespace

int AlsaWaveIn::open(const std::string &pcmName, const WaveFormat &format, InputTarget target,
                     std::shared_ptr<OpenDevices> registry, std::unique_ptr<WaveInDevice> &device)
{
    PcmPtr pcm;
    PcmGeometry geometry;
    int status = OpenConfiguredPcm(pcmName, SND_PCM_STREAM_CAPTURE, format, kBufferUs, kPeriodUs, pcm, geometry);
    if (status != MMSYSERR_NOERROR)
        return status;
    int err = snd_pcm_prepare(pcm.get());
    if (err < 0)
        return AlsaStatus(err);
    auto *raw = new AlsaWaveIn(pcmName, format, target, std::move(registry), std::move(pcm), geometry);
    raw->worker_ = std::thread(&AlsaWaveIn::run, raw);
    device.reset(raw);
    return MMSYSERR_NOERROR;
}

AlsaWaveIn::AlsaWaveIn(std::string pcmName, const WaveFormat &format, InputTarget target,
                       std::shared_ptr<OpenDevices> registry, PcmPtr pcm, PcmGeometry geometry)
    : pcmName_(std::move(pcmName)), format_(format), target_(target), registry_(std::move(registry)),
      pcm_(std::move(pcm)), geometry_(geometry)
{
    snd_pcm_uframes_t frames = geometry_.periodFrames ? geometry_.periodFrames : 1024;
    scratch_.resize(frames * format_.nBlockAlign);
    queue_.reserve(16);
    if (registry_)
        registry_->add(SND_PCM_STREAM_CAPTURE, pcmName_);
}

AlsaWaveIn::~AlsaWaveIn()
{
    if (closed_)
        return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        // The owner is going away without closing: hand the buffers back
        // without messages, their owner may be gone by the time one arrives.
        for (WaveHeader *h : queue_)
            MarkDone(*h);
        queue_.clear();
    }
    cv_.notify_all();
    if (worker_.joinable())
        worker_.join();
    releasePcm();
}

int AlsaWaveIn::prepareHeader(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    return closed_ ? MMSYSERR_INVALHANDLE : PrepareHeader(h);
}

int AlsaWaveIn::unprepareHeader(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    return closed_ ? MMSYSERR_INVALHANDLE : UnprepareHeader(h);
}

int AlsaWaveIn::addBuffer(WaveHeader &h)
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (failed_)
            return failure_;
        if (int rc = CheckQueueable(h))
            return rc;
        if (h.dwBufferLength < format_.nBlockAlign)
            return MMSYSERR_INVALPARAM;
        h.dwBytesRecorded = 0;
        MarkQueued(h);
        queue_.push_back(&h);
    }
    cv_.notify_all();
    return MMSYSERR_NOERROR;
}

int AlsaWaveIn::start()
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (failed_)
            return failure_;
        if (started_)
            return MMSYSERR_NOERROR;
        // Not started means the worker leaves the PCM alone.
        if (snd_pcm_state(pcm_.get()) != SND_PCM_STATE_PREPARED) {
            int err = snd_pcm_prepare(pcm_.get());
            if (err < 0)
                return AlsaStatus(err);
        }
        int err = snd_pcm_start(pcm_.get());
        if (err < 0)
            return AlsaStatus(err);
        started_ = true;
    }
    cv_.notify_all();
    return MMSYSERR_NOERROR;
}

int AlsaWaveIn::reset()
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    started_ = false;
    cv_.wait(lock, [this] { return !busy_; });
    if (!failed_) {
        snd_pcm_drop(pcm_.get());
        snd_pcm_prepare(pcm_.get());
    }
    while (!queue_.empty())
        completeFront();
    if (failed_ && !failureReported_) {
        failureReported_ = true;
        return failure_;
    }
    return MMSYSERR_NOERROR;
}

int AlsaWaveIn::close()
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (!queue_.empty())
            return WAVERR_STILLPLAYING;
        quit_ = true;
        started_ = false;
    }
    cv_.notify_all();
    if (worker_.joinable())
        worker_.join();
    releasePcm();
    closed_ = true;
    return MMSYSERR_NOERROR;
}

void AlsaWaveIn::releasePcm()
{
    if (!pcm_)
        return;
    snd_pcm_drop(pcm_.get());
    pcm_.reset();
    if (registry_)
        registry_->remove(SND_PCM_STREAM_CAPTURE, pcmName_);
}

void AlsaWaveIn::completeFront(int code)
{
    WaveHeader *h = queue_.front();
    queue_.erase(queue_.begin());
    MarkDone(*h);
    platform::PostMessage(target_.window, platform::MM_WIM_DATA, static_cast<std::uintptr_t>(code),
                          reinterpret_cast<std::intptr_t>(h));
}

void AlsaWaveIn::fail(int alsaError, const char *what)
{
    failed_ = true;
    started_ = false;
    failure_ = alsaError < 0 ? AlsaStatus(alsaError) : DEVICE_LOST;
    if (failure_ == MMSYSERR_ERROR)
        failure_ = DEVICE_LOST;
    qWarning("ALSA capture on %s stopped (%s): %s", pcmName_.c_str(), what,
             alsaError < 0 ? snd_strerror(alsaError) : "no data from the device");
    snd_pcm_drop(pcm_.get());
    // The completions carry the failure; only without one does reset report it.
    failureReported_ = !queue_.empty();
    while (!queue_.empty())
        completeFront(failure_);
}

long AlsaWaveIn::readSome(char *dst, long frames)
{
    snd_pcm_t *pcm = pcm_.get();
    int err = snd_pcm_wait(pcm, kWaitMs);
    snd_pcm_sframes_t n = 0;
    if (err == 0)
        return 0;
    if (err > 0) {
        n = snd_pcm_readi(pcm, dst, static_cast<snd_pcm_uframes_t>(frames));
        if (n >= 0)
            return static_cast<long>(n);
        if (n == -EAGAIN)
            return 0;
        err = static_cast<int>(n);
    }
    // Overrun or suspend: the data of the gap is lost, recording goes on.
    if (err == -EPIPE || err == -ESTRPIPE || err == -EINTR) {
        if (err == -EPIPE && overruns_++ == 0)
            qWarning("ALSA capture on %s: overrun, samples lost", pcmName_.c_str());
        int r = snd_pcm_recover(pcm, err, 1);
        if (r >= 0)
            r = snd_pcm_start(pcm);
        return r < 0 ? r : 0;
    }
    return err;
}

void AlsaWaveIn::run()
{
    std::unique_lock lock(mutex_);
    const unsigned align = format_.nBlockAlign;
    const long readChunk = static_cast<long>(std::max<snd_pcm_uframes_t>(geometry_.periodFrames, 256));
    Clock::time_point lastData = Clock::now();
    bool running = false;
    while (!quit_) {
        if (!started_ || failed_) {
            running = false;
            cv_.wait(lock);
            continue;
        }
        if (!running) {
            running = true;
            lastData = Clock::now();
        }
        WaveHeader *h = queue_.empty() ? nullptr : queue_.front();
        char *dst = scratch_.data();
        long frames = static_cast<long>(scratch_.size() / align);
        if (h) {
            frames = static_cast<long>((h->dwBufferLength - h->dwBytesRecorded) / align);
            if (frames <= 0) {
                completeFront();
                continue;
            }
            dst = h->lpData + h->dwBytesRecorded;
        }
        // A non-blocking read goes on while data keeps coming; asking for one
        // period at most keeps each round, and so a reset, short.
        frames = std::min(frames, readChunk);
        // While busy the UI thread keeps off the PCM and the queue's front.
        busy_ = true;
        lock.unlock();
        long n = readSome(dst, frames);
        lock.lock();
        busy_ = false;
        cv_.notify_all();
        if (n > 0) {
            lastData = Clock::now();
            if (h) {
                h->dwBytesRecorded += static_cast<std::uint32_t>(n) * align;
                if (h->dwBufferLength - h->dwBytesRecorded < align)
                    completeFront();
            }
        } else if (n < 0) {
            fail(static_cast<int>(n), "read");
        } else if (started_ && Clock::now() - lastData > std::chrono::milliseconds(kStallMs)) {
            fail(0, "stalled");
        }
    }
}

} // namespace audio::alsa
