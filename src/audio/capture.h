// One-block wave capture from the current input device.
//
// A caller starts a capture of N stereo frames with a completion callback.
// The device reports the full buffer as MM_WIM_DATA to the hidden window
// Tdummy (capturecompletions.h), whose handler calls the callback on the UI
// thread; the callback calls FinishCapture, which closes the device and hands
// over the block converted to floats. UI thread only.
#pragma once

#include <cstdint>
#include <functional>

namespace audio {

using CaptureCallback = std::function<void()>;

// Starts a capture of `frames` stereo frames (1..32768); `userValue` comes
// back with the block. Returns AudioStatus: 0 when the capture runs or is
// queued, otherwise the error number; the device is then closed again.
//
// While another block is in flight the request is queued and starts as soon
// as that block's completion has been handled (a later request replaces a
// queued one that has not started). Its callback always comes: if the queued
// start fails, the callback is called at once and FinishCapture returns null
// with AudioStatus set to the error. A completed block that its caller never
// fetched is discarded by the next start. While the engine shuts down,
// nothing starts and 0 is returned.
int StartCapture(int frames, std::uint32_t userValue, CaptureCallback callback);

// Closes the device and converts the completed block: interleaved floats,
// positions 1, 3, 5 ... the first sample of each device frame unless flip
// channels is set. Returns the block (count values, overloads clipped
// samples), or null when the device could not be closed (AudioStatus 9) or
// failed during the capture (AudioStatus = its error number, with a log line).
const float *FinishCapture(int &count, int &overloads, std::uint32_t &userValue);

// Whether a capture is open (started and not yet finished).
bool CaptureOpen();
// Whether a start waits behind the block in flight.
bool CaptureQueued();

// Decodes n interleaved samples of the device's format (8, 16 or 24 bits in
// 32) into floats of full scale 1, adds each channel's DC offset, applies its
// sign and puts the channels in place (flipMask 1 swaps the device's order).
// Returns how many samples sat at the format's limits.
int DecodeCaptureBlock(const char *data, int bits, long long n, const double dc[2], const double sign[2],
                       long long flipMask, float *block);

} // namespace audio
