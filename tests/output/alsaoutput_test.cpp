// The output engine on the ALSA backend through ALSA's file plugin: "default"
// plays into a raw file, so the samples a stream or a loop sent can be read
// back and compared with the synthesis, byte for byte. The plugin does not
// pace, so the stream refill runs as fast as the machine allows.
#include "alsa/alsatestsupport.h"
#include "audio/outputengine.h"

#include <QCoreApplication>

using namespace audio;

namespace {

std::string gDir, gOutFile;

qint64 FileSize() { return QFileInfo(QString::fromStdString(gOutFile)).size(); }

class AlsaOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::WriteFile(gOutFile, "");
        SetupSoundInterface(VirtualCardConfig::Ideal(false), true);
        int in, out;
        std::uint32_t mask;
        DeviceReport(in, out, mask);
        ASSERT_EQ(InitAudio(), 0);
        SelectOutputDevice(0);
        ASSERT_NE(DeviceName('O', 0).find("default"), std::string::npos) << DeviceName('O', 0);
        SetDeviceFormat(OutputSettings(0), "", 48000, false, 16, 2);
        AudioLog().clear();
    }
    void TearDown() override
    {
        StopOutput();
        DoneAudio();
        SoundInterface::instance().setBackends({});
    }

    // Lets the device play until the file holds `bytes`, then stops.
    std::string playUntil(qint64 bytes)
    {
        EXPECT_TRUE(alsatest::WaitFor([&] { return FileSize() >= bytes; }, 5000));
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(StopOutput(), 0);
        EXPECT_LT(t.elapsed(), 1000);
        EXPECT_FALSE(OutputRunning());
        for (WaveHeader *h : {LoopHeader(), StreamHeader(0), StreamHeader(1)})
            EXPECT_EQ(h->dwFlags & (WHDR_PREPARED | WHDR_INQUEUE), 0u);
        return testsupport::ReadFile(gOutFile);
    }

    audiotest::SettingsScratch settings_{"alsa-output-settings"};
};

} // namespace

// First in this file: the engine's running phase starts at 0 in this process.
TEST_F(AlsaOutput, StreamWritesTheContinuousSynthesisAcrossManyRefills)
{
    GeneratorSettings &g = Generator();
    g = GeneratorSettings{};
    g.Loop = false;
    g.LevelL = -6;
    g.LevelR = -12;
    g.PhaseR = 90;
    ASSERT_EQ(StartOutput(g, -1.0, 997.0f), 0);
    const std::uint32_t bufferBytes = static_cast<std::uint32_t>(StreamBufferSize());
    const qint64 want = 8 * static_cast<qint64>(bufferBytes);
    const std::string played = playUntil(want);
    ASSERT_GE(static_cast<qint64>(played.size()), want);
    EXPECT_EQ(RefillError(), 0);
    EXPECT_TRUE(AudioLog().empty());

    // the same buffers computed one after the other from phase 0
    Synthesizer reference;
    std::string expected(static_cast<std::size_t>(want), '\0');
    double phase = 0.0;
    for (qint64 at = 0; at < want; at += bufferBytes)
        reference.StreamFill(48000, 16, MakeSynthParams(g), 997.0, expected.data() + at, bufferBytes, phase);
    std::size_t firstDiff = 0;
    while (firstDiff < expected.size() && played[firstDiff] == expected[firstDiff])
        ++firstDiff;
    EXPECT_EQ(firstDiff, expected.size()) << "first differing byte";
}

TEST_F(AlsaOutput, StartWhileStreamingRestartsAndKeepsRefilling)
{
    GeneratorSettings &g = Generator();
    g = GeneratorSettings{};
    g.Loop = false;
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    ASSERT_TRUE(alsatest::WaitFor([] { return FileSize() >= 4 * StreamBufferSize(); }, 5000));
    ASSERT_EQ(StartOutput(g, -1.0, 1500.0f), 0);
    EXPECT_TRUE(OutputRunning());
    const qint64 before = FileSize();
    const std::string played = playUntil(before + 6 * static_cast<qint64>(StreamBufferSize()));
    EXPECT_EQ(RefillError(), 0);
    EXPECT_TRUE(AudioLog().empty());
    // after the restart the refill goes on with the new frequency: the last
    // stream buffers hold a 1500 Hz sine (a 32-frame period at 48000 Hz)
    const std::size_t end = static_cast<std::size_t>(before + 4 * static_cast<qint64>(StreamBufferSize()));
    ASSERT_GE(played.size(), end);
    const auto *s = reinterpret_cast<const std::int16_t *>(played.data());
    for (std::size_t i = end / 2 - 2 * 2048; i < end / 2; i += 2)
        ASSERT_NEAR(s[i], s[i - 64], 2) << "frame " << i / 2;
}

TEST_F(AlsaOutput, LoopWritesTheLoopBufferOverAndOver)
{
    GeneratorSettings &g = Generator();
    g = GeneratorSettings{};
    g.Loop = true;
    g.LevelL = -100;
    g.LevelR = -3;
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);
    EXPECT_EQ(LoopPrecision(), 0);
    const std::uint32_t loopBytes = LoopHeader()->dwBufferLength;
    EXPECT_EQ(loopBytes, 22u * 48 * 4); // 22 periods: the first whole fit of at least 4096 bytes
    const std::string loop(LoopData(), loopBytes);
    const std::string played = playUntil(20 * loopBytes);
    ASSERT_GE(played.size(), 20u * loopBytes);
    for (std::size_t i = 0; i < 20u * loopBytes; ++i) {
        ASSERT_EQ(played[i], loop[i % loopBytes]) << "byte " << i;
        if (i % 4 < 2) { // the left sample of each frame is off
            ASSERT_EQ(played[i], 0) << "byte " << i;
        }
    }
}

int main(int argc, char **argv)
{
    gDir = testsupport::ScratchDir("alsa-output");
    gOutFile = gDir + "/out.raw";
    testsupport::WriteFile(gDir + "/in.raw", std::string(4096, '\0'));
    alsatest::UseAlsaFileConfig(gDir, gDir + "/in.raw", gOutFile);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
