// The log sweep through ALSA's file plugin, on a machine without a sound
// card: "default" captures a raw file that holds an exponential sweep this
// test writes from its formula, a known number of frames late, on both
// channels, and plays into /dev/null. The plugin runs without a clock, so
// the run cannot tell when the output started against the capture: it says
// so, and counts the latency as if both had started together, which for
// this file is the delay written into it.
#include "alsatestsupport.h"
#include "audio/outputengine.h"
#include "measurement/logsweepdriver.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

namespace {

std::string gInFile;

constexpr int kRate = 48000;
constexpr int kDelay = 137; // frames between the sweep's place in the output and in the file

// The synchronised exponential sweep (Farina 2000; Novák, Simon, Lotton,
// J. Audio Eng. Soc. 63(10), 2015): x(t) = A sin(2 pi f1 L (e^(t/L) - 1)),
// L = round(f1 T / ln(f2/f1)) / f1, frames n = 0 .. floor(L ln(f2/f1) rate),
// raised-cosine fades over the first quarter octave and the last 1/24.
std::string SweepFile(double f1, double f2, double seconds, double levelDb, std::int64_t leadFrames)
{
    const double ln = std::log(f2 / f1);
    const double l = std::round(f1 * seconds / ln) / f1;
    const auto frames = static_cast<std::int64_t>(std::floor(l * ln * kRate)) + 1;
    const double perOctave = l * std::numbers::ln2 * kRate;
    const auto fadeIn = std::llround(0.25 * perOctave), fadeOut = std::llround(perOctave / 24.0);
    const double a = std::pow(10.0, levelDb / 20.0);
    const std::int64_t total = leadFrames + frames + kRate; // a second of silence after it
    std::string bytes(static_cast<std::size_t>(total) * 4, '\0');
    for (std::int64_t n = 0; n < frames; ++n) {
        double g = a;
        if (n < fadeIn)
            g *= 0.5 * (1.0 - std::cos(std::numbers::pi * static_cast<double>(n) / fadeIn));
        if (frames - 1 - n < fadeOut)
            g *= 0.5 * (1.0 - std::cos(std::numbers::pi * static_cast<double>(frames - 1 - n) / fadeOut));
        const double t = static_cast<double>(n) / kRate;
        const double x = g * std::sin(2.0 * std::numbers::pi * f1 * l * std::expm1(t / l));
        const auto v = static_cast<std::int16_t>(std::lround(std::clamp(x * 32767.0, -32768.0, 32767.0)));
        const auto at = static_cast<std::size_t>(leadFrames + n) * 4;
        for (int c = 0; c < 2; ++c) { // S16_LE, both channels
            bytes[at + 2 * c] = static_cast<char>(v & 0xFF);
            bytes[at + 2 * c + 1] = static_cast<char>((v >> 8) & 0xFF);
        }
    }
    return bytes;
}

TEST(AlsaLogSweep, TheFilePluginsRecordingGivesItsDelayAndAFlatResponse)
{
    audiotest::SettingsScratch settings("alsalogsweep");
    audiotest::CardEngine engine;
    dsp::LogSweepParameters p;
    p.FromHz = 100.0;
    p.ToHz = 20000.0;
    p.Seconds = 0.4; // with the tail and the lead within the capture's queued blocks:
    p.TailSeconds = 0.1; // the plugin reads the file as fast as it is asked, and
    p.WindowMs = 50.0;   // drops what comes while no block is queued
    p.Harmonics = 1;
    p.LevelDb = -6.0;
    p.Mode = dsp::kSweepStereo;
    p.PointsPerOctave = 12;
    const auto lead = std::lround(measure::LogSweepDriver::kLeadSeconds * kRate);
    testsupport::WriteFile(gInFile, SweepFile(p.FromHz, p.ToHz, p.Seconds, p.LevelDb, lead + kDelay));

    engine.start(audio::VirtualCardConfig::Ideal(), true); // device 0: ALSA's "default"
    engine.setFormat(kRate, 16);
    measure::LogSweepDriver driver;
    ASSERT_EQ(driver.Run(p, dsp::CorrectionCurve()), measure::LogSweepDriver::Outcome::Done) << driver.Error();
    const dsp::LogSweepResult r = driver.Result();
    engine.stop();
    ASSERT_EQ(r.ChannelCount, 2);
    EXPECT_EQ(r.LatencyUncertaintyFrames, -1); // no clock behind the plugin
    EXPECT_EQ(r.LatencyFrames, kDelay);
    int checked = 0;
    for (const dsp::LogSweepChannelResult &c : r.Channels) {
        EXPECT_EQ(c.LatencyFrames, kDelay);
        EXPECT_EQ(c.PeakFrames, kDelay);
        for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
            const double f = r.FrequencyHz[i];
            if (f < 2.0 * p.FromHz || f > 0.9 * p.ToHz)
                continue;
            EXPECT_NEAR(c.LevelDb[i], p.LevelDb, 0.05) << f;
            EXPECT_NEAR(std::remainder(c.PhaseDeg[i], 360.0), 0.0, 0.5) << f;
            ++checked;
        }
    }
    EXPECT_GT(checked, 2 * 70);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string dir = testsupport::ScratchDir("alsa-logsweep");
    gInFile = dir + "/in.raw";
    testsupport::WriteFile(gInFile, "");
    alsatest::UseAlsaFileConfig(dir, gInFile, "/dev/null");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
