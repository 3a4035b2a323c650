// Warnings about what the sound server does with a measurement's streams
// (see streamwarnings.h).
#include "audio/streamwarnings.h"
#include "audio/devices.h"
#include "audio/outputengine.h"

#include <algorithm>

namespace audio {

std::vector<StreamWarning> StreamWarnings(const SoundBackend::RunningStream &input,
                                          const SoundBackend::RunningStream *output)
{
    std::vector<StreamWarning> w;
    if (input.known && input.resampled)
        w.push_back({StreamWarningKind::InputResampled, input.rate, input.graphRate});
    if (output && output->known && output->resampled)
        w.push_back({StreamWarningKind::OutputResampled, output->rate, output->graphRate});
    if (output && input.known && output->known && !input.clock.empty() && !output->clock.empty() &&
        input.clock != output->clock)
        w.push_back({StreamWarningKind::TwoClocks, 0, 0});
    return w;
}

std::vector<StreamWarning> CurrentStreamWarnings(bool withOutput)
{
    SoundInterface &si = SoundInterface::instance();
    const SoundBackend::RunningStream in = si.runningStream(GetInputDevice(), true);
    if (!withOutput || !OutputRunning())
        return StreamWarnings(in, nullptr);
    const SoundBackend::RunningStream out = si.runningStream(GetOutputDevice(), false);
    return StreamWarnings(in, &out);
}

void AddStreamWarnings(std::vector<StreamWarning> &into, const std::vector<StreamWarning> &more)
{
    for (const StreamWarning &w : more)
        if (std::none_of(into.begin(), into.end(), [&](const StreamWarning &have) { return have.kind == w.kind; }))
            into.push_back(w);
}

const char *StreamWarningCode(StreamWarningKind kind)
{
    switch (kind) {
    case StreamWarningKind::InputResampled: return "input_resampled";
    case StreamWarningKind::OutputResampled: return "output_resampled";
    case StreamWarningKind::TwoClocks: return "two_clocks";
    }
    return "";
}

std::string StreamWarningText(const StreamWarning &w, char language)
{
    const bool de = language == 'D';
    // std::to_string of an integer knows no locale.
    const std::string rates = std::to_string(w.streamRate) + " Hz, " + (de ? "Graph " : "graph at ") +
                              std::to_string(w.graphRate) + " Hz";
    switch (w.kind) {
    case StreamWarningKind::InputResampled:
        return de ? "Eingang vom Server umgerechnet (" + rates + ")" : "input resampled by the server (" + rates + ")";
    case StreamWarningKind::OutputResampled:
        return de ? "Ausgang vom Server umgerechnet (" + rates + ")" : "output resampled by the server (" + rates + ")";
    case StreamWarningKind::TwoClocks:
        return de ? "Ein- und Ausgang an zwei Takten (zwei Geräte, driftet)"
                  : "input and output on two clocks (two interfaces, drifting)";
    }
    return {};
}

std::string StreamWarningLine(const std::vector<StreamWarning> &warnings, char language)
{
    std::string line;
    for (const StreamWarning &w : warnings)
        line += (line.empty() ? std::string(language == 'D' ? "Warnung: " : "Warning: ") : std::string("; ")) +
                StreamWarningText(w, language);
    return line;
}

} // namespace audio
