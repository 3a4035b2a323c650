// The distortion sweep run from the sweep page on the unpaced virtual card,
// against the device model's closed form (its nonlinearity puts H2 and H3 at
// DISTORTION each and leaves the tone as it is, so THD = DISTORTION + 3.01 dB
// and THD+N the same with no noise): against frequency, with the step
// frequencies of a log spacing worked out here, and against level on a
// linear axis of dBFS; the text export; STOP mid-run and a range the card
// cannot play, after which the held result and the diagram are as before.
// The two-tone level sweep with the generator window's CCIF tones against
// the products of the model's closed form (support/cardmodel.h), the level
// axis in dBu and in W through the output calibration, worked out by hand,
// and the refusals of a sweep the card cannot play or an axis without a
// calibration, which store nothing.
#include "app/distortionsweeprunner.h"
#include "audio/audioengine.h"
#include "display/diagramwindow.h"
#include "support/appwindows.h"
#include "support/cardmodel.h"
#include "support/testsupport.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <sstream>

namespace {

// Right input through the model at h = -60 dB; left input ideal.
const std::string kModel = "GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-60\nNOISE=-200\n";
constexpr double kThdDb = -56.9897; // 20·log10(sqrt(2)·10^(-60/20))

class DistortionSweepPage : public testsupport::AppWindowsTest {
protected:
    void startSweep(const std::string &dist, const std::string &wob = "METHODE=LOG\nREFMESS=0\n",
                    const std::string &more = {})
    {
        start(kModel,
              "[MAIN]\nPAGE=1\nSPRACHE=E\n[WOB]\n" + wob + "[LOGSWEEP]\nMETHOD=DISTORTION\n[DISTSWEEP]\n" + dist + more);
        audio::SetRates(48000, 48000);
        audio::SetBits(24, 24);
    }
    app::DistortionSweepRunner *runner() { return form()->Sweep()->DistortionSweep(); }
    bool idle() { return !form()->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested; }
    void runOnce()
    {
        child<QPushButton>("wobbelnBut")->click();
        ASSERT_TRUE(waitUntil([this] { return idle(); }, 60000));
    }
    const display::ExtraCurve *curve(const std::string &name)
    {
        for (const display::ExtraCurve &c : app::Diagramm->ExtraCurves())
            if (c.Name == name)
                return &c;
        ADD_FAILURE() << "no curve " << name;
        return nullptr;
    }
};

} // namespace

TEST_F(DistortionSweepPage, AgainstFrequencyTheCurvesReadTheModelsClosedFormAtTheLogSteps)
{
    startSweep("VS=FREQUENCY\nFROMHZ=500\nTOHZ=4000\nSTEPS=3\nLEVEL=-6\nSETTLE=50\n");
    runOnce();
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    ASSERT_TRUE(runner()->HasResult());
    EXPECT_FALSE(app::Diagramm->LinearX());
    // Mono with the left input as reference: the right input's curves only.
    const display::ExtraCurve *thdn = curve("THD+N"), *thd = curve("THD"), *h2 = curve("H2"), *h3 = curve("H3");
    ASSERT_TRUE(thdn && thd && h2 && h3);
    ASSERT_EQ(thd->FrequencyHz.size(), 4u);
    std::string readings;
    for (std::size_t k = 0; k < 4; ++k)
        readings += std::to_string(thd->FrequencyHz[k]) + ": H2 " + std::to_string(h2->Values[k]) + " H3 " +
                    std::to_string(h3->Values[k]) + " THD " + std::to_string(thd->Values[k]) + " THD+N " +
                    std::to_string(thdn->Values[k]) + "; ";
    RecordProperty("readings", readings);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const auto k = static_cast<std::size_t>(i);
        EXPECT_NEAR(thd->FrequencyHz[k], 500.0 * std::pow(8.0, i / 3.0), 0.5); // 500, 1000, 2000, 4000 Hz
        EXPECT_NEAR(h2->Values[k], -60.0, 0.5);
        EXPECT_NEAR(h3->Values[k], -60.0, 0.5);
        EXPECT_NEAR(thd->Values[k], kThdDb, 0.5);
        EXPECT_NEAR(thdn->Values[k], kThdDb, 0.5);
    }

    // The export: a row per step, decimal points, the right channel's columns.
    const std::string file = testsupport::ScratchDir("distsweep") + "/d.txt";
    ASSERT_EQ(form()->SaveHarmonicsAsText(QString::fromStdString(file)), 0);
    const std::string text = testsupport::ReadFile(file);
    EXPECT_EQ(text.rfind("step\tfrequency_hz\tgenerator_dbfs\tright_fundamental_dbfs\tright_h2_db", 0), 0u) << text;
    const auto row = QRegularExpression(R"(\n1\t(\d+\.\d{3})\t-6\t(-?\d+\.\d{3})\t(-?\d+\.\d{3})\t)")
                         .match(QString::fromStdString(text));
    ASSERT_TRUE(row.hasMatch()) << text;
    EXPECT_NEAR(row.captured(1).toDouble(), 1000.0, 0.5);
    EXPECT_NEAR(row.captured(2).toDouble(), -6.0, 0.1); // the tone passes the model unchanged
    EXPECT_NEAR(row.captured(3).toDouble(), -60.0, 0.5);
}

TEST_F(DistortionSweepPage, AgainstLevelTheAxisIsTheOutputLevelInDbfs)
{
    startSweep("VS=LEVEL\nFREQUENCY=1000\nFROMDB=-30\nTODB=-6\nSTEPDB=12\nSETTLE=50\n", "REFMESS=2\n");
    runOnce();
    ASSERT_TRUE(runner()->HasResult());
    EXPECT_TRUE(app::Diagramm->LinearX());
    // Stereo: both inputs, named. The ideal wire has no harmonics.
    const display::ExtraCurve *right = curve("THD R"), *left = curve("THD+N L"), *h2 = curve("H2 R");
    ASSERT_TRUE(right && left && h2);
    ASSERT_EQ(right->FrequencyHz.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const auto k = static_cast<std::size_t>(i);
        EXPECT_NEAR(right->FrequencyHz[k], -30.0 + 12.0 * i, 1e-9);
        EXPECT_NEAR(right->Values[k], kThdDb, 0.5);
        EXPECT_NEAR(h2->Values[k], -60.0, 0.5);
        EXPECT_LT(left->Values[k], -100.0);
    }
    std::int32_t xmin = 0, xmax = 0;
    app::Diagramm->GetXRange(xmin, xmax);
    EXPECT_EQ(xmin, -30);
    EXPECT_EQ(xmax, -6);
}

TEST_F(DistortionSweepPage, StopMidRunAndAnUnplayableRangeLeaveTheHeldResult)
{
    startSweep("VS=FREQUENCY\nFROMHZ=1000\nTOHZ=2000\nSTEPS=1\nLEVEL=-6\nSETTLE=20\n");
    runOnce();
    ASSERT_TRUE(runner()->HasResult());
    const std::vector<double> heldX = curve("THD")->FrequencyHz;
    ASSERT_EQ(heldX.size(), 2u);

    // A long run stopped at its third step.
    app::MS.Sweep.Dist.FromHz = 100;
    app::MS.Sweep.Dist.ToHz = 5000;
    app::MS.Sweep.Dist.Steps = 20;
    app::MS.Sweep.Dist.SettleMs = 200;
    QTimer timer;
    bool stopped = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (runner()->Running() && child<QLabel>("Label7")->text().startsWith("Step 3/")) {
            timer.stop();
            stopped = true;
            child<QPushButton>("STOPbut")->click();
        }
    });
    timer.start(2);
    runOnce();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(child<QLabel>("Label7")->text(), "STOP");
    EXPECT_EQ(runner()->Result().size(), 2u);
    EXPECT_EQ(curve("THD")->FrequencyHz, heldX);
    EXPECT_TRUE(messages.empty());

    // 30 kHz lies above half of 48 kHz: said, nothing played or stored.
    app::MS.Sweep.Dist.ToHz = 30000;
    app::MS.Sweep.Dist.SettleMs = 20;
    runOnce();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Distortion sweep not possible: ")) << messages[0].text.toStdString();
    EXPECT_EQ(curve("THD")->FrequencyHz, heldX);

    // and the next START works
    app::MS.Sweep.Dist.ToHz = 2000;
    app::MS.Sweep.Dist.FromHz = 1000;
    app::MS.Sweep.Dist.Steps = 2;
    runOnce();
    EXPECT_EQ(runner()->Result().size(), 3u);
}

// CCIF with the generator window's tones (14.5 and 15.5 kHz, 1:1) at -20 and
// -8 dBFS, louder step by step so the model holds each step's peak P = the
// sum's peak (cosines, in phase at the start). The axis in dBu through
// 1000 mV at full scale: L + 20·log10(1000/775) = L + 2.214 dB.
TEST_F(DistortionSweepPage, ImdAgainstLevelReadsTheModelsProductsOnADbuAxis)
{
    startSweep("VS=IMD\nFROMDB=-20\nTODB=-8\nSTEPDB=12\nSETTLE=50\nUNIT=DBU\n", "METHODE=LOG\nREFMESS=0\n",
               "[EICH]\nOUTPUT=1000\n[GEN]\nTTSTD=2\nTTCENTRE=15000\nTTSPACING=1000\n");
    runOnce();
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_TRUE(app::Diagramm->LinearX());
    EXPECT_EQ(app::Diagramm->XCaption(), "Level [dBu]");
    const display::ExtraCurve *d2 = curve("d2"), *d3 = curve("d3");
    ASSERT_TRUE(d2 && d3 && d2->FrequencyHz.size() == 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        const double level = -20.0 + 12.0 * k, peak = std::pow(10.0, level / 20.0);
        double m2 = 0, m3 = 0;
        testsupport::ModelCcif(peak / 2, peak / 2, peak, 1e-3, m2, m3);
        EXPECT_NEAR(d2->FrequencyHz[k], level + 2.2139, 1e-3);
        EXPECT_NEAR(d2->Values[k], 20.0 * std::log10(m2), 0.3) << k; // -66.0 dB
        EXPECT_NEAR(d3->Values[k], 20.0 * std::log10(m3), 0.3) << k; // -62.5 dB
    }
    // The export: the level in dBu beside dBFS, the tones and d2, d3.
    const std::string file = testsupport::ScratchDir("distsweepimd") + "/d.txt";
    ASSERT_EQ(form()->SaveHarmonicsAsText(QString::fromStdString(file)), 0);
    const std::string text = testsupport::ReadFile(file);
    EXPECT_EQ(text.rfind("step\tfrequency_hz\tgenerator_dbfs\tgenerator_dbu\tright_a1_dbfs\tright_a2_dbfs\t"
                         "right_d2_db\tright_d2_percent\tright_d3_db\tright_d3_percent\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n1\t15500.000\t-8\t-5.786\t-14.0"), std::string::npos) << text; // a1: peak/2
}

// Powers into 8 Ω through 1000 mV: 12.5, 125 and 1250 µW at -40, -30 and
// -20 dBFS, on the log axis in µW. Refused at START, storing nothing: an
// axis in volts or watts without a usable output calibration, and two tones
// that do not fit below half the rate (CCIF around 23 kHz at 48 kHz).
TEST_F(DistortionSweepPage, PowersOnALogAxisAndTheRefusals)
{
    startSweep("VS=LEVEL\nFREQUENCY=1000\nFROMDB=-40\nTODB=-20\nSTEPDB=10\nSETTLE=50\nUNIT=W\nLOAD=8\n",
               "METHODE=LOG\nREFMESS=0\n", "[EICH]\nOUTPUT=1000\n[GEN]\nTTSTD=2\nTTCENTRE=23000\n");
    runOnce();
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_FALSE(app::Diagramm->LinearX());
    EXPECT_EQ(app::Diagramm->XCaption(), QString::fromUtf8("Power [\u00b5W]"));
    const std::vector<double> heldX = curve("THD")->FrequencyHz;
    ASSERT_EQ(heldX.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_NEAR(heldX[k], 12.5 * std::pow(10.0, double(k)), 1e-6 * heldX[k]) << k;
    std::int32_t xmin = 0, xmax = 0;
    app::Diagramm->GetXRange(xmin, xmax);
    EXPECT_TRUE(xmin == 12 && xmax == 1250) << xmin << " " << xmax;

    const std::pair<app::DistortionUnit, float> cases[] = {
        {app::DistortionUnit::DbV, 0.0f}, {app::DistortionUnit::Watt, -497.0f}, {app::DistortionUnit::Dbu, NAN}};
    for (const auto &[unit, mv] : cases) {
        messages.clear();
        app::MS.Sweep.Dist.Unit = unit;
        app::MS.OutputCalibration = mv;
        runOnce();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.contains("needs the output calibration")) << messages[0].text.toStdString();
        EXPECT_EQ(curve("THD")->FrequencyHz, heldX);
    }
    messages.clear();
    app::MS.Sweep.Dist.Vs = app::DistortionAxis::Imd;
    app::MS.Sweep.Dist.Unit = app::DistortionUnit::DbFS;
    runOnce();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Distortion sweep not possible: ")) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains("half the sample rate")) << messages[0].text.toStdString();
    EXPECT_EQ(curve("THD")->FrequencyHz, heldX);
}
