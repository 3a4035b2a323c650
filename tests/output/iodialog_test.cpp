// The audio I/O parameters dialog on virtual cards with chosen formats: which
// buttons it enables, which one it checks, the user rate row, what OK and
// Abort write, and that editing the input never touches the output.
#include "audio/iodialog.h"
#include "audio/outputengine.h"
#include "support/audiotestsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace audio;

namespace {

class IODialog : public ::testing::Test {
protected:
    void TearDown() override { card_.stop(); }

    int enabledInGrid() const
    {
        int n = 0;
        for (auto &row : dlg_.Grid)
            for (QRadioButton *b : row)
                n += b->isEnabled();
        return n;
    }
    std::vector<QString> checked() const
    {
        std::vector<QString> names;
        for (auto &row : dlg_.Grid)
            for (QRadioButton *b : row)
                if (b->isChecked())
                    names.push_back(b->objectName());
        for (QRadioButton *b : dlg_.User)
            if (b->isChecked())
                names.push_back(b->objectName());
        return names;
    }

    audiotest::SettingsScratch settings_{"iodialog"};
    audiotest::CardEngine card_;
    TIOdialog dlg_;
};

} // namespace

TEST_F(IODialog, ADeviceTakingTwoSixteenBitRatesShowsTwoButtons)
{
    card_.start(44100, 16, 16384, {{16, 44100}, {16, 48000}});
    dlg_.ForInput = false;
    dlg_.FormActivate();
    EXPECT_EQ(enabledInGrid(), 2);
    EXPECT_TRUE(dlg_.findChild<QRadioButton *>("b4416")->isEnabled());
    EXPECT_TRUE(dlg_.findChild<QRadioButton *>("b4816")->isEnabled());
    EXPECT_EQ(checked(), std::vector<QString>{"b4416"});
    // the default user rate 55200 is not taken: the user row stays disabled
    EXPECT_EQ(dlg_.Edit1->text(), "55200");
    for (QRadioButton *b : dlg_.User)
        EXPECT_FALSE(b->isEnabled());
    EXPECT_EQ(dlg_.windowTitle(), "Wave output options for Virtual loopback 1");
}

TEST_F(IODialog, AUserRateEqualToTheDeviceRateChecksTheUserButton)
{
    card_.start(44100, 16);
    SetUserRates(0, 44100);
    dlg_.ForInput = false;
    dlg_.FormActivate();
    EXPECT_EQ(checked(), std::vector<QString>{"bu16"});
    EXPECT_TRUE(dlg_.User[1]->isEnabled());
}

TEST_F(IODialog, TypedUserRateIsStoredButTheChoiceStaysWithoutAClick)
{
    card_.start(48000, 16, 16384, {{16, 44100}, {16, 48000}, {16, 12345}});
    SetUserRates(0, 48000);
    dlg_.ForInput = false;
    dlg_.FormActivate();
    ASSERT_EQ(checked(), std::vector<QString>{"bu16"});
    dlg_.Edit1->setText("12345");
    EXPECT_TRUE(checked().empty());
    EXPECT_FALSE(dlg_.User[0]->isEnabled());
    EXPECT_TRUE(dlg_.User[1]->isEnabled());
    EXPECT_EQ(dlg_.UserRate(), 12345);
    dlg_.Edit1->setText("12x45"); // not a number: ignored
    EXPECT_EQ(dlg_.UserRate(), 12345);
    dlg_.BitBtn1->click();
    EXPECT_EQ(dlg_.result(), QDialog::Accepted);
    int rin, rout, uin, uout, bin, bout;
    GetRates(rin, rout);
    GetBits(bin, bout);
    GetUserRates(uin, uout);
    EXPECT_EQ(rout, 48000);
    EXPECT_EQ(bout, 16);
    EXPECT_EQ(uout, 12345);
    EXPECT_NE(uin, 12345);

    // choosing the user button now plays at the user rate
    dlg_.FormActivate();
    dlg_.User[1]->setChecked(true);
    dlg_.BitBtn1->click();
    GetRates(rin, rout);
    EXPECT_EQ(rout, 12345);
}

TEST_F(IODialog, TwentyFourBitsAreStoredAsThirtyTwoAndShownAsTwentyFour)
{
    card_.start(44100, 16);
    dlg_.ForInput = false;
    dlg_.FormActivate();
    EXPECT_EQ(enabledInGrid(), 21); // the card takes every listed format
    dlg_.findChild<QRadioButton *>("b4824")->setChecked(true);
    dlg_.BitBtn1->click();
    EXPECT_EQ(OutputSettings(0).Format.wBitsPerSample, 32);
    EXPECT_EQ(OutputSettings(0).Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(InputSettings(0).Format.wBitsPerSample, 16);
    dlg_.FormActivate();
    EXPECT_EQ(checked(), std::vector<QString>{"b4824"});
}

TEST_F(IODialog, EditingTheInputNeverTouchesTheOutputFlags)
{
    card_.start(44100, 16);
    SetFlip(false, true);
    SetPhaseInvert(false, false, true, false);
    SetLoop(true);
    dlg_.ForInput = true;
    dlg_.FormActivate();
    EXPECT_TRUE(dlg_.CheckBox2->isHidden());
    EXPECT_FALSE(dlg_.CheckBox1->isChecked());
    EXPECT_EQ(dlg_.windowTitle(), "Wave input options for Virtual loopback 1");
    dlg_.CheckBox1->setChecked(true);
    dlg_.cbInvPhaseR->setChecked(true);
    dlg_.findChild<QRadioButton *>("b968")->setChecked(true);
    dlg_.BitBtn1->click();
    bool fin, fout, il, ir, ol, orr;
    GetFlip(fin, fout);
    GetPhaseInvert(il, ir, ol, orr);
    EXPECT_TRUE(fin);
    EXPECT_TRUE(fout);
    EXPECT_FALSE(il);
    EXPECT_TRUE(ir);
    EXPECT_TRUE(ol);
    EXPECT_FALSE(orr);
    EXPECT_TRUE(GetLoop());
    int rin, rout, bin, bout;
    GetRates(rin, rout);
    GetBits(bin, bout);
    EXPECT_EQ(rin, 96000);
    EXPECT_EQ(bin, 8);
    EXPECT_EQ(rout, 44100);
    EXPECT_EQ(bout, 16);
}

TEST_F(IODialog, OutputOkWritesTheLoopFlagAndAbortWritesNothing)
{
    card_.start(44100, 16);
    SetLoop(true);
    dlg_.ForInput = false;
    dlg_.FormActivate();
    EXPECT_FALSE(dlg_.CheckBox2->isHidden());
    EXPECT_TRUE(dlg_.CheckBox2->isChecked());
    dlg_.CheckBox2->setChecked(false);
    dlg_.cbInvPhaseL->setChecked(true);
    dlg_.findChild<QRadioButton *>("b2216")->setChecked(true);
    dlg_.BitBtn2->click();
    EXPECT_EQ(dlg_.result(), QDialog::Rejected);
    EXPECT_TRUE(GetLoop());
    int rin, rout;
    GetRates(rin, rout);
    EXPECT_EQ(rout, 44100);

    dlg_.FormActivate();
    dlg_.CheckBox2->setChecked(false);
    dlg_.cbInvPhaseL->setChecked(true);
    dlg_.findChild<QRadioButton *>("b2216")->setChecked(true);
    dlg_.BitBtn1->click();
    EXPECT_FALSE(GetLoop());
    bool il, ir, ol, orr;
    GetPhaseInvert(il, ir, ol, orr);
    EXPECT_TRUE(ol);
    EXPECT_FALSE(il);
    GetRates(rin, rout);
    EXPECT_EQ(rout, 22050);
    EXPECT_EQ(rin, 44100);
}

TEST_F(IODialog, LanguageSetsBothCheckBoxCaptions)
{
    EXPECT_EQ(dlg_.CheckBox2->text(), "Begin/End Tongenerierung");
    dlg_.SetLanguage('D');
    EXPECT_EQ(dlg_.CheckBox1->text(), QString::fromUtf8("vertausche Kanäle"));
    EXPECT_EQ(dlg_.CheckBox2->text(), "Loop Tongenerierung");
    dlg_.SetLanguage('E');
    EXPECT_EQ(dlg_.CheckBox1->text(), "flip channels");
    EXPECT_EQ(dlg_.CheckBox2->text(), "Loop tone generating");
    dlg_.SetLanguage('X');
    EXPECT_EQ(dlg_.CheckBox2->text(), "Loop tone generating");
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
