// Engine state in the "SDSOUND" section: defaults, stream buffer size, key
// prefixes from device names, flip and 24-bit encodings, unparsable values,
// shared keys of same-named devices; SetDeviceFormat. The one-sided setters
// are used, and checked, by the I/O dialog's tests.
#include "fakebackend.h"
#include "support/audiotestsupport.h"

using namespace audio;

namespace {

class EngineSettings : public ::testing::Test {
protected:
    void TearDown() override
    {
        DoneAudio();
        SelectInputDevice(0);
        SelectOutputDevice(0);
    }
    std::string value(const std::string &key) { return settings_.get("SDSOUND", key); }

    audiotest::SettingsScratch settings_{::testing::UnitTest::GetInstance()->current_test_info()->name()};
    std::shared_ptr<fake::FakeBackend> backend_ = fake::Install(2, 2);
};

} // namespace

// Flip, phase signs and DC offsets start neutral: the capture tests read raw
// samples on an empty file.
TEST_F(EngineSettings, EmptyFileGivesTheDefaults)
{
    ASSERT_EQ(InitAudio(), 0);
    EXPECT_EQ(StreamBufferSize(), 32768);
    for (const WaveDeviceSettings *d : {&InputSettings(1), &OutputSettings(1)}) {
        EXPECT_EQ(d->Format.wBitsPerSample, 16);
        EXPECT_EQ(d->Format.nSamplesPerSec, 44100u);
        EXPECT_EQ(d->Format.nAvgBytesPerSec, 176400u);
        EXPECT_EQ(d->UserRate, 55200);
    }
}

TEST_F(EngineSettings, StreamBufferSizeRules)
{
    struct Case {
        const char *text;
        int size;
    } cases[] = {{"1001", 1000}, {"256", 24576}, {"257", 256}, {"65536", 24576}, {"65535", 65528},
                 {"abc", 24576}, {"4096 x", 24576}, {"8192", 8192}};
    for (const Case &c : cases) {
        settings_.write(std::string("[SDSOUND]\nSINWAVERAM2=") + c.text + "\n");
        ASSERT_EQ(InitAudio(), 0);
        EXPECT_EQ(StreamBufferSize(), c.size) << c.text;
        DoneAudio();
        EXPECT_EQ(value("SINWAVERAM2"), std::to_string(c.size)) << c.text;
    }
}

TEST_F(EngineSettings, KeysUseTheDeviceNameWithBlanksAndBracketsReplaced)
{
    backend_->inputs[0].name = "Line [In] 2";
    backend_->outputs[0].name = "Out [A]";
    ASSERT_EQ(InitAudio(), 0);
    InputSettings(0).DCOffsetL = 0.1234567f;
    InputSettings(0).AutoDCOffset = true;
    InputSettings(0).PhaseSignL = -1;
    OutputSettings(0).PhaseSignR = -1;
    DoneAudio();
    EXPECT_EQ(value("Line_(In)_2db"), "16");
    EXPECT_EQ(value("Line_(In)_2sf"), "44100");
    EXPECT_EQ(value("Line_(In)_2usf"), "55200");
    EXPECT_EQ(value("Line_(In)_2DCoL"), "0.123457");
    EXPECT_EQ(value("Line_(In)_2DCoAuto"), "1");
    // The input phase signs live under the output device's prefix.
    EXPECT_EQ(value("Out_(A)PhiL"), "-1");
    EXPECT_EQ(value("Out_(A)PhiR"), "1");
    EXPECT_EQ(value("Out_(A)PhoR"), "-1");
    EXPECT_EQ(value("Line_(In)_2PhiL"), "<missing>");

    InputSettings(0) = WaveDeviceSettings();
    ASSERT_EQ(InitAudio(), 0);
    EXPECT_NEAR(InputSettings(0).DCOffsetL, 0.123457f, 1e-7);
    EXPECT_TRUE(InputSettings(0).AutoDCOffset);
    EXPECT_EQ(InputSettings(0).PhaseSignL, -1);
    EXPECT_EQ(OutputSettings(0).PhaseSignR, -1);
}

TEST_F(EngineSettings, TwentyFourBitsAreStoredAs32FlipAdds1000AndUnparsableValuesGiveDefaults)
{
    ASSERT_EQ(InitAudio(), 0);
    SelectInputDevice(1);
    SetBits(24, 0);
    SetFlip(true, false);
    int in, out;
    GetBits(in, out);
    EXPECT_EQ(in, 24);
    EXPECT_EQ(InputSettings(1).Format.wBitsPerSample, 32);
    DoneAudio();
    EXPECT_EQ(value("In_1db"), "1032");
    EXPECT_EQ(value("Out_0db"), "16");

    // Unparsable values on device 1 give the defaults.
    settings_.write("[SDSOUND]\nIn_0db=1032\nIn_0sf=96000\nIn_1db=24\nIn_1sf=x\nIn_1usf=44100.0\n"
                    "In_1DCoL=abc\nIn_1DCoAuto=yes\nOut_1PhiL=-\n");
    ASSERT_EQ(InitAudio(), 0);
    EXPECT_TRUE(InputSettings(0).FlipChannels);
    EXPECT_EQ(InputSettings(0).Format.wBitsPerSample, 32);
    EXPECT_EQ(InputSettings(0).Format.nBlockAlign, 8);
    EXPECT_EQ(InputSettings(0).Format.nAvgBytesPerSec, 768000u);
    EXPECT_FALSE(InputSettings(1).FlipChannels);
    EXPECT_EQ(InputSettings(1).Format.wBitsPerSample, 32);
    EXPECT_EQ(InputSettings(1).Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(InputSettings(1).UserRate, 55200);
    EXPECT_EQ(InputSettings(1).DCOffsetL, 0.0f);
    EXPECT_FALSE(InputSettings(1).AutoDCOffset);
    EXPECT_EQ(InputSettings(1).PhaseSignL, 1);
}

TEST_F(EngineSettings, SameNameForInputAndOutputSharesTheFormatKeys)
{
    backend_->inputs[0].name = backend_->outputs[0].name = "Card";
    ASSERT_EQ(InitAudio(), 0);
    InputSettings(0).Format.nSamplesPerSec = 48000;
    OutputSettings(0).Format.nSamplesPerSec = 22050;
    DoneAudio();
    EXPECT_EQ(value("Cardsf"), "22050"); // the output is written last
    ASSERT_EQ(InitAudio(), 0);
    EXPECT_EQ(InputSettings(0).Format.nSamplesPerSec, 22050u);
}

TEST_F(EngineSettings, OutputWithoutInputPartnerIsNotLoadedButSavedUnderItsName)
{
    backend_->outputs.push_back({"Lonely"});
    settings_.write("[SDSOUND]\nLonelysf=8000\n");
    ASSERT_EQ(InitAudio(), 0);
    EXPECT_EQ(OutputSettings(2).Format.nSamplesPerSec, 44100u);
    OutputSettings(2).Format.nSamplesPerSec = 96000;
    DoneAudio();
    EXPECT_EQ(value("Lonelysf"), "96000");
}

TEST_F(EngineSettings, SetDeviceFormatWritesOnlyWhatIsGiven)
{
    WaveDeviceSettings d;
    d.Name = "Keep";
    d.FlipChannels = true;
    d.Format.wFormatTag = 3;
    d.Format.cbSize = 22;
    SetDeviceFormat(d, "", 48000, false, 0, 0);
    EXPECT_EQ(d.Name, "Keep");
    EXPECT_TRUE(d.FlipChannels); // bits 0: flip untouched
    EXPECT_EQ(d.Format.nAvgBytesPerSec, 192000u);
    EXPECT_EQ(d.Format.wFormatTag, 1);
    EXPECT_EQ(d.Format.cbSize, 0);
    SetDeviceFormat(d, "New", 0, false, 24, 0);
    EXPECT_EQ(d.Name, "New");
    EXPECT_FALSE(d.FlipChannels);
    EXPECT_EQ(d.Format.wBitsPerSample, 32);
    EXPECT_EQ(d.Format.nAvgBytesPerSec, 384000u);
    SetDeviceFormat(d, "", 0, true, 8, 1);
    EXPECT_EQ(d.Format.nBlockAlign, 1);
    EXPECT_TRUE(d.FlipChannels);
}

// Names are whatever a card's maker wrote. One with "=", brackets, a line
// break or "%" keeps its settings under a key the file cannot misread: its
// values come back, nothing else is touched, and the file does not grow from
// one run to the next. Control characters never enter the program.
TEST_F(EngineSettings, NamesThatWouldBreakTheFileAreStoredUnderEncodedKeys)
{
    backend_->inputs[0].name = "Studio=Rack 1";
    backend_->outputs[0].name = "Out\n[MAIN]\r\nPAGE=2;#%\x1b[2J\xc2\x85";
    EXPECT_EQ(DeviceName('O', 0), "Out[MAIN]PAGE=2;#%[2J");
    ASSERT_EQ(InitAudio(), 0);
    InputSettings(0).DCOffsetL = 0.25f;
    OutputSettings(0).PhaseSignL = -1;
    DoneAudio();
    EXPECT_EQ(value("Studio%3DRack_1DCoL"), "0.250000");
    EXPECT_EQ(value("Out(MAIN)PAGE%3D2%3B%23%25(2JPhoL"), "-1");
    EXPECT_EQ(settings_.get("MAIN", "PAGE"), "<missing>");
    const std::string once = testsupport::ReadFile(settings_.file);

    InputSettings(0) = WaveDeviceSettings();
    OutputSettings(0) = WaveDeviceSettings();
    ASSERT_EQ(InitAudio(), 0);
    EXPECT_EQ(InputSettings(0).DCOffsetL, 0.25f);
    EXPECT_EQ(OutputSettings(0).PhaseSignL, -1);
    DoneAudio();
    EXPECT_EQ(testsupport::ReadFile(settings_.file), once);
}

// The keys earlier versions wrote for such names are still read, and give
// way to the encoded ones on saving.
TEST_F(EngineSettings, KeysOfEarlierVersionsAreReadAndReplaced)
{
    backend_->inputs[0].name = "USB: Mic #1";
    settings_.write("[SDSOUND]\nUSB:_Mic_#1sf=48000\nUSB:_Mic_#1DCoL=0.5\n");
    ASSERT_EQ(InitAudio(), 0);
    EXPECT_EQ(InputSettings(0).Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(InputSettings(0).DCOffsetL, 0.5f);
    DoneAudio();
    EXPECT_EQ(value("USB%3A_Mic_%231sf"), "48000");
    EXPECT_EQ(value("USB%3A_Mic_%231DCoL"), "0.500000");
    EXPECT_EQ(value("USB:_Mic_#1sf"), "<missing>");
}
