// The system mixer as the windows drive it: the recording volume of a
// recording source and the master (output) volume. Volumes are 0..65535.
// Until a mixer is installed the calls go to an inert one that does nothing,
// so the volume controls work on their own numbers. UI thread only.
#pragma once

#include <cstdint>

namespace audio {

class MixerControl {
public:
    virtual ~MixerControl() = default;
    // Sets the volume of recording source `source`.
    virtual void SetRecordVolume(std::uint16_t volume, int source) { (void)volume, (void)source; }
    virtual void SetMasterVolume(std::uint16_t volume) { (void)volume; }
};

// The installed mixer, or the inert one.
MixerControl &Mixer();
// Installs `mixer` (not owned; it must outlive its installation); null
// restores the inert mixer.
void InstallMixer(MixerControl *mixer);

// Percent of the interface (0..100) to the mixer's 0..65535, and back.
std::uint16_t PercentToMixerVolume(int percent);
int MixerVolumeToPercent(std::uint16_t volume);

} // namespace audio
