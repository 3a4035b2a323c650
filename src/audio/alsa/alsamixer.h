// One side of an ALSA card's mixer, through the simple-mixer API, in the
// shape of mixerdevice.h.
//
// Playback: a "Speakers" destination named after "Master" (its volume and
// switch as VOLUME and MUTE, "Bass" and "Treble" as BASS and TREBLE) with the
// sources "PCM" (as "Wave Out"), "Line", "CD", "Mic" and "Aux", each with its
// volume and switch. Recording: a "Wave Input" destination whose list control
// is the card's capture source selector (an enumerated capture element, or
// the elements whose capture switches exclude each other); with a selector
// the sources are its items, else the elements with a capture volume. A
// source without a capture volume of its own is given the card's "Capture"
// gain. Whatever the card lacks is simply absent.
//
// Changes (the program's own, other programs', the desktop's) arrive as ALSA
// control events, read through socket notifiers on the UI thread. A mixer
// whose card or sound server goes away reports MM_MIXM_DEVICE_LOST once and
// fails every call from then on.
#pragma once

#include "audio/mixerdevice.h"

#include <memory>
#include <string>

namespace audio::alsa {

// Opens the playback or recording side of the simple mixer of control device
// `ctl` ("hw:0", "default"); null when it cannot be opened or has nothing for
// that side.
std::unique_ptr<MixerDevice> OpenAlsaMixer(const std::string &ctl, bool recording);

// The control device of a PCM's card: "hw:N" for hw:N,M and plughw:N,M,
// "default" for "default", empty for anything else.
std::string MixerCtlForPcm(const std::string &pcm);

} // namespace audio::alsa
