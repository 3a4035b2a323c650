// The oscilloscope window on a 500 x 400 pixel plot (client 501 x 431, the
// edge lines included): cursor readouts and their release, traces leaving
// the screen at the top and at the right edge, points outside the arrays,
// and the screen colour in the settings.
#include "display/scopewindow.h"
#include "platform/inifile.h"
#include "platform/runtime/utilities.h"
#include "support/accessiblereadout.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QRgb kRed = qRgb(255, 0, 0), kBlue = qRgb(0, 0, 255), kBlack = qRgb(0, 0, 0);

class ScopeWindowTest : public ::testing::Test {
protected:
    std::string settings;
    void SetUp() override
    {
        settings = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                   "/sonmain.ini";
        testsupport::WriteFile(settings, "[OSZIPRIV]\nCOLDIA=255\n");
        platform::SetSettingsFileName(settings);
    }
    void TearDown() override { platform::SetSettingsFileName({}); }

    static void mouse(TOszidia &w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPoint at)
    {
        QMouseEvent e(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(&w, &e);
    }
};

TEST_F(ScopeWindowTest, CursorsReadTimeAndVoltageAndEachReleaseClearsOnlyItsOwn)
{
    TOszidia w;
    w.resize(501, 431);
    w.SetupScope(QString(), 512, 0.01, 0.0, 8.0); // 1 ms/div
    w.StoreScopePoint(0, true, 0.0f, 0.0f, 0.2f, 0.5f, 0.0f, 0.0f, 0.0f); // readout on channel 1 at 0.5 V/div

    mouse(w, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, {300, 100});
    mouse(w, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, {300, 150});
    EXPECT_EQ(w.Label2->text(), "500.000mV"); // one division of 50 px
    // a move with both buttons held moves both cursors: stay on row 150
    mouse(w, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton | Qt::RightButton, {100, 150});
    mouse(w, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton | Qt::RightButton, {150, 150});
    EXPECT_EQ(w.Label1->text(), "1.000ms / 1.000kHz"); // 50 px of 50000 px/s
    // assistive technology reads the cursor values under their captions
    EXPECT_EQ(testsupport::AccessibleReadout(&w, "Time / Frequ."), QString("1.000ms / 1.000kHz"));
    EXPECT_EQ(testsupport::AccessibleReadout(&w, "Volt"), QString("500.000mV"));
    EXPECT_EQ(w.Bitmap().pixel(100, 250), kBlack);
    EXPECT_EQ(w.Bitmap().pixel(150, 250), kBlack);

    mouse(w, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::RightButton, {150, 150});
    EXPECT_EQ(w.Label1->text(), "Time / Frequ.");
    EXPECT_NE(w.Bitmap().pixel(100, 250), kBlack);
    EXPECT_NE(w.Bitmap().pixel(150, 250), kBlack);
    EXPECT_EQ(w.Label2->text(), "500.000mV"); // the voltage cursors stay
    EXPECT_EQ(w.Bitmap().pixel(400, 150), kBlack);
    mouse(w, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, {300, 150});
    EXPECT_EQ(w.Label2->text(), "Volt");
    EXPECT_NE(w.Bitmap().pixel(400, 150), kBlack);
}

TEST_F(ScopeWindowTest, TracesLeaveVisiblyAtTheTopAndEndAtTheRightEdgeWithoutAPile)
{
    TOszidia w;
    w.resize(501, 431); // 50 px per division vertically
    // 50 us/div: 22 samples of a 1050 Hz sine at 44100 Hz fill the screen,
    // the other 490 lie beyond the right edge
    w.SetupScope(QString(), 512, 0.0005, 0.0, 8.0);
    for (int i = 0; i < 512; ++i)
        w.StoreScopePoint(i, true, 0.0f, 4.0f, 0.1f, 0.1f, float(i / 44100.0),
                          10.0f, float(4.0 + 3.7 * std::sin(2 * M_PI * 1050.0 * i / 44100.0)));
    const QImage &image = w.Bitmap();
    EXPECT_EQ(image.pixel(100, 27), kBlue); // channel 2 at 10 div: 3 px above the plot
    EXPECT_NE(image.pixel(100, 30), kBlue);
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        red += image.pixel(500, y) == kRed;
    EXPECT_GE(red, 1); // the trace reaches the edge ...
    EXPECT_LE(red, 3); // ... with one segment, not +-185 px of piled points

    // X-Y keeps points beyond the edge on it: x = -12 is 11 divisions
    w.SetupScope(QString(), 4, -10.0, 0.0, 8.0);
    for (int i = 0; i < 4; ++i)
        w.StoreScopePoint(i, true, 0.0f, 0.0f, 0.1f, 0.1f, -12.0f, 0.0f, 4.0f);
    EXPECT_EQ(w.Bitmap().pixel(500, 230), kRed);

    // a block captured before the arrays shrank
    w.SetupScope(QString(), 10, 0.01, 0.0, 8.0);
    for (int index : {-1, 10, 511})
        w.StoreScopePoint(index, true, 0.0f, 0.0f, 0.1f, 0.1f, 1.0f, 1.0f, 1.0f);
    ASSERT_EQ(w.Traces().Count(), 10);
    EXPECT_EQ(w.Traces().Y1()[9], 0.0f);
    EXPECT_EQ(display::ScopeTraces().SaveAsText(settings + ".txt", "\\t"), 1000); // no arrays
}

TEST_F(ScopeWindowTest, TheScreenColourComesFromTheSettingsTogglesWithIllumAndIsWrittenBack)
{
    {
        TOszidia w;
        EXPECT_EQ(w.ScreenColour(), 255u);
        w.IllumBut->click();
        EXPECT_EQ(w.ScreenColour(), 0xFFFF00u);
        w.IllumBut->click();
        EXPECT_EQ(w.ScreenColour(), 0x808000u);
        EXPECT_EQ(w.Bitmap().pixel(5, 100), qRgb(0, 0x80, 0x80));
    }
    platform::IniFile ini(settings);
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.get("OSZIPRIV", "COLDIA", ""), "8421376");
    testsupport::WriteFile(settings, "[OSZIPRIV]\nCOLDIA=1\n");
    EXPECT_EQ(TOszidia().ScreenColour(), 0x808000u);
}

} // namespace
