// An analyser round without a window (see spectrummeasurement.h).
#include "measurement/spectrummeasurement.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "measurement/blockwait.h"
#include "measurement/spectrumblock.h"

#include <algorithm>

namespace measure {

SpectrumMeasurement::SpectrumMeasurement() { round_.Allocate(); }

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
    if (!round_.Allocated()) {
        error_ = "out of memory for the spectra";
        return false;
    }
    round_.SetWindow(setup.Window, n);
    round_.ZeroAll();

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
        if (round_.AddBlock(block.Data, block.Count, setup.Left, setup.Right, round))
            return true;
    }
}

} // namespace measure
