#include "audio/virtualcard/virtualcardbackend.h"
#include "audio/virtualcard/virtualcard.h"

#include <algorithm>

namespace audio {

namespace {

// The open devices keep their card alive, so a device may outlive the backend.
class VirtualWaveIn : public WaveInDevice {
public:
    explicit VirtualWaveIn(std::shared_ptr<VirtualCard> card) : card_(std::move(card)) {}
    ~VirtualWaveIn() override { card_->inputDestroy(); }
    int prepareHeader(WaveHeader &h) override { return card_->prepare(h, true); }
    int unprepareHeader(WaveHeader &h) override { return card_->unprepare(h); }
    int addBuffer(WaveHeader &h) override { return card_->inputAdd(h); }
    int start() override { return card_->inputStart(); }
    int reset() override { return card_->inputReset(); }
    int close() override { return card_->inputClose(); }
    int startTime(StreamStart &start) override { return card_->inputStartTime(start); }

private:
    std::shared_ptr<VirtualCard> card_;
};

class VirtualWaveOut : public WaveOutDevice {
public:
    explicit VirtualWaveOut(std::shared_ptr<VirtualCard> card) : card_(std::move(card)) {}
    ~VirtualWaveOut() override { card_->outputDestroy(); }
    int pause() override { return card_->outputPause(); }
    int restart() override { return card_->outputRestart(); }
    int prepareHeader(WaveHeader &h) override { return card_->prepare(h, false); }
    int unprepareHeader(WaveHeader &h) override { return card_->unprepare(h); }
    int write(WaveHeader &h) override { return card_->outputWrite(h); }
    int reset() override { return card_->outputReset(); }
    int close() override { return card_->outputClose(); }
    int position(std::uint64_t &framesPlayed) override
    {
        framesPlayed = card_->outputPosition();
        return MMSYSERR_NOERROR;
    }
    int startTime(StreamStart &start) override { return card_->outputStartTime(start); }

private:
    std::shared_ptr<VirtualCard> card_;
};

} // namespace

VirtualCardBackend::VirtualCardBackend(const VirtualCardConfig &config) : config_(config)
{
    config_.devices = std::clamp(config_.devices, 1, 8);
    for (int i = 0; i < config_.devices; ++i)
        cards_.push_back(VirtualCard::Create(config_, i + 1));
}

VirtualCardBackend::~VirtualCardBackend() = default;

int VirtualCardBackend::inputCount() { return static_cast<int>(cards_.size()); }
int VirtualCardBackend::outputCount() { return static_cast<int>(cards_.size()); }

std::uint32_t VirtualCardBackend::formatMask() const
{
    std::uint32_t mask = 0;
    for (std::uint32_t rate : {11025u, 22050u, 44100u, 48000u, 96000u})
        for (int bits : {8, 16})
            if (config_.accepts(bits, rate))
                mask |= FormatBit(rate, bits);
    return mask;
}

int VirtualCardBackend::inputCaps(int index, WaveInCaps &caps)
{
    if (index < 0 || index >= inputCount())
        return MMSYSERR_BADDEVICEID;
    caps.name = cards_[index]->name();
    caps.formats = formatMask();
    caps.channels = 2;
    caps.reserved1 = 0;
    return MMSYSERR_NOERROR;
}

int VirtualCardBackend::outputCaps(int index, WaveOutCaps &caps)
{
    if (index < 0 || index >= outputCount())
        return MMSYSERR_BADDEVICEID;
    caps.name = cards_[index]->name();
    caps.formats = formatMask();
    caps.channels = 2;
    caps.support = WAVECAPS_SAMPLEACCURATE;
    return MMSYSERR_NOERROR;
}

int VirtualCardBackend::queryInput(int index, const WaveFormat &format)
{
    if (index < 0 || index >= inputCount())
        return MMSYSERR_BADDEVICEID;
    return cards_[index]->query(format);
}

int VirtualCardBackend::queryOutput(int index, const WaveFormat &format)
{
    if (index < 0 || index >= outputCount())
        return MMSYSERR_BADDEVICEID;
    return cards_[index]->query(format);
}

int VirtualCardBackend::openInput(int index, const WaveFormat &format, InputTarget target,
                                  std::unique_ptr<WaveInDevice> &device)
{
    if (index < 0 || index >= inputCount())
        return MMSYSERR_BADDEVICEID;
    if (int rc = cards_[index]->openInput(format, target.window))
        return rc;
    device = std::make_unique<VirtualWaveIn>(cards_[index]);
    return MMSYSERR_NOERROR;
}

std::unique_ptr<MixerDevice> VirtualCardBackend::openMixer(bool input, int index)
{
    if (index < 0 || index >= inputCount())
        return nullptr;
    return cards_[index]->mixer()->open(input ? VirtualMixer::kWaveIn : VirtualMixer::kSpeakers);
}

int VirtualCardBackend::openOutput(int index, const WaveFormat &format, OutputCallback callback,
                                   std::unique_ptr<WaveOutDevice> &device)
{
    if (index < 0 || index >= outputCount())
        return MMSYSERR_BADDEVICEID;
    if (int rc = cards_[index]->openOutput(format, std::move(callback)))
        return rc;
    device = std::make_unique<VirtualWaveOut>(cards_[index]);
    return MMSYSERR_NOERROR;
}

} // namespace audio
