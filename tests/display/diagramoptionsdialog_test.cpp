// The options dialog wired to a diagram as the program wires them, and the
// scale dialog: typed ranges, peak/difference exclusion, colours, the
// stepping guard, the settings round trip and the readout scale.
#include "display/diagramoptionsdialog.h"
#include "display/diagramwindow.h"
#include "display/scaledialog.h"
#include "widgets/colordialog.h"
#include "widgets/radiogroup.h"
#include "platform/runtime/utilities.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace display;

namespace {

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetSettingsFileName(settings);
        Open();
    }
    void TearDown() override
    {
        d.reset();
        platform::SetColourDialogHandler({});
        platform::SetSettingsFileName({});
    }
    void Open()
    {
        d = std::make_unique<TDiagramm>();
        d->resize(600, 400);
        std::int32_t xmin = 10, xmax = 24000;
        float ymin = -100.0f, ymax = 0.0f;
        ASSERT_FALSE(d->SetupDiagram(QString(), 100, xmin, xmax, ymin, ymax));
        dlg.SetTarget(d.get());
        d->SetOptionsEditor(&dlg);
        d->ShowOptions();
    }
    static void Type(QLineEdit *e, const QString &text)
    {
        e->setText(text);
        QCoreApplication::processEvents();
    }

    const std::string settings = testsupport::ScratchDir("optionsdialog") + "/sonmain.ini";
    Tdiadlg dlg;
    std::unique_ptr<TDiagramm> d;
};

} // namespace

TEST_F(OptionsDialog, RangesTypedDigitByDigitRedrawAtOnceAndLoadingPostsNothing)
{
    QSignalSpy applied(d.get(), &TDiagramm::optionsApplied);
    dlg.Edit2->clear();
    std::vector<std::int32_t> seen;
    for (QChar digit : QStringLiteral("5000")) {
        QTest::keyClick(dlg.Edit2, digit.toLatin1());
        QCoreApplication::processEvents();
        seen.push_back(d->Axes().XMax);
    }
    EXPECT_EQ(seen, (std::vector<std::int32_t>{24000, 50, 500, 5000})); // 5 is not above 10 Hz
    EXPECT_EQ(applied.count(), 4);

    QTest::keyClicks(dlg.Edit3, "123"); // three changes before the diagram looks: one redraw
    QCoreApplication::processEvents();
    EXPECT_EQ(applied.count(), 5);
    EXPECT_EQ(d->Axes().Y2Min, d->Axes().YMin); // the hidden right axis follows
    d->SpinButtonYmaxUpClick(); // the dialog follows the diagram's range without posting
    QCoreApplication::processEvents();
    EXPECT_EQ(applied.count(), 5);
    EXPECT_EQ(dlg.Edit4->text(), "20.000"); // NiceStep(100 / 10) = 20
}

TEST_F(OptionsDialog, RangesAndCurvesSetByAPageReachTheOpenDialogBeforeItsNextChange)
{
    // Another page sets the diagram up while the dialog is open (as the sweep
    // page does on entry): new ranges, a second curve.
    d->ResetDiagram();
    std::int32_t xmin = 20, xmax = 22000;
    float ymin = -45.0f, ymax = 5.0f;
    ASSERT_FALSE(d->SetupDiagram(QString(), 50, xmin, xmax, ymin, ymax));
    d->SetCurvesVisible(true, true);
    EXPECT_EQ(dlg.Edit1->text(), "20");
    EXPECT_EQ(dlg.Edit4->text(), "5.000");

    dlg.CheckBox2->click(); // "Peak L 1": the dialog's next change
    QCoreApplication::processEvents();
    const DiagramAxes &a = d->Axes();
    EXPECT_EQ(std::vector<float>({float(a.XMin), float(a.XMax), a.YMin, a.YMax}),
              std::vector<float>({20.0f, 22000.0f, -45.0f, 5.0f}));
    EXPECT_TRUE(d->Options().PeakK1 && d->Options().ShowK2);
}

TEST_F(OptionsDialog, PeakHoldAndDifferenceExcludeEachOther)
{
    dlg.ComboBox1->setCurrentIndex(DifK1MinusK2);
    dlg.CheckBox2->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(d->Options().DifMode, DifNone);
    EXPECT_EQ(dlg.ComboBox1->currentIndex(), 0);
    EXPECT_TRUE(d->Options().PeakK1);
    dlg.CheckBox3->click();
    dlg.ComboBox1->setCurrentIndex(DifK1PlusK2);
    QCoreApplication::processEvents();
    EXPECT_FALSE(d->Options().PeakK1 || d->Options().PeakK2 || dlg.CheckBox3->isChecked());
    EXPECT_EQ(d->Options().DifMode, DifK1PlusK2);
}

TEST_F(OptionsDialog, ColoursChangeTheDiagramAtOnceDefaultsKeepCursorAndText)
{
    std::optional<QColor> answer = QColor(10, 200, 30);
    platform::SetColourDialogHandler([&](const QColor &) { return answer; });
    dlg.Button[0]->click(); // diagram colour
    QCoreApplication::processEvents();
    d->DrawDiagram(d->Bitmap(), false);
    const PixelRect &r = d->Layout().Plot;
    EXPECT_EQ(d->Bitmap().pixel(r.Left + 5, r.Top + 5), qRgb(10, 200, 30));
    EXPECT_EQ(d->Options().ColDiagram, 0x1EC80Au);

    answer.reset(); // cancelled: nothing changes
    dlg.Button[0]->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(d->Options().ColDiagram, 0x1EC80Au);

    DiagramOptions o = d->Options();
    o.ColCursor = 0x111111;
    o.ColText = 0x222222;
    o.ColLine3 = 0x333333;
    d->ApplyOptions(o);
    d->ShowOptions();
    dlg.coldefault->click();
    dlg.CloseBut->click(); // closing keeps every change
    QCoreApplication::processEvents();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(d->Options().ColDiagram, kDefaultColDiagram);
    EXPECT_EQ(d->Options().ColLine3, kDefaultColLine3);
    EXPECT_EQ(d->Options().ColCursor, 0x111111u);
    EXPECT_EQ(d->Options().ColText, 0x222222u);
}

TEST_F(OptionsDialog, StepMustBeAFinitePositiveNumberAndSettingsRoundTrip)
{
    dlg.CheckBox1->click(); // manual stepping
    for (const char *bad : {"0", "-5", "1e39", "inf", "nan"}) {
        Type(dlg.Edit5, bad);
        EXPECT_EQ(d->Options().YStep, 5.0f) << bad;
    }
    Type(dlg.Edit3, "-1e39");
    EXPECT_EQ(d->Axes().YMin, -100.0f);
    Type(dlg.Edit5, "2.5");
    Type(dlg.Edit6, ";");
    dlg.LogDia->click();
    dlg.MessVon->setItemIndex(2);
    QCoreApplication::processEvents();
    d->SpinButtonYminUpClick();
    EXPECT_EQ(d->Axes().YMin, -97.5f);

    d.reset(); // writes DIAGPRIV
    Open();
    const DiagramOptions &o = d->Options();
    EXPECT_FALSE(o.YStepAuto);
    EXPECT_EQ(o.YStep, 2.5f);
    EXPECT_EQ(o.Separator, ";");
    EXPECT_FALSE(o.LogX);
}

TEST(ScaleDialog, AFactorOfZeroOrTextThatDoesNotParseIsNotTakenDefaultRestoresHz)
{
    TSkalDia dlg;
    dlg.Record = {2.0f, 5.0f, "mm"};
    dlg.show();
    EXPECT_EQ(dlg.Edit1->text(), " 2.00000000000000E+0000");
    dlg.Edit1->setText("0");
    dlg.Edit2->setText("x");
    dlg.BitBtn1Click();
    EXPECT_EQ(dlg.Record.Factor, 2.0f);
    EXPECT_EQ(dlg.Record.Offset, 5.0f);
    dlg.Default->click();
    // Only the edits can bring 1, 0 and Hz back: their own notation parses.
    dlg.Record = {3.0f, -7.0f, "mm"};
    dlg.BitBtn1Click();
    EXPECT_EQ(dlg.Record.Factor, 1.0f);
    EXPECT_EQ(dlg.Record.Offset, 0.0f);
    EXPECT_EQ(dlg.Record.Unit, "Hz");
    dlg.Record = {-0.25f, 1.25e4f, "s"};
    dlg.hide();
    dlg.show();
    EXPECT_EQ(dlg.Edit1->text(), "-2.50000000000000E-0001");
    EXPECT_EQ(dlg.Edit2->text(), " 1.25000000000000E+0004");
    dlg.Record = {};
    dlg.BitBtn1Click();
    EXPECT_EQ(dlg.Record.Factor, -0.25f);
    EXPECT_EQ(dlg.Record.Offset, 1.25e4f);
}
