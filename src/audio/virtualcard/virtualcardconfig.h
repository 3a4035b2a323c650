// Configuration of the virtual loopback cards: how many are listed, which
// formats they take, whether they run in real time, and the model of the
// device under test on the right input. Read from section "LOOPBACK" of the
// settings file, or built by tests directly.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace audio {

struct VirtualCardConfig {
    enum class Signal { Off, Sine, Pink };

    // Largest DELAY and DUTDELAY in frames (ten seconds at 48 kHz).
    static constexpr int kMaxDelayFrames = 480000;

    int devices = 1;                            // 1..8 cards
    std::vector<std::pair<int, int>> formats;   // (bits, rate) pairs; empty = ALL; 24 bits as 24
    bool paced = true;                          // false: blocks as fast as asked for
    double gainDb = -0.5;                       // device under test
    double highpassHz = 20.0;                   // 0 = none
    double lowpassHz = 20000.0;                 // 0 = none; left out at or above rate/2
    double distortionDb = -80.0;                // 2nd and 3rd harmonic re the signal; -200 = none
    // A memoryless polynomial y = a1·x + a2·x^2 + ... + a5·x^5 on the right
    // input after the filters and before DISTORTION; empty = none (y = x).
    std::vector<double> polynomial;
    double noiseDb = -110.0;                    // dBFS RMS on both inputs; -200 = none
    bool invert = false;                        // right input inverted
    double dcOffset = 0.0;                      // full-scale units added to both inputs after the model
    int delayFrames = 0;                        // frames of delay on both inputs (latency of the card)
    int dutDelayFrames = 0;                     // further frames of delay on the right (measured) input
    Signal signal = Signal::Sine;               // test signal while nothing plays: a first
                                                // START shows a spectrum without any set-up
    double sigFreqHz = 1000.0;
    double sigLevelDb = -20.0;                  // dB re full scale (sine peak = 10^(level/20))

    // Faults to try how the program copes (not written back when missing):
    // after this many capture blocks the card vanishes (0 = never); formats
    // (bits:rate) that are listed but fail when opened, or when a buffer is
    // prepared.
    int vanishAfterBlocks = 0;
    std::vector<std::pair<int, int>> failOpen, failPrepare;

    // A card that returns played samples unchanged and adds nothing of its
    // own (no test signal), unpaced unless asked.
    static VirtualCardConfig Ideal(bool paced = false);

    // Whether the cards take stereo PCM with wBitsPerSample `bits` (8, 16, or
    // 32 for 24-bit samples) at `rate` Hz.
    bool accepts(int bits, long rate) const;
    // Whether `list` names the format (wBitsPerSample `bits`, 32 as 24).
    static bool Lists(const std::vector<std::pair<int, int>> &list, int bits, long rate);
};

// Reads section "LOOPBACK" of `fileName`; keys that are missing are written
// back with their defaults, values that do not parse give the defaults.
VirtualCardConfig LoadLoopbackSettings(const std::string &fileName);

// The POLY key: NONE (empty) or one to five coefficients a1,a2,... with a
// decimal point; false (and `coefficients` untouched) for anything else.
bool ParsePolynomial(const std::string &text, std::vector<double> &coefficients);

// Text of the FORMATS key for a list ("ALL" when empty), and its parser
// (false when the text is neither ALL nor a list of bits:rate pairs).
std::string FormatListText(const std::vector<std::pair<int, int>> &formats);
bool ParseFormatList(const std::string &text, std::vector<std::pair<int, int>> &formats);

} // namespace audio
