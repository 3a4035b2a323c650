// The PipeWire backend of the sound interface: the server's audio sinks and
// sources as wave devices, each listed by its description and opened by its
// node name, so that a choice survives restarts of the server (which give
// nodes new ids). A stream runs at the rate the program asks for; whether the
// graph runs at that rate too, at what quantum and on which clock is told
// by streamStatus().
//
// The list is taken on first use and afresh by refresh() (the device
// report); in between, counts and indices stay as they are. A server that
// went away is looked for again by refresh() and by every open. All calls on
// the UI thread.
#pragma once

#include "audio/pipewire/pipewirestatus.h"
#include "audio/soundinterface.h"

#include <memory>
#include <string>
#include <vector>

namespace audio::pipewire {

class PwConnection;
class StatusBoard;
class CaptureParking;
struct PwNode;

class PipeWireBackend final : public SoundBackend {
public:
    // The backend of this session's server; null when no server answers.
    static std::shared_ptr<PipeWireBackend> create();
    ~PipeWireBackend() override;

    int inputCount() override;
    int outputCount() override;
    void refresh() override;
    int inputCaps(int index, WaveInCaps &caps) override;
    int outputCaps(int index, WaveOutCaps &caps) override;
    std::string deviceName(bool input, int index) override;
    int queryInput(int index, const WaveFormat &format) override;
    int queryOutput(int index, const WaveFormat &format) override;
    int openInput(int index, const WaveFormat &format, InputTarget target,
                  std::unique_ptr<WaveInDevice> &device) override;
    int openOutput(int index, const WaveFormat &format, OutputCallback callback,
                   std::unique_ptr<WaveOutDevice> &device) override;
    std::string errorText(int code) override;
    std::string family() const override { return "PipeWire"; }
    // A node by its node name, which keeps across restarts of the server.
    std::string storedName(bool input, int index) override { return nodeName(input, index); }
    // The ALSA cards the listed nodes stand for.
    std::vector<int> cardsHeld() override;
    // The recording side: the source node's own volume (see pipewiremixer.h).
    // A sink's volume is the desktop's volume for that device: never driven.
    std::unique_ptr<MixerDevice> openMixer(bool input, int index) override;

    // The node name behind a listed device (what the settings keep); empty
    // for an index without a device.
    std::string nodeName(bool input, int index);
    // The listed device of a node name; -1 when the list has none.
    int indexOfNode(bool input, const std::string &nodeName);
    // The latest stream of a direction as it runs, or as it last ran when
    // `open` comes back false (all zero when none ran yet).
    PipeWireStreamStatus streamStatus(bool input, bool &open) const;
    // The open stream's status in the sound interface's terms.
    RunningStream runningStream(bool input) override;
    // Whether the server answered at the last look.
    bool connected() const;

private:
    explicit PipeWireBackend(std::shared_ptr<PwConnection> connection);

    struct Entry {
        std::string node;     // node.name
        std::string name;     // what the user reads (and the settings keys are made of)
        int channels = 0;
        int alsaCard = -1;
    };

    void list();
    // A connection that answers, connecting anew when the last one broke.
    bool reconnect();
    // The node of this name and direction as the server has it now.
    bool liveNode(const std::string &name, bool sink, PwNode &node);
    // Opens a stream to the node of this name with `openOnce(node)`.
    template <class OpenOnce> int openNode(const std::string &name, bool sink, OpenOnce openOnce);
    const Entry *entry(bool input, int index);
    template <class Caps> int caps(bool input, int index, Caps &c);
    int query(bool input, int index, const WaveFormat &format);

    std::shared_ptr<PwConnection> connection_;
    std::shared_ptr<StatusBoard> board_;
    std::shared_ptr<CaptureParking> parking_;
    std::vector<Entry> inputs_, outputs_;
    bool listed_ = false;
};

// Names of the listed devices: each node's description, made unique within
// a direction by the node name where two share one, cut to 120 bytes at a
// character boundary. `nodes` holds (node name, description) pairs.
std::vector<std::string> DeviceNames(const std::vector<std::pair<std::string, std::string>> &nodes);

} // namespace audio::pipewire

namespace audio {

// The PipeWire backend as a sound backend, or null without a server.
std::shared_ptr<SoundBackend> CreatePipeWireBackend();

} // namespace audio
