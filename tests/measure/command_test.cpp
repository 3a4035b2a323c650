// sonalyx-measure run as a program on a scratch settings file: the sweep of
// the virtual card's device under test against limits drawn around its
// analytic response, the analyser's readings against closed forms, the JSON and CSV forms, the exit statuses, a settings
// file that stays untouched; and the limits file's rules.
#include "measurement/limits.h"
#include "platform/numbers.h"
#include "support/cardmodel.h"
#include "support/spectrumref.h"
#include "support/measurecommand.h"
#include "support/testsupport.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Result = testsupport::MeasureResult;

Result Measure(const std::string &dir, const std::string &arguments)
{
    return testsupport::RunMeasure(dir, arguments);
}

double ModelDb(double f) { return testsupport::Db(std::abs(testsupport::DeviceUnderTest(f))); }

// Rows at the frequencies of a 10-step log sweep from 20 Hz to 20 kHz.
std::string LimitsAroundModel(double below, double above)
{
    std::string text = "# frequency lower upper\n";
    for (int i = 0; i <= 10; ++i) {
        const double f = std::exp(std::log(20.0) + i * std::log(1000.0) / 10.0);
        text += platform::FormatNumber(f, 'f', 4) + " " + platform::FormatNumber(ModelDb(f) - below, 'f', 3) + " " +
                platform::FormatNumber(ModelDb(f) + above, 'f', 3) + "\n";
    }
    return text;
}

TEST(MeasureCommand, SweepOfTheDeviceModelAgainstLimitsAsJson)
{
    const std::string dir = testsupport::ScratchDir("sweep");
    const std::string ini = dir + "/sonmain.ini", cor = dir + "/flat.cor";
    testsupport::WriteFile(cor, "1 0\n100000 0\n");
    const std::string settings = "[LOOPBACK]\nPACED=FALSE\n[MAIN]\nINCONAME=" + cor + "\nINCOAKT=TRUE\n";
    testsupport::WriteFile(ini, settings);
    testsupport::WriteFile(dir + "/pass.lim", LimitsAroundModel(0.4, 0.4));
    testsupport::WriteFile(dir + "/tight.lim", LimitsAroundModel(0.4, -0.1)); // upper 0.5 dB lower
    const std::string sweep = "sweep --settings " + ini +
                              " --device \"Virtual loopback 1\" --steps 10 --to 20000 --settle 20 --format json";

    const Result pass = Measure(dir, sweep + " --limits " + dir + "/pass.lim");
    ASSERT_EQ(pass.status, 0) << pass.err;
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(pass.out)).object();
    const QJsonObject s = doc["settings"].toObject();
    EXPECT_EQ(s["input"]["device"].toString(), "Virtual loopback 1");
    EXPECT_EQ(s["output"]["rate_hz"].toInt(), 44100);
    EXPECT_EQ(s["input"]["bits"].toInt(), 16);
    EXPECT_EQ(s["sweep"]["steps"].toInt(), 10);
    EXPECT_EQ(s["sweep"]["mode"].toString(), "left-ref");
    EXPECT_NEAR(s["calibration"]["input_mv_full_scale"].toDouble(), 497.0, 1e-3);
    EXPECT_NEAR(s["calibration"]["level_offset_db"].toDouble(), 12.6, 1e-5);
    EXPECT_EQ(s["corrections"]["input"]["sha256"].toString(),
              QCryptographicHash::hash("1 0\n100000 0\n", QCryptographicHash::Sha256).toHex());
    EXPECT_TRUE(s["corrections"]["input"]["active"].toBool());
    EXPECT_EQ(s["version"].toString(), "1.4");
    EXPECT_FALSE(s["time"].toString().isEmpty());
    EXPECT_TRUE(doc["limits"]["pass"].toBool());
    const QJsonArray results = doc["results"].toArray();
    ASSERT_EQ(results.size(), 11);
    for (const QJsonValue &v : results) {
        const double f = v["frequency_hz"].toDouble();
        EXPECT_NEAR(v["level_db"].toDouble(), ModelDb(f), 0.02) << f;
    }

    const Result fail = Measure(dir, sweep + " --limits " + dir + "/tight.lim");
    EXPECT_EQ(fail.status, 1) << fail.err;
    const QJsonObject failed = QJsonDocument::fromJson(QByteArray::fromStdString(fail.out)).object();
    EXPECT_FALSE(failed["limits"]["pass"].toBool());
    EXPECT_FALSE(failed["limits"]["failures"].toArray().isEmpty());
    // Whatever the engine would write back stays out of the user's file.
    EXPECT_EQ(testsupport::ReadFile(ini), settings);
}

TEST(MeasureCommand, CsvColumnsAndErrorsWithTheirReasons)
{
    const std::string dir = testsupport::ScratchDir("csv");
    const std::string ini = dir + "/sonmain.ini";
    testsupport::WriteFile(ini, "[LOOPBACK]\nPACED=FALSE\nSIGNAL=SINE\nFORMATS=16:44100,16:48000\n");
    const Result spectrum = Measure(dir, "spectrum --settings " + ini + " --fft 2048 --rate 48000");
    ASSERT_EQ(spectrum.status, 0) << spectrum.err;
    const QStringList lines = QString::fromStdString(spectrum.out).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1 + 1024);
    EXPECT_EQ(lines[0], "frequency_hz,left_dBFS,right_dBFS,overloads");
    EXPECT_EQ(lines[1 + 512].section(',', 0, 0).toDouble(), 12000.0); // bin 512 of 2048 at 48 kHz
    for (const QString &line : lines.mid(1)) {
        const QStringList fields = line.split(',');
        ASSERT_EQ(fields.size(), 4) << line.toStdString();
        bool ok = true;
        for (const QString &x : fields)
            x.toDouble(&ok);
        EXPECT_TRUE(ok) << line.toStdString();
    }
    const std::pair<std::string, std::string> errors[] = {
        {"sweep --frobnicate", "frobnicate"},
        {"thdn --settings " + ini + " --input \"Virtual loopback 7\"", "Virtual loopback 7"},
        {"level --settings " + ini + " --rate 96000", "does not take 16 bits at 96000 Hz"},
        {"sweep --settings " + ini + " --to 30000", "above half the sample rate"},
        {"spectrum --settings " + dir + "/missing.ini", "not found"},
        {"level --settings " + ini + " --filter \"B Weighting\"", "unknown filter"},
    };
    for (const auto &[arguments, reason] : errors) {
        const Result r = Measure(dir, arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.err.find(reason), std::string::npos) << arguments << ": " << r.err;
    }
    // A card that vanishes in the middle of the sweep's third capture.
    testsupport::WriteFile(ini, "[LOOPBACK]\nPACED=FALSE\nVANISH=2\n");
    const Result gone = Measure(dir, "sweep --settings " + ini + " --settle 0");
    EXPECT_EQ(gone.status, 2);
    EXPECT_NE(gone.err.find("disappeared"), std::string::npos) << gone.err;
}

// A status and a text that standard error holds; the JSON on standard output.
void Expect(const Result &r, int status, const std::string &inErr, const std::string &what)
{
    EXPECT_EQ(r.status, status) << what << ": " << r.err;
    EXPECT_NE(r.err.find(inErr), std::string::npos) << what << ": " << r.err;
}
QJsonObject Json(const Result &r) { return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object(); }
QJsonObject Settings(const Result &r, const char *part) { return Json(r)["settings"].toObject()[part].toObject(); }

// The command line's analyser round against closed forms, on the ideal
// virtual card playing a -6 dBFS sine on bin 93 of 4096 points (bin 372 of
// 16384) at 44100 Hz, window Rife-Vincent 3:
// - spectrum: with a calibration under which a full-scale sine on a bin
//   centre reads 0 dB (factor 20/ln 10, offset -20·log10(window mean / 2)),
//   the sine's bin reads -6 dB and is the largest;
// - level: the band level of a sine of peak A is 20·log10(A·rms/2) + 8.17 dB;
// - thdn: the device model's second and third harmonics, each h = -50 dB
//   below the sine and nothing else, give 10·log10(2h²/(1 + 2h²)) on the
//   right input, while the left input (a straight wire) stays far below.
TEST(MeasureCommand, ReadingsOfASineAndOfTheDeviceModelMatchTheirClosedForms)
{
    const std::string dir = testsupport::ScratchDir("closedforms"), ini = dir + "/sonmain.ini";
    const double peak = std::pow(10.0, -6.0 / 20.0);
    const double windowMean = 0.2734375 * static_cast<float>(std::pow(10.0, 5.0 / 20.0));
    const std::string card = "[LOOPBACK]\nPACED=FALSE\nGAIN=0\nHIGHPASS=0\nLOWPASS=0\nNOISE=-200\n"
                             "SIGNAL=SINE\nSIGFREQ=1001.2939453125\nSIGLEVEL=-6\n";
    const std::string offset = platform::FormatNumber(-20.0 * std::log10(0.5 * windowMean), 'f', 6);
    const std::string calibration = "[VOLUME]\nPEGFAK=8.685889638\nPEGOFS=" + offset + "\n";
    testsupport::WriteFile(ini, card + "DISTORTION=-200\n" + calibration);
    const std::string s = " --settings " + ini + " --window rife-vinc3 --unit dBFS";

    const Result spectrum = Measure(dir, "spectrum --fft 4096" + s);
    ASSERT_EQ(spectrum.status, 0) << spectrum.err;
    const QStringList rows = QString::fromStdString(spectrum.out).trimmed().split('\n').mid(1);
    ASSERT_EQ(rows.size(), 2048);
    int loudest = 1;
    for (int i = 1; i < rows.size(); ++i)
        if (rows[i].section(',', 2, 2).toDouble() > rows[loudest].section(',', 2, 2).toDouble())
            loudest = i;
    EXPECT_EQ(loudest, 93);
    EXPECT_NEAR(rows[93].section(',', 0, 0).toDouble(), 1001.294, 1e-3);
    EXPECT_NEAR(rows[93].section(',', 1, 1).toDouble(), -6.0, 0.01);
    EXPECT_NEAR(rows[93].section(',', 2, 2).toDouble(), -6.0, 0.01);

    const Result level = Measure(dir, "level --fft 16384 --format json" + s);
    ASSERT_EQ(level.status, 0) << level.err;
    for (const QJsonValue &v : Json(level)["results"].toArray())
        EXPECT_NEAR(v["level_dBFS"].toDouble(), testsupport::Db(peak * testsupport::DefaultWindowRms() / 2.0) + 8.17,
                    0.01);

    testsupport::WriteFile(ini, card + "DISTORTION=-50\n" + calibration);
    const Result thdn = Measure(dir, "thdn --fft 16384 --format json" + s);
    ASSERT_EQ(thdn.status, 0) << thdn.err;
    const QJsonArray results = Json(thdn)["results"].toArray();
    ASSERT_EQ(results.size(), 2);
    const double h2 = std::pow(10.0, -50.0 / 10.0);
    EXPECT_NEAR(results[1]["thdn_db"].toDouble(), testsupport::DbPower(2 * h2 / (1 + 2 * h2)), 0.1);
    EXPECT_LT(results[0]["thdn_db"].toDouble(), -80.0);
    for (const QJsonValue &v : results)
        EXPECT_NEAR(v["fundamental_hz"].toDouble(), 1001.29, 44100.0 / 16384); // within a bin
}

TEST(MeasureCommand, ADeadInputHasNoThdNAndFailsItsLimit)
{
    const std::string dir = testsupport::ScratchDir("dead"), ini = dir + "/sonmain.ini";
    testsupport::WriteFile(dir + "/thdn.lim", "THDN_MAX -60\n");
    for (const std::string noise : {"-100", "-200"}) { // the test signal off: noise, then nothing at all
        testsupport::WriteFile(ini, "[LOOPBACK]\nPACED=FALSE\nSIGNAL=OFF\nNOISE=" + noise + "\n");
        const Result r =
            Measure(dir, "thdn --fft 2048 --format json --settings " + ini + " --limits " + dir + "/thdn.lim");
        Expect(r, 1, "left channel: no fundamental", noise);
        for (const QJsonValue &v : Json(r)["results"].toArray())
            EXPECT_TRUE(v["thdn_db"].isNull() && v["fundamental_hz"].isNull()) << noise;
        EXPECT_NE(Measure(dir, "thdn --fft 2048 --settings " + ini).out.find("\nleft,,,0\n"), std::string::npos);
    }
}

TEST(MeasureCommand, FailedWritesUnusedCorrectionsAndLimitsTheCommandCannotCheck)
{
    const std::string dir = testsupport::ScratchDir("unused"), s = " --settings " + dir + "/sonmain.ini";
    testsupport::WriteFile(dir + "/bad.cor", "100 0\nnot a line\n");
    testsupport::WriteFile(dir + "/sonmain.ini", "[LOOPBACK]\nPACED=FALSE\n[MAIN]\nINCONAME=" + dir +
                                                     "/deleted.cor\nINCOAKT=FALSE\nOUTCONAME=" + dir +
                                                     "/bad.cor\nOUTCOAKT=TRUE\n");
    // the reason is the system's text, in the system's language
    for (const std::string command : {"spectrum --fft 2048", "thdn --format json", "devices", "thdn --help"})
        Expect(Measure(dir, command + s + " >/dev/full"), 2, "could not be written to standard output: ", command);
    // a correction that is off, or that the command does not apply, is not read
    Expect(Measure(dir, "devices" + s), 0, "deleted.cor not found", "devices");
    EXPECT_EQ(Measure(dir, "level --fft 2048" + s).status, 0);
    Expect(Measure(dir, "sweep --steps 1 --settle 0" + s), 2, "bad.cor", "sweep");
    Expect(Measure(dir, "level --fft 2048 --corrections on" + s), 2, "deleted.cor not found", "on");

    testsupport::WriteFile(dir + "/thdn.lim", "THDN_MAX -40\n");
    testsupport::WriteFile(dir + "/curve.lim", "100 -1 1\n1000 -1 1\n");
    testsupport::WriteFile(dir + "/mixed.lim", "THDN_MAX -40\n100 -1 1\n1000 -1 1\nLEVEL_MAX 0\n");
    const std::string l = " --settings " + dir + "/plain.ini --limits " + dir;
    testsupport::WriteFile(dir + "/plain.ini", "[LOOPBACK]\nPACED=FALSE\n");
    for (const std::string &command : {"sweep --steps 1" + l + "/thdn.lim", "thdn --fft 2048" + l + "/curve.lim",
                                       "spectrum --fft 2048" + l + "/thdn.lim"})
        Expect(Measure(dir, command), 2, "holds nothing this command checks", command);
    const Result mixed = Measure(dir, "thdn --fft 2048" + l + "/mixed.lim"); // the sine's THD+N is far below -40
    Expect(mixed, 0, "lines 2 to 3 (2 curve rows) not checked", "mixed");
    EXPECT_NE(mixed.err.find("line 4 (LEVEL_MAX) not checked"), std::string::npos) << mixed.err;
}

TEST(MeasureCommand, StepsLevelsSigtermOptionsOverloadsAndTheBuildOfBothPrograms)
{
    const std::string dir = testsupport::ScratchDir("steps"), s = " --settings " + dir + "/sonmain.ini";
    testsupport::WriteFile(dir + "/sonmain.ini", "[LOOPBACK]\nPACED=TRUE\n[WOB]\nSTEPS=2147483647\nPEGDIG=12\n");
    // A stored step count near 2^31 is the dialog's largest, and the run
    // answers SIGTERM (passed on by timeout, which kills a program that
    // does not end 35 s later: status 137).
    Result term;
    term.status = testsupport::RunShell("timeout --preserve-status -k 5 30 " + std::string(SONALYX_MEASURE_EXE) +
                                            " sweep --settle 50" + s + " 2>" + dir + "/term.txt >/dev/null & pid=$!; "
                                            "sleep 4; kill -TERM $pid; wait $pid",
                                        term.out);
    term.err = testsupport::ReadFile(dir + "/term.txt");
    Expect(term, 2, "interrupted", "SIGTERM");
    Expect(Measure(dir, "sweep --steps 1001" + s), 2, "--steps must be a whole number from 1 to 1000", "steps");
    // a stored level above full scale plays at 0 dB; a level is taken only as played
    const Result stored = Measure(dir, "sweep --steps 1 --settle 0 --format json" + s);
    EXPECT_EQ(Settings(stored, "sweep")["level_db"].toDouble(-1.0), 0.0) << stored.err;
    Expect(Measure(dir, "sweep --steps 1 --level -6.5" + s), 2, "--level must be a whole number from -200 to 0",
           "level");
    // The sweep takes the setup dialog's ranges: what its OK would repair is
    // refused, typed or stored.
    Expect(Measure(dir, "sweep --from 100000" + s), 2, "--from must be a whole number from 1 to 55100", "from");
    Expect(Measure(dir, "sweep --to 60000" + s), 2, "--to must be a whole number from 2 to 55200", "to");
    Expect(Measure(dir, "sweep --from 20000 --to 100" + s), 2,
           "the stop frequency 100 Hz is not above the start frequency 20000 Hz", "range");
    testsupport::WriteFile(dir + "/wide.ini", "[LOOPBACK]\nPACED=FALSE\n[WOB]\nFROM=86000\nTO=92000\n");
    Expect(Measure(dir, "sweep --steps 1 --settings " + dir + "/wide.ini"), 2,
           "the start frequency 86000 Hz lies outside 1 to 55100 Hz", "stored range");
    const Result generate = Measure(dir, "generate --duration 0.1 --frequency 1000.1 --format json" + s);
    EXPECT_EQ(generate.err.find("QCommandLineParser"), std::string::npos) << generate.err;
    EXPECT_EQ(Settings(generate, "generator")["frequency_hz"].toDouble(), 1000.1); // as typed
    const Result none = Measure(dir, "");
    Expect(none, 2, "Usage: sonalyx-measure COMMAND", "no command");
    EXPECT_TRUE(none.out.empty());
    EXPECT_EQ(Measure(dir, "thdn --help").out.rfind("Usage: sonalyx-measure thdn [options]\n", 0), 0u);

    // a card whose device under test amplifies a full-scale sine by 6 dB clips
    testsupport::WriteFile(dir + "/clip.ini", "[LOOPBACK]\nPACED=FALSE\nSIGLEVEL=0\nGAIN=6\n");
    const Result clipped = Measure(dir, "level --fft 2048 --format json --settings " + dir + "/clip.ini");
    Expect(clipped, 0, "clipped", "overloads");
    for (const QJsonValue &v : Json(clipped)["results"].toArray())
        EXPECT_GT(v["overloads"].toInt(), 0);

    // the README's "make run" builds the command-line program as well
    std::string plan;
    testsupport::RunShell("make -n -C " + std::string(std::getenv("SONALYX_SOURCE_DIR")) + " build BUILD_DIR=" + dir,
                          plan);
    EXPECT_NE(plan.find("sonalyx-measure"), std::string::npos) << plan;
}

// Files and names from outside: a limits, settings or filter file that is no
// regular file, or is too large, ends the command with status 2 and a message
// instead of being read without end or waited on; a file name that is not
// UTF-8 is found; what a file holds reaches the terminal escaped.
TEST(MeasureCommand, UntrustedFilesEndWithAMessageNeverACrash)
{
    const std::string dir = testsupport::ScratchDir("untrusted");
    const std::string ini = dir + "/sonmain.ini";
    testsupport::WriteFile(ini, "[LOOPBACK]\nPACED=FALSE\n");
    ASSERT_EQ(::mkfifo((dir + "/fifo.lim").c_str(), 0600), 0);
    testsupport::WriteFile(dir + "/big.lim", std::string((4u << 20) + 1, '#'));
    testsupport::WriteFile(dir + "/escape.lim", "100 \x1b[2J 0\n");
    testsupport::WriteFile(dir + "/comma.cor", "20 1\n1,5 2\n1000 3\n");
    const std::string level = "level --settings " + ini + " ";
    const std::pair<std::string, std::string> refused[] = {
        {level + "--limits /dev/zero", "/dev/zero: not a regular file"},
        {level + "--limits " + dir + "/fifo.lim", "fifo.lim: not a regular file"},
        {level + "--limits " + dir + "/big.lim", "file too large (at most 4 MiB)"},
        {"level --settings /dev/zero", "/dev/zero: not a regular file"},
        {level + "--filter-file /dev/zero", "/dev/zero: not a regular file"},
        {level + "--limits " + dir + "/escape.lim", "line 1: \"\\x1B[2J\" is not a level in dB"},
        {level + "--filter-file " + dir + "/comma.cor", "comma.cor: Line error"}, // in English, as the rest
    };
    for (const auto &[arguments, reason] : refused) {
        const Result r = Measure(dir, arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.err.find(reason), std::string::npos) << arguments << ": " << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << arguments;
    }

    // "café.lim" in Latin-1: the bytes of its name, not a text.
    testsupport::WriteFile(dir + "/caf\xe9.lim", "LEVEL_MIN -300\n");
    const Result latin = Measure(dir, level + "--limits \"$(printf '%s/caf\\351.lim' '" + dir + "')\"");
    EXPECT_EQ(latin.status, 0) << latin.err;
}

TEST(Limits, RowsInterpolateOverLogFrequencyAndBadLinesAreNamed)
{
    measure::Limits l;
    std::string error;
    ASSERT_TRUE(l.Parse("# curve\n100 -1 1\n10000, -3, 3\n20000 - 4\nTHDN_MAX -60\n", error)) << error;
    EXPECT_NEAR(*l.BoundsAt(1000.0).Lower, -2.0, 1e-9); // halfway on a log scale
    EXPECT_NEAR(*l.BoundsAt(1000.0).Upper, 2.0, 1e-9);
    EXPECT_FALSE(l.BoundsAt(15000.0).Lower.has_value()); // one row without a lower bound
    EXPECT_NEAR(*l.BoundsAt(10000.0).Lower, -3.0, 1e-9);
    EXPECT_TRUE(l.CurvePasses(50.0, 99.0) && l.CurvePasses(30000.0, -99.0)); // outside the span
    EXPECT_FALSE(l.CurvePasses(1000.0, 2.1));
    EXPECT_TRUE(l.ThdNPasses(-60.0) && !l.ThdNPasses(-59.9));
    for (const char *bad : {"100 -1 1\n50 -1 1\n", "100 1 -1\n", "100 x 1\n", "THDN_MAX\n", "# nothing\n"})
        EXPECT_FALSE(l.Parse(bad, error)) << bad;
    l.Parse("100 -1 1\n\n100 x 1\n", error);
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
}

} // namespace
