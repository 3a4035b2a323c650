// Level and phase of log sweeps against closed forms: the ideal card with
// whole-frame delays (latency and impulse peak exact to the frame, flat
// response), swept from 20 Hz to 20 kHz for 2.1 s (f1·L = 6: L = 0.3 s,
// 99472 frames), and designed IIR sections, swept from 10 Hz to 22.5 kHz
// for 4.6 s (f1·L = 6: L = 0.6 s, 222299 frames); both the shortest that
// separate H2 .. H5, at 48000 Hz with the default 300 ms window.
#include "dsp/logsweepanalysis.h"
#include "logsweeptest.h"

#include <gtest/gtest.h>

using namespace dsp;
using namespace logsweeptest;

TEST(LogSweepResponse, IdealCardWithDelaysIsFlatAndExactToTheFrame)
{
    // Left input 1234 frames late (the card), the right 77 frames later still (the device).
    auto flat = [](double) { return std::complex<double>(1.0); };
    for (std::int32_t mode : {kSweepStereo, kSweepRightReference}) {
        LogSweepAnalyser a;
        ASSERT_TRUE(a.prepare(Sweep(20.0, 20000.0, 2.1, mode), kRate));
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
    ASSERT_TRUE(a.prepare(Sweep(10.0, 22500.0, 4.6, kSweepLeftReference), kRate));
    ASSERT_TRUE(Record(a, Delay(0), [&](double x) { return s2.process(s1.process(x)); }).ok());
    const LogSweepResult r = a.result();
    EXPECT_EQ(r.Channels[0].Input, 1);
    ExpectResponse(r, r.Channels[0], 20.0, 20000.0, 0.05, 0.5,
                   [&](double f) { return SectionResponse(peak, f, kRate) * SectionResponse(shelf, f, kRate); });
}
