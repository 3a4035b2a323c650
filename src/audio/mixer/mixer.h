// The system mixer as the windows drive it: the recording source and its
// volume, the master (output) volume, the playback side, and notifications
// when another program changes them. Volumes are 0..65535, mutes 0/1,
// recording sources are numbered as the mixer lists them.
//
// The windows reach the mixer only through Mixer(). Until one is installed
// (Tmixu, see mixer/mixercontrol.h) the calls go to an inert mixer: it is off, lists no
// source, writes nothing and gives the neutral results, so the volume
// controls work on their own numbers. UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace audio {

struct TsrcCtr;

class MixerControl {
public:
    virtual ~MixerControl() = default;

    // Mixer support: on only while a mixer with a playback or a recording
    // destination exists.
    virtual bool MixOn() const { return false; }
    virtual void SetMixOn(bool on) { (void)on; }

    // The recording source list: item names and 0/1 values; `selected` is the
    // first item set (0 when none is). Returns the item count (0 without a list).
    virtual int GetRecordSources(std::vector<std::string> &names, std::vector<std::uint32_t> &values, int &selected)
    {
        names.clear(), values.clear(), selected = 0;
        return 0;
    }
    // Selects source i alone; returns i, -1 when the mixer has no source list
    // (or no item i); i unchanged while the mixer is off.
    virtual int SelectRecordSource(int i) { return i; }
    // The first recording source of component type "Line", or -1.
    virtual int FindLineSource() { return -1; }
    // Number and name of the recording sources (lines, not list items).
    virtual int RecordSourceCount() { return 0; }
    virtual std::string RecordSourceName(int source) { (void)source; return {}; }
    // Sets the volume of recording source `source` and 0 on the others.
    virtual void SetRecordVolume(std::uint16_t volume, int source) { (void)volume, (void)source; }
    // The current volume of recording source `source`; -1 when it has none.
    virtual int GetRecordVolume(int source) { (void)source; return -1; }

    virtual void SetMasterVolume(std::uint16_t volume) { (void)volume; }
    virtual std::uint16_t GetMasterVolume() { return 0; }
    virtual void SetPlaySourceVolume(std::uint16_t volume, int source) { (void)volume, (void)source; }
    virtual void SetPlaySourceMute(bool mute, int source) { (void)mute, (void)source; }
    virtual void SetPlayVolumeByType(std::uint16_t volume, std::uint32_t type) { (void)volume, (void)type; }
    virtual void SetPlayMuteByType(bool mute, std::uint32_t type) { (void)mute, (void)type; }
    // Master to `volume`, tone and mute neutral, every playback source muted
    // but the wave output, which goes to full level.
    virtual void ResetPlayMixer(std::uint16_t volume) { (void)volume; }

    // The recording sources whose volume changes are reported.
    virtual void ClearSourceMask() {}
    virtual void AddToSourceMask(int source) { (void)source; }
    // Current value of a control a notification named (0 while off).
    virtual std::uint16_t GetControlValue(const TsrcCtr &control) { (void)control; return 0; }

    // What the mixer reports after a change (also after the program's own).
    struct Hooks {
        std::function<void()> OnRecordSourceChange;
        std::function<void(const TsrcCtr &)> OnRecordVolumeChange;
        std::function<void()> OnPlayVolumeChange;
    };
    virtual void SetHooks(Hooks hooks) { (void)hooks; }

    // The user picked another input or output device: the mixer of the
    // devices now current takes over (what was written to the old one is
    // put back first).
    virtual void DevicesChanged() {}
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
