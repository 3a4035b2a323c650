// Start-up of the sound interface: reads the virtual cards' settings, creates
// the ALSA and PipeWire backends (when built in; PipeWire only when its
// server answers) and the virtual loopback cards, and
// installs them in SoundInterface. Call once on the UI thread before
// DeviceReport and InitAudio.
#pragma once

#include "audio/virtualcard/virtualcardconfig.h"

namespace audio {

// Reads section "LOOPBACK" of the settings file (writing back missing keys).
void SetupSoundInterface();

// The same with a given card configuration and, for tests, without the
// machine's real devices.
void SetupSoundInterface(const VirtualCardConfig &config, bool withRealDevices);

} // namespace audio
