#include "audio/alsa/alsasoundbackend.h"
#include "audio/alsa/alsamixer.h"

#include "audio/alsa/alsabackend.h"
#include "audio/alsa/alsawavein.h"
#include "audio/alsa/alsawaveout.h"

namespace audio {

std::shared_ptr<SoundBackend> CreateAlsaBackend()
{
    return std::make_shared<alsa::AlsaSoundBackend>();
}

} // namespace audio

namespace audio::alsa {

AlsaSoundBackend::AlsaSoundBackend() = default;

void AlsaSoundBackend::list(bool input)
{
    Direction &d = direction(input);
    d.devices = ListAlsaDevices(d.stream, *open_);
    DropCards(d.devices, cardsElsewhere_);
    d.listed = true;
}

int AlsaSoundBackend::count(bool input)
{
    Direction &d = direction(input);
    if (!d.listed)
        list(input);
    return static_cast<int>(d.devices.size());
}

void AlsaSoundBackend::refresh()
{
    list(true);
    list(false);
}

int AlsaSoundBackend::inputCount()
{
    return count(true);
}

int AlsaSoundBackend::outputCount()
{
    return count(false);
}

const AlsaDeviceEntry *AlsaSoundBackend::entry(bool input, int index)
{
    Direction &d = direction(input);
    if (!d.listed)
        list(input);
    if (index < 0 || index >= static_cast<int>(d.devices.size()))
        return nullptr;
    return &d.devices[static_cast<std::size_t>(index)];
}

std::string AlsaSoundBackend::storedName(bool input, int index)
{
    const AlsaDeviceEntry *e = entry(input, index);
    return e ? StoredAlsaName(*e) : std::string();
}

int AlsaSoundBackend::findStored(bool input, const std::string &stored)
{
    const int n = count(input);
    const std::vector<AlsaDeviceEntry> &devices = direction(input).devices;
    for (int i = 0; i < n; ++i)
        if (AlsaNameMatches(devices[static_cast<std::size_t>(i)], stored))
            return i;
    return -1;
}

void AlsaSoundBackend::setCardsListedElsewhere(const std::vector<int> &cards)
{
    if (cards == cardsElsewhere_)
        return;
    // Called right after a refresh: the lists are taken again without these
    // cards (and with those no longer held elsewhere).
    cardsElsewhere_ = cards;
    for (const bool input : {true, false})
        if (direction(input).listed)
            list(input);
}

std::string AlsaSoundBackend::pcmName(bool input, int index)
{
    const AlsaDeviceEntry *e = entry(input, index);
    return e ? e->pcm : std::string();
}

int AlsaSoundBackend::support(bool input, const AlsaDeviceEntry &e, PcmSupport &out)
{
    Direction &d = direction(input);
    auto key = std::make_pair(input, e.pcm);
    PcmPtr pcm;
    int status = OpenPcm(e.pcm, d.stream, pcm);
    if (status == MMSYSERR_NOERROR) {
        out = ProbeSupport(pcm.get());
        supportCache_[key] = out;
        return MMSYSERR_NOERROR;
    }
    auto cached = supportCache_.find(key);
    if (cached != supportCache_.end() && open_->contains(d.stream, e.pcm)) {
        out = cached->second;
        return MMSYSERR_NOERROR;
    }
    return status;
}

template <class Caps>
int AlsaSoundBackend::caps(bool input, int index, Caps &caps)
{
    const AlsaDeviceEntry *e = entry(input, index);
    if (!e)
        return MMSYSERR_BADDEVICEID;
    // The other fields stay 0: no volume, pitch or rate control through this
    // interface.
    caps = Caps{};
    caps.name = e->name;
    PcmSupport s;
    int status = support(input, *e, s);
    if (status != MMSYSERR_NOERROR)
        return status;
    caps.formats = s.formats;
    caps.channels = s.channels;
    return MMSYSERR_NOERROR;
}

int AlsaSoundBackend::inputCaps(int index, WaveInCaps &c)
{
    return caps(true, index, c);
}

int AlsaSoundBackend::outputCaps(int index, WaveOutCaps &c)
{
    return caps(false, index, c);
}

std::string AlsaSoundBackend::deviceName(bool input, int index)
{
    const AlsaDeviceEntry *e = entry(input, index);
    return e ? e->name : std::string();
}

int AlsaSoundBackend::query(bool input, int index, const WaveFormat &format)
{
    const AlsaDeviceEntry *e = entry(input, index);
    if (!e)
        return MMSYSERR_BADDEVICEID;
    if (!IsUsableFormat(format))
        return WAVERR_BADFORMAT;
    Direction &d = direction(input);
    PcmPtr pcm;
    int status = OpenPcm(e->pcm, d.stream, pcm);
    if (status == MMSYSERR_NOERROR)
        return PcmTakes(pcm.get(), format.nSamplesPerSec, format.wBitsPerSample, format.nChannels)
                   ? MMSYSERR_NOERROR
                   : WAVERR_BADFORMAT;
    // Busy because we use it ourselves: answer from the last probe.
    auto cached = supportCache_.find({input, e->pcm});
    if (cached != supportCache_.end() && open_->contains(d.stream, e->pcm) && format.nChannels == 2)
        return SupportCovers(cached->second, format.nSamplesPerSec, format.wBitsPerSample)
                   ? MMSYSERR_NOERROR
                   : WAVERR_BADFORMAT;
    return status;
}

int AlsaSoundBackend::queryInput(int index, const WaveFormat &format)
{
    return query(true, index, format);
}

int AlsaSoundBackend::queryOutput(int index, const WaveFormat &format)
{
    return query(false, index, format);
}

int AlsaSoundBackend::openInput(int index, const WaveFormat &format, InputTarget target,
                                std::unique_ptr<WaveInDevice> &device)
{
    const AlsaDeviceEntry *e = entry(true, index);
    if (!e)
        return MMSYSERR_BADDEVICEID;
    return AlsaWaveIn::open(e->pcm, format, target, open_, device);
}

int AlsaSoundBackend::openOutput(int index, const WaveFormat &format, OutputCallback callback,
                                 std::unique_ptr<WaveOutDevice> &device)
{
    const AlsaDeviceEntry *e = entry(false, index);
    if (!e)
        return MMSYSERR_BADDEVICEID;
    return AlsaWaveOut::open(e->pcm, format, std::move(callback), open_, device);
}

std::string AlsaSoundBackend::errorText(int code)
{
    return AlsaStatusText(code);
}

std::unique_ptr<MixerDevice> AlsaSoundBackend::openMixer(bool input, int index)
{
    const std::string pcm = pcmName(input, index);
    if (pcm == "default" && !input)
        return nullptr;
    return OpenAlsaMixer(MixerCtlForPcm(pcm), input);
}

} // namespace audio::alsa
