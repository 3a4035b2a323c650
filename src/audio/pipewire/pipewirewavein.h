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
// Opening a stream and having it linked takes the server and its session
// manager a while, and so does the start of the data; the one-block
// captures of a measurement would each pay it. So a closed device leaves its
// stream parked, linked and running (its data dropped), and the next device
// opened on the same node in the same format takes it over. A parked stream
// stops running after a few seconds and ends when another one is parked,
// when the device list is taken afresh, or when it is lost.
//
// Threads: the public methods run on the UI thread.
#pragma once

#include "audio/pipewire/pipewirestatus.h"
#include "audio/soundinterface.h"

#include <memory>
#include <string>

namespace audio::pipewire {

class PwConnection;
class StatusBoard;
struct PwNode;
class CaptureStream;

// The parked capture stream of a backend (at most one). UI thread only.
class CaptureParking {
public:
    ~CaptureParking();
    // The parked stream, taken out, when it serves `node` in `format`
    // (then posting to `target`); else null, and the parked stream ends.
    std::shared_ptr<CaptureStream> take(const std::string &node, const WaveFormat &format, InputTarget target);
    // Parks a closed stream, ending the one parked before (and this one
    // too when it was lost).
    void park(std::shared_ptr<CaptureStream> stream);
    void clear();

private:
    std::shared_ptr<CaptureStream> parked_;
};

class PipeWireWaveIn final : public WaveInDevice {
public:
    // Opens a capture stream from `node` in `format`. Returns 0 or an error
    // status (see PwStream::open).
    static int open(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board,
                    std::shared_ptr<CaptureParking> parking, const PwNode &node, const WaveFormat &format,
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
    PipeWireWaveIn(std::shared_ptr<CaptureStream> stream, std::shared_ptr<CaptureParking> parking)
        : stream_(std::move(stream)), parking_(std::move(parking))
    {
    }
    std::shared_ptr<CaptureStream> stream_; // null once closed
    std::shared_ptr<CaptureParking> parking_;
};

} // namespace audio::pipewire
