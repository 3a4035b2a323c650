#include "audio/setupsoundinterface.h"
#include "audio/soundinterface.h"
#include "audio/virtualcard/virtualcardbackend.h"

#include "platform/runtime/utilities.h"

#if SONALYX_HAVE_ALSA_BACKEND
#include "audio/alsa/alsabackend.h"
#endif
#if SONALYX_HAVE_PIPEWIRE_BACKEND
#include "audio/pipewire/pipewirebackend.h"
#endif

namespace audio {

void SetupSoundInterface()
{
    SetupSoundInterface(LoadLoopbackSettings(platform::SettingsFileName()), true);
}

void SetupSoundInterface(const VirtualCardConfig &config, bool withRealDevices)
{
    std::vector<std::shared_ptr<SoundBackend>> backends;
#if SONALYX_HAVE_ALSA_BACKEND
    if (withRealDevices) {
        if (std::shared_ptr<SoundBackend> alsa = CreateAlsaBackend())
            backends.push_back(std::move(alsa));
    }
#endif
#if SONALYX_HAVE_PIPEWIRE_BACKEND
    // After ALSA, so that the numbers of ALSA devices stored by earlier
    // versions keep their meaning; not listed when no server answers.
    if (withRealDevices) {
        if (std::shared_ptr<SoundBackend> pipewire = CreatePipeWireBackend())
            backends.push_back(std::move(pipewire));
    }
#endif
    backends.push_back(std::make_shared<VirtualCardBackend>(config));
    SoundInterface::instance().setBackends(std::move(backends));
}

} // namespace audio
