// The ALSA backend: wave input and output devices over ALSA PCMs.
//
// Devices are "default" and the hw/plughw PCMs of each card that open at the
// time of listing (see ListAlsaDevices), except those of cards the sound
// server holds and lists as its own devices (setCardsListedElsewhere): a
// card it has merely suspended would open, and appear twice. The list is
// taken on first use and afresh by refresh() (the device report); in
// between, counts and indices stay stable and cost nothing. All calls on the
// UI thread.
#pragma once

#include "audio/alsa/alsadevicelist.h"
#include "audio/alsa/alsaopendevices.h"
#include "audio/alsa/alsapcm.h"
#include "audio/soundinterface.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace audio::alsa {

class AlsaSoundBackend final : public SoundBackend {
public:
    AlsaSoundBackend();

    int inputCount() override;
    int outputCount() override;
    void refresh() override;
    int inputCaps(int index, WaveInCaps &caps) override;
    int outputCaps(int index, WaveOutCaps &caps) override;
    // The listed name, without opening the device.
    std::string deviceName(bool input, int index) override;
    int queryInput(int index, const WaveFormat &format) override;
    int queryOutput(int index, const WaveFormat &format) override;
    int openInput(int index, const WaveFormat &format, InputTarget target,
                  std::unique_ptr<WaveInDevice> &device) override;
    int openOutput(int index, const WaveFormat &format, OutputCallback callback,
                   std::unique_ptr<WaveOutDevice> &device) override;
    std::string errorText(int code) override;
    // The mixer of the device's card. The sound server's "default" device
    // has a recording side only: its playback master is the whole desktop's
    // volume, which the program must not drive.
    std::unique_ptr<MixerDevice> openMixer(bool input, int index) override;

    std::string family() const override { return "ALSA"; }
    // A card's device by the card's name (see StoredAlsaName).
    std::string storedName(bool input, int index) override;
    int findStored(bool input, const std::string &stored) override;
    void setCardsListedElsewhere(const std::vector<int> &cards) override;

    // The PCM name behind a device index (for reports and tests); empty if none.
    std::string pcmName(bool input, int index);

private:
    struct Direction {
        explicit Direction(snd_pcm_stream_t s) : stream(s) {}
        snd_pcm_stream_t stream;
        std::vector<AlsaDeviceEntry> devices;
        bool listed = false;
    };

    Direction &direction(bool input) { return input ? input_ : output_; }
    const AlsaDeviceEntry *entry(bool input, int index);
    int count(bool input);
    void list(bool input);
    // Capabilities of a device, probed now or, when it cannot be opened
    // because this process uses it, as last probed.
    int support(bool input, const AlsaDeviceEntry &e, PcmSupport &out);
    // Capabilities of either direction.
    template <class Caps> int caps(bool input, int index, Caps &caps);
    int query(bool input, int index, const WaveFormat &format);

    std::shared_ptr<OpenDevices> open_ = std::make_shared<OpenDevices>();
    Direction input_{SND_PCM_STREAM_CAPTURE};
    Direction output_{SND_PCM_STREAM_PLAYBACK};
    std::map<std::pair<bool, std::string>, PcmSupport> supportCache_;
    std::vector<int> cardsElsewhere_;
};

} // namespace audio::alsa
