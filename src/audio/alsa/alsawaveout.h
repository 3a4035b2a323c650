// An ALSA playback PCM as a wave output device. A playback thread writes the
// queued buffers to the PCM in order. A buffer flagged WHDR_BEGINLOOP |
// WHDR_ENDLOOP is written dwLoops times back to back (the wrap is just the
// next write, so there is no seam); ALSA has no looping of its own. A buffer
// is finished once all of it has been handed to ALSA; it then gets WHDR_DONE
// and goes to the OutputCallback on the playback thread, with no lock held,
// so the callback may prepare, unprepare and write on this device.
//
// Threads: the public methods run on the UI thread, or inside the callback
// (prepareHeader, unprepareHeader, write). reset() calls the callback for
// the buffers it returns on the calling thread, before it returns, and never
// while the playback thread is inside the callback.
//
// A device that fails while playing (a write error that recovery cannot mend,
// or no progress for kStallMs) stops: all queued buffers come back through
// the callback, the ALSA text goes to the log (qWarning), the next reset()
// returns DEVICE_LOST once (the device is stopped nonetheless), write(),
// pause() and restart() keep returning DEVICE_LOST, close() succeeds.
#pragma once

#include "audio/alsa/alsaopendevices.h"
#include "audio/alsa/alsapcm.h"
#include "audio/soundinterface.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace audio::alsa {

class AlsaWaveOut final : public WaveOutDevice {
public:
    // Opens `pcmName` for playback in `format`. A null callback plays
    // without notifications. Returns 0 or an error status.
    static int open(const std::string &pcmName, const WaveFormat &format, OutputCallback callback,
                    std::shared_ptr<OpenDevices> registry, std::unique_ptr<WaveOutDevice> &device);
    ~AlsaWaveOut() override;

    int pause() override;
    int restart() override;
    int prepareHeader(WaveHeader &h) override;
    int unprepareHeader(WaveHeader &h) override;
    int write(WaveHeader &h) override;
    int reset() override;
    int close() override;

    static constexpr int kStallMs = 2000;

private:
    AlsaWaveOut(std::string pcmName, const WaveFormat &format, OutputCallback callback,
                std::shared_ptr<OpenDevices> registry, PcmPtr pcm, PcmGeometry geometry);

    void run();
    // Writes up to `frames` frames, waiting a few milliseconds at most for
    // room. Returns frames written, 0 when there was no room, or an error.
    long writeSome(const char *src, long frames);
    // Starts a PCM that holds data but has not reached its start threshold
    // (the queue ran dry before the ring was full). Lock held, worker idle.
    void kickStart();
    // Takes the front buffer off the queue and marks it done. Lock held.
    WaveHeader *popFront();
    // Hands finished buffers to the callback with the lock released.
    void deliver(std::unique_lock<std::mutex> &lock, std::vector<WaveHeader *> &done);
    void fail(std::unique_lock<std::mutex> &lock, int alsaError, const char *what);
    void releasePcm();

    const std::string pcmName_;
    const WaveFormat format_;
    const OutputCallback callback_;
    const std::shared_ptr<OpenDevices> registry_;
    PcmPtr pcm_;
    const PcmGeometry geometry_;

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<WaveHeader *> queue_;
    std::vector<WaveHeader *> done_; // finished buffers waiting for the callback
    std::uint32_t cursor_ = 0;       // bytes of the front buffer already written
    std::uint32_t loopsLeft_ = 0;    // plays left of the front buffer, this one included
    bool paused_ = false;
    bool holding_ = false;    // reset in progress: the worker keeps still
    bool busy_ = false;       // the worker is inside a PCM call without the lock
    bool inCallback_ = false; // the worker is inside the callback
    bool quit_ = false;
    bool closed_ = false;
    bool failed_ = false;
    bool failureReported_ = false;
    bool kicked_ = true; // nothing written since the last start check
    std::thread worker_;
};

} // namespace audio::alsa
