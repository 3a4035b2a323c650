// Entry point of the ALSA backend of the sound interface.
#pragma once

#include "audio/soundinterface.h"

#include <memory>

namespace audio {

// The ALSA PCMs of this machine as wave devices (see AlsaSoundBackend).
std::shared_ptr<SoundBackend> CreateAlsaBackend();

} // namespace audio
