// The program-wide measurement state of the main window: language,
// calibration, level scaling, analyser settings and run state, sweep and
// oscilloscope settings, window geometries. One instance, `MS`, read by the
// page logic and the dialogs that edit it. UI thread only.
#pragma once

#include "dsp/correction.h"
#include "settings/sweepsettings.h"

#include <cstdint>
#include <string>
#include <vector>

class TMainForm;

namespace app {

// Oscilloscope settings and run state.
struct ScopeState {
    std::int32_t VoltsIndex1 = 10; // 1..14
    std::int32_t VoltsIndex2 = 10;
    std::int32_t TimebaseIndex = 5; // 1..9
    float Position1 = 0.0f; // divisions
    float Position2 = 0.0f;
    bool Ground1 = false;
    bool Ground2 = false;
    bool RisingSlope = true;
    bool TriggerOnCh1 = true;
    float TriggerLevel = 0.0f;
    std::int32_t SampleRate = 44100;
    float SamplePeriod = 1.0f / 44100.0f;
    std::int32_t SamplesPerSweep = 1024;
    long double VoltsFullScale = 0.0L;
    bool Running = false;
    bool PageShown = false; // the page is entered: its input format is borrowed
    std::int32_t LastTimebase = 999;
    std::int32_t SavedInputRate = 0;
    std::int32_t SavedInputBits = 0;
};

struct WindowGeometry {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Left = 0;
    std::int32_t Top = 0;
};

// The range of the noise window's reference level, dBFS.
constexpr double kNoiseReferenceMin = -200.0, kNoiseReferenceMax = 20.0;

// The noise and dynamic-range window (section NOISE).
struct NoiseWindowSettings {
    double ReferenceDbfs = 0.0; // the signal-to-noise ratios' reference, -200 .. 20 dBFS
    std::int32_t Left = -1;     // window position; -1: not placed yet
    std::int32_t Top = -1;
};

struct AnalyserRangeRecord {
    std::int32_t FreqMin = 10;   // Hz
    std::int32_t FreqMax = 24000;
    float LevelMin = -110.0f;    // dB
    float LevelMax = 0.0f;
    float LevelStep = 5.0f;
};

struct MeasurementState {
    TMainForm *MainWindow = nullptr;

    char Language = 'D';
    float InputCalibration = 497.0f;  // millivolts at full scale
    float OutputCalibration = 123.0f; // millivolts
    std::int32_t CalibratedInputVolume = -1;
    std::int32_t CalibratedOutputVolume = -1; // not saved
    float LevelFactor = 8.722f;
    float LevelOffset = 12.6f;
    std::uint8_t LevelUnit = 0; // 0 dBFS, 1 dBV, 2 dBu, 3 dBm
    std::int32_t FftSize = 1024;
    std::int32_t FftWindow = 8;
    std::int32_t Averages = 1;
    std::int32_t AveragesLeft = 1;
    std::int32_t RunMode = 1; // 0 single, 1 continuous, 2 trigger
    bool AnalyserRunning = false;
    bool AnalyserPageShown = false;
    bool MeasureLeftOn = true;
    bool MeasureRightOn = true;
    std::string AnalyserComment = "remark:";
    AnalyserRangeRecord AnalyserRange;

    // Correction curves with their file names and active flags.
    dsp::CorrectionCurve InputCorrection;
    dsp::CorrectionCurve OutputCorrection;

    SweepSettings Sweep;
    ScopeState Scope;

    // Geometry handed to the oscilloscope window (-1: derived from the main window)
    WindowGeometry ScopeGeometry{260, -1, -1, -1};
    WindowGeometry DiagramGeometry{450, 320, 0, 0};
    NoiseWindowSettings Noise;
    std::int32_t MainLeft = 200;
    std::int32_t MainTop = 200;
};

extern MeasurementState MS;

// Comments and titles are stored with at most this many characters.
constexpr std::size_t MaxCommentLength = 120;

} // namespace app
