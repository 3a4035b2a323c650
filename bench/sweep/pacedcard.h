// The engine on the paced virtual card for the sweep benchmarks: `config`
// (paced, its own test signal off) as the only devices, both at `rate` Hz,
// 24 bits, stereo. The caller keeps an audio::Tdummy alive for the run.
#pragma once

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/setupsoundinterface.h"

#include <cstdint>
#include <cstdio>

namespace bench {

inline bool StartPacedCard(audio::VirtualCardConfig config, int rate)
{
    config.paced = true;
    config.signal = audio::VirtualCardConfig::Signal::Off;
    audio::SetupSoundInterface(config, false);
    if (audio::InitAudio() != 0) {
        std::printf("FAILED: the engine did not start\n");
        return false;
    }
    int in = 0, out = 0;
    std::uint32_t mask = 0;
    audio::DeviceReport(in, out, mask);
    audio::SelectInputDevice(0);
    audio::SelectOutputDevice(0);
    audio::SetDeviceFormat(audio::InputSettings(0), "", rate, false, 24, 2);
    audio::SetDeviceFormat(audio::OutputSettings(0), "", rate, false, 24, 2);
    return true;
}

} // namespace bench
