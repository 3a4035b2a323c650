// One analyser round (see spectrumround.h).
#include "measurement/spectrumround.h"

#include <algorithm>
#include <new>

namespace measure {

bool SpectrumRound::Allocate()
{
    try {
        left_.assign(kChannelValues, 0.0f);
        right_.assign(kChannelValues, 0.0f);
        leftSum_.assign(kChannelValues, 0.0f);
        rightSum_.assign(kChannelValues, 0.0f);
    } catch (const std::bad_alloc &) {
        Release();
        return false;
    }
    return true;
}

void SpectrumRound::Release()
{
    std::vector<float>().swap(left_);
    std::vector<float>().swap(right_);
    std::vector<float>().swap(leftSum_);
    std::vector<float>().swap(rightSum_);
}

void SpectrumRound::SetWindow(int type, int fftSize)
{
    transform_.setWindow(type, fftSize);
    fftSize_ = fftSize;
    bins_ = fftSize / 2;
}

void SpectrumRound::ZeroSums()
{
    std::fill(leftSum_.begin(), leftSum_.end(), 0.0f);
    std::fill(rightSum_.begin(), rightSum_.end(), 0.0f);
}

void SpectrumRound::ZeroAll()
{
    std::fill(left_.begin(), left_.end(), 0.0f);
    std::fill(right_.begin(), right_.end(), 0.0f);
    ZeroSums();
}

bool SpectrumRound::AddBlock(const float *block, int count, bool left, bool right, AverageRound &round)
{
    if (!Allocated() || fftSize_ <= 0)
        return false;
    // A block longer than a buffer holds is cut to what fits; the transform
    // reads only the first fftSize values anyway.
    count = std::min(count, static_cast<int>(2 * kChannelValues));
    if (right) {
        SplitChannel(block, count, kRightChannel, right_.data(), fftSize_);
        transform_.transform(right_.data(), fftSize_);
    }
    if (left) {
        SplitChannel(block, count, kLeftChannel, left_.data(), fftSize_);
        transform_.transform(left_.data(), fftSize_);
    }
    return AverageSpectra(round, left_.data(), right_.data(), leftSum_.data(), rightSum_.data(), bins_);
}

} // namespace measure
