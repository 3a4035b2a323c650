// The settings that produced a measurement, as a result document carries
// them under "settings". The keys are those the command line has always
// printed; sections a measurement did not use are absent.
//
//   program, version, time   the program's name and version, the time of the
//                            measurement (ISO 8601, UTC); "version" here is
//                            the program's, not the file format's
//   command                  the command line's command (absent from the
//                            window program's results)
//   settings_file            the settings file read, or null
//   input, output            device, number, rate_hz, bits
//   calibration              input_mv_full_scale, level_factor,
//                            level_offset_db, calibrated_input_volume
//   corrections              input, output: null or file, sha256, active
//   spectrum                 fft_size, window, averages, unit, unit_shift_db,
//                            overloads
//   analysis                 low_hz, high_hz, filter [, filter_file,
//                            filter_sha256] [, fundamental ("auto" or Hz),
//                            threshold_db]
//   generator                wave, frequency_hz, level_db, phase_left_deg,
//                            phase_right_deg, loop
//   sweep                    from_hz, to_hz, steps, spacing ("log"|"lin"),
//                            mode ("left-ref"|"right-ref"|"stereo"), phase,
//                            level_db, settle_ms, output_mode ("loop"|"stream")
//   logsweep                 from_hz, to_hz, seconds, level_db,
//                            fade_in_octaves, fade_out_octaves, tail_s, mode,
//                            averages, harmonics, window_ms, smoothing,
//                            points_per_octave
//   distortion               over ("frequency"|"level"), from, to, steps,
//                            spacing, frequency_hz, level_db, settle_ms,
//                            band_low_hz, band_high_hz, weighting
//
// Keys this version does not know, at the top or inside a section, are
// kept in Extra and written back unchanged.
//
// Threads: any.
#pragma once

#include "measurement/document/measurementfileerror.h"

#include <QJsonObject>
#include <optional>
#include <string>

namespace measure {

struct DeviceSetting {
    std::string Device;
    int Number = 0;
    int RateHz = 0;
    int Bits = 0;
};

struct CalibrationSetting {
    double InputMvFullScale = 0.0;
    double LevelFactor = 0.0;
    double LevelOffsetDb = 0.0;
    int CalibratedInputVolume = 0;
};

struct CorrectionSetting {
    std::string File, Sha256;
    bool Active = false;
};

struct SpectrumSetting {
    int FftSize = 0;
    std::string Window, Unit;
    int Averages = 0;
    double UnitShiftDb = 0.0;
    int Overloads = 0;
};

struct AnalysisSetting {
    int LowHz = 0, HighHz = 0;
    std::string Filter;
    std::string FilterFile, FilterSha256; // both empty when no weighting file was used
    bool ThdN = false;                    // fundamental and threshold present
    bool FundamentalAuto = false;
    int FundamentalHz = 0;
    double ThresholdDb = 0.0;
};

struct GeneratorSetting {
    std::string Wave;
    double FrequencyHz = 0.0, LevelDb = 0.0, PhaseLeftDeg = 0.0, PhaseRightDeg = 0.0;
    bool Loop = false;
};

struct SweepSetting {
    double FromHz = 0.0, ToHz = 0.0;
    int Steps = 0;
    std::string Spacing, Mode, OutputMode;
    bool Phase = false;
    double LevelDb = 0.0;
    int SettleMs = 0;
};

struct LogSweepSetting {
    double FromHz = 0.0, ToHz = 0.0, Seconds = 0.0, LevelDb = 0.0;
    double FadeInOctaves = 0.0, FadeOutOctaves = 0.0, TailSeconds = 0.0;
    std::string Mode;
    int Averages = 0, Harmonics = 0;
    double WindowMs = 0.0;
    int Smoothing = 0, PointsPerOctave = 0;
};

struct DistortionSetting {
    std::string Over; // "frequency" or "level": the x axis of the curves
    double From = 0.0, To = 0.0;
    int Steps = 0;
    std::string Spacing;
    double FrequencyHz = 0.0; // the tone when the sweep runs over the level
    double LevelDb = 0.0;     // the level when it runs over the frequency
    int SettleMs = 0;
    double BandLowHz = 0.0, BandHighHz = 0.0;
    std::string Weighting;
};

struct MeasurementSettings {
    std::string Program, Version, Time;
    std::optional<std::string> Command;
    std::optional<std::string> SettingsFile; // nullopt is written as null
    std::optional<DeviceSetting> Input, Output;
    std::optional<CalibrationSetting> Calibration;
    bool HaveCorrections = false;
    std::optional<CorrectionSetting> InputCorrection, OutputCorrection; // null when absent
    std::optional<SpectrumSetting> Spectrum;
    std::optional<AnalysisSetting> Analysis;
    std::optional<GeneratorSetting> Generator;
    std::optional<SweepSetting> Sweep;
    std::optional<LogSweepSetting> LogSweep;
    std::optional<DistortionSetting> Distortion;
    QJsonObject Extra;
};

// The program's name, this build's version and the current time (UTC).
void StampProgram(MeasurementSettings &settings, const std::string &program);

// The SHA-256 of a file the measurement read (a correction, a limits or a
// filter file) in hex; "" when it cannot be read as a regular file of a
// sane size.
std::string FileSha256(const std::string &fileName);

// The settings as a JSON object (Extra merged in).
QJsonObject SettingsToJson(const MeasurementSettings &settings);

// Reads the settings object into `settings`. False on a value of the wrong
// type or a missing key of a section that is present (program, version and
// time are required too); `error` then names the field
// ("settings.sweep.steps") and what it must be. `settings` is only changed
// on success.
bool SettingsFromJson(const QJsonObject &json, MeasurementSettings &settings, FileError &error);

} // namespace measure
