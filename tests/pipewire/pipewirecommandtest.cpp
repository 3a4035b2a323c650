// sonalyx-measure on the private PipeWire server of tests/pipewire/server
// (two loopbacks, a sink and a source on clocks of their own, a loopback
// with a delayed and attenuated right channel): the device
// list tells the backends apart, nodes are chosen by node name, a stream the
// server resamples and streams on two clocks are warned of in the result
// document and on standard error, and measurements through the straight
// loopback read what was played: a -20 dBFS sine on a bin centre within
// 0.05 dB, a stepped sweep flat within the ideal card's tolerances, and the
// server's device model within the model's. Exits with 77 (skipped) without
// a server.
#include "support/measurecommand.h"
#include "support/pipewireserver.h"
#include "platform/numbers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cmath>

namespace {

using Result = testsupport::MeasureResult;

QJsonObject Json(const Result &r) { return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object(); }

class PipeWireCommandTest : public ::testing::Test {
protected:
    // Rife-Vincent 3: a full-scale sine on a bin centre reads 0 dB under this
    // calibration (factor 20/ln 10, offset -20·log10(window mean / 2)); the
    // generator streams rather than loops a buffer of no whole periods.
    void SetUp() override
    {
        const double windowMean = 0.2734375 * static_cast<float>(std::pow(10.0, 5.0 / 20.0));
        testsupport::WriteFile(ini, "[LOOPBACK]\nPACED=FALSE\n[GEN]\nBELOOP=0\n[VOLUME]\nPEGFAK=8.685889638\nPEGOFS=" +
                                        platform::FormatNumber(-20.0 * std::log10(0.5 * windowMean), 'f', 6) + "\n");
    }
    Result measure(const std::string &arguments)
    {
        return testsupport::RunMeasure(dir, arguments + " --settings " + ini);
    }
    static std::vector<std::string> Codes(const Result &r)
    {
        std::vector<std::string> codes;
        for (const QJsonValue &w : Json(r)["warnings"].toArray())
            codes.push_back(w.toObject()["code"].toString().toStdString());
        return codes;
    }

    std::string dir = testsupport::ScratchDir("pipewire_command"), ini = dir + "/sonmain.ini";
};

TEST_F(PipeWireCommandTest, TheDeviceListTellsTheBackendsApartAndKeepsTheVirtualCardLast)
{
    const Result r = measure("devices --format json");
    ASSERT_EQ(r.status, 0) << r.err;
    QJsonObject second, lastInput;
    int inputs = 0;
    for (const QJsonValue &v : Json(r)["results"].toArray()) {
        const QJsonObject d = v.toObject();
        if (d["kind"] != "input")
            continue;
        ++inputs;
        lastInput = d;
        if (d["name"] == "Second loopback in")
            second = d;
        // No card here: ALSA lists only the server's own "default".
        if (d["backend"] == "ALSA") {
            EXPECT_EQ(d["stored_name"].toString().left(3), "def") << d["name"].toString().toStdString();
        }
    }
    EXPECT_EQ(second["backend"], "PipeWire");
    EXPECT_EQ(second["stored_name"], "loop2_source");
    EXPECT_EQ(lastInput["backend"], "virtual");
    EXPECT_GE(inputs, 5) << "three sources of the server, a virtual card, ALSA's default";

    const Result csv = measure("devices");
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')), "kind,number,name,usable,formats,backend,stored_name");
    EXPECT_NE(csv.out.find(",Second loopback out,true,"), std::string::npos);
    EXPECT_NE(csv.out.find(",PipeWire,loop2_sink\n"), std::string::npos);
}

// A node name chooses the node, also through --device for a command that
// plays nothing (a source has no sink of that name); a description shared
// by a sink and a source chooses both.
TEST_F(PipeWireCommandTest, NodesAreChosenByNodeNameOrByTheirDescription)
{
    const Result byNode = measure("level --fft 2048 --rate 48000 --format json --device loop2_source");
    ASSERT_EQ(byNode.status, 0) << byNode.err;
    EXPECT_EQ(Json(byNode)["settings"].toObject()["input"].toObject()["device"], "Second loopback in");
    const Result both = measure("level --fft 2048 --rate 48000 --format json --wave sine --device \"Test loopback\"");
    ASSERT_EQ(both.status, 0) << both.err;
    const QJsonObject settings = Json(both)["settings"].toObject();
    EXPECT_EQ(settings["input"].toObject()["device"], "Test loopback");
    EXPECT_EQ(settings["output"].toObject()["device"], "Test loopback");
    const Result missing = measure("level --device no_such_node");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("no input device \"no_such_node\""), std::string::npos) << missing.err;
}

TEST_F(PipeWireCommandTest, AResampledInputAndTwoClocksAreWarnedOfTheLoopbackAndTheVirtualCardAreNot)
{
    // The graph may run at 48000 Hz only: a 96000 Hz capture is resampled.
    const Result resampled = measure("level --fft 2048 --rate 96000 --format json --input loop_source");
    ASSERT_EQ(resampled.status, 0) << resampled.err;
    EXPECT_EQ(Codes(resampled), std::vector<std::string>{"input_resampled"});
    EXPECT_EQ(Json(resampled)["warnings"].toArray()[0].toObject()["text"],
              "input resampled by the server (96000 Hz, graph at 48000 Hz)");

    // A source and a sink each driving a graph of its own, in CSV: on standard error.
    const Result clocks = measure("level --fft 2048 --rate 48000 --wave sine --input clock3_source --output clock2_sink");
    ASSERT_EQ(clocks.status, 0) << clocks.err;
    EXPECT_NE(clocks.err.find("input and output on two clocks"), std::string::npos) << clocks.err;
    EXPECT_EQ(clocks.err.find("resampled"), std::string::npos) << clocks.err;

    const Result loop = measure("level --fft 2048 --rate 48000 --format json --wave sine --device \"Test loopback\"");
    ASSERT_EQ(loop.status, 0) << loop.err;
    ASSERT_TRUE(Json(loop)["warnings"].isArray());
    EXPECT_TRUE(Codes(loop).empty());
    EXPECT_EQ(loop.err, "");

    const Result card = measure("level --fft 2048 --format json --wave sine --device \"Virtual loopback 1\"");
    ASSERT_EQ(card.status, 0) << card.err;
    EXPECT_TRUE(Json(card)["warnings"].isArray());
    EXPECT_TRUE(Codes(card).empty());
}

// A -20 dBFS sine on bin 93 of 4096 points at 48000 Hz (1089.84375 Hz)
// played into the default loopback reads -20 dB at its bin, as on ALSA and
// the ideal virtual card (0.05 dB).
TEST_F(PipeWireCommandTest, ASineAtMinusTwentyDbfsReadsItsLevelThroughTheLoopback)
{
    const Result r = measure("spectrum --fft 4096 --averages 2 --window rife-vinc3 --unit dBFS --rate 48000 --bits 16 "
                             "--wave sine --frequency 1089.84375 --gen-level -20 --device \"Test loopback\"");
    ASSERT_EQ(r.status, 0) << r.err;
    const QStringList rows = QString::fromStdString(r.out).trimmed().split('\n').mid(1);
    ASSERT_EQ(rows.size(), 2048);
    int loudest = 1;
    for (int i = 1; i < rows.size(); ++i)
        if (rows[i].section(',', 1, 1).toDouble() > rows[loudest].section(',', 1, 1).toDouble())
            loudest = i;
    EXPECT_EQ(loudest, 93);
    EXPECT_NEAR(rows[93].section(',', 0, 0).toDouble(), 1089.844, 1e-3);
    EXPECT_NEAR(rows[93].section(',', 1, 1).toDouble(), -20.0, 0.05);
    EXPECT_NEAR(rows[93].section(',', 2, 2).toDouble(), -20.0, 0.05);
}

// The stepped sweep through the second loopback, a straight wire: stereo
// levels at the sweep's level within 0.01 dB, the right channel against the
// left at 0 dB within 0.005 dB and 0.1 degrees (the ideal card's tolerances).
TEST_F(PipeWireCommandTest, AStepSweepThroughTheLoopbackIsFlatWithinTheIdealCardsTolerance)
{
    const std::string devices = " --rate 48000 --bits 16 --input loop2_source --output loop2_sink --format json"
                                " --from 100 --to 20000 --steps 6 --settle 150 --corrections off";
    const Result stereo = measure("sweep --mode stereo --level -6" + devices);
    ASSERT_EQ(stereo.status, 0) << stereo.err;
    const QJsonArray points = Json(stereo)["results"].toArray();
    ASSERT_EQ(points.size(), 7);
    for (const QJsonValue &p : points) {
        EXPECT_NEAR(p["left_db"].toDouble(1.0), -6.0, 0.01) << p["frequency_hz"].toDouble();
        EXPECT_NEAR(p["right_db"].toDouble(1.0), -6.0, 0.01) << p["frequency_hz"].toDouble();
    }
    EXPECT_TRUE(Codes(stereo).empty());

    const Result referenced = measure("sweep --mode left-ref --phase on --level -6" + devices);
    ASSERT_EQ(referenced.status, 0) << referenced.err;
    for (const QJsonValue &p : Json(referenced)["results"].toArray()) {
        EXPECT_NEAR(p["level_db"].toDouble(1.0), 0.0, 0.005) << p["frequency_hz"].toDouble();
        EXPECT_NEAR(p["phase_deg"].toDouble(1.0), 0.0, 0.1) << p["frequency_hz"].toDouble();
    }
}

// A device model the server carries (40-device-model.conf): the right
// channel delayed by 1 ms at half the amplitude, H(f) = 0.5·exp(-j·2π·f·1 ms)
// against the left. The sweep reads it within the tolerances it has for the
// virtual card's device model: 0.02 dB and 0.3 degrees.
TEST_F(PipeWireCommandTest, AStepSweepReadsTheServersDeviceModelWithinTheModelTolerances)
{
    const Result r = measure("sweep --mode left-ref --phase on --level -6 --rate 48000 --bits 16 --input model_source "
                             "--output model_sink --format json --from 100 --to 20000 --steps 10 --settle 150 "
                             "--corrections off");
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray points = Json(r)["results"].toArray();
    ASSERT_EQ(points.size(), 11);
    for (const QJsonValue &p : points) {
        const double f = p["frequency_hz"].toDouble();
        EXPECT_NEAR(p["level_db"].toDouble(1.0), 20.0 * std::log10(0.5), 0.02) << f;
        EXPECT_NEAR(std::remainder(p["phase_deg"].toDouble(1000.0) + 360.0 * f * 0.001, 360.0), 0.0, 0.3) << f;
    }
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return pwserver::RunAllOrSkip();
}
