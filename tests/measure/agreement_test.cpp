// The windows and the measurement library on one engine: fed the same
// recorded blocks, the analyser page and SpectrumMeasurement give the same
// levels per bin, weighted level and THD+N; sweeps of the page and of
// SweepDriver agree on the virtual card; devices that fail or vanish end a
// measurement with their reason.
#include "analyser/analyserfixture.h"
#include "app/mainformtexts.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/fakebackend.h"
#include "measurement/levelunits.h"
#include "dsp/analysis.h"
#include "measurement/spectrumblock.h"
#include "measurement/spectrummeasurement.h"
#include "measurement/sweepdriver.h"

#include <QRegularExpression>
#include <cmath>

namespace {

using analysertest::kIdealCard;

// A 16-bit stereo recording at 44100 Hz: left (the first sample of a device
// frame) 0.2·sin(997 Hz) over seeded noise, right 0.3·sin(997 Hz) with its
// third harmonic at -50 dB.
std::vector<char> Recording(int frames)
{
    std::vector<char> bytes(static_cast<std::size_t>(frames) * 4);
    std::uint32_t seed = 12345;
    for (int k = 0; k < frames; ++k) {
        const double t = 2.0 * 3.14159265358979 * 997.0 * k / 44100.0;
        seed = seed * 1664525u + 1013904223u;
        const double noise = 1e-3 * ((seed >> 8) / 16777216.0 - 0.5);
        const auto put = [&](int at, double v) {
            const auto s = static_cast<std::int16_t>(std::lround(32767.0 * v));
            std::memcpy(&bytes[static_cast<std::size_t>(k) * 4 + at], &s, 2);
        };
        put(0, 0.2 * std::sin(t) + noise);
        put(2, 0.3 * std::sin(t) + 0.3e-2 / std::sqrt(10.0) * std::sin(3.0 * t));
    }
    return bytes;
}

// The number after `after` (a literal text, then `pattern`).
double Number(const QString &line, const QString &after, const QString &pattern = {})
{
    const QRegularExpressionMatch m =
        QRegularExpression(QRegularExpression::escape(after) + pattern + "(-?[0-9.]+)").match(line);
    return m.hasMatch() ? m.captured(1).toDouble() : NAN;
}

class Agreement : public analysertest::AnalyserTest {
protected:
    std::shared_ptr<fake::FakeBackend> installRecording(int frames)
    {
        auto fake = fake::Install(1, 1);
        fake->script.data = Recording(frames);
        int in = 0, out = 0;
        std::uint32_t mask = 0;
        audio::DeviceReport(in, out, mask);
        audio::SelectInputDevice(0);
        return fake;
    }
};

TEST_F(Agreement, AnalyserPageAndMeasurementAgreeOnTheSameRecordedBlocks)
{
    start(kIdealCard, "[FFT]\nSAMPLES=4096\nAVERAGE=3\nDBMODE=2\n[ANALYSE]\nFILTER=A Weighting\n");
    installRecording(measure::AnalyserCaptureFrames(4096));
    dsp::SpectrumAnalysis &a = dsp::UnitAnalysis();
    a.selectFilter("A Weighting");
    a.settings().noiseMess = true;
    ASSERT_TRUE(runOnce());
    const QString levelLine = diagram()->StatusText();
    const display::DiagramCurves &c = diagram()->Curves();
    const std::vector<float> left(c.Curve1(), c.Curve1() + 2048), right(c.Curve2(), c.Curve2() + 2048);
    a.settings().noiseMess = false;
    a.settings().thdMess = true;
    ASSERT_TRUE(runOnce());
    const QString thdLine = diagram()->StatusText();
    a.settings().thdMess = false;

    measure::SpectrumMeasurement m;
    ASSERT_TRUE(m.Run({4096, app::MS.FftWindow, 3})) << m.Error();
    ASSERT_EQ(m.Bins(), 2048);
    const display::LevelScale s = display::GetLevelScale(display::LevelUnitDbu, app::MS.LevelFactor,
                                                         app::MS.LevelOffset, app::MS.InputCalibration);
    for (int i = 1; i < m.Bins(); ++i) {
        const float f = dsp::BinFrequency(i, 4096, m.Rate());
        const dsp::CorrectionCurve &corr = app::MS.InputCorrection;
        ASSERT_NEAR(left[i], measure::SpectrumBinLevel(m.Left()[i], true, s.Factor, s.Offset, corr, f), 0.01) << i;
        ASSERT_NEAR(right[i], measure::SpectrumBinLevel(m.Right()[i], true, s.Factor, s.Offset, corr, f), 0.01) << i;
    }
    // The lines show two and one decimals.
    dsp::AnalysisSettings settings = a.settings();
    settings.sampleRate = m.Rate();
    settings.fftSize = 4096;
    EXPECT_NEAR(Number(levelLine, "Level: " + app::Texts().LeftTag),
                dsp::BandLevel(m.Left(), settings, a.weighting(), s.Shift, dsp::kLnToDb), 0.006);
    EXPECT_NEAR(Number(levelLine, " | " + app::Texts().RightTag),
                dsp::BandLevel(m.Right(), settings, a.weighting(), s.Shift, dsp::kLnToDb), 0.006);
    // Right: the third harmonic at -50 dB, A-weighted by +1.3 dB against the fundamental.
    const double thd = dsp::ThdN(m.Right(), settings, a.weighting(), dsp::kLnToDb);
    EXPECT_NEAR(Number(thdLine, " | " + app::Texts().RightTag, "[0-9]+Hz "), thd, 0.051);
    EXPECT_NEAR(thd, -49.0, 0.3);
    EXPECT_NEAR(settings.fundamental, 997.0, 11.0);
}

TEST_F(Agreement, SweepPageAndDriverAgreeOnTheVirtualCard)
{
    for (const bool ideal : {true, false}) {
        SCOPED_TRACE(ideal);
        start(ideal ? kIdealCard : "", "[MAIN]\nPAGE=1\n[WOB]\nSTARTMESS=20\nPHASE=TRUE\nSTEPS=20\nTO=20000\n");
        child<QPushButton>("wobbelnBut")->click();
        ASSERT_TRUE(waitUntil([this] { return !form()->SweepBusy() && !app::MS.Sweep.StartRequested; }, 60000));
        const std::vector<testsupport::CurvePoint> page = testsupport::DiagramPoints();
        const app::SweepSettings &w = app::MS.Sweep;
        measure::SweepSetup setup{w.Linear, w.FreqFrom, w.FreqTo, w.Steps, w.Mode, w.SettleMs, w.LevelDig};
        std::vector<measure::SweepPoint> driven;
        measure::SweepDriver driver;
        driver.OnPoint = [&](const measure::SweepPoint &p) { driven.push_back(p); };
        ASSERT_EQ(driver.Run(setup, app::MS.InputCorrection, app::MS.OutputCorrection),
                  measure::SweepDriver::Outcome::Done) << driver.Error();
        ASSERT_EQ(page.size(), 21u);
        ASSERT_EQ(driven.size(), 21u);
        for (std::size_t i = 0; i < page.size(); ++i) {
            const testsupport::CurvePoint &p = page[i];
            EXPECT_FLOAT_EQ(p.f, driven[i].Frequency);
            // The device under test: each run within the sweep's tolerance
            // of its model (0.02 dB, 0.3 degrees).
            EXPECT_NEAR(p.first, driven[i].Reading.First, ideal ? 0.005 : 0.04) << p.f;
            EXPECT_NEAR(p.second, driven[i].Reading.Second, ideal ? 0.1 : 0.6) << p.f;
        }
        EXPECT_FALSE(audio::OutputRunning());
        stop();
    }
}

TEST_F(Agreement, DevicesThatFailOrVanishEndAMeasurementWithTheirReason)
{
    start(kIdealCard);
    auto fake = installRecording(measure::AnalyserCaptureFrames(2048));
    measure::SpectrumMeasurement m;
    fake->script.failOpen = 777;
    EXPECT_FALSE(m.Run({2048, 0, 1}));
    EXPECT_NE(m.Error().find("fake failure"), std::string::npos) << m.Error();
    fake->script.completion = fake::Script::Completion::LostHalfway;
    EXPECT_FALSE(m.Run({2048, 0, 2}));
    EXPECT_NE(m.Error().find(audio::ErrorText(audio::DEVICE_LOST)), std::string::npos) << m.Error();
    // The output cannot be opened: the sweep ends before its first capture.
    fake->out.failOpen = 777;
    measure::SweepDriver driver;
    int points = 0;
    driver.OnPoint = [&](const measure::SweepPoint &) { ++points; };
    EXPECT_EQ(driver.Run({}, app::MS.InputCorrection, app::MS.OutputCorrection), measure::SweepDriver::Outcome::Failed);
    EXPECT_NE(driver.Error().find("output"), std::string::npos) << driver.Error();
    EXPECT_EQ(points, 0);
}

} // namespace
