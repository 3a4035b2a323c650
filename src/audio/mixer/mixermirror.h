// The program's mirror of the system mixer: the playback destination
// (speakers) and the recording destination (wave input), each with its
// controls and its source lines with theirs, at most 19 of each. Building
// the mirror reads every control and writes the structure into the engine's
// log under "Create Mixer". UI thread only.
#pragma once

#include "audio/mixerdevice.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace audio {

constexpr int kMixerMaxItems = 19; // controls, sources and list items kept per line

// One control: its record and what was read of it.
struct TsrcCtr {
    MixerDevice *mixer = nullptr;
    MixerControlRecord control;
    std::uint32_t SavedValue = 0;   // simple control: value as last read
    std::uint32_t ItemCount = 0;    // list control: items kept (at most 19)
    std::array<std::uint32_t, kMixerMaxItems> SavedItems{}, Items{};
    std::array<std::string, kMixerMaxItems> ItemNames; // at most 15 characters each
};

// One line: a destination with its sources, or a source.
struct Tumixerline {
    MixerLine line;
    std::vector<std::unique_ptr<Tumixerline>> Sources; // at most 19
    std::vector<TsrcCtr> Controls;                      // at most 19
};

class Tumixer {
public:
    // Builds the mirror of `device` (null: no mixer), appending the
    // structure to `log`. `logReads` counts the control reads that may still
    // be logged, across the program's run.
    Tumixer(std::unique_ptr<MixerDevice> device, std::vector<std::string> &log, int &logReads);

    MixerDevice *device() const { return device_.get(); }
    Tumixerline *PlayLine() const { return play_.get(); }
    Tumixerline *RecordLine() const { return record_.get(); }

    // Reads a control into its record (a failed read leaves it as it was);
    // logged while reads may still be logged.
    void ReadControl(TsrcCtr &c);

    // Name of a component type, padded: 12 characters for sources, 11 for
    // destinations.
    static std::string ComponentName(std::uint32_t type);

private:
    std::unique_ptr<Tumixerline> buildLine(const MixerLine &line, int destination);

    std::unique_ptr<MixerDevice> device_;
    std::unique_ptr<Tumixerline> play_, record_;
    std::vector<std::string> &log_;
    int &logReads_;
};

} // namespace audio
