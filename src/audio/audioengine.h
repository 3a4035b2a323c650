// The audio engine's shared state: the settings of each wave input and
// wave output device the program can use, the current devices, the sample buffers (allocated
// once by InitAudio, released by DoneAudio), the status of the last operation
// and the engine's log. Free functions over one set of unit-level state; call
// them on the UI thread only.
//
// Capture lives in capture.h, device selection and the device report in
// devices.h.
#pragma once

#include "audio/soundinterface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace audio {

constexpr int kMaxDevices = kMaxWaveDevices;       // devices 0..kMaxDevices-1 can be used
constexpr std::uint32_t kCaptureBufferBytes = 262144;
constexpr std::uint32_t kLoopBufferBytes = 262144;
constexpr int kSampleBlockValues = 65536;          // 32768 stereo frames
constexpr int kMaxCaptureFrames = 32768;
constexpr int kBuiltinStreamBufferSize = 24576;    // used when SINWAVERAM2 is out of range

// Settings of one wave device. Format always describes stereo PCM; 24-bit
// samples are stored as wBitsPerSample 32 (4-byte containers).
struct WaveDeviceSettings {
    std::string Name;          // product name, up to 120 characters
    std::int32_t PhaseSignL = 1;
    std::int32_t PhaseSignR = 1;
    bool FlipChannels = false;
    std::int32_t UserRate = 55200; // Hz
    float DCOffsetL = 0.0f;    // full-scale units, added to the first sample of a frame
    float DCOffsetR = 0.0f;    // ... and to the second
    bool AutoDCOffset = false; // measure the offsets of every block instead
    alignas(4) WaveFormat Format; // 16 bit, 44100 Hz until loaded; aligned so its fields are too
};

// Result codes of InitAudio / FinishCapture besides the device's own numbers.
constexpr int kStatusNoMemory = 3;   // buffers could not be allocated
constexpr int kStatusCloseFailed = 9; // the input device could not be closed

// Loads the settings ("SDSOUND"), allocates every buffer; returns AudioStatus
// (0, or 3 when the buffers cannot be allocated). A second call reloads the
// settings and keeps the buffers.
int InitAudio();
// Saves the settings, stops playback and capture, releases the buffers.
void DoneAudio();
bool AudioInitialised();

int AudioStatus();
void SetAudioStatus(int status);
// Size in bytes of each of the two stream buffers (fixed from InitAudio on).
int StreamBufferSize();

// The engine's text lines: the device report, then error lines of capture and
// playback. DeviceReport replaces the list.
std::vector<std::string> &AudioLog();
void AppendAudioLog(const std::string &line);

// The settings records, index = device number 0..kMaxDevices-1 (clamped).
WaveDeviceSettings &InputSettings(int device);
WaveDeviceSettings &OutputSettings(int device);

// Accessors of the current input and output devices. Setters marked
// positive-only leave a field alone when given 0 or less.
void GetRates(int &in, int &out);
void SetRates(int in, int out);            // positive-only
void GetBits(int &in, int &out);           // 32 reported as 24
void SetBits(int in, int out);             // positive-only, 24 stored as 32
void GetFlip(bool &in, bool &out);
void SetFlip(bool in, bool out);
void GetPhaseInvert(bool &inL, bool &inR, bool &outL, bool &outR);
void SetPhaseInvert(bool inL, bool inR, bool outL, bool outR);
void GetUserRates(int &in, int &out);
void SetUserRates(int in, int out);        // positive-only
float GetDCOffsetL();
void SetDCOffsetL(float v);
float GetDCOffsetR();
void SetDCOffsetR(float v);
bool GetAutoDCOffset();
void SetAutoDCOffset(bool on);

// Writes a device's format: name if not empty, rate if not 0, channels if not
// 0, bits (24 taken as 32) and the flip flag only if bits is not 0; then the
// derived fields (block alignment, byte rate), tag 1 and cbSize 0.
void SetDeviceFormat(WaveDeviceSettings &device, const std::string &name, int rate, bool flip, int bits,
                     int channels);

// Section "SDSOUND" of the settings file (InitAudio and DoneAudio call these).
void LoadDeviceSettings();
void SaveDeviceSettings();
// The settings-file key prefix for a device name: blanks become "_", "[" "(",
// "]" ")", and every other byte outside [A-Za-z0-9_().-] is written as "%"
// and two upper-case hex digits (so "=", ";", "%", line breaks and non-ASCII
// letters cannot break the key or its line, and different names give
// different keys).
std::string DeviceKeyPrefix(const std::string &name);
// The prefix earlier versions wrote (only the first three replacements);
// keys under it are still read when the encoded key is missing.
std::string LegacyDeviceKeyPrefix(const std::string &name);

// ---- for the output engine ------------------------------------------------------
// The playback buffers of InitAudio: the loop buffer (kLoopBufferBytes) and
// the two stream buffers (StreamBufferSize bytes each), with their headers.
// Null before InitAudio.
WaveHeader *LoopHeader();
char *LoopData();
WaveHeader *StreamHeader(int which); // 0 = A, 1 = B
char *StreamData(int which);
// Called by DoneAudio to stop playback before the buffers go; the output
// engine installs its StopOutput here.
void SetOutputStopper(int (*stopOutput)());

} // namespace audio
