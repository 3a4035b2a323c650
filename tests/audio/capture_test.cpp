// One-block capture through a scripted device: conversion (scales, overloads,
// channel order, phase signs, DC offsets), the one-capture-at-a-time rule,
// failures between open and start that must release the device, and devices
// that fail or go silent during a capture.
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "audio/tdummy.h"
#include "fakebackend.h"
#include "platform/utilities.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <climits>

using namespace audio;

namespace {

template <typename T> std::vector<char> bytesOf(const std::vector<T> &samples)
{
    std::vector<char> b(samples.size() * sizeof(T));
    std::memcpy(b.data(), samples.data(), b.size());
    return b;
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = testsupport::ScratchDir("capture");
        platform::SetSettingsFileName(dir_ + "/sonmain.ini");
        backend_ = fake::Install(1, 1);
        window_ = std::make_unique<Tdummy>();
        ASSERT_EQ(InitAudio(), 0);
        SelectInputDevice(0);
        AudioLog().clear();
    }
    void TearDown() override
    {
        DoneAudio();
        window_.reset();
        platform::SetSettingsFileName("");
    }

    void setBits(int bits) { InputSettings(0).Format.wBitsPerSample = static_cast<std::uint16_t>(bits == 24 ? 32 : bits); }

    // Pumps messages until the callback ran or `ms` passed; returns the calls.
    int waitForCallbacks(int ms = 2000)
    {
        QElapsedTimer t;
        t.start();
        while (calls_ == 0 && t.elapsed() < ms)
            platform::DelayMs(1);
        platform::DelayMs(5); // a second, wrong callback would show up here
        return calls_;
    }

    // Captures `frames` frames of the scripted data and converts them.
    std::vector<float> capture(int frames, int *overloads = nullptr, std::uint32_t user = 0)
    {
        calls_ = 0;
        EXPECT_EQ(StartCapture(frames, user, [this] { ++calls_; }), 0);
        EXPECT_EQ(waitForCallbacks(), 1);
        int count = 0, over = 0;
        std::uint32_t back = 0;
        const float *block = FinishCapture(count, over, back);
        EXPECT_NE(block, nullptr);
        EXPECT_EQ(back, user);
        if (overloads)
            *overloads = over;
        return block ? std::vector<float>(block, block + count) : std::vector<float>();
    }

    std::string dir_;
    std::shared_ptr<fake::FakeBackend> backend_;
    std::unique_ptr<Tdummy> window_;
    int calls_ = 0;
};

} // namespace

TEST_F(Capture, SixteenBitSilenceAndPositiveClip)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>(512, 0));
    int over = -1;
    std::vector<float> v = capture(256, &over, 0x12345678);
    ASSERT_EQ(v.size(), 512u);
    for (float x : v)
        ASSERT_EQ(x, 0.0f);
    EXPECT_EQ(over, 0);

    std::vector<std::int16_t> s(8, 0);
    s[2] = 32767;  // first sample of frame 1
    s[5] = -32768; // second sample of frame 2
    s[6] = -32767;
    backend_->script.data = bytesOf(s);
    v = capture(4, &over);
    EXPECT_EQ(over, 2);
    EXPECT_EQ(v[3], 32767.0f / 32768.0f); // flip off: first sample at the odd position
    EXPECT_EQ(v[4], -1.0f);
    EXPECT_EQ(v[7], -32767.0f / 32768.0f);
}

TEST_F(Capture, EightBitScaleAndOverloads)
{
    setBits(8);
    backend_->script.data = {char(128), char(0), char(255), char(1)};
    int over = 0;
    std::vector<float> v = capture(2, &over);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[1], 0.0f);
    EXPECT_EQ(v[0], -1.0f);
    EXPECT_EQ(v[3], 127.0f / 128.0f);
    EXPECT_EQ(v[2], -127.0f / 128.0f);
    EXPECT_EQ(over, 2);
}

TEST_F(Capture, TwentyFourBitFullScaleIsNoOverloadButTheContainerEndsAre)
{
    setBits(24);
    backend_->script.data = bytesOf(std::vector<std::int32_t>{2147483392, INT_MIN, INT_MAX, -2147483647});
    int over = 0;
    std::vector<float> v = capture(2, &over);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(over, 3);
    EXPECT_EQ(v[1], static_cast<float>(2147483392.0 / 2147483647.0));
    EXPECT_EQ(v[3], 1.0f);
    EXPECT_EQ(v[2], -1.0f);
    EXPECT_EQ(int(backend_->script.lastFormat.nBlockAlign), 8);
}

TEST_F(Capture, ChannelOrderFollowsTheFlipSwitch)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>{16384, -8192});
    std::vector<float> v = capture(1);
    EXPECT_EQ(v, (std::vector<float>{-0.25f, 0.5f}));
    SetFlip(true, false);
    v = capture(1);
    EXPECT_EQ(v, (std::vector<float>{0.5f, -0.25f}));
}

TEST_F(Capture, PhaseSignsAndStoredDcOffsets)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>{16384, -8192});
    SetPhaseInvert(true, false, false, false); // "inv. Phase L"
    std::vector<float> v = capture(1);
    EXPECT_EQ(v[0], 0.25f); // the device's second sample, negated
    EXPECT_EQ(v[1], 0.5f);
    SetPhaseInvert(false, true, false, false);
    SetDCOffsetL(0.125f); // added to the first sample of each frame
    SetDCOffsetR(-0.25f);
    v = capture(1);
    EXPECT_EQ(v[1], -0.625f); // (0.5 + 0.125) * -1
    EXPECT_EQ(v[0], -0.5f);   // -0.25 - 0.25
}

TEST_F(Capture, AutomaticDcOffsetRemovesTheMeanOfEachChannel)
{
    std::vector<std::int16_t> s;
    for (int i = 0; i < 100; ++i) {
        s.push_back(3276);
        s.push_back(0);
    }
    backend_->script.data = bytesOf(s);
    SetDCOffsetL(0.5f); // ignored while the automatic mode is on
    SetAutoDCOffset(true);
    for (float x : capture(100))
        ASSERT_EQ(x, 0.0f);
    // Measured offsets are for that block only: nothing is stored.
    EXPECT_EQ(GetDCOffsetL(), 0.5f);

    std::vector<std::int16_t> t{100, -50, 300, 50};
    backend_->script.data = bytesOf(t);
    std::vector<float> v = capture(2);
    EXPECT_FLOAT_EQ(v[1], -100.0f / 32768.0f);
    EXPECT_FLOAT_EQ(v[3], 100.0f / 32768.0f);
    EXPECT_FLOAT_EQ(v[0], -50.0f / 32768.0f);
    EXPECT_FLOAT_EQ(v[2], 50.0f / 32768.0f);
}

TEST_F(Capture, SecondStartWhileRunningStartsNothingAndLeavesTheFirstAlone)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>{1000, 2000});
    int first = 0, second = 0;
    ASSERT_EQ(StartCapture(1, 7, [&] { ++first; }), 0);
    EXPECT_EQ(StartCapture(1, 8, [&] { ++second; }), 0);
    EXPECT_EQ(backend_->script.opens, 1);
    platform::DelayMs(20);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    int count, over;
    std::uint32_t user;
    ASSERT_NE(FinishCapture(count, over, user), nullptr);
    EXPECT_EQ(user, 7u);
    EXPECT_EQ(count, 2);
    EXPECT_FALSE(CaptureOpen());
}

TEST_F(Capture, FailureBetweenOpenAndStartReleasesTheDevice)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>{1000, 2000});
    struct Step {
        int fake::Script::*fail;
        const char *line;
    } steps[] = {{&fake::Script::failPrepare, nullptr},
                 {&fake::Script::failAdd, "waveInAddBuffer Error 777"},
                 {&fake::Script::failStart, "waveInStart Error 777"}};
    for (const Step &step : steps) {
        AudioLog().clear();
        backend_->script.*(step.fail) = 777;
        int calls = 0;
        EXPECT_EQ(StartCapture(1, 0, [&] { ++calls; }), 777);
        EXPECT_EQ(AudioStatus(), 777);
        EXPECT_FALSE(backend_->script.open) << "device left open";
        EXPECT_FALSE(CaptureOpen());
        if (step.line) {
            ASSERT_EQ(AudioLog().size(), 2u);
            EXPECT_EQ(AudioLog()[0], step.line);
            EXPECT_EQ(AudioLog()[1], "fake failure");
        } else {
            EXPECT_TRUE(AudioLog().empty());
        }
        platform::DelayMs(10);
        EXPECT_EQ(calls, 0) << "a completion of the abandoned capture reached the caller";
        // The next capture works.
        std::vector<float> v = capture(1);
        EXPECT_EQ(v, (std::vector<float>{2000.0f / 32768.0f, 1000.0f / 32768.0f}));
    }
}

TEST_F(Capture, QueryAndOpenFailuresAreLogged)
{
    backend_->acceptBits = 8;
    EXPECT_EQ(StartCapture(10, 0, nullptr), WAVERR_BADFORMAT);
    EXPECT_EQ(AudioLog(), (std::vector<std::string>{"InFormatQuery Error "}));
    EXPECT_EQ(backend_->script.opens, 0);
    backend_->acceptBits = 0;
    AudioLog().clear();
    backend_->script.failOpen = MMSYSERR_ALLOCATED;
    EXPECT_EQ(StartCapture(10, 0, nullptr), MMSYSERR_ALLOCATED);
    ASSERT_EQ(AudioLog().size(), 2u);
    EXPECT_EQ(AudioLog()[0], "waveinOpen Error 4");
    EXPECT_EQ(AudioLog()[1], ErrorText(4).substr(0, 128));
    EXPECT_FALSE(CaptureOpen());
}

TEST_F(Capture, LimitsAndMissingWindowAreRefused)
{
    EXPECT_EQ(StartCapture(0, 0, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(StartCapture(32769, 0, nullptr), MMSYSERR_INVALPARAM);
    setBits(24);
    backend_->script.data.assign(32768 * 8, 0);
    std::vector<float> v = capture(32768);
    EXPECT_EQ(v.size(), 65536u);
    window_.reset();
    EXPECT_EQ(StartCapture(10, 0, nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(backend_->script.opens, 1);
    window_ = std::make_unique<Tdummy>();
}

TEST_F(Capture, DeviceLostDuringCaptureEndsItWithAnError)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>(64, 5));
    backend_->script.completion = fake::Script::Completion::LostHalfway;
    calls_ = 0;
    ASSERT_EQ(StartCapture(32, 0, [this] { ++calls_; }), 0);
    EXPECT_EQ(waitForCallbacks(), 1);
    int count = -1, over = -1;
    std::uint32_t user;
    EXPECT_EQ(FinishCapture(count, over, user), nullptr);
    EXPECT_EQ(AudioStatus(), DEVICE_LOST);
    EXPECT_EQ(count, 0);
    ASSERT_GE(AudioLog().size(), 2u);
    EXPECT_EQ(AudioLog()[AudioLog().size() - 2], "waveIn Error 98");
    EXPECT_EQ(AudioLog().back(), ErrorText(DEVICE_LOST));
    EXPECT_FALSE(backend_->script.open);
    backend_->script.completion = fake::Script::Completion::OnStart;
    EXPECT_EQ(capture(32).size(), 64u);
}

TEST_F(Capture, SilentDeviceIsEndedByTheWatchdog)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>(64, 5));
    backend_->script.completion = fake::Script::Completion::Never;
    calls_ = 0;
    ASSERT_EQ(StartCapture(32, 0, [this] { ++calls_; }), 0);
    EXPECT_EQ(waitForCallbacks(6000), 1);
    int count, over;
    std::uint32_t user;
    EXPECT_EQ(FinishCapture(count, over, user), nullptr);
    EXPECT_EQ(AudioStatus(), DEVICE_LOST);
    EXPECT_FALSE(backend_->script.open);
}

TEST_F(Capture, CloseFailureGivesStatus9AndTheNextCaptureStillWorks)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>{1, 2});
    backend_->script.failClose = 5;
    calls_ = 0;
    ASSERT_EQ(StartCapture(1, 0, [this] { ++calls_; }), 0);
    ASSERT_EQ(waitForCallbacks(), 1);
    int count, over;
    std::uint32_t user;
    EXPECT_EQ(FinishCapture(count, over, user), nullptr);
    EXPECT_EQ(AudioStatus(), 9);
    EXPECT_EQ(capture(1).size(), 2u);
}

TEST_F(Capture, ShutdownDuringACaptureResetsAndClosesTheDevice)
{
    backend_->script.completion = fake::Script::Completion::Never;
    int calls = 0;
    ASSERT_EQ(StartCapture(16, 0, [&] { ++calls; }), 0);
    DoneAudio();
    EXPECT_EQ(backend_->script.resets, 1);
    EXPECT_FALSE(backend_->script.open);
    EXPECT_EQ(calls, 0); // the page that started it is going away
    EXPECT_EQ(StartCapture(16, 0, nullptr), 0); // no buffers: nothing starts
    EXPECT_EQ(backend_->script.opens, 1);
    ASSERT_EQ(InitAudio(), 0);
}
