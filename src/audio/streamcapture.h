// Gap-free capture from the current input device over any number of
// blocks: a ring of buffers stays queued on the device, and each full one
// is converted to floats (DC offset, phase signs and channel order as the
// one-block capture applies them, capture.h) and handed to the caller
// before it is queued again. For measurements longer than one capture
// block (the log sweep).
//
// The one-block capture and a stream never run at once on the engine's
// input: Start refuses while a capture is open.
//
// Threads: UI thread. The device posts MM_WIM_DATA to this object; the
// callback runs on the UI thread, in order, one call per block. Nothing is
// allocated between Start and Stop.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace audio {

class WaveInDevice;
struct WaveHeader;
struct StreamStart;

class StreamCapture : public QObject {
    Q_OBJECT
public:
    // `interleaved` holds `frames` frames, positions 1, 3, 5 ... the left
    // input (the first sample of each device frame) unless flip channels is
    // set; valid during the call only.
    using BlockCallback = std::function<void(const float *interleaved, int frames, int overloads)>;

    explicit StreamCapture(QObject *parent = nullptr);
    ~StreamCapture() override;

    // Opens the current input device with its settings and starts
    // recording into `buffers` buffers (2..64) of `framesPerBuffer` frames
    // (64..32768). Returns 0 or the error number; nothing runs then.
    int Start(int framesPerBuffer, int buffers, BlockCallback onBlock);
    // Stops recording and closes the device; blocks still posted are
    // dropped. Harmless when nothing runs.
    void Stop();

    bool Running() const { return device_ != nullptr && error_ == 0; }
    // 0, or the error that ended the stream: the device failed or vanished
    // (DEVICE_LOST also when no block came long after one was due).
    // The stream is stopped then, and the callback is not called again.
    int Error() const { return error_; }
    std::int64_t Frames() const { return frames_; }
    // Where the stream's first recorded frame lies on the device's clock
    // (see StreamStart in soundinterface.h); MMSYSERR_NOTSUPPORTED when
    // nothing runs or the device cannot tell.
    int StartTime(StreamStart &start) const;

protected:
    bool event(QEvent *e) override;

private:
    void fail(int error);
    void take(WaveHeader *header, int error);

    std::unique_ptr<WaveInDevice> device_;
    std::vector<std::unique_ptr<WaveHeader>> headers_;
    std::vector<char> data_;
    std::vector<float> block_;
    BlockCallback onBlock_;
    QTimer watchdog_;
    int framesPerBuffer_ = 0;
    int bits_ = 16;
    int watchdogMs_ = 0;
    double dc_[2] = {0.0, 0.0};
    double sign_[2] = {1.0, 1.0};
    int flipMask_ = 1;
    int error_ = 0;
    std::int64_t frames_ = 0;
};

} // namespace audio
