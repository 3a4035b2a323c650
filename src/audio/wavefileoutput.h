// User wave files played by the generator: read with libsndfile (WAV and
// every other format it knows), converted to the output device's format and
// streamed through the output engine, the whole file repeated endlessly.
#pragma once

#include <string>

namespace audio {

// Stops any output, reads `fileName`, converts all of it to the current
// output format and plays it as a stream that starts over at its end. Mono
// files play on both channels; of more channels the first two are used. A
// file at another sample rate is resampled (linear interpolation), which is
// noted in AudioLog. Returns 0, MMSYSERR_ERROR when the file cannot be read
// (the reason in AudioLog), MMSYSERR_NOMEM when it is longer than the
// generator holds (kMaxWaveFileBytes converted) or does not fit into memory,
// or the device's error number.
int StartWaveFileOutput(const std::string &fileName);

} // namespace audio
