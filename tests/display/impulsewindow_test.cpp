// The impulse window offscreen: a dragged marker is reported with the time
// under the mouse when it is let go, a typed window at once, and nothing
// while the window cannot be evaluated.
#include "display/impulsewindow.h"

#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace display;

TEST(ImpulseWindow, DraggedMarkersAndTypedValuesReportTheTimeWindow)
{
    TImpulseWindow w;
    w.resize(600, 360);
    ImpulseTrace t;
    t.Samples.assign(4800, 0.0);
    t.Zero = 480;
    t.Samples[480] = 1.0;
    w.SetTraces({t}, 48000.0);
    w.SetWindow(2.0, 10.0, 5.0, 500.0);
    w.show();
    QSignalSpy changed(&w, &TImpulseWindow::windowChanged);

    // The span shown is -3 .. 15 ms (half the window again on each side).
    ImpulsePlot *p = w.Plot;
    const int y = p->height() / 2;
    const QPoint post(static_cast<int>(std::lround(p->TimeToX(10.0))), y);
    const QPoint to(static_cast<int>(std::lround(p->TimeToX(6.0))), y);
    const double pixelMs = 18.0 / (p->width() - 60);
    QTest::mousePress(p, Qt::LeftButton, {}, post);
    QTest::mouseMove(p, to);
    EXPECT_EQ(changed.count(), 0); // shown in its box while dragging, counted when let go
    EXPECT_NEAR(w.PostMs->value(), 6.0, pixelMs);
    QTest::mouseRelease(p, Qt::LeftButton, {}, to);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_NEAR(changed[0][0].toDouble(), 2.0, 1e-9);
    EXPECT_NEAR(changed[0][1].toDouble(), 6.0, pixelMs);

    // The box beyond its limit (the pre window at most 5 ms) stops there.
    w.PreMs->setValue(8.0);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_NEAR(changed[1][0].toDouble(), 5.0, 1e-9);

    w.SetEditable(false);
    QTest::mousePress(p, Qt::LeftButton, {}, to);
    QTest::mouseMove(p, post);
    QTest::mouseRelease(p, Qt::LeftButton, {}, post);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_FALSE(w.PostMs->isEnabled());
}
