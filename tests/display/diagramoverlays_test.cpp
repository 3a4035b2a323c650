// The diagram's overlays offscreen: what a stored result draws where (a
// level row worked out from the axis by hand), its reduction to pixel
// columns keeping a curve's extremes, visibility, the legend in the copy,
// the overlay set's limits, the reference mode's differences (level and a
// wrapped phase) in the drawing and the export, a limits file's verdict on
// the live curve, the readout's curve name, and the overlay list.
#include "display/diagramwindow.h"
#include "display/overlaylistdialog.h"
#include "measurement/limits.h"
#include "platform/runtime/utilities.h"
#include "support/testsupport.h"

#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace display;

namespace {

class DiagramOverlays : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetSettingsFileName(settings);
        d = std::make_unique<TDiagramm>();
        d->resize(600, 400);
        d->ResetDiagram();
        std::int32_t xmin = 10, xmax = 24000;
        float ymin = -100.0f, ymax = 0.0f;
        ASSERT_FALSE(d->SetupDiagram(QStringLiteral("test"), 200, xmin, xmax, ymin, ymax));
    }
    void TearDown() override
    {
        d.reset();
        platform::SetSettingsFileName({});
    }

    // count + 1 log-spaced live points from 10 to 24000 Hz.
    void StoreLive(float k1, float k2, int count = 200)
    {
        for (int i = 0; i <= count; ++i) {
            const float f = static_cast<float>(10.0 * std::pow(2400.0, double(i) / count));
            const float v[2] = {k1, k2};
            ASSERT_EQ(d->StorePoint(v, i, f), 0);
        }
    }

    // An overlay of `n` log-spaced points 20..20000 Hz at `level` (phase
    // `phase` when given).
    static Overlay Flat(const std::string &name, int n, double level, std::uint32_t colour = 0,
                        double phase = std::nan(""))
    {
        Overlay o;
        o.Name = name;
        o.Kind = "sweep";
        o.Colour = colour;
        OverlayCurve c;
        c.Name = "level";
        for (int i = 0; i < n; ++i) {
            c.X.push_back(20.0 * std::pow(1000.0, double(i) / (n - 1)));
            c.Y.push_back(level);
            if (!std::isnan(phase))
                c.Phase.push_back(phase);
        }
        o.Curves.push_back(c);
        return o;
    }

    QImage Drawn(bool forOutput = false)
    {
        d->DrawDiagram(d->Bitmap(), forOutput);
        return d->Bitmap();
    }

    // Row of `level` dB on the left axis -100..0 dB, from the plot's edges.
    int Row(double level) const
    {
        const PixelRect &r = d->Layout().Plot;
        return r.Bottom - int(std::lround((level + 100.0) * r.Height() / 100.0));
    }
    int Column(double f) const
    {
        const PixelRect &r = d->Layout().Plot;
        return r.Left + int(std::lround(std::log(f / 10.0) * r.Width() / std::log(2400.0)));
    }
    static int CountColour(const QImage &image, QRgb colour)
    {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == colour;
        return n;
    }
    static QRgb Rgb(std::uint32_t bgr) { return ColourFromBgr(bgr).rgb(); }

    const std::string settings = testsupport::ScratchDir("diagramoverlays") + "/sonmain.ini";
    std::unique_ptr<TDiagramm> d;
};

} // namespace

TEST_F(DiagramOverlays, AnOverlayIsDrawnOnTheLiveAxesReducedToColumnsWithItsExtremesAndHidesWhenSwitchedOff)
{
    const std::uint32_t colour = 0x20C040;
    ASSERT_TRUE(d->AddOverlay(Flat("golden", 8193, -30.0, colour)));
    QImage image = Drawn();
    // The line lies on the -30 dB row at 1 kHz (within the rounding of a pixel).
    const int x = Column(1000.0), y = Row(-30.0);
    bool found = false;
    for (int dy = -1; dy <= 1; ++dy)
        found = found || image.pixel(x, y + dy) == Rgb(colour);
    EXPECT_TRUE(found);

    // A curve jumping between -10 and -50 dB from point to point: every
    // column holds both, so the drawing must reach both rows there.
    Overlay zigzag = Flat("zigzag", 8193, 0.0, 0x8000FF);
    for (std::size_t i = 0; i < zigzag.Curves[0].Y.size(); ++i)
        zigzag.Curves[0].Y[i] = i % 2 ? -10.0 : -50.0;
    ASSERT_TRUE(d->AddOverlay(zigzag));
    d->SetOverlayVisible(0, false);
    image = Drawn();
    EXPECT_EQ(CountColour(image, Rgb(colour)), 0);
    const int col = Column(500.0);
    int top = image.height(), bottom = -1;
    for (int yy = 0; yy < image.height(); ++yy)
        if (image.pixel(col, yy) == Rgb(0x8000FF)) {
            top = std::min(top, yy);
            bottom = std::max(bottom, yy);
        }
    EXPECT_NEAR(top, Row(-10.0), 1);
    EXPECT_NEAR(bottom, Row(-50.0), 1);
}

TEST_F(DiagramOverlays, TheCopyCarriesTheLegendInEachOverlaysColourAndTheSetKeepsItsLimits)
{
    StoreLive(-20.0f, -20.0f);
    const std::uint32_t colour = 0x3070E0;
    // A curve below the plot: only the legend can put the colour into the copy.
    ASSERT_TRUE(d->AddOverlay(Flat("below", 101, -300.0, colour)));
    const QImage copy = Drawn(true);
    EXPECT_GT(CountColour(copy, Rgb(colour)), 10);

    // Eight at most; colours chosen differ; a removed overlay's colour returns.
    OverlaySet set;
    for (int i = 0; i < kMaxOverlays; ++i)
        ASSERT_TRUE(set.Add(Flat("n" + std::to_string(i), 3, -10.0)));
    EXPECT_FALSE(set.Add(Flat("ninth", 3, -10.0)));
    for (int i = 0; i < kMaxOverlays; ++i)
        for (int k = 0; k < i; ++k)
            EXPECT_NE(set.At(i).Colour, set.At(k).Colour);
    const std::uint32_t freed = set.At(3).Colour;
    ASSERT_TRUE(set.SetReference(5));
    set.Remove(3);
    EXPECT_EQ(set.Reference(), 4); // it moved up with the list
    ASSERT_TRUE(set.Add(Flat("new", 3, -10.0)));
    EXPECT_EQ(set.At(kMaxOverlays - 1).Colour, freed);
    set.Remove(4);
    EXPECT_EQ(set.Reference(), -1);

    // A limits overlay replaces the limits overlay and is never the reference.
    measure::Limits limits;
    std::string error;
    ASSERT_TRUE(limits.Parse("100 -10 0\n1000 -12 2\n", error)) << error;
    OverlaySet small;
    Overlay l;
    ASSERT_TRUE(OverlayFromLimits(limits, "/tmp/a.lim", l));
    ASSERT_TRUE(small.Add(l));
    ASSERT_TRUE(small.Add(l));
    EXPECT_EQ(small.Count(), 1);
    EXPECT_FALSE(small.SetReference(0));
}

TEST_F(DiagramOverlays, ReferenceModeShowsAndExportsLiveMinusReferenceWithThePhaseWrapped)
{
    // Live: level -20 dB, phase -170 degrees as the sweep draws it (second
    // curve against a right axis captioned "Phase").
    d->SetY2Caption(QString::fromUtf8("Phase [°]"));
    d->SetAxesVisible(true, true);
    d->SetY2Range(180.0f, -180.0f);
    d->SetCurvesVisible(true, true);
    StoreLive(-20.0f, -170.0f);
    ASSERT_TRUE(d->AddOverlay(Flat("reference", 301, -26.0, 0, 170.0)));
    ASSERT_TRUE(d->AddOverlay(Flat("other", 301, -29.0, 0x00C0C0)));
    ASSERT_TRUE(d->SetReference(0));
    const QImage image = Drawn();
    // other - reference = -3 dB; live - reference = +6 dB
    const int x = Column(1000.0);
    bool other = false;
    for (int dy = -1; dy <= 1; ++dy)
        other = other || image.pixel(x, Row(-3.0) + dy) == Rgb(0x00C0C0);
    EXPECT_TRUE(other);
    EXPECT_NE(d->InfoLine().indexOf("reference"), -1);

    const std::string file = testsupport::ScratchDir("diagramoverlays") + "/difference.txt";
    ASSERT_EQ(d->SaveCurvesAsText(QString::fromStdString(file), QStringLiteral(";")), 0);
    std::istringstream lines(testsupport::ReadFile(file));
    std::string line;
    int inside = 0;
    while (std::getline(lines, line)) {
        double f = 0, level = 0, phase = 0;
        char s1 = 0, s2 = 0;
        std::istringstream in(line);
        in >> f;
        if (f < 20.0 || f > 20000.0) {
            continue; // no reference there: empty fields
        }
        ASSERT_TRUE(in >> s1 >> level >> s2 >> phase) << line;
        EXPECT_NEAR(level, 6.0, 0.005) << line;
        // -170 - 170 = -340, wrapped: +20
        EXPECT_NEAR(phase, 20.0, 0.005) << line;
        ++inside;
    }
    EXPECT_GT(inside, 100);
}

TEST_F(DiagramOverlays, LimitsSayWhetherTheLiveCurveCrossesThemAndTheReadoutNamesTheCurve)
{
    StoreLive(-20.0f, -20.0f);
    d->SetCurvesVisible(true, false);
    measure::Limits limits;
    std::string error;
    ASSERT_TRUE(limits.Parse("# band\n100 -25 -15\n1000 -25 -15\n", error)) << error;
    Overlay l;
    ASSERT_TRUE(OverlayFromLimits(limits, "/x/band.lim", l));
    ASSERT_TRUE(d->AddOverlay(l));
    Drawn();
    EXPECT_EQ(d->LimitCrossings(), 0);
    EXPECT_FALSE(d->InfoLine().isEmpty());

    // Upper bound -22 dB between 200 and 400 Hz: the live points there cross.
    ASSERT_TRUE(limits.Parse("200 - -22\n400 - -22\n", error)) << error;
    ASSERT_TRUE(OverlayFromLimits(limits, "/x/tight.lim", l));
    ASSERT_TRUE(d->AddOverlay(l));
    EXPECT_EQ(d->Overlays().Count(), 1);
    Drawn();
    // 200 points over 2400:1 lie 1/200 of log(2400) apart: count them by hand.
    int expected = 0;
    for (int i = 0; i <= 200; ++i) {
        const float f = static_cast<float>(10.0 * std::pow(2400.0, double(i) / 200));
        expected += f >= 200.0f && f <= 400.0f;
    }
    EXPECT_EQ(d->LimitCrossings(), expected);
    EXPECT_NE(d->InfoLine().indexOf(QString::number(expected)), -1);

    ASSERT_TRUE(d->AddOverlay(Flat("golden unit", 101, -60.0)));
    Drawn();
    EXPECT_EQ(d->CurveNameAt(Column(1000.0), Row(-60.0) + 2), "golden unit");
    EXPECT_EQ(d->CurveNameAt(Column(1000.0), Row(-20.0) - 1), "K1");
    EXPECT_EQ(d->CurveNameAt(Column(1000.0), Row(-40.0)), "");
}

TEST_F(DiagramOverlays, TheListShowsTheOverlaysAndSwitchesVisibilityReferenceAndRemoval)
{
    ASSERT_TRUE(d->AddOverlay(Flat("a", 11, -10.0)));
    ASSERT_TRUE(d->AddOverlay(Flat("b", 11, -20.0)));
    d->ShowOverlayList();
    TOverlayList *list = d->OverlayList();
    QTreeWidget *tree = list->findChild<QTreeWidget *>("OverlayList");
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "b");
    EXPECT_FALSE(tree->accessibleName().isEmpty());

    tree->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_FALSE(d->Overlays().At(0).Visible);

    tree->setCurrentItem(tree->topLevelItem(1));
    list->findChild<QPushButton *>("OverlayReference")->click();
    EXPECT_EQ(d->Overlays().Reference(), 1);
    EXPECT_FALSE(tree->topLevelItem(1)->text(2).isEmpty());
    list->findChild<QPushButton *>("OverlayNoReference")->click();
    EXPECT_EQ(d->Overlays().Reference(), -1);

    tree->setCurrentItem(tree->topLevelItem(0));
    list->findChild<QPushButton *>("OverlayRemove")->click();
    ASSERT_EQ(d->Overlays().Count(), 1);
    EXPECT_EQ(d->Overlays().At(0).Name, "b");
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    for (const char *name : {"OverlayRemove", "OverlayReference", "OverlayNoReference", "OverlayClose"})
        EXPECT_FALSE(list->findChild<QPushButton *>(name)->accessibleName().isEmpty()) << name;
}
