// The windows and the measurement library on one engine: sweeps of the page
// and of SweepDriver agree on the virtual card; devices that fail or vanish
// end a measurement with their reason. (The analyser page and the command
// line share one round, measurement/spectrumround.h; the command line's
// readings are checked against closed forms in command_test.cpp.)
#include "analyser/analyserfixture.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/fakebackend.h"
#include "measurement/spectrumblock.h"
#include "measurement/spectrummeasurement.h"
#include "measurement/sweepdriver.h"

#include <cmath>

namespace {

using analysertest::kIdealCard;

class Agreement : public analysertest::AnalyserTest {
protected:
    // A fake card whose capture plays `frames` frames of silence.
    std::shared_ptr<fake::FakeBackend> installRecording(int frames)
    {
        auto fake = fake::Install(1, 1);
        fake->script.data.assign(static_cast<std::size_t>(frames) * 4, 0);
        int in = 0, out = 0;
        std::uint32_t mask = 0;
        audio::DeviceReport(in, out, mask);
        audio::SelectInputDevice(0);
        return fake;
    }
};

TEST_F(Agreement, SweepPageAndDriverAgreeOnTheVirtualCard)
{
    for (const bool ideal : {true, false}) {
        SCOPED_TRACE(ideal);
        start(ideal ? kIdealCard : "", "[MAIN]\nPAGE=1\n[WOB]\nSTARTMESS=20\nPHASE=TRUE\nSTEPS=20\nTO=20000\n");
        child<QPushButton>("wobbelnBut")->click();
        ASSERT_TRUE(waitUntil([this] { return !form()->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested; },
                              60000));
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
