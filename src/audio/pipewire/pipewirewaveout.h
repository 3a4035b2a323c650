// A PipeWire playback stream as a wave output device. Each cycle the server
// asks for about one quantum; on the stream's data thread it is copied from
// the queued buffers in order (a buffer flagged WHDR_BEGINLOOP |
// WHDR_ENDLOOP is played dwLoops times back to back, so its wrap has no
// seam), and silence fills what the queue cannot give (paused, or run dry). A buffer is finished once all of it has
// been handed to the server; it then gets WHDR_DONE and goes to the
// OutputCallback on a thread of the device's own (never the stream's data
// thread, which only copies), so the callback may prepare, unprepare and
// write on this device (and even let it go).
//
// Threads: the public methods run on the UI thread, or inside the callback
// (prepareHeader, unprepareHeader, write). reset() and discard() call the
// callback for the buffers they return on the calling thread, before they
// return, and never while the device's thread is inside the callback.
//
// A stream that is lost while playing (its node, its link or the server
// gone, or no cycle for PwStream::kStallMs) stops: all queued buffers come
// back through the callback, the next reset() returns DEVICE_LOST once,
// write(), pause() and restart() keep returning DEVICE_LOST, close()
// succeeds.
#pragma once

#include "audio/pipewire/pipewirestatus.h"
#include "audio/soundinterface.h"

#include <memory>

namespace audio::pipewire {

class PwConnection;
class StatusBoard;
struct PwNode;
class PlaybackStream;

class PipeWireWaveOut final : public WaveOutDevice {
public:
    // Opens a playback stream to `node` in `format`. A null callback plays
    // without notifications. Returns 0 or an error status.
    static int open(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board,
                    const PwNode &node, const WaveFormat &format,
                    OutputCallback callback, std::unique_ptr<WaveOutDevice> &device);
    ~PipeWireWaveOut() override;

    int pause() override;
    int restart() override;
    int prepareHeader(WaveHeader &h) override;
    int unprepareHeader(WaveHeader &h) override;
    int write(WaveHeader &h) override;
    int reset() override;
    int close() override;
    // Frames handed to the server less those it still holds.
    int position(std::uint64_t &framesPlayed) override;
    // Nothing handed to the server is taken back: the next write follows
    // exactly on the last frame handed over.
    int discard(std::uint64_t &continueAt) override;

    PipeWireStreamStatus status() const;

private:
    explicit PipeWireWaveOut(std::shared_ptr<PlaybackStream> stream) : stream_(std::move(stream)) {}
    std::shared_ptr<PlaybackStream> stream_;
};

} // namespace audio::pipewire
