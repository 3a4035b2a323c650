// Result files in the window program: a result saved from the File menu and
// opened again as an overlay (points, units and settings equal to their
// printed precision), the recent files in section [FILES]; files refused
// with a message and nothing shown (newer version, truncated, NaN, another
// kind); a file of sonalyx-measure shown with its own points; the reference
// mode on log sweeps of the virtual card: the device model against itself
// reads 0, against the ideal card the model's closed-form response.
#include "app/resultdocument.h"
#include "audio/audioengine.h"
#include "measurement/document/measurementfile.h"
#include "support/appwindows.h"
#include "support/cardmodel.h"
#include "support/measurecommand.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <cmath>
#include <complex>
#include <numbers>
#include <sstream>

namespace {

const std::string kLogSweepSections = "[MAIN]\nPAGE=1\n[WOB]\nFROM=100\nTO=10000\nREFMESS=0\nPHASE=TRUE\nPEGDIG=-6\n"
                                      "[LOGSWEEP]\nMETHOD=LOGSWEEP\nSECONDS=0.5\nHARMONICS=FALSE\n";

class ResultFiles : public testsupport::AppWindowsTest {
protected:
    // The test's own scratch folder (emptied on its first use only).
    std::string dir()
    {
        if (scratch_.empty())
            scratch_ = testsupport::ScratchDir(std::string("files-") +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        return scratch_;
    }
    std::string scratch_;
    void trigger(const char *action, const std::string &file)
    {
        nextFile = QString::fromStdString(file);
        child<QAction>(action)->trigger();
    }
    int overlays() { return app::Diagramm->Overlays().Count(); }
    // START on the sweep page, and the run over.
    void runSweep()
    {
        child<QPushButton>("wobbelnBut")->click();
        ASSERT_TRUE(waitUntil([] { return !app::MainForm->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested; },
                              30000));
        ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    }
    // The text export of the diagram: frequency and the values of each line.
    struct Line {
        double f;
        std::vector<double> v;
    };
    std::vector<Line> exported(const std::string &file)
    {
        EXPECT_EQ(app::Diagramm->SaveCurvesAsText(QString::fromStdString(file), QStringLiteral(";")), 0);
        std::vector<Line> lines;
        std::istringstream in(testsupport::ReadFile(file));
        std::string text;
        while (std::getline(in, text)) {
            Line l{};
            std::istringstream fields(text);
            std::string field;
            std::getline(fields, field, ';');
            // The file has a decimal point whatever the locale the test runs in.
            const auto number = [](const std::string &t) {
                bool ok = false;
                const double v = QString::fromStdString(t).trimmed().toDouble(&ok);
                return ok ? v : std::nan("");
            };
            l.f = number(field);
            while (std::getline(fields, field, ';'))
                l.v.push_back(number(field));
            lines.push_back(l);
        }
        return lines;
    }
};

} // namespace

TEST_F(ResultFiles, ASavedSpectrumOpensAsAnOverlayWithItsPointsUnitsAndSettingsAndIsRemembered)
{
    start("");
    TDiagramm *d = app::Diagramm;
    std::int32_t xmin = 10, xmax = 24000;
    float ymin = -100.0f, ymax = 0.0f;
    ASSERT_FALSE(d->SetupDiagram(QStringLiteral("amplifier before"), 100, xmin, xmax, ymin, ymax));
    std::vector<float> f, left, right;
    for (int i = 0; i <= 100; ++i) {
        f.push_back(static_cast<float>(10.0 * std::pow(2400.0, i / 100.0)));
        left.push_back(-50.0f + 0.137f * static_cast<float>(i));
        right.push_back(-60.25f - 0.011f * static_cast<float>(i));
        const float v[2] = {left.back(), right.back()};
        ASSERT_EQ(d->StorePoint(v, i, f.back()), 0);
    }
    d->SetCurvesVisible(true, true);
    d->SetStatusText(QStringLiteral("after the new capacitor"));
    const std::string base = dir() + "/before";
    trigger("SaveResult1", base);
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    const std::string file = base + ".sonalyx.json";

    measure::MeasurementDocument doc;
    measure::FileError error;
    ASSERT_TRUE(measure::ReadMeasurementFile(file, doc, error)) << measure::FileErrorText(error, 'E');
    EXPECT_EQ(doc.Kind, measure::MeasurementKind::Spectrum);
    EXPECT_EQ(doc.Title, "amplifier before");
    EXPECT_EQ(doc.Remark, "after the new capacitor");
    ASSERT_EQ(doc.Curves.size(), 2u);
    EXPECT_EQ(doc.Curves[0].YUnit, "dBFS");
    EXPECT_EQ(doc.Curves[1].Name, "right");
    ASSERT_TRUE(doc.Settings.Spectrum && doc.Settings.Input && doc.Settings.Calibration);
    EXPECT_EQ(doc.Settings.Spectrum->FftSize, app::MS.FftSize);
    EXPECT_EQ(doc.Settings.Spectrum->Averages, app::MS.Averages);
    EXPECT_NEAR(doc.Settings.Calibration->InputMvFullScale, app::MS.InputCalibration, 1e-3);
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    EXPECT_EQ(doc.Settings.Input->RateHz, rateIn);

    trigger("OpenOverlay1", file);
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    ASSERT_EQ(overlays(), 1);
    const display::Overlay &o = d->Overlays().At(0);
    EXPECT_EQ(o.Name, "amplifier before");
    ASSERT_EQ(o.Curves.size(), 2u);
    ASSERT_EQ(o.Curves[0].X.size(), f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        EXPECT_NEAR(o.Curves[0].X[i], f[i], 1e-3 * f[i]);
        EXPECT_NEAR(o.Curves[0].Y[i], left[i], 1e-4);
        EXPECT_NEAR(o.Curves[1].Y[i], right[i], 1e-4);
    }
    // The copy carries the overlay with its legend: the overlay lies under
    // the live curves it equals, so its colour comes from the legend.
    child<QAction>("EditCopyItem")->trigger();
    const QImage copy = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(copy.isNull());
    const QRgb colour = display::ColourFromBgr(o.Colour).rgb();
    int pixels = 0;
    for (int y = 0; y < copy.height(); ++y)
        for (int x = 0; x < copy.width(); ++x)
            pixels += copy.pixel(x, y) == colour;
    EXPECT_GT(pixels, 10);
    d->SetOverlayVisible(0, false);
    child<QAction>("EditCopyItem")->trigger();
    const QImage hidden = QGuiApplication::clipboard()->image();
    int hiddenPixels = 0;
    for (int y = 0; y < hidden.height(); ++y)
        for (int x = 0; x < hidden.width(); ++x)
            hiddenPixels += hidden.pixel(x, y) == colour;
    EXPECT_EQ(hiddenPixels, 0);
    d->SetOverlayVisible(0, true);

    QMenu *recent = child<QMenu>("RecentFiles1");
    ASSERT_EQ(recent->actions().size(), 1);
    EXPECT_NE(recent->actions()[0]->text().indexOf("before.sonalyx.json"), -1);

    // The recent file opens again; the settings keep it and its folder.
    recent->actions()[0]->trigger();
    EXPECT_EQ(overlays(), 2);
    const std::string ini = settings;
    stop();
    const std::string text = testsupport::ReadFile(ini);
    EXPECT_NE(text.find("[FILES]"), std::string::npos);
    EXPECT_NE(text.find("RECENT1=" + file), std::string::npos) << text;
    EXPECT_NE(text.find("LASTFOLDER=" + dir()), std::string::npos) << text;
}

TEST_F(ResultFiles, ANewerTruncatedNanOrOtherKindFileIsRefusedWithAMessageAndShowsNothing)
{
    start("");
    measure::MeasurementDocument doc;
    doc.Kind = measure::MeasurementKind::Spectrum;
    doc.Title = "unit 7";
    const std::size_t fc = doc.Results.AddNumberColumn("frequency_hz");
    const std::size_t lc = doc.Results.AddNumberColumn("left_dBFS");
    doc.Curves.push_back({"left", "level", "left", 0, "frequency_hz", "Hz", "left_dBFS", "dBFS", ""});
    for (int i = 1; i <= 50; ++i) {
        const std::size_t row = doc.Results.AddRow();
        doc.Results.Set(row, fc, 100.0 * i);
        doc.Results.Set(row, lc, -40.5 + 0.25 * i);
    }
    const QByteArray good = measure::DocumentToJson(doc);
    QString text = QString::fromUtf8(good);
    const qsizetype version = text.indexOf("\"version\"");
    ASSERT_GE(version, 0);
    QString newer = text;
    newer.replace(newer.indexOf("\"1.0\"", version), 5, "\"2.0\"");
    QString nan = text;
    const QRegularExpression firstLevel("(\"left_dBFS\"\\s*:\\s*)-?[0-9.]+");
    ASSERT_TRUE(firstLevel.match(nan, nan.indexOf("\"results\"")).hasMatch());
    {
        const QRegularExpressionMatch m = firstLevel.match(nan, nan.indexOf("\"results\""));
        nan.replace(m.capturedStart(), m.capturedLength(), m.captured(1) + "NaN");
    }
    measure::MeasurementDocument sweep = doc;
    sweep.Kind = measure::MeasurementKind::Sweep;
    const std::pair<const char *, QByteArray> bad[] = {
        {"newer", newer.toUtf8()},
        {"truncated", good.left(good.size() / 2)},
        {"nan", nan.toUtf8()},
        {"otherkind", measure::DocumentToJson(sweep)},
        {"missing", QByteArray()},
    };
    for (const auto &[name, bytes] : bad) {
        const std::string file = dir() + "/" + name + ".sonalyx.json";
        if (std::string(name) != "missing")
            testsupport::WriteFile(file, bytes.toStdString());
        messages.clear();
        trigger("OpenOverlay1", file);
        ASSERT_EQ(messages.size(), 1u) << name;
        EXPECT_FALSE(messages[0].text.isEmpty());
        EXPECT_EQ(overlays(), 0) << name;
        EXPECT_TRUE(app::MainForm->Recent().Files.empty()) << name;
    }
    EXPECT_NE(messages[0].text.indexOf("missing"), -1) << messages[0].text.toStdString();
    // The good file goes in.
    const std::string file = dir() + "/good.sonalyx.json";
    testsupport::WriteFile(file, good.toStdString());
    messages.clear();
    trigger("OpenOverlay1", file);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(overlays(), 1);
}

TEST_F(ResultFiles, AFileOfTheCommandLineShowsItsOwnPoints)
{
    const std::string ini = dir() + "/cli.ini";
    testsupport::WriteFile(ini, "[LOOPBACK]\nPACED=FALSE\n");
    const testsupport::MeasureResult r = testsupport::RunMeasure(
        dir(), "logsweep --settings " + ini + " --from 100 --to 10000 --seconds 0.5 --harmonics 1 --format json");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string file = dir() + "/cli.sonalyx.json";
    testsupport::WriteFile(file, r.out);
    // The points as the command line printed them, read here as plain JSON.
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    const QJsonArray rows = json["results"].toArray();
    ASSERT_GT(rows.size(), 200);

    start("", kLogSweepSections);
    trigger("OpenOverlay1", file);
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    ASSERT_EQ(overlays(), 1);
    const display::OverlayCurve &c = app::Diagramm->Overlays().At(0).Curves.at(0);
    ASSERT_EQ(c.X.size(), static_cast<std::size_t>(rows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QJsonObject row = rows[i].toObject();
        EXPECT_DOUBLE_EQ(c.X[static_cast<std::size_t>(i)], row["frequency_hz"].toDouble());
        if (row["level_db"].isDouble()) {
            EXPECT_DOUBLE_EQ(c.Y[static_cast<std::size_t>(i)], row["level_db"].toDouble());
        }
        if (row["phase_deg"].isDouble()) {
            EXPECT_DOUBLE_EQ(c.Phase.at(static_cast<std::size_t>(i)), row["phase_deg"].toDouble());
        }
    }
    // A spectrum page refuses it.
    stop();
    start("");
    trigger("OpenOverlay1", file);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(overlays(), 0);
}

TEST_F(ResultFiles, TheDeviceModelAgainstItselfReadsZeroAndAgainstTheIdealCardItsClosedForm)
{
    const std::string model = "PACED=TRUE\n";
    const std::string ideal = testsupport::kIdealCard + "PACED=TRUE\n";
    // The ideal card's sweep, stored.
    start(ideal, kLogSweepSections);
    runSweep();
    trigger("SaveResult1", dir() + "/ideal.sonalyx.json");
    ASSERT_TRUE(messages.empty());
    stop();

    // The model's sweep, stored, then measured again and compared with it.
    start(model, kLogSweepSections);
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    runSweep();
    trigger("SaveResult1", dir() + "/model.sonalyx.json");
    runSweep();
    trigger("OpenOverlay1", dir() + "/model.sonalyx.json");
    trigger("OpenOverlay1", dir() + "/ideal.sonalyx.json");
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    ASSERT_EQ(overlays(), 2);

    ASSERT_TRUE(app::Diagramm->SetReference(0));
    int checked = 0;
    for (const Line &l : exported(dir() + "/self.txt")) {
        if (l.f < 200.0 || l.f > 5000.0)
            continue;
        ASSERT_EQ(l.v.size(), 2u);
        EXPECT_NEAR(l.v[0], 0.0, 0.05) << l.f;
        EXPECT_NEAR(l.v[1], 0.0, 0.5) << l.f;
        ++checked;
    }
    EXPECT_GT(checked, 150);

    ASSERT_TRUE(app::Diagramm->SetReference(1));
    checked = 0;
    for (const Line &l : exported(dir() + "/ideal.txt")) {
        if (l.f < 200.0 || l.f > 5000.0)
            continue;
        const std::complex<double> h = testsupport::DeviceUnderTest(l.f, rateIn);
        ASSERT_EQ(l.v.size(), 2u);
        EXPECT_NEAR(l.v[0], 20.0 * std::log10(std::abs(h)), 0.05) << l.f;
        EXPECT_NEAR(l.v[1], std::arg(h) * 180.0 / std::numbers::pi, 0.5) << l.f;
        ++checked;
    }
    EXPECT_GT(checked, 150);
}
