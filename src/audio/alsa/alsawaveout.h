// An ALSA playback PCM as a wave output device. A playback thread writes the
// queued buffers to the PCM in order. A buffer flagged WHDR_BEGINLOOP |
// WHDR_ENDLOOP is written dwLoops times back to back (the wrap is just the
// next write, so there is no seam); ALSA has no looping of its own. A buffer
// is finished once all of it has been handed to ALSA; it then gets WHDR_DONE
// and goes to the OutputCallback on the playback thread, with no lock held,
// so the callback may prepare, unprepare and write on this device (and even
// let the device go).
//
// Threads: the public methods run on the UI thread, or inside the callback
// (prepareHeader, unprepareHeader, write). reset() calls the callback for
// the buffers it returns on the calling thread, before it returns, and never
// while the playback thread is inside the callback. See alsastream.h for how
// the worker and the owner share the PCM.
//
// A device that fails while playing (a write error that recovery cannot mend,
// or no progress for AlsaStream::kStallMs) stops: all queued buffers come
// back through the callback, the ALSA text goes to the log (qWarning), the
// next reset() returns DEVICE_LOST once (the device is stopped nonetheless),
// write(), pause() and restart() keep returning DEVICE_LOST, close()
// succeeds.
#pragma once

#include "audio/alsa/alsaopendevices.h"
#include "audio/soundinterface.h"

#include <memory>
#include <string>

namespace audio::alsa {

class PlaybackStream;

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
    // Takes back from the PCM's ring what ALSA lets rewind, so the next
    // write follows what was already sent on without a gap; where nothing
    // can be rewound the ring is dropped and the count is ALSA's estimate.
    // Nothing written next goes to the ring before restart().
    int discard(std::uint64_t &continueAt) override;
    // From the driver's timestamp and delay; valid while nothing was
    // dropped since the open. See AlsaStream::streamStart.
    int startTime(StreamStart &start) override;

private:
    explicit AlsaWaveOut(std::shared_ptr<PlaybackStream> stream) : stream_(std::move(stream)) {}
    std::shared_ptr<PlaybackStream> stream_;
};

} // namespace audio::alsa
