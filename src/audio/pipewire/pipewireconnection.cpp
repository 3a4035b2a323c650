#include "audio/pipewire/pipewireconnection.h"

#include <pipewire/pipewire.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

namespace audio::pipewire {

namespace {

// Longest wait for the server's first answer (the node list).
constexpr std::int64_t kSyncTimeoutNs = 3'000'000'000;
// Longest wait for the answer to a roundtrip.
constexpr std::int64_t kRoundtripTimeoutNs = 1'000'000'000;

const char *lookup(const spa_dict *props, const char *key)
{
    return props ? spa_dict_lookup(props, key) : nullptr;
}

std::uint32_t idProp(const spa_dict *props, const char *key)
{
    const char *v = lookup(props, key);
    if (!v || !*v)
        return SPA_ID_INVALID;
    char *end = nullptr;
    const unsigned long n = std::strtoul(v, &end, 10);
    return (end && *end == '\0') ? static_cast<std::uint32_t>(n) : SPA_ID_INVALID;
}

} // namespace

struct PwConnection::Hooks {
    spa_hook core{};
    spa_hook registry{};
    pw_core_events coreEvents{};
    pw_registry_events registryEvents{};
};

std::shared_ptr<PwConnection> PwConnection::connect()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
    std::shared_ptr<PwConnection> c(new PwConnection);
    if (!c->start())
        return nullptr;
    return c;
}

bool PwConnection::start()
{
    hooks_ = std::make_unique<Hooks>();
    loop_ = pw_thread_loop_new("sonalyx-pipewire", nullptr);
    if (!loop_)
        return false;
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (!context_ || pw_thread_loop_start(loop_) < 0)
        return false;

    LoopLock lock(*this);
    core_ = pw_context_connect(context_, nullptr, 0);
    if (!core_)
        return false; // no server in this session
    alive_ = true;

    Hooks &h = *hooks_;
    h.coreEvents.version = PW_VERSION_CORE_EVENTS;
    h.coreEvents.done = [](void *data, std::uint32_t id, int seq) {
        static_cast<PwConnection *>(data)->onCoreDone(id, seq);
    };
    h.coreEvents.error = [](void *data, std::uint32_t id, int, int res, const char *message) {
        static_cast<PwConnection *>(data)->onCoreError(id, res, message);
    };
    pw_core_add_listener(core_, &h.core, &h.coreEvents, this);

    h.registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
    h.registryEvents.global = [](void *data, std::uint32_t id, std::uint32_t, const char *type, std::uint32_t,
                                 const spa_dict *props) {
        static_cast<PwConnection *>(data)->onGlobal(id, type, props);
    };
    h.registryEvents.global_remove = [](void *data, std::uint32_t id) {
        static_cast<PwConnection *>(data)->onGlobalRemove(id);
    };
    registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
    if (!registry_)
        return false;
    pw_registry_add_listener(registry_, &h.registry, &h.registryEvents, this);

    // The registry announces every object before the answer to this sync.
    syncSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
    timespec deadline{};
    pw_thread_loop_get_time(loop_, &deadline, kSyncTimeoutNs);
    while (alive_ && !synced_)
        if (pw_thread_loop_timed_wait_full(loop_, &deadline) != 0)
            break;
    return alive_ && synced_;
}

PwConnection::~PwConnection()
{
    auto teardown = [loop = loop_, context = context_, core = core_, registry = registry_,
                     hooks = std::move(hooks_)]() mutable {
        if (loop && core) {
            pw_thread_loop_lock(loop);
            spa_hook_remove(&hooks->registry);
            spa_hook_remove(&hooks->core);
            if (registry)
                pw_proxy_destroy(reinterpret_cast<pw_proxy *>(registry));
            pw_core_disconnect(core);
            pw_thread_loop_unlock(loop);
        }
        if (loop)
            pw_thread_loop_stop(loop);
        if (context)
            pw_context_destroy(context);
        if (loop)
            pw_thread_loop_destroy(loop);
    };
    // The loop thread cannot stop itself: the last stream of an old
    // connection may go on it.
    if (loop_ && pw_thread_loop_in_thread(loop_))
        std::thread(std::move(teardown)).detach();
    else
        teardown();
}

pw_loop *PwConnection::loop() const
{
    return pw_thread_loop_get_loop(loop_);
}

const PwNode *PwConnection::findNode(const std::string &name, bool sink) const
{
    for (const PwNode &n : nodes_)
        if (n.sink == sink && n.name == name)
            return &n;
    return nullptr;
}

bool PwConnection::hasNode(std::uint32_t id) const
{
    return std::any_of(nodes_.begin(), nodes_.end(), [id](const PwNode &n) { return n.id == id; });
}

void PwConnection::addWatcher(PwWatcher *w)
{
    watchers_.push_back(w);
}

void PwConnection::removeWatcher(PwWatcher *w)
{
    watchers_.erase(std::remove(watchers_.begin(), watchers_.end(), w), watchers_.end());
}

void PwConnection::signal()
{
    pw_thread_loop_signal(loop_, false);
}

void PwConnection::notify()
{
    // A watcher may remove itself while it is told.
    const std::vector<PwWatcher *> copy = watchers_;
    for (PwWatcher *w : copy)
        if (std::find(watchers_.begin(), watchers_.end(), w) != watchers_.end())
            w->graphChanged();
    signal();
}

void PwConnection::onGlobal(std::uint32_t id, const char *type, const spa_dict *props)
{
    if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
        const char *cls = lookup(props, PW_KEY_MEDIA_CLASS);
        const char *name = lookup(props, PW_KEY_NODE_NAME);
        if (!cls || !name || !*name)
            return;
        const std::string mediaClass = cls;
        const bool duplex = mediaClass == "Audio/Duplex";
        const bool sink = mediaClass == "Audio/Sink" || duplex;
        const bool source = mediaClass.rfind("Audio/Source", 0) == 0 || duplex;
        if (!sink && !source)
            return;
        PwNode n;
        n.id = id;
        n.name = name;
        const char *desc = lookup(props, PW_KEY_NODE_DESCRIPTION);
        if (!desc || !*desc)
            desc = lookup(props, PW_KEY_NODE_NICK);
        n.description = desc && *desc ? desc : name;
        if (const char *ch = lookup(props, PW_KEY_AUDIO_CHANNELS))
            n.channels = std::atoi(ch);
        for (const char *key : {"api.alsa.pcm.card", "alsa.card"}) {
            const std::uint32_t card = idProp(props, key);
            if (n.alsaCard < 0 && card != SPA_ID_INVALID && card < 1000)
                n.alsaCard = static_cast<int>(card);
        }
        if (sink) {
            n.sink = true;
            nodes_.push_back(n);
        }
        if (source) {
            n.sink = false;
            nodes_.push_back(n);
        }
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0) {
        PwLink l;
        l.id = id;
        l.outputNode = idProp(props, PW_KEY_LINK_OUTPUT_NODE);
        l.inputNode = idProp(props, PW_KEY_LINK_INPUT_NODE);
        links_.push_back(l);
    } else {
        return;
    }
    notify();
}

void PwConnection::onGlobalRemove(std::uint32_t id)
{
    const auto nodes = nodes_.size(), links = links_.size();
    nodes_.erase(std::remove_if(nodes_.begin(), nodes_.end(), [id](const PwNode &n) { return n.id == id; }),
                 nodes_.end());
    links_.erase(std::remove_if(links_.begin(), links_.end(), [id](const PwLink &l) { return l.id == id; }),
                 links_.end());
    if (nodes != nodes_.size() || links != links_.size())
        notify();
}

void PwConnection::onCoreError(std::uint32_t id, int res, const char *message)
{
    // Errors of single objects reach their own proxies (a stream hears of
    // its node); a broken connection is the server gone.
    if (id != PW_ID_CORE || res != -EPIPE)
        return;
    alive_ = false;
    nodes_.clear();
    links_.clear();
    notify();
}

bool PwConnection::roundtrip()
{
    if (!alive_)
        return false;
    roundtripDone_ = false;
    roundtripSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
    timespec deadline{};
    pw_thread_loop_get_time(loop_, &deadline, kRoundtripTimeoutNs);
    while (alive_ && !roundtripDone_)
        if (pw_thread_loop_timed_wait_full(loop_, &deadline) != 0)
            break;
    return alive_ && roundtripDone_;
}

void PwConnection::onCoreDone(std::uint32_t id, int seq)
{
    if (id != PW_ID_CORE)
        return;
    if (seq == syncSeq_)
        synced_ = true;
    if (seq == roundtripSeq_)
        roundtripDone_ = true;
    signal();
}

LoopLock::LoopLock(const PwConnection &c) : loop_(c.threadLoop())
{
    pw_thread_loop_lock(loop_);
}

LoopLock::~LoopLock()
{
    pw_thread_loop_unlock(loop_);
}

void LoopLock::unlock()
{
    pw_thread_loop_unlock(loop_);
}

void LoopLock::relock()
{
    pw_thread_loop_lock(loop_);
}

} // namespace audio::pipewire
