// The impulse responses of a log sweep as one 32-bit float wave file at the
// result's rate, a channel per measured input (interleaved, the shorter
// response padded with silence): what the command line's --ir and the
// window program's export write.
#pragma once

#include "dsp/logsweepanalysis.h"

#include <cstdint>
#include <string>

namespace measure {

// The file's bytes into `bytes` and its length in frames into `frames`;
// false with `error` when the result holds no response or the encoder
// refuses.
bool EncodeImpulseWave(const dsp::LogSweepResult &r, std::string &bytes, std::int64_t &frames, std::string &error);

} // namespace measure
