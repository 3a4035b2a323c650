// An analyser round without a window (see spectrummeasurement.h).
#include "measurement/spectrummeasurement.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "measurement/blockwait.h"
#include "measurement/spectrumblock.h"

#include <algorithm>

namespace measure {

namespace {
// A channel buffer holds a whole split block: up to 32768 frames.
constexpr std::size_t kChannelValues = 32768;
} // namespace

SpectrumMeasurement::SpectrumMeasurement()
    : left_(kChannelValues), right_(kChannelValues), leftSum_(kChannelValues), rightSum_(kChannelValues)
{
}

bool SpectrumMeasurement::Run(const SpectrumSetup &setup)
{
    error_.clear();
    overloads_ = 0;
    const int n = setup.FftSize;
    if (!dsp::IsSupportedFftSize(n) || AnalyserCaptureFrames(n) > audio::kMaxCaptureFrames) {
        error_ = "FFT size " + std::to_string(n) + " is not supported";
        return false;
    }
    if (setup.Window < 0 || setup.Window >= dsp::kWindowTypeCount) {
        error_ = "window " + std::to_string(setup.Window) + " is not supported";
        return false;
    }
    if (audio::InputFormats(audio::GetInputDevice()) == 0) {
        error_ = "the input device cannot be used";
        return false;
    }
    transform_.setWindow(setup.Window, n);
    bins_ = n / 2;
    std::fill(left_.begin(), left_.end(), 0.0f);
    std::fill(right_.begin(), right_.end(), 0.0f);
    std::fill(leftSum_.begin(), leftSum_.end(), 0.0f);
    std::fill(rightSum_.begin(), rightSum_.end(), 0.0f);

    AverageRound round{std::max(setup.Averages, 1), std::max(setup.Averages, 1)};
    for (;;) {
        if (InterruptRequested()) {
            error_ = "interrupted";
            return false;
        }
        const CapturedBlock block = CaptureBlock(AnalyserCaptureFrames(n));
        if (!block.Data && InterruptRequested()) {
            error_ = "interrupted";
            return false;
        }
        if (!block.Data) {
            error_ = "capture failed: " + audio::ErrorText(block.Status);
            return false;
        }
        int rateOut = 0;
        audio::GetRates(rate_, rateOut);
        overloads_ += block.Overloads;
        if (setup.Right) {
            SplitChannel(block.Data, block.Count, kRightChannel, right_.data(), n);
            transform_.transform(right_.data(), n);
        }
        if (setup.Left) {
            SplitChannel(block.Data, block.Count, kLeftChannel, left_.data(), n);
            transform_.transform(left_.data(), n);
        }
        if (AverageSpectra(round, left_.data(), right_.data(), leftSum_.data(), rightSum_.data(), bins_))
            return true;
    }
}

} // namespace measure
