// The audio I/O parameters dialog on virtual cards with chosen formats: which
// buttons it enables, which one it checks, the user rate row, what OK and
// Abort write, and that editing the input never touches the output.
#include "dialogs/iodialog.h"
#include "audio/outputengine.h"
#include "support/audiotestsupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace audio;

namespace {

using Pair = std::pair<int, int>;

Pair Rates()
{
    Pair p;
    GetRates(p.first, p.second);
    return p;
}

Pair Bits()
{
    Pair p;
    GetBits(p.first, p.second);
    return p;
}

class IODialog : public ::testing::Test {
protected:
    void TearDown() override { card_.stop(); }

    void activate(bool forInput)
    {
        dlg_.ForInput = forInput;
        dlg_.FormActivate();
    }
    QRadioButton *button(const char *name) const { return dlg_.findChild<QRadioButton *>(name); }
    // Object names of the enabled grid buttons, or of every checked button.
    std::vector<QString> buttons(bool checkedOnly) const
    {
        std::vector<QString> names;
        for (auto &row : dlg_.Grid)
            for (QRadioButton *b : row)
                if (checkedOnly ? b->isChecked() : b->isEnabled())
                    names.push_back(b->objectName());
        for (QRadioButton *b : dlg_.User)
            if (checkedOnly && b->isChecked())
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
    activate(false);
    EXPECT_EQ(buttons(false), (std::vector<QString>{"b4416", "b4816"}));
    EXPECT_EQ(buttons(true), std::vector<QString>{"b4416"});
    // the default user rate 55200 is not taken: the user row stays disabled
    EXPECT_EQ(dlg_.Edit1->text(), "55200");
    for (QRadioButton *b : dlg_.User)
        EXPECT_FALSE(b->isEnabled());
    EXPECT_EQ(dlg_.windowTitle(), "Wave output options for Virtual loopback 1");
}

TEST_F(IODialog, TypedUserRateIsStoredButTheChoiceStaysWithoutAClick)
{
    card_.start(48000, 16, 16384, {{16, 44100}, {16, 48000}, {16, 12345}});
    SetUserRates(0, 48000);
    activate(false);
    ASSERT_EQ(buttons(true), std::vector<QString>{"bu16"});
    dlg_.Edit1->setText("12345");
    EXPECT_TRUE(buttons(true).empty());
    EXPECT_FALSE(dlg_.User[0]->isEnabled());
    EXPECT_TRUE(dlg_.User[1]->isEnabled());
    dlg_.Edit1->setText("12x45"); // not a number: ignored
    EXPECT_EQ(dlg_.UserRate(), 12345);
    dlg_.BitBtn1->click();
    EXPECT_EQ(dlg_.result(), QDialog::Accepted);
    EXPECT_EQ(Rates().second, 48000);
    EXPECT_EQ(Bits().second, 16);
    int uin, uout;
    GetUserRates(uin, uout);
    EXPECT_EQ(uout, 12345);
    EXPECT_NE(uin, 12345);

    activate(false); // choosing the user button now plays at the user rate
    dlg_.User[1]->setChecked(true);
    dlg_.BitBtn1->click();
    EXPECT_EQ(Rates().second, 12345);
}

TEST_F(IODialog, TwentyFourBitsAreStoredAsThirtyTwoAndShownAsTwentyFour)
{
    card_.start(44100, 16);
    activate(false);
    EXPECT_EQ(buttons(false).size(), 21u); // the card takes every listed format
    button("b4824")->setChecked(true);
    dlg_.BitBtn1->click();
    EXPECT_EQ(OutputSettings(0).Format.wBitsPerSample, 32);
    EXPECT_EQ(OutputSettings(0).Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(InputSettings(0).Format.wBitsPerSample, 16);
    activate(false);
    EXPECT_EQ(buttons(true), std::vector<QString>{"b4824"});
}

TEST_F(IODialog, EditingTheInputNeverTouchesTheOutputFlags)
{
    card_.start(44100, 16);
    SetFlip(false, true);
    SetPhaseInvert(false, false, true, false);
    SetLoop(true);
    activate(true);
    EXPECT_TRUE(dlg_.CheckBox2->isHidden());
    EXPECT_FALSE(dlg_.CheckBox1->isChecked());
    EXPECT_EQ(dlg_.windowTitle(), "Wave input options for Virtual loopback 1");
    dlg_.CheckBox1->setChecked(true);
    dlg_.cbInvPhaseR->setChecked(true);
    button("b968")->setChecked(true);
    dlg_.BitBtn1->click();
    bool fin, fout, il, ir, ol, orr;
    GetFlip(fin, fout);
    GetPhaseInvert(il, ir, ol, orr);
    EXPECT_EQ((std::vector<bool>{fin, fout, il, ir, ol, orr}), (std::vector<bool>{true, true, false, true, true, false}));
    EXPECT_TRUE(GetLoop());
    EXPECT_EQ(Rates(), Pair(96000, 44100));
    EXPECT_EQ(Bits(), Pair(8, 16));
}

TEST_F(IODialog, OutputOkWritesTheLoopFlagAndAbortWritesNothing)
{
    card_.start(44100, 16);
    SetLoop(true);
    for (QPushButton *answer : {dlg_.BitBtn2, dlg_.BitBtn1}) {
        activate(false);
        EXPECT_TRUE(dlg_.CheckBox2->isChecked());
        dlg_.CheckBox2->setChecked(false);
        dlg_.cbInvPhaseL->setChecked(true);
        button("b2216")->setChecked(true);
        answer->click();
        const bool ok = answer == dlg_.BitBtn1;
        EXPECT_EQ(dlg_.result(), ok ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(GetLoop(), !ok);
        bool il, ir, ol, orr;
        GetPhaseInvert(il, ir, ol, orr);
        EXPECT_EQ(ol, ok);
        EXPECT_FALSE(il);
        EXPECT_EQ(Rates(), Pair(44100, ok ? 22050 : 44100));
    }
}

