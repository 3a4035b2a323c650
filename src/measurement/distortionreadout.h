// The analyser's distortion readout: per round, the harmonics of a tone
// (fundamental, H2 … H9, THD, THD+N and noise) or, while the generator plays
// a two-tone signal, its intermodulation per the signal's standard, on the
// channels that are on. It turns them into the "Harmonics" information line
// and into a text export of their own (the diagram's export keeps its bare
// number rows). Numbers carry a decimal point whatever the locale.
//
// Threads: UI thread; Read allocates nothing.
#pragma once

#include "dsp/harmonics.h"
#include "dsp/intermodulation.h"

#include <string>

namespace measure {

struct DistortionReadout {
    bool valid = false;       // a round has been read
    bool twoTone = false;     // intermodulation instead of harmonics
    bool on[2] = {false, false};
    double sampleRate = 0.0;
    dsp::MeasurementBand band;
    std::string bandText;     // dsp::BandText of the band, in the reading's language
    dsp::TwoToneSetup setup;  // the two-tone signal read (twoTone)
    dsp::HarmonicReading harmonics[2];
    dsp::ImdReading imd[2];

    // Reads both spectra (fftSize/2 magnitudes each; a channel that is off
    // is not read). `twoToneSetup` non-null reads intermodulation of that setup.
    void Read(const float *left, const float *right, bool leftOn, bool rightOn, int fftSize,
              double rate, int windowType, const dsp::HarmonicSetup &harmonicSetup,
              const dsp::TwoToneSetup *twoToneSetup);
};

// The information line: "Harmonics: " then per channel that is on its tag
// (`leftTag`, `rightTag`, for example "LI "), the fundamental's frequency
// and level, H2 … H9 in dB, THD (dB and %), THD+N and the noise, or "IMD
// <standard>" and IMD (d2, d3 for CCIF); then the band or the reference,
// and the note on harmonics left out. A channel whose reading failed shows
// the reading's message. 'D' German, else English.
std::string DistortionReadoutLine(const DistortionReadout &r, const std::string &leftTag,
                                  const std::string &rightTag, char language);

// The export: a title line, the band or the reference, then per channel
// that is on one row per component (name, frequency in Hz, level in dB re
// the fundamental or the reference, percent), then THD, THD+N and noise (or
// IMD); components left out are listed as such with the reason. Empty when
// the readout is not valid.
std::string DistortionReadoutText(const DistortionReadout &r, char language);

} // namespace measure
