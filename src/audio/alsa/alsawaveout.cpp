#include "audio/alsa/alsawaveout.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace audio::alsa {

namespace {

using Clock = std::chrono::steady_clock;

// Playback ring: short enough that a reset or pause is prompt and a stream
// refill is heard soon, long enough to ride out scheduling hiccups.
constexpr unsigned kBufferUs = 200000;
constexpr unsigned kPeriodUs = 20000;
constexpr int kWaitMs = 20;

} // namespace

int AlsaWaveOut::open(const std::string &pcmName, const WaveFormat &format, OutputCallback callback,
                      std::shared_ptr<OpenDevices> registry, std::unique_ptr<WaveOutDevice> &device)
{
    PcmPtr pcm;
    PcmGeometry geometry;
    int status = OpenConfiguredPcm(pcmName, SND_PCM_STREAM_PLAYBACK, format, kBufferUs, kPeriodUs, pcm, geometry);
    if (status != MMSYSERR_NOERROR)
        return status;

    // Start once the ring is full, so playback begins without an underrun.
    snd_pcm_sw_params_t *sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    int err = snd_pcm_sw_params_current(pcm.get(), sw);
    if (err >= 0)
        err = snd_pcm_sw_params_set_start_threshold(pcm.get(), sw, geometry.bufferFrames);
    if (err >= 0)
        err = snd_pcm_sw_params_set_avail_min(pcm.get(), sw, std::max<snd_pcm_uframes_t>(1, geometry.periodFrames));
    if (err >= 0)
        err = snd_pcm_sw_params(pcm.get(), sw);
    if (err >= 0)
        err = snd_pcm_prepare(pcm.get());
    if (err < 0)
        return AlsaStatus(err);

    auto *raw = new AlsaWaveOut(pcmName, format, std::move(callback), std::move(registry), std::move(pcm),
                                geometry);
    raw->worker_ = std::thread(&AlsaWaveOut::run, raw);
    device.reset(raw);
    return MMSYSERR_NOERROR;
}

AlsaWaveOut::AlsaWaveOut(std::string pcmName, const WaveFormat &format, OutputCallback callback,
                         std::shared_ptr<OpenDevices> registry, PcmPtr pcm, PcmGeometry geometry)
    : pcmName_(std::move(pcmName)), format_(format), callback_(std::move(callback)),
      registry_(std::move(registry)), pcm_(std::move(pcm)), geometry_(geometry)
{
    queue_.reserve(16);
    done_.reserve(16);
    if (registry_)
        registry_->add(SND_PCM_STREAM_PLAYBACK, pcmName_);
}

AlsaWaveOut::~AlsaWaveOut()
{
    if (closed_)
        return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        // Closed without close(): no callbacks into an owner that is going away.
        for (WaveHeader *h : queue_)
            MarkDone(*h);
        queue_.clear();
    }
    cv_.notify_all();
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
    else if (worker_.joinable())
        worker_.detach();
    releasePcm();
}

int AlsaWaveOut::pause()
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (failed_)
        return DEVICE_LOST;
    if (paused_)
        return MMSYSERR_NOERROR;
    paused_ = true;
    cv_.wait(lock, [this] { return !busy_; });
    snd_pcm_t *pcm = pcm_.get();
    if (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING) {
        // Without hardware pause the ring is dropped; what it held is lost.
        if (!geometry_.canPause || snd_pcm_pause(pcm, 1) < 0) {
            snd_pcm_drop(pcm);
            snd_pcm_prepare(pcm);
        }
    }
    return MMSYSERR_NOERROR;
}

int AlsaWaveOut::restart()
{
    {
        std::unique_lock lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (failed_)
            return DEVICE_LOST;
        if (!paused_)
            return MMSYSERR_NOERROR;
        cv_.wait(lock, [this] { return !busy_; });
        paused_ = false;
        kicked_ = false;
        snd_pcm_t *pcm = pcm_.get();
        if (snd_pcm_state(pcm) == SND_PCM_STATE_PAUSED && snd_pcm_pause(pcm, 0) < 0) {
            snd_pcm_drop(pcm);
            snd_pcm_prepare(pcm);
        }
    }
    cv_.notify_all();
    return MMSYSERR_NOERROR;
}

int AlsaWaveOut::prepareHeader(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    // An empty buffer is taken; it plays nothing.
    return closed_ ? MMSYSERR_INVALHANDLE : PrepareHeader(h, true);
}

int AlsaWaveOut::unprepareHeader(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    return closed_ ? MMSYSERR_INVALHANDLE : UnprepareHeader(h);
}

int AlsaWaveOut::write(WaveHeader &h)
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (failed_)
            return DEVICE_LOST;
        if (int rc = CheckQueueable(h))
            return rc;
        MarkQueued(h);
        queue_.push_back(&h);
    }
    cv_.notify_all();
    return MMSYSERR_NOERROR;
}

int AlsaWaveOut::reset()
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (std::this_thread::get_id() == worker_.get_id())
        return MMSYSERR_ERROR; // not from inside the callback
    holding_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return !busy_ && !inCallback_; });
    if (!failed_) {
        snd_pcm_drop(pcm_.get());
        snd_pcm_prepare(pcm_.get());
    }
    std::vector<WaveHeader *> returned;
    returned.reserve(queue_.size());
    while (!queue_.empty())
        returned.push_back(popFront());
    if (callback_ && !returned.empty()) {
        // The worker keeps still while holding_ is set, so the callback never
        // runs on two threads at once.
        lock.unlock();
        for (WaveHeader *h : returned)
            callback_(h);
        lock.lock();
    }
    holding_ = false;
    kicked_ = true;
    cv_.notify_all();
    if (failed_ && !failureReported_) {
        failureReported_ = true;
        return DEVICE_LOST;
    }
    return MMSYSERR_NOERROR;
}

int AlsaWaveOut::close()
{
    {
        std::unique_lock lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (std::this_thread::get_id() == worker_.get_id())
            return MMSYSERR_ERROR;
        if (!queue_.empty())
            return WAVERR_STILLPLAYING;
        quit_ = true;
    }
    cv_.notify_all();
    if (worker_.joinable())
        worker_.join();

    // Everything handed back as done should also be heard: let the ring play
    // out, bounded by its length, unless playback is paused or broken.
    snd_pcm_t *pcm = pcm_.get();
    if (!failed_ && !paused_) {
        snd_pcm_uframes_t size = geometry_.bufferFrames;
        if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED && snd_pcm_avail(pcm) < static_cast<snd_pcm_sframes_t>(size))
            snd_pcm_start(pcm);
        auto limit = Clock::now() + std::chrono::microseconds(kBufferUs) + std::chrono::milliseconds(300);
        while (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING && Clock::now() < limit) {
            snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
            if (avail < 0 || avail >= static_cast<snd_pcm_sframes_t>(size))
                break;
            snd_pcm_wait(pcm, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    releasePcm();
    closed_ = true;
    return MMSYSERR_NOERROR;
}

void AlsaWaveOut::releasePcm()
{
    if (!pcm_)
        return;
    snd_pcm_drop(pcm_.get());
    pcm_.reset();
    if (registry_)
        registry_->remove(SND_PCM_STREAM_PLAYBACK, pcmName_);
}

WaveHeader *AlsaWaveOut::popFront()
{
    WaveHeader *h = queue_.front();
    queue_.erase(queue_.begin());
    MarkDone(*h);
    cursor_ = 0;
    loopsLeft_ = 0;
    return h;
}

void AlsaWaveOut::deliver(std::unique_lock<std::mutex> &lock, std::vector<WaveHeader *> &done)
{
    if (!callback_) {
        done.clear();
        return;
    }
    inCallback_ = true;
    lock.unlock();
    for (WaveHeader *h : done)
        callback_(h);
    lock.lock();
    done.clear();
    inCallback_ = false;
    cv_.notify_all();
}

void AlsaWaveOut::kickStart()
{
    snd_pcm_t *pcm = pcm_.get();
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED)
        return;
    snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
    if (avail >= 0 && avail < static_cast<snd_pcm_sframes_t>(geometry_.bufferFrames))
        snd_pcm_start(pcm);
}

void AlsaWaveOut::fail(std::unique_lock<std::mutex> &lock, int alsaError, const char *what)
{
    failed_ = true;
    qWarning("ALSA playback on %s stopped (%s): %s", pcmName_.c_str(), what,
             alsaError < 0 ? snd_strerror(alsaError) : "the device takes no data");
    snd_pcm_drop(pcm_.get());
    while (!queue_.empty())
        done_.push_back(popFront());
    deliver(lock, done_);
}

long AlsaWaveOut::writeSome(const char *src, long frames)
{
    snd_pcm_t *pcm = pcm_.get();
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm);
    int err = 0;
    if (avail == 0) {
        err = snd_pcm_wait(pcm, kWaitMs);
        if (err >= 0)
            return 0;
    } else if (avail > 0) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, src, static_cast<snd_pcm_uframes_t>(std::min<long>(avail, frames)));
        if (n > 0)
            return static_cast<long>(n);
        if (n == 0 || n == -EAGAIN) {
            // Room was reported but not taken: wait instead of spinning.
            err = snd_pcm_wait(pcm, kWaitMs);
            if (err >= 0)
                return 0;
        } else {
            err = static_cast<int>(n);
        }
    } else {
        err = static_cast<int>(avail);
    }
    // Underrun (the queue ran dry) or suspend: prepare again and go on.
    if (err == -EPIPE || err == -ESTRPIPE || err == -EINTR) {
        int r = snd_pcm_recover(pcm, err, 1);
        return r < 0 ? r : 0;
    }
    return err;
}

void AlsaWaveOut::run()
{
    std::unique_lock lock(mutex_);
    const std::uint32_t align = format_.nBlockAlign;
    Clock::time_point lastProgress = Clock::now();
    bool running = false;
    while (!quit_) {
        if (holding_ || paused_ || failed_ || queue_.empty()) {
            if (!holding_ && !paused_ && !failed_ && !kicked_) {
                kickStart();
                kicked_ = true;
            }
            running = false;
            cv_.wait(lock);
            continue;
        }
        if (!running) {
            running = true;
            lastProgress = Clock::now();
        }
        WaveHeader *h = queue_.front();
        if (loopsLeft_ == 0)
            loopsLeft_ = PlayCount(*h);
        long frames = static_cast<long>((h->dwBufferLength - cursor_) / align);
        if (frames <= 0)
            loopsLeft_ = 1; // nothing to play, however often
        long n = 0;
        if (frames > 0) {
            // While busy the UI thread keeps off the PCM and the front buffer.
            busy_ = true;
            lock.unlock();
            n = writeSome(h->lpData + cursor_, frames);
            lock.lock();
            busy_ = false;
            cv_.notify_all();
            if (n < 0) {
                fail(lock, static_cast<int>(n), "write");
                continue;
            }
            if (n == 0) {
                if (Clock::now() - lastProgress > std::chrono::milliseconds(kStallMs))
                    fail(lock, 0, "stalled");
                continue;
            }
            lastProgress = Clock::now();
            kicked_ = false;
            cursor_ += static_cast<std::uint32_t>(n) * align;
            if (h->dwBufferLength - cursor_ >= align)
                continue;
        }
        if (--loopsLeft_ > 0) {
            cursor_ = 0; // the next write continues at the start: a seamless wrap
            continue;
        }
        done_.push_back(popFront());
        deliver(lock, done_);
    }
}

} // namespace audio::alsa
