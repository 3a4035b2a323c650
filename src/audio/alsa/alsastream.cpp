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

namespace {
// How far the driver's position may be off where it reads the DMA position
// (not a batch device): about a millisecond covers the transfer bursts of
// PCI cards and the 1 ms packets of USB audio.
constexpr double kDmaPositionSeconds = 0.001;

// The system clock that ALSA's timestamps share (both streams take the
// default timestamp type).
const char kAlsaClock = 0;

double Seconds(const snd_htimestamp_t &t) { return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec); }
} // namespace

int AlsaStream::streamStart(std::uint64_t transferred, StreamStart &start)
{
    start = StreamStart{};
    snd_pcm_t *pcm = pcm_.get();
    const double rate = format_.nSamplesPerSec;
    if (!pcm || failed_ || rate <= 0.0)
        return MMSYSERR_NOTSUPPORTED;
    snd_pcm_status_t *status = nullptr;
    snd_pcm_status_alloca(&status);
    if (snd_pcm_status(pcm, status) < 0 || snd_pcm_status_get_state(status) != SND_PCM_STATE_RUNNING)
        return MMSYSERR_NOTSUPPORTED;
    snd_htimestamp_t now{}, trigger{};
    snd_pcm_status_get_htstamp(status, &now);
    snd_pcm_status_get_trigger_htstamp(status, &trigger);
    const double at = Seconds(now), triggered = Seconds(trigger);
    if (at <= 0.0 || triggered <= 0.0 || at < triggered)
        return MMSYSERR_NOTSUPPORTED;
    // A stream that moved more than real time allows since it started has
    // no clock: a capture cannot read frames before they were recorded (two
    // periods of slack for the timestamps' granularity), a playback can
    // write ahead by its ring.
    const double slack = static_cast<double>(
        stream_ == SND_PCM_STREAM_PLAYBACK ? geometry_.bufferFrames + geometry_.periodFrames : 2 * geometry_.periodFrames);
    if (static_cast<double>(transferred) > (at - triggered) * rate + slack)
        return MMSYSERR_NOTSUPPORTED;
    // The frame at the converter at `at`: for playback the frames written
    // less those still ahead of it, for capture the frames read and those
    // recorded but not read yet.
    const auto delay = static_cast<double>(snd_pcm_status_get_delay(status));
    const double converted =
        stream_ == SND_PCM_STREAM_PLAYBACK ? static_cast<double>(transferred) - delay : static_cast<double>(transferred) + delay;
    start.Clock = &kAlsaClock;
    start.Seconds = at - converted / rate;
    start.UncertaintySeconds =
        geometry_.batch ? static_cast<double>(geometry_.periodFrames) / rate : kDmaPositionSeconds;
    return MMSYSERR_NOERROR;
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
