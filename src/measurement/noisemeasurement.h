// Idle noise and AES17 dynamic range on the current devices, for the command
// line (noise, dynamic-range) and the window program's noise window alike:
// the stimulus (silence, or the -60 dBFS tone) is played on both outputs,
// left to settle, the input captured as power-averaged spectra
// (measurement/powerspectra.h) and each measured channel read with the
// noise readings of dsp/harmonics.h. The output is stopped at the end; what
// the generator record holds is not touched.
//
// Levels are dB re full scale (0 dBFS = a full-scale sine's RMS, AES17).
//
// Threads: the UI thread; the run waits with messages dispatched, so an
// interrupt (measure::RequestInterrupt) can end it early.
#pragma once

#include "audio/streamwarnings.h"
#include "audio/synthesis/synthesis.h"
#include "dsp/harmonics.h"
#include "dsp/measurementband.h"
#include "measurement/spectrummeasurement.h"

#include <functional>
#include <string>
#include <vector>

namespace measure {

class ResultTable;

struct NoiseRunSetup {
    SpectrumSetup Spectrum;     // FFT size, window, channels (its Averages is ignored)
    int Averages = 1;           // blocks whose powers are averaged
    int SettleMs = 300;         // time the stimulus plays before the capture
    std::function<void(int)> OnBlock; // told each block before its capture (may be empty)
};

// What every run has: whether it completed, and what it met on the way.
struct NoiseRunOutcome {
    bool Ok = false;
    bool Interrupted = false;   // an interrupt ended it (Error then says so too)
    std::string Error;          // why it did not complete; empty when Ok
    bool LoopClicks = false;    // loop mode with a loop that holds no whole periods
    int Rate = 0;               // input rate of the captured blocks (Hz)
    int Overloads = 0;          // clipped samples over the measured blocks
    std::vector<audio::StreamWarning> Warnings; // taken while the streams ran
};

struct ChannelNoise {
    bool Right = false;
    dsp::NoiseLevels Levels;        // unweighted to half the rate, A-weighted, AES17 20 kHz
    dsp::NoiseReading Aes17_40k;    // only where IdleNoiseResult::Has40k
    double SnrDb = 0.0;             // re the reference, of the AES17 20 kHz level; NaN without noise
    double SnrADb = 0.0;            // the same of the A-weighted level
};

struct IdleNoiseResult : NoiseRunOutcome {
    bool Played = true;         // silence was played (else the output stayed closed)
    double LowHz = 20.0;
    double ReferenceDbfs = 0.0;
    bool Has40k = false;        // the rate reaches beyond the AES17 40 kHz edge
    std::vector<ChannelNoise> Channels; // the measured channels, left first
};

struct ChannelDynamicRange {
    bool Right = false;
    dsp::DynamicRangeReading Reading;
};

struct DynamicRangeResult : NoiseRunOutcome {
    double FrequencyHz = dsp::kDynamicRangeToneHz;
    audio::GeneratorSettings Generator; // the stimulus as played
    std::vector<ChannelDynamicRange> Channels;
};

// Idle noise: plays silence (`playSilence`) or leaves the output closed,
// captures and reads the noise of each channel from `lowHz` on, and the
// signal-to-noise ratios re `referenceDbfs`.
IdleNoiseResult MeasureIdleNoise(const NoiseRunSetup &setup, bool playSilence, double lowHz, double referenceDbfs);

// Why the dynamic-range tone cannot be read with this setup at these rates
// (above half the rate, above the band, too low for the window); empty when
// it can.
std::string DynamicRangeToneProblem(double frequencyHz, const dsp::MeasurementBand &band, const SpectrumSetup &spectrum,
                                    double inputRate, double outputRate);

// Dynamic range per AES17: plays `frequencyHz` at -60 dBFS on both outputs
// and reads the THD+N of each channel in `band` (not owned; its curve must
// outlive the call).
DynamicRangeResult MeasureDynamicRangeRun(const NoiseRunSetup &setup, const dsp::MeasurementBand &band,
                                          double frequencyHz);

// The generator's current settings playing a sine of `frequencyHz` at
// `levelDb` on both outputs, phases 0.
audio::GeneratorSettings SineSettings(double frequencyHz, int levelDb);

// A level that stands for "nothing at all" as NaN (no number to show).
double NoiseLevelOrNothing(double dbfs);

// The result tables of the documents of kind Noise and DynamicRange: one row
// per measured channel.
void FillNoiseTable(ResultTable &table, const IdleNoiseResult &result);
void FillDynamicRangeTable(ResultTable &table, const DynamicRangeResult &result);

} // namespace measure
