#include "audio/alsa/alsamixer.h"
#include "audio/soundinterface.h"

#include <alsa/asoundlib.h>

#include <QSocketNotifier>

#include <algorithm>
#include <cmath>
#include <poll.h>
#include <vector>

namespace audio::alsa {

namespace {

enum class Kind { PlaybackVolume, PlaybackMute, CaptureVolume, CaptureEnum, CaptureExclusive };

struct Ctl {
    MixerControlRecord record;
    Kind kind = Kind::PlaybackVolume;
    std::vector<snd_mixer_elem_t *> elems; // one, or the exclusive switches in item order
    std::vector<std::string> items;
    long min = 0, max = 0;
};

struct Line {
    MixerLine info;
    std::vector<std::uint32_t> controls;
};

std::string ElemName(snd_mixer_elem_t *e)
{
    std::string n = snd_mixer_selem_get_name(e);
    if (const unsigned i = snd_mixer_selem_get_index(e))
        n += " " + std::to_string(i);
    return n;
}

std::uint32_t SourceType(const std::string &name, bool playback)
{
    auto has = [&](const char *w) { return name.find(w) != std::string::npos; };
    if (playback && name == "PCM")
        return MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
    if (has("Mic"))
        return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    if (has("Line"))
        return MIXERLINE_COMPONENTTYPE_SRC_LINE;
    if (has("CD"))
        return MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    if (has("Aux"))
        return MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
    return MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
}

// Raw ALSA volume <-> 0..65535, linear over the element's range.
std::uint32_t ToMixer(long raw, long min, long max)
{
    if (max <= min)
        return 0;
    return static_cast<std::uint32_t>(std::lround(double(std::clamp(raw, min, max) - min) * 65535.0 / double(max - min)));
}

long FromMixer(std::uint32_t v, long min, long max)
{
    return min + std::lround(double(std::min<std::uint32_t>(v, 65535)) * double(max - min) / 65535.0);
}

class AlsaMixer final : public MixerDevice {
public:
    AlsaMixer(snd_mixer_t *mixer, std::string ctl, bool recording)
        : mixer_(mixer), ctl_(std::move(ctl)), recording_(recording)
    {
    }

    ~AlsaMixer() override
    {
        notifiers_.clear();
        snd_mixer_close(mixer_);
    }

    bool build()
    {
        if (recording_)
            buildRecording();
        else
            buildPlayback();
        if (lines_.empty() || (lines_[0].controls.empty() && lines_[0].info.connections == 0))
            return false;
        for (Ctl &c : ctls_)
            for (snd_mixer_elem_t *e : c.elems) {
                snd_mixer_elem_set_callback(e, &AlsaMixer::elemEvent);
                snd_mixer_elem_set_callback_private(e, this);
            }
        watch();
        return true;
    }

    std::string name() const override { return "ALSA " + ctl_ + (recording_ ? " capture" : " playback"); }
    int destinations() override { return lost_ ? 0 : 1; }

    int lineInfoByDestination(int destination, MixerLine &line) override
    {
        if (lost_)
            return MIXERR_DEVICE_LOST;
        if (destination != 0)
            return MMSYSERR_INVALPARAM;
        line = lines_[0].info;
        return MMSYSERR_NOERROR;
    }

    int lineInfoBySource(int destination, int source, MixerLine &line) override
    {
        if (lost_)
            return MIXERR_DEVICE_LOST;
        if (destination != 0 || source < 0 || source + 1 >= static_cast<int>(lines_.size()))
            return MMSYSERR_INVALPARAM;
        line = lines_[static_cast<std::size_t>(source) + 1].info;
        return MMSYSERR_NOERROR;
    }

    int lineControls(std::uint32_t lineId, std::vector<MixerControlRecord> &controls) override
    {
        if (lost_)
            return MIXERR_DEVICE_LOST;
        controls.clear();
        for (const Line &l : lines_)
            if (l.info.lineId == lineId) {
                for (std::uint32_t id : l.controls)
                    controls.push_back(ctls_[id - 1].record);
                return MMSYSERR_NOERROR;
            }
        return MMSYSERR_INVALPARAM;
    }

    int getValues(std::uint32_t id, std::vector<std::uint32_t> &values) override
    {
        Ctl *c = control(id);
        if (lost_)
            return MIXERR_DEVICE_LOST;
        if (!c)
            return MMSYSERR_INVALPARAM;
        snd_mixer_elem_t *e = c->elems[0];
        const auto ch = SND_MIXER_SCHN_FRONT_LEFT;
        long raw = 0;
        int sw = 0;
        int rc = 0;
        switch (c->kind) {
        case Kind::PlaybackVolume:
            rc = snd_mixer_selem_get_playback_volume(e, ch, &raw);
            values = {ToMixer(raw, c->min, c->max)};
            break;
        case Kind::CaptureVolume:
            rc = snd_mixer_selem_get_capture_volume(e, ch, &raw);
            values = {ToMixer(raw, c->min, c->max)};
            break;
        case Kind::PlaybackMute:
            rc = snd_mixer_selem_get_playback_switch(e, ch, &sw);
            values = {sw ? 0u : 1u};
            break;
        case Kind::CaptureEnum: {
            unsigned item = 0;
            rc = snd_mixer_selem_get_enum_item(e, ch, &item);
            values.assign(c->items.size(), 0);
            if (item < values.size())
                values[item] = 1;
            break;
        }
        case Kind::CaptureExclusive:
            values.clear();
            for (snd_mixer_elem_t *x : c->elems) {
                sw = 0;
                rc = std::min(rc, snd_mixer_selem_get_capture_switch(x, ch, &sw));
                values.push_back(sw ? 1u : 0u);
            }
            break;
        }
        return rc < 0 ? ALSA_ERROR_BASE - rc : MMSYSERR_NOERROR;
    }

    int getListTexts(std::uint32_t id, std::vector<std::string> &texts) override
    {
        Ctl *c = control(id);
        if (lost_)
            return MIXERR_DEVICE_LOST;
        if (!c || c->items.empty())
            return MMSYSERR_INVALPARAM;
        texts = c->items;
        return MMSYSERR_NOERROR;
    }

    int setValues(std::uint32_t id, const std::vector<std::uint32_t> &values) override
    {
        Ctl *c = control(id);
        if (lost_)
            return MIXERR_DEVICE_LOST;
        if (!c || values.empty())
            return MMSYSERR_INVALPARAM;
        snd_mixer_elem_t *e = c->elems[0];
        int rc = 0;
        switch (c->kind) {
        case Kind::PlaybackVolume:
            rc = snd_mixer_selem_set_playback_volume_all(e, FromMixer(values[0], c->min, c->max));
            break;
        case Kind::CaptureVolume:
            rc = snd_mixer_selem_set_capture_volume_all(e, FromMixer(values[0], c->min, c->max));
            break;
        case Kind::PlaybackMute:
            rc = snd_mixer_selem_set_playback_switch_all(e, values[0] ? 0 : 1);
            break;
        case Kind::CaptureEnum: {
            // An enumeration always has one item; all zeros changes nothing.
            const auto one = std::find(values.begin(), values.end(), 1u);
            if (one == values.end() || one - values.begin() >= static_cast<long>(c->items.size()))
                break;
            const auto item = static_cast<unsigned>(one - values.begin());
            rc = snd_mixer_selem_set_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, item);
            if (rc >= 0 && snd_mixer_selem_is_enum_capture(e))
                snd_mixer_selem_set_enum_item(e, SND_MIXER_SCHN_FRONT_RIGHT, item); // mono elements refuse this
            break;
        }
        case Kind::CaptureExclusive:
            for (std::size_t i = 0; i < c->elems.size() && i < values.size(); ++i)
                rc = std::min(rc, snd_mixer_selem_set_capture_switch_all(c->elems[i], values[i] ? 1 : 0));
            break;
        }
        return rc < 0 ? ALSA_ERROR_BASE - rc : MMSYSERR_NOERROR;
    }

    void setNotify(Notify notify) override { notify_ = std::move(notify); }

private:
    Ctl *control(std::uint32_t id) { return id >= 1 && id <= ctls_.size() ? &ctls_[id - 1] : nullptr; }

    std::uint32_t addLine(std::uint32_t type, const std::string &name)
    {
        Line l;
        const auto source = static_cast<std::uint32_t>(lines_.size());
        l.info.lineId = source == 0 ? 0 : 0x1000u * source;
        l.info.source = source == 0 ? 0 : source - 1;
        l.info.flags = MIXERLINE_LINEF_ACTIVE;
        l.info.componentType = type;
        l.info.channels = 2;
        l.info.shortName = l.info.name = name;
        lines_.push_back(l);
        if (source > 0)
            ++lines_[0].info.connections;
        return l.info.lineId;
    }

    void addControl(std::uint32_t line, std::uint32_t type, Kind kind, std::vector<snd_mixer_elem_t *> elems,
                    const std::string &name, std::vector<std::string> items = {})
    {
        Ctl c;
        c.record.controlId = static_cast<std::uint32_t>(ctls_.size() + 1);
        c.record.controlType = type;
        c.record.shortName = c.record.name = name;
        c.record.items = static_cast<std::uint32_t>(items.size());
        c.record.maximum = type == MIXERCONTROL_CONTROLTYPE_MUTE || !items.empty() ? 1 : 65535;
        c.kind = kind;
        c.elems = std::move(elems);
        c.items = std::move(items);
        if (kind == Kind::PlaybackVolume)
            snd_mixer_selem_get_playback_volume_range(c.elems[0], &c.min, &c.max);
        else if (kind == Kind::CaptureVolume)
            snd_mixer_selem_get_capture_volume_range(c.elems[0], &c.min, &c.max);
        ctls_.push_back(std::move(c));
        for (Line &l : lines_)
            if (l.info.lineId == line) {
                l.controls.push_back(ctls_.back().record.controlId);
                ++l.info.controls;
            }
    }

    std::vector<snd_mixer_elem_t *> elements()
    {
        std::vector<snd_mixer_elem_t *> out;
        for (snd_mixer_elem_t *e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e))
            if (snd_mixer_selem_is_active(e))
                out.push_back(e);
        return out;
    }

    snd_mixer_elem_t *named(const std::vector<snd_mixer_elem_t *> &elems, const std::string &name)
    {
        for (snd_mixer_elem_t *e : elems)
            if (ElemName(e) == name)
                return e;
        return nullptr;
    }

    void addPlaybackControls(std::uint32_t line, snd_mixer_elem_t *e, const std::string &name)
    {
        if (snd_mixer_selem_has_playback_volume(e))
            addControl(line, MIXERCONTROL_CONTROLTYPE_VOLUME, Kind::PlaybackVolume, {e}, name + " Volume");
        if (snd_mixer_selem_has_playback_switch(e))
            addControl(line, MIXERCONTROL_CONTROLTYPE_MUTE, Kind::PlaybackMute, {e}, name + " Mute");
    }

    void buildPlayback()
    {
        const auto elems = elements();
        snd_mixer_elem_t *master = named(elems, "Master");
        addLine(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, master ? "Master" : "Playback");
        if (master)
            addPlaybackControls(0, master, "Master");
        for (auto [elemName, type] : {std::pair{"Bass", MIXERCONTROL_CONTROLTYPE_BASS},
                                      std::pair{"Treble", MIXERCONTROL_CONTROLTYPE_TREBLE}})
            if (snd_mixer_elem_t *e = named(elems, elemName); e && snd_mixer_selem_has_playback_volume(e))
                addControl(0, type, Kind::PlaybackVolume, {e}, elemName);
        for (const char *source : {"PCM", "Line", "CD", "Mic", "Aux"}) {
            snd_mixer_elem_t *e = named(elems, source);
            if (!e || !(snd_mixer_selem_has_playback_volume(e) || snd_mixer_selem_has_playback_switch(e)))
                continue;
            const std::uint32_t line = addLine(SourceType(source, true), source);
            addPlaybackControls(line, e, source);
        }
    }

    void buildRecording()
    {
        const auto elems = elements();
        addLine(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Capture");
        snd_mixer_elem_t *selector = nullptr;
        std::vector<snd_mixer_elem_t *> exclusive;
        for (snd_mixer_elem_t *e : elems) {
            if (!selector && snd_mixer_selem_is_enum_capture(e))
                selector = e;
            if (snd_mixer_selem_has_capture_switch(e) && snd_mixer_selem_has_capture_switch_exclusive(e))
                exclusive.push_back(e);
        }
        std::vector<std::string> items;
        if (selector) {
            const int n = std::max(0, snd_mixer_selem_get_enum_items(selector));
            for (int i = 0; i < n; ++i) {
                char text[64] = {};
                snd_mixer_selem_get_enum_item_name(selector, static_cast<unsigned>(i), sizeof text - 1, text);
                items.push_back(text);
            }
            addControl(0, MIXERCONTROL_CONTROLTYPE_MUX, Kind::CaptureEnum, {selector}, ElemName(selector), items);
        } else if (exclusive.size() >= 2) {
            for (snd_mixer_elem_t *e : exclusive)
                items.push_back(ElemName(e));
            addControl(0, MIXERCONTROL_CONTROLTYPE_MUX, Kind::CaptureExclusive, exclusive, "Capture Source", items);
        }
        auto captureVolume = [&](snd_mixer_elem_t *e) { return e && snd_mixer_selem_has_capture_volume(e); };
        snd_mixer_elem_t *gain = named(elems, "Capture");
        if (!items.empty()) {
            for (const std::string &item : items) {
                snd_mixer_elem_t *own = named(elems, item);
                snd_mixer_elem_t *e = captureVolume(own) ? own : captureVolume(gain) ? gain : nullptr;
                const std::uint32_t line = addLine(SourceType(item, false), item);
                if (e)
                    addControl(line, MIXERCONTROL_CONTROLTYPE_VOLUME, Kind::CaptureVolume, {e}, ElemName(e) + " Volume");
            }
            return;
        }
        for (snd_mixer_elem_t *e : elems)
            if (captureVolume(e)) {
                const std::uint32_t line = addLine(SourceType(ElemName(e), false), ElemName(e));
                addControl(line, MIXERCONTROL_CONTROLTYPE_VOLUME, Kind::CaptureVolume, {e}, ElemName(e) + " Volume");
            }
    }

    // ---- events ----------------------------------------------------------------

    void watch()
    {
        const int n = snd_mixer_poll_descriptors_count(mixer_);
        if (n <= 0)
            return;
        fds_.resize(static_cast<std::size_t>(n));
        if (snd_mixer_poll_descriptors(mixer_, fds_.data(), static_cast<unsigned>(n)) < 0)
            return;
        for (const pollfd &p : fds_) {
            auto sn = std::make_unique<QSocketNotifier>(p.fd, QSocketNotifier::Read);
            QObject::connect(sn.get(), &QSocketNotifier::activated, sn.get(), [this] { readEvents(); });
            notifiers_.push_back(std::move(sn));
        }
    }

    void readEvents()
    {
        if (lost_)
            return;
        for (pollfd &p : fds_)
            p.revents = 0;
        ::poll(fds_.data(), fds_.size(), 0);
        unsigned short revents = 0;
        snd_mixer_poll_descriptors_revents(mixer_, fds_.data(), static_cast<unsigned>(fds_.size()), &revents);
        pending_.clear();
        if ((revents & (POLLERR | POLLHUP | POLLNVAL)) || snd_mixer_handle_events(mixer_) < 0)
            lost_ = true;
        if (lost_) {
            for (auto &sn : notifiers_)
                sn->setEnabled(false);
            if (notify_)
                notify_(MM_MIXM_DEVICE_LOST, 0);
            return;
        }
        // Reported after the event handling is over, so the receiver may call back.
        const std::vector<std::uint32_t> ids = pending_;
        for (std::uint32_t id : ids)
            if (notify_ && !lost_)
                notify_(MM_MIXM_CONTROL_CHANGE, id);
    }

    static int elemEvent(snd_mixer_elem_t *e, unsigned mask)
    {
        auto *self = static_cast<AlsaMixer *>(snd_mixer_elem_get_callback_private(e));
        if (!self)
            return 0;
        if (mask == SND_CTL_EVENT_MASK_REMOVE) {
            self->lost_ = true; // the card went away; its elements are being freed
            return 0;
        }
        if (mask & SND_CTL_EVENT_MASK_VALUE)
            for (const Ctl &c : self->ctls_)
                if (std::find(c.elems.begin(), c.elems.end(), e) != c.elems.end() &&
                    std::find(self->pending_.begin(), self->pending_.end(), c.record.controlId) == self->pending_.end())
                    self->pending_.push_back(c.record.controlId);
        return 0;
    }

    snd_mixer_t *mixer_;
    std::string ctl_;
    bool recording_;
    bool lost_ = false;
    std::vector<Line> lines_;
    std::vector<Ctl> ctls_;
    std::vector<pollfd> fds_;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
    std::vector<std::uint32_t> pending_;
    Notify notify_;
};

} // namespace

std::unique_ptr<MixerDevice> OpenAlsaMixer(const std::string &ctl, bool recording)
{
    if (ctl.empty())
        return nullptr;
    snd_mixer_t *m = nullptr;
    if (snd_mixer_open(&m, 0) < 0)
        return nullptr;
    if (snd_mixer_attach(m, ctl.c_str()) < 0 || snd_mixer_selem_register(m, nullptr, nullptr) < 0 ||
        snd_mixer_load(m) < 0) {
        snd_mixer_close(m);
        return nullptr;
    }
    auto mixer = std::make_unique<AlsaMixer>(m, ctl, recording);
    if (!mixer->build())
        return nullptr;
    return mixer;
}

std::string MixerCtlForPcm(const std::string &pcm)
{
    if (pcm == "default")
        return pcm;
    for (const char *prefix : {"hw:", "plughw:"}) {
        const std::string p = prefix;
        if (pcm.compare(0, p.size(), p) != 0)
            continue;
        const std::string rest = pcm.substr(p.size());
        const std::string card = rest.substr(0, rest.find(','));
        if (!card.empty() && std::all_of(card.begin(), card.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
            return "hw:" + card;
    }
    return {};
}

} // namespace audio::alsa
