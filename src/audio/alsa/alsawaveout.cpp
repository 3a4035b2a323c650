#include "audio/alsa/alsawaveout.h"

#include "audio/alsa/alsastream.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>

namespace audio::alsa {

namespace {

// Playback ring: short enough that a reset or pause is prompt and a stream
// refill is heard soon, long enough to ride out scheduling hiccups.
constexpr unsigned kBufferUs = 200000;
constexpr unsigned kPeriodUs = 20000;
constexpr int kWaitMs = 20;

} // namespace

class PlaybackStream final : public AlsaStream {
public:
    PlaybackStream(const std::string &pcmName, const WaveFormat &format, OutputCallback callback,
                   std::shared_ptr<OpenDevices> registry, PcmPtr pcm, PcmGeometry geometry)
        : AlsaStream(pcmName, SND_PCM_STREAM_PLAYBACK, format, std::move(registry), std::move(pcm), geometry),
          callback_(std::move(callback))
    {
        done_.reserve(16);
    }

    int pause();
    int restart();
    int write(WaveHeader &h);
    int reset();
    int discard(std::uint64_t &continueAt);
    int startTime(StreamStart &start);

private:
    void run() override;
    // Lets the ring play out what was handed back as done, bounded by its
    // length, unless playback is paused or broken.
    void finishClosing() override;
    // Writes up to `frames` frames, waiting a few milliseconds at most for
    // room. Returns frames written, 0 when there was no room, or an error.
    long writeSome(const char *src, long frames);
    // Starts a PCM that holds data but has not reached its start threshold
    // (the queue ran dry before the ring was full). Lock held, worker idle.
    void kickStart();
    // Takes the front buffer off the queue and clears its cursor. Lock held.
    WaveHeader *takeFront();
    // Hands finished buffers to the callback with the lock released.
    void deliver(std::unique_lock<std::mutex> &lock, std::vector<WaveHeader *> &done);
    void fail(std::unique_lock<std::mutex> &lock, int alsaError, const char *what);
    void dropRing();
    // Stops the worker at a safe point (lock held) and hands every queued
    // buffer back through the callback; the worker goes on afterwards.
    void returnQueued(std::unique_lock<std::mutex> &lock, bool dropFirst);

    const OutputCallback callback_;
    std::vector<WaveHeader *> done_; // finished buffers waiting for the callback
    std::uint32_t cursor_ = 0;       // bytes of the front buffer already written
    std::uint32_t loopsLeft_ = 0;    // plays left of the front buffer, this one included
    std::uint64_t written_ = 0;      // frames handed to ALSA since the open, less those rewound
    bool paused_ = false;
    bool holding_ = false;    // reset in progress: the worker keeps still
    bool inCallback_ = false; // the worker is inside the callback
    bool kicked_ = true;      // nothing written since the last start check

    // Whether `avail` (room in the ring, or an error) is room the ring can
    // have: more than its size means the read position passed the write one.
    bool RingHolds(snd_pcm_sframes_t avail) const
    {
        return avail >= 0 &&
               (geometry_.bufferFrames == 0 || avail <= static_cast<snd_pcm_sframes_t>(geometry_.bufferFrames));
    }
    // Frames a rewind leaves in the ring: what the reader may take while
    // the rewind goes on (a sound server's quantum) and what plays until
    // the buffers that follow are queued.
    snd_pcm_sframes_t rewindMargin() const { return 2 * static_cast<snd_pcm_sframes_t>(geometry_.periodFrames); }
};

void PlaybackStream::dropRing()
{
    snd_pcm_drop(pcm_.get());
    snd_pcm_prepare(pcm_.get());
}

int PlaybackStream::pause()
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (failed_)
        return DEVICE_LOST;
    if (paused_)
        return MMSYSERR_NOERROR;
    paused_ = true;
    waitIdle(lock);
    snd_pcm_t *pcm = pcm_.get();
    if (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING) {
        // Without hardware pause the ring is dropped; what it held is lost.
        if (!geometry_.canPause || snd_pcm_pause(pcm, 1) < 0)
            dropRing();
    }
    return MMSYSERR_NOERROR;
}

int PlaybackStream::restart()
{
    {
        std::unique_lock lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (failed_)
            return DEVICE_LOST;
        if (!paused_)
            return MMSYSERR_NOERROR;
        waitIdle(lock);
        paused_ = false;
        kicked_ = false;
        snd_pcm_t *pcm = pcm_.get();
        if (snd_pcm_state(pcm) == SND_PCM_STATE_PAUSED && snd_pcm_pause(pcm, 0) < 0)
            dropRing();
        cv_.notify_all(); // under the lock, see write()
    }
    return MMSYSERR_NOERROR;
}

int PlaybackStream::write(WaveHeader &h)
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
        // Woken under the lock: the worker may complete a buffer whose owner
        // lets the device go, so nothing here may touch it after the unlock.
        cv_.notify_all();
    }
    return MMSYSERR_NOERROR;
}

void PlaybackStream::returnQueued(std::unique_lock<std::mutex> &lock, bool dropFirst)
{
    holding_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return !busy_ && !inCallback_; });
    if (dropFirst && !failed_)
        dropRing();
    std::vector<WaveHeader *> returned;
    returned.reserve(queue_.size());
    while (!queue_.empty())
        returned.push_back(takeFront());
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
}

int PlaybackStream::reset()
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (onWorker())
        return MMSYSERR_ERROR; // not from inside the callback
    returnQueued(lock, true);
    if (failed_ && !failureReported_) {
        failureReported_ = true;
        return DEVICE_LOST;
    }
    return MMSYSERR_NOERROR;
}

int PlaybackStream::discard(std::uint64_t &continueAt)
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (onWorker())
        return MMSYSERR_ERROR;
    holding_ = true;
    cv_.wait(lock, [this] { return !busy_ && !inCallback_; });
    bool known = !failed_;
    if (known) {
        // What ALSA can take back had not left for the device yet: rewinding
        // it makes the next write follow on exactly. What it cannot take
        // back plays on first, so the change is heard that much later.
        //
        // ALSA counts what can be taken back from the read position it last
        // asked for, which a plugin that reads the ring on a thread of its
        // own (a sound server's) may have passed by a quantum since: it is
        // asked again first, and a margin stays for what the reader may
        // take while the rewind goes on and until the next buffers are
        // queued. Rewound behind the read position, the ring would look full
        // to such a reader, which then plays the stale samples and, as ALSA
        // does not see it, goes on reading them between the new ones; that
        // is checked afterwards, and the ring dropped instead.
        snd_pcm_t *pcm = pcm_.get();
        const snd_pcm_sframes_t room = snd_pcm_avail(pcm);
        snd_pcm_sframes_t back = room < 0 ? room : snd_pcm_rewindable(pcm);
        if (back < 0) {
            known = false;
        } else {
            back -= std::min(back, rewindMargin());
            const snd_pcm_sframes_t rewound = back > 0 ? snd_pcm_rewind(pcm, static_cast<snd_pcm_uframes_t>(back)) : 0;
            if (rewound > 0)
                written_ -= std::min<std::uint64_t>(written_, static_cast<std::uint64_t>(rewound));
            if (back > 0 && rewound <= 0)
                known = false; // no rewinding here: the ring is dropped, and where it stood is unknown
            else if (rewound > 0 && !RingHolds(snd_pcm_avail(pcm)))
                known = false;
        }
    }
    // Held until restart(), the PCM playing on what it kept: the buffers
    // written next must all be queued before the worker takes the first,
    // which otherwise may pass whole into the emptied ring and come back,
    // refilled with what follows the second, before the second is queued.
    paused_ = true;
    returnQueued(lock, !known);
    continueAt = written_;
    return known ? MMSYSERR_NOERROR : MMSYSERR_NOTSUPPORTED;
}

int PlaybackStream::startTime(StreamStart &start)
{
    std::unique_lock lock(mutex_);
    if (closed_) {
        start = StreamStart{};
        return MMSYSERR_NOTSUPPORTED;
    }
    // Held between two writes (see returnQueued), so a worker that never
    // waits lets this in; a reset holding it already is not undone here.
    const bool held = holding_;
    holding_ = true;
    waitIdle(lock);
    const int rc = streamStart(written_, start);
    holding_ = held;
    cv_.notify_all();
    return rc;
}

void PlaybackStream::finishClosing()
{
    snd_pcm_t *pcm = pcm_.get();
    if (failed_ || paused_ || !pcm)
        return;
    const snd_pcm_uframes_t size = geometry_.bufferFrames;
    if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED && snd_pcm_avail(pcm) < static_cast<snd_pcm_sframes_t>(size))
        snd_pcm_start(pcm);
    const auto limit = Clock::now() + std::chrono::microseconds(kBufferUs) + std::chrono::milliseconds(300);
    while (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING && Clock::now() < limit) {
        const snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
        if (avail < 0 || avail >= static_cast<snd_pcm_sframes_t>(size))
            break;
        snd_pcm_wait(pcm, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

WaveHeader *PlaybackStream::takeFront()
{
    cursor_ = 0;
    loopsLeft_ = 0;
    return popFront();
}

void PlaybackStream::deliver(std::unique_lock<std::mutex> &lock, std::vector<WaveHeader *> &done)
{
    if (!callback_) {
        done.clear();
        return;
    }
    inCallback_ = true;
    lock.unlock();
    // The callback may let the device go (this object stays: the worker
    // holds it); it then finds quit_ set when it comes back.
    for (WaveHeader *h : done)
        callback_(h);
    lock.lock();
    done.clear();
    inCallback_ = false;
    cv_.notify_all();
}

void PlaybackStream::kickStart()
{
    snd_pcm_t *pcm = pcm_.get();
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED)
        return;
    const snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
    if (avail >= 0 && avail < static_cast<snd_pcm_sframes_t>(geometry_.bufferFrames))
        snd_pcm_start(pcm);
}

void PlaybackStream::fail(std::unique_lock<std::mutex> &lock, int alsaError, const char *what)
{
    markFailed(alsaError, what, "the device takes no data");
    while (!queue_.empty())
        done_.push_back(takeFront());
    deliver(lock, done_);
}

long PlaybackStream::writeSome(const char *src, long frames)
{
    snd_pcm_t *pcm = pcm_.get();
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm);
    int err = 0;
    if (avail == 0) {
        err = snd_pcm_wait(pcm, kWaitMs);
        if (err >= 0)
            return 0;
    } else if (avail > 0 && !RingHolds(avail)) {
        // The reader passed the writer without the plugin saying so: an
        // underrun, which would otherwise go on playing stale samples.
        err = -EPIPE;
    } else if (avail > 0) {
        const snd_pcm_sframes_t n =
            snd_pcm_writei(pcm, src, static_cast<snd_pcm_uframes_t>(std::min<long>(avail, frames)));
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
        const int r = snd_pcm_recover(pcm, err, 1);
        return r < 0 ? r : 0;
    }
    return err;
}

void PlaybackStream::run()
{
    std::unique_lock lock(mutex_);
    const std::uint32_t align = format_.nBlockAlign;
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
            progress();
        }
        WaveHeader *h = queue_.front();
        if (loopsLeft_ == 0)
            loopsLeft_ = PlayCount(*h);
        const long frames = static_cast<long>((h->dwBufferLength - cursor_) / align);
        if (frames <= 0)
            loopsLeft_ = 1; // nothing to play, however often
        if (frames > 0) {
            busy_ = true;
            lock.unlock();
            const long n = writeSome(h->lpData + cursor_, frames);
            lock.lock();
            busy_ = false;
            cv_.notify_all();
            if (n < 0) {
                fail(lock, static_cast<int>(n), "write");
                continue;
            }
            if (n == 0) {
                if (stalled())
                    fail(lock, 0, "stalled");
                continue;
            }
            progress();
            kicked_ = false;
            written_ += static_cast<std::uint64_t>(n);
            cursor_ += static_cast<std::uint32_t>(n) * align;
            if (h->dwBufferLength - cursor_ >= align)
                continue;
        }
        if (--loopsLeft_ > 0) {
            cursor_ = 0; // the next write continues at the start: a seamless wrap
            continue;
        }
        done_.push_back(takeFront());
        deliver(lock, done_);
    }
}

// ---- the device ----------------------------------------------------------------

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

    auto stream = std::make_shared<PlaybackStream>(pcmName, format, std::move(callback), std::move(registry),
                                                   std::move(pcm), geometry);
    stream->startWorker();
    device.reset(new AlsaWaveOut(std::move(stream)));
    return MMSYSERR_NOERROR;
}

AlsaWaveOut::~AlsaWaveOut() { stream_->abandon(); }

int AlsaWaveOut::pause() { return stream_->pause(); }
int AlsaWaveOut::restart() { return stream_->restart(); }
// An empty buffer is taken; it plays nothing.
int AlsaWaveOut::prepareHeader(WaveHeader &h) { return stream_->prepareHeader(h, true); }
int AlsaWaveOut::unprepareHeader(WaveHeader &h) { return stream_->unprepareHeader(h); }
int AlsaWaveOut::write(WaveHeader &h) { return stream_->write(h); }
int AlsaWaveOut::reset() { return stream_->reset(); }
int AlsaWaveOut::close() { return stream_->close(); }
int AlsaWaveOut::discard(std::uint64_t &continueAt) { return stream_->discard(continueAt); }
int AlsaWaveOut::startTime(StreamStart &start) { return stream_->startTime(start); }

} // namespace audio::alsa
