// The results menus: print to PDF (rasterised by poppler's pdftoppm, checked
// against the hand-computed print area) with its report lines, copy, remark, options, scale.
#include "app/diagramprint.h"
#include "audio/audioengine.h"
#include "display/diagramoptionsdialog.h"
#include "display/diagramwindow.h"
#include "display/scaledialog.h"
#include "widgets/printdialog.h"
#include "support/appwindows.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {

class ResultsTest : public testsupport::AppWindowsTest {
protected:
    void SetUp() override
    {
        AppWindowsTest::SetUp();
        start("");
        d = app::Diagramm;
        std::int32_t xmin = 10, xmax = 24000;
        float ymin = -100.0f, ymax = 0.0f;
        ASSERT_FALSE(d->SetupDiagram(QStringLiteral("print test"), 100, xmin, xmax, ymin, ymax));
        for (int i = 0; i <= 100; ++i) {
            const float v[2] = {-50.0f, -50.0f};
            d->StorePoint(v, i, 10.0f * std::pow(2400.0f, i / 100.0f));
        }
        display::DiagramOptions o = d->Options();
        o.ColLine1 = 0xF01408; // no 8-bit palette holds it: the print must be full colour
        d->ApplyOptions(o);
    }
    void TearDown() override
    {
        platform::SetPrintDialogHandler({});
        AppWindowsTest::TearDown();
    }
    // Answers the print dialog with a portrait A4 PDF at 600 dpi; remembers
    // where the printable page lies on the paper, in dots.
    void PrintTo(const QString &file, bool confirm = true)
    {
        platform::SetPrintDialogHandler([=, this](platform::PrintDialogKind, QPrinter &p) {
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(file);
            p.setResolution(600);
            p.setPageSize(QPageSize(QPageSize::A4));
            p.setPageOrientation(QPageLayout::Portrait);
            page = p.pageLayout().paintRectPixels(600);
            return confirm;
        });
        child<QAction>("FilePrintItem")->trigger();
    }
    TDiagramm *d = nullptr;
    QRect page;
};

bool LineColour(QRgb c) { return std::abs(qRed(c) - 8) + std::abs(qGreen(c) - 20) + std::abs(qBlue(c) - 240) <= 3; }

} // namespace

TEST_F(ResultsTest, PrintsToPdfInsideThePrintAreaAndKeepsTheReportList)
{
    const std::vector<std::string> before = audio::AudioLog();
    ASSERT_FALSE(before.empty()); // the device report
    const QString pdf = QString::fromStdString(testsupport::ScratchDir("print")) + "/diagram.pdf";
    PrintTo(pdf);
    PrintTo(pdf); // a second print replaces the printer block
    const std::vector<std::string> &log = audio::AudioLog();
    ASSERT_EQ(log.size(), before.size() + 11);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), log.begin()));
    const std::vector<std::string> printer(log.end() - 11, log.end());
    EXPECT_EQ(printer[1], "Auflösung DPI: 600");
    EXPECT_EQ(printer[5], "Seitenbreite : " + std::to_string(page.width()));
    EXPECT_EQ(printer[7], "Druckreite   : " + std::to_string(page.width() - 550));
    EXPECT_EQ(printer[8], "Druckhöhe    : " + std::to_string(page.height() / 2));
    EXPECT_EQ(printer[9], "Druck x0     : 400");
    EXPECT_EQ(printer[10], "Druck y0     : 300");
    EXPECT_EQ(app::PrintFontScale(600), 16);
    EXPECT_EQ(app::PrintFontScale(72), 2); // not 0: printers may report 72 dpi

    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    if (pdftoppm.isEmpty())
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed: the printout is not rasterised";
    const QString dir = QString::fromStdString(testsupport::ScratchDir("print-raster"));
    auto raster = [&](const QStringList &args) {
        EXPECT_EQ(QProcess::execute(pdftoppm, args + QStringList{"-singlefile", pdf, dir + "/page"}), 0);
        return QImage(dir + "/page.ppm").convertToFormat(QImage::Format_RGB32);
    };
    // the print area in 600 dpi dots on the paper: the printable page starts at page.topLeft()
    const QRect area(page.x() + 400, page.y() + 300, page.width() - 550, page.height() / 2);
    // at 75 dpi (an eighth) nothing but white paper lies outside it
    const QImage sheet = raster({"-r", "75"});
    const QRect inner(area.x() / 8, area.y() / 8, area.width() / 8, area.height() / 8);
    int ink = 0;
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x)
            ink += !inner.adjusted(-2, -2, 2, 2).contains(x, y) && sheet.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_EQ(ink, 0);
    // at 600 dpi a strip in the right half of the area, far from the level labels, carries
    // the curve in its exact colour (at 4x Poppler does not interpolate images)
    const int stripX = area.x() + area.width() * 3 / 4;
    const QImage strip = raster({"-r", "600", "-x", QString::number(stripX), "-y", QString::number(area.y()), "-W",
                                 "100", "-H", QString::number(area.height())});
    int curve = 0;
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            curve += LineColour(strip.pixel(x, y));
    EXPECT_GE(curve, 100); // one bitmap pixel is four dots high
}

TEST_F(ResultsTest, CancelledOrFailedPrintsWriteNothing)
{
    const QString dir = QString::fromStdString(testsupport::ScratchDir("print-cancel"));
    const std::size_t lines = audio::AudioLog().size();
    PrintTo(dir + "/cancelled.pdf", false);
    EXPECT_FALSE(QFile::exists(dir + "/cancelled.pdf"));
    EXPECT_EQ(audio::AudioLog().size(), lines);
    EXPECT_TRUE(messages.empty());
    PrintTo(dir + "/missing/dir.pdf");
    ASSERT_EQ(messages.size(), 1u); // not reported as printed
    EXPECT_TRUE(messages[0].text.startsWith(dir + "/missing/dir.pdf"));
}

TEST_F(ResultsTest, CopyPutsTheOutputFormOnTheClipboardRemarkFocusesTheTitle)
{
    d->SetStatusText(QStringLiteral("THD+N 0.01 %"));
    d->FormMouseDown(Qt::LeftButton, 300, 150); // a readout on the screen only
    child<QAction>("EditCopyItem")->trigger();
    const QImage copy = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    const QImage screen = d->Bitmap().copy();
    d->DrawDiagram(d->Bitmap(), true);
    EXPECT_EQ(copy, d->Bitmap());
    EXPECT_NE(copy, screen);

    child<QAction>("Kommentar1")->trigger();
    EXPECT_EQ(d->focusWidget(), d->Edicomment);
    child<QTabWidget>("PageControl1")->setCurrentIndex(2);
    EXPECT_FALSE(child<QAction>("Kommentar1")->isEnabled());
    EXPECT_FALSE(child<QAction>("FilePrintItem")->isEnabled());
}

TEST_F(ResultsTest, OptionsColourTheChannelBoxesScaleReachesTheReadout)
{
    child<QAction>("DiaEinMenu")->trigger();
    ASSERT_TRUE(app::Diadlg->isVisible());
    display::DiagramOptions o = d->Options();
    o.ColLine1 = 0x0000FF; // red
    app::Diadlg->LoadOptions(o);
    app::Diadlg->LogDia->click(); // any change posts the record
    QCoreApplication::processEvents();
    EXPECT_EQ(child<QCheckBox>("MeasureLeft")->palette().color(QPalette::WindowText), QColor(255, 0, 0));

    QTimer::singleShot(0, [] {
        app::SkalDia->Edit1->setText("2");
        app::SkalDia->Edit2->setText("0");
        app::SkalDia->Edit3->setText("mm");
        app::SkalDia->BitBtn1->click();
    });
    child<QAction>("Skalierung1")->trigger();
    EXPECT_EQ(d->XScale().Factor, 2.0f);
    EXPECT_EQ(d->XScale().Unit, "mm");
}
