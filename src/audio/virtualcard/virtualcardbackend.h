// The virtual loopback cards as a sound backend: each card is one input and
// one output device; what its output plays comes back on its input, paced in
// real time unless configured otherwise. The left input is a straight wire
// from the left output; the right input passes a model of a device under
// test (see VirtualCardConfig). Listed after the real devices.
#pragma once

#include "audio/soundinterface.h"
#include "audio/virtualcard/virtualcardconfig.h"

#include <memory>
#include <vector>

namespace audio {

class VirtualCard;

class VirtualCardBackend : public SoundBackend {
public:
    explicit VirtualCardBackend(const VirtualCardConfig &config = VirtualCardConfig());
    ~VirtualCardBackend() override;

    const VirtualCardConfig &config() const { return config_; }

    int inputCount() override;
    int outputCount() override;
    int inputCaps(int index, WaveInCaps &caps) override;
    int outputCaps(int index, WaveOutCaps &caps) override;
    int queryInput(int index, const WaveFormat &format) override;
    int queryOutput(int index, const WaveFormat &format) override;
    int openInput(int index, const WaveFormat &format, InputTarget target,
                  std::unique_ptr<WaveInDevice> &device) override;
    int openOutput(int index, const WaveFormat &format, OutputCallback callback,
                   std::unique_ptr<WaveOutDevice> &device) override;
    // Both directions of a card reach the card's one mixer.
    std::unique_ptr<MixerDevice> openMixer(bool input, int index) override;
    bool isVirtual() const override { return true; }
    std::string family() const override { return "virtual"; }

private:
    std::uint32_t formatMask() const;

    VirtualCardConfig config_;
    std::vector<std::shared_ptr<VirtualCard>> cards_;
};

} // namespace audio
