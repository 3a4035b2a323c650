#include "audio/pipewire/pipewirewavein.h"

#include "audio/pipewire/pipewirestream.h"
#include "platform/messages.h"

#include <pipewire/pipewire.h>

#include <algorithm>
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
    // Takes the front buffer off the queue and posts its completion with
    // `code` as wParam. mutex_ held.
    void completeFront(int code);

    const InputTarget target_;
    std::vector<WaveHeader *> queue_;
    bool started_ = false;
    bool closed_ = false;
    bool failureReported_ = false;
};

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
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (!queue_.empty())
            return WAVERR_STILLPLAYING;
        closed_ = true;
    }
    destroy();
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

int PipeWireWaveIn::open(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board,
                         const PwNode &node, const WaveFormat &format,
                         InputTarget target, std::unique_ptr<WaveInDevice> &device)
{
    auto stream = std::make_shared<CaptureStream>(std::move(connection), std::move(board), format, target);
    const int rc = stream->open(node);
    if (rc != MMSYSERR_NOERROR)
        return rc;
    device.reset(new PipeWireWaveIn(std::move(stream)));
    return MMSYSERR_NOERROR;
}

PipeWireWaveIn::~PipeWireWaveIn() { stream_->abandon(); }

int PipeWireWaveIn::prepareHeader(WaveHeader &h) { return stream_->prepareHeader(h); }
int PipeWireWaveIn::unprepareHeader(WaveHeader &h) { return stream_->unprepareHeader(h); }
int PipeWireWaveIn::addBuffer(WaveHeader &h) { return stream_->addBuffer(h); }
int PipeWireWaveIn::start() { return stream_->start(); }
int PipeWireWaveIn::reset() { return stream_->reset(); }
int PipeWireWaveIn::close() { return stream_->close(); }
PipeWireStreamStatus PipeWireWaveIn::status() const { return stream_->status(); }

} // namespace audio::pipewire
