// Test-signal synthesis for the output engine: sine, square, white and pink
// noise with a level and phase per channel, written straight into a device
// buffer in its sample encoding. Two ways of filling: a loop buffer that
// holds a whole number of signal periods (so the device can repeat it
// seamlessly), and stream buffers computed from a running phase (so the
// frequency can change between buffers without a phase jump).
//
// Nothing here allocates: a Synthesizer owns its noise generator and the
// pink-noise filter, and fills caller-owned buffers.
#pragma once

#include "dsp/iirfilter.h"

#include <cstdint>
#include <string>

namespace audio {

// Waveform numbers of the generator settings.
enum Waveform : std::int32_t {
    WaveSine = 0,
    WaveSquare = 1,
    WaveWhiteNoise = 2,
    WavePinkNoise = 3,
    WaveUserFile = 4, // played by the generator window itself; silence here
};

// The generator's shared settings: written by the generator window and the
// sweep run on the UI thread, read by the output engine.
struct GeneratorSettings {
    float Frequency = 1000.0f;   // Hz
    std::int32_t LevelL = 0;     // dB re full scale, -100 = channel off
    std::int32_t LevelR = 0;
    std::int32_t PhaseL = 0;     // degrees
    std::int32_t PhaseR = 0;
    std::int32_t Waveform = WaveSine;
    std::string UserFile;        // wave file for WaveUserFile, up to 120 characters
    bool FilePlaying = false;
    std::int32_t AnalogVolume = 100; // percent
    bool Loop = true;            // loop mode (else stream mode)
};

// The numbers one fill needs, taken from the settings in one go.
struct SynthParams {
    double AmplitudeL = 0.0; // 10^(level/20), 0 for -100 dB
    double AmplitudeR = 0.0;
    double PhaseL = 0.0;     // radians
    double PhaseR = 0.0;
    std::int32_t Waveform = WaveSine;
    bool SamePhase = true;   // noise: right = left when the phases match, else -left
};
SynthParams MakeSynthParams(const GeneratorSettings &settings);

// Largest loop buffer, in bytes (whole frames at every resolution).
constexpr std::uint32_t kLoopFillLimit = 262128;

// Bytes of a loop of sine or square at `frequency`: the number of periods
// k whose length comes closest to a whole number of frames, searched until
// an exact fit of at least 4096 bytes or the buffer limit; a later k wins a
// tie. `precision` receives the leftover fraction of a frame in thousandths
// (0: seamless). Returns whole frames' bytes; 0 for a frequency of 0.
std::uint32_t LoopLength(std::uint32_t rate, int bytesPerSample, double frequency, int *precision = nullptr);

class Synthesizer {
public:
    Synthesizer();

    // Fills the loop buffer; returns its length in bytes (0 for frequency 0).
    // Sine and square get LoopLength bytes, noise the whole limit.
    std::uint32_t LoopFill(std::uint32_t rate, int bits, const SynthParams &params, double frequency,
                           char *buffer, std::uint32_t capacity, int *precision = nullptr);

    // Fills `bytes` bytes of stream data starting at `phase` (radians), which
    // advances by 2 pi frequency / rate per frame and is handed back.
    void StreamFill(std::uint32_t rate, int bits, const SynthParams &params, double frequency, char *buffer,
                    std::uint32_t bytes, double &phase);

    // The program's pseudo-random generator: uniform in [0, 1).
    double Random() noexcept;
    void Seed(std::uint64_t seed) noexcept { rng_ = seed ? seed : 0x9E3779B97F4A7C15ull; }

private:
    // Left and right value of one frame at sine argument t.
    void Frame(const SynthParams &p, double t, double &left, double &right) noexcept;

    std::uint64_t rng_;
    dsp::PinkNoiseFilter pink_;
};

} // namespace audio
