// The diagram window offscreen: run set-up, the peak reset through the
// options, what the drawing puts where, and the export.
#include "display/diagramwindow.h"
#include "platform/runtime/utilities.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <array>
#include <cmath>

using namespace display;

namespace {

class DiagramWindow : public ::testing::Test {
protected:
    void SetUp() override { platform::SetSettingsFileName(settings); }
    void TearDown() override { platform::SetSettingsFileName({}); }

    // A diagram of 600 x 400 set up for `count` points over 10..24000 Hz, -100..0 dB.
    std::unique_ptr<TDiagramm> Make(int count = 999)
    {
        auto d = std::make_unique<TDiagramm>();
        d->resize(600, 400);
        d->ResetDiagram();
        std::int32_t xmin = 10, xmax = 24000;
        float ymin = -100.0f, ymax = 0.0f;
        EXPECT_FALSE(d->SetupDiagram(QStringLiteral("test"), count, xmin, xmax, ymin, ymax));
        return d;
    }

    // count + 1 logarithmically spaced points from 10 to 24000 Hz.
    static void StoreFlat(TDiagramm &d, int count, float k1, float k2)
    {
        for (int i = 0; i <= count; ++i) {
            const float f = static_cast<float>(10.0 * std::pow(2400.0, static_cast<double>(i) / count));
            const float v[2] = {k1, k2};
            ASSERT_EQ(d.StorePoint(v, i, f), 0);
        }
    }

    static QRgb Rgb(std::uint32_t bgr) { return ColourFromBgr(bgr).rgb(); }

    // XMin, XMax, YMin, YMax as the window reports them.
    static std::array<float, 4> Ranges(TDiagramm &d)
    {
        std::int32_t x0 = 0, x1 = 0;
        float y0 = 0, y1 = 0;
        d.GetXRange(x0, x1);
        d.GetYRange(y0, y1);
        return {float(x0), float(x1), y0, y1};
    }

    // Column of `f` Hz on the log axis 10 .. 24000 Hz of the current layout.
    static int LogColumn(const TDiagramm &d, double f)
    {
        const PixelRect &r = d.Layout().Plot;
        return r.Left + int(std::nearbyint(std::log(f / 10.0) * r.Width() / std::log(2400.0)));
    }

    const std::string dir = testsupport::ScratchDir("diagramwindow");
    const std::string settings = dir + "/sonmain.ini";
};

} // namespace

TEST_F(DiagramWindow, SetupAdoptsRangesAfterResetClearsOnlyOnNewFrequencyRangeAndKeepsTheRightAxisRange)
{
    auto d = Make(100);
    EXPECT_EQ(Ranges(*d), (std::array<float, 4>{10, 24000, -100, 0}));
    EXPECT_EQ(d->Axes().Y2Min, -100.0f); // only the left axis: the right range follows
    EXPECT_EQ(d->GetPointCount(), 100);

    StoreFlat(*d, 100, -20.0f, -30.0f);
    // same frequency range, other levels: curves stay, the window's levels win
    std::int32_t xmin = 10, xmax = 24000;
    float ymin = -50.0f, ymax = 10.0f;
    EXPECT_FALSE(d->SetupDiagram(QStringLiteral("again"), 100, xmin, xmax, ymin, ymax));
    EXPECT_EQ(ymin, -100.0f);
    EXPECT_EQ(ymax, 0.0f);
    EXPECT_EQ(d->Curves().Freq()[50], static_cast<float>(10.0 * std::pow(2400.0, 0.5)));
    EXPECT_EQ(d->GetTitle(), "again");

    // another frequency range: curves cleared, the window keeps its range
    xmin = 20;
    EXPECT_FALSE(d->SetupDiagram(QStringLiteral("new"), 100, xmin, xmax, ymin, ymax));
    EXPECT_EQ(d->Curves().Freq()[50], 0.0f);
    EXPECT_EQ(Ranges(*d)[0], 10);

    // after a reset the next set-up adopts the caller's ranges again
    d->ResetDiagram();
    xmin = 100;
    xmax = 1000;
    ymin = -60.0f;
    ymax = -10.0f;
    EXPECT_FALSE(d->SetupDiagram(QStringLiteral("sweep"), 50, xmin, xmax, ymin, ymax));
    EXPECT_EQ(Ranges(*d), (std::array<float, 4>{100, 1000, -60, -10}));

    // a shown right axis keeps its own range and widens the right margin
    d->SetAxesVisible(true, true);
    d->ResetDiagram();
    d->SetY2Range(180.0f, -180.0f);
    EXPECT_FALSE(d->SetupDiagram(QStringLiteral("phase"), 50, xmin, xmax, ymin, ymax));
    EXPECT_EQ(d->Axes().Y2Min, -180.0f);
    EXPECT_EQ(d->Axes().Y2Max, 180.0f);
    EXPECT_LT(d->Layout().Plot.Right, 600 - 8);

    // the arrays bound the point count
    EXPECT_TRUE(d->SetupDiagram(QString(), kMaxPoints - 1, xmin, xmax, ymin, ymax));
    EXPECT_FALSE(d->SetupDiagram(QString(), kMaxPoints - 2, xmin, xmax, ymin, ymax));
    EXPECT_EQ(d->GetPointCount(), kMaxPoints - 2);
}

TEST_F(DiagramWindow, TheOptionsResetRequestResetsThePeakOnceAndIsConsumed)
{
    auto d = Make();
    DiagramOptions o = d->Options();
    o.PeakK1 = 1;
    d->ApplyOptions(o);
    const float a[2] = {-30.0f, -10.0f}, b[2] = {-50.0f, -5.0f};
    d->StorePoint(a, 3, 100.0f);
    d->StorePoint(b, 3, 100.0f);
    EXPECT_EQ(d->Curves().Curve3()[3], -30.0f);
    o.ResetPeakRequest = 1;
    d->ApplyOptions(o);
    EXPECT_EQ(d->Curves().Curve3()[3], kNoValue);
    EXPECT_EQ(d->Options().ResetPeakRequest, 0);
}

TEST_F(DiagramWindow, GridLinesSitAtTheTableFrequenciesOrAtMultiplesOfTheStep)
{
    auto d = Make();
    const DiagramLayout &L = d->Layout();
    const PixelRect &r = L.Plot;
    const QImage &img = d->Bitmap();
    const QRgb grid = Rgb(d->Options().ColGrid), back = Rgb(d->Options().ColDiagram);
    d->DrawDiagram(d->Bitmap(), true);
    // a row between the two lowest horizontal grid lines
    const int row = r.Bottom - static_cast<int>(std::lround(L.YLabelStep * L.YPixPerUnit / 2));
    for (int f : {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200, 500, 900, 1000, 2000, 5000, 9000, 10000, 20000}) {
        EXPECT_EQ(img.pixel(LogColumn(*d, f), row), grid) << f << " Hz";
        if (LogColumn(*d, f * 1.05) != LogColumn(*d, f) && f < 20000) { // no line a little above
            EXPECT_EQ(img.pixel(LogColumn(*d, f * 1.05), row), back) << f * 1.05 << " Hz";
        }
    }
    // labelled lines carry a tick below the plot, unlabelled ones do not
    EXPECT_EQ(img.pixel(LogColumn(*d, 20), r.Bottom + L.CharHeight / 3), grid);
    EXPECT_NE(img.pixel(LogColumn(*d, 40), r.Bottom + L.CharHeight / 3), grid);

    DiagramOptions o = d->Options();
    o.LogX = 0;
    d->ApplyOptions(o);
    d->DrawDiagram(d->Bitmap(), false);
    ASSERT_GT(L.XLabelStep, 1);
    for (int f = L.XLabelStep; f <= 24000; f += L.XLabelStep) {
        const int x = r.Left + static_cast<int>(std::nearbyint((f - 10) * r.Width() / 23990.0));
        EXPECT_EQ(img.pixel(x, row), grid) << f;
        EXPECT_EQ(img.pixel(x + 3, row), back) << f;
    }
}

TEST_F(DiagramWindow, CurveOneIsDrawnInLineOneColourAtItsLevel)
{
    auto d = Make();
    StoreFlat(*d, 999, -50.0f, -80.0f);
    DiagramOptions o = d->Options();
    o.ColLine1 = 0x00A05010; // blue A0, green 50, red 10
    d->ApplyOptions(o);
    d->DrawDiagram(d->Bitmap(), false);
    const PixelRect &r = d->Layout().Plot;
    const int x = LogColumn(*d, 1500);
    const int y = r.Bottom - static_cast<int>(std::nearbyint(50.0 * r.Height() / 100.0));
    EXPECT_EQ(d->Bitmap().pixel(x, y), qRgb(0x10, 0x50, 0xA0));
    EXPECT_NE(d->Bitmap().pixel(x, y - 2), qRgb(0x10, 0x50, 0xA0));
    EXPECT_NE(d->Bitmap().pixel(x, y + 2), qRgb(0x10, 0x50, 0xA0));
    // curve 2 is hidden by default
    const int y2 = r.Bottom - static_cast<int>(std::nearbyint(20.0 * r.Height() / 100.0));
    EXPECT_NE(d->Bitmap().pixel(x, y2), Rgb(o.ColLine2));
    d->SetCurvesVisible(true, true);
    d->DrawDiagram(d->Bitmap(), false);
    EXPECT_EQ(d->Bitmap().pixel(x, y2), Rgb(o.ColLine2));
    d->SetCurvesVisible(false, true);
    d->DrawDiagram(d->Bitmap(), false);
    EXPECT_NE(d->Bitmap().pixel(x, y), qRgb(0x10, 0x50, 0xA0));
}

TEST_F(DiagramWindow, LevelsOutsideTheAxisAreDrawnAnEighthCharacterOutsideThePlot)
{
    auto d = Make();
    StoreFlat(*d, 999, -150.0f, 0.0f);
    // a printer-sized layout on a separate bitmap, so an eighth of a character is several pixels
    QImage page;
    ASSERT_TRUE(d->LayoutDiagram(page, 1200, 800, false, 20));
    const DiagramLayout &L = d->Layout();
    EXPECT_EQ(L.CharHeight, QFontMetrics(MakeDiagramFont(20)).height());
    ASSERT_GE(L.CharHeight / 8, 2);
    d->DrawDiagram(page, true);
    const PixelRect &r = L.Plot;
    const QRgb blue = Rgb(d->Options().ColLine1);
    const int x = LogColumn(*d, 1500);
    EXPECT_EQ(page.pixel(x, r.Bottom + L.CharHeight / 8), blue);
    for (int y = r.Top; y < r.Bottom + L.CharHeight / 8; ++y)
        ASSERT_NE(page.pixel(x, y), blue) << "curve clamped onto the plot at row " << y;

    d->DrawDiagram(d->Bitmap(), true); // the window's own bitmap is laid out again
    EXPECT_EQ(d->Layout().FontSize, 8);
    EXPECT_EQ(d->Layout().Width, 600);
}

TEST_F(DiagramWindow, OutputFormDrawsTitleAndStatusScreenFormDoesNot)
{
    auto d = Make();
    d->SetStatusText(QStringLiteral("THD+N: 0.01"));
    const DiagramLayout &L = d->Layout();
    const int statusTop = L.Plot.Bottom + static_cast<int>(std::lround(2.5 * L.CharHeight));
    auto inkInStatusRow = [&] {
        int ink = 0;
        for (int y = statusTop; y < statusTop + L.CharHeight && y < d->Bitmap().height(); ++y)
            for (int x = L.Plot.Left; x < L.Plot.Left + 60; ++x)
                ink += d->Bitmap().pixel(x, y) != Rgb(d->Options().ColMargin); // text is antialiased
        return ink;
    };
    d->DrawDiagram(d->Bitmap(), false);
    EXPECT_EQ(inkInStatusRow(), 0);
    d->DrawDiagram(d->Bitmap(), true);
    EXPECT_GT(inkInStatusRow(), 5);
}

TEST_F(DiagramWindow, ExportUsesTheOptionsSeparatorTheVisibleCurvesAndTheFrequencyRange)
{
    auto d = Make(3);
    const float f[] = {5.0f, 100.0f, 1000.0f, 30000.0f};
    for (int i = 0; i < 4; ++i) {
        const float v[2] = {-1.0f * i, -2.0f * i};
        d->StorePoint(v, i, f[i]);
    }
    const std::string path = dir + "/export.txt";
    d->SetCurvesVisible(true, true);
    ASSERT_EQ(d->SaveCurvesAsText(QString::fromStdString(path)), 0);
    EXPECT_EQ(testsupport::ReadFile(path), "100.00,-1.00,-2.00\r\n1000.00,-2.00,-4.00\r\n");
}

TEST_F(DiagramWindow, ShownWindowPaintsTheBitmapFollowsResizingAndPlacesItsFields)
{
    auto d = Make();
    d->resize(100, 50);
    EXPECT_EQ(d->width(), 170); // the smallest window
    EXPECT_EQ(d->height(), 120);
    d->SetYCaption(QStringLiteral("Level"));
    d->SetXCaption(QStringLiteral("Frequency [Hz]"));
    d->show();
    d->resize(700, 450);
    QCoreApplication::processEvents();
    const QImage shot = d->grab().toImage();
    ASSERT_EQ(shot.width(), 700);
    const PixelRect &r = d->Layout().Plot;
    EXPECT_EQ(r.Right, 700 - 8);
    const int h = QFontMetrics(MakeDiagramFont(8)).height(); // captions widen the margins by one text height
    EXPECT_EQ(r.Left, 8 * (d->Layout().YDecimals + 3) + h);
    EXPECT_EQ(r.Bottom, 450 - 40 - h);
    EXPECT_EQ(shot.pixel(r.Left + 3, r.Top + 3), Rgb(d->Options().ColDiagram));
    EXPECT_EQ(shot.pixel(2, 200), Rgb(d->Options().ColMargin));
    // the status field sits on the bottom edge between the two scroll bars
    EXPECT_EQ(d->Edit2->geometry().bottom(), 449);
    EXPECT_GT(d->Edit2->geometry().left(), d->ScrollBarLF->geometry().right());
    EXPECT_LT(d->Edit2->geometry().right(), d->ScrollBarHF->geometry().left());
    // the title field starts at the plot and ends before the program name
    const QRect title = d->Edicomment->geometry();
    EXPECT_EQ(title.left(), r.Left);
    EXPECT_EQ(title.right() + 1, r.Right - QFontMetrics(MakeProgramNameFont(8)).horizontalAdvance("Sonalyx"));
    d->Edicomment->setText(QStringLiteral("typed by the user"));
    EXPECT_EQ(d->GetTitle(), "typed by the user");
    d->hide();
}


TEST_F(DiagramWindow, ExtraCurvesAreDrawnAgainstTheirAxisWithGapsAndGoWithTheCurves)
{
    auto d = Make();
    d->SetAxesVisible(true, true);
    d->SetY2Range(180.0f, -180.0f);
    ExtraCurve left, right;
    left.Name = "H2";
    left.Colour = 0x00204060;
    right.Name = "R";
    right.Colour = 0x00600040;
    right.RightAxis = true;
    for (double f = 20.0; f <= 20000.0; f *= 1.01) {
        left.FrequencyHz.push_back(f);
        left.Values.push_back(f > 300.0 && f < 600.0 ? std::nan("") : -80.0); // a gap from 300 to 600 Hz
        right.FrequencyHz.push_back(f);
        right.Values.push_back(90.0);
    }
    d->SetExtraCurves({left, right});
    d->DrawDiagram(d->Bitmap(), true);
    const PixelRect &r = d->Layout().Plot;
    // -80 dB of -100..0 dB, 90 degrees of -180..180.
    const int y = r.Bottom - static_cast<int>(std::nearbyint(20.0 * r.Height() / 100.0));
    const int y2 = r.Bottom - static_cast<int>(std::nearbyint(270.0 * r.Height() / 360.0));
    const QImage &img = d->Bitmap();
    EXPECT_EQ(img.pixel(LogColumn(*d, 150), y), Rgb(left.Colour));
    EXPECT_EQ(img.pixel(LogColumn(*d, 5000), y), Rgb(left.Colour));
    EXPECT_NE(img.pixel(LogColumn(*d, 420), y), Rgb(left.Colour));
    EXPECT_EQ(img.pixel(LogColumn(*d, 150), y2), Rgb(right.Colour));
    // Left of 20 Hz there is no curve.
    EXPECT_NE(img.pixel(LogColumn(*d, 15), y), Rgb(left.Colour));

    d->ClearCurves();
    EXPECT_TRUE(d->ExtraCurves().empty());
    d->DrawDiagram(d->Bitmap(), true);
    EXPECT_NE(d->Bitmap().pixel(LogColumn(*d, 150), y), Rgb(left.Colour));
}
