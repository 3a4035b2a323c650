// The recording side of the mixer on a PipeWire source node, in the shape of
// mixerdevice.h: a "Wave Input" destination with one source line, the node,
// whose VOLUME control is the node's own volume. The value is the node's
// loudest channel volume on the cubic scale the desktop's volume controls and
// the server's ALSA mixer use (65535 * cbrt(volume), at most 65535); setting
// it scales every channel alike, so the balance stays, and setting the value
// that was last set elsewhere writes back exactly the volumes that were set
// then. Changes (the program's own, other programs', the desktop's) are
// reported on the UI thread; a node or server that goes away reports
// MM_MIXM_DEVICE_LOST once and fails every call from then on.
//
// Threads: every call on the UI thread; the server's events arrive on the
// connection's loop thread and go to the UI thread as queued calls.
#pragma once

#include "audio/mixerdevice.h"

#include <memory>

namespace audio::pipewire {

class PwConnection;
struct PwNode;

// The mixer on `node` (a source); null when the node has no volume or the
// server does not answer. Opened on the UI thread.
std::unique_ptr<MixerDevice> OpenPipeWireMixer(std::shared_ptr<PwConnection> connection, const PwNode &node);

// The mixer value of a linear volume, and the linear volume of a value.
std::uint32_t MixerValueOfVolume(float volume);
float VolumeOfMixerValue(std::uint32_t value);

} // namespace audio::pipewire
