#include "audio/alsa/alsastream.h"

#include <QtGlobal>

namespace audio::alsa {

AlsaStream::AlsaStream(std::string pcmName, snd_pcm_stream_t stream, const WaveFormat &format,
                       std::shared_ptr<OpenDevices> registry, PcmPtr pcm, PcmGeometry geometry)
    : pcmName_(std::move(pcmName)), stream_(stream), format_(format), pcm_(std::move(pcm)), geometry_(geometry),
      registry_(std::move(registry))
{
    queue_.reserve(16);
    if (registry_)
        registry_->add(stream_, pcmName_);
}

AlsaStream::~AlsaStream()
{
    // The worker held a reference, so it has returned from run(): either it
    // was joined, or the last reference went with it and this runs on it.
    if (worker_.joinable())
        worker_.detach();
    releasePcm();
}

void AlsaStream::startWorker()
{
    worker_ = std::thread([self = shared_from_this()] { self->run(); });
}

int AlsaStream::prepareHeader(WaveHeader &h, bool allowEmpty)
{
    std::lock_guard lock(mutex_);
    return closed_ ? MMSYSERR_INVALHANDLE : PrepareHeader(h, allowEmpty);
}

int AlsaStream::unprepareHeader(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    return closed_ ? MMSYSERR_INVALHANDLE : UnprepareHeader(h);
}

int AlsaStream::close()
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (onWorker())
        return MMSYSERR_ERROR; // not from inside a callback
    if (!queue_.empty())
        return WAVERR_STILLPLAYING;
    endWorker(lock);
    lock.unlock();
    finishClosing();
    releasePcm();
    lock.lock();
    closed_ = true;
    return MMSYSERR_NOERROR;
}

void AlsaStream::abandon()
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return;
    for (WaveHeader *h : queue_)
        MarkDone(*h);
    queue_.clear();
    closed_ = true;
    const bool fromWorker = onWorker();
    endWorker(lock);
    lock.unlock();
    // On the worker the PCM is still in use up the stack; it goes with the
    // worker's reference.
    if (!fromWorker)
        releasePcm();
}

void AlsaStream::endWorker(std::unique_lock<std::mutex> &lock)
{
    quit_ = true;
    cv_.notify_all();
    if (!worker_.joinable())
        return;
    if (onWorker()) {
        worker_.detach(); // it sees quit_ when it is back in its loop
        return;
    }
    lock.unlock();
    worker_.join();
    lock.lock();
}

void AlsaStream::releasePcm()
{
    if (!pcm_)
        return;
    snd_pcm_drop(pcm_.get());
    pcm_.reset();
    if (registry_)
        registry_->remove(stream_, pcmName_);
}

WaveHeader *AlsaStream::popFront()
{
    WaveHeader *h = queue_.front();
    queue_.erase(queue_.begin());
    MarkDone(*h);
    return h;
}

void AlsaStream::markFailed(int alsaError, const char *what, const char *silentReason)
{
    failed_ = true;
    qWarning("ALSA %s on %s stopped (%s): %s", stream_ == SND_PCM_STREAM_PLAYBACK ? "playback" : "capture",
             pcmName_.c_str(), what, alsaError < 0 ? snd_strerror(alsaError) : silentReason);
    snd_pcm_drop(pcm_.get());
}

} // namespace audio::alsa
