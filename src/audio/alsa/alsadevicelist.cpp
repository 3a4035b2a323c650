#include "audio/alsa/alsadevicelist.h"

#include "audio/alsa/alsapcm.h"

#include <algorithm>
#include <cctype>
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

std::string ConfigString(snd_config_t *top, const char *key)
{
    snd_config_t *node = nullptr;
    const char *text = nullptr;
    if (snd_config_search(top, key, &node) >= 0 && snd_config_get_string(node, &text) >= 0 && text)
        return text;
    return {};
}

// The name of the configured "default" PCM in one direction, from its hint.
std::string DefaultDescription(snd_pcm_stream_t stream)
{
    snd_config_t *top = nullptr;
    if (snd_config_update_ref(&top) < 0 || !top)
        return DefaultDeviceDescription(stream, {}, {});
    const std::string description = ConfigString(top, "pcm.default.hint.description");
    const std::string ioid = ConfigString(top, "pcm.default.hint.ioid");
    snd_config_unref(top);
    return DefaultDeviceDescription(stream, description, ioid);
}

bool ContainsText(const std::string &text, const char *word)
{
    std::string lower = text;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(word) != std::string::npos;
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
    std::string cardName = ctlName, cardId;
    if (snd_ctl_card_info(ctl.get(), cardInfo) >= 0) {
        cardName = snd_ctl_card_info_get_name(cardInfo);
        cardId = snd_ctl_card_info_get_id(cardInfo);
    }

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
                out.push_back({pcm, MakeDeviceName(description, pcm), card, device, cardId});
        }
    }
}

} // namespace

std::string DefaultDeviceDescription(snd_pcm_stream_t stream, std::string description, const std::string &ioid)
{
    const bool capture = stream == SND_PCM_STREAM_CAPTURE;
    const std::size_t eol = description.find('\n');
    if (eol != std::string::npos)
        description.resize(eol);
    // A description for the other direction only (the sound servers describe
    // their default PCM as an output) would name an input after an output.
    const bool otherDirection = !ioid.empty() ? ioid != (capture ? "Input" : "Output")
                                              : ContainsText(description, capture ? "output" : "input");
    if (description.empty() || otherDirection)
        return "Default device";
    return description;
}

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

namespace {

bool Digits(const std::string &s)
{
    return !s.empty() && s.size() < 9 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "hw:" or "plughw:" at the start of a name; empty for neither.
std::string CardPrefix(const std::string &name)
{
    for (const char *prefix : {"hw:", "plughw:"})
        if (name.rfind(prefix, 0) == 0)
            return prefix;
    return {};
}

} // namespace

std::string StoredAlsaName(const AlsaDeviceEntry &entry)
{
    const std::string prefix = CardPrefix(entry.pcm);
    if (prefix.empty() || entry.card < 0 || entry.cardId.empty())
        return entry.pcm;
    return prefix + "CARD=" + entry.cardId + ",DEV=" + std::to_string(entry.device);
}

bool AlsaNameMatches(const AlsaDeviceEntry &entry, const std::string &stored)
{
    if (stored.empty())
        return false;
    if (stored == entry.pcm || stored == StoredAlsaName(entry))
        return true;
    const std::string prefix = CardPrefix(stored);
    if (prefix.empty() || prefix != CardPrefix(entry.pcm) || entry.card < 0)
        return false;
    // The arguments, by position (card, device) or by key (CARD=, DEV=).
    std::string card, device = "0";
    std::size_t at = prefix.size();
    for (int position = 0; at <= stored.size(); ++position) {
        const std::size_t comma = std::min(stored.find(',', at), stored.size());
        std::string argument = stored.substr(at, comma - at);
        at = comma + 1;
        std::string *field = position == 0 ? &card : position == 1 ? &device : nullptr;
        if (argument.rfind("CARD=", 0) == 0) {
            field = &card;
            argument.erase(0, 5);
        } else if (argument.rfind("DEV=", 0) == 0) {
            field = &device;
            argument.erase(0, 4);
        }
        if (!field)
            return false;
        *field = argument;
    }
    const bool cardMatches = Digits(card) ? std::stoi(card) == entry.card : card == entry.cardId && !card.empty();
    return cardMatches && Digits(device) && std::stoi(device) == entry.device;
}

void DropCards(std::vector<AlsaDeviceEntry> &devices, const std::vector<int> &cards)
{
    devices.erase(std::remove_if(devices.begin(), devices.end(),
                                 [&](const AlsaDeviceEntry &e) {
                                     return e.card >= 0 &&
                                            std::find(cards.begin(), cards.end(), e.card) != cards.end();
                                 }),
                  devices.end());
}

std::vector<AlsaDeviceEntry> ListAlsaDevices(snd_pcm_stream_t stream, const OpenDevices &open)
{
    std::vector<AlsaDeviceEntry> out;
    if (Opens("default", stream, open))
        out.push_back({"default", MakeDeviceName(DefaultDescription(stream), "default"), -1, -1, {}});
    int card = -1;
    while (snd_card_next(&card) >= 0 && card >= 0)
        ListCard(card, stream, open, out);
    return out;
}

} // namespace audio::alsa
