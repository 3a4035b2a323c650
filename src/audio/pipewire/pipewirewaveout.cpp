#include "audio/pipewire/pipewirewaveout.h"

#include "audio/pipewire/pipewirestream.h"

#include <pipewire/pipewire.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <vector>

namespace audio::pipewire {

class PlaybackStream final : public PwStream, public std::enable_shared_from_this<PlaybackStream> {
public:
    PlaybackStream(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board,
                   const WaveFormat &format, OutputCallback callback)
        : PwStream(std::move(connection), std::move(board), false, format), callback_(std::move(callback))
    {
        queue_.reserve(16);
        done_.reserve(16);
        delivering_.reserve(16);
    }
    ~PlaybackStream() override;

    // Starts the thread that hands finished buffers to the callback.
    void startWorker();
    int pause();
    int restart();
    int prepareHeader(WaveHeader &h);
    int unprepareHeader(WaveHeader &h);
    int write(WaveHeader &h);
    int reset();
    int close();
    int position(std::uint64_t &framesPlayed);
    int discard(std::uint64_t &continueAt);
    // The owner goes without closing: its buffers come back without a callback.
    void abandon();

private:
    void process() override;
    void lost() override;
    void run();
    bool onWorker() const { return std::this_thread::get_id() == worker_.get_id(); }
    // Takes the front buffer off the queue, marked done. mutex_ held.
    WaveHeader *takeFront();
    // Hands every buffer not yet handed back (queued or done) to the
    // callback on the calling thread, with mutex_ released around the
    // callback; the worker keeps still meanwhile.
    void returnQueued(std::unique_lock<std::mutex> &lock);
    // Ends the worker: joins it, or lets it end on its own when this runs on it.
    void endWorker();

    const OutputCallback callback_;
    std::condition_variable cv_;
    std::thread worker_;
    std::vector<WaveHeader *> queue_;
    std::vector<WaveHeader *> done_;       // finished, waiting for the callback
    std::vector<WaveHeader *> delivering_; // in the hands of the callback (worker or reset)
    std::uint32_t cursor_ = 0;             // bytes of the front buffer already handed over
    std::uint32_t loopsLeft_ = 0;          // plays left of the front buffer, this one included
    std::uint64_t written_ = 0;            // frames of the buffers handed to the server since the open
    bool paused_ = false;
    bool holding_ = false;    // a reset hands buffers back on its own thread
    bool inCallback_ = false; // the worker is inside the callback
    bool quit_ = false;
    bool closed_ = false;
    bool failureReported_ = false;
    std::atomic<bool> gone_{false}; // abandoned: no more callbacks
};

PlaybackStream::~PlaybackStream()
{
    // The worker held a reference, so it has left run(): joined, or the
    // last reference went with it and this runs on it.
    if (worker_.joinable())
        worker_.detach();
    destroy();
}

void PlaybackStream::startWorker()
{
    worker_ = std::thread([self = shared_from_this()] { self->run(); });
}

void PlaybackStream::run()
{
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (done_.empty() || holding_) {
            cv_.wait(lock);
            continue;
        }
        delivering_.swap(done_);
        inCallback_ = true;
        lock.unlock();
        // The callback may let the device go; this object stays (the
        // worker holds it) and finds quit_ set when it is back.
        for (WaveHeader *h : delivering_) {
            if (!callback_ || gone_.load())
                break; // the owner let the device go meanwhile
            callback_(h);
        }
        lock.lock();
        delivering_.clear();
        inCallback_ = false;
        cv_.notify_all();
    }
}

void PlaybackStream::endWorker()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        cv_.notify_all();
    }
    if (!worker_.joinable())
        return;
    if (onWorker())
        worker_.detach();
    else
        worker_.join();
}

int PlaybackStream::pause()
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (lostOnce_)
        return DEVICE_LOST;
    paused_ = true;
    return MMSYSERR_NOERROR;
}

int PlaybackStream::restart()
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (lostOnce_)
        return DEVICE_LOST;
    paused_ = false;
    return MMSYSERR_NOERROR;
}

// An empty buffer is taken; it plays nothing.
int PlaybackStream::prepareHeader(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    return closed_ ? MMSYSERR_INVALHANDLE : PrepareHeader(h, true);
}

int PlaybackStream::unprepareHeader(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    return closed_ ? MMSYSERR_INVALHANDLE : UnprepareHeader(h);
}

int PlaybackStream::write(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (lostOnce_)
        return DEVICE_LOST;
    if (int rc = CheckQueueable(h))
        return rc;
    MarkQueued(h);
    queue_.push_back(&h);
    return MMSYSERR_NOERROR;
}

WaveHeader *PlaybackStream::takeFront()
{
    WaveHeader *h = queue_.front();
    queue_.erase(queue_.begin());
    MarkDone(*h);
    cursor_ = 0;
    loopsLeft_ = 0;
    return h;
}

void PlaybackStream::returnQueued(std::unique_lock<std::mutex> &lock)
{
    holding_ = true;
    cv_.wait(lock, [this] { return !inCallback_; });
    std::vector<WaveHeader *> returned;
    returned.reserve(done_.size() + queue_.size());
    returned.insert(returned.end(), done_.begin(), done_.end()); // finished first
    done_.clear();
    while (!queue_.empty())
        returned.push_back(takeFront());
    if (callback_ && !returned.empty()) {
        lock.unlock();
        for (WaveHeader *h : returned)
            callback_(h);
        lock.lock();
    }
    holding_ = false;
    cv_.notify_all();
}

int PlaybackStream::reset()
{
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (onWorker())
        return MMSYSERR_ERROR; // not from inside the callback
    returnQueued(lock);
    if (lostOnce_ && !failureReported_) {
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
    // What went to the server plays on; the next write follows it exactly.
    continueAt = written_;
    returnQueued(lock);
    return lostOnce_ ? MMSYSERR_NOTSUPPORTED : MMSYSERR_NOERROR;
}

int PlaybackStream::position(std::uint64_t &framesPlayed)
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    framesPlayed = written_;
    pw_time t{};
    if (!stream_ || pw_stream_get_time_n(stream_, &t, sizeof t) != 0 || t.rate.denom == 0)
        return MMSYSERR_NOERROR;
    // What the server still holds: our queued buffers, the resampler's
    // store and the delay to the device (in graph frames).
    const double delay = static_cast<double>(std::max<std::int64_t>(t.delay, 0)) * t.rate.num *
                         format_.nSamplesPerSec / t.rate.denom;
    const std::uint64_t held = t.queued + t.buffered + static_cast<std::uint64_t>(delay);
    framesPlayed = written_ > held ? written_ - held : 0;
    return MMSYSERR_NOERROR;
}

int PlaybackStream::close()
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (onWorker())
            return MMSYSERR_ERROR;
        if (!queue_.empty() || !done_.empty())
            return WAVERR_STILLPLAYING;
        closed_ = true;
    }
    endWorker();
    destroy();
    return MMSYSERR_NOERROR;
}

void PlaybackStream::abandon()
{
    {
        std::lock_guard lock(mutex_);
        for (WaveHeader *h : queue_)
            MarkDone(*h);
        queue_.clear();
        done_.clear();
        closed_ = true;
        gone_ = true;
    }
    endWorker();
    destroy();
}

void PlaybackStream::lost()
{
    while (!queue_.empty())
        done_.push_back(takeFront());
    cv_.notify_all();
}

void PlaybackStream::process()
{
    pw_buffer *b = pw_stream_dequeue_buffer(stream_);
    if (!b)
        return;
    const std::uint32_t total = cycleFrames(b);
    const std::uint32_t align = format_.nBlockAlign;
    char *dst = static_cast<char *>(b->buffer->datas[0].data);
    std::uint32_t filled = 0;
    while (dst && !paused_ && !holding_ && filled < total && !queue_.empty()) {
        WaveHeader *h = queue_.front();
        if (loopsLeft_ == 0)
            loopsLeft_ = PlayCount(*h);
        const std::uint32_t left = (h->dwBufferLength - cursor_) / align;
        if (left == 0) {
            loopsLeft_ = 1; // nothing to play, however often
        } else {
            const std::uint32_t n = std::min(left, total - filled);
            std::memcpy(dst + std::size_t(filled) * align, h->lpData + cursor_, std::size_t(n) * align);
            cursor_ += n * align;
            filled += n;
            written_ += n;
            if (h->dwBufferLength - cursor_ >= align)
                continue;
        }
        if (--loopsLeft_ > 0) {
            cursor_ = 0; // the next copy continues at the start: a seamless wrap
            continue;
        }
        done_.push_back(takeFront());
        cv_.notify_all();
    }
    queuePlayback(b, filled, total);
}

// ---- the device ----------------------------------------------------------------

int PipeWireWaveOut::open(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board,
                          const PwNode &node, const WaveFormat &format, OutputCallback callback,
                          std::unique_ptr<WaveOutDevice> &device)
{
    auto stream = std::make_shared<PlaybackStream>(std::move(connection), std::move(board), format, std::move(callback));
    stream->startWorker();
    const int rc = stream->open(node);
    if (rc != MMSYSERR_NOERROR) {
        stream->abandon();
        return rc;
    }
    device.reset(new PipeWireWaveOut(std::move(stream)));
    return MMSYSERR_NOERROR;
}

PipeWireWaveOut::~PipeWireWaveOut() { stream_->abandon(); }

int PipeWireWaveOut::pause() { return stream_->pause(); }
int PipeWireWaveOut::restart() { return stream_->restart(); }
int PipeWireWaveOut::prepareHeader(WaveHeader &h) { return stream_->prepareHeader(h); }
int PipeWireWaveOut::unprepareHeader(WaveHeader &h) { return stream_->unprepareHeader(h); }
int PipeWireWaveOut::write(WaveHeader &h) { return stream_->write(h); }
int PipeWireWaveOut::reset() { return stream_->reset(); }
int PipeWireWaveOut::close() { return stream_->close(); }
int PipeWireWaveOut::position(std::uint64_t &framesPlayed) { return stream_->position(framesPlayed); }
int PipeWireWaveOut::discard(std::uint64_t &continueAt) { return stream_->discard(continueAt); }
PipeWireStreamStatus PipeWireWaveOut::status() const { return stream_->status(); }

} // namespace audio::pipewire
