#include "audio/mixer/mixer.h"

#include <algorithm>

namespace audio {

namespace {
MixerControl g_inert;
MixerControl *g_mixer = &g_inert;
} // namespace

MixerControl &Mixer() { return *g_mixer; }

void InstallMixer(MixerControl *mixer) { g_mixer = mixer ? mixer : &g_inert; }

std::uint16_t PercentToMixerVolume(int percent)
{
    return static_cast<std::uint16_t>(std::clamp(percent, 0, 100) * 65535 / 100);
}

int MixerVolumeToPercent(std::uint16_t volume) { return (volume * 100 + 65535 / 2) / 65535; }

} // namespace audio
