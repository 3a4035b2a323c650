// sonalyx-measure's distortion commands on ALSA's "default" device (the
// ALSA backend, not the PipeWire one) against the private PipeWire server
// of tests/pipewire/server, whose default sink loops back to its default
// source bit for bit at 48000 Hz and 16 bits. What comes back is the
// generator's own words: a path with no converter whose only error is the
// rounding of each sample to 16 bits, undithered. Exits with 77 (skipped)
// without a server.
//
// The closed form of that rounding: a tone many steps high leaves an error
// spread evenly over 0 .. rate/2 with the power of a uniform error,
// q²/12, where q = 1/32768 of full scale (1.0). Re the power of a
// full-scale sine, 1/2, and over a band of width B:
//   N(B) = 10 log10((q²/12) / (1/2)) + 10 log10(B / (rate/2))
//        = -98.09 dB + 10 log10(B / 24000 Hz)   at 48000 Hz,
// so THD+N of a tone at L dBFS is N(B) - L, and the AES17 dynamic range
// (20 Hz .. 20 kHz) is -N(19980 Hz) = 98.09 + 0.80 = 98.89 dB.
#include "support/measurecommand.h"
#include "support/pipewireserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

using Result = testsupport::MeasureResult;

constexpr double kRate = 48000.0;

// N(B) above: the 16-bit rounding error in dB re a full-scale sine.
double QuantisationDb(double lowHz, double highHz)
{
    const double q = 1.0 / 32768.0;
    return 10.0 * std::log10((q * q / 12.0) / 0.5) + 10.0 * std::log10((highHz - lowHz) / (kRate / 2.0));
}

QJsonObject Json(const Result &r) { return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object(); }

class AlsaPipeWireDistortion : public ::testing::Test {
protected:
    void SetUp() override { testsupport::WriteFile(ini, "[GEN]\nBELOOP=0\n"); }

    // On ALSA's "default" in both directions, at 48000 Hz and 16 bits; the
    // result document, checked to come from the ALSA devices the device
    // list names.
    Result measure(const std::string &arguments)
    {
        return testsupport::RunMeasure(dir, arguments + " --device default --rate 48000 --bits 16 --settings " + ini);
    }
    void expectAlsaDefault(const Result &r)
    {
        const Result list = testsupport::RunMeasure(dir, "devices --format json --settings " + ini);
        ASSERT_EQ(list.status, 0) << list.err;
        std::string names[2];
        for (const QJsonValue &v : Json(list)["results"].toArray()) {
            const QJsonObject d = v.toObject();
            if (d["backend"] == "ALSA" && d["stored_name"] == "default")
                names[d["kind"] == "input" ? 0 : 1] = d["name"].toString().toStdString();
        }
        ASSERT_FALSE(names[0].empty() || names[1].empty()) << list.out;
        const QJsonObject settings = Json(r)["settings"].toObject();
        EXPECT_EQ(settings["input"].toObject()["device"].toString().toStdString(), names[0]);
        EXPECT_EQ(settings["output"].toObject()["device"].toString().toStdString(), names[1]);
        EXPECT_EQ(settings["input"].toObject()["bits"].toInt(), 16);
        EXPECT_TRUE(Json(r)["warnings"].toArray().isEmpty()); // ALSA's streams never warn
    }

    std::string dir = testsupport::ScratchDir("alsa_pipewire_distortion"), ini = dir + "/sonmain.ini";
};

// The AES17 dynamic range of the bit-exact 16-bit loop: a -60 dBFS tone at
// 997 Hz (33 steps high) in the 20 kHz band reads the rounding's 98.89 dB
// within 1 dB.
TEST_F(AlsaPipeWireDistortion, DynamicRangeOfTheUnditheredSixteenBitLoopIsTheRoundingsClosedForm)
{
    const Result r = measure("dynamic-range --settle 100 --format json");
    ASSERT_EQ(r.status, 0) << r.err;
    expectAlsaDefault(r);
    const QJsonArray rows = Json(r)["results"].toArray();
    ASSERT_EQ(rows.size(), 2) << r.out;
    const double expected = -QuantisationDb(20.0, 20000.0);
    EXPECT_NEAR(expected, 98.89, 0.005);
    for (const QJsonValue &row : rows) {
        SCOPED_TRACE(row["channel"].toString().toStdString());
        EXPECT_NEAR(row["dynamic_range_db"].toDouble(), expected, 1.0);
        EXPECT_NEAR(row["tone_dbfs"].toDouble(), -60.0, 0.05);
        EXPECT_EQ(row["overloads"].toInt(-1), 0);
    }
}

// Idle, the loop carries digital silence: every sample 0, which no rounding
// turns into noise (that floor comes with a signal, not without). The noise
// levels are then nothing at all, which the commands write as null (empty
// in CSV), and no signal-to-noise ratio can be given.
TEST_F(AlsaPipeWireDistortion, IdleNoiseOfTheDigitalLoopIsNoSignalWhetherTheOutputPlaysSilenceOrIsClosed)
{
    for (const char *output : {"silent", "off"}) {
        SCOPED_TRACE(output);
        const Result r = measure(std::string("noise --settle 100 --format json --idle-output ") + output);
        ASSERT_EQ(r.status, 0) << r.err;
        const QJsonArray rows = Json(r)["results"].toArray();
        ASSERT_EQ(rows.size(), 2) << r.out;
        for (const QJsonValue &row : rows)
            for (const char *column : {"unweighted_dbfs", "a_weighted_dbfs", "aes17_dbfs", "snr_db", "snr_a_db"})
                EXPECT_TRUE(row.toObject().contains(column) && row[column].isNull())
                    << row["channel"].toString().toStdString() << " " << column << " " << row[column].toDouble();
        const Result csv = measure(std::string("noise --settle 100 --idle-output ") + output);
        ASSERT_EQ(csv.status, 0) << csv.err;
        EXPECT_EQ(csv.out, "channel,unweighted_dbfs,a_weighted_dbfs,aes17_dbfs,snr_db,snr_a_db,overloads\n"
                           "left,,,,,,0\nright,,,,,,0\n");
    }
}

// Distortion sweeps through the loop, over the whole band (20 Hz .. 24 kHz):
// every step's THD+N is the rounding's N - L within 0.5 dB, against
// frequency at -6 dBFS (from 97 to 9973 Hz, whole numbers of no common
// factor with the rate, so that the error does not repeat after a few
// samples) and against level at 997 Hz. A level sweep that would pass
// 0 dBFS is refused before anything plays.
TEST_F(AlsaPipeWireDistortion, DistortionSweepsReadTheSixteenBitRoundingAtEveryStepAndAClippingOneIsRefused)
{
    const double floorDb = QuantisationDb(20.0, kRate / 2.0); // -98.09 dB
    const Result vsFrequency = measure("distortion-sweep --vs frequency --from 97 --to 9973 --steps 3 --level -6 "
                                       "--settle 100 --format json");
    ASSERT_EQ(vsFrequency.status, 0) << vsFrequency.err;
    expectAlsaDefault(vsFrequency);
    const QJsonArray byFrequency = Json(vsFrequency)["results"].toArray();
    ASSERT_EQ(byFrequency.size(), 4) << vsFrequency.out;
    EXPECT_NEAR(byFrequency[0]["frequency_hz"].toDouble(), 97.0, 1e-3);
    EXPECT_NEAR(byFrequency[3]["frequency_hz"].toDouble(), 9973.0, 1e-3);
    for (const QJsonValue &step : byFrequency) {
        SCOPED_TRACE(step["frequency_hz"].toDouble());
        EXPECT_EQ(step["overloads"].toInt(-1), 0);
        for (const char *channel : {"left_", "right_"}) {
            const std::string c = channel;
            EXPECT_NEAR(step[QString::fromStdString(c + "fundamental_dbfs")].toDouble(), -6.0, 0.05) << c;
            EXPECT_NEAR(step[QString::fromStdString(c + "thdn_db")].toDouble(), floorDb + 6.0, 0.5) << c;
        }
    }

    const Result vsLevel = measure("distortion-sweep --vs level --from -50 --to -10 --step 20 --frequency 997 "
                                   "--settle 100 --format json");
    ASSERT_EQ(vsLevel.status, 0) << vsLevel.err;
    const QJsonArray byLevel = Json(vsLevel)["results"].toArray();
    ASSERT_EQ(byLevel.size(), 3) << vsLevel.out;
    for (int i = 0; i < 3; ++i) {
        const double level = -50.0 + 20.0 * i;
        SCOPED_TRACE(level);
        EXPECT_NEAR(byLevel[i]["generator_dbfs"].toDouble(), level, 1e-9);
        for (const char *channel : {"left_", "right_"}) {
            const std::string c = channel;
            EXPECT_NEAR(byLevel[i][QString::fromStdString(c + "fundamental_dbfs")].toDouble(), level, 0.05) << c;
            EXPECT_NEAR(byLevel[i][QString::fromStdString(c + "thdn_db")].toDouble(), floorDb - level, 0.5) << c;
        }
    }

    const Result clipping = measure("distortion-sweep --vs level --from -12 --to 6 --step 6 --frequency 997");
    EXPECT_EQ(clipping.status, 2);
    EXPECT_EQ(clipping.out, "");
    EXPECT_NE(clipping.err.find("the level sweep would clip: its step at 6 dBFS lies above full scale (0 dBFS)"),
              std::string::npos)
        << clipping.err;
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return pwserver::RunAllOrSkip();
}
