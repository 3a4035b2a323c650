// Stepped-sine sweep arithmetic (see sweep.h).
#include "dsp/sweep.h"

#include <algorithm>
#include <cmath>

namespace dsp {

namespace {

// The capture buffer holds 262,144 bytes; times are in milliseconds, so the
// byte count is scaled by 1000.
constexpr double kCaptureBufferByteMs = 262144000.0;

constexpr double kPi = 3.14159265358979323846;

// The sine and cosine are carried from frame to frame by a rotation and set
// afresh from the library every so many frames, so rounding cannot build up.
constexpr int kTrigReseedFrames = 1024;

// Whole frames per block: the capture only ever holds whole frames, and an
// odd count must not read past the block.
int FramesOf(int count) { return count > 0 ? count / 2 : 0; }

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Solves the 3x3 normal equations m·x = rhs (m symmetric, positive
// semi-definite) for two right-hand sides at once by elimination in the
// order of the unknowns. An unknown whose column the earlier ones already
// span (the cosine at half the rate, where it vanishes on every frame) has
// no pivot left: it is set to 0 instead of being divided by nothing.
void SolveNormalEquations(double m[3][3], double rhs[2][3], double x[2][3])
{
    double largest = 0.0;
    for (int k = 0; k < 3; ++k)
        largest = std::max(largest, m[k][k]);
    const double tiny = 1e-10 * largest;
    bool dropped[3] = {false, false, false};
    for (int k = 0; k < 3; ++k) {
        if (!(m[k][k] > tiny)) {
            dropped[k] = true;
            continue;
        }
        for (int i = k + 1; i < 3; ++i) {
            const double factor = m[i][k] / m[k][k];
            for (int j = k; j < 3; ++j)
                m[i][j] -= factor * m[k][j];
            for (int r = 0; r < 2; ++r)
                rhs[r][i] -= factor * rhs[r][k];
        }
    }
    for (int r = 0; r < 2; ++r)
        for (int k = 2; k >= 0; --k) {
            if (dropped[k]) {
                x[r][k] = 0.0;
                continue;
            }
            double v = rhs[r][k];
            for (int j = k + 1; j < 3; ++j)
                v -= m[k][j] * x[r][j];
            x[r][k] = v / m[k][k];
        }
}

float PhaseDegrees(std::complex<double> h)
{
    double deg = std::arg(h) * 180.0 / kPi;
    if (deg <= -180.0)
        deg += 360.0;
    return static_cast<float>(deg);
}

} // namespace

float SweepFrequency(bool linear, std::int32_t from, std::int32_t to, std::int32_t steps, std::int32_t step)
{
    if (linear) {
        if (steps == 0)
            return static_cast<float>(from);
        return static_cast<float>(from + (static_cast<double>(to) - from) / steps * step);
    }
    if (steps == 0 || from <= 0 || to <= 0)
        return 333.0f;
    const double logFrom = std::log(static_cast<double>(from));
    const double logRatio = std::log(static_cast<double>(to) / from);
    return static_cast<float>(std::exp(logFrom + step * logRatio / steps));
}

std::int32_t SweepCaptureFrames(double frequencyHz, std::int32_t rateHz, std::int32_t bits)
{
    const int bytesPerSample = bits / 8;
    if (rateHz <= 0 || bytesPerSample <= 0)
        return 0;
    const double rate = rateHz;
    const long long atDeviceFormat = static_cast<long long>(kCaptureBufferByteMs / (2.0 * bytesPerSample * rate));
    const long long atEightBytes = static_cast<long long>(kCaptureBufferByteMs / (8.0 * rate));
    // Fifty periods; an unusable frequency asks for the longest block.
    long long periods = atEightBytes;
    if (frequencyHz > 0.0 && std::isfinite(frequencyHz))
        periods = static_cast<long long>(std::min(50000.0 / frequencyHz, static_cast<double>(atEightBytes)));
    const long long ms = std::max(std::min(atEightBytes, periods), 10LL);
    return static_cast<std::int32_t>(static_cast<long long>(rateHz) * std::min(atDeviceFormat, ms) / 1000);
}

int SweepCapturesNeeded(double frequencyHz, std::int32_t rateHz, std::int32_t frames)
{
    if (!(frequencyHz > 0.0) || !std::isfinite(frequencyHz) || rateHz <= 0 || frames <= 0)
        return 1;
    const double settled = frames - frames / 5;
    const double periods = settled * frequencyHz / rateHz;
    if (periods >= kSweepMinPeriods)
        return 1;
    return static_cast<int>(std::min<double>(std::ceil(kSweepMinPeriods / periods), kSweepMaxCaptures));
}

bool SweepFrequencyPlayable(double frequencyHz, std::int32_t inputRateHz, std::int32_t outputRateHz)
{
    return !(frequencyHz > outputRateHz / 2.0) && !(frequencyHz > inputRateHz / 2.0);
}

SweepSineFit FitSweepSine(const float *block, int count, double frequencyHz, double rateHz)
{
    SweepSineFit fit;
    const int frames = FramesOf(count);
    const int first = frames / 5;
    const int n = frames - first;
    if (!block || n < 3 || !(rateHz > 0.0) || !std::isfinite(rateHz) || !std::isfinite(frequencyHz))
        return fit;

    // Time runs from the middle of the fitted frames, so the sine and cosine
    // are nearly orthogonal to each other and to the constant.
    const double w = 2.0 * kPi * frequencyHz / rateHz;
    const double middle = first + (n - 1) / 2.0;
    const double cw = std::cos(w), sw = std::sin(w);
    double c = 0.0, s = 0.0;
    double sc = 0.0, ss = 0.0, scc = 0.0, scs = 0.0, sss = 0.0;
    double x[2][3] = {}; // per channel (right, left): sums of x, x·cos, x·sin
    float lowest[2] = {block[2 * first], block[2 * first + 1]};
    float highest[2] = {lowest[0], lowest[1]};
    for (int j = first; j < frames; ++j) {
        if ((j - first) % kTrigReseedFrames == 0) {
            c = std::cos(w * (j - middle));
            s = std::sin(w * (j - middle));
        }
        sc += c;
        ss += s;
        scc += c * c;
        scs += c * s;
        sss += s * s;
        for (int ch = 0; ch < 2; ++ch) {
            const float v = block[2 * j + ch];
            x[ch][0] += v;
            x[ch][1] += v * c;
            x[ch][2] += v * s;
            lowest[ch] = std::min(lowest[ch], v);
            highest[ch] = std::max(highest[ch], v);
        }
        const double next = c * cw - s * sw;
        s = s * cw + c * sw;
        c = next;
    }
    // Unknowns: DC, cosine and sine coefficient.
    double m[3][3] = {{static_cast<double>(n), sc, ss}, {sc, scc, scs}, {ss, scs, sss}};
    double solution[2][3];
    SolveNormalEquations(m, x, solution);

    // a·cos + b·sin = |z|·sin(wt + arg z) with z = b + i·a.
    fit.Frames = n;
    fit.RightFlat = lowest[0] == highest[0];
    fit.LeftFlat = lowest[1] == highest[1];
    if (!fit.RightFlat)
        fit.Right = {solution[0][2], solution[0][1]};
    if (!fit.LeftFlat)
        fit.Left = {solution[1][2], solution[1][1]};
    return fit;
}

void SweepEvaluator::Begin() { *this = SweepEvaluator(); }

void SweepEvaluator::Add(const float *block, int count, double frequencyHz, double rateHz)
{
    const SweepSineFit fit = FitSweepSine(block, count, frequencyHz, rateHz);
    if (fit.Frames == 0)
        return;
    const double n = fit.Frames;
    weight_ += n;
    rightPower_ += n * std::norm(fit.Right);
    leftPower_ += n * std::norm(fit.Left);
    cross_ += n * fit.Right * std::conj(fit.Left);
    rightFlat_ = rightFlat_ && fit.RightFlat;
    leftFlat_ = leftFlat_ && fit.LeftFlat;
}

SweepReading SweepEvaluator::Result(std::int32_t mode, double frequencyHz,
                                    const CorrectionCurve &inputCorrection) const
{
    SweepReading reading;
    if (weight_ > 0.0) {
        reading.Levels.Right = std::sqrt(rightPower_ / weight_);
        reading.Levels.Left = std::sqrt(leftPower_ / weight_);
    }
    const bool rightSilent = rightFlat_ || !(reading.Levels.Right > 0.0);
    const bool leftSilent = leftFlat_ || !(reading.Levels.Left > 0.0);

    if (mode == kSweepStereo) {
        auto level = [&](double peak, bool silent) {
            if (silent)
                return kSweepSilentDb;
            return static_cast<float>(inputCorrection.apply(1.0, frequencyHz, Db(peak)));
        };
        reading.First = level(reading.Levels.Right, rightSilent);
        reading.Second = level(reading.Levels.Left, leftSilent);
        return reading;
    }
    // A dead input is not a flat response: no relative level, no phase.
    if (rightSilent || leftSilent) {
        reading.First = kSweepSilentDb;
        reading.Second = 0.0f;
        return reading;
    }
    const std::complex<double> h =
        mode == kSweepRightReference ? std::conj(cross_) / rightPower_ : cross_ / leftPower_;
    reading.First = static_cast<float>(Db(std::abs(h)));
    reading.Second = PhaseDegrees(h);
    return reading;
}

SweepReading SweepEvaluator::Evaluate(const float *block, int count, std::int32_t mode, double frequencyHz,
                                      double rateHz, const CorrectionCurve &inputCorrection)
{
    Begin();
    Add(block, count, frequencyHz, rateHz);
    return Result(mode, frequencyHz, inputCorrection);
}

} // namespace dsp
