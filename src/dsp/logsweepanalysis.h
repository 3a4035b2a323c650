// Deconvolution of recorded log sweeps (logsweep.h) into the impulse
// response, the frequency response with phase, the harmonic responses
// H2 .. H5 with THD, and the latency, averaged over any number of sweeps.
//
// Method (Farina, AES 108th Convention 2000; Novák, Simon, Lotton,
// J. Audio Eng. Soc. 63(10), 2015):
// - Linear response: the recording's spectrum divided by the spectrum of
//   the sweep as played (in the reference modes: by the reference input's
//   spectrum), H = Y·conj(X) / (|X|^2 + eps). eps is a millionth of the
//   sweep's own power density inside the swept band, so the division is
//   exact to far below 0.001 dB there, and rises to a hundredth of it over
//   an octave below the start and half an octave above the end, so the
//   noise outside the band is lifted by 14 dB at most.
// - Harmonics: the synchronised sweep puts the k-th harmonic's response
//   (at k·f for an excitation at f) L·ln k before the linear one. Each is
//   cut out with a window that reaches 10 % of the way towards the next
//   harmonic and 90 % towards the previous one, and its level is read
//   against the fundamental read the same way. Where k·f lies a sixth of an
//   octave or more below the end frequency the responses come from the
//   same division as the linear one, which leaves nothing of the linear
//   response in the harmonics' windows; above, where the played sweep
//   ripples, fades or has ended, from Novák's analytic inverse filter
//     1/X(f) = 2·sqrt(f/L)·e^(-i 2 pi f L (1 - ln(f/f1)) + i pi/4) / A,
//   which holds for the harmonics up to half the rate. (Used alone it lets
//   the spectral spread of the sweep's start into H2's window: -45 dB at
//   an excitation 1.4 times the start frequency.) Excitation frequencies
//   inside the fades get no harmonic values.
// - The method's own floor near the start: the division leaves the linear
//   response band-limited at the start frequency, and the ringing of that
//   edge reaches back into the harmonics' windows (a wire swept from 20 Hz
//   for 3 s read H2 at -69 dB at 24 Hz with windows that fall over a
//   quarter of their length; falling over all of it, as now, -89 dB). The
//   analyser reads that floor exactly: the harmonics a perfect device gives,
//   from the played sweep divided by itself with the same regularisation
//   and windows. Where it lies above kLogSweepHarmonicFloorDb the harmonic
//   gets no value (NaN): for a 3 s sweep from 20 Hz up to about 40 Hz.
// - Latency: the peak of the linear impulse response against the played
//   sweep, to the frame; the frequency response takes it as time zero, so
//   its phase excludes the delay.
// - Averaging: the impulse responses of every sweep are added, each shifted
//   onto the first sweep's peak, so a latency that changes between sweeps
//   does not blur them.
//
// Use: prepare() once per parameter set (all allocation happens there, or
// in the first setPlayedSweep() after it, see prepare()),
// play sweep(), then for each sweep beginCapture(), append the recorded
// blocks as they arrive (no copy besides the one into the transform
// buffer), finishCapture(); result() evaluates the average so far, and
// again with other windows or smoothing without a new sweep. The
// recording starts with the first played frame of the sweep, give or take
// the latency (a recording that starts late may be early by up to half the
// way to H2), and lasts CaptureFrames: the tail after the sweep must hold
// the latency and the window.
//
// Threads: one analyser belongs to one thread at a time; nothing here
// blocks or touches a device.
#pragma once

#include "dsp/doublefft.h"
#include "dsp/impulsespectrum.h"
#include "dsp/logsweep.h"

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

namespace dsp {

// Harmonic values are withheld where the method's own floor (see above)
// lies above this level re the fundamental: ten dB below the lowest
// distortion the readings are meant to resolve to half a decibel.
constexpr double kLogSweepHarmonicFloorDb = -110.0;

// What a result shows; by default the parameters' choices.
struct LogSweepView {
    double WindowMs = 300.0;     // frequency-response window after time zero
    double PreWindowMs = -1.0;   // before time zero; negative: as long as the harmonics allow
    std::int32_t Smoothing = 0;  // 0 or N of 1/N octave
    std::int32_t PointsPerOctave = 48;
};
LogSweepView ViewOf(const LogSweepParameters &parameters);

struct LogSweepChannelResult {
    int Input = 0;                  // 0 left input, 1 right input
    // Peak of this channel's impulse response, the frequency response's
    // time zero: against the played sweep (stereo) or the reference input.
    std::int64_t PeakFrames = 0;
    // Frames between the first played and the first recorded frame of the
    // sweep on this input (card and device under test together).
    std::int64_t LatencyFrames = 0;
    // The linear impulse response (reference modes: against the reference),
    // from the harmonics' region before time zero to the end of the tail;
    // Impulse[ImpulseZero] lies at time zero.
    std::vector<double> Impulse;
    std::int64_t ImpulseZero = 0;
    // At the result's FrequencyHz. Levels in dB: reference modes relative
    // to the reference input; stereo the level the sweep reached on the
    // input in dB re full scale (peak), as the stepped sweep shows it.
    std::vector<double> LevelDb, PhaseDeg;
    // Harmonics 2 .. 5 in dB re the fundamental at the excitation frequency
    // FrequencyHz[i]; NaN where the harmonic lies at or above half the
    // rate, where the excitation lies inside a fade, where the method's own
    // floor there lies above kLogSweepHarmonicFloorDb, and for harmonics
    // not asked for. THD from the harmonics that were measured.
    std::array<std::vector<double>, kLogSweepMaxHarmonic - 1> HarmonicDb;
    std::vector<double> ThdDb;
};

struct LogSweepResult {
    double Rate = 0.0;
    std::int32_t Mode = kSweepLeftReference;
    int Averages = 0;                       // sweeps in the average
    // Reference modes: the reference input's latency against the played
    // sweep (the interface's own); stereo: the left input's.
    std::int64_t LatencyFrames = 0;
    // How far the latencies may be off, in frames: 0 when the recording's
    // start is known to the frame against the played sweep's (the analyser
    // alone, the virtual card); -1 when the devices cannot tell when the
    // output started against the input: the latencies then include that
    // offset as the recording saw it.
    std::int64_t LatencyUncertaintyFrames = 0;
    std::int64_t WindowPreFrames = 0, WindowPostFrames = 0; // the linear window used
    std::vector<double> FrequencyHz;        // log-spaced from the start to the end frequency
    int ChannelCount = 0;                   // 1 in the reference modes, 2 in stereo (left, right)
    std::array<LogSweepChannelResult, 2> Channels;
};

// Frequencies from `fromHz` to `toHz` (both included), evenly spaced on a
// log scale with at least `perOctave` points per octave.
std::vector<double> LogSweepFrequencies(double fromHz, double toHz, int perOctave);

class LogSweepAnalyser {
public:
    // Designs the sweep and allocates every buffer for it; on invalid
    // parameters returns false with `check` (when given) telling why, and
    // the analyser keeps its previous state.
    // `spectra` false leaves the transforms of the played sweep, and the
    // buffers only they and the analysis use, for setPlayedSweep() (or the
    // first finishCapture()), so a driver can work them out on a thread of
    // its own while the sweep plays: they touch nothing the recording goes
    // into.
    bool prepare(const LogSweepParameters &parameters, double rate, LogSweepCheck *check = nullptr,
                 bool spectra = true);
    bool prepared() const noexcept { return design_.SweepFrames > 0; }
    const LogSweepDesign &design() const noexcept { return design_; }
    const LogSweepParameters &parameters() const noexcept { return parameters_; }

    // The sweep to play, the same on both outputs.
    const std::vector<float> &sweep() const noexcept { return sweep_; }
    // Divides by these samples from now on instead of the computed sweep,
    // e.g. after a conversion to the device's format; up to SweepFrames of
    // them are used, the rest counts as silence.
    void setPlayedSweep(const float *played, std::int64_t frames);

    // Starts the recording of one sweep; the average so far stays.
    void beginCapture() noexcept;
    // Recorded frames in order: interleaved as the capture engine delivers
    // them (even positions the right input, odd positions the left), or one
    // array per input. Frames past CaptureFrames are not taken. Returns the
    // frames taken.
    std::int64_t appendInterleaved(const float *block, std::int64_t frames) noexcept;
    std::int64_t appendPlanar(const float *left, const float *right, std::int64_t frames) noexcept;
    std::int64_t capturedFrames() const noexcept { return captured_; }
    bool captureComplete() const noexcept { return captured_ >= design_.CaptureFrames; }

    // Deconvolves the recording and adds it to the average. Refuses (the
    // average unchanged) an incomplete recording, one with samples that are
    // not finite numbers, and in the reference modes a silent reference.
    LogSweepCheck finishCapture();
    int averaged() const noexcept { return count_; }
    void clearAverage() noexcept;

    // Evaluates the average (empty result without one).
    LogSweepResult result() const { return result(ViewOf(parameters_)); }
    LogSweepResult result(const LogSweepView &view) const;

private:
    struct Accumulator {
        std::vector<double> sum;
        std::int64_t firstPeak = 0;
        bool used = false;
    };

    // Divides the transformed recording in work_ (left input real, right
    // imaginary) into the four responses, packed two by two into work_ and
    // work2_. Returns false for a silent reference.
    bool deconvolve();
    void accumulate(Accumulator &a, const std::complex<double> *data, bool imaginary);
    // Circular index of the largest magnitude among the lags that can hold
    // a linear response: from half the way to H2 before 0 to CaptureFrames.
    template <typename Value>
    std::size_t peakOf(Value value) const;
    std::int64_t lag(std::size_t index) const;
    void evaluateChannel(LogSweepChannelResult &out, const LogSweepResult &r, int smoothing,
                         const Accumulator &linear, const Accumulator &played, const Accumulator &analytic) const;
    void computeSpectra();
    void computeAnalytic();
    // Everything the analysis needs besides work_, once per prepare().
    void allocateBuffers();
    // eps of the division by the played sweep at `bin`.
    double regularisation(std::size_t bin) const;

    LogSweepParameters parameters_;
    LogSweepDesign design_;
    std::vector<float> sweep_;
    ComplexFft fft_;
    std::vector<std::complex<double>> played_;   // bins 0 .. N/2 of the played sweep
    std::vector<std::complex<double>> analytic_; // bins 0 .. N/2 of the analytic inverse
    std::vector<std::complex<double>> work_, work2_;
    // The response of a perfect device: the played sweep divided by itself
    // (time zero at 0), read for the method's floor in the harmonics.
    std::vector<double> ideal_;
    // Stereo: left and right against the played sweep, and their analytic
    // deconvolutions. Reference modes: measured against reference, the
    // reference against the played sweep, the measured input against the
    // played sweep and its analytic deconvolution.
    std::array<Accumulator, 4> acc_;
    std::int64_t captured_ = 0;
    bool spectra_ = false; // played_, analytic_ and ideal_ worked out
    bool buffers_ = false; // everything but the recording's buffer allocated
    bool invalid_ = false;
    int count_ = 0;
};

} // namespace dsp
