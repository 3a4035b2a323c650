// The exponential (logarithmic) sine sweep: its parameters with their one
// validation and the messages for what is wrong, the synchronised design
// derived from them, and the samples to play.
//
// The sweep is the synchronised swept sine of A. Novák, L. Simon and
// P. Lotton, "Synchronized Swept-Sine: Theory, Application, and
// Implementation", J. Audio Eng. Soc. 63(10), 2015, after the exponential
// sweep of A. Farina, "Simultaneous measurement of impulse response and
// distortion with a swept-sine technique", AES 108th Convention, Paris, 2000:
//
//   x(t) = A·sin(2 pi f1 L (e^(t/L) - 1)),  0 <= t <= L ln(f2/f1),
//
// with the rate constant L rounded so that f1·L is a whole number. Then the
// k-th harmonic sin(k·phase(t)) equals x(t + L ln k) exactly, phase
// included: after deconvolution its response lies L ln k before the linear
// one (see logsweepanalysis.h). The length asked for is therefore met only
// to within that rounding; the end frequency is kept.
//
// Units: frequencies in Hz, rates in frames per second, lengths in frames
// (signed 64-bit) or seconds, levels in dB re full scale (peak).
//
// Threads: any; everything here is a pure function of its arguments.
#pragma once

#include "dsp/sweep.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace dsp {

// Harmonics evaluated: H2 up to this order.
constexpr int kLogSweepMaxHarmonic = 5;
constexpr int kLogSweepMaxAverages = 100;
constexpr int kLogSweepMaxPointsPerOctave = 96;

// Fractional-octave smoothing: 0 (off) or N of 1/N octave.
bool IsLogSweepSmoothing(std::int32_t n);

// What the user chooses; one record for the window, the settings file and
// the command line.
struct LogSweepParameters {
    double FromHz = 20.0;          // start frequency
    double ToHz = 20000.0;         // end frequency
    double Seconds = 3.0;          // wanted length, used while LengthFrames is 0
    std::int64_t LengthFrames = 0; // wanted length in frames; wins when positive
    double LevelDb = -6.0;         // peak level, -120..0 dB re full scale
    double FadeInOctaves = 0.25;   // the fade-in covers the sweep's first quarter octave,
    double FadeOutOctaves = 1.0 / 24.0; // the fade-out its last 1/24 octave (each at most
                                   // a quarter of the sweep)
    double TailSeconds = 0.5;      // recorded after the sweep: latency and the response's decay
    std::int32_t Mode = kSweepLeftReference; // the modes of the stepped sweep
    std::int32_t Averages = 1;     // sweeps averaged, 1..kLogSweepMaxAverages
    std::int32_t Harmonics = kLogSweepMaxHarmonic; // highest harmonic evaluated, 1 (none) .. 5
    double WindowMs = 300.0;       // frequency-response window after the linear response's start
    std::int32_t Smoothing = 0;    // see IsLogSweepSmoothing
    std::int32_t PointsPerOctave = 48; // resolution of the curves
};

enum class LogSweepProblem {
    None,
    Rate,               // sample rate not positive
    StartNotPositive,   // start frequency not above 0 Hz
    StartNotBelowEnd,   // start >= end
    EndAboveHalfRate,   // end frequency above half the sample rate
    Level,              // level outside -120..0 dB
    Length,             // length not positive
    TooShort,           // too short to separate the harmonics asked for (Seconds: the minimum)
    TooLong,            // too long for one transform (Seconds: the maximum)
    Fade,               // a fade negative (each is cut to a quarter of a narrow sweep)
    Tail,               // tail outside 0.05..10 s
    Mode,               // not one of the three modes
    Averages,           // outside 1..kLogSweepMaxAverages
    Harmonics,          // outside 1..kLogSweepMaxHarmonic
    Window,             // window outside 1 ms .. the tail
    Smoothing,          // not a smoothing IsLogSweepSmoothing accepts
    PointsPerOctave,    // outside 1..kLogSweepMaxPointsPerOctave
    // Found when a recording is analysed:
    IncompleteCapture,  // fewer frames than the design records
    InvalidSamples,     // a sample that is not a finite number
    ReferenceSilent,    // the reference input carries no sweep
};

struct LogSweepCheck {
    LogSweepProblem Problem = LogSweepProblem::None;
    double Seconds = 0.0;   // TooShort: the shortest length that works; TooLong: the longest
    int Harmonic = 0;       // TooShort: the highest harmonic asked for
    double FrequencyHz = 0.0; // EndAboveHalfRate: the end frequency
    double LimitHz = 0.0;     // EndAboveHalfRate: half the rate
    double LimitMs = 0.0;     // Window: the tail in ms
    bool ok() const { return Problem == LogSweepProblem::None; }
};

// The message for a problem in German ('D') or English (any other value);
// "" for None. Numbers are written with a decimal point.
std::string LogSweepProblemText(const LogSweepCheck &check, char language);

// The sweep as it is played and analysed.
struct LogSweepDesign {
    double Rate = 0.0;            // frames per second
    double FromHz = 0.0, ToHz = 0.0;
    double RateConstant = 0.0;    // L in seconds; FromHz·L is a whole number
    double Amplitude = 0.0;       // peak, full scale 1.0
    std::int64_t SweepFrames = 0; // frames played
    std::int64_t FadeInFrames = 0, FadeOutFrames = 0;
    std::int64_t TailFrames = 0;  // recorded after the sweep
    std::int64_t CaptureFrames = 0; // SweepFrames + TailFrames: frames recorded per sweep
    std::size_t FftSize = 0;      // transform length of the deconvolution
    int Harmonics = 1;            // highest harmonic evaluated

    double seconds() const { return Rate > 0.0 ? static_cast<double>(SweepFrames) / Rate : 0.0; }
    // Frames (fractional) by which the k-th harmonic's response precedes
    // the linear one: L·ln k·rate.
    double harmonicOffsetFrames(int k) const;
    // Instantaneous frequency at frame n: FromHz·e^(n/(rate·L)).
    double frequencyAt(double frame) const;
};

// Checks every field against the rate (frames per second) of both devices.
LogSweepCheck CheckLogSweep(const LogSweepParameters &parameters, double rate);

// The design of valid parameters; `check` (when given) tells what is wrong
// otherwise, and `design` is then left alone.
bool DesignLogSweep(const LogSweepParameters &parameters, double rate, LogSweepDesign &design,
                    LogSweepCheck *check = nullptr);

// Sample n (0 .. SweepFrames-1) of the sweep, fades included; 0 outside.
double LogSweepSample(const LogSweepDesign &design, std::int64_t n) noexcept;
// All SweepFrames samples into `out`.
void RenderLogSweep(const LogSweepDesign &design, float *out) noexcept;

} // namespace dsp
