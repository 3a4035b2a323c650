// One connection to the PipeWire server: a thread loop with its context and
// core, and a registry mirror of what the streams need to know - the audio
// sinks and sources (node name, description, id) and the links between
// nodes. The mirror is live: streams registered as watchers hear of every
// change, and of the server going away, on the loop thread.
//
// Threads: everything PipeWire runs on the loop thread. Other threads touch
// this object and the streams on it only while they hold the loop lock
// (LoopLock); the registry events, stream events and watcher calls run with
// that lock held. The lock is recursive, so a stream callback may call back
// into its own stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_registry;
struct pw_loop;
struct spa_dict;

namespace audio::pipewire {

// An audio sink or source of the server.
struct PwNode {
    std::uint32_t id = 0;
    std::string name;        // node.name: what a stream targets and the settings keep
    std::string description; // node.description (or nick, or name): what the user reads
    bool sink = false;       // Audio/Sink (else Audio/Source)
    int channels = 0;        // audio.channels when the node tells, else 0
    int alsaCard = -1;       // the ALSA card of a node on one (api.alsa.pcm.card), else -1
};

struct PwLink {
    std::uint32_t id = 0;
    std::uint32_t outputNode = 0;
    std::uint32_t inputNode = 0;
};

// A party that wants to hear of graph changes (called with the lock held,
// on the loop thread, or on the thread that ends the connection).
class PwWatcher {
public:
    virtual void graphChanged() = 0;

protected:
    ~PwWatcher() = default;
};

class PwConnection {
public:
    // Connects to the server of this session; null when none answers (or
    // the library cannot set up a context). The node list is complete when
    // this returns.
    static std::shared_ptr<PwConnection> connect();
    ~PwConnection();
    PwConnection(const PwConnection &) = delete;
    PwConnection &operator=(const PwConnection &) = delete;

    pw_thread_loop *threadLoop() const { return loop_; }
    pw_loop *loop() const;
    pw_core *core() const { return core_; }
    pw_registry *registry() const { return registry_; }

    // Lock held for all of these.
    bool alive() const { return alive_; }
    const std::vector<PwNode> &nodes() const { return nodes_; }
    const PwNode *findNode(const std::string &name, bool sink) const;
    bool hasNode(std::uint32_t id) const;
    const std::vector<PwLink> &links() const { return links_; }
    void addWatcher(PwWatcher *w);
    void removeWatcher(PwWatcher *w);
    // Wakes every thread waiting on the loop (pw_thread_loop_wait).
    void signal();
    // Waits until the server has handled everything sent before (at most
    // a second); false when it did not answer. Lock held, on one thread at
    // a time (the UI thread), never on the loop thread.
    bool roundtrip();

    // Registry callbacks (loop thread).
    void onGlobal(std::uint32_t id, const char *type, const spa_dict *props);
    void onGlobalRemove(std::uint32_t id);
    void onCoreError(std::uint32_t id, int res, const char *message);
    void onCoreDone(std::uint32_t id, int seq);

private:
    PwConnection() = default;
    bool start();
    void notify();

    pw_thread_loop *loop_ = nullptr;
    pw_context *context_ = nullptr;
    pw_core *core_ = nullptr;
    pw_registry *registry_ = nullptr;
    struct Hooks;
    std::unique_ptr<Hooks> hooks_;
    bool alive_ = false;
    int syncSeq_ = -1;
    bool synced_ = false;
    int roundtripSeq_ = -1;
    bool roundtripDone_ = false;
    std::vector<PwNode> nodes_;
    std::vector<PwLink> links_;
    std::vector<PwWatcher *> watchers_;
};

// Holds the loop lock of a connection for a scope.
class LoopLock {
public:
    explicit LoopLock(const PwConnection &c);
    ~LoopLock();
    LoopLock(const LoopLock &) = delete;
    LoopLock &operator=(const LoopLock &) = delete;
    // Lets go for a while (to call out without the lock) and takes it again.
    void unlock();
    void relock();

private:
    pw_thread_loop *loop_;
};

} // namespace audio::pipewire
