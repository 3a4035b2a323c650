// User wave files played by the generator: read with libsndfile (WAV and
// every other format it knows), converted to the output device's format and
// played endlessly as a loop through the output engine.
#pragma once

#include <string>

namespace audio {

// Stops any output, reads `fileName`, converts it into the loop buffer in the
// current output format and plays it looped. Mono files play on both
// channels; of more channels the first two are used. A file at another
// sample rate is resampled (linear interpolation), one longer than the loop
// buffer is cut to it; both are noted in AudioLog. Returns 0, MMSYSERR_ERROR
// when the file cannot be read (the reason in AudioLog), or the device's
// error number.
int StartWaveFileOutput(const std::string &fileName);

} // namespace audio
