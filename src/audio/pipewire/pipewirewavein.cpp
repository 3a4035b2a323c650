#include "audio/pipewire/pipewirewavein.h"

#include "audio/pipewire/pipewirestream.h"
#include "platform/runtime/messages.h"

#include <pipewire/pipewire.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace audio::pipewire {

class CaptureStream final : public PwStream {
public:
    CaptureStream(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board, const WaveFormat &format,
                  InputTarget target)
        : PwStream(std::move(connection), std::move(board), true, format), target_(target)
    {
        queue_.reserve(16);
    }
    ~CaptureStream() override { destroy(); }

    // A closed stream waits for the next device (see CaptureParking);
    // false when it cannot serve one (lost).
    bool park();
    // Takes a parked stream for a new device on `node` in `format`, posting
    // to `target`; false when it cannot serve it.
    bool unpark(const std::string &node, const WaveFormat &format, InputTarget target);

    int prepareHeader(WaveHeader &h);
    int unprepareHeader(WaveHeader &h);
    int addBuffer(WaveHeader &h);
    int start();
    int reset();
    int close();
    // The owner goes without closing: its buffers come back without a
    // completion (their owner may be gone by the time one would arrive).
    void abandon();

private:
    void process() override;
    void lost() override;
    void watch() override;
    // Takes the front buffer off the queue and posts its completion with
    // `code` as wParam. mutex_ held.
    void completeFront(int code);

    InputTarget target_;
    std::vector<WaveHeader *> queue_;
    bool started_ = false;
    bool closed_ = false;
    bool failureReported_ = false;
    bool parked_ = false;
    std::chrono::steady_clock::time_point parkedAt_;
};

namespace {

// How long a parked stream keeps running: a chain of captures (the
// analyser's) takes the next block long before; after that the stream is
// stopped, so that the device it listens to may rest.
constexpr auto kParkRunning = std::chrono::seconds(2);

} // namespace

bool CaptureStream::park()
{
    std::lock_guard lock(mutex_);
    parked_ = linked_ && !lostOnce_;
    parkedAt_ = std::chrono::steady_clock::now();
    return parked_;
}

bool CaptureStream::unpark(const std::string &node, const WaveFormat &format, InputTarget target)
{
    {
        std::lock_guard lock(mutex_);
        if (!parked_ || !linked_ || lostOnce_ || status_.nodeName != node ||
            std::memcmp(&format, &format_, sizeof format) != 0)
            return false;
        parked_ = false;
        closed_ = false;
        failureReported_ = false;
        target_ = target;
    }
    LoopLock lock(*connection_);
    setActive(true);
    return true;
}

void CaptureStream::watch()
{
    bool rest;
    {
        std::lock_guard lock(mutex_);
        rest = parked_ && std::chrono::steady_clock::now() - parkedAt_ > kParkRunning;
    }
    if (rest)
        setActive(false);
}

int CaptureStream::prepareHeader(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    return closed_ ? MMSYSERR_INVALHANDLE : PrepareHeader(h);
}

int CaptureStream::unprepareHeader(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    return closed_ ? MMSYSERR_INVALHANDLE : UnprepareHeader(h);
}

int CaptureStream::addBuffer(WaveHeader &h)
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (lostOnce_)
        return DEVICE_LOST;
    if (int rc = CheckQueueable(h))
        return rc;
    if (h.dwBufferLength < format_.nBlockAlign)
        return MMSYSERR_INVALPARAM;
    h.dwBytesRecorded = 0;
    MarkQueued(h);
    queue_.push_back(&h);
    return MMSYSERR_NOERROR;
}

int CaptureStream::start()
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (lostOnce_)
        return DEVICE_LOST;
    started_ = true;
    return MMSYSERR_NOERROR;
}

int CaptureStream::reset()
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    started_ = false;
    while (!queue_.empty())
        completeFront(MMSYSERR_NOERROR);
    if (lostOnce_ && !failureReported_) {
        failureReported_ = true;
        return DEVICE_LOST;
    }
    return MMSYSERR_NOERROR;
}

int CaptureStream::close()
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (!queue_.empty())
        return WAVERR_STILLPLAYING;
    closed_ = true;
    started_ = false;
    return MMSYSERR_NOERROR;
}

void CaptureStream::abandon()
{
    {
        std::lock_guard lock(mutex_);
        for (WaveHeader *h : queue_)
            MarkDone(*h);
        queue_.clear();
        closed_ = true;
    }
    destroy();
}

void CaptureStream::completeFront(int code)
{
    WaveHeader *h = queue_.front();
    queue_.erase(queue_.begin());
    MarkDone(*h);
    platform::PostMessage(target_.window, platform::MM_WIM_DATA, static_cast<std::uintptr_t>(code),
                          reinterpret_cast<std::intptr_t>(h));
}

void CaptureStream::lost()
{
    started_ = false;
    failureReported_ = !queue_.empty();
    while (!queue_.empty())
        completeFront(DEVICE_LOST);
}

void CaptureStream::process()
{
    const std::uint32_t align = format_.nBlockAlign;
    while (pw_buffer *b = pw_stream_dequeue_buffer(stream_)) {
        const spa_data &d = b->buffer->datas[0];
        if (started_ && d.data && d.chunk && align > 0) {
            const std::uint32_t offset = std::min(d.chunk->offset, d.maxsize);
            std::uint32_t size = std::min(d.chunk->size, d.maxsize - offset);
            size -= size % align;
            const char *src = static_cast<const char *>(d.data) + offset;
            // A quantum may end one block and begin the next.
            while (size > 0 && !queue_.empty()) {
                WaveHeader *h = queue_.front();
                std::uint32_t room = h->dwBufferLength - h->dwBytesRecorded;
                room -= room % align;
                const std::uint32_t n = std::min(room, size);
                std::memcpy(h->lpData + h->dwBytesRecorded, src, n);
                h->dwBytesRecorded += n;
                src += n;
                size -= n;
                if (h->dwBufferLength - h->dwBytesRecorded < align)
                    completeFront(MMSYSERR_NOERROR);
            }
        }
        pw_stream_queue_buffer(stream_, b);
    }
}

// ---- the device ----------------------------------------------------------------

// ---- the parking -----------------------------------------------------------------

CaptureParking::~CaptureParking() = default;

std::shared_ptr<CaptureStream> CaptureParking::take(const std::string &node, const WaveFormat &format,
                                                    InputTarget target)
{
    std::shared_ptr<CaptureStream> s = std::move(parked_);
    if (s && s->unpark(node, format, target))
        return s;
    return nullptr; // a stream that cannot serve ends here
}

void CaptureParking::park(std::shared_ptr<CaptureStream> stream)
{
    parked_.reset(); // one at a time
    if (stream->park())
        parked_ = std::move(stream);
}

void CaptureParking::clear()
{
    parked_.reset();
}

// ---- the device ----------------------------------------------------------------

int PipeWireWaveIn::open(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board,
                         std::shared_ptr<CaptureParking> parking, const PwNode &node, const WaveFormat &format,
                         InputTarget target, std::unique_ptr<WaveInDevice> &device)
{
    std::shared_ptr<CaptureStream> stream = parking ? parking->take(node.name, format, target) : nullptr;
    if (!stream) {
        stream = std::make_shared<CaptureStream>(std::move(connection), std::move(board), format, target);
        const int rc = stream->open(node);
        if (rc != MMSYSERR_NOERROR)
            return rc;
    }
    device.reset(new PipeWireWaveIn(std::move(stream), std::move(parking)));
    return MMSYSERR_NOERROR;
}

PipeWireWaveIn::~PipeWireWaveIn()
{
    if (stream_)
        stream_->abandon();
}

int PipeWireWaveIn::prepareHeader(WaveHeader &h) { return stream_ ? stream_->prepareHeader(h) : MMSYSERR_INVALHANDLE; }
int PipeWireWaveIn::unprepareHeader(WaveHeader &h) { return stream_ ? stream_->unprepareHeader(h) : MMSYSERR_INVALHANDLE; }
int PipeWireWaveIn::addBuffer(WaveHeader &h) { return stream_ ? stream_->addBuffer(h) : MMSYSERR_INVALHANDLE; }
int PipeWireWaveIn::start() { return stream_ ? stream_->start() : MMSYSERR_INVALHANDLE; }
int PipeWireWaveIn::reset() { return stream_ ? stream_->reset() : MMSYSERR_INVALHANDLE; }

int PipeWireWaveIn::close()
{
    if (!stream_)
        return MMSYSERR_INVALHANDLE;
    const int rc = stream_->close();
    if (rc != MMSYSERR_NOERROR)
        return rc;
    // The stream stays linked for the next capture on the same node; this
    // device is done with it.
    if (parking_)
        parking_->park(std::move(stream_));
    stream_.reset();
    return MMSYSERR_NOERROR;
}

PipeWireStreamStatus PipeWireWaveIn::status() const { return stream_ ? stream_->status() : PipeWireStreamStatus{}; }

} // namespace audio::pipewire
