// The ALSA backend on a machine as it comes, without a test configuration:
// with no card and no sound server nothing is listed (not even a "default"
// that cannot open); plus the pieces that need no device at all: error
// texts, format bits, device names, and capture from ALSA's "null" PCM.
#include "alsatestsupport.h"
#include "audio/alsa/alsabackend.h"
#include "audio/alsa/alsadevicelist.h"
#include "audio/alsa/alsapcm.h"
#include "audio/alsa/alsasoundbackend.h"
#include "audio/alsa/alsawavein.h"

#include <QCoreApplication>

#include <algorithm>

using namespace audio;
using namespace audio::alsa;
using alsatest::Format;

namespace {

bool Opens(const char *pcm, snd_pcm_stream_t stream)
{
    PcmPtr p;
    return OpenPcm(pcm, stream, p) == MMSYSERR_NOERROR;
}

TEST(AlsaEnumeration, ListsOnlyDevicesThatOpen)
{
    auto backend = CreateAlsaBackend();
    const int inputs = backend->inputCount(), outputs = backend->outputCount();

    auto *alsa = dynamic_cast<AlsaSoundBackend *>(backend.get());
    ASSERT_NE(alsa, nullptr);
    const bool defaultIn = Opens("default", SND_PCM_STREAM_CAPTURE);
    const bool defaultOut = Opens("default", SND_PCM_STREAM_PLAYBACK);
    EXPECT_EQ(inputs > 0 && alsa->pcmName(true, 0) == "default", defaultIn);
    EXPECT_EQ(outputs > 0 && alsa->pcmName(false, 0) == "default", defaultOut);
    int card = -1;
    if ((snd_card_next(&card) >= 0 && card >= 0) || defaultIn || defaultOut)
        GTEST_SKIP() << "this machine has a card or a sound server; the empty case is not testable here";
    EXPECT_EQ(inputs, 0);
    EXPECT_EQ(outputs, 0);
    WaveInCaps in;
    WaveOutCaps out;
    EXPECT_EQ(backend->inputCaps(0, in), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(backend->outputCaps(0, out), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(backend->queryInput(0, Format(44100, 16)), MMSYSERR_BADDEVICEID);
    std::unique_ptr<WaveInDevice> dev;
    EXPECT_EQ(backend->openInput(0, Format(44100, 16), {}, dev), MMSYSERR_BADDEVICEID);
    std::unique_ptr<WaveOutDevice> odev;
    EXPECT_EQ(backend->openOutput(0, Format(44100, 16), nullptr, odev), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(dev, nullptr);
    EXPECT_EQ(odev, nullptr);
}

TEST(AlsaEnumeration, DeviceThisProcessHoldsStaysListedThoughItsProbeFails)
{
    OpenDevices open; // on this machine "default" does not open: as if held busy by us
    open.add(SND_PCM_STREAM_PLAYBACK, "default");
    std::vector<AlsaDeviceEntry> list = ListAlsaDevices(SND_PCM_STREAM_PLAYBACK, open);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].pcm, "default");
    open.remove(SND_PCM_STREAM_PLAYBACK, "default");
    EXPECT_FALSE(open.contains(SND_PCM_STREAM_PLAYBACK, "default"));
}

TEST(AlsaEnumeration, TheDefaultDeviceIsNamedForItsOwnDirection)
{
    const std::string server = "Default ALSA Output (currently PipeWire Media Server)";
    EXPECT_EQ(DefaultDeviceDescription(SND_PCM_STREAM_PLAYBACK, server, ""), server);
    EXPECT_EQ(DefaultDeviceDescription(SND_PCM_STREAM_CAPTURE, server, ""), "Default device");
    EXPECT_EQ(DefaultDeviceDescription(SND_PCM_STREAM_CAPTURE, "Studio interface", ""), "Studio interface");
    EXPECT_EQ(DefaultDeviceDescription(SND_PCM_STREAM_CAPTURE, "Line in\nsecond line", "Input"), "Line in");
    EXPECT_EQ(DefaultDeviceDescription(SND_PCM_STREAM_PLAYBACK, "Line in", "Input"), "Default device");
    EXPECT_EQ(DefaultDeviceDescription(SND_PCM_STREAM_CAPTURE, "", ""), "Default device");
}

TEST(AlsaErrors, StatusNumbersAndTextsFollowAlsa)
{
    EXPECT_EQ(AlsaStatus(-EHOSTDOWN), ALSA_ERROR_BASE + EHOSTDOWN);
    EXPECT_EQ(AlsaStatus(-500000), MMSYSERR_ERROR); // ALSA's own codes have no errno
    auto backend = CreateAlsaBackend();
    EXPECT_EQ(backend->errorText(ALSA_ERROR_BASE + EHOSTDOWN), "Host is down");
    EXPECT_EQ(backend->errorText(ALSA_ERROR_BASE + EBUSY), "Device or resource busy");
    for (int code : {ALSA_ERROR_BASE, WAVERR_BADFORMAT, DEVICE_LOST})
        EXPECT_EQ(backend->errorText(code), "") << code;

    // An open that fails reports the ALSA error as a status with that text.
    std::unique_ptr<WaveInDevice> dev;
    const int status = AlsaWaveIn::open("hw:97,0", Format(44100, 16), {}, nullptr, dev);
    EXPECT_GT(status, ALSA_ERROR_BASE);
    EXPECT_FALSE(backend->errorText(status).empty());
    EXPECT_EQ(AlsaWaveIn::open("null", Format(44100, 12), {}, nullptr, dev), WAVERR_BADFORMAT);
}

TEST(AlsaFormats, PlatformBitsAndSupportCoverage)
{
    struct Case {
        int rate, bits, channels;
        std::uint32_t bit;
    } cases[] = {{11025, 8, 1, WAVE_FORMAT_1M08}, {22050, 8, 2, WAVE_FORMAT_2S08}, {44100, 16, 2, WAVE_FORMAT_4S16},
                 {48000, 8, 2, WAVE_FORMAT_48S08}, {96000, 16, 2, WAVE_FORMAT_96S16}, {96000, 8, 1, WAVE_FORMAT_96M08},
                 {32000, 16, 2, 0}, {48000, 32, 2, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(PlatformFormatBit(c.rate, c.bits, c.channels), c.bit) << c.rate << " " << c.bits << " " << c.channels;

    PcmSupport s;
    s.formats = WAVE_FORMAT_4S16;
    s.rates32 = 1u << 3; // 48000
    EXPECT_TRUE(SupportCovers(s, 44100, 16));
    EXPECT_FALSE(SupportCovers(s, 44100, 8));
    EXPECT_TRUE(SupportCovers(s, 48000, 32));
    EXPECT_FALSE(SupportCovers(s, 44100, 32));
    EXPECT_FALSE(SupportCovers(s, 32000, 16));

    WaveFormat f = Format(44100, 16);
    EXPECT_TRUE(IsUsableFormat(f));
    f.wFormatTag = 3;
    EXPECT_FALSE(IsUsableFormat(f));
    EXPECT_FALSE(IsUsableFormat(Format(44100, 24)));
    EXPECT_FALSE(IsUsableFormat(Format(0, 16)));
}

TEST(AlsaDeviceNames, LongNamesKeepTheirPcmAndWholeCharacters)
{
    EXPECT_EQ(MakeDeviceName("HDA Intel PCH: ALC887 Analog", "hw:0,0"), "HDA Intel PCH: ALC887 Analog (hw:0,0)");
    std::string name = MakeDeviceName(std::string(300, 'x'), "plughw:12,3");
    EXPECT_EQ(name.size(), kMaxDeviceName);
    EXPECT_EQ(name.substr(name.size() - 14), " (plughw:12,3)");
    std::string umlauts; // 2-byte characters: the cut may not leave half of one behind
    for (int i = 0; i < 100; ++i)
        umlauts += "\xC3\xA4";
    name = MakeDeviceName(umlauts, "hw:1,0");
    EXPECT_LE(name.size(), kMaxDeviceName);
    EXPECT_EQ(name.substr(name.size() - 9), " (hw:1,0)");
    EXPECT_EQ((name.size() - 9) % 2, 0u);
}

// ALSA's "null" PCM exists in every configuration and "captures" at once,
// leaving the buffer as it was.
TEST(AlsaNullCapture, RecordsWholeFramesOnlyAndTracksItsOpenDevice)
{
    PcmPtr probe;
    ASSERT_EQ(OpenPcm("null", SND_PCM_STREAM_CAPTURE, probe), 0);
    PcmSupport s = ProbeSupport(probe.get());
    EXPECT_EQ(s.formats, 0xFFFFFu);
    EXPECT_EQ(s.rates32, 0x1Fu);
    EXPECT_EQ(s.channels, 2);
    probe.reset();

    auto registry = std::make_shared<OpenDevices>();
    for (int bits : {8, 16, 32}) {
        alsatest::CompletionSink sink;
        std::unique_ptr<WaveInDevice> dev;
        ASSERT_EQ(AlsaWaveIn::open("null", Format(22050, bits), {&sink}, registry, dev), 0);
        EXPECT_TRUE(registry->contains(SND_PCM_STREAM_CAPTURE, "null"));
        audiotest::Buffer b(4003); // not a whole number of frames: the tail stays unused
        ASSERT_EQ(dev->prepareHeader(b.header), 0);
        ASSERT_EQ(dev->addBuffer(b.header), 0);
        ASSERT_EQ(dev->start(), 0);
        ASSERT_TRUE(alsatest::WaitFor([&] { return !sink.headers.empty(); }, 3000));
        const std::uint32_t whole = 4003 / (bits / 4) * (bits / 4);
        EXPECT_EQ(b.header.dwBytesRecorded, whole);
        EXPECT_EQ(sink.codes[0], 0u);
        EXPECT_EQ(std::count(b.data.begin() + whole, b.data.end(), '\x5A'), static_cast<long>(4003 - whole));
        EXPECT_EQ(dev->reset(), 0);
        EXPECT_EQ(dev->unprepareHeader(b.header), 0);
        EXPECT_EQ(dev->close(), 0);
        EXPECT_FALSE(registry->contains(SND_PCM_STREAM_CAPTURE, "null"));
    }
}

} // namespace

int main(int argc, char **argv)
{
    // The machine's own ALSA configuration, and no sound server to find: a
    // runtime directory of our own holds no server socket.
    unsetenv("ALSA_CONFIG_PATH");
    unsetenv("PIPEWIRE_REMOTE");
    unsetenv("PULSE_SERVER");
    setenv("XDG_RUNTIME_DIR", testsupport::ScratchDir("no-server").c_str(), 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
