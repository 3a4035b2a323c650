// One-block capture through a scripted device: conversion (scales, overloads,
// channel order, phase signs, DC offsets), the one-capture-at-a-time rule,
// failures between open and start that must release the device, and devices
// that fail or go silent during a capture.
#include "fakebackend.h"
#include "support/audiotestsupport.h"

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
        window_ = std::make_unique<Tdummy>();
        ASSERT_EQ(InitAudio(), 0);
        SelectInputDevice(0);
        AudioLog().clear();
    }
    void TearDown() override
    {
        DoneAudio();
        window_.reset();
    }

    void setBits(int bits) { InputSettings(0).Format.wBitsPerSample = static_cast<std::uint16_t>(bits == 24 ? 32 : bits); }

    // Starts a capture, waits for its one callback (and a little longer, for
    // a wrong second one) and finishes it; nullptr on failure.
    const float *run(int frames, int &count, int &overloads, std::uint32_t user = 0)
    {
        calls_ = 0; // a member: a late, wrong callback must find it
        EXPECT_EQ(StartCapture(frames, user, [this] { ++calls_; }), 0);
        audiotest::WaitFor([this] { return calls_ > 0; }, 6000); // the watchdog ends a silent device
        platform::DelayMs(5);
        EXPECT_EQ(calls_, 1);
        std::uint32_t back = ~user;
        const float *block = FinishCapture(count, overloads, back);
        if (block) {
            EXPECT_EQ(back, user);
        }
        return block;
    }

    std::vector<float> capture(int frames, int *overloads = nullptr, std::uint32_t user = 0)
    {
        int count = 0, over = 0;
        const float *block = run(frames, count, over, user);
        EXPECT_NE(block, nullptr);
        if (overloads)
            *overloads = over;
        return block ? std::vector<float>(block, block + count) : std::vector<float>();
    }

    audiotest::SettingsScratch settings_{"capture"};
    std::shared_ptr<fake::FakeBackend> backend_ = fake::Install(1, 1);
    std::unique_ptr<Tdummy> window_;
    int calls_ = 0;
};

} // namespace

TEST_F(Capture, ScalesAndOverloadsAtEveryResolution)
{
    const float one24 = static_cast<float>(2147483392.0 / 2147483647.0);
    struct Case {
        int bits;
        std::vector<char> data;
        std::vector<float> values; // flip off: each frame's second sample first
        int overloads;
    } cases[] = {
        {16, bytesOf(std::vector<std::int16_t>{0, 0, 32767, 0, 0, -32768, -32767, 0}),
         {0.0f, 0.0f, 0.0f, 32767.0f / 32768.0f, -1.0f, 0.0f, 0.0f, -32767.0f / 32768.0f}, 2},
        {8, {char(128), char(0), char(255), char(1)}, {-1.0f, 0.0f, -127.0f / 128.0f, 127.0f / 128.0f}, 2},
        // the 24-bit playback full scale is no overload, the container's ends are
        {24, bytesOf(std::vector<std::int32_t>{2147483392, INT_MIN, INT_MAX, -2147483647}), {-1.0f, one24, -1.0f, 1.0f}, 3},
    };
    for (const Case &c : cases) {
        setBits(c.bits);
        backend_->script.data = c.data;
        int over = -1;
        EXPECT_EQ(capture(static_cast<int>(c.values.size() / 2), &over, 0x12345678), c.values) << c.bits;
        EXPECT_EQ(over, c.overloads) << c.bits;
        EXPECT_EQ(int(backend_->script.lastFormat.nBlockAlign), (c.bits == 24 ? 32 : c.bits) / 4) << c.bits;
    }
    setBits(16);
    backend_->script.data = bytesOf(std::vector<std::int16_t>(512, 0));
    for (float x : capture(256))
        ASSERT_EQ(x, 0.0f);
}

TEST_F(Capture, FlipPhaseSignsAndStoredDcOffsets)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>{16384, -8192}); // L = 0.5, R = -0.25
    EXPECT_EQ(capture(1), (std::vector<float>{-0.25f, 0.5f}));
    SetFlip(true, false);
    EXPECT_EQ(capture(1), (std::vector<float>{0.5f, -0.25f}));
    SetFlip(false, false);
    SetPhaseInvert(true, false, false, false); // "inv. Phase L": position 0, the device's second sample
    EXPECT_EQ(capture(1), (std::vector<float>{0.25f, 0.5f}));
    SetPhaseInvert(false, true, false, false);
    SetDCOffsetL(0.125f); // added to the first sample of each frame, before the sign
    SetDCOffsetR(-0.25f);
    EXPECT_EQ(capture(1), (std::vector<float>{-0.5f, -0.625f}));
}

TEST_F(Capture, AutomaticDcOffsetRemovesTheMeanOfEachChannel)
{
    std::vector<std::int16_t> s;
    for (int i = 0; i < 100; ++i)
        s.insert(s.end(), {3276, 0});
    backend_->script.data = bytesOf(s);
    SetDCOffsetL(0.5f); // ignored while the automatic mode is on
    SetAutoDCOffset(true);
    for (float x : capture(100))
        ASSERT_EQ(x, 0.0f);
    EXPECT_EQ(GetDCOffsetL(), 0.5f); // measured offsets are not stored

    backend_->script.data = bytesOf(std::vector<std::int16_t>{100, -50, 300, 50});
    std::vector<float> v = capture(2);
    EXPECT_FLOAT_EQ(v[1], -100.0f / 32768.0f);
    EXPECT_FLOAT_EQ(v[3], 100.0f / 32768.0f);
    EXPECT_FLOAT_EQ(v[0], -50.0f / 32768.0f);
    EXPECT_FLOAT_EQ(v[2], 50.0f / 32768.0f);
}

// A start while a block is in flight waits behind it: the running capture
// keeps its callback, the queued one follows and always calls back, also
// when its device cannot be opened by then.
TEST_F(Capture, StartWhileABlockIsInFlightRunsAfterItAndAlwaysCallsBack)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>{1000, 2000});
    std::vector<long long> got; // user value each callback fetched, -status for a failure
    auto fetch = [&] {
        int count, over;
        std::uint32_t user = 0;
        got.push_back(FinishCapture(count, over, user) ? static_cast<long long>(user) : -AudioStatus());
    };
    for (const int failOpen : {0, int(MMSYSERR_ALLOCATED)}) {
        got.clear();
        const int opens = backend_->script.opens;
        ASSERT_EQ(StartCapture(1, 7, fetch), 0);
        EXPECT_EQ(StartCapture(1, 8, fetch), 0);
        EXPECT_TRUE(CaptureQueued());
        EXPECT_EQ(backend_->script.opens, opens + 1);
        backend_->script.failOpen = failOpen;
        audiotest::WaitFor([&] { return got.size() >= 2; }, 2000);
        platform::DelayMs(5);
        EXPECT_EQ(got, (std::vector<long long>{7, failOpen ? -failOpen : 8}));
        EXPECT_FALSE(CaptureQueued());
        EXPECT_FALSE(CaptureOpen());
    }
    EXPECT_EQ(capture(1), (std::vector<float>{2000.0f / 32768.0f, 1000.0f / 32768.0f}));
}

// A block whose callback did not fetch it no longer blocks the device.
TEST_F(Capture, UnfetchedBlockIsDiscardedByTheNextStart)
{
    backend_->script.data = bytesOf(std::vector<std::int16_t>{1000, 2000});
    int ignored = 0;
    ASSERT_EQ(StartCapture(1, 7, [&] { ++ignored; }), 0);
    audiotest::WaitFor([&] { return ignored > 0; }, 2000);
    std::vector<float> v = capture(1, nullptr, 9); // checks the user value it gets back
    EXPECT_EQ(v.size(), 2u);
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
        const std::vector<std::string> log = step.line ? std::vector<std::string>{step.line, "fake failure"}
                                                       : std::vector<std::string>{};
        EXPECT_EQ(AudioLog(), log);
        platform::DelayMs(10);
        EXPECT_EQ(calls, 0) << "a completion of the abandoned capture reached the caller";
        EXPECT_EQ(capture(1), (std::vector<float>{2000.0f / 32768.0f, 1000.0f / 32768.0f}));
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
    EXPECT_EQ(AudioLog(), (std::vector<std::string>{"waveinOpen Error 4", ErrorText(4).substr(0, 128)}));
    EXPECT_FALSE(CaptureOpen());
}

TEST_F(Capture, LimitsAndMissingWindowAreRefused)
{
    EXPECT_EQ(StartCapture(0, 0, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(StartCapture(32769, 0, nullptr), MMSYSERR_INVALPARAM);
    setBits(12); // the settings file takes it; nothing can decode it
    EXPECT_EQ(StartCapture(10, 0, nullptr), WAVERR_BADFORMAT);
    EXPECT_EQ(backend_->script.opens, 0);
    setBits(24); // the largest block the buffers hold
    backend_->script.data.assign(32768 * 8, 0);
    EXPECT_EQ(capture(32768).size(), 65536u);
    window_.reset();
    EXPECT_EQ(StartCapture(10, 0, nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(backend_->script.opens, 1);
    window_ = std::make_unique<Tdummy>();
}

TEST_F(Capture, DeviceFailuresEndTheCaptureWithAStatusAndTheNextOneWorks)
{
    using C = fake::Script::Completion;
    struct Case {
        const char *name;
        C completion;
        int failClose;
        int status;
        int failReset = 0;
    } cases[] = {{"lost halfway", C::LostHalfway, 0, DEVICE_LOST},
                 {"silent: ended by the watchdog", C::Never, 0, DEVICE_LOST},
                 {"silent, and the watchdog's reset fails", C::Never, 0, DEVICE_LOST, 777},
                 {"close fails", C::OnStart, 5, 9}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioLog().clear();
        backend_->script.data = bytesOf(std::vector<std::int16_t>(64, 5));
        backend_->script.completion = c.completion;
        backend_->script.failClose = c.failClose;
        backend_->script.failReset = c.failReset;
        int count = -1, over = -1;
        EXPECT_EQ(run(32, count, over), nullptr);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(AudioStatus(), c.status);
        if (c.completion == C::LostHalfway) {
            ASSERT_GE(AudioLog().size(), 2u);
            EXPECT_EQ(AudioLog()[AudioLog().size() - 2], "waveIn Error 98");
            EXPECT_EQ(AudioLog().back(), ErrorText(DEVICE_LOST));
        }
        if (!c.failClose) {
            EXPECT_FALSE(backend_->script.open);
        }
        backend_->script.completion = C::OnStart;
        EXPECT_EQ(capture(32).size(), 64u);
    }
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
