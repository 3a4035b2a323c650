// Level and phase of log sweeps against closed forms: the ideal card with
// whole-frame delays (latency and impulse peak exact to the frame, flat
// response), swept from 20 Hz to 20 kHz for 2.1 s (f1·L = 6: L = 0.3 s,
// 99472 frames), and designed IIR sections, swept from 10 Hz to 22.5 kHz
// for 4.6 s (f1·L = 6: L = 0.6 s, 222299 frames); both the shortest that
// separate H2 .. H5, at 48000 Hz with the default 300 ms window.
#include "dsp/logsweepanalysis.h"
#include "logsweeptest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

using namespace dsp;
using namespace logsweeptest;

namespace {

constexpr double kRate = 48000.0;

LogSweepParameters Sweep(std::int32_t mode, bool wide)
{
    LogSweepParameters p;
    p.FromHz = wide ? 10.0 : 20.0;
    p.ToHz = wide ? 22500.0 : 20000.0;
    p.Seconds = wide ? 4.6 : 2.1;
    p.Mode = mode;
    p.PointsPerOctave = 12;
    return p;
}

// Largest deviations from `expected` over [lo, hi] in dB and degrees.
void ExpectResponse(const LogSweepResult &r, const LogSweepChannelResult &c, double lo, double hi, double dbTol,
                    double degTol, const std::function<std::complex<double>(double)> &expected, double offsetDb = 0)
{
    int checked = 0;
    for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
        const double f = r.FrequencyHz[i];
        if (f < lo || f > hi)
            continue;
        const std::complex<double> e = expected(f);
        EXPECT_NEAR(c.LevelDb[i], 20.0 * std::log10(std::abs(e)) + offsetDb, dbTol) << f << " Hz";
        EXPECT_NEAR(std::remainder(c.PhaseDeg[i] - std::arg(e) * 180.0 / std::numbers::pi, 360.0), 0.0, degTol)
            << f << " Hz";
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

} // namespace

TEST(LogSweepResponse, IdealCardWithDelaysIsFlatAndExactToTheFrame)
{
    // Left input 1234 frames late (the card), the right 77 frames later still (the device).
    auto flat = [](double) { return std::complex<double>(1.0); };
    for (std::int32_t mode : {kSweepStereo, kSweepRightReference}) {
        LogSweepAnalyser a;
        ASSERT_TRUE(a.prepare(Sweep(mode, false), kRate));
        ASSERT_TRUE(Record(a, Delay(1234), Delay(1311)).ok());
        const LogSweepResult r = a.result();
        if (mode == kSweepStereo) {
            ASSERT_EQ(r.ChannelCount, 2);
            EXPECT_EQ(r.LatencyFrames, 1234);
            EXPECT_EQ(r.Channels[0].PeakFrames, 1234);
            EXPECT_EQ(r.Channels[1].PeakFrames, 1311);
            EXPECT_EQ(r.Channels[1].LatencyFrames, 1311);
            // Stereo levels are those the sweep (-6 dB) reaches on each input.
            for (const auto &c : r.Channels)
                ExpectResponse(r, c, 40.0, 18000.0, 0.01, 0.1, flat, -6.0);
        } else {
            // The left input measured against the right one: 77 frames early.
            ASSERT_EQ(r.ChannelCount, 1);
            EXPECT_EQ(r.Channels[0].Input, 0);
            EXPECT_EQ(r.LatencyFrames, 1311);
            EXPECT_EQ(r.Channels[0].PeakFrames, -77);
            EXPECT_EQ(r.Channels[0].LatencyFrames, 1234);
            ExpectResponse(r, r.Channels[0], 40.0, 18000.0, 0.01, 0.1, flat);
        }
    }
}

TEST(LogSweepResponse, DesignedSectionsMatchTheirTransferFunction)
{
    // Right input through a peaking section and a low shelf, against the straight left input.
    const IirCoefficients peak = IirDesign(kIirPeaking, 6.0, 2.0, 1000.0, kRate);
    const IirCoefficients shelf = IirDesign(kIirLowShelf, -4.0, 0.0, 100.0, kRate);
    IirSection s1(peak), s2(shelf);
    LogSweepAnalyser a;
    ASSERT_TRUE(a.prepare(Sweep(kSweepLeftReference, true), kRate));
    ASSERT_TRUE(Record(a, Delay(0), [&](double x) { return s2.process(s1.process(x)); }).ok());
    const LogSweepResult r = a.result();
    EXPECT_EQ(r.Channels[0].Input, 1);
    ExpectResponse(r, r.Channels[0], 20.0, 20000.0, 0.05, 0.5,
                   [&](double f) { return SectionResponse(peak, f, kRate) * SectionResponse(shelf, f, kRate); });
}
