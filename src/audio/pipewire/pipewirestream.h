// What the PipeWire capture and playback devices share: a pw_stream aimed at
// one node by name, at the program's rate and sample format, without the
// server's channel mixing and at unity volume; the check that the session
// manager linked it to that node and to no other; the watch that ends it as
// lost when the node, its link or the server goes, or when no cycle comes
// for kStallMs; and the report of what really runs (PipeWireStreamStatus).
//
// Threads: the owner calls open(), destroy() and status() on the UI thread
// (destroy() also on a playback device's callback thread); never on the
// connection's loop thread. The graph's cycles run process() on the
// stream's real-time data thread, so that a busy loop or UI thread does not
// make the server wait; it takes only mutex_, which guards the data the
// devices share with their owner (queues, flags, status) and is held briefly
// everywhere. Events of the server (links, state, the stall watch) run on
// the loop thread with the loop lock held, and take mutex_ after it.
#pragma once

#include "audio/pipewire/pipewireconnection.h"
#include "audio/pipewire/pipewirestatus.h"
#include "audio/soundinterface.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

struct pw_stream;
struct pw_buffer;
struct spa_source;
struct spa_io_position;
struct spa_pod;

namespace audio::pipewire {

// The latest stream of each direction as it runs, kept for the backend's
// callers also between two streams (a capture lives for one block).
class StatusBoard {
public:
    // A new stream of this direction takes the board; returns its ticket.
    std::uint64_t claim(bool input);
    void publish(std::uint64_t ticket, const PipeWireStreamStatus &s);
    void close(std::uint64_t ticket, bool input);
    // The status of the latest stream; `open` tells whether it still runs.
    PipeWireStreamStatus read(bool input, bool &open) const;

private:
    mutable std::mutex mutex_;
    std::uint64_t next_ = 0, current_[2] = {0, 0};
    bool open_[2] = {false, false};
    PipeWireStreamStatus status_[2];
};

class PwStream : public PwWatcher {
public:
    virtual ~PwStream();
    PwStream(const PwStream &) = delete;
    PwStream &operator=(const PwStream &) = delete;

    // Creates the stream aimed at `target` and waits until the session
    // manager has linked it there. Returns 0, or PIPEWIRE_NODE_NOT_FOUND,
    // PIPEWIRE_LINKED_ELSEWHERE, PIPEWIRE_NOT_LINKED, PIPEWIRE_STREAM_FAILED,
    // PIPEWIRE_NO_SERVER; a stream that failed to open is gone again.
    int open(const PwNode &target);
    // Ends the stream; no cycle runs any more once this returns. Call it
    // without mutex_ held.
    void destroy();
    PipeWireStreamStatus status();

    void graphChanged() override;

    // A linked stream that sees no cycle for this long counts as lost.
    static constexpr int kStallMs = 2000;
    // The latency asked for: 1024 frames at 48000 Hz, about 21 ms, at any
    // rate (a power of two of frames at the stream's rate), so that a
    // high rate does not make the cycles shorter and so easier to miss.
    static unsigned LatencyFrames(unsigned rate);

protected:
    PwStream(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board, bool capture,
             const WaveFormat &format);

    // One cycle of a linked stream (data thread, mutex_ held).
    virtual void process() = 0;
    // Called with each look of the stall watch (loop thread, loop lock held).
    virtual void watch() {}
    // Starts or stops the cycles of the stream (loop lock held). A stream
    // without cycles is not watched for stalls.
    void setActive(bool active);
    // The stream was lost while linked: hand back what is queued (loop
    // thread, mutex_ held). Called once.
    virtual void lost() = 0;
    // Bytes of one sample of silence (8-bit samples are unsigned).
    std::uint8_t silenceByte() const { return format_.wBitsPerSample == 8 ? 0x80 : 0x00; }
    // Frames a playback buffer should carry this cycle.
    std::uint32_t cycleFrames(const pw_buffer *b) const;
    // Fills a playback buffer from frame `filled` to `total` with silence
    // and queues it.
    void queuePlayback(pw_buffer *b, std::uint32_t filled, std::uint32_t total);

    const std::shared_ptr<PwConnection> connection_;
    const bool capture_;
    const WaveFormat format_;
    pw_stream *stream_ = nullptr;

    std::mutex mutex_;
    bool linked_ = false;   // linked to the target and not lost: data flows
    bool lostOnce_ = false; // lost while linked (lost() has run)
    std::chrono::steady_clock::time_point lastCycle_ = std::chrono::steady_clock::now();
    PipeWireStreamStatus status_;

private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Idle, Linking, Linked, Failed, Closed };

    void fail(int code, const char *why);
    void onStateChanged(int state, const char *error);
    void onParamChanged(std::uint32_t id, const spa_pod *param);
    void onIoChanged(std::uint32_t id, void *area);
    void onProcess();
    void onTimer();
    void release(); // loop lock held: destroys the pw_stream and the timer

    struct Hooks;
    std::unique_ptr<Hooks> hooks_;
    spa_source *timer_ = nullptr;
    Phase phase_ = Phase::Idle; // loop lock
    int openError_ = 0;         // loop lock
    bool active_ = true;        // loop lock
    // mutex_:
    spa_io_position *position_ = nullptr;
    const std::shared_ptr<StatusBoard> board_;
    std::uint64_t ticket_ = 0;
};

} // namespace audio::pipewire
