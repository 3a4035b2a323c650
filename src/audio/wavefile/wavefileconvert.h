// The conversion of a user wave file to the output device's encoding: every
// frame read with libsndfile, its first two channels (a mono file on both),
// resampled by linear interpolation when the rates differ, and encoded as
// the device plays it. Plain C++ without a device, so any file can be tried.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <string>
#include <vector>

namespace audio {

struct WaveConversion {
    enum class Result { Converted, Unreadable, TooLong };
    Result result = Result::Unreadable;
    std::string reason;       // why the file was refused
    std::vector<char> frames; // encoded stereo frames, when converted
};

// Converts the whole of `file` (opened for reading, described by `info`) to
// stereo frames of `bits` (8, 16 or 32) at `rate` Hz. A file whose
// converted frames would take more than `maxBytes` is refused as TooLong
// before anything is allocated for it.
WaveConversion ConvertWaveFile(SNDFILE *file, const SF_INFO &info, int bits, double rate, std::size_t maxBytes);

// The most the generator holds of one file: over twenty minutes at 48 kHz,
// about six at 192 kHz.
constexpr std::size_t kMaxWaveFileBytes = std::size_t(512) << 20;

} // namespace audio
