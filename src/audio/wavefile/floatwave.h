// A 32-bit float WAV file in memory, encoded by libsndfile: for impulse
// responses and other results written as wave files. The bytes go to disk
// through the program's one file writer (platform/textfile.h), so a failed
// write never leaves half a file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace audio {

// `channels` interleaved channels of `frames` frames at `rate` Hz into
// `out`. False with `error` when libsndfile refuses.
bool EncodeFloatWave(const float *samples, std::size_t frames, int channels, int rate, std::string &out,
                     std::string &error);

} // namespace audio
