// sonalyx-measure distortion-sweep run as a program on the unpaced virtual
// card, its readings against closed forms worked out here (the model as in
// distortioncommand_test.cpp: gain and Butterworth filters, then a
// nonlinearity that gives a sine of peak P = A the harmonics H2 = H3 = h,
// h = 10^(DISTORTION/20), and leaves its fundamental as it is).
//
// The model's peak follower releases over two seconds. A step quieter at the
// nonlinearity than the one before therefore meets a held peak P above its
// own A, and its H2 reads h·A/P: between h·A/A_before and h. Steps that get
// louder (or stay level) read h itself, give or take the filters' transient
// when the frequency jumps (below 0.25 dB for the steps used here).
#include "support/cardmodel.h"
#include "support/measurecommand.h"
#include "support/spectrumref.h"
#include "support/testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <numbers>

namespace {

using Result = testsupport::MeasureResult;
using testsupport::Db;
constexpr double kPi = std::numbers::pi;

QJsonObject Json(const Result &r) { return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object(); }
QJsonArray Rows(const Result &r) { return Json(r)["results"].toArray(); }

struct Card {
    std::string dir, ini;
    Card(const char *name, const std::string &sections) : dir(testsupport::ScratchDir(name)), ini(dir + "/sonmain.ini")
    {
        testsupport::WriteFile(ini, "[LOOPBACK]\nPACED=FALSE\nDISTORTION=-60\n" + sections);
    }
    Result Run(const std::string &arguments) const
    {
        return testsupport::RunMeasure(dir, "distortion-sweep --settings " + ini + " --settle 100 " + arguments);
    }
};

double ModelDb(double hz, double rate) { return Db(std::abs(testsupport::DeviceUnderTest(hz, rate))); }

// 1 kHz, 4472 Hz and 20 kHz at 96 kHz: the last step lies on the low-pass
// corner (-3.01 dB), where H3 (60 kHz) is above half the rate. THD_MAX -58
// fails the right input at the steps where H2 and H3 add up to -57 dB.
TEST(DistortionSweepCommand, AgainstFrequencyTheModelsFiltersAndHarmonics)
{
    const Card card("dsweepfreq", "");
    testsupport::WriteFile(card.dir + "/thd.lim", "THD_MAX -58\n");
    const Result r = card.Run("--vs frequency --from 1000 --to 20000 --steps 2 --level -6 --rate 96000 --bits 24 "
                              "--format json --limits " + card.dir + "/thd.lim");
    ASSERT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Json(r)["kind"].toString(), "distortion_frequency");
    const QJsonArray rows = Rows(r);
    ASSERT_EQ(rows.size(), 3);
    const double expectedHz[] = {1000.0, std::sqrt(1000.0 * 20000.0), 20000.0};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(expectedHz[i]);
        const QJsonObject row = rows[i].toObject();
        EXPECT_NEAR(row["frequency_hz"].toDouble(), expectedHz[i], 0.5);
        EXPECT_NEAR(row["right_fundamental_dbfs"].toDouble(), -6.0 + ModelDb(expectedHz[i], 96000.0), 0.05);
        EXPECT_NEAR(row["left_fundamental_dbfs"].toDouble(), -6.0, 0.02);
        EXPECT_LT(row["left_thd_db"].toDouble(), -90.0);
        if (i < 2) {
            EXPECT_NEAR(row["right_h2_db"].toDouble(), -60.0, 0.5);
            EXPECT_NEAR(row["right_h3_db"].toDouble(), -60.0, 0.5);
            EXPECT_NEAR(row["right_thd_db"].toDouble(), -60.0 + 10.0 * std::log10(2.0), 0.5);
        } else {
            // quieter than the step before by the low-pass's roll-off
            const double drop = ModelDb(expectedHz[1], 96000.0) - ModelDb(expectedHz[2], 96000.0);
            EXPECT_GT(row["right_h2_db"].toDouble(), -60.0 - drop - 0.3);
            EXPECT_LT(row["right_h2_db"].toDouble(), -60.0 + 0.3);
            EXPECT_TRUE(row["right_h3_db"].isNull());
        }
    }
    const QJsonArray failures = Json(r)["limits"].toObject()["failures"].toArray();
    ASSERT_EQ(failures.size(), 2);
    for (const QJsonValue &f : failures)
        EXPECT_EQ(f["channel"].toString(), "right");
    EXPECT_NE(r.err.find("H3 \u2026 H9 lie above half the sample rate (48000 Hz)"), std::string::npos) << r.err;
    // the curves name columns that exist
    for (const QJsonValue &c : Json(r)["curves"].toArray())
        EXPECT_TRUE(rows[0].toObject().contains(c["y"].toString())) << c["y"].toString().toStdString();
}

// 40 Hz, on the high-pass's slope, at -18, -12 and -6 dBFS; with levels in
// dBV through a calibration of 2000 mV (input) and 500 mV (output) RMS at
// full scale, and CSV with a decimal point in any locale.
TEST(DistortionSweepCommand, AgainstLevelOnTheHighPassSlopeInDbvAndWatts)
{
    const Card card("dsweeplevel", "[EICH]\nINPUT=2000\nOUTPUT=500\n");
    const Result r = card.Run("--vs level --from -18 --to -6 --step 6 --frequency 40 --rate 48000 --bits 24 "
                              "--channels right --unit dbv");
    ASSERT_EQ(r.status, 0) << r.err;
    const QStringList lines = QString::fromStdString(r.out).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4);
    const QStringList header = lines[0].split(',');
    const double filter = ModelDb(40.0, 48000.0); // -0.5 dB and the high-pass's -0.26 dB
    for (int i = 0; i < 3; ++i) {
        const QStringList f = lines[i + 1].split(',');
        ASSERT_EQ(f.size(), header.size());
        auto at = [&](const char *name) {
            bool ok = false;
            const double v = f[header.indexOf(name)].toDouble(&ok);
            EXPECT_TRUE(ok) << name;
            return v;
        };
        const double level = -18.0 + 6.0 * i;
        SCOPED_TRACE(level);
        EXPECT_NEAR(at("generator_dbfs"), level, 1e-9);
        EXPECT_NEAR(at("generator_dbv"), level + 20.0 * std::log10(0.5), 1e-3);
        EXPECT_NEAR(at("right_fundamental_dbfs"), level + filter, 0.05);
        EXPECT_NEAR(at("right_fundamental_dbv"), level + filter + 20.0 * std::log10(2.0), 0.05);
        EXPECT_NEAR(at("right_h2_db"), -60.0, 0.5);
        EXPECT_NEAR(at("right_h3_db"), -60.0, 0.5);
    }

    // One step in watts into 8 ohms: (2 V · 10^(L/20))² / 8.
    const Result w = card.Run("--vs level --from -6 --to -6 --frequency 1000 --rate 48000 --bits 24 --channels right "
                              "--unit w --load 8 --format json");
    ASSERT_EQ(w.status, 0) << w.err;
    const QJsonObject row = Rows(w)[0].toObject();
    const double volts = 2.0 * std::pow(10.0, (-6.0 + ModelDb(1000.0, 48000.0)) / 20.0);
    EXPECT_NEAR(row["right_fundamental_w"].toDouble(), volts * volts / 8.0, volts * volts / 8.0 * 0.012);
    EXPECT_EQ(Json(w)["settings"].toObject()["distortion_sweep"].toObject()["load_ohms"].toDouble(), 8.0);
    EXPECT_EQ(Json(w)["kind"].toString(), "distortion_level");
}

// SMPTE at -20 and -6 dBFS: the products of the model's closed form
// (distortioncommand_test.cpp), the same at both levels, as the model's
// distortion is relative to the held peak.
TEST(DistortionSweepCommand, ImdAgainstLevelFollowsTheClosedForm)
{
    const Card card("dsweepimd", "");
    const Result r = card.Run("--vs level --imd smpte --from -20 --to -6 --step 14 --rate 48000 --bits 24 "
                              "--channels right --format json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json(r)["kind"].toString(), "distortion_imd");
    const QJsonArray rows = Rows(r);
    ASSERT_EQ(rows.size(), 2);
    const double h = 1e-3;
    for (int i = 0; i < 2; ++i) {
        const double peak = std::pow(10.0, (-20.0 + 14.0 * i) / 20.0);
        const std::complex<double> g1 = testsupport::DeviceUnderTest(60.0, 48000.0);
        const std::complex<double> g2 = testsupport::DeviceUnderTest(7000.0, 48000.0);
        const double a = 0.8 * peak * std::abs(g1), b = 0.2 * peak * std::abs(g2);
        double p = 0.0;
        for (int n = 0; n < 48000; ++n)
            p = std::max(p, std::abs(a * std::cos(2 * kPi * 60.0 * n / 48000.0 + std::arg(g1)) +
                                     b * std::cos(2 * kPi * 7000.0 * n / 48000.0 + std::arg(g2))));
        const double b1 = b * (1 - 3 * h + 3 * h * (b * b + 2 * a * a) / (p * p));
        const double second = 2 * h * a * b / p, third = 3 * h * a * a * b / (p * p);
        const QJsonObject row = rows[i].toObject();
        EXPECT_NEAR(row["generator_dbfs"].toDouble(), -20.0 + 14.0 * i, 1e-9);
        EXPECT_NEAR(row["right_a2_dbfs"].toDouble(), Db(b1), 0.05);
        EXPECT_NEAR(row["right_imd_db"].toDouble(), Db(std::sqrt(2 * second * second + 2 * third * third) / b1), 0.3);
    }
}

// Refused before anything plays: status 2, the reason, nothing on standard
// output.
TEST(DistortionSweepCommand, BadInputIsRefusedWithItsReason)
{
    const Card card("dsweepbad", "");
    struct Case { const char *arguments, *reason; };
    const Case cases[] = {
        {"--vs level --from -10 --to 3 --step 6", "would clip: its step at 2 dBFS"},
        {"--vs frequency --level 1", "would clip"},
        {"--vs frequency --from 1000 --to 15000 --rate 48000",
         "lies beyond half the sample rate (24000 Hz): no harmonic is left to read"},
        {"--vs frequency --from 1000 --to 11000 --rate 48000 --bandwidth 20k", "lies beyond the measurement band"},
        {"--vs level --imd ccif --centre 23000 --rate 48000", "half the sample rate"},
        {"--vs frequency --imd smpte", "--imd sweeps against level only"},
        {"--vs level --unit w", "--unit w needs the load"},
        {"--vs level --steps 4", "--steps applies to --vs frequency only"},
        {"--from 100", "--vs frequency or --vs level is needed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments);
        const Result r = card.Run(c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }

    // Volts or watts need a calibration that is a number above 0: without
    // one the columns would hold dBFS under a dBV name.
    const Card uncalibrated("dsweepnocal", "[EICH]\nINPUT=-3\nOUTPUT=0\n");
    for (const char *unit : {"--unit dbv", "--unit w --load 8"}) {
        const Result r = uncalibrated.Run(std::string("--vs level --from -20 --to -20 ") + unit);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("needs the output calibration"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    // dBFS needs none
    EXPECT_EQ(uncalibrated.Run("--vs level --from -20 --to -20 --channels right").status, 0);
}

} // namespace
