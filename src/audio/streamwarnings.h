// Warnings for a measurement that is not what it seems: a stream the sound
// server resamples (its rate differs from the rate the server's graph runs
// at), or input and output on two clocks (two interfaces, which the server
// bridges with an adaptive resampler, so a loop through them drifts). Each
// warning has a short code for the command line's result document and a
// text in German and English for the diagram's information line.
//
// Only backends that can tell what runs (a sound server's graph) give
// warnings; ALSA hardware and the virtual card never do.
//
// Threads: the UI thread (CurrentStreamWarnings asks the sound interface);
// the rest is plain data.
#pragma once

#include "audio/soundinterface.h"

#include <string>
#include <vector>

namespace audio {

enum class StreamWarningKind { InputResampled, OutputResampled, TwoClocks };

struct StreamWarning {
    StreamWarningKind kind = StreamWarningKind::InputResampled;
    std::uint32_t streamRate = 0; // the resampled stream's rate (Hz)
    std::uint32_t graphRate = 0;  // the rate its graph runs at (Hz)
};

// The warnings for an input stream and, when `output` is given, the output
// stream of the same measurement. Streams the backend knows nothing of give
// none; two clocks needs both clocks known.
std::vector<StreamWarning> StreamWarnings(const SoundBackend::RunningStream &input,
                                          const SoundBackend::RunningStream *output);

// The warnings for the streams of the current input and (with `withOutput`)
// output device that are open now. Call it while the measurement's streams
// still run: right after a block came, before the output stops.
std::vector<StreamWarning> CurrentStreamWarnings(bool withOutput);

// Adds the warnings of `more` whose kind `into` does not hold yet (a run of
// many blocks says each thing once, as first seen).
void AddStreamWarnings(std::vector<StreamWarning> &into, const std::vector<StreamWarning> &more);

// "input_resampled", "output_resampled", "two_clocks".
const char *StreamWarningCode(StreamWarningKind kind);
// The text of a warning in 'D' German or 'E' English (anything else
// English). Numbers carry no locale.
std::string StreamWarningText(const StreamWarning &w, char language);
// All warnings in one line for the information line: "Warnung: ...; ...",
// empty without warnings.
std::string StreamWarningLine(const std::vector<StreamWarning> &warnings, char language);

} // namespace audio
