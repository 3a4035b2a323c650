// Stepped-sine sweep arithmetic (see sweep.h).
#include "dsp/sweep.h"

#include "dsp/iirfilter.h"

#include <algorithm>
#include <cmath>

namespace dsp {

namespace {

// The capture buffer holds 262,144 bytes; times are in milliseconds, so the
// byte count is scaled by 1000.
constexpr double kCaptureBufferByteMs = 262144000.0;

// Band-pass that isolates the sweep frequency before the phase is counted:
// unity gain at the frequency, Q 16.
constexpr double kPhaseFilterQ = 16.0;

// Whole frames per block: the capture only ever holds whole frames, and an
// odd count must not read past the block.
int FramesOf(int count) { return count > 0 ? count / 2 : 0; }

double Db(double ratio) { return 20.0 * std::log10(ratio); }

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

bool SweepFrequencyPlayable(double frequencyHz, std::int32_t inputRateHz, std::int32_t outputRateHz)
{
    return !(frequencyHz > outputRateHz / 2.0) && !(frequencyHz > inputRateHz / 2.0);
}

SweepLevels SweepMeanLevels(const float *block, int count)
{
    SweepLevels levels;
    const int frames = FramesOf(count);
    const int first = frames / 5;
    if (!block || frames - first <= 0)
        return levels;
    double left = 0.0, right = 0.0;
    for (int j = first; j < frames; ++j) {
        right += std::fabs(block[2 * j]);
        left += std::fabs(block[2 * j + 1]);
    }
    const double n = frames - first;
    levels.Left = left / n;
    levels.Right = right / n;
    return levels;
}

double SweepPhase(const float *block, int count, int mode)
{
    const int frames = FramesOf(count);
    if (!block || frames < 10)
        return 0.0;
    // Measured channel m and reference r as offsets within a frame.
    const int m = mode == kSweepRightReference ? 1 : 0;
    const int r = 1 - m;
    long long counted = 0, sameSign = 0, direction = 0;
    for (int j = frames / 8; j <= frames - 9; ++j) {
        const double m0 = block[2 * j + m], m1 = block[2 * j + 2 + m];
        const double r0 = block[2 * j + r], r1 = block[2 * j + 2 + r];
        ++counted;
        if ((m0 > 0.0) == (r0 > 0.0))
            ++sameSign;
        if (m0 < 0.0 && m1 >= 0.0) {
            // Where the reference stands at the instant the measured channel
            // crosses zero: below zero, the measured channel crossed first
            // (it leads); above, the reference did (it lags). Reading the
            // reference at the frame before the crossing would take a lag of
            // less than one frame for a lead.
            const double t = m0 / (m0 - m1);
            const double atCrossing = r0 + t * (r1 - r0);
            direction += atCrossing <= 0.0 ? -1 : 1;
        }
    }
    if (counted == 0)
        return 0.0;
    const double agree = 180.0 * static_cast<double>(sameSign) / static_cast<double>(counted);
    return direction > 0 ? agree - 180.0 : 180.0 - agree;
}

SweepEvaluator::SweepEvaluator() : scratch_(65536) {}

SweepReading SweepEvaluator::Evaluate(const float *block, int count, std::int32_t mode, double frequencyHz,
                                      double rateHz, const CorrectionCurve &inputCorrection)
{
    SweepReading reading;
    count = std::clamp(count, 0, static_cast<int>(scratch_.size()));
    if (!block)
        count = 0;
    reading.Levels = SweepMeanLevels(block, count);
    const double left = reading.Levels.Left, right = reading.Levels.Right;

    if (mode == kSweepStereo) {
        auto level = [&](double mean) {
            if (mean == 0.0)
                return kSweepSilentDb;
            return static_cast<float>(inputCorrection.apply(1.0, frequencyHz, Db(kSineMeanToPeak * mean)));
        };
        reading.First = level(right);
        reading.Second = level(left);
        return reading;
    }
    // A dead input is not a flat response: no relative level, no phase.
    if (left == 0.0 || right == 0.0) {
        reading.First = kSweepSilentDb;
        reading.Second = 0.0f;
        return reading;
    }
    reading.First = static_cast<float>(mode == kSweepRightReference ? Db(left / right) : Db(right / left));

    std::copy(block, block + count, scratch_.begin());
    const IirCoefficients bandPass = IirDesign(kIirBandPass, 0.0, kPhaseFilterQ, frequencyHz, rateHz);
    FilterStereoBlock(bandPass, count / 2, scratch_.data());
    reading.Second = static_cast<float>(SweepPhase(scratch_.data(), count, mode));
    return reading;
}

} // namespace dsp
