#include "audio/alsa/alsadevicelist.h"

#include "audio/alsa/alsapcm.h"

#include <memory>

namespace audio::alsa {

namespace {

bool Opens(const std::string &pcm, snd_pcm_stream_t stream, const OpenDevices &open)
{
    if (open.contains(stream, pcm))
        return true;
    PcmPtr probe;
    return OpenPcm(pcm, stream, probe) == MMSYSERR_NOERROR;
}

// The hint description of the configured "default" PCM (for example the
// sound server's name), or a plain text when the configuration has none.
std::string DefaultDescription()
{
    std::string text = "Default device";
    snd_config_t *top = nullptr;
    if (snd_config_update_ref(&top) < 0 || !top)
        return text;
    snd_config_t *node = nullptr;
    const char *desc = nullptr;
    if (snd_config_search(top, "pcm.default.hint.description", &node) >= 0 &&
        snd_config_get_string(node, &desc) >= 0 && desc && *desc) {
        text = desc;
        std::size_t eol = text.find('\n');
        if (eol != std::string::npos)
            text.resize(eol);
    }
    snd_config_unref(top);
    return text;
}

struct CtlCloser {
    void operator()(snd_ctl_t *c) const { snd_ctl_close(c); }
};

void ListCard(int card, snd_pcm_stream_t stream, const OpenDevices &open,
              std::vector<AlsaDeviceEntry> &out)
{
    std::string ctlName = "hw:" + std::to_string(card);
    snd_ctl_t *raw = nullptr;
    if (snd_ctl_open(&raw, ctlName.c_str(), SND_CTL_NONBLOCK) < 0)
        return;
    std::unique_ptr<snd_ctl_t, CtlCloser> ctl(raw);

    snd_ctl_card_info_t *cardInfo = nullptr;
    snd_ctl_card_info_alloca(&cardInfo);
    std::string cardName = ctlName;
    if (snd_ctl_card_info(ctl.get(), cardInfo) >= 0)
        cardName = snd_ctl_card_info_get_name(cardInfo);

    snd_pcm_info_t *pcmInfo = nullptr;
    snd_pcm_info_alloca(&pcmInfo);
    int device = -1;
    while (snd_ctl_pcm_next_device(ctl.get(), &device) >= 0 && device >= 0) {
        snd_pcm_info_set_device(pcmInfo, static_cast<unsigned>(device));
        snd_pcm_info_set_subdevice(pcmInfo, 0);
        snd_pcm_info_set_stream(pcmInfo, stream);
        if (snd_ctl_pcm_info(ctl.get(), pcmInfo) < 0)
            continue; // the device has no PCM of this direction
        std::string description = cardName + ": " + snd_pcm_info_get_name(pcmInfo);
        std::string address = std::to_string(card) + "," + std::to_string(device);
        // hw first: the unconverted path a measurement wants; plughw converts
        // formats and rates the hardware lacks.
        for (const char *prefix : {"hw:", "plughw:"}) {
            std::string pcm = prefix + address;
            if (Opens(pcm, stream, open))
                out.push_back({pcm, MakeDeviceName(description, pcm)});
        }
    }
}

} // namespace

std::string MakeDeviceName(const std::string &description, const std::string &pcm)
{
    std::string suffix = " (" + pcm + ")";
    if (suffix.size() >= kMaxDeviceName)
        return suffix.substr(1, kMaxDeviceName);
    std::string head = description;
    std::size_t room = kMaxDeviceName - suffix.size();
    if (head.size() > room) {
        std::size_t cut = room;
        // Step back over UTF-8 continuation bytes so no character is split.
        while (cut > 0 && (static_cast<unsigned char>(head[cut]) & 0xC0) == 0x80)
            --cut;
        head.resize(cut);
        while (!head.empty() && head.back() == ' ')
            head.pop_back();
    }
    return head + suffix;
}

std::vector<AlsaDeviceEntry> ListAlsaDevices(snd_pcm_stream_t stream, const OpenDevices &open)
{
    std::vector<AlsaDeviceEntry> out;
    if (Opens("default", stream, open))
        out.push_back({"default", MakeDeviceName(DefaultDescription(), "default")});
    int card = -1;
    while (snd_card_next(&card) >= 0 && card >= 0)
        ListCard(card, stream, open, out);
    return out;
}

} // namespace audio::alsa
