// The diagram's mouse readouts and range controls with synthetic events on
// the offscreen platform; the expected texts are worked out by hand from the
// axis geometry (200 px per octave, 10 px per dB).
#include "display/diagramreadout.h"
#include "display/diagramwindow.h"
#include "platform/runtime/utilities.h"
#include "support/testsupport.h"

#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace display;

namespace {

class DiagramReadout : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetSettingsFileName(testsupport::ScratchDir("interaction") + "/sonmain.ini");
        d = std::make_unique<TDiagramm>();
        // 632 x 472: plot 600 x 400 px; 500..4000 Hz log = 200 px per octave; -40..0 dB = 10 px per dB
        d->resize(632, 472);
        d->show();
        d->ResetDiagram();
        std::int32_t xmin = 500, xmax = 4000;
        float ymin = -40.0f, ymax = 0.0f;
        ASSERT_FALSE(d->SetupDiagram(QString(), 100, xmin, xmax, ymin, ymax));
        ASSERT_EQ(d->Layout().Plot.Width(), 600);
        ASSERT_DOUBLE_EQ(d->Layout().YPixPerUnit, 10.0);
        L = d->Layout().Plot.Left;
        T = d->Layout().Plot.Top;
    }
    void TearDown() override
    {
        d.reset();
        platform::SetSettingsFileName({});
    }

    void Measure(int level, int frequency, int slope)
    {
        DiagramOptions o = d->Options();
        o.MeasureLevel = level, o.MeasureFrequency = frequency, o.MeasureSlope = slope;
        d->ApplyOptions(o);
    }
    // Anchors at (x1, y1), moves to (x2, y2) and returns the readout shown.
    QString Drag(int x1, int y1, int x2, int y2)
    {
        QTest::mouseClick(d.get(), Qt::LeftButton, {}, QPoint(x1, y1));
        QTest::mouseMove(d.get(), QPoint(x2, y2));
        const DiagramCursor &c = d->Cursor();
        return c.CursorMode == 2 ? c.LevelText : c.CursorMode == 4 ? c.ClickText : c.FreqText;
    }
    void EndMeasurement() { QTest::mouseClick(d.get(), Qt::LeftButton, {}, QPoint(L + 1, T + 1)); }

    std::unique_ptr<TDiagramm> d;
    int L = 0, T = 0;
};

} // namespace

TEST_F(DiagramReadout, ClickLevelAndSlopeReadouts)
{
    QTest::mouseClick(d.get(), Qt::LeftButton, {}, QPoint(L + 200, T + 200));
    EXPECT_EQ(d->Cursor().ClickText, "1000.0Hz/-20.0dB");
    EXPECT_TRUE(d->Cursor().CursorLatched);
    EndMeasurement(); // the second click ends it
    EXPECT_EQ(d->Cursor().CursorMode, 0);

    EXPECT_EQ(Drag(L + 100, T + 100, L + 300, T + 300), "-20.0dB / 10.0%");
    EndMeasurement();
    EXPECT_EQ(Drag(L + 100, T + 300, L + 100, T + 100), "20.0dB / 10.00fach");
    EndMeasurement();
    d->SetYRange(0.0f, -10.0f); // 40 px per dB: 241 px = 6.025 dB
    EXPECT_EQ(Drag(L + 100, T + 50, L + 100, T + 291), "-6.0dB / 50.0%");
    EndMeasurement();
    d->SetYRange(0.0f, -80.0f); // 5 px per dB
    EXPECT_EQ(Drag(L + 100, T + 50, L + 100, T + 350), "-60.0dB / 0.10000%");
    EndMeasurement();

    d->SetYRange(0.0f, -40.0f);
    d->SetLanguage('E');
    Measure(0, 0, 1);
    EXPECT_EQ(Drag(L + 200, T + 100, L + 400, T + 160), "6.0dB/Oct"); // 1 kHz to 2 kHz, 6 dB down
    EXPECT_EQ(d->Cursor().CursorMode, 3);
    EndMeasurement();
    Drag(L + 400, T + 100, L + 400, T + 170); // equal frequencies have no slope
    EXPECT_EQ(d->Cursor().FreqText, "2000.00Hz");
    EXPECT_EQ(d->Cursor().CursorMode, 4);
    QTest::mouseMove(d.get(), QPoint(L + 300, T + 400 + 5)); // more than 4 px below the plot
    EXPECT_EQ(d->Cursor().CursorMode, 0);
    EXPECT_FALSE(d->Cursor().CursorLatched);
}

TEST_F(DiagramReadout, ClickAndFrequencyReadoutsBothTakeTheScale)
{
    d->SetXScale({2.0f, 0.0f, "mm"});
    Measure(0, 1, 0);
    EXPECT_EQ(Drag(L + 200, T + 200, L + 400, T + 200), "4000.00mm");
    QTest::mousePress(d.get(), Qt::LeftButton, {}, QPoint(L + 200, T + 200));
    EXPECT_EQ(d->Cursor().ClickText, "2000.0mm/-20.0dB");
    d->SetXScale({1.0f, -100.0f, "x"});
    QTest::mouseMove(d.get(), QPoint(L + 200, T + 200));
    EXPECT_EQ(d->Cursor().FreqText, "900.00x");
}

TEST_F(DiagramReadout, LevelButtonsStepAndNeverInvertTheRange)
{
    DiagramOptions o = d->Options();
    o.YStepAuto = 0;
    o.YStep = 40.0f; // the whole range
    d->ApplyOptions(o);
    d->SpinButtonYmaxDownClick();
    d->SpinButtonYminUpClick();
    float ymin = 0, ymax = 0;
    d->GetYRange(ymin, ymax);
    EXPECT_EQ(ymax, 0.0f);
    EXPECT_EQ(ymin, -40.0f);
    d->SpinButtonYmaxUpClick();
    d->GetYRange(ymin, ymax);
    EXPECT_EQ(ymax, 40.0f);
    EXPECT_EQ(d->Axes().Y2Max, 40.0f); // the right axis follows while hidden
    EXPECT_EQ(d->Options().OptYMax, 40.0f);

    // automatic: NiceStep(80 / 10) = 10, multiples of it
    o = d->Options();
    o.YStepAuto = 1;
    d->ApplyOptions(o);
    d->SetYRange(3.0f, -77.0f);
    d->SpinButtonYmaxUpClick();
    d->SpinButtonYminDownClick();
    d->GetYRange(ymin, ymax);
    EXPECT_EQ(ymax, 10.0f);
    EXPECT_EQ(ymin, -90.0f);
}

TEST_F(DiagramReadout, FrequencyLimitsWalkTheTableOrTenthsAndNeverCross)
{
    auto range = [this] {
        std::int32_t lo = 0, hi = 0;
        d->GetXRange(lo, hi);
        return std::pair{lo, hi};
    };
    d->ScrollBarHF->triggerAction(QScrollBar::SliderSingleStepAdd);
    d->ScrollBarLF->triggerAction(QScrollBar::SliderSingleStepSub);
    EXPECT_EQ(range(), (std::pair{300, 5000}));
    EXPECT_EQ(NextScrollStep(22050, true), 24000);
    EXPECT_EQ(NextScrollStep(50000, true), 50000);
    d->SetXRange(2000, 3000);
    d->ScrollBarLF->triggerAction(QScrollBar::SliderSingleStepAdd);
    d->ScrollBarHF->triggerAction(QScrollBar::SliderSingleStepSub);
    EXPECT_EQ(range(), (std::pair{2000, 3000})); // would meet the other limit

    DiagramOptions o = d->Options();
    o.LogX = 0;
    d->ApplyOptions(o);
    d->SetXRange(5, 48000);
    for (int i = 0; i < 3; ++i) {
        d->ScrollBarHF->triggerAction(QScrollBar::SliderSingleStepAdd);
        d->ScrollBarLF->triggerAction(QScrollBar::SliderSingleStepSub);
    }
    EXPECT_EQ(range(), (std::pair{1, 50000}));
}
