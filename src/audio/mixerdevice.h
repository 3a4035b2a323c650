// A system mixer as the engine sees it, in the shape of the classic
// multimedia mixer API the program was designed against: destinations (the
// speakers, the wave input), each a line with controls and with source lines
// connected to it; controls are read and written as one value per item (one
// for a simple control, one per item for a list control such as a MUX).
// Changes, the program's own included, are reported afterwards through the
// notify callback, on the UI thread.
//
// Backends offer the mixer part behind one device (SoundBackend::openMixer);
// OpenSystemMixer joins the playback part of the output device and the
// recording part of the input device into one mixer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace audio {

// Control types (the platform's values).
enum : std::uint32_t {
    MIXERCONTROL_CONTROLTYPE_FADER = 0x50030000,
    MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001,
    MIXERCONTROL_CONTROLTYPE_BASS = 0x50030002,
    MIXERCONTROL_CONTROLTYPE_TREBLE = 0x50030003,
    MIXERCONTROL_CONTROLTYPE_EQUALIZER = 0x50030004,
    MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002,
    MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001,
    MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001,
};

// Component types of lines: destinations 0..8, sources 0x1000..0x100A.
enum : std::uint32_t {
    MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4,
    MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7,
    MIXERLINE_COMPONENTTYPE_SRC_FIRST = 0x1000,
    MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002,
    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003,
    MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x1005,
    MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008,
    MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x1009,
    MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A,
};

constexpr std::uint32_t MIXERLINE_LINEF_ACTIVE = 0x1;

// Notifications. A lost mixer (card unplugged, sound server gone) reports
// MM_MIXM_DEVICE_LOST once; every call fails from then on.
constexpr unsigned MM_MIXM_LINE_CHANGE = 0x3D0;
constexpr unsigned MM_MIXM_CONTROL_CHANGE = 0x3D1;
constexpr unsigned MM_MIXM_DEVICE_LOST = 0x3DF;

// Result of a call on a mixer that is gone.
constexpr int MIXERR_DEVICE_LOST = 1030;

inline bool IsListControl(std::uint32_t type)
{
    return type == MIXERCONTROL_CONTROLTYPE_MUX || type == MIXERCONTROL_CONTROLTYPE_MIXER;
}

struct MixerLine {
    std::uint32_t destination = 0;
    std::uint32_t source = 0;
    std::uint32_t lineId = 0;
    std::uint32_t flags = 0;
    std::uint32_t componentType = 0;
    std::uint32_t channels = 0;
    std::uint32_t connections = 0; // source lines of a destination
    std::uint32_t controls = 0;
    std::string shortName, name;
};

struct MixerControlRecord {
    std::uint32_t controlId = 0;
    std::uint32_t controlType = 0;
    std::uint32_t flags = 0;
    std::uint32_t items = 0; // items of a list control, else 0
    std::string shortName, name;
    std::uint32_t minimum = 0, maximum = 65535;
};

class MixerDevice {
public:
    // (message, id): MM_MIXM_CONTROL_CHANGE with the control ID,
    // MM_MIXM_LINE_CHANGE with the line ID, MM_MIXM_DEVICE_LOST with 0.
    using Notify = std::function<void(unsigned message, std::uint32_t id)>;

    virtual ~MixerDevice() = default;
    // Name of the mixer for the log.
    virtual std::string name() const = 0;
    virtual int destinations() = 0;
    virtual int lineInfoByDestination(int destination, MixerLine &line) = 0;
    virtual int lineInfoBySource(int destination, int source, MixerLine &line) = 0;
    virtual int lineControls(std::uint32_t lineId, std::vector<MixerControlRecord> &controls) = 0;
    // One value per item of a list control (0 or 1), else one value.
    virtual int getValues(std::uint32_t controlId, std::vector<std::uint32_t> &values) = 0;
    virtual int getListTexts(std::uint32_t controlId, std::vector<std::string> &texts) = 0;
    virtual int setValues(std::uint32_t controlId, const std::vector<std::uint32_t> &values) = 0;
    // Called on the UI thread, never from inside one of the calls above.
    virtual void setNotify(Notify notify) = 0;
};

// The mixer for the current devices: the playback destination of the output
// device's mixer and the recording destination of the input device's mixer;
// null when neither device has one. The log lines say what was not found.
std::unique_ptr<MixerDevice> OpenSystemMixer(int inputDevice, int outputDevice,
                                             std::vector<std::string> *log = nullptr);

} // namespace audio
