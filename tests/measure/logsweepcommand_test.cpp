// sonalyx-measure logsweep run as a program on the paced virtual card: the
// CSV table, the result document of kind "logsweep", the impulse response as
// a float wave file with the rate, the limits on the level and THD curves;
// and the input it refuses, with status 2 and the reason.
#include "support/cardmodel.h"
#include "support/spectrumref.h"
#include "support/measurecommand.h"
#include "support/testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace {

using Result = testsupport::MeasureResult;

Result Measure(const std::string &dir, const std::string &arguments)
{
    return testsupport::RunMeasure(dir, "logsweep " + arguments);
}

TEST(LogSweepCommand, BadInputEndsWithStatusTwoAndTheReason)
{
    const std::string dir = testsupport::ScratchDir("logsweepbad");
    const std::string ini = dir + "/sonmain.ini";
    testsupport::WriteFile(ini, "[LOOPBACK]\nFORMATS=16:48000\n");
    const std::string base = "--settings " + ini + " --rate 48000 ";
    const std::pair<std::string, std::string> errors[] = {
        {"--from 1000 --to 1000", "start"},
        {"--from 2000 --to 1000", "start"},
        {"--to 24001", "24000"},                       // half the rate
        {"--seconds 0.5 --harmonics 5", "at least 2."}, // H5 over 20 Hz..20 kHz needs over 2 s
        {"--smoothing 1/5", "smoothing"},
        {"--mode sideways", "mode"},
        {"--averages 0", "averages"},
        {"--level 3", "level"},
        {"--seconds 1,5", "seconds"},
    };
    for (const auto &[arguments, reason] : errors) {
        const Result r = Measure(dir, base + arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.err.find(reason), std::string::npos) << arguments << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << arguments;
    }
}

TEST(LogSweepCommand, TableDocumentImpulseFileAndLimitsOfTheDeviceModel)
{
    const std::string dir = testsupport::ScratchDir("logsweeprun");
    const std::string ini = dir + "/sonmain.ini";
    testsupport::WriteFile(ini, "[LOOPBACK]\nDUTDELAY=17\n");
    const std::string base = "--settings " + ini + " --rate 48000 --bits 24 --from 20 --to 20000 --seconds 2.5 ";

    // CSV, right against left, with the impulse response beside it.
    const std::string wav = dir + "/impulse.wav";
    const Result csv = Measure(dir, base + "--mode left-ref --ir " + wav);
    ASSERT_EQ(csv.status, 0) << csv.err;
    const QStringList lines = QString::fromStdString(csv.out).trimmed().split('\n');
    ASSERT_GT(lines.size(), 400);
    EXPECT_EQ(lines[0], "frequency_hz,level_db,phase_deg,h2_db,h3_db,h4_db,h5_db,thd_db");
    int checked = 0;
    for (const QString &line : lines.mid(1)) {
        const QStringList f = line.split(',');
        ASSERT_EQ(f.size(), 8) << line.toStdString();
        const double hz = f[0].toDouble();
        if (hz < 100.0 || hz > 5000.0)
            continue;
        ++checked;
        const double model = testsupport::Db(std::abs(testsupport::DeviceUnderTest(hz, 48000.0)));
        EXPECT_NEAR(f[1].toDouble(), model, 0.05) << line.toStdString();
        // The model's two harmonics at -80 dB: THD 3 dB above each.
        EXPECT_NEAR(f[7].toDouble(), -80.0 + 10.0 * std::log10(2.0), 1.0) << line.toStdString();
    }
    EXPECT_GT(checked, 200);
    SF_INFO info{};
    SNDFILE *file = sf_open(wav.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    std::vector<float> ir(static_cast<std::size_t>(info.frames));
    EXPECT_EQ(sf_readf_float(file, ir.data(), info.frames), info.frames);
    sf_close(file);

    // JSON through the result document, with the limits: the levels (the
    // sweep's -6 dBFS, less the model's gain on the right) inside the rows, THD above a bound under the model's.
    const std::string limits = dir + "/amp.lim";
    testsupport::WriteFile(limits, "100 -7.5 -5.5\n5000 -7.5 -5.5\nTHD_MAX -90\n");
    const Result json = Measure(dir, base + "--mode stereo --format json --limits " + limits);
    EXPECT_EQ(json.status, 1) << json.err;
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    EXPECT_EQ(doc["kind"].toString(), "logsweep");
    EXPECT_EQ(doc["settings"].toObject()["logsweep"].toObject()["mode"].toString(), "stereo");
    const QJsonObject latency = doc["readings"].toObject()["input_latency_frames"].toObject();
    EXPECT_EQ(latency["right"].toInteger() - latency["left"].toInteger(), 17);
    const QJsonArray failures = doc["limits"].toObject()["failures"].toArray();
    // From 100 Hz up only the right input's THD (the model's, 3 dB above
    // its -80 dB harmonics) fails; the wire to the left input passes. Close
    // to the start frequency a sweep's spread reaches the harmonics' windows,
    // so rows there are left out.
    int right = 0;
    for (const QJsonValue &v : failures) {
        const QJsonObject f = v.toObject();
        if (f["frequency_hz"].toDouble() < 100.0)
            continue;
        EXPECT_TRUE(f.contains("thd_db")) << QJsonDocument(f).toJson().toStdString();
        EXPECT_EQ(f["channel"].toString().toStdString(), "right");
        right += f["frequency_hz"].toDouble() <= 5000.0;
    }
    EXPECT_GT(right, 200);
}

} // namespace
