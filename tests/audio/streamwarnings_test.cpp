// The warnings for streams a sound server resamples or runs on two clocks:
// which ones a pair of running streams gives, their codes and texts in both
// languages, and the engine asking the current devices' backends (a fake
// that reports a running stream of its own).
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/streamwarnings.h"
#include "fakebackend.h"

#include <gtest/gtest.h>

using namespace audio;

namespace {

SoundBackend::RunningStream Stream(std::uint32_t rate, std::uint32_t graph, const std::string &clock)
{
    SoundBackend::RunningStream r;
    r.known = true;
    r.rate = rate;
    r.graphRate = graph;
    r.quantum = 1024;
    r.resampled = rate != graph;
    r.clock = clock;
    return r;
}

std::vector<StreamWarningKind> Kinds(const std::vector<StreamWarning> &w)
{
    std::vector<StreamWarningKind> k;
    for (const StreamWarning &x : w)
        k.push_back(x.kind);
    return k;
}

using K = StreamWarningKind;

} // namespace

TEST(StreamWarnings, ResampledStreamsAndTwoClocksAreEachSaidOnce)
{
    const SoundBackend::RunningStream unknown;
    const auto in96 = Stream(96000, 48000, "clock.a"), in48 = Stream(48000, 48000, "clock.a");
    const auto out44 = Stream(44100, 48000, "clock.a"), outOther = Stream(48000, 48000, "clock.b");
    EXPECT_TRUE(StreamWarnings(in48, &in48).empty()) << "one clock at the graph's rate";
    EXPECT_TRUE(StreamWarnings(unknown, &unknown).empty()) << "ALSA hardware and the virtual card tell nothing";
    EXPECT_EQ(Kinds(StreamWarnings(in96, nullptr)), std::vector<K>{K::InputResampled});
    EXPECT_EQ(Kinds(StreamWarnings(in48, &out44)), std::vector<K>{K::OutputResampled});
    EXPECT_EQ(Kinds(StreamWarnings(in96, &outOther)), (std::vector<K>{K::InputResampled, K::TwoClocks}));
    // A clock not known on one side is no second clock.
    EXPECT_TRUE(StreamWarnings(in48, &unknown).empty());
    EXPECT_TRUE(StreamWarnings(Stream(48000, 48000, ""), &outOther).empty());

    std::vector<StreamWarning> run;
    AddStreamWarnings(run, StreamWarnings(in96, nullptr));
    AddStreamWarnings(run, StreamWarnings(in96, &outOther));
    AddStreamWarnings(run, StreamWarnings(in96, &outOther));
    EXPECT_EQ(Kinds(run), (std::vector<K>{K::InputResampled, K::TwoClocks}));
}

TEST(StreamWarnings, CodesAndTextsNameTheRatesInBothLanguages)
{
    const SoundBackend::RunningStream out = Stream(44100, 48000, "b");
    const std::vector<StreamWarning> w = StreamWarnings(Stream(96000, 48000, "a"), &out);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_STREQ(StreamWarningCode(w[0].kind), "input_resampled");
    EXPECT_STREQ(StreamWarningCode(w[1].kind), "output_resampled");
    EXPECT_STREQ(StreamWarningCode(w[2].kind), "two_clocks");
    EXPECT_EQ(StreamWarningText(w[0], 'E'), "input resampled by the server (96000 Hz, graph at 48000 Hz)");
    EXPECT_EQ(StreamWarningText(w[1], 'D'), "Ausgang vom Server umgerechnet (44100 Hz, Graph 48000 Hz)");
    EXPECT_EQ(StreamWarningLine({w[0], w[2]}, 'E'),
              "Warning: input resampled by the server (96000 Hz, graph at 48000 Hz); "
              "input and output on two clocks (two interfaces, drifting)");
    EXPECT_EQ(StreamWarningLine({w[2]}, 'D'), "Warnung: Ein- und Ausgang an zwei Takten (zwei Geräte, driftet)");
    EXPECT_EQ(StreamWarningLine({}, 'D'), "");
}

namespace {

// A fake whose input stream runs at 96000 Hz on a 48000 Hz graph.
class ResamplingBackend : public fake::FakeBackend {
public:
    RunningStream runningStream(bool input) override
    {
        return input ? Stream(96000, 48000, "server.clock") : RunningStream{};
    }
};

} // namespace

TEST(StreamWarnings, TheEngineAsksTheBackendOfTheCurrentInput)
{
    auto resampling = std::make_shared<ResamplingBackend>();
    resampling->inputs.push_back({"Server node"});
    auto plain = std::make_shared<fake::FakeBackend>();
    plain->inputs.push_back({"Plain card"});
    SoundInterface::instance().setBackends({plain, resampling});
    int in = 0, out = 0;
    std::uint32_t mask = 0;
    DeviceReport(in, out, mask);
    SelectInputDevice(0);
    EXPECT_TRUE(CurrentStreamWarnings(true).empty());
    SelectInputDevice(1);
    EXPECT_EQ(Kinds(CurrentStreamWarnings(true)), std::vector<K>{K::InputResampled});
    SoundInterface::instance().setBackends({});
}
