// sonalyx-measure thd, imd, noise and dynamic-range run as a program on the
// unpaced virtual card, their readings against closed forms worked out here:
//
// The device under test (right input): gain and Butterworth filters
// (support/cardmodel.h), then y = x + 2h(x²/P - P/2) + 4h(x³/P² - 3x/4),
// h = 10^(DISTORTION/20), P the held peak. A sine of peak P gets H2 = H3 = h.
// For x = a cos α + b cos β: f2 ± f1 at 2hab/P, f2 ± 2f1 at 3ha²b/P², 2f2 - f1
// at 3hab²/P², the tones b' = b(1 - 3h + 3h(b² + 2a²)/P²) (a' likewise); a
// and b after the filters (19 and 20 kHz differ), P the largest sample.
// Noise: uniform noise of RMS 10^(NOISE/20) is NOISE + 3.01 dBFS, spread
// evenly up to half the rate; B-bit quantisation leaves 10·log10(1.5·2^(2B))
// dB below a full-scale sine, spread the same way.
#include "support/cardmodel.h"
#include "support/measurecommand.h"
#include "support/spectrumref.h"
#include "support/testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <numbers>

namespace {

using Result = testsupport::MeasureResult;
using testsupport::Db;
constexpr double kPi = std::numbers::pi;

QJsonObject Json(const Result &r) { return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object(); }
QJsonObject Row(const Result &r, const char *channel)
{
    for (const QJsonValue &v : Json(r)["results"].toArray())
        if (v["channel"].toString() == channel)
            return v.toObject();
    return {};
}

struct Card {
    std::string dir, ini;
    Card(const char *name, const std::string &loopback)
        : dir(testsupport::ScratchDir(name)), ini(dir + "/sonmain.ini")
    {
        testsupport::WriteFile(ini, "[LOOPBACK]\nPACED=FALSE\n" + loopback);
    }
    Result Run(const std::string &command, const std::string &arguments) const
    {
        return testsupport::RunMeasure(dir, command + " --settings " + ini + " " + arguments);
    }
};

TEST(ThdCommand, HarmonicsOfTheDeviceModelAtSeveralFrequenciesAndLevels)
{
    struct Case { double hz, levelDb, distortionDb; const char *card; };
    // -80 dB harmonics of a -60 dBFS tone lie at -140 dBFS: 24 bits and no noise.
    const Case cases[] = {{200, -1, -60, ""}, {997, -20, -60, ""}, {5000, -6, -60, ""},
                          {1000, -60, -80, "NOISE=-200\n"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz at " << c.levelDb << " dBFS, DISTORTION " << c.distortionDb);
        const Card card("thdmodel", "DISTORTION=" + std::to_string(int(c.distortionDb)) + "\n" + c.card);
        const Result r = card.Run("thd", "--rate 48000 --bits 24 --format json --frequency " +
                                             std::to_string(int(c.hz)) + " --level " + std::to_string(int(c.levelDb)));
        ASSERT_EQ(r.status, 0) << r.err;
        const QJsonObject right = Row(r, "right"), left = Row(r, "left");
        EXPECT_NEAR(right["fundamental_dbfs"].toDouble(),
                    c.levelDb + Db(std::abs(testsupport::DeviceUnderTest(c.hz, 48000.0))), 0.05);
        EXPECT_NEAR(right["h2_db"].toDouble(), c.distortionDb, 0.5);
        EXPECT_NEAR(right["h3_db"].toDouble(), c.distortionDb, 0.5);
        EXPECT_NEAR(right["thd_db"].toDouble(), c.distortionDb + 10.0 * std::log10(2.0), 0.5);
        EXPECT_LT(right["h4_db"].toDouble(), c.distortionDb - 20.0);
        EXPECT_LT(left["thd_db"].toDouble(), c.distortionDb - 30.0); // the wire
        EXPECT_EQ(Json(r)["kind"].toString(), "thd");
    }
}

// 7 kHz in the AES17 20 kHz band: H3 (21 kHz) and above are left out and
// said so; CSV with a decimal point in any locale. THD_MAX fails the right
// input only, whose THD is -60 dB with H2 alone, -57 dB with H2 and H3.
TEST(ThdCommand, HarmonicsAboveTheBandAreLeftOutAndSaidSoAndThdMaxIsChecked)
{
    const Card card("thdband", "DISTORTION=-60\n");
    testsupport::WriteFile(card.dir + "/thd.lim", "THD_MAX -61\n");
    const Result csv = card.Run("thd", "--rate 48000 --bits 24 --frequency 7000 --bandwidth 20k --limits " +
                                           card.dir + "/thd.lim");
    EXPECT_EQ(csv.status, 1) << csv.err;
    EXPECT_NE(csv.err.find("H3 \u2026 H9 lie above the measurement band (20000 Hz) and are left out."),
              std::string::npos)
        << csv.err;
    const QStringList lines = QString::fromStdString(csv.out).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    const QStringList header = lines[0].split(',');
    ASSERT_EQ(header.mid(0, 5), (QStringList{"channel", "fundamental_hz", "fundamental_dbfs", "h2_db", "h3_db"}));
    const QStringList right = lines[2].split(',');
    ASSERT_EQ(right.size(), header.size()) << lines[2].toStdString();
    EXPECT_EQ(right[0], "right");
    bool ok = false;
    EXPECT_NEAR(right[1].toDouble(&ok), 7000.0, 0.01);
    EXPECT_TRUE(ok);
    EXPECT_NEAR(right[3].toDouble(), -60.0, 0.5);
    EXPECT_TRUE(right[4].isEmpty()); // H3 left out
    EXPECT_NEAR(right[header.indexOf("thd_db")].toDouble(), -60.0, 0.5); // H2 alone

    const Result json = card.Run("thd", "--rate 48000 --bits 24 --frequency 1000 --format json --limits " +
                                            card.dir + "/thd.lim");
    EXPECT_EQ(json.status, 1) << json.err;
    EXPECT_EQ(Json(json)["readings"].toObject()["band"].toString(), "20 Hz \u2026 24000 Hz");
    const QJsonArray failures = Json(json)["limits"].toObject()["failures"].toArray();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures[0].toObject()["channel"].toString(), "right");
    EXPECT_NEAR(failures[0].toObject()["thd_db"].toDouble(), -56.99, 0.5);
}

TEST(ImdCommand, SmpteDinAndCcifProductsOfTheDeviceModel)
{
    const double hDb = -60.0, h = std::pow(10.0, hDb / 20.0);
    const Card card("imdmodel", "DISTORTION=-60\n");
    testsupport::WriteFile(card.dir + "/imd.lim", "IMD_MAX -65\n");
    struct Case { const char *standard; double f1, f2, ratio; int level; };
    const Case cases[] = {{"smpte", 60, 7000, 4, -6}, {"smpte", 60, 7000, 4, -20}, {"din", 250, 8000, 4, -1},
                          {"ccif", 19000, 20000, 1, -6}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.standard << " at " << c.level << " dBFS");
        const Result r = card.Run("imd", std::string("--rate 48000 --bits 24 --format json --standard ") + c.standard +
                                             " --level " + std::to_string(c.level) + " --limits " + card.dir +
                                             "/imd.lim");
        ASSERT_EQ(r.status, 1) << r.err; // the right input's products fail -65 dB, the wire's pass
        const QJsonObject right = Row(r, "right"), left = Row(r, "left");
        const double peak = std::pow(10.0, c.level / 20.0);
        const double a1 = peak * c.ratio / (c.ratio + 1.0), a2 = peak / (c.ratio + 1.0);
        // the wire shows what the generator plays: the sum's peak split c.ratio : 1
        EXPECT_NEAR(left["a1_dbfs"].toDouble(), Db(a1), 0.02);
        EXPECT_NEAR(left["a2_dbfs"].toDouble(), Db(a2), 0.02);
        const std::complex<double> g1 = testsupport::DeviceUnderTest(c.f1, 48000.0);
        const std::complex<double> g2 = testsupport::DeviceUnderTest(c.f2, 48000.0);
        const double a = a1 * std::abs(g1), b = a2 * std::abs(g2);
        double p = 0.0;
        for (int n = 0; n < 48000; ++n)
            p = std::max(p, std::abs(a * std::cos(2 * kPi * c.f1 * n / 48000.0 + std::arg(g1)) +
                                     b * std::cos(2 * kPi * c.f2 * n / 48000.0 + std::arg(g2))));
        const double a1r = a * (1 - 3 * h + 3 * h * (a * a + 2 * b * b) / (p * p));
        const double b1r = b * (1 - 3 * h + 3 * h * (b * b + 2 * a * a) / (p * p));
        const double second = 2 * h * a * b / p;
        EXPECT_NEAR(right["a2_dbfs"].toDouble(), Db(b1r), 0.05);
        const QJsonArray failures = Json(r)["limits"].toObject()["failures"].toArray();
        ASSERT_EQ(failures.size(), 1);
        EXPECT_EQ(failures[0].toObject()["channel"].toString(), "right");
        if (std::string(c.standard) != "ccif") {
            const double third = 3 * h * a * a * b / (p * p);
            EXPECT_NEAR(right["imd_db"].toDouble(), Db(std::sqrt(2 * second * second + 2 * third * third) / b1r), 0.3);
            EXPECT_EQ(right["reference"].toString(), "re A(f2)");
        } else {
            EXPECT_NEAR(right["d2_db"].toDouble(), Db(second / (a1r + b1r)), 0.3);
            EXPECT_NEAR(right["d3_db"].toDouble(), Db(3 * h * a * b * (a + b) / (p * p) / (a1r + b1r)), 0.3);
            EXPECT_NEAR(right["2f2_minus_f1_db"].toDouble(), Db(3 * h * a * b * b / (p * p) / (a1r + b1r)), 0.3);
            EXPECT_EQ(right["reference"].toString(), "re A1 + A2");
            EXPECT_TRUE(failures[0].toObject().contains("d3_db"));
        }
    }
}

// Uniform noise of -110 dB RMS on both inputs, at 24 bits: up to half the
// rate, in the AES17 20 kHz band (from 20 Hz) and A-weighted there, the
// last from the IEC 61672 closed form integrated over the band.
TEST(NoiseCommand, TheDeviceModelsNoiseFloorUnweightedAWeightedAndInTheAes17Band)
{
    const Card card("noise", "NOISE=-110\n");
    testsupport::WriteFile(card.dir + "/noise.lim", "NOISE_MAX -111\n");
    const Result r = card.Run("noise", "--rate 48000 --bits 24 --averages 4 --reference -10 --format json --limits " +
                                           card.dir + "/noise.lim");
    ASSERT_EQ(r.status, 1) << r.err; // about -110 dBFS A-weighted: above -111
    const double total = -110.0 + Db(std::sqrt(2.0));
    auto aWeight = [](double f) {
        const double f2 = f * f;
        const double ra = 12194.0 * 12194.0 * f2 * f2 /
                          ((f2 + 20.6 * 20.6) * std::sqrt((f2 + 107.7 * 107.7) * (f2 + 737.9 * 737.9)) *
                           (f2 + 12194.0 * 12194.0));
        return std::pow(ra * std::pow(10.0, 2.0 / 20.0), 2.0);
    };
    double weighted = 0.0;
    for (double f = 20.5; f < 20000.0; f += 1.0)
        weighted += aWeight(f);
    for (const char *channel : {"left", "right"}) {
        SCOPED_TRACE(channel);
        const QJsonObject row = Row(r, channel);
        EXPECT_NEAR(row["unweighted_dbfs"].toDouble(), total + testsupport::DbPower(23980.0 / 24000.0), 0.3);
        EXPECT_NEAR(row["aes17_dbfs"].toDouble(), total + testsupport::DbPower(19980.0 / 24000.0), 0.3);
        EXPECT_NEAR(row["a_weighted_dbfs"].toDouble(), total + testsupport::DbPower(weighted / 24000.0), 0.3);
        EXPECT_NEAR(row["snr_db"].toDouble(), -10.0 - row["aes17_dbfs"].toDouble(), 1e-3);
    }
}

// Ideal cards (no model, no noise): what is left is quantisation.
TEST(DynamicRangeCommand, IdealSixteenBitCardsReadTheQuantisationLimit)
{
    const Card card("ideal", "GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-200\nNOISE=-200\n");
    testsupport::WriteFile(card.dir + "/dr.lim", "DR_MIN 100\n");
    for (const double rate : {48000.0, 44100.0}) {
        SCOPED_TRACE(rate);
        const double inBand = testsupport::DbPower((20000.0 - 20.0) / (rate / 2.0));
        const double theory = testsupport::DbPower(1.5 * std::pow(2.0, 32.0)) - inBand; // 98.9 dB at 48 kHz
        const Result dr = card.Run("dynamic-range", "--bits 16 --format json --rate " + std::to_string(int(rate)) +
                                                        " --limits " + card.dir + "/dr.lim");
        EXPECT_EQ(dr.status, 1) << dr.err;
        for (const char *channel : {"left", "right"}) {
            EXPECT_NEAR(Row(dr, channel)["dynamic_range_db"].toDouble(), theory, 1.0) << channel;
            EXPECT_NEAR(Row(dr, channel)["tone_dbfs"].toDouble(), -60.0, 0.05) << channel;
        }
        EXPECT_EQ(Json(dr)["readings"].toObject()["band"].toString(), "AES17 20 kHz");
        EXPECT_EQ(Json(dr)["limits"].toObject()["failures"].toArray().size(), 2);
    }
    // THD+N of a -1 dBFS tone in the 20 kHz band: the quantisation limit at
    // 16 bits, far below it at 24 bits
    const double limit16 = -testsupport::DbPower(1.5 * std::pow(2.0, 32.0)) +
                           testsupport::DbPower(19980.0 / 24000.0) + 1.0;
    const Result t16 = card.Run("thd", "--rate 48000 --bits 16 --level -1 --frequency 997 --bandwidth 20k --format json");
    ASSERT_EQ(t16.status, 0) << t16.err;
    EXPECT_NEAR(Row(t16, "right")["thdn_db"].toDouble(), limit16, 0.5);
    const Result t24 = card.Run("thd", "--rate 48000 --bits 24 --level -1 --frequency 997 --bandwidth 20k --format json");
    ASSERT_EQ(t24.status, 0) << t24.err;
    EXPECT_LT(Row(t24, "right")["thdn_db"].toDouble(), -130.0);
    // silence played through it is digital silence: no noise level at all
    const Result idle = card.Run("noise", "--rate 48000 --bits 16 --format json");
    ASSERT_EQ(idle.status, 0) << idle.err;
    EXPECT_TRUE(Row(idle, "right")["unweighted_dbfs"].isNull() && Row(idle, "right")["snr_db"].isNull());
}

TEST(DistortionCommands, BadInputEndsWithStatusTwoAndTheReasonAndNoResults)
{
    const Card card("distortionbad", "FORMATS=16:44100,16:48000\n");
    testsupport::WriteFile(card.dir + "/thdn.lim", "THDN_MAX -60\n");
    testsupport::WriteFile(card.dir + "/mixed.lim", "THD_MAX -20\nIMD_MAX -20\n");
    const std::pair<std::string, std::string> errors[] = {
        {"thd --rate 48000 --frequency 21000 --bandwidth 20k",
         "The fundamental (21000 Hz) lies above the measurement band (20000 Hz)."},
        {"thd --rate 44100 --frequency 23000", "lies above half the sample rate (22050 Hz)"},
        {"thd --frequency 10 --fft 16384", "cannot separate components 10 Hz apart"},
        {"imd --standard ccir", "--standard must be one of: smpte, din, ccif"},
        {"imd --rate 44100 --standard ccif --centre 21000",
         "The intermodulation product at 22500 Hz lies above half the sample rate (22050 Hz)."},
        {"imd --rate 44100 --standard ccif --centre 22000", "do not fit below half the sample rate"},
        {"imd --standard din --spacing 500", "--spacing applies to ccif only"},
        {"imd --standard smpte --fft 4096", "cannot separate components 60 Hz apart"},
        {"imd --standard smpte --high-frequency 150", "The tone frequencies are not valid"},
        {"dynamic-range --weighting a --filter \"A Weighting\"", "exclude each other"},
        {"thd --limits " + card.dir + "/thdn.lim", "holds nothing this command checks (it checks THD_MAX)"},
        {"noise --bits 24", "does not take 24 bits"},
    };
    for (const auto &[arguments, reason] : errors) {
        const Result r = testsupport::RunMeasure(card.dir, arguments + " --settings " + card.ini);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.err.find(reason), std::string::npos) << arguments << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << arguments;
    }
    // a limits line the command does not check is named
    const Result mixed = card.Run("thd", "--rate 48000 --limits " + card.dir + "/mixed.lim");
    EXPECT_EQ(mixed.status, 0) << mixed.err;
    EXPECT_NE(mixed.err.find("line 2 (IMD_MAX) not checked"), std::string::npos) << mixed.err;
    // a card that vanishes during the capture
    const Card gone("distortiongone", "VANISH=1\n");
    const Result vanished = gone.Run("imd", "--averages 3");
    EXPECT_EQ(vanished.status, 2);
    EXPECT_NE(vanished.err.find("disappeared"), std::string::npos) << vanished.err;
    EXPECT_TRUE(vanished.out.empty());
}

} // namespace
