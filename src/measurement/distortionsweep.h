// A stepped distortion sweep without a window: against frequency at a fixed
// level, against level at a fixed frequency, or (the third kind) against
// the level of a two-tone signal for its intermodulation. Each step sets the
// generator, waits the settling time, captures power-averaged spectra and
// reads them with the distortion readings of dsp/harmonics.h or
// dsp/intermodulation.h on both channels. The frequencies are the stepped
// sweep's (dsp::SweepFrequency), the output restarts in place for every
// step as in the stepped sweep, and the generator gets its settings back
// however the run ends.
//
// Threads: UI thread (the engine's).
#pragma once

#include "audio/streamwarnings.h"

#include <vector>

#include "dsp/harmonics.h"
#include "dsp/intermodulation.h"
#include "dsp/measurementband.h"
#include "measurement/powerspectra.h"

#include <cstdint>
#include <functional>
#include <string>

namespace measure {

enum class DistortionSweepKind : int { Frequency = 0, Level = 1, Imd = 2 };

struct DistortionSweepSetup {
    DistortionSweepKind Kind = DistortionSweepKind::Frequency;
    // Against frequency: from, to (whole Hz), steps + 1 frequencies, spacing.
    std::int32_t FromHz = 20, ToHz = 20000, Steps = 30;
    bool Linear = false;
    // The fixed level (against frequency), whole dB re full scale.
    std::int32_t LevelDb = -6;
    // The fixed frequency (against level).
    double FrequencyHz = 1000.0;
    // Against level (and IMD): from, to and step, whole dB; from <= to.
    std::int32_t FromDb = -60, ToDb = 0, StepDb = 6;
    // IMD: the two-tone signal (its levelDbfs is the step's).
    dsp::TwoToneSetup TwoTone;
    // Capture and reading.
    SpectrumSetup Spectrum;
    int Averages = 1;
    int SettleMs = 300;
    dsp::MeasurementBand Band;
};

// One measured step, both channels.
struct DistortionStep {
    std::int32_t Step = 0;
    double FrequencyHz = 0.0; // the tone (IMD: the high tone)
    std::int32_t LevelDb = 0; // the generator's level (IMD: the sum's peak)
    int Overloads = 0;
    int Rate = 0;
    // What the sound server did with the step's streams (resampled, two
    // clocks), taken while they ran.
    std::vector<audio::StreamWarning> Warnings;
    dsp::HarmonicReading Harmonics[2]; // left, right (tone sweeps)
    dsp::ImdReading Imd[2];            // left, right (IMD sweeps)
};

class DistortionSweep {
public:
    enum class Outcome { Done, Interrupted, Failed };

    // Number of steps of `setup` (0 when its range is empty or wrong).
    static int StepCount(const DistortionSweepSetup &setup);
    // The tone frequency and the generator level of step `step`.
    static double StepFrequency(const DistortionSweepSetup &setup, int step);
    static std::int32_t StepLevel(const DistortionSweepSetup &setup, int step);
    // What makes `setup` unplayable or unreadable at these rates, as the
    // message to show; "" when every step can be played and read. Checked:
    // the ranges, a level that would clip (above 0 dBFS), a tone above half
    // a rate or above the band, a tone too low for the window to resolve, a
    // tone whose second harmonic lies beyond the band or half the rate (no
    // harmonic left to read), and for IMD the two-tone checks at the
    // loudest step.
    static std::string Validate(const DistortionSweepSetup &setup, int inputRate, int outputRate);

    // Seconds the steps must take at least: per step the settling time plus
    // the captured blocks at `inputRate` (each FFT size and an eighth more,
    // as the analyser captures).
    static double NeededSeconds(const DistortionSweepSetup &setup, int inputRate);

    // Called before a step's output starts, and when a step has been read.
    std::function<void(int step, int steps)> OnStep;
    std::function<void(const DistortionStep &)> OnPoint;

    // Runs every step on the current devices (Validate first). A failure
    // ends the run with Error() telling why; the points read so far have
    // been reported.
    Outcome Run(const DistortionSweepSetup &setup);
    const std::string &Error() const { return error_; }

private:
    Outcome step(const DistortionSweepSetup &setup, int i, int steps);

    PowerSpectra spectra_;
    DistortionStep point_;
    std::string error_;
};

} // namespace measure
