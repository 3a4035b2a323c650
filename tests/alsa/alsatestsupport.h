// Helpers for the ALSA backend tests: byte patterns that differ at every
// position, ALSA's file plugin as "default", and the shared test kit.
#pragma once

#include "support/audiotestsupport.h"

#include <QFileInfo>

#include <cstdlib>

namespace alsatest {

using audiotest::CompletionSink;
using audiotest::Format;
using audiotest::WaitFor;

// Lets posted events arrive for `ms` milliseconds.
inline void Pump(int ms) { platform::DelayMs(ms); }

// Deterministic pseudo-random 64-bit value of an index (splitmix64).
inline std::uint64_t Hash(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// `n` bytes of pattern stream `seed`.
inline std::string PatternBytes(std::size_t n, std::uint64_t seed)
{
    std::string v(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<char>(Hash(seed * 0x100000000ull + i / 8) >> (8 * (i % 8)));
    return v;
}

// Points ALSA at its file plugin: "default" plays into `outFile` (raw, no
// pacing) and captures the bytes of `inFile`; its hint describes it as an
// output, as the sound servers describe theirs. Must run before the
// process's first snd_ call, as ALSA reads its configuration once.
inline void UseAlsaFileConfig(const std::string &dir, const std::string &inFile, const std::string &outFile)
{
    testsupport::WriteFile(dir + "/asound.conf",
                           "pcm.null { type null }\npcm.!default { type asym\n"
                           "  hint { show on description \"Default ALSA Output (currently a file)\" }\n"
                           "  playback.pcm { type file slave.pcm \"null\" file \"" + outFile + "\" format \"raw\" }\n"
                           "  capture.pcm { type file slave.pcm \"null\" file \"/dev/null\" infile \"" + inFile +
                               "\" format \"raw\" } }\n");
    setenv("ALSA_CONFIG_PATH", (dir + "/asound.conf").c_str(), 1);
}

} // namespace alsatest
