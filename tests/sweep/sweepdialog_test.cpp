// The sweep setup dialog: typed values repaired on OK, the arrows' limits and
// exact steps, the phase rule of the stereo mode, the capture time of the
// audio formats and the correction file names.
#include "audio/audioengine.h"
#include "widgets/spinbutton.h"
#include "dialogs/sweepdialog.h"
#include "widgets/radiogroup.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class SweepDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        record_.FreqFrom = 10;
        record_.FreqTo = 20000;
        record_.Sweeping = record_.PageShown = true;
        record_.CurrentStep = 7;
        record_.Title = "run title";
        record_.YMax = 3.0f;
        record_.YMin = -30.0f;
        open();
    }
    void open() { dlg_.Open(record_, input_, output_); }
    static void click(SpinButton *s, int times, bool up)
    {
        for (int i = 0; i < times; ++i)
            up ? s->upClick() : s->downClick();
    }

    Twobbeldlg dlg_;
    app::SweepSettings record_;
    dsp::CorrectionCurve input_, output_;
};

} // namespace

TEST_F(SweepDialogTest, TakeRepairsTypedValuesAndKeepsTheRunFields)
{
    dlg_.digPeg->setText("-12.5");
    dlg_.Efrom->setText("20000"); // not below To yet: the edit keeps 10
    dlg_.Eto->setText("100");
    EXPECT_EQ(dlg_.Record().FreqFrom, 10);
    EXPECT_EQ(dlg_.Record().FreqTo, 100);
    dlg_.EPmin->setText("50");
    dlg_.EPmax->setText("50");
    dlg_.Sstart->setText("200000");
    dlg_.Take(record_);
    EXPECT_EQ(record_.FreqFrom, 20000);
    EXPECT_EQ(record_.FreqTo, 20100);
    EXPECT_FLOAT_EQ(record_.PhaseMin, 49.0f);
    EXPECT_FLOAT_EQ(record_.PhaseMax, 50.0f);
    EXPECT_EQ(record_.SettleMs, 100000);
    EXPECT_FLOAT_EQ(record_.LevelDig, -12.5f);
    EXPECT_TRUE(record_.Sweeping && record_.PageShown && record_.CurrentStep == 7 && record_.Title == "run title");
    EXPECT_TRUE(record_.YMax == 3.0f && record_.YMin == -30.0f);

    // Out of range and unreadable values; the start stays below the top frequency.
    open();
    dlg_.EPmin->setText("-300");
    dlg_.EPmax->setText("300");
    dlg_.digPeg->setText("-350");
    dlg_.Sstart->setText("fast");
    dlg_.Efrom->setText("99999999999");
    dlg_.Eto->setText("60000");
    dlg_.Esteps->setText("0");
    dlg_.Take(record_);
    EXPECT_FLOAT_EQ(record_.PhaseMin, -180.0f);
    EXPECT_FLOAT_EQ(record_.PhaseMax, 180.0f);
    EXPECT_FLOAT_EQ(record_.LevelDig, -200.0f);
    EXPECT_EQ(record_.SettleMs, 100000);
    EXPECT_EQ(record_.FreqFrom, 20000);
    EXPECT_EQ(record_.FreqTo, 55200);
    EXPECT_EQ(record_.Steps, 1);

    // No more steps than the arrows reach: a count near 2^31 would overflow
    // the run's step counters.
    open();
    dlg_.Esteps->setText("2147483647");
    dlg_.Take(record_);
    EXPECT_EQ(record_.Steps, 1000);
}

TEST_F(SweepDialogTest, ArrowsAndKeysStepWithinTheirLimits)
{
    dlg_.Esteps->setText("600");
    EXPECT_EQ(dlg_.Record().Steps, 50);
    dlg_.Esteps->setText("511");
    EXPECT_EQ(dlg_.Record().Steps, 511);
    click(dlg_.SpinButton3, 489, true);
    EXPECT_EQ(dlg_.Esteps->text(), "1000");
    click(dlg_.SpinButton3, 1, true);
    EXPECT_EQ(dlg_.Record().Steps, 1000);

    dlg_.Efrom->setText("15");
    QTest::keyClick(dlg_.Efrom, Qt::Key_Up); // 25, down to a multiple of ten
    EXPECT_EQ(dlg_.Efrom->text(), "20");
    click(dlg_.SpinButton1, 2, false); // 10, then 1 instead of 0
    EXPECT_EQ(dlg_.Record().FreqFrom, 1);
    dlg_.Eto->setText("100");
    QTest::keyClick(dlg_.Eto, Qt::Key_Down); // 1 + 100 is not below 100
    EXPECT_EQ(dlg_.Record().FreqTo, 100);

    click(dlg_.SpinBpmax, 200, false);
    EXPECT_EQ(dlg_.EPmax->text(), "0");
    click(dlg_.SpinBpmin, 200, true);
    EXPECT_EQ(dlg_.EPmin->text(), "0");
    click(dlg_.SpinButton5, 200, false);
    EXPECT_EQ(dlg_.Sstart->text(), "0");
}

TEST_F(SweepDialogTest, LevelStepsInTenthsAndShowsOffAtMinus100)
{
    click(dlg_.SpinButton4, 1000, false);
    EXPECT_EQ(dlg_.Record().LevelDig, -100.0f);
    EXPECT_EQ(dlg_.digPeg->text(), "Off");
    click(dlg_.SpinButton4, 1, false);
    EXPECT_EQ(dlg_.digPeg->text(), "Off");
    QTest::keyClick(dlg_.digPeg, Qt::Key_Up);
    EXPECT_EQ(dlg_.digPeg->text(), "-99.9");
    click(dlg_.SpinButton4, 999, true);
    EXPECT_EQ(dlg_.digPeg->text(), "0.0");
    click(dlg_.SpinButton4, 1, true);
    EXPECT_EQ(dlg_.Record().LevelDig, 0.0f);
    record_.LevelDig = -100.0f;
    open();
    EXPECT_EQ(dlg_.digPeg->text(), "Off");
    dlg_.Take(record_); // "Off" does not parse: the level stays
    EXPECT_FLOAT_EQ(record_.LevelDig, -100.0f);
}

TEST_F(SweepDialogTest, StereoModeHasNoPhaseAndDefaultRestoresTheSetup)
{
    dlg_.PhaseBut->setChecked(true);
    EXPECT_TRUE(dlg_.Record().PhaseOn);
    dlg_.MessungRb->setItemIndex(2);
    EXPECT_FALSE(dlg_.PhaseBut->isChecked());
    EXPECT_FALSE(dlg_.PhaseBut->isEnabled() || dlg_.EPmin->isEnabled() || dlg_.SpinBpmax->isEnabled());
    dlg_.PhaseBut->setChecked(true);
    EXPECT_FALSE(dlg_.PhaseBut->isChecked());
    dlg_.linearbut->setChecked(true);
    dlg_.Take(record_);
    EXPECT_EQ(record_.Mode, 2);
    EXPECT_FALSE(record_.PhaseOn);
    EXPECT_TRUE(record_.Linear);

    open();
    dlg_.MessungRb->setItemIndex(1);
    EXPECT_TRUE(dlg_.PhaseBut->isEnabled() && dlg_.EPmax->isEnabled());
    dlg_.Eto->setText("30000");
    dlg_.digPeg->setText("-6");
    dlg_.defaultBtn->click();
    EXPECT_TRUE(dlg_.Eto->text() == "20000" && dlg_.Efrom->text() == "10" && dlg_.digPeg->text() == "0.0");
    EXPECT_EQ(dlg_.MessungRb->itemIndex(), 0);
    EXPECT_TRUE(dlg_.linearbut->isChecked()); // the spacing is no default
}

TEST_F(SweepDialogTest, TimeLabelAndCorrectionFiles)
{
    audio::SetRates(44100, 44100);
    audio::SetBits(16, 16);
    open(); // output 262144000/(2*2*44100) = 1486, input 262144000/(8*44100) = 743
    EXPECT_EQ(dlg_.messzeit->text(), "743ms");
    audio::SetRates(44100, 96000);
    audio::SetBits(16, 24); // stored as 32, counted as 24
    open(); // output 262144000/(3*2*96000) = 455
    EXPECT_EQ(dlg_.messzeit->text(), "455ms");

    const std::string dir = testsupport::ScratchDir("sweepdialog");
    ASSERT_TRUE(input_.loadFromFile(dir + "/in.cor"));
    ASSERT_TRUE(output_.loadFromFile(dir + "/out.cor"));
    input_.setActive(true);
    open();
    EXPECT_EQ(dlg_.Label4->text().toStdString(), dir + "/in.cor");
    EXPECT_EQ(dlg_.Label5->text().toStdString(), dir + "/out.cor");
    EXPECT_TRUE(dlg_.Label4->isEnabled());
    EXPECT_FALSE(dlg_.Label5->isEnabled());
}
