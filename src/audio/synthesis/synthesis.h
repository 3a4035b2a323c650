// Test-signal synthesis for the output engine: sine, square, white and pink
// noise and the two-tone signals of intermodulation measurements, with a
// level and phase per channel, written straight into a device
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
    WaveTwoTone = 5,  // two cosines, see below
};

// Two tones: the first at the generator's frequency f1, the second at
// SecondFrequency f2, the first's amplitude ToneRatio times the second's.
// The level is the peak of the sum: a1 + a2 = 10^(level/20), both tones at
// their crest together at the start, so 0 dB just reaches full scale. Both
// frequencies are taken to the millihertz: f1 = n1·g and f2 = n2·g with g
// their greatest common divisor, so the pair repeats exactly every 1/g
// seconds; the running phase is that of f1, wrapped after n1 turns, and
// the second tone's argument is the first's times n2/n1 (TwoToneWrap).

// The generator's shared settings: written by the generator window and the
// sweep run on the UI thread, read by the output engine.
struct GeneratorSettings {
    float Frequency = 1000.0f;   // Hz
    std::int32_t LevelL = 0;     // dB re full scale, -100 = channel off
    std::int32_t LevelR = 0;
    std::int32_t PhaseL = 0;     // degrees
    std::int32_t PhaseR = 0;
    std::int32_t Waveform = WaveSine;
    double SecondFrequency = 0.0; // Hz, the second tone of WaveTwoTone
    double ToneRatio = 1.0;       // WaveTwoTone: first tone's amplitude re the second's
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
    // Two tones: the shares of the amplitude (sum 1) and the second frequency.
    double Share1 = 1.0, Share2 = 0.0;
    double SecondFrequency = 0.0;
};
SynthParams MakeSynthParams(const GeneratorSettings &settings);

// The whole numbers of turns n1 and n2 that tones at f1 and f2 (Hz, taken
// to the millihertz) make in their common period; false when a frequency is
// not above 0 or the pair has no period below 1000 s.
bool TwoTonePeriod(double f1, double f2, std::int64_t &n1, std::int64_t &n2) noexcept;

// The angle after which the running phase of a stream starts over without
// a jump: 2 pi, or for two tones 2 pi n1. The output engine wraps the phase
// it continues from with it.
double PhaseWrap(const SynthParams &params, double frequency) noexcept;

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
    // Left and right value of one frame at sine argument t (t2: the second
    // tone's argument, two tones only).
    void Frame(const SynthParams &p, double t, double t2, double &left, double &right) noexcept;

    std::uint64_t rng_;
    dsp::PinkNoiseFilter pink_;
};

} // namespace audio
