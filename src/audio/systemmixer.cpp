// The system mixer of the current devices: the playback part of the output
// device's mixer and the recording part of the input device's mixer joined
// into one mixer with up to two destinations. The two parts may come from
// different cards (or backends); IDs carry their part in the top bits.
#include "audio/mixerdevice.h"
#include "audio/soundinterface.h"

namespace audio {

namespace {

class SystemMixer final : public MixerDevice {
public:
    void add(std::unique_ptr<MixerDevice> part) { parts_.push_back(std::move(part)); }
    bool empty() const { return parts_.empty(); }

    std::string name() const override
    {
        std::string n;
        for (const auto &p : parts_)
            n += (n.empty() ? "" : " + ") + p->name();
        return n;
    }

    int destinations() override
    {
        int n = 0;
        for (const auto &p : parts_)
            n += p->destinations();
        return n;
    }

    int lineInfoByDestination(int destination, MixerLine &line) override
    {
        int part, local;
        if (!locate(destination, part, local))
            return MMSYSERR_INVALPARAM;
        const int rc = parts_[part]->lineInfoByDestination(local, line);
        return outerLine(rc, part, destination, line);
    }

    int lineInfoBySource(int destination, int source, MixerLine &line) override
    {
        int part, local;
        if (!locate(destination, part, local))
            return MMSYSERR_INVALPARAM;
        const int rc = parts_[part]->lineInfoBySource(local, source, line);
        return outerLine(rc, part, destination, line);
    }

    int lineControls(std::uint32_t lineId, std::vector<MixerControlRecord> &controls) override
    {
        MixerDevice *p = route(lineId);
        if (!p)
            return MMSYSERR_INVALPARAM;
        const int rc = p->lineControls(lineId & kIdMask, controls);
        for (MixerControlRecord &c : controls)
            c.controlId = outer(lineId >> kPartShift, c.controlId);
        return rc;
    }

    int getValues(std::uint32_t id, std::vector<std::uint32_t> &values) override
    {
        MixerDevice *p = route(id);
        return p ? p->getValues(id & kIdMask, values) : MMSYSERR_INVALPARAM;
    }

    int getListTexts(std::uint32_t id, std::vector<std::string> &texts) override
    {
        MixerDevice *p = route(id);
        return p ? p->getListTexts(id & kIdMask, texts) : MMSYSERR_INVALPARAM;
    }

    int setValues(std::uint32_t id, const std::vector<std::uint32_t> &values) override
    {
        MixerDevice *p = route(id);
        return p ? p->setValues(id & kIdMask, values) : MMSYSERR_INVALPARAM;
    }

    void setNotify(Notify notify) override
    {
        for (std::size_t i = 0; i < parts_.size(); ++i) {
            if (!notify) {
                parts_[i]->setNotify({});
                continue;
            }
            parts_[i]->setNotify([notify, i](unsigned message, std::uint32_t id) {
                notify(message, message == MM_MIXM_DEVICE_LOST ? 0 : outer(static_cast<std::uint32_t>(i), id));
            });
        }
    }

private:
    static constexpr int kPartShift = 28;
    static constexpr std::uint32_t kIdMask = (1u << kPartShift) - 1;

    static std::uint32_t outer(std::uint32_t part, std::uint32_t id) { return (part << kPartShift) | (id & kIdMask); }

    MixerDevice *route(std::uint32_t id)
    {
        const std::uint32_t part = id >> kPartShift;
        return part < parts_.size() ? parts_[part].get() : nullptr;
    }

    bool locate(int destination, int &part, int &local)
    {
        for (part = 0; part < static_cast<int>(parts_.size()); ++part) {
            const int n = parts_[part]->destinations();
            if (destination >= 0 && destination < n) {
                local = destination;
                return true;
            }
            destination -= n;
        }
        return false;
    }

    static int outerLine(int rc, int part, int destination, MixerLine &line)
    {
        if (rc == MMSYSERR_NOERROR) {
            line.destination = static_cast<std::uint32_t>(destination);
            line.lineId = outer(static_cast<std::uint32_t>(part), line.lineId);
        }
        return rc;
    }

    std::vector<std::unique_ptr<MixerDevice>> parts_;
};

} // namespace

std::unique_ptr<MixerDevice> OpenSystemMixer(int inputDevice, int outputDevice, std::vector<std::string> *log)
{
    SoundInterface &si = SoundInterface::instance();
    auto mixer = std::make_unique<SystemMixer>();
    if (auto play = si.mixerOpen(outputDevice, false))
        mixer->add(std::move(play));
    else if (log)
        log->push_back("no playback mixer for output device " + std::to_string(outputDevice) + " (" +
                       si.deviceName(outputDevice, false) + ")");
    if (auto record = si.mixerOpen(inputDevice, true))
        mixer->add(std::move(record));
    else if (log)
        log->push_back("no recording mixer for input device " + std::to_string(inputDevice) + " (" +
                       si.deviceName(inputDevice, true) + ")");
    if (mixer->empty())
        return nullptr;
    return mixer;
}

} // namespace audio
