// The mixer of a virtual loopback card. Playback: "Master" with VOLUME, MUTE,
// BASS and TREBLE, and the sources "Wave Out", "Line" and "CD" with a VOLUME
// and a MUTE each. Recording: a MUX over "Mic", "Line" and "CD" and the three
// sources with a VOLUME each. The selected recording source's volume scales
// what the card's input receives (65535 = unity); the playback side is kept
// and reported but does not scale the loop, which models the digital path.
//
// Every handle opened on the card sees every change (a change made through
// one handle is reported to all, as the platform does), so a second handle
// plays "another program". Handles and changes on the UI thread; the card
// thread reads only inputGain().
#pragma once

#include "audio/mixerdevice.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace audio {

class VirtualMixerHandle;

class VirtualMixer : public std::enable_shared_from_this<VirtualMixer> {
public:
    static constexpr int kSpeakers = 0, kWaveIn = 1;

    explicit VirtualMixer(std::string cardName);

    // A handle on one destination (kSpeakers or kWaveIn).
    std::unique_ptr<MixerDevice> open(int destination);

    // Factor applied to the card's input; any thread.
    double inputGain() const { return gain_.load(std::memory_order_relaxed); }

    struct Control {
        MixerControlRecord record;
        std::vector<std::string> items;
        std::vector<std::uint32_t> values;
        std::uint32_t lineId = 0;
    };
    struct Line {
        MixerLine info;
        std::vector<std::uint32_t> controls; // control IDs
    };

    // For the handles.
    const std::string &cardName() const { return name_; }
    const std::vector<Line> &lines() const { return lines_; }
    Control *control(std::uint32_t id);
    int set(std::uint32_t id, const std::vector<std::uint32_t> &values);
    void attach(VirtualMixerHandle *h) { handles_.push_back(h); }
    void detach(VirtualMixerHandle *h);

private:
    std::uint32_t addLine(int destination, int source, std::uint32_t type, const std::string &name, int connections);
    void addControl(std::uint32_t line, std::uint32_t type, const std::string &name, std::uint32_t value,
                    std::vector<std::string> items = {});
    void updateGain();

    std::string name_;
    std::vector<Line> lines_;
    std::vector<Control> controls_;
    std::vector<VirtualMixerHandle *> handles_;
    std::atomic<double> gain_{1.0};
};

} // namespace audio
