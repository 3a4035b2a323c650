#include "audio/virtualcard/virtualmixer.h"
#include "audio/soundinterface.h"

#include <QObject>

#include <algorithm>

namespace audio {

// One open handle: the lines of its destination only. Notifications are
// queued to the UI thread, so they arrive after the call that caused them;
// a handle that is gone receives none.
class VirtualMixerHandle final : public MixerDevice {
public:
    VirtualMixerHandle(std::shared_ptr<VirtualMixer> mixer, int destination)
        : mixer_(std::move(mixer)), destination_(static_cast<std::uint32_t>(destination))
    {
        mixer_->attach(this);
    }
    ~VirtualMixerHandle() override { mixer_->detach(this); }

    std::string name() const override
    {
        return mixer_->cardName() + (destination_ == VirtualMixer::kSpeakers ? " playback" : " recording");
    }
    int destinations() override { return 1; }

    int lineInfoByDestination(int destination, MixerLine &line) override
    {
        return find(destination, -1, line);
    }
    int lineInfoBySource(int destination, int source, MixerLine &line) override
    {
        return source < 0 ? MMSYSERR_INVALPARAM : find(destination, source, line);
    }

    int lineControls(std::uint32_t lineId, std::vector<MixerControlRecord> &controls) override
    {
        controls.clear();
        for (const VirtualMixer::Line &l : mixer_->lines())
            if (l.info.lineId == lineId && l.info.destination == destination_) {
                for (std::uint32_t id : l.controls)
                    controls.push_back(mixer_->control(id)->record);
                return MMSYSERR_NOERROR;
            }
        return MMSYSERR_INVALPARAM;
    }

    int getValues(std::uint32_t id, std::vector<std::uint32_t> &values) override
    {
        const VirtualMixer::Control *c = own(id);
        if (!c)
            return MMSYSERR_INVALPARAM;
        values = c->values;
        return MMSYSERR_NOERROR;
    }

    int getListTexts(std::uint32_t id, std::vector<std::string> &texts) override
    {
        const VirtualMixer::Control *c = own(id);
        if (!c)
            return MMSYSERR_INVALPARAM;
        texts = c->items;
        return MMSYSERR_NOERROR;
    }

    int setValues(std::uint32_t id, const std::vector<std::uint32_t> &values) override
    {
        return own(id) ? mixer_->set(id, values) : MMSYSERR_INVALPARAM;
    }

    void setNotify(Notify notify) override { notify_ = std::move(notify); }

    // A control of this handle's destination changed.
    void changed(std::uint32_t id)
    {
        if (!own(id))
            return;
        QMetaObject::invokeMethod(
            &context_, [this, id] { if (notify_) notify_(MM_MIXM_CONTROL_CHANGE, id); }, Qt::QueuedConnection);
    }

private:
    VirtualMixer::Control *own(std::uint32_t id)
    {
        VirtualMixer::Control *c = mixer_->control(id);
        for (const VirtualMixer::Line &l : mixer_->lines())
            if (c && l.info.lineId == c->lineId)
                return l.info.destination == destination_ ? c : nullptr;
        return nullptr;
    }

    int find(int destination, int source, MixerLine &line)
    {
        if (destination != 0)
            return MMSYSERR_INVALPARAM;
        for (const VirtualMixer::Line &l : mixer_->lines())
            if (l.info.destination == destination_ &&
                (source < 0 ? l.info.componentType < MIXERLINE_COMPONENTTYPE_SRC_FIRST
                            : l.info.componentType >= MIXERLINE_COMPONENTTYPE_SRC_FIRST &&
                                  l.info.source == static_cast<std::uint32_t>(source))) {
                line = l.info;
                line.destination = 0;
                return MMSYSERR_NOERROR;
            }
        return MMSYSERR_INVALPARAM;
    }

    std::shared_ptr<VirtualMixer> mixer_;
    const std::uint32_t destination_;
    Notify notify_;
    QObject context_;
};

VirtualMixer::VirtualMixer(std::string cardName) : name_(std::move(cardName))
{
    // A playback side as a user might have left it: master at 75 %, the
    // analog sources audible. The recording volumes start at unity so the
    // loop is the plain card until the mixer is driven.
    const std::uint32_t master = addLine(kSpeakers, -1, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Master", 3);
    addControl(master, MIXERCONTROL_CONTROLTYPE_VOLUME, "Master Volume", 49151);
    addControl(master, MIXERCONTROL_CONTROLTYPE_MUTE, "Master Mute", 0);
    addControl(master, MIXERCONTROL_CONTROLTYPE_BASS, "Bass", 40000);
    addControl(master, MIXERCONTROL_CONTROLTYPE_TREBLE, "Treble", 30000);
    const std::pair<std::uint32_t, const char *> play[] = {
        {MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave Out"},
        {MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line"},
        {MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD"}};
    for (int i = 0; i < 3; ++i) {
        const std::uint32_t l = addLine(kSpeakers, i, play[i].first, play[i].second, 0);
        addControl(l, MIXERCONTROL_CONTROLTYPE_VOLUME, std::string(play[i].second) + " Volume", 50000);
        addControl(l, MIXERCONTROL_CONTROLTYPE_MUTE, std::string(play[i].second) + " Mute", 0);
    }
    const std::uint32_t rec = addLine(kWaveIn, -1, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", 3);
    addControl(rec, MIXERCONTROL_CONTROLTYPE_MUX, "Recording Source", 0, {"Mic", "Line", "CD"});
    const std::pair<std::uint32_t, const char *> record[] = {
        {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"},
        {MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line"},
        {MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD"}};
    for (int i = 0; i < 3; ++i) {
        const std::uint32_t l = addLine(kWaveIn, i, record[i].first, record[i].second, 0);
        addControl(l, MIXERCONTROL_CONTROLTYPE_VOLUME, std::string(record[i].second) + " Capture Volume", 65535);
    }
    updateGain();
}

std::uint32_t VirtualMixer::addLine(int destination, int source, std::uint32_t type, const std::string &name,
                                    int connections)
{
    Line l;
    l.info.destination = static_cast<std::uint32_t>(destination);
    l.info.source = source < 0 ? 0 : static_cast<std::uint32_t>(source);
    l.info.lineId = static_cast<std::uint32_t>(destination) | (source < 0 ? 0 : 0x1000u * (source + 1));
    l.info.flags = MIXERLINE_LINEF_ACTIVE;
    l.info.componentType = type;
    l.info.channels = 2;
    l.info.connections = static_cast<std::uint32_t>(connections);
    l.info.shortName = l.info.name = name;
    lines_.push_back(l);
    return l.info.lineId;
}

void VirtualMixer::addControl(std::uint32_t line, std::uint32_t type, const std::string &name, std::uint32_t value,
                              std::vector<std::string> items)
{
    Control c;
    c.record.controlId = static_cast<std::uint32_t>(controls_.size() + 1);
    c.record.controlType = type;
    c.record.shortName = c.record.name = name;
    c.record.maximum = type == MIXERCONTROL_CONTROLTYPE_MUTE ? 1 : 65535;
    c.lineId = line;
    if (items.empty()) {
        c.values = {value};
    } else {
        c.record.items = static_cast<std::uint32_t>(items.size());
        c.record.maximum = 1;
        c.values.assign(items.size(), 0);
        c.values[value] = 1;
        c.items = std::move(items);
    }
    for (Line &l : lines_)
        if (l.info.lineId == line) {
            l.controls.push_back(c.record.controlId);
            ++l.info.controls;
        }
    controls_.push_back(std::move(c));
}

VirtualMixer::Control *VirtualMixer::control(std::uint32_t id)
{
    return id >= 1 && id <= controls_.size() ? &controls_[id - 1] : nullptr;
}

int VirtualMixer::set(std::uint32_t id, const std::vector<std::uint32_t> &values)
{
    Control *c = control(id);
    if (!c || values.size() != c->values.size())
        return MMSYSERR_INVALPARAM;
    for (std::size_t i = 0; i < values.size(); ++i)
        c->values[i] = std::min(values[i], c->record.maximum);
    updateGain();
    for (VirtualMixerHandle *h : handles_)
        h->changed(id);
    return MMSYSERR_NOERROR;
}

void VirtualMixer::detach(VirtualMixerHandle *h) { handles_.erase(std::remove(handles_.begin(), handles_.end(), h), handles_.end()); }

std::unique_ptr<MixerDevice> VirtualMixer::open(int destination)
{
    if (destination != kSpeakers && destination != kWaveIn)
        return nullptr;
    return std::make_unique<VirtualMixerHandle>(shared_from_this(), destination);
}

void VirtualMixer::updateGain()
{
    // The MUX is the first recording control; its item i is source i, whose
    // VOLUME follows in the order the sources were added.
    double gain = 0.0;
    const Control *mux = nullptr;
    for (const Control &c : controls_)
        if (c.record.controlType == MIXERCONTROL_CONTROLTYPE_MUX)
            mux = &c;
    if (mux) {
        const auto sel = std::find(mux->values.begin(), mux->values.end(), 1u);
        if (sel != mux->values.end()) {
            const std::uint32_t line = kWaveIn | 0x1000u * static_cast<std::uint32_t>(sel - mux->values.begin() + 1);
            for (const Control &c : controls_)
                if (c.lineId == line && c.record.controlType == MIXERCONTROL_CONTROLTYPE_VOLUME)
                    gain = c.values[0] / 65535.0;
        }
    }
    gain_.store(gain, std::memory_order_relaxed);
}

} // namespace audio
