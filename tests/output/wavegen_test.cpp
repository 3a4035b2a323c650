// The generator window on the ideal virtual card: level bars and "OFF", the
// output correction on sine levels, frequency steps and typing with their
// limits, start and stop with the running colours, wave files played through
// the card (and refused ones), error messages and the "GEN" settings. The
// options button is tried inside the program.
#include "settings/measurementstate.h"
#include "audio/outputengine.h"
#include "generator/wavegen.h"
#include "widgets/filedialog.h"
#include "platform/inifile.h"
#include "widgets/messagebox.h"
#include "widgets/radiogroup.h"
#include "support/audiotestsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <sndfile.h>

using namespace audio;
using audiotest::AmplitudeAt;
using audiotest::Db;
using audiotest::Peak;

namespace {

class WavegenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        card_.start(48000, 16);
        Generator() = GeneratorSettings{};
        app::MS.OutputCorrection.clear();
        platform::SetMessageHandler([this](const platform::MessageRequest &r) { messages_.push_back(r.text); });
    }
    void TearDown() override
    {
        gen_.reset(); // writes its settings while the file name is still ours
        platform::SetMessageHandler({});
        platform::SetFileDialogHandler({});
        app::MS.OutputCorrection.clear();
        card_.stop();
    }
    TWavegen &gen()
    {
        if (!gen_)
            gen_ = std::make_unique<TWavegen>();
        return *gen_;
    }
    // A wave file of `seconds` with a sine per channel (0 Hz: silence); from
    // `switchAt` seconds on, the left sine goes to `fl2`.
    std::string writeWave(const std::string &name, int rate, int channels, double seconds, double fl, double fr,
                          double level, double switchAt = 1e9, double fl2 = 0.0)
    {
        const std::string path = settings_.dir + "/" + name;
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr);
        const long frames = std::lround(seconds * rate);
        std::vector<double> v(static_cast<std::size_t>(frames * channels));
        const double a = std::pow(10.0, level / 20.0);
        for (long k = 0; k < frames; ++k) {
            v[k * channels] = a * std::sin(2 * std::numbers::pi * (k < switchAt * rate ? fl : fl2) * k / rate);
            if (channels > 1)
                v[k * channels + 1] = a * std::sin(2 * std::numbers::pi * fr * k / rate);
        }
        sf_writef_double(f, v.data(), frames);
        sf_close(f);
        return path;
    }

    audiotest::SettingsScratch settings_{"wavegen"};
    audiotest::CardEngine card_;
    std::unique_ptr<TWavegen> gen_;
    std::vector<QString> messages_;
    std::vector<double> left_, right_;
};

} // namespace

TEST_F(WavegenTest, LevelBarsShowOffAtTheBottomAndCorrectionLowersOnlyTheSineSent)
{
    gen().ScrollBar4->setValue(100);
    EXPECT_EQ(gen().Label4->text(), "OFF");
    EXPECT_EQ(Generator().LevelL, -100);
    gen().ScrollBar1->setValue(10);
    EXPECT_EQ(gen().Label6->text(), "-10dB");
    EXPECT_EQ(Generator().LevelR, -10);
    EXPECT_FALSE(OutputRunning()); // moving a bar does not start the output

    ASSERT_TRUE(app::MS.OutputCorrection.setFromTable({{100, 2.0}, {1000, 2.0}, {10000, 2.0}}));
    app::MS.OutputCorrection.setActive(true);
    gen().GstartClick();
    ASSERT_TRUE(OutputRunning());
    EXPECT_EQ(Generator().LevelR, -12);
    EXPECT_EQ(Generator().LevelL, -100); // off stays off
    EXPECT_EQ(gen().ScrollBar1->value(), 10);
    EXPECT_EQ(gen().Label6->text(), "-10dB");
    card_.capture(4800, left_, right_);
    EXPECT_EQ(Peak(left_), 0.0);
    EXPECT_NEAR(Db(AmplitudeAt(right_, 1000, 48000)), -12.0, 0.05);
    gen().RadioGroup1->setItemIndex(1); // a square is not corrected
    EXPECT_EQ(Generator().LevelR, -10);
}

TEST_F(WavegenTest, FrequencyStepsKeepTheirLimits)
{
    struct Case {
        float from;
        void (TWavegen::*step)();
        float to;
    } cases[] = {{101, &TWavegen::GrobSpinDownClick, 101}, // 1 is not above 1
                 {201, &TWavegen::GrobSpinDownClick, 101}, {1, &TWavegen::FeinSpinDownClick, 1},
                 {47900, &TWavegen::GrobSpinUpClick, 47900}, {47900, &TWavegen::FeinSpinUpClick, 47901},
                 {47999, &TWavegen::FeinSpinUpClick, 47999}};
    for (const Case &c : cases) {
        gen().SetFrequency(c.from);
        (gen().*c.step)();
        EXPECT_EQ(gen().ReadFrequency(), c.to) << c.from;
    }
    EXPECT_EQ(gen().GfreqText->text(), "47999.00 Hz");
}

TEST_F(WavegenTest, TypedFrequencyWithHzIsTakenAndOutOfRangeIgnored)
{
    gen().GfreqText->selectAll();
    QTest::keyClicks(gen().GfreqText, "440Hz");
    EXPECT_EQ(gen().ReadFrequency(), 440.0f);
    EXPECT_EQ(gen().GfreqText->text(), "440Hz"); // not redrawn while typing
    // whole texts at once, as a paste
    auto paste = [&](const QString &text) {
        gen().GfreqText->setText(text);
        emit gen().GfreqText->textEdited(text);
    };
    paste("48000");
    EXPECT_EQ(gen().ReadFrequency(), 440.0f);
    paste("0.5");
    EXPECT_EQ(gen().ReadFrequency(), 440.0f);
    paste("47999.5 Hz");
    EXPECT_EQ(gen().ReadFrequency(), 47999.5f);
    paste("440Hz");
    emit gen().GfreqText->editingFinished(); // leaving the field redraws
    EXPECT_EQ(gen().GfreqText->text(), "440.00 Hz");

    // while a stream plays, typing changes what the card hears
    Generator().Loop = false;
    gen().GstartClick();
    gen().GfreqText->selectAll();
    QTest::keyClicks(gen().GfreqText, "3000 Hz");
    EXPECT_EQ(gen().ReadFrequency(), 3000.0f);
    card_.capture(4800, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 3000, 48000)), 0.0, 0.05);
}

TEST_F(WavegenTest, StartAndStopSwitchColoursAndTheOptionsButton)
{
    gen().GstartClick();
    ASSERT_TRUE(gen().Running());
    EXPECT_EQ(gen().Panel1->palette().color(QPalette::Window), QColor(128, 0, 0));
    EXPECT_EQ(gen().GfreqText->palette().color(QPalette::Base), QColor(128, 0, 0));
    EXPECT_FALSE(gen().WOoptBut->isEnabled());
    EXPECT_EQ(gen().PrecOut->text(), "0");
    gen().GstopClick();
    EXPECT_FALSE(gen().Running());
    EXPECT_EQ(gen().Panel1->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_TRUE(gen().WOoptBut->isEnabled());
    EXPECT_TRUE(messages_.empty());
    gen().SetFrequency(1001.7f); // a loop without a whole fit shows its precision
    gen().GstartClick();
    ASSERT_GT(LoopPrecision(), 0);
    EXPECT_EQ(gen().PrecOut->text(), QString::number(LoopPrecision()));
}

TEST_F(WavegenTest, AnEngineErrorIsShownWithTheLanguagesPrefix)
{
    card_.stop();
    card_.start(44100, 16, 16384, {{16, 48000}}); // 44100 Hz refused
    gen().SetLanguage('E');
    gen().GstartClick();
    EXPECT_FALSE(gen().Running());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(messages_[0].startsWith("Error in frequency output (")) << messages_[0].toStdString();
    EXPECT_TRUE(messages_[0].endsWith(" )"));
    EXPECT_EQ(gen().Panel1->palette().color(QPalette::Window), QColor(Qt::black));
    gen().SetLanguage('D');
    gen().GstartClick();
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_TRUE(messages_[1].startsWith("Fehler bei Frequenzausgabe ("));
}

TEST_F(WavegenTest, AMissingWaveFileGivesOneAndItsReasonInTheLog)
{
    gen(); // reads its settings, the user file among them
    Generator().UserFile = settings_.dir + "/missing.wav";
    gen().RadioGroup1->setItemIndex(4);
    EXPECT_EQ(gen().Apply(true, true), 1);
    EXPECT_FALSE(gen().Running());
    EXPECT_FALSE(Generator().FilePlaying);
    gen().GstartClick();
    EXPECT_TRUE(messages_.empty());
    ASSERT_FALSE(AudioLog().empty());
    EXPECT_NE(AudioLog().back().find("missing.wav"), std::string::npos) << AudioLog().back();
    // not a wave file at all
    testsupport::WriteFile(settings_.dir + "/text.wav", "no samples here");
    Generator().UserFile = settings_.dir + "/text.wav";
    EXPECT_EQ(gen().Apply(true, true), 1);
    EXPECT_FALSE(gen().Running());
}

TEST_F(WavegenTest, AWaveFilePlaysThroughTheCardLooped)
{
    // 500 whole periods of 1 kHz, mono: both outputs carry it
    const std::string path = writeWave("tone.wav", 48000, 1, 0.5, 1000, 0, -20);
    platform::SetFileDialogHandler([&](const platform::FileDialogRequest &r) {
        EXPECT_TRUE(r.filter.contains("*.wav"));
        return QString::fromStdString(path);
    });
    gen().UserBut->click();
    EXPECT_EQ(Generator().UserFile, path);
    gen().RadioGroup1->setItemIndex(4);
    gen().GstartClick();
    ASSERT_TRUE(gen().Running());
    EXPECT_TRUE(Generator().FilePlaying);
    EXPECT_FALSE(gen().ScrollBar4->isEnabled());
    EXPECT_FALSE(gen().phL->isEnabled());
    EXPECT_EQ(gen().GfreqText->text(), "tone.wav");
    // longer than the file: the loop wraps inside the capture
    card_.capture(32000, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 1000, 48000)), -20.0, 0.05);
    EXPECT_NEAR(Db(AmplitudeAt(right_, 1000, 48000)), -20.0, 0.05);
    EXPECT_TRUE(AudioLog().empty());

    // switching back to a sine stops the file
    gen().RadioGroup1->setItemIndex(0);
    EXPECT_FALSE(Generator().FilePlaying);
    EXPECT_TRUE(gen().ScrollBar4->isEnabled());
    gen().GstopClick();
    EXPECT_FALSE(gen().Running());
}

TEST_F(WavegenTest, AWaveFileAtAnotherRateIsResampledAndPlaysToItsEnd)
{
    // 2 s stereo at 44100 Hz: 1 kHz left that turns 3 kHz after 1.5 s (beyond
    // what one loop buffer holds), 2 kHz right
    gen();
    Generator().UserFile = writeWave("long.wav", 44100, 2, 2.0, 1000, 2000, -6, 1.5, 3000);
    gen().RadioGroup1->setItemIndex(4);
    ASSERT_EQ(gen().Apply(true, true), 0);
    ASSERT_EQ(AudioLog().size(), 1u);
    EXPECT_NE(AudioLog()[0].find("resampled from 44100 Hz to 48000 Hz"), std::string::npos);
    card_.capture(9600, left_, right_);
    EXPECT_NEAR(Db(AmplitudeAt(left_, 1000, 48000)), -6.0, 0.1);
    EXPECT_NEAR(Db(AmplitudeAt(right_, 2000, 48000)), -6.0, 0.1);
    EXPECT_LT(AmplitudeAt(left_, 2000, 48000), 1e-3);
    // the unpaced card plays as fast as it records: the end of the file comes
    double late = 0.0;
    for (int block = 0; block < 6; ++block) {
        card_.capture(32768, left_, right_);
        for (std::size_t at = 0; at + 4800 <= left_.size(); at += 2400)
            late = std::max(late, AmplitudeAt(std::vector<double>(left_.begin() + at, left_.begin() + at + 4800), 3000, 48000));
    }
    EXPECT_NEAR(Db(late), -6.0, 0.25); // linear interpolation takes a little off 3 kHz
}

TEST_F(WavegenTest, SettingsAreReadAtCreationAndWrittenAtDestruction)
{
    settings_.write("[GEN]\nFGEN=abc\nPHASEL=45\nPHASER=x\nVOLL=-20\nVOLR=-3\nMODE=3\nBELOOP=0\n"
                    "UFNAME=/tmp/a.wav\n");
    EXPECT_EQ(gen().ReadFrequency(), 1000.0f);
    EXPECT_EQ(gen().ScrollBar4->value(), 20);
    EXPECT_EQ(gen().Label4->text(), "-20dB");
    EXPECT_EQ(gen().ScrollBar1->value(), 3);
    EXPECT_EQ(gen().RadioGroup1->itemIndex(), 3);
    EXPECT_EQ(gen().phL->text(), "45");
    EXPECT_EQ(gen().phR->text(), "0");
    EXPECT_FALSE(Generator().Loop);
    EXPECT_EQ(Generator().UserFile, "/tmp/a.wav");

    // the corrected level in the record is not what is saved
    ASSERT_TRUE(app::MS.OutputCorrection.setFromTable({{100, 2.0}, {10000, 2.0}}));
    app::MS.OutputCorrection.setActive(true);
    gen().RadioGroup1->setItemIndex(0);
    gen().SetFrequency(440);
    gen().GstartClick();
    EXPECT_EQ(Generator().LevelL, -22);
    gen_.reset();
    EXPECT_EQ(settings_.get("GEN", "FGEN"), "440.00");
    EXPECT_EQ(settings_.get("GEN", "VOLL"), "-20");
    EXPECT_EQ(settings_.get("GEN", "PHASEL"), "45");
    EXPECT_EQ(settings_.get("GEN", "MODE"), "0");
    EXPECT_EQ(settings_.get("GEN", "BELOOP"), "0");
    EXPECT_EQ(settings_.get("GEN", "UFNAME"), "/tmp/a.wav");
}

TEST_F(WavegenTest, LoopFlagDefaultsOnAndLiftsAFrequencyBelowOneHertz)
{
    settings_.write("[GEN]\nFGEN=0.25\nBELOOP=yes\n");
    Generator().Loop = false;
    EXPECT_EQ(gen().ReadFrequency(), 1.0f);
    EXPECT_TRUE(Generator().Loop);
}


// A wave file's name is kept whole: one cut short would name another file.
TEST_F(WavegenTest, AStoredWaveFileNameIsNeverCut)
{
    const std::string name = "/music/" + std::string(250, 'w') + ".wav";
    settings_.write("[GEN]\nUFNAME=" + name + "\n");
    gen();
    EXPECT_EQ(Generator().UserFile, name);
    gen_.reset();
    EXPECT_EQ(platform::GetPrivateProfileString("GEN", "UFNAME", "", 0, settings_.file), name);
}

// SMPTE chosen in the window plays 60 Hz and 7 kHz at 4:1, the sum's peak at
// the level bar: a1 = 0.8 and a2 = 0.2 of 10^(-6/20) (4800 frames hold whole
// periods of both). A setup the rate cannot carry is refused and said so;
// the setup is stored under keys of its own beside MODE.
TEST_F(WavegenTest, ChoosingSmptePlaysSixtyHertzAndSevenKilohertzAtFourToOne)
{
    settings_.write("[GEN]\nFGEN=440\nVOLL=-6\nVOLR=-6\nBELOOP=0\n");
    gen().TwoToneStd->setCurrentIndex(2);
    gen().TwoToneStd->activated(2); // CCIF first: centre and spacing are its fields
    EXPECT_TRUE(gen().TwoToneCentre->isEnabled());
    EXPECT_FALSE(gen().TwoToneRatio->isEnabled());
    gen().TwoToneStd->setCurrentIndex(0);
    gen().TwoToneStd->activated(0);
    EXPECT_EQ(gen().TwoToneLow->text(), "60");
    EXPECT_EQ(gen().TwoToneHigh->text(), "7000");
    EXPECT_EQ(gen().TwoToneRatio->text(), "4");
    EXPECT_FALSE(gen().TwoToneCentre->isEnabled());
    gen().RadioGroup1->setItemIndex(5);
    gen().GstartClick();
    ASSERT_TRUE(OutputRunning());
    EXPECT_EQ(gen().GfreqText->text(), "SMPTE 60 + 7000 Hz");
    card_.capture(4800, left_, right_);
    const double peak = std::pow(10.0, -6.0 / 20.0);
    for (const std::vector<double> *channel : {&left_, &right_}) {
        EXPECT_NEAR(AmplitudeAt(*channel, 60, 48000), 0.8 * peak, 1e-3);
        EXPECT_NEAR(AmplitudeAt(*channel, 7000, 48000), 0.2 * peak, 1e-3);
        EXPECT_LT(AmplitudeAt(*channel, 440, 48000), 1e-4); // not the sine's frequency
        EXPECT_LT(Peak(*channel), peak + 1e-3);
    }
    EXPECT_EQ(gen().ReadFrequency(), 440.0f); // the sine's frequency is kept

    // 30 kHz cannot be played at 48 kHz: nothing plays, the reason is shown
    gen().TwoToneHigh->setText("30000");
    gen().TwoToneHigh->editingFinished();
    EXPECT_FALSE(OutputRunning());
    EXPECT_TRUE(gen().TwoToneStatus->text().contains("30000")) << gen().TwoToneStatus->text().toStdString();
    EXPECT_TRUE(messages_.empty());
    gen().TwoToneHigh->setText("8000.5");
    gen().TwoToneHigh->editingFinished();
    gen().GstopClick();
    gen_.reset();
    EXPECT_EQ(settings_.get("GEN", "MODE"), "5");
    EXPECT_EQ(settings_.get("GEN", "FGEN"), "440.00");
    EXPECT_EQ(settings_.get("GEN", "TTSTD"), "0");
    EXPECT_EQ(settings_.get("GEN", "TTHIGH"), "8000.500");
    EXPECT_EQ(settings_.get("GEN", "TTRATIO"), "4.000");
    // read back at the next start
    EXPECT_EQ(gen().RadioGroup1->itemIndex(), 5);
    EXPECT_EQ(gen().TwoTone().highHz, 8000.5);
    EXPECT_EQ(gen().TwoToneHigh->text(), "8000.5");
}
