#include "audio/alsa/alsapcm.h"

#include <cerrno>
#include <iterator>

namespace audio::alsa {

namespace {

// errno values are small; ALSA's own codes start at 500000.
constexpr int kLargestErrno = 499;

struct HwParamsDeleter {
    void operator()(snd_pcm_hw_params_t *p) const { snd_pcm_hw_params_free(p); }
};
using HwParamsPtr = std::unique_ptr<snd_pcm_hw_params_t, HwParamsDeleter>;

HwParamsPtr NewHwParams()
{
    snd_pcm_hw_params_t *p = nullptr;
    if (snd_pcm_hw_params_malloc(&p) < 0)
        return nullptr;
    return HwParamsPtr(p);
}

// Narrows a copy of `base` to the access, format, channels and exact rate.
bool Narrow(snd_pcm_t *pcm, snd_pcm_hw_params_t *p, snd_pcm_format_t fmt, unsigned channels,
            unsigned rate)
{
    return snd_pcm_hw_params_set_access(pcm, p, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
           snd_pcm_hw_params_set_format(pcm, p, fmt) >= 0 &&
           snd_pcm_hw_params_set_channels(pcm, p, channels) >= 0 &&
           snd_pcm_hw_params_set_rate(pcm, p, rate, 0) >= 0;
}

bool Takes(snd_pcm_t *pcm, const snd_pcm_hw_params_t *base, snd_pcm_hw_params_t *scratch,
           std::uint32_t rate, int bits, unsigned channels)
{
    snd_pcm_format_t fmt = PcmFormatForBits(bits);
    if (fmt == SND_PCM_FORMAT_UNKNOWN)
        return false;
    snd_pcm_hw_params_copy(scratch, base);
    return Narrow(pcm, scratch, fmt, channels, rate);
}

int RateGroup(std::uint32_t rate)
{
    for (std::size_t i = 0; i < std::size(kProbeRates); ++i)
        if (kProbeRates[i] == rate)
            return static_cast<int>(i);
    return -1;
}

} // namespace

int AlsaStatus(int err)
{
    if (err >= 0)
        return MMSYSERR_NOERROR;
    if (-err > kLargestErrno)
        return MMSYSERR_ERROR;
    return ALSA_ERROR_BASE + (-err);
}

std::string AlsaStatusText(int code)
{
    if (code <= ALSA_ERROR_BASE || code > ALSA_ERROR_BASE + kLargestErrno)
        return {};
    return snd_strerror(-(code - ALSA_ERROR_BASE));
}

snd_pcm_format_t PcmFormatForBits(int bits)
{
    switch (bits) {
    case 8:
        return SND_PCM_FORMAT_U8;
    case 16:
        return SND_PCM_FORMAT_S16_LE;
    case 32:
        return SND_PCM_FORMAT_S32_LE;
    default:
        return SND_PCM_FORMAT_UNKNOWN;
    }
}

bool IsUsableFormat(const WaveFormat &f)
{
    if (f.wFormatTag != 1 || (f.nChannels != 1 && f.nChannels != 2) || f.nSamplesPerSec == 0)
        return false;
    if (PcmFormatForBits(f.wBitsPerSample) == SND_PCM_FORMAT_UNKNOWN)
        return false;
    return f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

int OpenPcm(const std::string &name, snd_pcm_stream_t stream, PcmPtr &pcm)
{
    snd_pcm_t *p = nullptr;
    int err = snd_pcm_open(&p, name.c_str(), stream, SND_PCM_NONBLOCK);
    if (err < 0)
        return AlsaStatus(err);
    pcm.reset(p);
    return MMSYSERR_NOERROR;
}

int ConfigurePcm(snd_pcm_t *pcm, const WaveFormat &format, unsigned bufferUs, unsigned periodUs,
                 PcmGeometry &geometry)
{
    if (!IsUsableFormat(format))
        return WAVERR_BADFORMAT;
    HwParamsPtr hw = NewHwParams();
    if (!hw)
        return MMSYSERR_NOMEM;
    int err = snd_pcm_hw_params_any(pcm, hw.get());
    if (err < 0)
        return AlsaStatus(err);
    if (!Narrow(pcm, hw.get(), PcmFormatForBits(format.wBitsPerSample), format.nChannels,
                format.nSamplesPerSec))
        return WAVERR_BADFORMAT;
    int dir = 0;
    unsigned buffer = bufferUs;
    unsigned period = periodUs;
    // Some plugins fix one of the two; failing to get near the wish is harmless.
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw.get(), &buffer, &dir);
    dir = 0;
    snd_pcm_hw_params_set_period_time_near(pcm, hw.get(), &period, &dir);
    err = snd_pcm_hw_params(pcm, hw.get());
    if (err < 0)
        return err == -EINVAL ? WAVERR_BADFORMAT : AlsaStatus(err);
    snd_pcm_hw_params_get_buffer_size(hw.get(), &geometry.bufferFrames);
    dir = 0;
    snd_pcm_hw_params_get_period_size(hw.get(), &geometry.periodFrames, &dir);
    geometry.canPause = snd_pcm_hw_params_can_pause(hw.get()) != 0;
    geometry.batch = snd_pcm_hw_params_is_batch(hw.get()) != 0;
    return MMSYSERR_NOERROR;
}

std::uint32_t PlatformFormatBit(std::uint32_t rate, int bits, int channels)
{
    int group = RateGroup(rate);
    if (group < 0 || (bits != 8 && bits != 16) || (channels != 1 && channels != 2))
        return 0;
    int bit = group * 4 + (bits == 16 ? 2 : 0) + (channels == 2 ? 1 : 0);
    return std::uint32_t{1} << bit;
}

PcmSupport ProbeSupport(snd_pcm_t *pcm)
{
    PcmSupport s;
    HwParamsPtr base = NewHwParams();
    HwParamsPtr scratch = NewHwParams();
    if (!base || !scratch || snd_pcm_hw_params_any(pcm, base.get()) < 0)
        return s;
    bool stereo = false;
    bool mono = false;
    for (std::size_t i = 0; i < std::size(kProbeRates); ++i) {
        std::uint32_t rate = kProbeRates[i];
        for (int bits : {8, 16}) {
            for (unsigned ch : {1u, 2u}) {
                if (Takes(pcm, base.get(), scratch.get(), rate, bits, ch)) {
                    s.formats |= PlatformFormatBit(rate, bits, static_cast<int>(ch));
                    (ch == 2 ? stereo : mono) = true;
                }
            }
        }
        if (Takes(pcm, base.get(), scratch.get(), rate, 32, 2)) {
            s.rates32 |= std::uint32_t{1} << i;
            stereo = true;
        }
    }
    s.channels = stereo ? 2 : (mono ? 1 : 0);
    return s;
}

bool SupportCovers(const PcmSupport &support, std::uint32_t rate, int bits)
{
    int group = RateGroup(rate);
    if (group < 0)
        return false;
    if (bits == 32)
        return (support.rates32 >> group) & 1u;
    return (support.formats & PlatformFormatBit(rate, bits, 2)) != 0;
}

bool PcmTakes(snd_pcm_t *pcm, std::uint32_t rate, int bits, unsigned channels)
{
    HwParamsPtr base = NewHwParams();
    HwParamsPtr scratch = NewHwParams();
    if (!base || !scratch || snd_pcm_hw_params_any(pcm, base.get()) < 0)
        return false;
    return Takes(pcm, base.get(), scratch.get(), rate, bits, channels);
}

int OpenConfiguredPcm(const std::string &name, snd_pcm_stream_t stream, const WaveFormat &format,
                      unsigned bufferUs, unsigned periodUs, PcmPtr &pcm, PcmGeometry &geometry)
{
    if (!IsUsableFormat(format))
        return WAVERR_BADFORMAT;
    int status = OpenPcm(name, stream, pcm);
    if (status != MMSYSERR_NOERROR)
        return status;
    return ConfigurePcm(pcm.get(), format, bufferUs, periodUs, geometry);
}

} // namespace audio::alsa
