// Helpers over ALSA's PCM API shared by the ALSA backend and its devices:
// status numbers for ALSA errors, opening and configuring a PCM for a
// WaveFormat, and the capability probe that fills the platform format bits.
#pragma once

#include "audio/soundinterface.h"

#include <alsa/asoundlib.h>

#include <cstdint>
#include <memory>
#include <string>

namespace audio::alsa {

// Status of an ALSA error (a negative errno): ALSA_ERROR_BASE + errno.
// Codes ALSA has beyond the errno range become MMSYSERR_ERROR.
int AlsaStatus(int err);

// snd_strerror's text for a status made by AlsaStatus; empty for other codes.
std::string AlsaStatusText(int code);

// ALSA sample format for wBitsPerSample (8 U8, 16 S16_LE, 32 S32_LE carrying
// 24-bit samples in its upper bits); SND_PCM_FORMAT_UNKNOWN for other values.
snd_pcm_format_t PcmFormatForBits(int bits);

// Whether the record is a PCM format this backend can open: tag 1, one or two
// channels, 8, 16 or 32 bits, consistent block alignment, a rate above 0.
bool IsUsableFormat(const WaveFormat &format);

struct PcmCloser {
    void operator()(snd_pcm_t *pcm) const
    {
        if (pcm)
            snd_pcm_close(pcm);
    }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmCloser>;

// Opens a PCM in non-blocking mode. Returns 0 or the status of the failure.
int OpenPcm(const std::string &name, snd_pcm_stream_t stream, PcmPtr &pcm);

// Buffer geometry chosen by ConfigurePcm, in frames.
struct PcmGeometry {
    snd_pcm_uframes_t bufferFrames = 0;
    snd_pcm_uframes_t periodFrames = 0;
    bool canPause = false;
    // The driver moves its position in whole periods (a batch device).
    bool batch = false;
};

// Sets interleaved access, the exact rate, sample format and channel count of
// `format`, and a buffer and period near the given times (microseconds).
// Returns WAVERR_BADFORMAT when the device refuses the format, an ALSA status
// for other failures, 0 on success.
int ConfigurePcm(snd_pcm_t *pcm, const WaveFormat &format, unsigned bufferUs, unsigned periodUs,
                 PcmGeometry &geometry);

// The first steps of opening a device in either direction: checks the
// format, opens the PCM and configures it (see ConfigurePcm).
int OpenConfiguredPcm(const std::string &name, snd_pcm_stream_t stream, const WaveFormat &format,
                      unsigned bufferUs, unsigned periodUs, PcmPtr &pcm, PcmGeometry &geometry);

// The rates that have platform format bits, in the order of their bit groups.
inline constexpr std::uint32_t kProbeRates[] = {11025, 22050, 44100, 48000, 96000};

// Platform format bit for a rate, resolution and channel count; 0 if none.
std::uint32_t PlatformFormatBit(std::uint32_t rate, int bits, int channels);

// What a PCM takes, found by hardware-parameter tests on an open PCM.
struct PcmSupport {
    std::uint32_t formats = 0;  // platform bits (8 and 16 bits, mono and stereo)
    std::uint32_t rates32 = 0;  // bit i: kProbeRates[i] works in stereo at 32 bits
    std::uint16_t channels = 0; // 2 when stereo works, 1 when only mono, else 0
};
PcmSupport ProbeSupport(snd_pcm_t *pcm);

// Whether a PCM with the given support takes stereo `bits` at `rate`, as far
// as the table tells (rates without a bit are not covered and give false).
bool SupportCovers(const PcmSupport &support, std::uint32_t rate, int bits);

// Whether an open (unconfigured) PCM takes interleaved stereo `bits` at
// exactly `rate`. Changes nothing on the PCM.
bool PcmTakes(snd_pcm_t *pcm, std::uint32_t rate, int bits, unsigned channels = 2);

} // namespace audio::alsa
