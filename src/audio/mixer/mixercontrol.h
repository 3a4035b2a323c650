// Tmixu: the program's system mixer. It mirrors the mixer of the current
// devices (see Tumixer in mixermirror.h), offers the operations the windows
// call through audio::Mixer() (it installs itself there while it exists),
// receives the mixer's change notifications and passes them to the main
// window's hooks.
//
// Mixer support (section "MIX", key "MIXON") switches every operation off.
// The program puts back what it changed: each control it wrote gets, when
// the mixer is closed, the value it had before the program's first write;
// controls it never wrote are left to the user and other programs.
// A mixer that goes away (card unplugged, sound server gone) is logged and
// every operation becomes inert. UI thread only.
#pragma once

#include "audio/mixer/mixer.h"
#include "audio/mixer/mixermirror.h"

#include <QObject>

#include <map>
#include <memory>

namespace audio {

class Tmixu : public QObject, public MixerControl {
public:
    // Reads MIXON, builds the mirror for the current devices and installs itself.
    explicit Tmixu(QObject *parent = nullptr);
    // Puts back what the program wrote, writes MIXON, uninstalls itself.
    ~Tmixu() override;

    void SetLanguage(char) {}

    // Puts back what the program wrote and builds the mirror for the devices
    // now current (after the user picked another device).
    void Reopen();
    void DevicesChanged() override { Reopen(); }

    const Tumixer *Mirror() const { return mixer_.get(); }
    std::uint32_t SourceMask() const { return sourceMask_; }
    int LineChanges() const { return lineChanges_; }
    bool Lost() const { return lost_; }

    // MixerControl
    bool MixOn() const override { return mixOn_; }
    void SetMixOn(bool on) override;
    int GetRecordSources(std::vector<std::string> &names, std::vector<std::uint32_t> &values, int &selected) override;
    int SelectRecordSource(int i) override;
    int FindLineSource() override;
    int RecordSourceCount() override;
    std::string RecordSourceName(int source) override;
    void SetRecordVolume(std::uint16_t volume, int source) override;
    int GetRecordVolume(int source) override;
    void SetMasterVolume(std::uint16_t volume) override;
    std::uint16_t GetMasterVolume() override;
    void SetPlaySourceVolume(std::uint16_t volume, int source) override;
    void SetPlaySourceMute(bool mute, int source) override;
    void SetPlayVolumeByType(std::uint16_t volume, std::uint32_t type) override;
    void SetPlayMuteByType(bool mute, std::uint32_t type) override;
    void ResetPlayMixer(std::uint16_t volume) override;
    void ClearSourceMask() override { sourceMask_ = 0; }
    void AddToSourceMask(int source) override;
    std::uint16_t GetControlValue(const TsrcCtr &control) override;
    void SetHooks(Hooks hooks) override { hooks_ = std::move(hooks); }

private:
    void open();
    void close();
    // The line when the mixer is on and usable, else null.
    Tumixerline *live(Tumixerline *line) const;
    Tumixerline *play() const { return live(mixer_ ? mixer_->PlayLine() : nullptr); }
    Tumixerline *record() const { return live(mixer_ ? mixer_->RecordLine() : nullptr); }
    TsrcCtr *listControl() const;
    // Writes a control, remembering its value before the program's first write.
    void write(TsrcCtr &c, const std::vector<std::uint32_t> &values);
    void writeSimple(TsrcCtr &c, std::uint32_t value) { write(c, {value}); }
    void setAll(Tumixerline &line, std::uint32_t type, std::uint32_t value);
    void notify(unsigned message, std::uint32_t id);

    bool mixOn_ = true;
    std::unique_ptr<Tumixer> mixer_;
    bool lost_ = false;
    std::uint32_t sourceMask_ = 0;
    int lineChanges_ = 0;
    int logReads_ = 150;
    Hooks hooks_;
    std::map<std::uint32_t, std::vector<std::uint32_t>> before_; // control ID -> value before the first write
};

} // namespace audio
