// The output engine on a scripted device that fails once where asked: at
// open, prepare, write, in the stream refill, at reset and at close. Every
// path ends with the device released, a log line, and the next start working.
#include "audio/fakebackend.h"
#include "audio/outputengine.h"
#include "audio/capturecompletions.h"
#include "support/audiotestsupport.h"

using namespace audio;

namespace {

class OutputFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = std::make_unique<Tdummy>();
        ASSERT_EQ(InitAudio(), 0);
        SelectOutputDevice(0);
        AudioLog().clear();
        QObject::connect(&OutputEvents::instance(), &OutputEvents::failed, &receiver_, [this](int c) { failed_.push_back(c); });
    }
    void TearDown() override
    {
        DoneAudio();
        window_.reset();
    }
    static GeneratorSettings &stream()
    {
        GeneratorSettings &g = Generator();
        g = GeneratorSettings{};
        g.Loop = false;
        return g;
    }
    // The log holds the failure's line and the device's text for it.
    void expectLogged(const std::string &line)
    {
        EXPECT_EQ(AudioLog(), (std::vector<std::string>{line, "fake failure"}));
        AudioLog().clear();
    }
    void expectNextStartWorks()
    {
        EXPECT_EQ(StartOutput(stream(), -1.0, 1000.0f), 0);
        EXPECT_TRUE(OutputRunning());
        StopOutput();
        EXPECT_FALSE(backend_->out.open);
        EXPECT_TRUE(AudioLog().empty());
    }

    audiotest::SettingsScratch settings_{"outputfaults"};
    std::shared_ptr<fake::FakeBackend> backend_ = fake::Install(1, 1);
    std::unique_ptr<Tdummy> window_;
    QObject receiver_;
    std::vector<int> failed_;
};

} // namespace

TEST_F(OutputFaults, AStartThatFailsLeavesNothingOpen)
{
    struct Case {
        int fake::OutScript::*fail;
        const char *line;
    } cases[] = {{&fake::OutScript::failOpen, "waveOutOpen Error 777"},
                 {&fake::OutScript::failPrepare, "waveOutPrepHeader Error 777"},
                 {&fake::OutScript::failWrite, "waveOutWrite Error 777"}};
    for (const bool loop : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.line);
            backend_->out.*(c.fail) = 777;
            GeneratorSettings &g = stream();
            g.Loop = loop;
            EXPECT_EQ(StartOutput(g, -1.0, 1000.0f), 777);
            EXPECT_EQ(AudioStatus(), 777);
            EXPECT_FALSE(OutputRunning());
            EXPECT_FALSE(backend_->out.open);
            expectLogged(c.line);
            expectNextStartWorks();
        }
    }
}

TEST_F(OutputFaults, ARefillThatCannotQueueStopsTheStreamAndSaysSo)
{
    ASSERT_EQ(StartOutput(stream(), -1.0, 1000.0f), 0);
    backend_->out.failWrite = 777;
    backend_->out.device->playOne(); // its refill cannot queue it again
    EXPECT_EQ(RefillError(), 777);
    platform::ProcessPendingMessage();
    EXPECT_EQ(failed_, std::vector<int>{777});
    EXPECT_FALSE(OutputRunning());
    expectLogged("waveOutWrite Error 777");
    EXPECT_TRUE(backend_->out.open); // until the next stop
    StopOutput();
    EXPECT_FALSE(backend_->out.open);
    EXPECT_TRUE(AudioLog().empty()); // reported once
    expectNextStartWorks();
}

TEST_F(OutputFaults, ResetAndCloseFailuresStillReleaseTheDevice)
{
    for (int fake::OutScript::*fail : {&fake::OutScript::failReset, &fake::OutScript::failClose}) {
        ASSERT_EQ(StartOutput(stream(), -1.0, 1000.0f), 0);
        backend_->out.*fail = 777;
        StopOutput();
        EXPECT_FALSE(backend_->out.open);
        EXPECT_FALSE(OutputRunning());
        EXPECT_EQ(AudioLog().size(), 2u);
        AudioLog().clear();
        expectNextStartWorks();
    }
}
