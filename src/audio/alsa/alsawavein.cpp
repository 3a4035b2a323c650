#include "audio/alsa/alsawavein.h"

#include "audio/alsa/alsastream.h"
#include "platform/runtime/messages.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>

namespace audio::alsa {

namespace {

// Capture ring of the device: long enough to ride out a busy UI thread, with
// short periods so that a reset is answered promptly.
constexpr unsigned kBufferUs = 500000;
constexpr unsigned kPeriodUs = 20000;
// Longest wait for data in one round of the worker.
constexpr int kWaitMs = 20;

} // namespace

class CaptureStream final : public AlsaStream {
public:
    CaptureStream(const std::string &pcmName, const WaveFormat &format, InputTarget target,
                  std::shared_ptr<OpenDevices> registry, PcmPtr pcm, PcmGeometry geometry)
        : AlsaStream(pcmName, SND_PCM_STREAM_CAPTURE, format, std::move(registry), std::move(pcm), geometry),
          target_(target)
    {
        const snd_pcm_uframes_t frames = geometry_.periodFrames ? geometry_.periodFrames : 1024;
        scratch_.resize(frames * format_.nBlockAlign);
    }

    int addBuffer(WaveHeader &h);
    int start();
    int reset();
    int startTime(StreamStart &start);

private:
    void run() override;
    // Reads what is there (waiting at most a few milliseconds) into dst.
    // Returns frames read, 0 when nothing came, or a negative ALSA error.
    long readSome(char *dst, long frames);
    // Takes the front buffer off the queue and posts its completion with
    // `code` as wParam (0, or the failure that ended the capture). Lock held.
    void completeFront(int code = MMSYSERR_NOERROR);
    // Marks the device failed and returns all queued buffers. Lock held.
    void fail(int alsaError, const char *what);

    const InputTarget target_;
    std::vector<char> scratch_; // takes data while no buffer is queued
    int overruns_ = 0;          // worker only; logged once per device
    bool started_ = false;
    bool holding_ = false;      // startTime() reads the status: the worker keeps still
    std::uint64_t read_ = 0;    // frames read since the start
    int failure_ = MMSYSERR_NOERROR;
};

int CaptureStream::addBuffer(WaveHeader &h)
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
        // Woken under the lock: the worker may complete a buffer whose owner
        // lets the device go, so nothing here may touch it after the unlock.
        cv_.notify_all();
    }
    return MMSYSERR_NOERROR;
}

int CaptureStream::start()
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
        read_ = 0;
        cv_.notify_all(); // under the lock, see addBuffer()
    }
    return MMSYSERR_NOERROR;
}

int CaptureStream::reset()
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    started_ = false;
    waitIdle(lock);
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

int CaptureStream::startTime(StreamStart &start)
{
    std::unique_lock lock(mutex_);
    if (closed_ || !started_) {
        start = StreamStart{};
        return MMSYSERR_NOTSUPPORTED;
    }
    // Held between two reads: a worker that never waits (data keeps
    // coming) would otherwise never let this in.
    holding_ = true;
    waitIdle(lock);
    const int rc = streamStart(read_, start);
    holding_ = false;
    cv_.notify_all();
    return rc;
}

void CaptureStream::completeFront(int code)
{
    WaveHeader *h = popFront();
    platform::PostMessage(target_.window, platform::MM_WIM_DATA, static_cast<std::uintptr_t>(code),
                          reinterpret_cast<std::intptr_t>(h));
}

void CaptureStream::fail(int alsaError, const char *what)
{
    started_ = false;
    failure_ = alsaError < 0 ? AlsaStatus(alsaError) : DEVICE_LOST;
    if (failure_ == MMSYSERR_ERROR)
        failure_ = DEVICE_LOST;
    markFailed(alsaError, what, "no data from the device");
    // The completions carry the failure; only without one does reset report it.
    failureReported_ = !queue_.empty();
    while (!queue_.empty())
        completeFront(failure_);
}

long CaptureStream::readSome(char *dst, long frames)
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

void CaptureStream::run()
{
    std::unique_lock lock(mutex_);
    const unsigned align = format_.nBlockAlign;
    const long readChunk = static_cast<long>(std::max<snd_pcm_uframes_t>(geometry_.periodFrames, 256));
    bool running = false;
    while (!quit_) {
        if (holding_) {
            cv_.wait(lock);
            continue;
        }
        if (!started_ || failed_) {
            running = false;
            cv_.wait(lock);
            continue;
        }
        if (!running) {
            running = true;
            progress();
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
        busy_ = true;
        lock.unlock();
        long n = readSome(dst, frames);
        lock.lock();
        busy_ = false;
        cv_.notify_all();
        if (n > 0) {
            progress();
            read_ += static_cast<std::uint64_t>(n);
            if (h) {
                h->dwBytesRecorded += static_cast<std::uint32_t>(n) * align;
                if (h->dwBufferLength - h->dwBytesRecorded < align)
                    completeFront();
            }
        } else if (n < 0) {
            fail(static_cast<int>(n), "read");
        } else if (started_ && stalled()) {
            fail(0, "stalled");
        }
    }
}

// ---- the device ----------------------------------------------------------------

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
    auto stream = std::make_shared<CaptureStream>(pcmName, format, target, std::move(registry), std::move(pcm), geometry);
    stream->startWorker();
    device.reset(new AlsaWaveIn(std::move(stream)));
    return MMSYSERR_NOERROR;
}

AlsaWaveIn::~AlsaWaveIn() { stream_->abandon(); }

int AlsaWaveIn::prepareHeader(WaveHeader &h) { return stream_->prepareHeader(h, false); }
int AlsaWaveIn::unprepareHeader(WaveHeader &h) { return stream_->unprepareHeader(h); }
int AlsaWaveIn::addBuffer(WaveHeader &h) { return stream_->addBuffer(h); }
int AlsaWaveIn::start() { return stream_->start(); }
int AlsaWaveIn::reset() { return stream_->reset(); }
int AlsaWaveIn::close() { return stream_->close(); }
int AlsaWaveIn::startTime(StreamStart &start) { return stream_->startTime(start); }

} // namespace audio::alsa
