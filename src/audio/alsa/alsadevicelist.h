// The ALSA PCMs offered as wave devices: "default" and, per card and PCM
// device, its hw and plughw names, each only if it opens at the moment (a
// probe open in non-blocking mode, closed at once). A machine without cards
// and without a sound server therefore lists nothing.
#pragma once

#include "audio/alsa/alsaopendevices.h"

#include <alsa/asoundlib.h>

#include <cstddef>
#include <string>
#include <vector>

namespace audio::alsa {

struct AlsaDeviceEntry {
    std::string pcm;  // name to pass to snd_pcm_open, e.g. "plughw:0,0"
    std::string name; // readable name shown to the user, at most kMaxDeviceName
    int card = -1;    // card number of a hw or plughw device, else -1
    int device = -1;  // its PCM device number on the card
    std::string cardId; // the card's id ("PCH"), which keeps when cards are numbered anew
};

inline constexpr std::size_t kMaxDeviceName = 120;

// Lists the devices of one direction. PCMs that `open` says this process holds
// are listed without a probe (a hw device refuses a second open).
std::vector<AlsaDeviceEntry> ListAlsaDevices(snd_pcm_stream_t stream, const OpenDevices &open);

// The name of the "default" PCM in one direction from its configured hint
// (description and ioid): the description when it is for that direction,
// else the neutral "Default device". The sound servers describe their
// default PCM as an output ("Default ALSA Output (currently PipeWire Media
// Server)"), which must not name an input device.
std::string DefaultDeviceDescription(snd_pcm_stream_t stream, std::string description, const std::string &ioid);

// "<description> (<pcm>)", the description shortened so that the whole name
// keeps to kMaxDeviceName characters (UTF-8 sequences are not split).
std::string MakeDeviceName(const std::string &description, const std::string &pcm);

// The name the settings keep for a device: "hw:CARD=<id>,DEV=<n>" (or
// plughw) for a card's device, so that a reboot that numbers the cards anew
// keeps the choice; the PCM name for anything else ("default").
std::string StoredAlsaName(const AlsaDeviceEntry &entry);

// Whether a stored name names the device: its stored form, its PCM name
// ("hw:1,0", the numbered form), or ALSA's other spellings of a card's
// device ("hw:PCH,0", "hw:CARD=1", DEV 0 when not given). hw and plughw
// are different devices.
bool AlsaNameMatches(const AlsaDeviceEntry &entry, const std::string &stored);

// Drops the devices of these cards from a list ("default" stays).
void DropCards(std::vector<AlsaDeviceEntry> &devices, const std::vector<int> &cards);

} // namespace audio::alsa
