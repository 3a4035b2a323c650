// Analyser block arithmetic (see spectrumblock.h).
#include "measurement/spectrumblock.h"

#include "dsp/fft.h"

#include <cmath>

namespace measure {

void SplitChannel(const float *block, int count, int channel, float *out, int fftSize)
{
    const int frames = count / 2 - 1;
    int k = 0;
    for (; k < frames; ++k)
        out[k] = block[2 * k + channel];
    for (; k < fftSize; ++k)
        out[k] = 0.0f;
}

bool AverageSpectra(AverageRound &round, float *left, float *right, float *leftSum, float *rightSum, int bins)
{
    round.left -= 1;
    if (round.averages == 1)
        return round.left <= 0;
    for (int i = 0; i < bins; ++i) {
        leftSum[i] += left[i];
        rightSum[i] += right[i];
    }
    if (round.left > 0)
        return false;
    const float n = static_cast<float>(round.averages);
    for (int i = 0; i < bins; ++i) {
        left[i] = leftSum[i] / n;
        right[i] = rightSum[i] / n;
        leftSum[i] = 0.0f;
        rightSum[i] = 0.0f;
    }
    return true;
}

double SpectrumBinLevel(float magnitude, bool channelOn, double factor, double offset,
                        const dsp::CorrectionCurve &inputCorrection, float frequencyHz)
{
    if (!channelOn || magnitude == 0.0f)
        return dsp::kNoSignalDb;
    return inputCorrection.apply(1.0, frequencyHz, factor * std::log(static_cast<double>(magnitude)) + offset);
}

} // namespace measure
