// The sweep setup dialog: typed values repaired on OK, the arrows' limits and
// exact steps, the phase rule of the stereo mode, the capture time of the
// audio formats and the correction file names.
#include "audio/audioengine.h"
#include "widgets/spinbutton.h"
#include "dialogs/sweepdialog.h"
#include "widgets/messagebox.h"
#include "widgets/radiogroup.h"
#include "support/testsupport.h"

#include <QComboBox>
#include <QGroupBox>
#include <QSpinBox>
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

TEST_F(SweepDialogTest, TheLogSweepsFieldsReachTheRecordAndOutOfRangeValuesFallBack)
{
    // Chosen by object name, as a user reaches them by their captions.
    ASSERT_NE(dlg_.findChild<QGroupBox *>("LogSweepBox"), nullptr);
    dlg_.findChild<QRadioButton *>("MethodLog")->click();
    EXPECT_FALSE(dlg_.Esteps->isEnabled()); // the stepped sweep's own fields rest
    EXPECT_TRUE(dlg_.LogSeconds->isEnabled());
    dlg_.LogSeconds->setText("1.25");
    dlg_.LogAverages->setValue(3);
    dlg_.LogWindowMs->setText("20.5");
    dlg_.LogSmoothing->setCurrentIndex(4); // off, 1/48, 1/24, 1/12, 1/6
    dlg_.LogHarmonics->setChecked(false);
    dlg_.SpinButton1->upClick(); // an arrow re-shows the record: typed log fields stay
    EXPECT_EQ(dlg_.LogSeconds->text(), "1.25");
    dlg_.Take(record_);
    const app::LogSweepSettings &g = record_.Log;
    EXPECT_TRUE(g.Method == app::SweepMethod::LogSweep && g.Seconds == 1.25 && g.Averages == 3 &&
                g.WindowMs == 20.5 && g.Smoothing == 6 && !g.Harmonics);

    // Outside their ranges (0.1..60 s, 1..500 ms): the defaults; not a
    // number with a point: the value stays.
    dlg_.LogSeconds->setText("61");
    dlg_.LogWindowMs->setText("501");
    dlg_.Take(record_);
    EXPECT_EQ(record_.Log.Seconds, 3.0);
    EXPECT_EQ(record_.Log.WindowMs, 300.0);
    dlg_.LogWindowMs->setText("20.5");
    dlg_.LogSeconds->setText("0,5");
    dlg_.Take(record_);
    EXPECT_EQ(record_.Log.Seconds, 3.0);
    EXPECT_EQ(record_.Log.WindowMs, 20.5);
    // default keeps the method chosen and restores the rest.
    dlg_.defaultBtn->click();
    EXPECT_TRUE(dlg_.MethodLog->isChecked());
    EXPECT_TRUE(dlg_.LogSmoothing->currentIndex() == 0 && dlg_.LogAverages->value() == 1);
    dlg_.MethodStepped->click();
    dlg_.Take(record_);
    EXPECT_EQ(record_.Log.Method, app::SweepMethod::Stepped);
}

TEST_F(SweepDialogTest, OkRefusesALogSweepTooShortForItsHarmonicsAndSaysHowLongItMustBe)
{
    std::vector<QString> messages;
    platform::SetMessageHandler([&](const platform::MessageRequest &m) { messages.push_back(m.text); });
    audio::SetRates(48000, 48000);
    record_.FreqFrom = 20;
    record_.FreqTo = 20000;
    record_.Log.Method = app::SweepMethod::LogSweep;
    record_.Log.Harmonics = true;
    record_.Log.Seconds = 0.5;
    open();
    // H5 lies L ln 5 before the linear response and H6 L ln 6: apart by
    // L ln 1.2, which must reach one period of 20 Hz (50 ms), so 20 Hz·L
    // >= 1/ln 1.2 = 5.48 cycles, taken whole: 6, L = 0.3 s, and the sweep
    // lasts L ln 1000 = 2.07 s, said rounded up.
    dlg_.show();
    dlg_.OKBtn->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains("mindestens 2.1 s")) << messages[0].toStdString();
    EXPECT_TRUE(dlg_.isVisible());
    EXPECT_EQ(dlg_.result(), 0);

    dlg_.SetLanguage('E');
    dlg_.OKBtn->click();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].contains("at least 2.1 s")) << messages[1].toStdString();

    // Without harmonics the linear response still keeps a period of 20 Hz
    // from where H2 would lie, L ln 2 before it: 20 Hz·L >= 1/ln 2 = 1.44,
    // whole: 2, L = 0.1 s, 0.69 s long.
    dlg_.LogHarmonics->setChecked(false);
    dlg_.OKBtn->click();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[2].contains("at least 0.7 s")) << messages[2].toStdString();
    dlg_.LogSeconds->setText("0.75");
    dlg_.OKBtn->click();
    EXPECT_EQ(messages.size(), 3u);
    EXPECT_EQ(dlg_.result(), QDialog::Accepted);
    platform::SetMessageHandler({});
    audio::SetRates(0, 0);
}

// The distortion sweep's fields: enabled with its method only; each axis
// keeps its own range while the other is shown; typed values reach the
// record, bad ones fall back to the defaults; every field has a caption.
TEST_F(SweepDialogTest, TheDistortionSweepsFieldsReachTheRecordPerAxis)
{
    auto *box = dlg_.findChild<QGroupBox *>("DistortionSweepBox");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isEnabled());
    dlg_.findChild<QRadioButton *>("MethodDistortion")->setChecked(true);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(dlg_.Esteps->isEnabled()); // the stepped sweep's own fields
    auto *from = box->findChild<QLineEdit *>("DistFrom");
    auto *to = box->findChild<QLineEdit *>("DistTo");
    auto *vs = box->findChild<QComboBox *>("DistVs");
    from->setText("100");
    to->setText("8000");
    box->findChild<QSpinBox *>("DistSteps")->setValue(12);
    box->findChild<QSpinBox *>("DistLevel")->setValue(-12);
    vs->setCurrentIndex(1); // against level: the dB range shows
    EXPECT_EQ(from->text(), "-60");
    EXPECT_FALSE(box->findChild<QSpinBox *>("DistSteps")->isEnabled());
    EXPECT_TRUE(box->findChild<QLineEdit *>("DistFrequency")->isEnabled());
    from->setText("-40");
    to->setText("-10");
    box->findChild<QSpinBox *>("DistStepDb")->setValue(5);
    box->findChild<QLineEdit *>("DistFrequency")->setText("997.5");
    box->findChild<QCheckBox *>("DistHarmonics")->setChecked(false);
    vs->setCurrentIndex(0);
    EXPECT_EQ(from->text(), "100"); // the frequency range as typed
    vs->setCurrentIndex(1);

    app::SweepSettings r;
    dlg_.Take(r);
    EXPECT_TRUE(r.Log.Method == app::SweepMethod::Distortion);
    const app::DistortionSweepSettings &d = r.Dist;
    EXPECT_TRUE(d.Vs == app::DistortionAxis::Level);
    EXPECT_EQ(d.FromHz, 100);
    EXPECT_EQ(d.ToHz, 8000);
    EXPECT_EQ(d.Steps, 12);
    EXPECT_EQ(d.LevelDb, -12);
    EXPECT_EQ(d.FromDb, -40);
    EXPECT_EQ(d.ToDb, -10);
    EXPECT_EQ(d.StepDb, 5);
    EXPECT_EQ(d.FrequencyHz, 997.5);
    EXPECT_FALSE(d.Harmonics);

    // A range that would clip, and a frequency that is no number, fall back.
    to->setText("6");
    box->findChild<QLineEdit *>("DistFrequency")->setText("1,5");
    dlg_.Take(r);
    EXPECT_EQ(r.Dist.FromDb, -60);
    EXPECT_EQ(r.Dist.ToDb, 0);
    EXPECT_EQ(r.Dist.FrequencyHz, 1000.0); // not taken: the value the dialog opened with

    for (const char *name : {"DistVs", "DistFrom", "DistTo", "DistSteps", "DistStepDb", "DistLevel", "DistFrequency",
                             "DistSettle", "DistUnit", "DistLoad"}) {
        QWidget *w = box->findChild<QWidget *>(name);
        bool captioned = false;
        for (QLabel *l : box->findChildren<QLabel *>())
            captioned = captioned || (l->buddy() == w && !l->text().isEmpty());
        EXPECT_TRUE(captioned) << name;
    }
}

// The two-tone level sweep: the dB range, no tone of its own, no harmonics;
// the level axis's unit and the load, which counts for W only. A load out of
// range falls back to 8 Ω, one that is no number is not taken.
TEST_F(SweepDialogTest, TheTwoToneLevelSweepAndTheLevelAxisUnitReachTheRecord)
{
    auto *box = dlg_.findChild<QGroupBox *>("DistortionSweepBox");
    auto *vs = box->findChild<QComboBox *>("DistVs");
    auto *unit = box->findChild<QComboBox *>("DistUnit");
    auto *load = box->findChild<QLineEdit *>("DistLoad");
    ASSERT_TRUE(vs && unit && load && vs->count() == 3 && unit->count() == 4);
    dlg_.SetLanguage('E');
    EXPECT_EQ(vs->itemText(2), "Two-tone level (IMD)");
    dlg_.SetLanguage('D');
    EXPECT_EQ(vs->itemText(2), "Zweiton-Pegel (IMD)");
    dlg_.findChild<QRadioButton *>("MethodDistortion")->setChecked(true);
    vs->setCurrentIndex(2);
    EXPECT_TRUE(box->findChild<QSpinBox *>("DistStepDb")->isEnabled());
    EXPECT_FALSE(box->findChild<QLineEdit *>("DistFrequency")->isEnabled());
    EXPECT_FALSE(box->findChild<QCheckBox *>("DistHarmonics")->isEnabled());
    EXPECT_FALSE(load->isEnabled());
    unit->setCurrentIndex(3);
    EXPECT_TRUE(load->isEnabled());
    box->findChild<QLineEdit *>("DistFrom")->setText("-30");
    load->setText("4.7");
    app::SweepSettings r;
    dlg_.Take(r);
    EXPECT_TRUE(r.Dist.Vs == app::DistortionAxis::Imd && r.Dist.Unit == app::DistortionUnit::Watt);
    EXPECT_EQ(r.Dist.LoadOhms, 4.7);
    EXPECT_EQ(r.Dist.FromDb, -30);
    dlg_.Open(r, dsp::CorrectionCurve(), dsp::CorrectionCurve()); // shown again as taken
    EXPECT_TRUE(vs->currentIndex() == 2 && unit->currentIndex() == 3 && load->text() == "4.7");
    for (const char *bad : {"0", "-8", "4,7"}) {
        load->setText(bad);
        dlg_.Take(r);
        EXPECT_EQ(r.Dist.LoadOhms, bad[1] == ',' ? 4.7 : 8.0) << bad;
    }
}
