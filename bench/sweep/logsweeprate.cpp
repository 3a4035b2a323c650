// The log sweep on a virtual loopback card paced in real time at 48000 Hz,
// over the card's device model, in one run:
// - a 20 Hz .. 20 kHz sweep of 2^17 samples (2.73 s) with H2 .. H5 at
//   1/48 octave: its wall time against the time it must take (the sweep,
//   the latency and the processing), the processing time per second of
//   sweep, and the points and harmonics it gives;
// - the 31-step stepped sweep over the same range on the same device, and
//   the log sweep's wall time against it.
// Targets: wall / (sweep + latency + processing) <= 1.15, and the log sweep
// in less than a third of the stepped sweep's wall time. Exits non-zero when
// a run did not do its work (an error, too few points, no harmonics), and
// with 1 when it missed a target.
#include "audio/audioengine.h"
#include "audio/capturecompletions.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "measurement/logsweepdriver.h"
#include "measurement/sweepdriver.h"
#include "pacedcard.h"
#include "platform/runtime/utilities.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    platform::SetSettingsFileName(dir.filePath("sonmain.ini").toStdString());
    constexpr int kRate = 48000;
    audio::VirtualCardConfig config; // the device model
    audio::Tdummy window;
    if (!bench::StartPacedCard(config, kRate))
        return 2;
    const dsp::CorrectionCurve none;

    // The log sweep.
    dsp::LogSweepParameters p;
    p.FromHz = 20.0;
    p.ToHz = 20000.0;
    p.LengthFrames = 1 << 17;
    p.Mode = dsp::kSweepLeftReference;
    p.LevelDb = -6.0;
    p.TailSeconds = 0.35; // the window of 300 ms and the latency
    p.PointsPerOctave = 48;
    measure::LogSweepDriver driver;
    QElapsedTimer wall;
    wall.start();
    const auto outcome = driver.Run(p, none);
    const dsp::LogSweepResult r = driver.Result();
    const double logWall = wall.nsecsElapsed() * 1e-9;
    if (outcome != measure::LogSweepDriver::Outcome::Done) {
        std::printf("FAILED: the log sweep: %s\n", driver.Error().c_str());
        return 2;
    }
    const double evaluate0 = wall.nsecsElapsed() * 1e-9;
    (void)driver.Result();
    const double evaluate = wall.nsecsElapsed() * 1e-9 - evaluate0;
    const double sweepSeconds = driver.Analyser().design().seconds();
    const double latency = static_cast<double>(r.LatencyFrames) / kRate;
    const double processing = driver.ProcessingSeconds() + evaluate;
    int harmonics = 0;
    for (std::size_t i = 0; i < r.FrequencyHz.size() && r.ChannelCount == 1; ++i)
        harmonics += std::isfinite(r.Channels[0].HarmonicDb[0][i]) && std::isfinite(r.Channels[0].HarmonicDb[3][i]);
    const int points = static_cast<int>(r.FrequencyHz.size());
    const double ratio = logWall / (sweepSeconds + latency + processing);
    std::printf("log sweep: %d frames (%.3f s), %d points, %d with H2..H5, latency %.1f ms\n",
                static_cast<int>(driver.Analyser().design().SweepFrames), sweepSeconds, points, harmonics,
                1000.0 * latency);
    std::printf("  wall %.3f s, processing %.3f s (%.1f ms per second of sweep), "
                "wall/(sweep+latency+processing) %.3f (target <= 1.15)\n",
                logWall, processing, 1000.0 * processing / sweepSeconds, ratio);
    std::fflush(stdout);
    if (points < 470 || harmonics < 300) {
        std::printf("FAILED: the log sweep gave %d points, %d with H2..H5\n", points, harmonics);
        return 2;
    }

    // The stepped sweep: 31 steps, log spacing, 100 ms settling, loop mode.
    measure::SweepSetup setup;
    setup.FreqFrom = 20;
    setup.FreqTo = 20000;
    setup.Steps = 30;
    setup.Mode = dsp::kSweepLeftReference;
    setup.LevelDig = -6.0f;
    setup.SettleMs = 100;
    audio::SetLoop(true);
    measure::SweepDriver stepped;
    int steps = 0;
    stepped.OnPoint = [&](const measure::SweepPoint &) { ++steps; };
    wall.restart();
    const auto steppedOutcome = stepped.Run(setup, none, none);
    const double steppedWall = wall.nsecsElapsed() * 1e-9;
    if (steppedOutcome != measure::SweepDriver::Outcome::Done || steps != 31) {
        std::printf("FAILED: the stepped sweep measured %d of 31 steps: %s\n", steps, stepped.Error().c_str());
        return 2;
    }
    std::printf("stepped sweep: 31 points in %.3f s\n", steppedWall);
    std::printf("log sweep / stepped sweep wall time %.3f (target < 0.333), %.1f times the points\n",
                logWall / steppedWall, points / 31.0);
    audio::DoneAudio();
    return ratio <= 1.15 && logWall < steppedWall / 3.0 ? 0 : 1;
}
