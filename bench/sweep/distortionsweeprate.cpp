// A distortion sweep against frequency on a virtual loopback card paced in
// real time at 48000 Hz over the card's device model (DISTORTION -60 dB):
// 31 steps from 50 Hz to 10 kHz at -6 dBFS, 100 ms settling and one
// 16384-point block per step (captured as 18432 frames, the analyser's
// block). Its wall time against the time the steps must take (settling plus
// capture, step by step), as the level sweep's ratio, and the longest time a
// step took beyond that;
// beside it, per step, the readings of the right (model) input against
// their closed forms: the fundamental through the model's filters, H2 and H3
// equal to DISTORTION while 3f stays below half the rate.
// Target: wall / (settling + capture) <= 1.05. Exits 2 when the run did not
// do its work, 1 when it missed the target.
#include "audio/audioengine.h"
#include "audio/capturecompletions.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "measurement/distortionsweep.h"
#include "pacedcard.h"
#include "platform/runtime/utilities.h"
#include "support/cardmodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cmath>
#include <complex>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    platform::SetSettingsFileName(dir.filePath("sonmain.ini").toStdString());
    constexpr int kRate = 48000;
    constexpr double kDistortionDb = -60.0;
    audio::VirtualCardConfig config; // the device model
    config.distortionDb = kDistortionDb;
    audio::Tdummy window;
    if (!bench::StartPacedCard(config, kRate))
        return 2;
    audio::SetLoop(false);

    measure::DistortionSweepSetup s;
    s.Kind = measure::DistortionSweepKind::Frequency;
    s.FromHz = 50;
    s.ToHz = 10000;
    s.Steps = 30;
    s.LevelDb = -6;
    s.SettleMs = 100;
    s.Spectrum.FftSize = 16384;
    s.Spectrum.Window = dsp::kWindowRifeVincent3;
    s.Averages = 1;
    s.Band.limit = dsp::BandLimit::HalfRate;
    if (const std::string e = measure::DistortionSweep::Validate(s, kRate, kRate); !e.empty()) {
        std::printf("FAILED: %s\n", e.c_str());
        return 2;
    }
    measure::DistortionSweep sweep;
    QElapsedTimer wall;
    double stepStart = 0.0, worstStepOverhead = 0.0;
    int points = 0;
    double worstFundamental = 0.0, worstHarmonic = 0.0;
    std::printf("%9s %10s %10s %8s %8s %8s   (right input; expected H2 = H3 = %.1f dB)\n", "freq_hz", "fund_dbfs",
                "expected", "h2_db", "h3_db", "thd_db", kDistortionDb);
    const double stepNeeded = measure::DistortionSweep::NeededSeconds(s, kRate) / 31.0;
    sweep.OnStep = [&](int, int) { stepStart = wall.nsecsElapsed() * 1e-9; };
    sweep.OnPoint = [&](const measure::DistortionStep &p) {
        worstStepOverhead = std::max(worstStepOverhead, wall.nsecsElapsed() * 1e-9 - stepStart - stepNeeded);
        ++points;
        const dsp::HarmonicReading &r = p.Harmonics[1];
        const double expected =
            s.LevelDb + 20.0 * std::log10(std::abs(testsupport::DeviceUnderTest(p.FrequencyHz, kRate)));
        const bool h3 = r.harmonic(3).state == dsp::ComponentState::Measured;
        std::printf("%9.1f %10.3f %10.3f %8.2f %8s %8.2f\n", p.FrequencyHz, r.fundamentalDbfs, expected,
                    r.harmonic(2).levelDb, h3 ? std::to_string(r.harmonic(3).levelDb).substr(0, 6).c_str() : "-",
                    r.thdDb);
        worstFundamental = std::max(worstFundamental, std::fabs(r.fundamentalDbfs - expected));
        worstHarmonic = std::max(worstHarmonic, std::fabs(r.harmonic(2).levelDb - kDistortionDb));
        if (h3)
            worstHarmonic = std::max(worstHarmonic, std::fabs(r.harmonic(3).levelDb - kDistortionDb));
    };
    wall.start();
    const auto outcome = sweep.Run(s);
    const double seconds = wall.nsecsElapsed() * 1e-9;
    audio::DoneAudio();
    if (outcome != measure::DistortionSweep::Outcome::Done || points != 31) {
        std::printf("FAILED: the sweep measured %d of 31 steps: %s\n", points, sweep.Error().c_str());
        return 2;
    }
    const double needed = measure::DistortionSweep::NeededSeconds(s, kRate);
    const double ratio = seconds / needed;
    std::printf("largest deviation: fundamental %.3f dB from the filters' closed form, H2/H3 %.3f dB from "
                "DISTORTION\n", worstFundamental, worstHarmonic);
    std::printf("largest time a step took beyond its settling and capture: %.1f ms\n", 1000.0 * worstStepOverhead);
    std::printf("31 steps: wall %.3f s, settling + capture %.3f s, wall/(settling + capture) %.3f (target <= 1.05)\n",
                seconds, needed, ratio);
    return ratio <= 1.05 ? 0 : 1;
}
