// The output engine on the ALSA backend through ALSA's file plugin: "default"
// plays into a raw file, so the samples a stream sent can be read back and
// compared with the synthesis, byte for byte. The plugin does not pace, so
// the stream refill runs as fast as the machine allows. Restarts on ALSA are
// measured against the private sound server, loops in the backend's own tests.
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
        EXPECT_EQ(StopOutput(), 0);
        EXPECT_FALSE(OutputRunning());
        for (WaveHeader *h : {LoopHeader(), StreamHeader(0), StreamHeader(1)})
            EXPECT_EQ(h->dwFlags & (WHDR_PREPARED | WHDR_INQUEUE), 0u);
        return testsupport::ReadFile(gOutFile);
    }

    audiotest::SettingsScratch settings_{"alsa-output-settings"};
};

} // namespace

// The only test in this process, so the engine's running phase starts at 0.
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
