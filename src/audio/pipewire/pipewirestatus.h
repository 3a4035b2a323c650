// What the PipeWire server really does with a stream of ours, and the
// backend's own error numbers. Plain C++, for the device report, the status
// line, the diagram's information line and the command line alike.
#pragma once

#include <cstdint>
#include <string>

namespace audio::pipewire {

// Error numbers of the PipeWire backend (texts: PipeWireErrorText).
enum : int {
    PIPEWIRE_ERROR_BASE = 700,
    PIPEWIRE_NO_SERVER = 701,       // the server does not answer (any more)
    PIPEWIRE_NODE_NOT_FOUND = 702,  // the chosen node is not (or no longer) there
    PIPEWIRE_LINKED_ELSEWHERE = 703, // the session manager linked the stream to another node
    PIPEWIRE_NOT_LINKED = 704,      // the stream was not linked in time
    PIPEWIRE_STREAM_FAILED = 705,   // the server refused or ended the stream
    PIPEWIRE_ERROR_LAST = 799,
};

// English text for one of the numbers above; empty for any other number.
std::string PipeWireErrorText(int code);

// One stream as it runs. Rates in Hz, the quantum in frames of the graph.
struct PipeWireStreamStatus {
    bool input = false;
    std::string nodeName;              // the node the stream is linked to
    std::uint32_t nodeId = 0;          // its id on the server (changes with restarts)
    std::uint32_t requestedRate = 0;   // the rate the program asked for
    std::uint32_t negotiatedRate = 0;  // the rate the stream's format was agreed at (0: not yet)
    std::uint32_t graphRate = 0;       // the rate the graph runs at (0: not known yet)
    std::uint32_t quantum = 0;         // frames per graph cycle (0: not known yet)
    std::string clockName;             // the clock that drives the stream's graph

    // The server converts the stream's rate to the graph's.
    bool resampled() const { return negotiatedRate != 0 && graphRate != 0 && negotiatedRate != graphRate; }
};

// Whether capture and playback run on different clocks (different
// interfaces): the server then bridges the two with an adaptive resampler,
// and a loop through them drifts. False while either clock is unknown.
inline bool TwoClocks(const PipeWireStreamStatus &in, const PipeWireStreamStatus &out)
{
    return !in.clockName.empty() && !out.clockName.empty() && in.clockName != out.clockName;
}

} // namespace audio::pipewire
