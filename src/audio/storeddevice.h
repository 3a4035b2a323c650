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

// Selects the device a settings file chose and returns its number: the
// device `name` names when it is listed among the devices the engine can
// use; with no name stored (a file of an earlier version) device `number`,
// as before. When the named device is not there (unplugged, its server not
// running), `number` is selected by the rule of earlier files (0 when it is
// beyond the list), and the choice is said: in AudioLog and in
// MissingDeviceNote. The name is then kept for the next save
// (DeviceNameToStore) until another device is selected, so that the choice
// returns when the device does.
int SelectStoredDevice(char kind, int number, const std::string &name);

// A stored device that was not found by the last SelectStoredDevice of its
// direction: the name, and the device used instead (-1 when there is none).
struct MissingDevice {
    std::string name;
    int listedAs = -1; // its number when it is listed beyond the usable ones
    int used = -1;
    std::string usedName;
};
// Empty name when the last choice found its device or had no name.
MissingDevice MissingStoredDevice(char kind);
// The line that says it (English, for logs and the command line); empty
// when nothing is missing.
std::string MissingDeviceNote(char kind);

// The name to store for the current device of a direction: the name of a
// device that was not found while no other was selected since, else the
// current device's stored name.
std::string DeviceNameToStore(char kind);

// Forgets a missing device (a device was selected). Called by the
// selection functions of devices.h.
void ForgetMissingDevice(char kind);

} // namespace audio
