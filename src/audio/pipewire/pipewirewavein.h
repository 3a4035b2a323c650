// A PipeWire capture stream as a wave input device. The server delivers one
// quantum per cycle; on the stream's data thread each is copied into the
// front queued buffer, and each full buffer is posted to the target window as MM_WIM_DATA (lParam =
// the WaveHeader*), in order, one per buffer. Before start() and after
// reset() what the server delivers is dropped.
//
// A stream that is lost while recording (its node, its link or the server
// gone, or no cycle for PwStream::kStallMs) stops: every queued buffer comes
// back with the bytes recorded so far and DEVICE_LOST as wParam of its
// message; when no buffer was queued to carry it, the next reset() returns
// DEVICE_LOST once. addBuffer() and start() keep returning it; close()
// succeeds.
//
// Threads: the public methods run on the UI thread.
#pragma once

#include "audio/pipewire/pipewirestatus.h"
#include "audio/soundinterface.h"

#include <memory>

namespace audio::pipewire {

class PwConnection;
class StatusBoard;
struct PwNode;
class CaptureStream;

class PipeWireWaveIn final : public WaveInDevice {
public:
    // Opens a capture stream from `node` in `format`. Returns 0 or an error
    // status (see PwStream::open).
    static int open(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board,
                    const PwNode &node, const WaveFormat &format,
                    InputTarget target, std::unique_ptr<WaveInDevice> &device);
    ~PipeWireWaveIn() override;

    int prepareHeader(WaveHeader &h) override;
    int unprepareHeader(WaveHeader &h) override;
    int addBuffer(WaveHeader &h) override;
    int start() override;
    int reset() override;
    int close() override;

    PipeWireStreamStatus status() const;

private:
    explicit PipeWireWaveIn(std::shared_ptr<CaptureStream> stream) : stream_(std::move(stream)) {}
    std::shared_ptr<CaptureStream> stream_;
};

} // namespace audio::pipewire
