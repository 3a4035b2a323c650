// An ALSA capture PCM as a wave input device. A worker thread reads from the
// PCM into the front queued buffer; each full buffer is posted to the target
// window as MM_WIM_DATA (lParam = the WaveHeader*), in order, one per buffer.
//
// Threads: the public methods run on the UI thread (see alsastream.h for
// how the worker and the owner share the PCM).
//
// A device that fails while recording (a read error that recovery cannot
// mend, or no data for AlsaStream::kStallMs) stops: every queued buffer comes
// back with the bytes recorded so far and the failure as wParam of its
// message (ALSA_ERROR_BASE + errno, or DEVICE_LOST when the device went
// silent), and the ALSA text goes to the log (qWarning). When no buffer was
// queued to carry it, the next reset() returns the failure once (the device
// is stopped nonetheless). addBuffer() and start() keep returning it;
// close() succeeds.
#pragma once

#include "audio/alsa/alsaopendevices.h"
#include "audio/soundinterface.h"

#include <memory>
#include <string>

namespace audio::alsa {

class CaptureStream;

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
    // From the driver's timestamp and delay; see AlsaStream::streamStart.
    int startTime(StreamStart &start) override;

private:
    explicit AlsaWaveIn(std::shared_ptr<CaptureStream> stream) : stream_(std::move(stream)) {}
    std::shared_ptr<CaptureStream> stream_;
};

} // namespace audio::alsa
