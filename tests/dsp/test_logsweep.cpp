// The log sweep's design and validation against hand-derived values, the
// windowed spectrum against the closed form of an impulse with one echo,
// and the analyser's averaging and refusals on short sweeps.
#include "dsp/impulsespectrum.h"
#include "dsp/logsweepanalysis.h"
#include "logsweeptest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

using namespace dsp;
using namespace logsweeptest;

TEST(LogSweepDesign, RoundsToWholeCyclesAndSweepsThemAll)
{
    // 20 Hz .. 20 kHz, 2 s asked: f1·L = round(20·2/ln 1000) = round(5.79) = 6,
    // L = 0.3 s, 0.3·ln 1000 s = 99471.7 frames at 48 kHz, so 99472 frames.
    LogSweepParameters p;
    p.Seconds = 2.0;
    p.FadeInOctaves = p.FadeOutOctaves = 0.0;
    LogSweepDesign d;
    ASSERT_TRUE(DesignLogSweep(p, 48000.0, d));
    EXPECT_DOUBLE_EQ(d.RateConstant, 0.3);
    EXPECT_EQ(d.SweepFrames, 99472);
    EXPECT_EQ(d.CaptureFrames, 99472 + 24000);
    // The phase 2 pi f1 L (e^(t/L) - 1) completes L·(f2 - f1) = 5994 cycles:
    // count the rising zero crossings; the peak is the level (-6 dB).
    std::vector<float> x(static_cast<std::size_t>(d.SweepFrames));
    RenderLogSweep(d, x.data());
    int rising = 0;
    float peak = 0.0f;
    for (std::size_t n = 1; n < x.size(); ++n) {
        rising += x[n - 1] < 0.0f && x[n] >= 0.0f;
        peak = std::max(peak, std::fabs(x[n]));
    }
    EXPECT_NEAR(rising, 5994, 1);
    EXPECT_NEAR(peak, std::pow(10.0, -6.0 / 20.0), 1e-4);
    // The same length asked in frames.
    p.LengthFrames = 96000;
    ASSERT_TRUE(DesignLogSweep(p, 48000.0, d));
    EXPECT_DOUBLE_EQ(d.RateConstant, 0.3);
}

TEST(LogSweepDesign, RefusesWhatCannotBeMeasuredAndSaysWhy)
{
    LogSweepParameters p;
    auto check = [&](double rate) { return CheckLogSweep(p, rate); };
    EXPECT_TRUE(check(48000.0).ok());
    p.FromHz = 20000.0;
    EXPECT_EQ(LogSweepProblemText(check(48000.0), 'E'), "The start frequency must lie below the end frequency.");
    EXPECT_EQ(LogSweepProblemText(check(48000.0), 'D'), "Die Startfrequenz muss unter der Endfrequenz liegen.");
    p.FromHz = 20.0;
    p.ToHz = 30000.0;
    EXPECT_EQ(LogSweepProblemText(check(48000.0), 'E'),
              "The end frequency (30000 Hz) lies above half the sample rate (24000 Hz).");
    EXPECT_EQ(LogSweepProblemText(check(44100.0), 'D'),
              "Die Endfrequenz (30000 Hz) liegt über der halben Abtastrate (22050 Hz).");
    // H5 needs one period of 20 Hz between H5 and H6: f1·L >= 20·0.05/ln 1.2
    // = 5.48, so 6 cycles, L = 0.3 s and 0.3·ln 1000 = 2.07 s.
    p.ToHz = 20000.0;
    p.Seconds = 1.5;
    const LogSweepCheck shortOne = check(48000.0);
    EXPECT_EQ(shortOne.Problem, LogSweepProblem::TooShort);
    EXPECT_EQ(LogSweepProblemText(shortOne, 'E'),
              "The sweep is too short to separate the harmonics up to H5: it must last at least 2.1 s.");
    EXPECT_EQ(LogSweepProblemText(shortOne, 'D'),
              "Der Sweep ist zu kurz, um die Oberwellen bis H5 zu trennen: er muss mindestens 2.1 s dauern.");
    p.Seconds = 2.1;
    EXPECT_TRUE(check(48000.0).ok());
    p.Harmonics = 2;
    // 2^20 frames must hold (ln 1000 + ln 3)·L·48000 frames of sweep and
    // harmonics, the 24000 of the tail and a margin of 64: f1·L <= 53.3,
    // so 53 cycles, L = 2.65 s and 2.65·ln 1000 = 18.31 s.
    p.Seconds = 30.0;
    const LogSweepCheck longOne = check(48000.0);
    EXPECT_EQ(LogSweepProblemText(longOne, 'E'), "The sweep is too long: it may last at most 18.3 s.");
    p.Seconds = longOne.Seconds;
    EXPECT_TRUE(check(48000.0).ok());
    p.Seconds = 2.5;
    p.WindowMs = 600.0; // longer than the tail
    EXPECT_EQ(check(48000.0).Problem, LogSweepProblem::Window);
    p.WindowMs = 300.0;
    p.Smoothing = 5;
    EXPECT_EQ(check(48000.0).Problem, LogSweepProblem::Smoothing);
}

TEST(ImpulseSpectrum, EchoReadsItsClosedFormPlainAndSmoothed)
{
    // h = d[t] + 0.5 d[t - 37]: H = 1 + 0.5 e^(-i w 37), |H|^2 = 1.25 + cos(37 w).
    const double rate = 48000.0, a = 0.5, lag = 37.0;
    std::vector<double> h(4096, 0.0);
    h[100] = 1.0;
    h[137] = a;
    ResponseWindow w;
    w.Pre = 10;
    w.Post = 200;
    ImpulseSpectrum s;
    s.compute(h.data(), h.size(), 100, w, 1.0, rate, true);
    for (double f : {0.0, 440.0, 1000.0, 7777.0, 20000.0}) {
        const std::complex<double> e = 1.0 + a * std::polar(1.0, -2.0 * std::numbers::pi * f * lag / rate);
        EXPECT_NEAR(std::abs(s.at(f) - e), 0.0, 1e-12) << f;
    }
    // A window longer than one of at()'s phasor blocks whose last frames do
    // not fill a group of its chains: a tap at the very end, 304 frames on.
    h[404] = 0.25;
    w.Post = 305;
    ImpulseSpectrum longer;
    longer.compute(h.data(), h.size(), 100, w, 1.0, rate, false);
    for (double f : {0.0, 440.0, 1000.0, 7777.0, 20000.0, 23999.0}) {
        const double x = -2.0 * std::numbers::pi * f / rate;
        const std::complex<double> e = 1.0 + a * std::polar(1.0, x * lag) + 0.25 * std::polar(1.0, x * 304.0);
        EXPECT_NEAR(std::abs(longer.at(f) - e), 0.0, 1e-12) << f;
    }
    for (int fraction : {3, 6, 48}) {
        for (double f : {1000.0, 5000.0, 12000.0}) {
            const double lo = f * std::exp2(-0.5 / fraction), hi = f * std::exp2(0.5 / fraction);
            const double wl = 2.0 * std::numbers::pi * lo * lag / rate, wh = 2.0 * std::numbers::pi * hi * lag / rate;
            const double power = 1.0 + a * a + 2.0 * a * (std::sin(wh) - std::sin(wl)) / (wh - wl);
            const std::complex<double> mean =
                1.0 + a * (std::polar(1.0, -wh) - std::polar(1.0, -wl)) / std::complex<double>(0.0, -(wh - wl));
            const ImpulseSpectrum::Smoothed got = s.smoothed(f, fraction);
            EXPECT_NEAR(got.Power, power, 3e-3) << "1/" << fraction << " octave at " << f;
            EXPECT_NEAR(std::abs(got.Mean - mean), 0.0, 3e-3) << "1/" << fraction << " octave at " << f;
        }
    }
}

TEST(LogSweepAnalyser, AveragesAlignedSweepsAndRefusesBadRecordings)
{
    LogSweepParameters p = Sweep(100.0, 10000.0, 0.5, kSweepStereo);
    p.Harmonics = 1;
    p.TailSeconds = 0.1;
    p.WindowMs = 50.0;
    LogSweepAnalyser a;
    ASSERT_TRUE(a.prepare(p, 48000.0));
    ASSERT_TRUE(Record(a, Delay(100), Delay(100)).ok());
    const LogSweepResult one = a.result();
    // A second sweep arriving 5 frames later is shifted onto the first.
    ASSERT_TRUE(Record(a, Delay(105), Delay(105)).ok());
    const LogSweepResult two = a.result();
    EXPECT_EQ(two.Averages, 2);
    EXPECT_EQ(two.Channels[0].LatencyFrames, 100);
    const LogSweepChannelResult &c1 = one.Channels[0], &c2 = two.Channels[0];
    EXPECT_NEAR(c2.Impulse[c2.ImpulseZero], c1.Impulse[c1.ImpulseZero], 1e-9);

    // Refused recordings leave the average alone; the next good one counts.
    a.beginCapture();
    std::vector<float> block(2000, 0.0f);
    a.appendInterleaved(block.data(), 1000);
    EXPECT_EQ(a.finishCapture().Problem, LogSweepProblem::IncompleteCapture);
    const double top = 0.99 * a.design().Amplitude;
    EXPECT_EQ(Record(a, Delay(0), [top](double x) { return x > top ? std::nan("") : x; }).Problem,
              LogSweepProblem::InvalidSamples);
    EXPECT_EQ(a.averaged(), 2);
    p.Mode = kSweepRightReference;
    ASSERT_TRUE(a.prepare(p, 48000.0));
    const LogSweepCheck silent = Record(a, Delay(0), [](double) { return 0.0; });
    EXPECT_EQ(LogSweepProblemText(silent, 'E'), "The reference input carries no sweep.");
    EXPECT_EQ(a.averaged(), 0);
    ASSERT_TRUE(Record(a, Delay(3), Delay(0)).ok());
    EXPECT_EQ(a.result().Channels[0].PeakFrames, 3);
}
