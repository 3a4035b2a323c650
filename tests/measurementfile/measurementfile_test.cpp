// Result files: hand-written documents read as written, a document written
// and read back, and every kind of bad file refused with its message while
// the document handed in stays as it was.
#include "measurement/document/measurementfile.h"
#include "support/testsupport.h"

#include <QByteArray>
#include <QJsonDocument>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using namespace measure;

std::string Golden(const std::string &name)
{
    return std::string(std::getenv("SONALYX_SOURCE_DIR")) + "/tests/measurementfile/golden/" + name;
}

const ResultColumn &Column(const MeasurementDocument &d, const std::string &name)
{
    const ResultColumn *c = d.Results.Find(name);
    EXPECT_NE(c, nullptr) << name;
    static const ResultColumn none;
    return c ? *c : none;
}

TEST(MeasurementFile, HandWrittenSweepReadsAsWritten)
{
    MeasurementDocument d;
    FileError e;
    ASSERT_TRUE(ReadMeasurementFile(Golden("sweep.sonalyx.json"), d, e)) << FileErrorText(e, 'E');
    EXPECT_EQ(d.VersionMajor, 1);
    EXPECT_EQ(d.Kind, MeasurementKind::Sweep);
    EXPECT_EQ(d.Title, "Amplifier A, left");
    EXPECT_EQ(d.Remark, "after the new\ncapacitor");

    const MeasurementSettings &s = d.Settings;
    EXPECT_EQ(s.Program, "sonalyx-measure");
    EXPECT_EQ(s.Time, "2024-05-01T10:20:30Z");
    EXPECT_EQ(s.Command.value_or(""), "sweep");
    ASSERT_TRUE(s.Input && s.Calibration && s.Sweep && s.HaveCorrections);
    EXPECT_EQ(s.Input->RateHz, 48000);
    EXPECT_DOUBLE_EQ(s.Calibration->LevelFactor, 8.685889);
    ASSERT_TRUE(s.InputCorrection);
    EXPECT_TRUE(s.InputCorrection->Active);
    EXPECT_EQ(s.InputCorrection->Sha256, "ab12");
    EXPECT_FALSE(s.OutputCorrection);
    EXPECT_EQ(s.Sweep->Steps, 3);
    EXPECT_EQ(s.Sweep->Mode, "left-ref");
    EXPECT_DOUBLE_EQ(s.Sweep->LevelDb, -6.5);
    EXPECT_TRUE(s.Extra.isEmpty());
    EXPECT_FALSE(s.Spectrum || s.LogSweep || s.Generator);

    ASSERT_EQ(d.Curves.size(), 1u);
    const CurvePoints p = PointsOf(d, d.Curves[0]);
    ASSERT_EQ(p.X.size(), 4u);
    EXPECT_DOUBLE_EQ(p.X[3], 20000.0);
    EXPECT_DOUBLE_EQ(p.Y[0], -3.0103);
    EXPECT_DOUBLE_EQ(p.Y[3], -0.001);
    EXPECT_DOUBLE_EQ(p.Phase[3], -179.5);
    EXPECT_TRUE(std::isnan(p.Phase[2])); // null
    EXPECT_DOUBLE_EQ(Column(d, "overloads").Numbers[2], 1.0);
    ASSERT_TRUE(d.Limits);
    EXPECT_FALSE(d.Limits->Pass);
    EXPECT_EQ(d.Limits->Failures.size(), 1);
}

// A newer minor version is read; what this version does not know is kept
// and written back.
TEST(MeasurementFile, NewerMinorVersionReadsAndKeepsWhatItDoesNotKnow)
{
    MeasurementDocument d;
    FileError e;
    ASSERT_TRUE(ReadMeasurementFile(Golden("spectrum-newer-minor.sonalyx.json"), d, e)) << FileErrorText(e, 'E');
    EXPECT_EQ(d.VersionMinor, 7);
    EXPECT_EQ(d.Kind, MeasurementKind::Spectrum);
    EXPECT_FALSE(d.Settings.SettingsFile);
    EXPECT_EQ(d.Settings.Extra.value("display_colour").toInt(), 255);
    EXPECT_EQ(d.Settings.Extra.value("input").toObject().value("channels").toInt(), 2);
    ASSERT_TRUE(d.Settings.Generator);
    EXPECT_DOUBLE_EQ(d.Settings.Generator->PhaseRightDeg, 90.0);
    EXPECT_TRUE(std::isnan(Column(d, "right_dBV").Numbers[1])); // the key is missing in that row
    EXPECT_TRUE(Column(d, "note").Text);
    EXPECT_EQ(Column(d, "note").Texts[0], "dc");
    EXPECT_EQ(Column(d, "note").Texts[1], "");

    const QJsonObject settings =
        QJsonDocument::fromJson(DocumentToJson(d)).object().value("settings").toObject();
    EXPECT_EQ(settings.value("display_colour").toInt(), 255);
    EXPECT_EQ(settings.value("input").toObject().value("channels").toInt(), 2);
    EXPECT_EQ(settings.value("input").toObject().value("rate_hz").toInt(), 96000);
}

MeasurementDocument SampleDocument()
{
    MeasurementDocument d;
    d.Kind = MeasurementKind::LogSweep;
    d.Title = "Quote \" backslash \\ tab \t bell \x07 \u00e4\u00f6\u00fc \u00b0";
    d.Remark = "line 1\nline 2";
    MeasurementSettings &s = d.Settings;
    StampProgram(s, "sonalyx");
    s.Input = DeviceSetting{"Virtual loopback", 0, 44100, 24};
    s.Calibration = CalibrationSetting{775.0, 8.68588963806504, -0.125, 42};
    s.HaveCorrections = true;
    s.OutputCorrection = CorrectionSetting{"/tmp/out.cor", "ff00", false};
    s.Spectrum = SpectrumSetting{16384, "Rife-Vinc3", "dBu", 3, 2.2, 0};
    s.Analysis = AnalysisSetting{20, 20000, "A Weighting", "w.cor", "0a", true, true, 0, -60.0};
    s.LogSweep = LogSweepSetting{20, 20000, 3, -6, 0.25, 1.0 / 24, 0.5, "stereo", 4, 5, 300, 3, 48};
    s.Distortion = DistortionSetting{"level", -60, 0, 12, "lin", 1000, 0, 50, 20, 20000, "none"};
    s.Extra.insert("future", QJsonObject{{"a", 1}});

    ResultTable &t = d.Results;
    const std::size_t f = t.AddNumberColumn("frequency_hz", 3);
    const std::size_t l = t.AddNumberColumn("left_level_db"); // shortest form
    const std::size_t h = t.AddNumberColumn("left_h2_db", 2);
    const std::size_t n = t.AddTextColumn("note");
    const double levels[] = {1.0 / 3.0, 0.1 + 0.2, -1e-300, 123456789.125, -0.0};
    for (int i = 0; i < 5; ++i) {
        const std::size_t r = t.AddRow();
        t.Set(r, f, 20.0 * std::pow(10.0, i * 0.7) + 0.00049);
        t.Set(r, l, levels[i]);
        if (i != 2)
            t.Set(r, h, -80.0 + i / 7.0);
        t.Set(r, n, i == 4 ? std::string("end, \"quoted\"") : std::string());
    }
    d.Curves.push_back({"left level", "level", "left", 0, "frequency_hz", "Hz", "left_level_db", "dB", ""});
    d.Curves.push_back({"left H2", "harmonic", "left", 2, "frequency_hz", "Hz", "left_h2_db", "dB", ""});
    d.Readings.insert("latency_frames", 117);
    d.Impulses.push_back({"left", "impulse-left.wav", "beef", 44100.0, 65536, 2048});
    d.Limits = LimitsOutcome{"x.lim", "00", true, QJsonArray()};
    return d;
}

// Written and read back: equal to the printed precision, whatever the
// C library's locale.
TEST(MeasurementFile, WrittenAndReadBackEqualToPrintedPrecision)
{
    const char *old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // where the system has it
    const std::string file = testsupport::ScratchDir("roundtrip") + "/result" + kMeasurementFileSuffix;
    const MeasurementDocument w = SampleDocument();
    FileError e;
    const bool written = WriteMeasurementFile(file, w, e);
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_TRUE(written) << FileErrorText(e, 'E');

    MeasurementDocument r;
    ASSERT_TRUE(ReadMeasurementFile(file, r, e)) << FileErrorText(e, 'E');
    EXPECT_EQ(r.Kind, w.Kind);
    EXPECT_EQ(r.Title, w.Title);
    EXPECT_EQ(r.Remark, w.Remark);
    EXPECT_EQ(SettingsToJson(r.Settings), SettingsToJson(w.Settings));
    EXPECT_EQ(r.Settings.Analysis->FilterFile, "w.cor");
    EXPECT_TRUE(r.Settings.Analysis->FundamentalAuto);
    ASSERT_EQ(r.Results.Rows, 5u);
    for (std::size_t c = 0; c < w.Results.Columns.size(); ++c) {
        const ResultColumn &a = w.Results.Columns[c], &b = r.Results.Columns[c];
        EXPECT_EQ(a.Name, b.Name);
        EXPECT_EQ(a.Texts, b.Texts);
        for (std::size_t i = 0; i < a.Numbers.size(); ++i) {
            if (std::isnan(a.Numbers[i])) {
                EXPECT_TRUE(std::isnan(b.Numbers[i]));
            } else if (a.Decimals < 0) {
                EXPECT_EQ(a.Numbers[i], b.Numbers[i]) << a.Name << " " << i; // shortest text reads back exactly
            } else {
                const double printed = std::round(a.Numbers[i] * std::pow(10.0, a.Decimals)) / std::pow(10.0, a.Decimals);
                EXPECT_NEAR(b.Numbers[i], printed, 1e-9 * std::fabs(printed)) << a.Name << " " << i;
            }
        }
    }
    EXPECT_NEAR(Column(r, "frequency_hz").Numbers[0], 20.0, 1e-12); // 20.00049 printed with 3 decimals
    ASSERT_EQ(r.Curves.size(), 2u);
    EXPECT_EQ(r.Curves[1].Order, 2);
    EXPECT_EQ(r.Curves[1].Quantity, "harmonic");
    EXPECT_EQ(r.Readings.value("latency_frames").toInt(), 117);
    ASSERT_EQ(r.Impulses.size(), 1u);
    EXPECT_EQ(r.Impulses[0].ZeroFrame, 2048);
    EXPECT_EQ(r.Impulses[0].File, "impulse-left.wav");
    ASSERT_TRUE(r.Limits);
    EXPECT_TRUE(r.Limits->Pass);
    // The text itself: a point, never a comma, and no exponent for a whole 1e8.
    const std::string text = testsupport::ReadFile(file);
    EXPECT_NE(text.find("\"left_level_db\": 123456789.125"), std::string::npos);
    EXPECT_NE(text.find("\"frequency_hz\": 20,"), std::string::npos);
}

struct BadText {
    const char *what;
    std::string text;
    FileProblem problem;
    std::string field;
};

std::string Replaced(std::string text, const std::string &from, const std::string &to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(MeasurementFile, BadDocumentsAreRefusedWholeWithTheirReason)
{
    const std::string good = testsupport::ReadFile(Golden("sweep.sonalyx.json"));
    const std::vector<BadText> cases = {
        {"newer major", Replaced(good, "\"1.0\"", "\"2.0\""), FileProblem::NewerVersion, "version"},
        {"version without minor", Replaced(good, "\"1.0\"", "\"1\""), FileProblem::BadVersion, "version"},
        {"version as a number", Replaced(good, "\"1.0\"", "1.0"), FileProblem::WrongType, "version"},
        {"no version", Replaced(good, "\"version\": \"1.0\",", ""), FileProblem::NotDocument, ""},
        {"NaN", Replaced(good, "-3.0103", "NaN"), FileProblem::Syntax, ""},
        {"infinite", Replaced(good, "-3.0103", "-1e999"), FileProblem::Syntax, ""},
        {"unknown kind", Replaced(good, "\"sweep\",", "\"oscilloscope\","), FileProblem::UnknownKind, "kind"},
        {"no kind", Replaced(good, "\"kind\": \"sweep\",", ""), FileProblem::MissingField, "kind"},
        {"steps as text", Replaced(good, "\"steps\": 3", "\"steps\": \"3\""), FileProblem::WrongType,
         "settings.sweep.steps"},
        {"steps not whole", Replaced(good, "\"steps\": 3", "\"steps\": 3.5"), FileProblem::WrongType,
         "settings.sweep.steps"},
        {"active as text", Replaced(good, "\"active\": true", "\"active\": \"yes\""), FileProblem::WrongType,
         "settings.corrections.input.active"},
        {"no settle time", Replaced(good, ", \"settle_ms\": 100", ""), FileProblem::MissingField,
         "settings.sweep.settle_ms"},
        {"a row that is a number", Replaced(good, "{\"step\": 1,", "7, {\"step\": 1,"), FileProblem::WrongType,
         "results[1]"},
        {"a cell that is true", Replaced(good, "\"overloads\": 1", "\"overloads\": true"), FileProblem::WrongType,
         "results[2].overloads"},
        {"text among numbers", Replaced(good, "\"level_db\": -0.0434", "\"level_db\": \"-0.0434\""),
         FileProblem::WrongType, "results[1].level_db"},
        {"curve on a missing column", Replaced(good, "\"y\": \"level_db\"", "\"y\": \"gain_db\""),
         FileProblem::UnknownColumn, "curves[0].y"},
        {"phase in radians", Replaced(good, "\"phase_unit\": \"deg\"", "\"phase_unit\": \"rad\""),
         FileProblem::WrongType, "curves[0].phase_unit"},
        {"no curve", Replaced(good, "\"curves\": [", "\"curves\": [], \"was\": ["), FileProblem::NoCurves, "curves"},
        {"column twice", Replaced(good, "\"overloads\"]", "\"step\"]"), FileProblem::DuplicateName, "columns[4]"},
        {"an array", "[1, 2]", FileProblem::NotDocument, ""},
        {"empty", "  \n", FileProblem::NotDocument, ""},
    };
    for (const BadText &c : cases) {
        MeasurementDocument d;
        d.Title = "untouched";
        FileError e;
        EXPECT_FALSE(ParseMeasurementDocument(QByteArray::fromStdString(c.text), "x.sonalyx.json", d, e)) << c.what;
        EXPECT_EQ(e.Problem, c.problem) << c.what;
        EXPECT_EQ(e.Field, c.field) << c.what;
        EXPECT_EQ(d.Title, "untouched") << c.what;
        EXPECT_NE(FileErrorText(e, 'D'), FileErrorText(e, 'E')) << c.what;
        EXPECT_NE(FileErrorText(e, 'E').find("x.sonalyx.json"), std::string::npos) << c.what;
    }

    // Cut anywhere, the file is refused as not written completely.
    for (std::size_t cut = 1; cut + 2 < good.size(); cut += 37) {
        MeasurementDocument d;
        FileError e;
        EXPECT_FALSE(ParseMeasurementDocument(QByteArray::fromStdString(good.substr(0, cut)), "t", d, e)) << cut;
        EXPECT_EQ(e.Problem, FileProblem::Syntax) << cut;
        EXPECT_EQ(e.Syntax, SyntaxProblem::Truncated) << cut;
    }
}

TEST(MeasurementFile, MessagesNameTheProblemInBothLanguages)
{
    FileError e;
    e.File = "old.sonalyx.json";
    e.Problem = FileProblem::NewerVersion;
    e.Detail = "2.0";
    EXPECT_EQ(FileErrorText(e, 'E'), "The file old.sonalyx.json was written by a newer version of the program "
                                     "(format 2.0); this program reads format 1.x. Please update the program.");
    EXPECT_EQ(FileErrorText(e, 'D'), "Die Datei old.sonalyx.json wurde von einer neueren Programmversion "
                                     "geschrieben (Format 2.0); dieses Programm liest Format 1.x. Bitte das "
                                     "Programm aktualisieren.");
    MeasurementDocument d;
    ParseMeasurementDocument("{\"version\": \"1.0\", \"kind\": \"sweep\",\n  \"title\": \"x\",\n", "t.json", d, e);
    EXPECT_EQ(FileErrorText(e, 'E'), "The file t.json ends too early (line 3, column 1): it was probably not "
                                     "written completely.");
}

// Sizes: too many rows, ten million points, and files too large to read.
TEST(MeasurementFile, OversizedContentIsRefusedBeforeItIsBuilt)
{
    std::string rows = "{\"version\": \"1.0\", \"kind\": \"level\", \"settings\": {\"program\": \"p\", \"version\": "
                       "\"1\", \"time\": \"t\"}, \"columns\": [\"f\"], \"curves\": [], \"results\": [";
    for (std::size_t i = 0; i <= kMaxRows; ++i)
        rows += i ? ",{\"f\":1}" : "{\"f\":1}";
    rows += "]}";
    MeasurementDocument d;
    FileError e;
    EXPECT_FALSE(ParseMeasurementDocument(QByteArray::fromStdString(rows), "rows", d, e));
    EXPECT_EQ(e.Problem, FileProblem::TooManyRows);
    EXPECT_EQ(e.Number, static_cast<std::int64_t>(kMaxRows + 1));

    QByteArray points = "{\"version\": \"1.0\", \"results\": [";
    points.append(QByteArray("0,").repeated(10000000));
    points.append("0]}");
    EXPECT_FALSE(ParseMeasurementDocument(points, "points", d, e));
    EXPECT_EQ(e.Problem, FileProblem::Syntax);
    EXPECT_EQ(e.Syntax, SyntaxProblem::TooManyValues);

    namespace fs = std::filesystem;
    const std::string dir = testsupport::ScratchDir("files");
    const std::string big = dir + "/big.sonalyx.json";
    testsupport::WriteFile(big, "{");
    fs::resize_file(big, kMaxFileBytes + 1); // sparse: nothing is read
    EXPECT_FALSE(ReadMeasurementFile(big, d, e));
    EXPECT_EQ(e.Problem, FileProblem::TooLarge);
    EXPECT_NE(FileErrorText(e, 'E').find("33 MB, at most 32 MB"), std::string::npos);

    EXPECT_FALSE(ReadMeasurementFile(dir, d, e));
    EXPECT_EQ(e.Problem, FileProblem::NotRegular);
    ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
    EXPECT_FALSE(ReadMeasurementFile(dir + "/pipe", d, e)); // would block if it were opened
    EXPECT_EQ(e.Problem, FileProblem::NotRegular);
    EXPECT_FALSE(ReadMeasurementFile(dir + "/none.sonalyx.json", d, e));
    EXPECT_EQ(e.Problem, FileProblem::NotFound);
    EXPECT_FALSE(WriteMeasurementFile(dir + "/no/such/folder/x.sonalyx.json", SampleDocument(), e));
    EXPECT_EQ(e.Problem, FileProblem::NotWritable);
}

// The sound server's warnings travel with the result; a list of anything
// but objects is refused.
TEST(MeasurementFile, WarningsReadBackAndMustBeObjects)
{
    const QByteArray head = R"({"version": "1.0", "kind": "level", "settings": {"program": "p", "version": "1",
        "time": "t"}, "columns": [], "curves": [], "results": [], "warnings": )";
    MeasurementDocument d;
    FileError e;
    ASSERT_TRUE(ParseMeasurementDocument(head + R"([{"code": "two_clocks", "text": "W"}]})", "w", d, e));
    const QJsonObject written = QJsonDocument::fromJson(DocumentToJson(d)).object();
    EXPECT_EQ(written.value("warnings").toArray().at(0).toObject().value("code").toString(), "two_clocks");
    EXPECT_FALSE(ParseMeasurementDocument(head + R"(["two_clocks"]})", "w", d, e));
    EXPECT_EQ(e.Field, "warnings[0]");
    EXPECT_FALSE(ParseMeasurementDocument(head + "{}}", "w", d, e));
}

} // namespace
