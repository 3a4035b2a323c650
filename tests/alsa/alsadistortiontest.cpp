// sonalyx-measure's thd and imd on ALSA, on a machine without a sound card:
// ALSA's file plugin is "default" (chosen by --device through the name the
// device list stores for it), capturing a raw file this test writes from a
// sum of sines and playing into /dev/null. The file holds S32_LE frames
// with 24-bit words in the upper bits, as a 24-bit converter delivers them
// for --bits 24, so that components 110 dB down still lie far above the
// words' quantisation floor. Each channel holds other components, so that
// a swapped or mixed-up channel shows.
//
// The plugin is not paced and reads its file afresh whenever the capture
// opens it: every captured block starts at the file's first frame, which
// for a steady sum of sines is as good as any other.
#include "support/measurecommand.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

using Result = testsupport::MeasureResult;

constexpr int kRate = 48000;
constexpr int kFrames = kRate; // one second: longer than any captured block

struct Tone {
    double hz, amplitude, phase; // amplitude re full scale, phase in radians
};

double Db(double ratio) { return 20.0 * std::log10(ratio); }
double FromDb(double db) { return std::pow(10.0, db / 20.0); }

// Both channels' sums of sines as S32_LE frames holding 24-bit words.
std::string SineFile(const std::vector<Tone> &left, const std::vector<Tone> &right)
{
    std::string bytes(static_cast<std::size_t>(kFrames) * 8, '\0');
    for (int n = 0; n < kFrames; ++n) {
        const double t = static_cast<double>(n) / kRate;
        for (int c = 0; c < 2; ++c) {
            double x = 0.0;
            for (const Tone &tone : c == 0 ? left : right)
                x += tone.amplitude * std::sin(2.0 * std::numbers::pi * tone.hz * t + tone.phase);
            const auto word = static_cast<std::int32_t>(std::lround(x * 8388607.0)); // 2^23 - 1
            const auto v = static_cast<std::uint32_t>(word) << 8;
            for (int b = 0; b < 4; ++b)
                bytes[static_cast<std::size_t>(n) * 8 + 4 * c + b] = static_cast<char>((v >> (8 * b)) & 0xFF);
        }
    }
    return bytes;
}

QJsonObject Json(const Result &r) { return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object(); }

// A component that was not written: nothing at all (null) or far down.
bool Absent(const QJsonValue &db) { return db.isNull() || db.toDouble(0.0) < -125.0; }

class AlsaFileDistortion : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::WriteFile(ini, "[GEN]\nBELOOP=0\n");
        testsupport::WriteFile(dir + "/asound.conf",
                               "pcm.null { type null }\npcm.!default { type asym\n"
                               "  playback.pcm { type file slave.pcm \"null\" file \"/dev/null\" format \"raw\" }\n"
                               "  capture.pcm { type file slave.pcm \"null\" file \"/dev/null\" infile \"" + inFile +
                                   "\" format \"raw\" } }\n");
        setenv("ALSA_CONFIG_PATH", (dir + "/asound.conf").c_str(), 1); // the commands inherit it
    }
    Result measure(const std::string &arguments)
    {
        return testsupport::RunMeasure(dir, arguments + " --settings " + ini);
    }
    // The name the device list gives ALSA's "default" input, found by the
    // name it stores (its column `stored_name`).
    std::string alsaDefaultInput()
    {
        const Result r = measure("devices --format json");
        EXPECT_EQ(r.status, 0) << r.err;
        for (const QJsonValue &v : Json(r)["results"].toArray()) {
            const QJsonObject d = v.toObject();
            if (d["kind"] == "input" && d["backend"] == "ALSA" && d["stored_name"] == "default")
                return d["name"].toString().toStdString();
        }
        ADD_FAILURE() << "no ALSA default input in " << r.out;
        return {};
    }
    // The measured rows by channel: left first, then right.
    static std::vector<QJsonObject> Rows(const Result &r)
    {
        std::vector<QJsonObject> rows;
        for (const QJsonValue &v : Json(r)["results"].toArray())
            rows.push_back(v.toObject());
        return rows;
    }

    std::string dir = testsupport::ScratchDir("alsa_distortion"), ini = dir + "/sonmain.ini",
                inFile = dir + "/in.raw";
};

// Left: 997 Hz at -6 dBFS with H2 -70, H3 -90 and H4 -110 dB re the tone;
// right: the tone at -12 dBFS with H2 -80 and H3 -100 dB and no H4. The
// harmonics start at phases of their own. Each reads within 0.3 dB of what
// was written; THD is their RMS sum, sqrt(sum 10^(Hk/10)).
TEST_F(AlsaFileDistortion, ThdReadsEachHarmonicWrittenIntoTheCapturedFile)
{
    const double f = 997.0;
    const double aL = FromDb(-6.0), aR = FromDb(-12.0);
    testsupport::WriteFile(inFile, SineFile({{f, aL, 0.0}, {2 * f, aL * FromDb(-70.0), 0.7},
                                             {3 * f, aL * FromDb(-90.0), 2.1}, {4 * f, aL * FromDb(-110.0), 4.0}},
                                            {{f, aR, 1.0}, {2 * f, aR * FromDb(-80.0), 5.0},
                                             {3 * f, aR * FromDb(-100.0), 0.3}}));
    const std::string device = alsaDefaultInput();
    const Result r = measure("thd --device default --rate 48000 --bits 24 --frequency 997 --format json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json(r)["settings"].toObject()["input"].toObject()["device"].toString().toStdString(), device);
    const std::vector<QJsonObject> rows = Rows(r);
    ASSERT_EQ(rows.size(), 2u) << r.out;

    struct Expected {
        const char *channel;
        double levelDb, h2, h3, h4;
    };
    const Expected expected[2] = {{"left", -6.0, -70.0, -90.0, -110.0}, {"right", -12.0, -80.0, -100.0, 0.0}};
    for (int c = 0; c < 2; ++c) {
        const Expected &e = expected[c];
        const QJsonObject &row = rows[static_cast<std::size_t>(c)];
        SCOPED_TRACE(e.channel);
        EXPECT_EQ(row["channel"], e.channel);
        EXPECT_NEAR(row["fundamental_hz"].toDouble(), f, 0.01);
        EXPECT_NEAR(row["fundamental_dbfs"].toDouble(), e.levelDb, 0.3);
        EXPECT_NEAR(row["h2_db"].toDouble(), e.h2, 0.3);
        EXPECT_NEAR(row["h3_db"].toDouble(), e.h3, 0.3);
        if (e.h4 < 0.0)
            EXPECT_NEAR(row["h4_db"].toDouble(), e.h4, 0.3);
        else
            EXPECT_TRUE(Absent(row["h4_db"])) << row["h4_db"].toDouble();
        for (const char *absent : {"h5_db", "h6_db", "h7_db", "h8_db", "h9_db"})
            EXPECT_TRUE(Absent(row[absent])) << absent << " " << row[absent].toDouble();
        const double thd = 10.0 * std::log10(std::pow(10.0, e.h2 / 10.0) + std::pow(10.0, e.h3 / 10.0) +
                                             (e.h4 < 0.0 ? std::pow(10.0, e.h4 / 10.0) : 0.0));
        EXPECT_NEAR(row["thd_db"].toDouble(), thd, 0.3);
        EXPECT_NEAR(row["thd_percent"].toDouble(), 100.0 * FromDb(thd), 100.0 * FromDb(thd) * 0.035);
        EXPECT_EQ(row["overloads"].toInt(-1), 0);
    }
}

// SMPTE: 60 Hz and 7 kHz at 4:1 with their sum's peak at -6 dBFS, and the
// four sidebands f2 -/+ f1 and f2 -/+ 2 f1 at levels of their own re the
// high tone (left: -60, -66, -72, -78 dB; right: -70 dB each). IMD is their
// RMS sum re the high tone: 10 log10(sum 10^(Sk/10)).
TEST_F(AlsaFileDistortion, SmpteImdIsTheRmsSumOfTheSidebandsWrittenIntoTheCapturedFile)
{
    const double peak = FromDb(-6.0), a1 = peak * 4.0 / 5.0, a2 = peak / 5.0;
    const double f1 = 60.0, f2 = 7000.0;
    const double sidebandsL[4] = {-60.0, -66.0, -72.0, -78.0}, sidebandsR[4] = {-70.0, -70.0, -70.0, -70.0};
    const double at[4] = {f2 - f1, f2 + f1, f2 - 2 * f1, f2 + 2 * f1};
    std::vector<Tone> left{{f1, a1, 0.0}, {f2, a2, 0.0}}, right{{f1, a1, 0.5}, {f2, a2, 1.5}};
    for (int k = 0; k < 4; ++k) {
        left.push_back({at[k], a2 * FromDb(sidebandsL[k]), 0.4 * k});
        right.push_back({at[k], a2 * FromDb(sidebandsR[k]), 1.3 * k});
    }
    testsupport::WriteFile(inFile, SineFile(left, right));
    const Result r = measure("imd --standard smpte --device default --rate 48000 --bits 24 --format json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json(r)["settings"].toObject()["input"].toObject()["device"].toString().toStdString(),
              alsaDefaultInput());
    const std::vector<QJsonObject> rows = Rows(r);
    ASSERT_EQ(rows.size(), 2u) << r.out;
    const char *products[4] = {"f2_minus_f1_db", "f2_plus_f1_db", "f2_minus_2f1_db", "f2_plus_2f1_db"};
    for (int c = 0; c < 2; ++c) {
        const QJsonObject &row = rows[static_cast<std::size_t>(c)];
        const double *sidebands = c == 0 ? sidebandsL : sidebandsR;
        SCOPED_TRACE(row["channel"].toString().toStdString());
        EXPECT_EQ(row["standard"], "SMPTE");
        EXPECT_NEAR(row["a1_dbfs"].toDouble(), Db(a1), 0.05);
        EXPECT_NEAR(row["a2_dbfs"].toDouble(), Db(a2), 0.05);
        double power = 0.0;
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(row[products[k]].toDouble(), sidebands[k], 0.3) << products[k];
            power += std::pow(10.0, sidebands[k] / 10.0);
        }
        EXPECT_NEAR(row["imd_db"].toDouble(), 10.0 * std::log10(power), 0.3);
        EXPECT_EQ(row["overloads"].toInt(-1), 0);
    }
    EXPECT_NEAR(rows[0]["imd_db"].toDouble(), -58.761, 0.3); // left: the four above
    EXPECT_NEAR(rows[1]["imd_db"].toDouble(), -63.979, 0.3); // right: -70 dB + 10 log10(4)
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
