// sonalyx-measure's --format json as a result document: the keys spectrum,
// thdn, level and sweep wrote before (their JSON of then, trimmed to a row)
// stay, and the reader takes every measuring command's output back; compare
// against hand-worked differences and against sweeps of the device model.
#include "measurement/document/measurementfile.h"
#include "platform/numbers.h"
#include "support/measurecommand.h"
#include "support/testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <array>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using Result = testsupport::MeasureResult;

QJsonObject Json(const std::string &text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object(); }

// Every key of `old` is in `now` with a value of the same JSON type; of
// arrays the first elements are compared.
void ExpectKeysKept(const QJsonValue &old, const QJsonValue &now, const std::string &path)
{
    ASSERT_EQ(old.type(), now.type()) << path;
    if (old.isObject()) {
        const QJsonObject o = old.toObject(), n = now.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            EXPECT_TRUE(n.contains(it.key())) << path << "." << it.key().toStdString();
            if (n.contains(it.key()))
                ExpectKeysKept(it.value(), n.value(it.key()), path + "." + it.key().toStdString());
        }
    } else if (old.isArray() && !old.toArray().isEmpty()) {
        ASSERT_FALSE(now.toArray().isEmpty()) << path;
        ExpectKeysKept(old.toArray().first(), now.toArray().first(), path + "[0]");
    }
}

// The settings every command wrote, as written on the virtual card.
const std::string kDescribed =
    R"("calibration":{"calibrated_input_volume":-1,"input_mv_full_scale":497,"level_factor":8.722,"level_offset_db":12.6},)"
    R"("corrections":{"input":null,"output":null},)"
    R"("input":{"bits":16,"device":"Virtual loopback 1","number":0,"rate_hz":44100},)"
    R"("output":{"bits":16,"device":"Virtual loopback 1","number":0,"rate_hz":44100},)"
    R"("program":"sonalyx-measure","settings_file":"sonmain.ini","time":"2026-12-07T09:14:15Z","version":"1.4",)";
const std::string kSpectrumSection =
    R"("spectrum":{"averages":1,"fft_size":2048,"overloads":0,"unit":"dBFS","unit_shift_db":0,"window":"Rife-Vinc3"})";

struct OldOutput {
    const char *kind, *arguments;
    std::string json;
};

TEST(DocumentCommand, OldKeysStayAndEveryCommandsOutputReadsBack)
{
    const std::string dir = testsupport::ScratchDir("oldkeys");
    for (const auto &[name, text] : {std::pair{"sonmain.ini", "[LOOPBACK]\nPACED=FALSE\n"}, {"flat.cor", "1 0\n100000 0\n"},
                                     {"c.lim", "100 -200 -100\n1000 -200 0\n"}, {"t.lim", "THDN_MAX -10\n"},
                                     {"l.lim", "LEVEL_MAX 0\n"}})
        testsupport::WriteFile(dir + "/" + name, text);
    const std::string warnings = R"(,"warnings":[]})";
    const OldOutput old[] = {
        {"spectrum", "spectrum --fft 2048 --wave sine --limits c.lim",
         R"({"limits":{"failures":[],"file":"c.lim","pass":true,"sha256":"5440"},)"
         R"("results":[{"frequency_hz":0,"left_dBFS":-179.219,"overloads":0,"right_dBFS":-119.4124}],"settings":{)" +
             kDescribed + R"("command":"spectrum",)" +
             R"("generator":{"frequency_hz":1000,"level_db":-6,"loop":true,"phase_left_deg":0,"phase_right_deg":0,"wave":"sine"},)" +
             kSpectrumSection + "}" + warnings},
        {"thdn", "thdn --fft 2048 --limits t.lim",
         R"({"limits":{"failures":[],"file":"t.lim","pass":true,"sha256":"5855"},)"
         R"("results":[{"channel":"left","fundamental_hz":991,"overloads":0,"thdn_db":-77.9803}],"settings":{)" +
             kDescribed + R"("command":"thdn",)" +
             R"("analysis":{"filter":"none","fundamental":"auto","high_hz":20000,"low_hz":100,"threshold_db":-60},)" +
             kSpectrumSection + "}" + warnings},
        {"level", "level --fft 2048 --limits l.lim --filter-file flat.cor",
         R"({"limits":{"failures":[],"file":"l.lim","pass":true,"sha256":"6612"},)"
         R"("results":[{"channel":"left","level_dBFS":-19.9198,"overloads":0}],"settings":{)" +
             kDescribed + R"("command":"level",)" +
             R"("analysis":{"filter":"USER","filter_file":"flat.cor","filter_sha256":"5601","high_hz":20000,"low_hz":100},)" +
             kSpectrumSection + "}" + warnings},
        {"sweep", "sweep --steps 3 --settle 0 --phase on --limits c.lim",
         R"({"limits":{"failures":[{"frequency_hz":206.456,"level_db":-0.5018,"step":1}],"file":"c.lim","pass":false,"sha256":"27a5"},)"
         R"("results":[{"frequency_hz":20,"level_db":-3.5103,"overloads":60,"phase_deg":89.98,"step":0}],"settings":{)" +
             kDescribed + R"("command":"sweep",)" +
             R"("sweep":{"from_hz":20,"level_db":0,"mode":"left-ref","output_mode":"loop","phase":true,"settle_ms":0,"spacing":"log","steps":3,"to_hz":22000}})" +
             warnings},
        {"sweep", "sweep --steps 2 --settle 0 --mode stereo",
         R"({"results":[{"frequency_hz":20,"left_db":-0.0003,"overloads":60,"right_db":-3.5105,"step":0}],"settings":{)" +
             kDescribed + R"("command":"sweep",)" +
             R"("sweep":{"from_hz":20,"level_db":0,"mode":"stereo","output_mode":"loop","phase":false,"settle_ms":0,"spacing":"log","steps":2,"to_hz":22000}})" +
             warnings},
    };
    // The reader takes a command's output back, as the window program opens it.
    const auto readBack = [](const std::string &text, const std::string &what) {
        measure::MeasurementDocument d;
        measure::FileError e;
        EXPECT_TRUE(measure::ParseMeasurementDocument(QByteArray::fromStdString(text), what, d, e))
            << what << ": " << measure::FileErrorText(e, 'E');
        return d;
    };
    for (const OldOutput &o : old) {
        // In the scratch folder: the file names are written as given.
        std::string out;
        const int status = testsupport::RunShell("cd " + dir + " && " + SONALYX_MEASURE_EXE + " " + o.arguments +
                                                     " --settings sonmain.ini --format json --title \"Amp 7\"",
                                                 out);
        ASSERT_LE(status, 1) << o.arguments;
        const QJsonObject before = Json(o.json), now = Json(out);
        ASSERT_FALSE(before.isEmpty()) << o.arguments; // the literal above is JSON
        ExpectKeysKept(before, now, o.arguments);
        EXPECT_TRUE(now["version"] == "1.0" && now["kind"] == o.kind && now["title"] == "Amp 7") << o.arguments;

        // The same rows, and the curves' points are the rows' values.
        const measure::MeasurementDocument d = readBack(out, o.arguments);
        EXPECT_TRUE(d.Settings.Command == o.kind && d.Warnings && d.Warnings->isEmpty()) << o.arguments;
        const QJsonArray rows = now["results"].toArray();
        ASSERT_EQ(d.Results.Rows, static_cast<std::size_t>(rows.size()));
        EXPECT_EQ(d.Curves.empty(), o.kind == std::string("thdn") || o.kind == std::string("level")) << o.arguments;
        for (const measure::CurveDefinition &c : d.Curves)
            for (qsizetype i = 0; i < rows.size(); i += 97)
                EXPECT_NEAR(measure::PointsOf(d, c).Y[i], rows[i][QString::fromStdString(c.Y)].toDouble(), 1e-9) << c.Name;
    }
    // The commands that wrote documents before.
    for (const std::string command :
         {"logsweep --seconds 1 --harmonics 1 --window-ms 50", "thd --fft 4096", "imd --standard ccif --fft 4096",
          "noise --fft 4096", "dynamic-range --fft 4096"}) {
        const Result r =
            testsupport::RunMeasure(dir, command + " --settings " + dir + "/sonmain.ini --format json --remark R");
        ASSERT_EQ(r.status, 0) << command << ": " << r.err;
        EXPECT_EQ(readBack(r.out, command).Remark, "R") << command;
    }
}

// A small sweep document: rows of frequency, level and (unless NaN) phase.
std::string SweepFile(const char *kind, std::initializer_list<std::array<double, 3>> rows)
{
    std::string text = std::string(R"({"version": "1.0", "kind": ")") + kind +
                       R"(", "settings": {"program": "hand", "version": "0", "time": "2026-01-01T00:00:00Z"},
      "columns": ["frequency_hz", "level_db", "phase_deg"],
      "curves": [{"name": "level", "quantity": "level", "x": "frequency_hz", "x_unit": "Hz", "y": "level_db",
                  "y_unit": "dB", "phase": "phase_deg", "phase_unit": "deg"}],
      "results": [)";
    const auto number = [](double v) { return std::isnan(v) ? std::string("null") : platform::FormatNumber(v, 'g', 12); };
    for (const auto &[f, level, phase] : rows)
        text += R"({"frequency_hz": )" + number(f) + R"(, "level_db": )" + number(level) + R"(, "phase_deg": )" +
                number(phase) + "},";
    text.back() = ']';
    return text + "}\n";
}

// Reference: 0 dB at 100 Hz, 6 dB at 1 kHz and 10 kHz; phase 170°, -170°,
// 0°. Halfway between 100 Hz and 1 kHz on a log axis (316.228 Hz) the
// reference reads 3 dB (1.4 dB on a linear one) and 180° (the short way
// round). The measurement lies 0.25 dB off at each of its points.
TEST(DocumentCommand, CompareHandWrittenFilesWithHandWorkedDifferences)
{
    const std::string dir = testsupport::ScratchDir("compare");
    const std::string ref = dir + "/ref.sonalyx.json", dut = dir + "/dut.sonalyx.json";
    testsupport::WriteFile(ref, SweepFile("sweep", {{100, 0, 170}, {1000, 6, -170}, {10000, 6, 0}}));
    testsupport::WriteFile(dut, SweepFile("sweep", {{50, 0, 0}, {100, 0.25, -175}, {std::sqrt(1e5), 3.25, -178},
                                                    {10000, 5.75, NAN}, {20000, 6, 0}}));
    const std::string compare = "compare " + ref + " " + dut;

    const Result pass = testsupport::RunMeasure(dir, compare + " --tolerance 0.3");
    ASSERT_EQ(pass.status, 0) << pass.err;
    const QStringList lines = QString::fromStdString(pass.out).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 6);
    const double expected[][2] = {{0.25, 15.0}, {0.25, 2.0}, {-0.25, NAN}}; // -175 - 170 = -345 -> 15
    for (int i = 0; i < 3; ++i) {
        const QStringList fields = lines[2 + i].split(',');
        ASSERT_EQ(fields.size(), 9) << lines[2 + i].toStdString();
        EXPECT_NEAR(fields[6].toDouble(), expected[i][0], 1e-5) << i;
        if (std::isnan(expected[i][1]))
            EXPECT_TRUE(fields[7].isEmpty()) << i;
        else
            EXPECT_NEAR(fields[7].toDouble(), expected[i][1], 1e-4) << i;
        EXPECT_EQ(fields[8], "within");
    }
    EXPECT_TRUE(lines[1].endsWith(",outside_reference") && lines[5].endsWith(",outside_reference"));
    EXPECT_NE(pass.err.find("2 points of the curve \"level\" lie outside the reference's range (100 Hz to 10000 Hz)"),
              std::string::npos) << pass.err;

    const Result fail = testsupport::RunMeasure(dir, compare + " --tolerance 0.2 --format json");
    EXPECT_EQ(fail.status, 1) << fail.err;
    EXPECT_NE(fail.err.find("FAIL: 3 of 3 compared point(s) differ by more than 0.2 dB"), std::string::npos) << fail.err;
    const QJsonObject curve = Json(fail.out)["curves"][0].toObject();
    EXPECT_TRUE(curve["compared"] == 3 && curve["outside_reference"] == 2 && !Json(fail.out)["pass"].toBool(true));
    EXPECT_NEAR(curve["points"][2]["reference_level"].toDouble(), 3.0, 1e-5);

    // A name that is not UTF-8 ("café" in Latin-1) is the file of those bytes.
    testsupport::WriteFile(dir + "/caf\xe9.sonalyx.json", testsupport::ReadFile(dut));
    const std::string latin1 = " \"$(printf '%s/caf\\351.sonalyx.json' '" + dir + "')\"";
    EXPECT_EQ(testsupport::RunMeasure(dir, "compare " + ref + latin1 + " --tolerance 0.3").status, 0);

    // Files that cannot be compared: status 2 and the reason.
    testsupport::WriteFile(dir + "/log.sonalyx.json", SweepFile("logsweep", {{100, 0, 0}, {1000, 0, 0}}));
    testsupport::WriteFile(dir + "/cut.sonalyx.json", testsupport::ReadFile(ref).substr(0, 300));
    const std::pair<std::string, std::string> refused[] = {
        {ref + " " + dir + "/log.sonalyx.json", "different kinds (\"sweep\" and \"logsweep\")"},
        {dir + "/cut.sonalyx.json " + dut, "cut.sonalyx.json ends too early"},
        {ref, "missing argument"},
    };
    for (const auto &[arguments, reason] : refused) {
        const Result r = testsupport::RunMeasure(dir, "compare " + arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.err.find(reason), std::string::npos) << arguments << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << arguments;
    }
}

// Two sweeps of the device model read the same within the noise; a model
// whose gain is 3 dB lower reads 3 dB lower at every step, phase unchanged.
TEST(DocumentCommand, CompareSweepsOfTheDeviceModel)
{
    const std::string dir = testsupport::ScratchDir("comparesweeps");
    testsupport::WriteFile(dir + "/a.ini", "[LOOPBACK]\nPACED=FALSE\n");
    testsupport::WriteFile(dir + "/b.ini", "[LOOPBACK]\nPACED=FALSE\nGAIN=-3.5\n");
    const std::string sweep = "sweep --steps 8 --to 20000 --settle 20 --level -6 --phase on --format json --settings ";
    for (const std::string name : {"golden", "again", "quieter"}) {
        const Result r = testsupport::RunMeasure(dir, sweep + dir + (name == "quieter" ? "/b.ini" : "/a.ini") + " > " +
                                                          dir + "/" + name + ".sonalyx.json");
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const std::string golden = dir + "/golden.sonalyx.json ";
    const Result same = testsupport::RunMeasure(dir, "compare " + golden + dir + "/again.sonalyx.json --tolerance 0.05");
    EXPECT_EQ(same.status, 0) << same.out << same.err;

    const Result quieter =
        testsupport::RunMeasure(dir, "compare --format json " + golden + dir + "/quieter.sonalyx.json");
    EXPECT_EQ(quieter.status, 1) << quieter.err; // the default tolerance is 1 dB
    const QJsonArray points = Json(quieter.out)["curves"][0]["points"].toArray();
    ASSERT_EQ(points.size(), 9);
    for (const QJsonValue &p : points) {
        EXPECT_NEAR(p["level_difference_db"].toDouble(), -3.0, 0.03) << p["x"].toDouble();
        EXPECT_NEAR(p["phase_difference_deg"].toDouble(), 0.0, 0.5) << p["x"].toDouble();
    }
    EXPECT_EQ(testsupport::RunMeasure(dir, "compare " + golden + dir + "/quieter.sonalyx.json --tolerance 3.1").status,
              0);
}

} // namespace
