// The wave output engine: plays the generator's test signal through the
// current output device, either from one loop buffer that the device repeats
// by itself (a whole number of signal periods, so the repetition has no
// seam), or as a stream of two buffers that are refilled alternately from a
// running phase, so changed settings take effect at the next buffer without
// a phase jump.
//
// Threads: every function here runs on the UI thread. The stream refill runs
// in the device's completion callback on a backend thread; it touches only
// the stream buffers and headers, the phase accumulator and the synthesiser
// (pink-noise filter, noise generator), and reads the generator settings
// from a snapshot that StartOutput and UpdateOutputSettings publish through
// atomics, never the GeneratorSettings record itself. Nothing allocates
// while playing.
#pragma once

#include "audio/soundinterface.h"
#include "audio/synthesis/synthesis.h"

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace audio {

// Output failures as the windows hear of them, on the UI thread. A stream
// whose refill cannot queue its buffer again (on the backend's thread) has
// stopped: the engine logs the error, no longer counts the output as
// running, and emits `failed`; the next StopOutput closes the device.
class OutputEvents : public QObject {
    Q_OBJECT
public:
    // Create it on the UI thread (StartOutput does).
    static OutputEvents &instance();

signals:
    void failed(int code);

protected:
    bool event(QEvent *e) override;

private:
    OutputEvents() = default;
};

// The engine's one generator settings record; the generator window and the
// sweep run write into it.
GeneratorSettings &Generator();

// Writes `frequency` (Hz) into settings.Frequency, makes the record the
// engine's settings and starts playing it on the current output device;
// `duration` -1.0 means endless (the only value used). Returns 0 or the
// error number; open, prepare and write failures are logged in AudioLog,
// a refused format is not. A start that fails leaves the device closed.
//
// A second call while a stream plays on the same device and format restarts
// the stream in place at once (queued buffers dropped, both refilled with the
// new settings from the running phase); any other second call stops the
// output first and starts anew.
int StartOutput(GeneratorSettings &settings, double duration, float frequency);

// Stops playback, leaves no buffer queued or prepared, closes the device
// (a device that refuses to close is destroyed, which releases it too).
// Harmless when nothing plays. Returns 0.
int StopOutput();

bool OutputRunning();

// The generator record's loop flag (loop mode, else stream mode).
bool GetLoop();
void SetLoop(bool loop);

// Hands changed settings to a running stream without restarting it: the
// refill takes them at its next buffer, continuing the phase. Does nothing
// unless a stream plays. Also stores them in the engine's record.
void UpdateOutputSettings(const GeneratorSettings &settings);

// The leftover fraction of a signal period in thousandths for the loop buffer
// built last (0: the loop repeats seamlessly; also 0 for noise, streams and
// wave files).
int LoopPrecision();

// Plays `samples`, already encoded in OutputFormat() (whole frames), as a
// stream that starts over at its end without a gap. Stops any running
// output first. Returns 0 or the error number, logged as for StartOutput.
int StartEncodedStream(std::shared_ptr<const std::vector<char>> samples);

// Where the first frame played since the output device was opened lies on
// the device's clock (see StreamStart); MMSYSERR_NOTSUPPORTED when nothing
// is open or the device cannot tell.
int OutputStartTime(StreamStart &start);

// The format the current output device is opened with (derived fields
// recomputed).
WaveFormat OutputFormat();

// Error number of a refill that could not queue its buffer again (0 when
// none since the last start, or once OutputEvents has reported it); the
// stream then has stopped on its own.
int RefillError();

} // namespace audio
