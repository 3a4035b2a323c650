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
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <algorithm>

using namespace audio;
using namespace audio::alsa;

namespace {

bool MachineHasCard()
{
    int card = -1;
    return snd_card_next(&card) >= 0 && card >= 0;
}

bool Opens(const char *pcm, snd_pcm_stream_t stream)
{
    PcmPtr p;
    return OpenPcm(pcm, stream, p) == MMSYSERR_NOERROR;
}

TEST(AlsaEnumeration, ListsOnlyDevicesThatOpen)
{
    auto backend = CreateAlsaBackend();
    QElapsedTimer t;
    t.start();
    int inputs = backend->inputCount();
    int outputs = backend->outputCount();
    EXPECT_LT(t.elapsed(), 2000) << "enumeration runs at start-up and must be quick";

    auto *alsa = dynamic_cast<AlsaSoundBackend *>(backend.get());
    ASSERT_NE(alsa, nullptr);
    bool defaultIn = Opens("default", SND_PCM_STREAM_CAPTURE);
    bool defaultOut = Opens("default", SND_PCM_STREAM_PLAYBACK);
    EXPECT_EQ(inputs > 0 && alsa->pcmName(true, 0) == "default", defaultIn);
    EXPECT_EQ(outputs > 0 && alsa->pcmName(false, 0) == "default", defaultOut);
    for (int i = 0; i < inputs; ++i) {
        WaveInCaps caps;
        backend->inputCaps(i, caps);
        EXPECT_LE(caps.name.size(), kMaxDeviceName);
        EXPECT_FALSE(caps.name.empty());
    }

    if (MachineHasCard() || defaultIn || defaultOut)
        GTEST_SKIP() << "this machine has a card or a sound server; the empty case is not testable here";
    EXPECT_EQ(inputs, 0);
    EXPECT_EQ(outputs, 0);
    WaveInCaps in;
    WaveOutCaps out;
    EXPECT_EQ(backend->inputCaps(0, in), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(backend->outputCaps(0, out), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(backend->queryInput(0, alsatest::Format(44100, 16)), MMSYSERR_BADDEVICEID);
    std::unique_ptr<WaveInDevice> dev;
    EXPECT_EQ(backend->openInput(0, alsatest::Format(44100, 16), {}, dev), MMSYSERR_BADDEVICEID);
    std::unique_ptr<WaveOutDevice> odev;
    EXPECT_EQ(backend->openOutput(0, alsatest::Format(44100, 16), nullptr, odev), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(dev, nullptr);
    EXPECT_EQ(odev, nullptr);
}

TEST(AlsaEnumeration, DeviceThisProcessHoldsStaysListedEvenWhenBusy)
{
    // A hw device we play on refuses the probe open; it must keep its number.
    const std::string busy = "hw:97,0"; // no such card: the probe fails like a busy device
    OpenDevices open;
    open.add(SND_PCM_STREAM_PLAYBACK, "default");
    std::vector<AlsaDeviceEntry> list = ListAlsaDevices(SND_PCM_STREAM_PLAYBACK, open);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].pcm, "default");
    open.remove(SND_PCM_STREAM_PLAYBACK, "default");
    EXPECT_FALSE(open.contains(SND_PCM_STREAM_PLAYBACK, "default"));
    EXPECT_FALSE(Opens(busy.c_str(), SND_PCM_STREAM_PLAYBACK));
}

TEST(AlsaErrors, StatusNumbersAndTextsFollowAlsa)
{
    EXPECT_EQ(AlsaStatus(0), 0);
    EXPECT_EQ(AlsaStatus(-EHOSTDOWN), ALSA_ERROR_BASE + EHOSTDOWN);
    EXPECT_EQ(AlsaStatus(-500000), MMSYSERR_ERROR); // ALSA's own codes have no errno
    auto backend = CreateAlsaBackend();
    EXPECT_EQ(backend->errorText(ALSA_ERROR_BASE + EHOSTDOWN), "Host is down");
    EXPECT_EQ(backend->errorText(ALSA_ERROR_BASE + ENOENT), "No such file or directory");
    EXPECT_EQ(backend->errorText(ALSA_ERROR_BASE + EBUSY), "Device or resource busy");
    EXPECT_EQ(backend->errorText(ALSA_ERROR_BASE), "");
    EXPECT_EQ(backend->errorText(WAVERR_BADFORMAT), "");
    EXPECT_EQ(backend->errorText(DEVICE_LOST), "");

    // An open that fails reports the ALSA error as a status with that text.
    std::unique_ptr<WaveInDevice> dev;
    int status = AlsaWaveIn::open("hw:97,0", alsatest::Format(44100, 16), {}, nullptr, dev);
    EXPECT_GT(status, ALSA_ERROR_BASE);
    EXPECT_FALSE(backend->errorText(status).empty());
    EXPECT_EQ(AlsaWaveIn::open("null", alsatest::Format(44100, 12), {}, nullptr, dev), WAVERR_BADFORMAT);
}

TEST(AlsaFormats, PlatformBitsMatchThePlatformLayout)
{
    EXPECT_EQ(PlatformFormatBit(11025, 8, 1), WAVE_FORMAT_1M08);
    EXPECT_EQ(PlatformFormatBit(11025, 16, 2), WAVE_FORMAT_1S16);
    EXPECT_EQ(PlatformFormatBit(22050, 8, 2), WAVE_FORMAT_2S08);
    EXPECT_EQ(PlatformFormatBit(44100, 16, 1), WAVE_FORMAT_4M16);
    EXPECT_EQ(PlatformFormatBit(44100, 16, 2), WAVE_FORMAT_4S16);
    EXPECT_EQ(PlatformFormatBit(48000, 8, 2), WAVE_FORMAT_48S08);
    EXPECT_EQ(PlatformFormatBit(48000, 16, 2), WAVE_FORMAT_48S16);
    EXPECT_EQ(PlatformFormatBit(96000, 16, 2), WAVE_FORMAT_96S16);
    EXPECT_EQ(PlatformFormatBit(96000, 8, 1), WAVE_FORMAT_96M08);
    EXPECT_EQ(PlatformFormatBit(32000, 16, 2), 0u);
    EXPECT_EQ(PlatformFormatBit(48000, 32, 2), 0u);

    PcmSupport s;
    s.formats = WAVE_FORMAT_4S16;
    s.rates32 = 1u << 3; // 48000
    EXPECT_TRUE(SupportCovers(s, 44100, 16));
    EXPECT_FALSE(SupportCovers(s, 44100, 8));
    EXPECT_TRUE(SupportCovers(s, 48000, 32));
    EXPECT_FALSE(SupportCovers(s, 44100, 32));
    EXPECT_FALSE(SupportCovers(s, 32000, 16));

    WaveFormat f = alsatest::Format(44100, 16);
    EXPECT_TRUE(IsUsableFormat(f));
    f.wFormatTag = 3;
    EXPECT_FALSE(IsUsableFormat(f));
    f = alsatest::Format(44100, 24);
    EXPECT_FALSE(IsUsableFormat(f));
    f = alsatest::Format(0, 16);
    EXPECT_FALSE(IsUsableFormat(f));
}

TEST(AlsaDeviceNames, LongNamesKeepTheirPcmAndWholeCharacters)
{
    EXPECT_EQ(MakeDeviceName("HDA Intel PCH: ALC887 Analog", "hw:0,0"), "HDA Intel PCH: ALC887 Analog (hw:0,0)");
    std::string longText(300, 'x');
    std::string name = MakeDeviceName(longText, "plughw:12,3");
    EXPECT_EQ(name.size(), kMaxDeviceName);
    EXPECT_EQ(name.substr(name.size() - 14), " (plughw:12,3)");
    // 2-byte characters: the cut may not leave half of one behind.
    std::string umlauts;
    for (int i = 0; i < 100; ++i)
        umlauts += "\xC3\xA4";
    name = MakeDeviceName(umlauts, "hw:1,0");
    EXPECT_LE(name.size(), kMaxDeviceName);
    std::string head = name.substr(0, name.size() - 9);
    EXPECT_EQ(head.size() % 2, 0u);
    EXPECT_EQ(name.substr(name.size() - 9), " (hw:1,0)");
}

// ALSA's "null" PCM exists in every configuration and "captures" at once
// (leaving the buffer as it was): enough to see the capture bookkeeping on a
// bare machine.
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
        ASSERT_EQ(AlsaWaveIn::open("null", alsatest::Format(22050, bits), {&sink}, registry, dev), 0);
        EXPECT_TRUE(registry->contains(SND_PCM_STREAM_CAPTURE, "null"));
        // A length that is not a whole number of frames: the tail stays unused.
        std::vector<char> data(4003, '\x5A');
        WaveHeader h;
        h.lpData = data.data();
        h.dwBufferLength = 4003;
        ASSERT_EQ(dev->prepareHeader(h), 0);
        ASSERT_EQ(dev->addBuffer(h), 0);
        ASSERT_EQ(dev->start(), 0);
        ASSERT_TRUE(alsatest::WaitFor([&] { return !sink.headers.empty(); }, 3000));
        std::uint32_t whole = 4003 / (bits / 4) * (bits / 4);
        EXPECT_EQ(h.dwBytesRecorded, whole);
        EXPECT_EQ(sink.codes[0], 0u);
        EXPECT_EQ(std::count(data.begin() + whole, data.end(), '\x5A'), static_cast<long>(4003 - whole));
        EXPECT_EQ(dev->reset(), 0);
        EXPECT_EQ(dev->unprepareHeader(h), 0);
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
    std::string runtime = testsupport::ScratchDir("no-server");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
