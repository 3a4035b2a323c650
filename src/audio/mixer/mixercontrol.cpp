#include "audio/mixer/mixercontrol.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/soundinterface.h"
#include "platform/inifile.h"
#include "platform/runtime/utilities.h"

#include <algorithm>
#include <set>

namespace audio {

namespace {

const char *const kSection = "MIX";
const char *const kKey = "MIXON";

bool Is(const TsrcCtr &c, std::uint32_t type) { return c.control.controlType == type; }

} // namespace

Tmixu::Tmixu(QObject *parent) : QObject(parent)
{
    setObjectName("mixu");
    platform::IniFile ini(platform::SettingsFileName());
    ini.load();
    if (const std::optional<long long> on = platform::ReadInteger(ini, kSection, kKey, "1", 30))
        mixOn_ = *on == 1;
    open();
    InstallMixer(this);
}

Tmixu::~Tmixu()
{
    if (&Mixer() == this)
        InstallMixer(nullptr);
    close();
    platform::WritePrivateProfileString(kSection, kKey, mixOn_ ? "1" : "0", platform::SettingsFileName());
}

void Tmixu::open()
{
    std::vector<std::string> &log = AudioLog();
    std::vector<std::string> notes;
    std::unique_ptr<MixerDevice> device = OpenSystemMixer(GetInputDevice(), GetOutputDevice(), &notes);
    lost_ = false;
    mixer_ = std::make_unique<Tumixer>(std::move(device), log, logReads_);
    log.insert(log.end(), notes.begin(), notes.end());
    if (!mixer_->PlayLine() && !mixer_->RecordLine())
        mixOn_ = false;
    if (MixerDevice *d = mixer_->device())
        d->setNotify([this](unsigned message, std::uint32_t id) { notify(message, id); });
}

void Tmixu::close()
{
    if (!mixer_)
        return;
    if (MixerDevice *d = mixer_->device()) {
        d->setNotify({});
        if (!lost_)
            for (const auto &[id, values] : before_)
                d->setValues(id, values);
    }
    before_.clear();
    mixer_.reset();
}

void Tmixu::Reopen()
{
    const bool wanted = mixOn_;
    close();
    mixOn_ = true;
    open();
    mixOn_ = mixOn_ && wanted;
}

void Tmixu::SetMixOn(bool on)
{
    mixOn_ = on && mixer_ && !lost_ && (mixer_->PlayLine() || mixer_->RecordLine());
}

Tumixerline *Tmixu::live(Tumixerline *line) const { return mixOn_ && !lost_ ? line : nullptr; }

TsrcCtr *Tmixu::listControl() const
{
    if (Tumixerline *r = record())
        for (TsrcCtr &c : r->Controls)
            if (IsListControl(c.control.controlType))
                return &c;
    return nullptr;
}

void Tmixu::write(TsrcCtr &c, const std::vector<std::uint32_t> &values)
{
    MixerDevice *d = mixer_->device();
    const std::uint32_t id = c.control.controlId;
    if (!before_.count(id)) {
        std::vector<std::uint32_t> now;
        if (d->getValues(id, now) != MMSYSERR_NOERROR || now.size() != values.size()) {
            if (IsListControl(c.control.controlType))
                now.assign(c.SavedItems.begin(), c.SavedItems.begin() + c.ItemCount);
            else
                now = {c.SavedValue};
        }
        before_[id] = now;
    }
    if (d->setValues(id, values) == MMSYSERR_NOERROR && IsListControl(c.control.controlType))
        std::copy_n(values.begin(), std::min<std::size_t>(values.size(), c.ItemCount), c.Items.begin());
}

void Tmixu::setAll(Tumixerline &line, std::uint32_t type, std::uint32_t value)
{
    for (TsrcCtr &c : line.Controls)
        if (Is(c, type))
            writeSimple(c, value);
}

// ---- recording side ------------------------------------------------------------

int Tmixu::GetRecordSources(std::vector<std::string> &names, std::vector<std::uint32_t> &values, int &selected)
{
    MixerControl::GetRecordSources(names, values, selected);
    const TsrcCtr *list = listControl();
    if (!list)
        return 0;
    for (std::uint32_t i = 0; i < list->ItemCount; ++i) {
        names.push_back(list->ItemNames[i]);
        values.push_back(list->Items[i]);
    }
    const auto first = std::find(values.begin(), values.end(), 1u);
    selected = first == values.end() ? 0 : static_cast<int>(first - values.begin());
    return static_cast<int>(list->ItemCount);
}

int Tmixu::SelectRecordSource(int i)
{
    if (!mixOn_)
        return i;
    Tumixerline *r = record();
    const TsrcCtr *first = listControl();
    // An item the list does not have would leave no source selected at all.
    if (!r || !first || i < 0 || i >= static_cast<int>(first->ItemCount))
        return -1;
    for (TsrcCtr &c : r->Controls)
        if (IsListControl(c.control.controlType)) {
            std::vector<std::uint32_t> values(c.ItemCount, 0);
            if (i < static_cast<int>(c.ItemCount))
                values[static_cast<std::size_t>(i)] = 1;
            write(c, values);
        }
    return i;
}

int Tmixu::FindLineSource()
{
    if (Tumixerline *r = record())
        for (std::size_t s = 0; s < r->Sources.size(); ++s)
            if (r->Sources[s]->line.componentType == MIXERLINE_COMPONENTTYPE_SRC_LINE)
                return static_cast<int>(s);
    return -1;
}

int Tmixu::RecordSourceCount()
{
    Tumixerline *r = record();
    return r ? static_cast<int>(r->Sources.size()) : 0;
}

std::string Tmixu::RecordSourceName(int source)
{
    Tumixerline *r = record();
    if (!r || source < 0 || source >= static_cast<int>(r->Sources.size()))
        return {};
    return r->Sources[static_cast<std::size_t>(source)]->line.name;
}

void Tmixu::SetRecordVolume(std::uint16_t volume, int source)
{
    Tumixerline *r = record();
    // A source the mixer does not have would silence every source.
    if (!r || source < 0 || source >= static_cast<int>(r->Sources.size()))
        return;
    // A control that several sources share (one capture gain behind a
    // selector) belongs to the chosen source: it is written once, with its volume.
    std::set<std::uint32_t> chosen, done;
    for (const TsrcCtr &c : r->Sources[static_cast<std::size_t>(source)]->Controls)
        if (Is(c, MIXERCONTROL_CONTROLTYPE_VOLUME))
            chosen.insert(c.control.controlId);
    for (auto &line : r->Sources)
        for (TsrcCtr &c : line->Controls)
            if (Is(c, MIXERCONTROL_CONTROLTYPE_VOLUME) && done.insert(c.control.controlId).second)
                writeSimple(c, chosen.count(c.control.controlId) ? volume : 0);
}

int Tmixu::GetRecordVolume(int source)
{
    Tumixerline *r = record();
    if (!r || source < 0 || source >= static_cast<int>(r->Sources.size()))
        return -1;
    for (const TsrcCtr &c : r->Sources[static_cast<std::size_t>(source)]->Controls)
        if (Is(c, MIXERCONTROL_CONTROLTYPE_VOLUME))
            return GetControlValue(c);
    return -1;
}

void Tmixu::AddToSourceMask(int source)
{
    if (source >= 0 && source < 32)
        sourceMask_ |= 1u << source;
}

std::uint16_t Tmixu::GetControlValue(const TsrcCtr &control)
{
    if (!mixOn_ || lost_ || !mixer_ || !mixer_->device())
        return 0;
    std::vector<std::uint32_t> v;
    if (mixer_->device()->getValues(control.control.controlId, v) == MMSYSERR_NOERROR && !v.empty())
        return static_cast<std::uint16_t>(std::min<std::uint32_t>(v[0], 65535));
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(control.SavedValue, 65535));
}

// ---- playback side -------------------------------------------------------------

void Tmixu::SetMasterVolume(std::uint16_t volume)
{
    if (Tumixerline *p = play())
        setAll(*p, MIXERCONTROL_CONTROLTYPE_VOLUME, volume);
}

std::uint16_t Tmixu::GetMasterVolume()
{
    Tumixerline *p = play();
    if (!p)
        return 0;
    const TsrcCtr *last = nullptr;
    for (const TsrcCtr &c : p->Controls)
        if (Is(c, MIXERCONTROL_CONTROLTYPE_VOLUME))
            last = &c;
    return last ? GetControlValue(*last) : 0;
}

void Tmixu::SetPlaySourceVolume(std::uint16_t volume, int source)
{
    Tumixerline *p = play();
    if (p && source >= 0 && source < static_cast<int>(p->Sources.size()))
        setAll(*p->Sources[static_cast<std::size_t>(source)], MIXERCONTROL_CONTROLTYPE_VOLUME, volume);
}

void Tmixu::SetPlaySourceMute(bool mute, int source)
{
    Tumixerline *p = play();
    if (p && source >= 0 && source < static_cast<int>(p->Sources.size()))
        setAll(*p->Sources[static_cast<std::size_t>(source)], MIXERCONTROL_CONTROLTYPE_MUTE, mute ? 1 : 0);
}

void Tmixu::SetPlayVolumeByType(std::uint16_t volume, std::uint32_t type)
{
    if (Tumixerline *p = play())
        for (auto &s : p->Sources)
            if (s->line.componentType == type)
                setAll(*s, MIXERCONTROL_CONTROLTYPE_VOLUME, volume);
}

void Tmixu::SetPlayMuteByType(bool mute, std::uint32_t type)
{
    if (Tumixerline *p = play())
        for (auto &s : p->Sources)
            if (s->line.componentType == type)
                setAll(*s, MIXERCONTROL_CONTROLTYPE_MUTE, mute ? 1 : 0);
}

void Tmixu::ResetPlayMixer(std::uint16_t volume)
{
    Tumixerline *p = play();
    if (!p)
        return;
    SetMasterVolume(volume);
    for (std::uint32_t type : {MIXERCONTROL_CONTROLTYPE_FADER, MIXERCONTROL_CONTROLTYPE_TREBLE,
                               MIXERCONTROL_CONTROLTYPE_BASS})
        setAll(*p, type, 32768);
    setAll(*p, MIXERCONTROL_CONTROLTYPE_MUTE, 0);
    for (auto &s : p->Sources) {
        setAll(*s, MIXERCONTROL_CONTROLTYPE_VOLUME, 0);
        setAll(*s, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    }
    SetPlayVolumeByType(65535, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
    SetPlayMuteByType(false, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
}

// ---- notifications -------------------------------------------------------------

void Tmixu::notify(unsigned message, std::uint32_t id)
{
    if (message == MM_MIXM_DEVICE_LOST) {
        if (!lost_) {
            lost_ = true;
            AppendAudioLog("Mixer lost: " + (mixer_ && mixer_->device() ? PlainName(mixer_->device()->name()) : std::string()) +
                           "; mixer operations are off");
        }
        return;
    }
    if (message == MM_MIXM_LINE_CHANGE) {
        ++lineChanges_;
        return;
    }
    if (message != MM_MIXM_CONTROL_CHANGE || !mixOn_ || lost_)
        return;
    if (Tumixerline *r = record()) {
        for (TsrcCtr &c : r->Controls)
            if (IsListControl(c.control.controlType) && c.control.controlId == id) {
                mixer_->ReadControl(c);
                if (hooks_.OnRecordSourceChange)
                    hooks_.OnRecordSourceChange();
            }
        for (std::size_t s = 0; s < r->Sources.size() && s < 32; ++s) {
            if (!(sourceMask_ & (1u << s)))
                continue;
            for (TsrcCtr &c : r->Sources[s]->Controls)
                if (Is(c, MIXERCONTROL_CONTROLTYPE_VOLUME) && c.control.controlId == id) {
                    mixer_->ReadControl(c);
                    if (hooks_.OnRecordVolumeChange)
                        hooks_.OnRecordVolumeChange(c);
                }
        }
    }
    if (Tumixerline *p = play())
        for (const TsrcCtr &c : p->Controls)
            if (Is(c, MIXERCONTROL_CONTROLTYPE_VOLUME) && c.control.controlId == id && hooks_.OnPlayVolumeChange)
                hooks_.OnPlayVolumeChange();
}

} // namespace audio
