#include "audio/pipewire/pipewirebackend.h"

#include "audio/pipewire/pipewireconnection.h"
#include "audio/pipewire/pipewiremixer.h"
#include "audio/pipewire/pipewirestream.h"
#include "audio/pipewire/pipewirewavein.h"
#include "audio/pipewire/pipewirewaveout.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

namespace audio {

std::shared_ptr<SoundBackend> CreatePipeWireBackend()
{
    return pipewire::PipeWireBackend::create();
}

} // namespace audio

namespace audio::pipewire {

namespace {

constexpr std::size_t kMaxDeviceName = 120;
// Rates the server's converter is asked to take.
constexpr std::uint32_t kMinRate = 1000, kMaxRate = 768000;

// Every stereo and mono bit of the classic format mask: the server converts
// any of them.
constexpr std::uint32_t kAllFormats = 0x000FFFFF;

// Opens the session manager refused at once, and the pause between them:
// after a restart of the server it takes its nodes in within a second or
// two, longer on a busy machine.
constexpr int kOpenAttempts = 12;
constexpr int kOpenRetryMs = 250;

std::string CutToCharacters(std::string s, std::size_t max)
{
    if (s.size() <= max)
        return s;
    std::size_t cut = max;
    // Step back over UTF-8 continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
        --cut;
    s.resize(cut);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

bool Usable(const WaveFormat &f)
{
    const int bits = f.wBitsPerSample;
    return f.wFormatTag == 1 && (f.nChannels == 1 || f.nChannels == 2) && (bits == 8 || bits == 16 || bits == 32) &&
           f.nBlockAlign == f.nChannels * bits / 8 && f.nSamplesPerSec >= kMinRate && f.nSamplesPerSec <= kMaxRate;
}

} // namespace

std::string PipeWireErrorText(int code)
{
    switch (code) {
    case PIPEWIRE_NO_SERVER: return "PipeWire: the sound server does not answer.";
    case PIPEWIRE_NODE_NOT_FOUND: return "PipeWire: the chosen device is not available (removed or renamed).";
    case PIPEWIRE_LINKED_ELSEWHERE:
        return "PipeWire: the session manager connected the stream to another device than the one chosen.";
    case PIPEWIRE_NOT_LINKED: return "PipeWire: the session manager did not connect the stream to the device.";
    case PIPEWIRE_STREAM_FAILED: return "PipeWire: the sound server refused or ended the stream.";
    default: return {};
    }
}

std::vector<std::string> DeviceNames(const std::vector<std::pair<std::string, std::string>> &nodes)
{
    std::map<std::string, int> uses;
    for (const auto &n : nodes)
        ++uses[n.second];
    std::vector<std::string> names;
    names.reserve(nodes.size());
    for (const auto &[node, description] : nodes) {
        if (uses[description] < 2) {
            names.push_back(CutToCharacters(description, kMaxDeviceName));
            continue;
        }
        const std::string suffix = " (" + node + ")";
        if (suffix.size() >= kMaxDeviceName)
            names.push_back(CutToCharacters(node, kMaxDeviceName));
        else
            names.push_back(CutToCharacters(description, kMaxDeviceName - suffix.size()) + suffix);
    }
    return names;
}

std::shared_ptr<PipeWireBackend> PipeWireBackend::create()
{
    std::shared_ptr<PwConnection> c = PwConnection::connect();
    if (!c)
        return nullptr;
    return std::shared_ptr<PipeWireBackend>(new PipeWireBackend(std::move(c)));
}

PipeWireBackend::PipeWireBackend(std::shared_ptr<PwConnection> connection)
    : connection_(std::move(connection)), board_(std::make_shared<StatusBoard>()),
      parking_(std::make_shared<CaptureParking>())
{
}

PipeWireBackend::~PipeWireBackend() = default;

bool PipeWireBackend::connected() const
{
    if (!connection_)
        return false;
    LoopLock lock(*connection_);
    return connection_->alive();
}

bool PipeWireBackend::reconnect()
{
    if (connected())
        return true;
    if (std::shared_ptr<PwConnection> c = PwConnection::connect()) {
        connection_ = std::move(c);
        return true;
    }
    return false;
}

void PipeWireBackend::list()
{
    inputs_.clear();
    outputs_.clear();
    listed_ = true;
    if (!reconnect())
        return;
    std::vector<std::pair<std::string, std::string>> in, out;
    std::vector<PwNode> inNodes, outNodes;
    {
        LoopLock lock(*connection_);
        for (const PwNode &n : connection_->nodes()) {
            (n.sink ? out : in).emplace_back(n.name, n.description);
            (n.sink ? outNodes : inNodes).push_back(n);
        }
    }
    const std::vector<std::string> inNames = DeviceNames(in), outNames = DeviceNames(out);
    for (std::size_t i = 0; i < in.size(); ++i)
        inputs_.push_back({in[i].first, inNames[i], inNodes[i].channels, inNodes[i].alsaCard});
    for (std::size_t i = 0; i < out.size(); ++i)
        outputs_.push_back({out[i].first, outNames[i], outNodes[i].channels, outNodes[i].alsaCard});
}

void PipeWireBackend::refresh()
{
    parking_->clear();
    list();
}

int PipeWireBackend::inputCount()
{
    if (!listed_)
        list();
    return static_cast<int>(inputs_.size());
}

int PipeWireBackend::outputCount()
{
    if (!listed_)
        list();
    return static_cast<int>(outputs_.size());
}

const PipeWireBackend::Entry *PipeWireBackend::entry(bool input, int index)
{
    if (!listed_)
        list();
    const std::vector<Entry> &v = input ? inputs_ : outputs_;
    if (index < 0 || index >= static_cast<int>(v.size()))
        return nullptr;
    return &v[static_cast<std::size_t>(index)];
}

std::string PipeWireBackend::nodeName(bool input, int index)
{
    const Entry *e = entry(input, index);
    return e ? e->node : std::string();
}

int PipeWireBackend::indexOfNode(bool input, const std::string &name)
{
    if (!listed_)
        list();
    const std::vector<Entry> &v = input ? inputs_ : outputs_;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (v[i].node == name)
            return static_cast<int>(i);
    return -1;
}

std::string PipeWireBackend::deviceName(bool input, int index)
{
    const Entry *e = entry(input, index);
    return e ? e->name : std::string();
}

template <class Caps>
int PipeWireBackend::caps(bool input, int index, Caps &c)
{
    const Entry *e = entry(input, index);
    if (!e)
        return MMSYSERR_BADDEVICEID;
    // The server converts rates and formats; volume and pitch are not ours
    // to offer.
    c = Caps{};
    c.name = e->name;
    c.formats = kAllFormats;
    c.channels = static_cast<std::uint16_t>(e->channels > 0 ? e->channels : 2);
    return MMSYSERR_NOERROR;
}

int PipeWireBackend::inputCaps(int index, WaveInCaps &c)
{
    return caps(true, index, c);
}

int PipeWireBackend::outputCaps(int index, WaveOutCaps &c)
{
    return caps(false, index, c);
}

int PipeWireBackend::query(bool input, int index, const WaveFormat &format)
{
    const Entry *e = entry(input, index);
    if (!e)
        return MMSYSERR_BADDEVICEID;
    return Usable(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

int PipeWireBackend::queryInput(int index, const WaveFormat &format)
{
    return query(true, index, format);
}

int PipeWireBackend::queryOutput(int index, const WaveFormat &format)
{
    return query(false, index, format);
}

bool PipeWireBackend::liveNode(const std::string &name, bool sink, PwNode &node)
{
    if (!reconnect())
        return false;
    LoopLock lock(*connection_);
    const PwNode *n = connection_->findNode(name, sink);
    if (n)
        node = *n;
    return n != nullptr;
}

template <class OpenOnce>
int PipeWireBackend::openNode(const std::string &name, bool sink, OpenOnce openOnce)
{
    for (int attempt = 1;; ++attempt) {
        if (!reconnect())
            return PIPEWIRE_NO_SERVER;
        PwNode node;
        if (!liveNode(name, sink, node))
            return PIPEWIRE_NODE_NOT_FOUND;
        const int rc = openOnce(node);
        // The session manager refuses a stream to a node it has not taken
        // in yet (one that just appeared, or a server just started): the
        // node is there, so ask again a little later.
        if (rc != PIPEWIRE_STREAM_FAILED || attempt == kOpenAttempts)
            return rc;
        std::this_thread::sleep_for(std::chrono::milliseconds(kOpenRetryMs));
    }
}

int PipeWireBackend::openInput(int index, const WaveFormat &format, InputTarget target,
                               std::unique_ptr<WaveInDevice> &device)
{
    const Entry *e = entry(true, index);
    if (!e)
        return MMSYSERR_BADDEVICEID;
    if (!Usable(format))
        return WAVERR_BADFORMAT;
    return openNode(e->node, false, [&](const PwNode &node) {
        return PipeWireWaveIn::open(connection_, board_, parking_, node, format, target, device);
    });
}

int PipeWireBackend::openOutput(int index, const WaveFormat &format, OutputCallback callback,
                                std::unique_ptr<WaveOutDevice> &device)
{
    const Entry *e = entry(false, index);
    if (!e)
        return MMSYSERR_BADDEVICEID;
    if (!Usable(format))
        return WAVERR_BADFORMAT;
    return openNode(e->node, true, [&](const PwNode &node) {
        return PipeWireWaveOut::open(connection_, board_, node, format, callback, device);
    });
}

std::unique_ptr<MixerDevice> PipeWireBackend::openMixer(bool input, int index)
{
    const Entry *e = entry(input, index);
    PwNode node;
    if (!input || !e || !liveNode(e->node, false, node))
        return nullptr;
    return OpenPipeWireMixer(connection_, node);
}

std::vector<int> PipeWireBackend::cardsHeld()
{
    if (!listed_)
        list();
    std::vector<int> cards;
    for (const std::vector<Entry> *v : {&inputs_, &outputs_})
        for (const Entry &e : *v)
            if (e.alsaCard >= 0 && std::find(cards.begin(), cards.end(), e.alsaCard) == cards.end())
                cards.push_back(e.alsaCard);
    return cards;
}

std::string PipeWireBackend::errorText(int code)
{
    return PipeWireErrorText(code);
}

PipeWireStreamStatus PipeWireBackend::streamStatus(bool input, bool &open) const
{
    return board_->read(input, open);
}

SoundBackend::RunningStream PipeWireBackend::runningStream(bool input)
{
    bool open = false;
    const PipeWireStreamStatus st = streamStatus(input, open);
    RunningStream r;
    if (!open || st.graphRate == 0)
        return r;
    r.known = true;
    r.rate = st.negotiatedRate ? st.negotiatedRate : st.requestedRate;
    r.graphRate = st.graphRate;
    r.quantum = st.quantum;
    r.resampled = st.resampled();
    r.clock = st.clockName;
    return r;
}

} // namespace audio::pipewire
