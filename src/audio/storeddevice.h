// The devices a settings file chose, by name: besides the device numbers
// (keys INDEV and OUTDEV of section MAIN) the settings keep a name for each
// device (INDEVNAME, OUTDEVNAME) that still names it after the device list
// changed - the sound server restarted and numbered its nodes anew, a reboot
// numbered the cards anew, a device came or went. UI thread only.
#pragma once

#include <string>

namespace audio {

// The name the settings keep for input ('I') or output ('O') device n: a
// PipeWire node by its node name, an ALSA card's device by the card's name
// ("hw:CARD=PCH,DEV=0"), a virtual card by its listed name. Empty when
// there is no such device.
std::string StoredDeviceName(char kind, int n);

// The backend family of device n ("ALSA", "PipeWire", "virtual"), for
// lists and reports; empty when there is no such device.
std::string DeviceFamily(char kind, int n);

// The device number to select for a stored choice: the device `name` names
// when it is listed; with no name stored (a file of an earlier version)
// device `number`, as before; when the named device is not listed (unplugged,
// its server not running) device 0, the first listed - the system's or the
// sound server's default device where there is one - since the stored
// number was counted in another list and now points at some other device.
// A name not found is said in AudioLog; the line is also kept for
// DeviceChoiceNote.
int StoredDevice(char kind, int number, const std::string &name);

// The line the last StoredDevice call of this direction wrote; empty when
// it found the named device or had no name to look for.
std::string DeviceChoiceNote(char kind);

} // namespace audio
