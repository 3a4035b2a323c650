// What the ALSA capture and playback devices share: the PCM with its name,
// format and geometry, the queue of the owner's buffers, the worker thread's
// life cycle, the lock that keeps the owner's thread off the PCM while the
// worker uses it, the stall watch and the release of the PCM.
//
// The state lives in an AlsaStream that the worker thread holds a reference
// to, so it outlives the worker whichever thread lets the device go: a
// device destroyed on its own worker (from inside an output callback) no
// longer frees what the worker is still running in; the worker ends when it
// comes back to its loop, and the PCM is released after it.
//
// Threads: the owner's calls run on the UI thread (playback devices also
// from inside their callback, on the worker). The worker touches the PCM
// only while it is marked busy, with the lock released; the owner's thread
// touches it only under the lock while the worker is not busy.
#pragma once

#include "audio/alsa/alsaopendevices.h"
#include "audio/alsa/alsapcm.h"
#include "audio/soundinterface.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace audio::alsa {

class AlsaStream : public std::enable_shared_from_this<AlsaStream> {
public:
    virtual ~AlsaStream();
    AlsaStream(const AlsaStream &) = delete;
    AlsaStream &operator=(const AlsaStream &) = delete;

    // Runs run() on the worker thread, which keeps this object alive.
    void startWorker();

    int prepareHeader(WaveHeader &h, bool allowEmpty);
    int unprepareHeader(WaveHeader &h);

    // Ends the device in order: refused while buffers are queued
    // (WAVERR_STILLPLAYING) and from the worker thread (MMSYSERR_ERROR);
    // otherwise the worker ends, finishClosing() runs with the PCM still
    // open, and the PCM is released.
    int close();
    // The owner goes away without closing: its buffers are handed back
    // without any completion (their owner may be gone by the time one would
    // arrive), the worker ends, the PCM is released - at once, or, when this
    // runs on the worker itself, as soon as the worker is back in its loop.
    void abandon();

    // A device that moves no data for this long while it should counts as lost.
    static constexpr int kStallMs = 2000;

protected:
    using Clock = std::chrono::steady_clock;

    AlsaStream(std::string pcmName, snd_pcm_stream_t stream, const WaveFormat &format,
               std::shared_ptr<OpenDevices> registry, PcmPtr pcm, PcmGeometry geometry);

    // The worker's loop; returns once quit_ is set.
    virtual void run() = 0;
    // Called by close() after the worker ended, before the PCM goes.
    virtual void finishClosing() {}

    bool onWorker() const { return std::this_thread::get_id() == worker_.get_id(); }
    // Waits (lock held) until the worker is outside its PCM call.
    void waitIdle(std::unique_lock<std::mutex> &lock)
    {
        cv_.wait(lock, [this] { return !busy_; });
    }
    // Takes the front buffer off the queue and marks it done. Lock held.
    WaveHeader *popFront();
    // Marks the device failed and logs why (qWarning). Lock held.
    void markFailed(int alsaError, const char *what, const char *silentReason);

    // Where the stream's first frame lay at the converter (see StreamStart):
    // from the driver's timestamp and delay in snd_pcm_status, given the
    // frames handed to or taken from ALSA since the start (`transferred`).
    // Refused where the stream runs faster than real time (a plugin without
    // a clock) or the driver gives no timestamp. Lock held, worker idle.
    int streamStart(std::uint64_t transferred, StreamStart &start);

    // The stall watch: progress restarts it; it expires kStallMs after the
    // last progress while the device should be moving data.
    void progress() { lastProgress_ = Clock::now(); }
    bool stalled() const { return Clock::now() - lastProgress_ > std::chrono::milliseconds(kStallMs); }

    const std::string pcmName_;
    const snd_pcm_stream_t stream_;
    const WaveFormat format_;
    PcmPtr pcm_;
    const PcmGeometry geometry_;

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<WaveHeader *> queue_;
    bool busy_ = false;   // the worker is inside a PCM call without the lock
    bool quit_ = false;
    bool closed_ = false;
    bool failed_ = false;
    bool failureReported_ = false;

private:
    void releasePcm();
    // Ends the worker from another thread (joins), or lets it end on its own.
    void endWorker(std::unique_lock<std::mutex> &lock);

    const std::shared_ptr<OpenDevices> registry_;
    Clock::time_point lastProgress_ = Clock::now();
    std::thread worker_;
};

} // namespace audio::alsa
