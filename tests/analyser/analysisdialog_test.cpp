// The analysis parameter dialog on its own: loading its section, the order
// and texts of the OK checks, what OK stores, the filter list with "USER"
// loading a correction file before OK, and the section written on close. A
// stored "USER" filter is read by the analysis unit's own test.
#include "dsp/analysis.h"
#include "dialogs/analysisdialog.h"
#include "dsp/weighting.h"
#include "support/appwindows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

namespace {

class AnalysisDialogTest : public testsupport::DialogAnswers {
protected:
    std::string dir, settings;
    std::unique_ptr<TAnaly> dialog;

    void open(const std::string &section)
    {
        dir = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        settings = dir + "/sonmain.ini";
        testsupport::WriteFile(settings, "[MAIN]\nSPRACHE=D\n" + section);
        platform::SetSettingsFileName(settings);
        dialog = std::make_unique<TAnaly>();
    }

    void TearDown() override
    {
        dialog.reset();
        DialogAnswers::TearDown();
    }

    void fill(const char *low, const char *high, const char *fundamental, const char *thresholdDb)
    {
        dialog->Edit1->setText(low);
        dialog->Edit2->setText(high);
        dialog->Edit3->setText(fundamental);
        dialog->Edit4->setText(thresholdDb);
    }

    // OK; returns the message it showed, or "" when the dialog accepted.
    QString ok()
    {
        messages.clear();
        dialog->setResult(QDialog::Rejected);
        dialog->BitBtn1->click();
        if (messages.empty())
            return dialog->result() == QDialog::Accepted ? QString() : QStringLiteral("<not accepted>");
        EXPECT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].kind, platform::MessageKind::Warning);
        EXPECT_FALSE(messages[0].withHelp);
        EXPECT_NE(dialog->result(), QDialog::Accepted);
        return messages[0].text;
    }

    void chooseFilter(const char *item)
    {
        const int index = dialog->ComboBox1->findText(item);
        ASSERT_GE(index, 0) << item;
        dialog->ComboBox1->setCurrentIndex(index);
        emit dialog->ComboBox1->activated(index);
    }
};

} // namespace

TEST_F(AnalysisDialogTest, LoadsItsSectionAndShowsIt)
{
    // the section's own rules (a negative fundamental, 0 Hz) are the analysis unit's
    open("[ANALYSE]\nFUNDAUTO=FALSE\nFUNDAMENTAL=-440\nFVON=0\nFBIS=15000\nFUNDLOW=0.01\nFILTER=A Weighting\n");
    EXPECT_EQ(QStringList({dialog->Edit1->text(), dialog->Edit2->text(), dialog->Edit3->text(),
                           dialog->Edit4->text()}),
              QStringList({"100", "15000", "440", "-40.0"}));
    EXPECT_FALSE(dialog->CheckBox1->isChecked());
    EXPECT_TRUE(dialog->Edit3->isEnabled());
    EXPECT_EQ(dialog->ComboBox1->currentText(), "A Weighting");
    EXPECT_EQ(dialog->ComboBox1->count(), dsp::WeightingItemCount());
    dialog->CheckBox1->setChecked(true);
    EXPECT_FALSE(dialog->Edit3->isEnabled());
}

TEST_F(AnalysisDialogTest, OkChecksTheFieldsInOrderAndStoresNothingOnAFault)
{
    open("[ANALYSE]\nFILTER=none\n");
    const dsp::AnalysisSettings before = dsp::UnitAnalysis().settings();
    ASSERT_FALSE(dialog->Edit3->isEnabled()); // the manual fundamental is checked while disabled
    struct Case {
        const char *low, *high, *fundamental, *threshold, *german, *english;
    };
    const Case cases[] = {
        {"x", "y", "1.5", "3", "Frequenz low nicht korrekt", "Frequency low not correct"},
        {"100", "y", "1.5", "3", "Frequenz high nicht korrekt", "Frequency high not correct"},
        {"20000", "100", "1.5", "3", "Frequenz high sollte größer low sein",
         "Frequency high must be greater then low value"},
        {"100", "100", "1000", "-60", "Frequenz high sollte größer low sein",
         "Frequency high must be greater then low value"},
        {"100", "20000", "1.5", "3", "Grundfrequenz nicht korrekt", "Fundamental not correct"},
        {"100", "20000", "1000", "0.1", "Pegel Schwellwert nicht korrekt", "Treshhold Value not correct"},
        {"100", "20000", "1000", "-6O", "Pegel Schwellwert nicht korrekt", "Treshhold Value not correct"},
    };
    for (char language : {'D', 'E'}) {
        dialog->SetLanguage(language);
        for (const Case &c : cases) {
            fill(c.low, c.high, c.fundamental, c.threshold);
            EXPECT_EQ(ok(), QString::fromUtf8(language == 'D' ? c.german : c.english));
        }
    }
    const dsp::AnalysisSettings &after = dsp::UnitAnalysis().settings();
    EXPECT_EQ(after.lowFreq, before.lowFreq);
    EXPECT_EQ(after.highFreq, before.highFreq);
    EXPECT_EQ(after.threshold, before.threshold);
}

TEST_F(AnalysisDialogTest, OkStoresTheFieldsSelectsTheFilterAndWritesTheSection)
{
    open("[ANALYSE]\nFILTER=none\n");
    dialog->CheckBox1->setChecked(false);
    chooseFilter("A Weighting");
    fill("200", "15000", "997", "-40");
    EXPECT_EQ(ok(), "");
    const dsp::AnalysisSettings &s = dsp::UnitAnalysis().settings();
    EXPECT_EQ(s.lowFreq, 200);
    EXPECT_EQ(s.highFreq, 15000);
    EXPECT_EQ(s.fundamental, 997.0);
    EXPECT_FALSE(s.fundAuto);
    EXPECT_NEAR(s.threshold, 0.01, 1e-12);
    EXPECT_TRUE(dsp::UnitAnalysis().weighting().active());
    EXPECT_NEAR(dsp::UnitAnalysis().weighting().evaluate(100.0), -18.0, 1e-9);
    EXPECT_EQ(testsupport::ReadFile(settings), "[MAIN]\nSPRACHE=D\n[ANALYSE]\nFILTER=A Weighting\nTHDMESS=FALSE\n"
                                               "NOISEMESS=FALSE\nHARMMESS=FALSE\nAES17=0\nFUNDAUTO=FALSE\n"
                                               "FUNDAMENTAL=997\nFVON=200\n"
                                               "FBIS=15000\nFUNDLOW=0.0100000\n");

    fill("200", "15000", "997", "0"); // a threshold of 0 dB is allowed
    EXPECT_EQ(ok(), "");
    EXPECT_EQ(s.threshold, 1.0);
    chooseFilter("none");
    EXPECT_EQ(ok(), "");
    EXPECT_FALSE(dsp::UnitAnalysis().weighting().active());
}

TEST_F(AnalysisDialogTest, UserLoadsTheChosenFileAtOnceAndCancelPutsThePreviousCurveBack)
{
    open("[ANALYSE]\nFILTER=A Weighting\n");
    const double aAt100 = dsp::UnitAnalysis().weighting().evaluate(100.0);
    ASSERT_LT(aAt100, -10.0);
    const std::string cor = dir + "/weight.cor";
    testsupport::WriteFile(cor, "100 -10\n1000 0\n10000 -10\n");

    // a cancelled file dialog leaves the curve as it was
    nextFile.clear();
    chooseFilter("USER");
    ASSERT_EQ(fileDialogs.size(), 1u);
    EXPECT_EQ(fileDialogs[0].filter, "Filter File (*.cor)");
    EXPECT_EQ(dsp::UnitAnalysis().weighting().evaluate(100.0), aAt100);

    nextFile = QString::fromStdString(cor);
    chooseFilter("USER");
    EXPECT_EQ(fileDialogs.size(), 2u);
    const dsp::CorrectionCurve &w = dsp::UnitAnalysis().weighting();
    EXPECT_NEAR(w.evaluate(10000.0), -10.0, 1e-9);

    dialog->BitBtn2->click(); // cancel: the A weighting is back, not the file under its name
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(w.evaluate(100.0), aAt100);
    EXPECT_TRUE(w.active());
    EXPECT_EQ(dsp::UnitAnalysis().settings().filterName, "A Weighting");

    // OK with "USER" switches the loaded curve on and names it
    dialog->FillFromSettings(dsp::UnitAnalysis().settings());
    nextFile = QString::fromStdString(cor);
    chooseFilter("USER");
    EXPECT_EQ(ok(), "");
    EXPECT_EQ(dsp::UnitAnalysis().settings().filterName, "USER");
    EXPECT_TRUE(w.active());
    EXPECT_NEAR(w.evaluate(100.0), -10.0, 1e-9);
    EXPECT_TRUE(messages.empty());
}

