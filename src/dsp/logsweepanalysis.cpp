#include "dsp/logsweepanalysis.h"

#include "dsp/fft.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace dsp {

namespace {

using Complex = std::complex<double>;

// Regularisation of the division relative to the sweep's power density:
// inside the swept band, and reached an octave below the start and half an
// octave above the end. Outside the band the division may lift the noise by
// at most 1/(2·sqrt(0.01)), 14 dB. A larger value cuts the band off more
// steeply below the start, and the ringing of that edge then disturbs the
// response read through a 300 ms window at twice the start frequency
// (1 instead of 0.01 there: 0.02 dB and 0.16 degrees instead of 0.003 dB
// and 0.06 degrees).
constexpr double kInBandEps = 1e-6;
constexpr double kOutOfBandEps = 0.01;
constexpr double kLowTransitionOctaves = 1.0;
constexpr double kHighTransitionOctaves = 0.5;
// A reference input below this power gain (-120 dB) carries no sweep.
constexpr double kSilentReferenceGain = 1e-12;
// Share of the way from the k-th harmonic's response towards the (k+1)-th
// that its window reaches back; the rest of the way belongs to the (k+1)-th.
constexpr double kHarmonicPreShare = 0.1;
// Share of the way to H2 that the linear window may reach back by default.
constexpr double kLinearPreShare = 0.5;
// Harmonics at outputs up to this far below the end frequency come from
// the division by the played sweep; nearer the end its spectrum ripples
// (0.1 dB a twelfth of an octave below the end of a 0.4 s sweep), so the
// analytic inverse takes over.
constexpr double kExactBelowEndOctaves = 1.0 / 6.0;
// The method's floor in the harmonics is read as the mean over this
// fraction of an octave (1/N), so that a null of the floor right at a
// frequency lets no value through; one transform serves every point.
constexpr int kFloorSmoothing = 48;
// The window ends falling over this share of its length after time zero.
constexpr double kRampOutShare = 0.25;

double SmoothStep(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return 0.5 * (1.0 - std::cos(std::numbers::pi * x));
}

double PowerDb(double power) { return power > 0.0 ? 10.0 * std::log10(power) : kNoSignalDb; }

std::size_t Wrap(std::int64_t i, std::size_t n)
{
    const auto m = static_cast<std::int64_t>(n);
    const std::int64_t r = i % m;
    return static_cast<std::size_t>(r < 0 ? r + m : r);
}

} // namespace

LogSweepView ViewOf(const LogSweepParameters &p)
{
    LogSweepView v;
    v.WindowMs = p.WindowMs;
    v.Smoothing = p.Smoothing;
    v.PointsPerOctave = p.PointsPerOctave;
    return v;
}

std::vector<double> LogSweepFrequencies(double fromHz, double toHz, int perOctave)
{
    std::vector<double> f;
    if (!(fromHz > 0.0) || !(toHz > fromHz) || perOctave < 1)
        return f;
    const auto intervals =
        std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(perOctave * std::log2(toHz / fromHz) - 1e-9)));
    f.reserve(static_cast<std::size_t>(intervals + 1));
    for (std::int64_t i = 0; i <= intervals; ++i)
        f.push_back(fromHz * std::pow(toHz / fromHz, static_cast<double>(i) / static_cast<double>(intervals)));
    f.back() = toHz;
    return f;
}

bool LogSweepAnalyser::prepare(const LogSweepParameters &p, double rate, LogSweepCheck *check, bool spectra)
{
    LogSweepDesign d;
    if (!DesignLogSweep(p, rate, d, check))
        return false;
    parameters_ = p;
    design_ = d;
    sweep_.assign(static_cast<std::size_t>(d.SweepFrames), 0.0f);
    RenderLogSweep(d, sweep_.data());
    work_.assign(d.FftSize, Complex{});
    count_ = 0;
    spectra_ = false;
    buffers_ = false;
    if (spectra)
        computeSpectra();
    beginCapture();
    return true;
}

void LogSweepAnalyser::allocateBuffers()
{
    if (buffers_)
        return;
    const std::size_t n = design_.FftSize;
    fft_.setSize(n);
    work2_.assign(n, Complex{});
    ideal_.assign(n, 0.0);
    played_.assign(n / 2 + 1, Complex{});
    analytic_.assign(n / 2 + 1, Complex{});
    for (Accumulator &a : acc_) {
        a.sum.assign(n, 0.0);
        a.firstPeak = 0;
        a.used = false;
    }
    buffers_ = true;
}

void LogSweepAnalyser::computeSpectra()
{
    setPlayedSweep(sweep_.data(), static_cast<std::int64_t>(sweep_.size()));
}

void LogSweepAnalyser::computeAnalytic()
{
    // Novák's analytic inverse, scaled to the discrete transform (a sweep
    // of amplitude A transforms to rate·A/2·sqrt(L/f) in the band).
    const std::size_t n = design_.FftSize;
    const double l = design_.RateConstant;
    const double scale = 2.0 / (design_.Amplitude * design_.Rate * std::sqrt(l));
    for (std::size_t k = 1; k < n / 2; ++k) {
        const double f = static_cast<double>(k) * design_.Rate / static_cast<double>(n);
        const double phase = -2.0 * std::numbers::pi * f * l * (1.0 - std::log(f / design_.FromHz)) + std::numbers::pi / 4.0;
        analytic_[k] = std::polar(scale * std::sqrt(f), phase);
    }
    analytic_[0] = analytic_[n / 2] = Complex{};
}

void LogSweepAnalyser::setPlayedSweep(const float *played, std::int64_t frames)
{
    if (!prepared())
        return;
    allocateBuffers();
    const std::size_t n = design_.FftSize;
    const auto take = static_cast<std::size_t>(std::clamp<std::int64_t>(frames, 0, design_.SweepFrames));
    std::fill(work2_.begin(), work2_.end(), Complex{});
    for (std::size_t i = 0; i < take; ++i)
        work2_[i] = Complex(std::isfinite(played[i]) ? played[i] : 0.0f, 0.0);
    fft_.forward(work2_.data());
    std::copy(work2_.begin(), work2_.begin() + static_cast<std::ptrdiff_t>(n / 2 + 1), played_.begin());
    // A perfect device: |X|^2 / (|X|^2 + eps), real and even.
    work2_[0] = work2_[n / 2] = Complex{};
    for (std::size_t k = 1; k < n / 2; ++k) {
        const double x2 = std::norm(played_[k]);
        const double h = x2 > 0.0 ? x2 / (x2 + regularisation(k)) : 0.0;
        work2_[k] = work2_[n - k] = Complex(h, 0.0);
    }
    fft_.inverse(work2_.data());
    for (std::size_t i = 0; i < n; ++i)
        ideal_[i] = work2_[i].real();
    if (!spectra_)
        computeAnalytic();
    spectra_ = true;
}

void LogSweepAnalyser::beginCapture() noexcept
{
    captured_ = 0;
    invalid_ = false;
}

std::int64_t LogSweepAnalyser::appendInterleaved(const float *block, std::int64_t frames) noexcept
{
    const std::int64_t take = std::clamp<std::int64_t>(frames, 0, design_.CaptureFrames - captured_);
    Complex *out = work_.data() + captured_;
    for (std::int64_t i = 0; i < take; ++i) {
        const float right = block[2 * i], left = block[2 * i + 1];
        invalid_ = invalid_ || !std::isfinite(left) || !std::isfinite(right);
        out[i] = Complex(left, right);
    }
    captured_ += take;
    return take;
}

std::int64_t LogSweepAnalyser::appendPlanar(const float *left, const float *right, std::int64_t frames) noexcept
{
    const std::int64_t take = std::clamp<std::int64_t>(frames, 0, design_.CaptureFrames - captured_);
    Complex *out = work_.data() + captured_;
    for (std::int64_t i = 0; i < take; ++i) {
        invalid_ = invalid_ || !std::isfinite(left[i]) || !std::isfinite(right[i]);
        out[i] = Complex(left[i], right[i]);
    }
    captured_ += take;
    return take;
}

void LogSweepAnalyser::clearAverage() noexcept
{
    for (Accumulator &a : acc_) {
        std::fill(a.sum.begin(), a.sum.end(), 0.0);
        a.firstPeak = 0;
        a.used = false;
    }
    count_ = 0;
}

double LogSweepAnalyser::regularisation(std::size_t bin) const
{
    const double f = static_cast<double>(bin) * design_.Rate / static_cast<double>(design_.FftSize);
    // |X(f)|^2 of the discrete transform inside the band: (rate·A)^2·L/(4f).
    const double density = design_.Rate * design_.Rate * design_.Amplitude * design_.Amplitude *
                           design_.RateConstant / (4.0 * f);
    double outside = 0.0;
    if (f < design_.FromHz)
        outside = SmoothStep(std::log2(design_.FromHz / f) / kLowTransitionOctaves);
    else if (f > design_.ToHz)
        outside = SmoothStep(std::log2(f / design_.ToHz) / kHighTransitionOctaves);
    return density * (kInBandEps + (kOutOfBandEps - kInBandEps) * outside);
}

LogSweepCheck LogSweepAnalyser::finishCapture()
{
    LogSweepCheck check;
    if (!prepared() || !captureComplete()) {
        check.Problem = LogSweepProblem::IncompleteCapture;
        return check;
    }
    if (invalid_) {
        check.Problem = LogSweepProblem::InvalidSamples;
        return check;
    }
    if (!spectra_)
        computeSpectra(); // uses work2_ only: the recording in work_ stays
    std::fill(work_.begin() + design_.CaptureFrames, work_.end(), Complex{});
    fft_.forward(work_.data());
    if (!deconvolve()) {
        check.Problem = LogSweepProblem::ReferenceSilent;
        return check;
    }
    fft_.inverse(work_.data());
    fft_.inverse(work2_.data());
    accumulate(acc_[0], work_.data(), false);
    accumulate(acc_[1], work_.data(), true);
    accumulate(acc_[2], work2_.data(), false);
    accumulate(acc_[3], work2_.data(), true);
    ++count_;
    captured_ = 0;
    return check;
}

bool LogSweepAnalyser::deconvolve()
{
    const std::size_t n = design_.FftSize;
    const std::size_t half = n / 2;
    const bool stereo = parameters_.Mode == kSweepStereo;
    // Inputs: 0 left (real part of the recording), 1 right (imaginary).
    const int measured = parameters_.Mode == kSweepLeftReference ? 1 : 0;
    const int reference = 1 - measured;

    auto inputs = [&](std::size_t k, Complex &left, Complex &right) {
        const Complex z = work_[k], zm = std::conj(work_[(n - k) % n]);
        left = 0.5 * (z + zm);
        right = Complex(0.0, -0.5) * (z - zm);
    };

    // Power gain of the reference input inside the swept band.
    double referenceGain = 1.0;
    if (!stereo) {
        const auto lo = static_cast<std::size_t>(std::ceil(design_.FromHz * n / design_.Rate));
        const auto hi = std::min(half, static_cast<std::size_t>(design_.ToHz * n / design_.Rate));
        double yPower = 0.0, xPower = 0.0;
        for (std::size_t k = std::max<std::size_t>(lo, 1); k <= hi; ++k) {
            Complex y[2];
            inputs(k, y[0], y[1]);
            yPower += std::norm(y[reference]);
            xPower += std::norm(played_[k]);
        }
        referenceGain = xPower > 0.0 ? yPower / xPower : 0.0;
        if (!(referenceGain > kSilentReferenceGain))
            return false;
    }

    auto divide = [](Complex y, Complex x, double eps) { return y * std::conj(x) / (std::norm(x) + eps); };
    // Stores the bins k and n-k of two real signals' spectra a, b as a + i b.
    auto store = [n](std::vector<Complex> &out, std::size_t k, Complex a, Complex b) {
        if (k == 0 || 2 * k == n) {
            out[k] = Complex(a.real(), b.real());
            return;
        }
        out[k] = a + Complex(0.0, 1.0) * b;
        out[n - k] = std::conj(a) + Complex(0.0, 1.0) * std::conj(b);
    };

    for (std::size_t k = 0; k <= half; ++k) {
        Complex y[2];
        inputs(k, y[0], y[1]);
        const Complex x = played_[k];
        const Complex inverse = analytic_[k];
        Complex a, b, c, d;
        if (k > 0) {
            const double eps = regularisation(k);
            if (stereo) {
                a = divide(y[0], x, eps);
                b = divide(y[1], x, eps);
                c = y[0] * inverse;
                d = y[1] * inverse;
            } else {
                a = divide(y[measured], y[reference], eps * referenceGain);
                b = divide(y[reference], x, eps);
                c = y[measured] * inverse;
                d = divide(y[measured], x, eps);
            }
        }
        store(work_, k, a, b);
        store(work2_, k, c, d);
    }
    return true;
}

std::int64_t LogSweepAnalyser::lag(std::size_t index) const
{
    const auto n = static_cast<std::int64_t>(design_.FftSize);
    const auto i = static_cast<std::int64_t>(index);
    return i >= design_.CaptureFrames ? i - n : i;
}

template <typename Value>
std::size_t LogSweepAnalyser::peakOf(Value value) const
{
    const std::size_t n = design_.FftSize;
    const auto back = static_cast<std::size_t>(kLinearPreShare * design_.harmonicOffsetFrames(2));
    std::size_t best = 0;
    double top = -1.0;
    auto consider = [&](std::size_t i) {
        const double m = std::fabs(value(i));
        if (m > top) {
            top = m;
            best = i;
        }
    };
    for (std::size_t i = 0; i < static_cast<std::size_t>(design_.CaptureFrames); ++i)
        consider(i);
    for (std::size_t i = n - back; i < n; ++i)
        consider(i);
    return best;
}

void LogSweepAnalyser::accumulate(Accumulator &a, const Complex *data, bool imaginary)
{
    const std::size_t n = design_.FftSize;
    const double *v = reinterpret_cast<const double *>(data) + (imaginary ? 1 : 0); // every second value
    const auto peak = static_cast<std::int64_t>(peakOf([v](std::size_t i) { return v[2 * i]; }));
    std::int64_t shift = 0;
    if (!a.used) {
        a.firstPeak = peak;
        a.used = true;
    } else {
        shift = peak - a.firstPeak;
    }
    // sum[t] += value[t + shift], circularly.
    const std::size_t s = Wrap(shift, n);
    double *sum = a.sum.data();
    for (std::size_t t = 0; t + s < n; ++t)
        sum[t] += v[2 * (t + s)];
    for (std::size_t t = n - s; t < n; ++t)
        sum[t] += v[2 * (t + s - n)];
}

LogSweepResult LogSweepAnalyser::result(const LogSweepView &view) const
{
    LogSweepResult r;
    if (count_ == 0 || !prepared())
        return r;
    const LogSweepDesign &d = design_;
    r.Rate = d.Rate;
    r.Mode = parameters_.Mode;
    r.Averages = count_;
    r.FrequencyHz = LogSweepFrequencies(d.FromHz, d.ToHz, std::clamp(view.PointsPerOctave, 1,
                                                                     kLogSweepMaxPointsPerOctave));
    const double maxPre = kLinearPreShare * d.harmonicOffsetFrames(2);
    r.WindowPostFrames = std::clamp<std::int64_t>(std::llround(view.WindowMs * d.Rate / 1000.0), 1, d.TailFrames);
    r.WindowPreFrames = view.PreWindowMs >= 0.0
                            ? std::min<std::int64_t>(std::llround(view.PreWindowMs * d.Rate / 1000.0),
                                                     static_cast<std::int64_t>(maxPre))
                            : static_cast<std::int64_t>(maxPre);
    const int smoothing = IsLogSweepSmoothing(view.Smoothing) ? view.Smoothing : 0;

    auto peakLag = [this](const Accumulator &a) {
        return lag(peakOf([p = a.sum.data()](std::size_t i) { return p[i]; }));
    };
    if (parameters_.Mode == kSweepStereo) {
        r.ChannelCount = 2;
        r.Channels[0].Input = 0;
        r.Channels[1].Input = 1;
        evaluateChannel(r.Channels[0], r, smoothing, acc_[0], acc_[0], acc_[2]);
        evaluateChannel(r.Channels[1], r, smoothing, acc_[1], acc_[1], acc_[3]);
        r.LatencyFrames = r.Channels[0].LatencyFrames;
    } else {
        r.ChannelCount = 1;
        r.Channels[0].Input = parameters_.Mode == kSweepLeftReference ? 1 : 0;
        evaluateChannel(r.Channels[0], r, smoothing, acc_[0], acc_[3], acc_[2]);
        r.LatencyFrames = peakLag(acc_[1]);
    }
    return r;
}

void LogSweepAnalyser::evaluateChannel(LogSweepChannelResult &out, const LogSweepResult &r, int smoothing,
                                       const Accumulator &linear, const Accumulator &played,
                                       const Accumulator &analytic) const
{
    const LogSweepDesign &d = design_;
    const std::size_t n = d.FftSize;
    const double scale = 1.0 / count_;
    const std::vector<double> &f = r.FrequencyHz;
    const std::size_t points = f.size();

    const std::size_t peak = peakOf([p = linear.sum.data()](std::size_t i) { return p[i]; });
    out.PeakFrames = lag(peak);
    out.LatencyFrames = lag(peakOf([p = played.sum.data()](std::size_t i) { return p[i]; }));

    // The impulse response from before the highest harmonic to the end of the tail.
    const auto before = std::min<std::int64_t>(
        static_cast<std::int64_t>(std::ceil(d.harmonicOffsetFrames(d.Harmonics + 1))),
        static_cast<std::int64_t>(n) - d.TailFrames);
    out.ImpulseZero = before;
    out.Impulse.resize(static_cast<std::size_t>(before + d.TailFrames));
    for (std::int64_t t = -before; t < d.TailFrames; ++t)
        out.Impulse[static_cast<std::size_t>(t + before)] = scale * linear.sum[Wrap(out.PeakFrames + t, n)];

    // Level and phase from the window around time zero.
    ResponseWindow window;
    window.Pre = r.WindowPreFrames;
    window.Post = r.WindowPostFrames;
    window.RampIn = window.Pre;
    window.RampOut = static_cast<std::int64_t>(kRampOutShare * window.Post);
    ImpulseSpectrum spectrum;
    spectrum.compute(linear.sum.data(), n, static_cast<std::int64_t>(peak), window, scale, d.Rate, smoothing > 0);
    const double offsetDb = r.Mode == kSweepStereo ? 20.0 * std::log10(d.Amplitude) : 0.0;
    out.LevelDb.assign(points, kNoSignalDb);
    out.PhaseDeg.assign(points, 0.0);
    for (std::size_t i = 0; i < points; ++i) {
        const ImpulseSpectrum::Smoothed s = spectrum.smoothed(f[i], smoothing);
        out.LevelDb[i] = s.Power > 0.0 ? PowerDb(s.Power) + offsetDb : kNoSignalDb;
        out.PhaseDeg[i] = std::arg(s.Mean) * 180.0 / std::numbers::pi;
    }

    // Harmonics H2 .. HK, each read at k times the excitation frequency in
    // a window around its place before the linear response, against the
    // fundamental read the same way. Up to a sixth of an octave below the
    // end they come from the division by the played sweep, which leaves
    // nothing of the linear response in their windows (the analytic inverse
    // lets the spectral spread of the sweep's start through, up to -45 dB
    // at twice the start frequency); above, where the played sweep ripples,
    // fades or has ended, from Novák's analytic inverse.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (auto &h : out.HarmonicDb)
        h.assign(points, nan);
    out.ThdDb.assign(points, nan);
    if (d.Harmonics < 2)
        return;
    const auto exactPeak = static_cast<std::int64_t>(peakOf([p = played.sum.data()](std::size_t i) { return p[i]; }));
    const auto analyticPeak =
        static_cast<std::int64_t>(peakOf([p = analytic.sum.data()](std::size_t i) { return p[i]; }));
    auto windowFor = [&](int k) {
        const double here = d.harmonicOffsetFrames(k);
        const double next = d.harmonicOffsetFrames(k + 1);
        ResponseWindow w;
        w.Pre = static_cast<std::int64_t>(kHarmonicPreShare * (next - here));
        // The fundamental gets the length of H2's window, so both resolve alike.
        const double after = k == 1 ? d.harmonicOffsetFrames(2) : here - d.harmonicOffsetFrames(k - 1);
        w.Post = std::clamp<std::int64_t>(static_cast<std::int64_t>((1.0 - kHarmonicPreShare) * after), 1,
                                          r.WindowPostFrames);
        w.RampIn = w.Pre;
        // Falling over the whole stretch after time zero keeps the ringing
        // of the band's lower edge, just before each window, out of the
        // harmonics' frequencies best (see the header).
        w.RampOut = w.Post;
        return w;
    };
    // Excitation frequencies inside the fades do not reach the full level.
    const double lowest = d.frequencyAt(static_cast<double>(d.FadeInFrames));
    const double highest = d.frequencyAt(static_cast<double>(d.SweepFrames - 1 - d.FadeOutFrames));
    const double switchHz = d.ToHz * std::exp2(-kExactBelowEndOctaves);
    bool aboveEnd = false;
    for (double hz : f)
        aboveEnd = aboveEnd || (2.0 * hz > switchHz && 2.0 * hz < d.Rate / 2.0);

    ImpulseSpectrum exact, beyond, ideal;
    std::vector<double> fundamental(points, 0.0), idealFundamental(points, 0.0);
    const double floorRatio = std::pow(10.0, kLogSweepHarmonicFloorDb / 10.0);
    std::vector<double> sum(points, 0.0);
    std::vector<bool> any(points, false), floored(points, false);
    for (int k = 1; k <= d.Harmonics; ++k) {
        const ResponseWindow w = windowFor(k);
        const std::int64_t offset = std::llround(d.harmonicOffsetFrames(k));
        exact.compute(played.sum.data(), n, exactPeak - offset, w, scale, d.Rate, smoothing > 0);
        ideal.compute(ideal_.data(), n, -offset, w, 1.0, d.Rate, true);
        if (k >= 2 && aboveEnd)
            beyond.compute(analytic.sum.data(), n, analyticPeak - offset, w, scale, d.Rate, smoothing > 0);
        for (std::size_t i = 0; i < points; ++i) {
            if (k == 1) {
                fundamental[i] = exact.smoothed(f[i], smoothing).Power;
                idealFundamental[i] = ideal.smoothed(f[i], kFloorSmoothing).Power;
                continue;
            }
            const double at = k * f[i];
            if (at >= d.Rate / 2.0 || f[i] < lowest || f[i] > highest || !(fundamental[i] > 0.0))
                continue;
            // The method's own floor: what a perfect device reads here.
            if (at <= switchHz && !(ideal.smoothed(at, kFloorSmoothing).Power <= floorRatio * idealFundamental[i])) {
                floored[i] = true; // nor a THD that would leave this harmonic out
                continue;
            }
            const double power = (at <= switchHz ? exact : beyond).smoothed(at, smoothing).Power;
            const double ratio = power / fundamental[i];
            out.HarmonicDb[static_cast<std::size_t>(k - 2)][i] = PowerDb(ratio);
            sum[i] += ratio;
            any[i] = true;
        }
    }
    for (std::size_t i = 0; i < points; ++i)
        if (any[i] && !floored[i])
            out.ThdDb[i] = PowerDb(sum[i]);
}

} // namespace dsp
