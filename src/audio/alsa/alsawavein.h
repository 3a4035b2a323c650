// An ALSA capture PCM as a wave input device. A worker thread reads from the
// PCM into the front queued buffer; each full buffer is posted to the target
// window as MM_WIM_DATA (lParam = the WaveHeader*), in order, one per buffer.
//
// Threads: the public methods run on the UI thread. The worker touches the
// PCM only while it is marked busy; the UI thread touches it only under the
// lock with the worker idle.
//
// A device that fails while recording (a read error that recovery cannot
// mend, or no data for kStallMs) stops: every queued buffer comes back with
// the bytes recorded so far and the failure as wParam of its message
// (ALSA_ERROR_BASE + errno, or DEVICE_LOST when the device went silent), and
// the ALSA text goes to the log (qWarning). When no buffer was queued to
// carry it, the next reset() returns the failure once (the device is stopped
// nonetheless). addBuffer() and start() keep returning it; close() succeeds.
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

class AlsaWaveIn final : public WaveInDevice {
public:
    // Opens `pcmName` for capture in `format`. Returns 0 or an error status.
    static int open(const std::string &pcmName, const WaveFormat &format, InputTarget target,
                    std::shared_ptr<OpenDevices> registry, std::unique_ptr<WaveInDevice> &device);
    ~AlsaWaveIn() override;

    int prepareHeader(WaveHeader &h) override;
    int unprepareHeader(WaveHeader &h) override;
    int addBuffer(WaveHeader &h) override;
    int start() override;
    int reset() override;
    int close() override;

    // A running device that delivers nothing for this long counts as lost.
    static constexpr int kStallMs = 2000;

private:
    AlsaWaveIn(std::string pcmName, const WaveFormat &format, InputTarget target,
               std::shared_ptr<OpenDevices> registry, PcmPtr pcm, PcmGeometry geometry);

    void run();
    // Reads what is there (waiting at most a few milliseconds) into dst.
    // Returns frames read, 0 when nothing came, or a negative ALSA error.
    long readSome(char *dst, long frames);
    // Takes the front buffer off the queue and posts its completion with
    // `code` as wParam (0, or the failure that ended the capture). Lock held.
    void completeFront(int code = MMSYSERR_NOERROR);
    // Marks the device failed and returns all queued buffers. Lock held.
    void fail(int alsaError, const char *what);
    void releasePcm();

    const std::string pcmName_;
    const WaveFormat format_;
    const InputTarget target_;
    const std::shared_ptr<OpenDevices> registry_;
    PcmPtr pcm_;
    const PcmGeometry geometry_;
    std::vector<char> scratch_; // takes data while no buffer is queued
    int overruns_ = 0;          // worker only; logged once per device

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<WaveHeader *> queue_;
    bool started_ = false;
    bool busy_ = false;
    bool quit_ = false;
    bool closed_ = false;
    bool failed_ = false;
    bool failureReported_ = false;
    int failure_ = MMSYSERR_NOERROR;
    std::thread worker_;
};

} // namespace audio::alsa
