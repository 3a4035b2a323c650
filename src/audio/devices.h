// Device enumeration, selection, format queries, error texts and the device
// report. UI thread only.
#pragma once

#include <cstdint>
#include <string>

namespace audio {

// Current device = n when n is below the device count and below kMaxDevices,
// else 0.
void SelectInputDevice(int n);
void SelectOutputDevice(int n);
int GetInputDevice();
int GetOutputDevice();

// Product name of input ('I') or output ('O') device n; empty when absent.
std::string DeviceName(char kind, int n);

// What really runs behind the open stream of input ('I') or output ('O')
// device n, when its backend can tell (a sound server's graph): "graph
// 48000 Hz, quantum 1024" and, when the server converts the stream's rate,
// ", resampled from 96000 Hz". Empty when no stream is open or nothing is
// known.
std::string RunningStreamText(char kind, int n);

// Format mask of input device n from the last device report; 0 when the
// device is absent (no capture possible).
std::uint32_t InputFormats(int n);

// Whether the current input (or output) device takes stereo PCM at the rate
// and resolution (24 taken as 32). Opens nothing.
bool QueryFormat(int rate, int bits, bool forInput);

// Text for an error number (at most 255 characters): the input texts up to
// 1000, the output texts above.
std::string ErrorText(int code);

// Rebuilds AudioLog with the inventory of the sound devices and the input
// format masks. Out: the device counts and the mask of the last input device.
void DeviceReport(int &numIn, int &numOut, std::uint32_t &lastMask);

} // namespace audio
