// The virtual loopback card: exact frame counts, bit-exact loopback with the
// ideal model, configured formats, real-time pacing, the test signal, the
// noise floor, output completions and loops, clock differences, and the
// "LOOPBACK" settings section. The device-under-test model is measured as a
// user would, by the sweep, analyser and calibration tests; streams through
// the engine in the output tests.
#include "audio/virtualcard/deviceundertest.h"
#include "audio/virtualcard/virtualcardbackend.h"
#include "support/audiotestsupport.h"

#include <atomic>

using namespace audio;
using audiotest::Format;

namespace {

constexpr std::uint32_t kEndless = 2147483647;

// Records one buffer from input 0 of `card`; `started` runs right after the start.
void Record(VirtualCardBackend &card, const WaveFormat &f, void *data, std::uint32_t bytes,
            const std::function<void()> &started = {})
{
    audiotest::CompletionSink sink;
    std::unique_ptr<WaveInDevice> in;
    ASSERT_EQ(card.openInput(0, f, InputTarget{&sink}, in), 0);
    WaveHeader h;
    h.lpData = static_cast<char *>(data);
    h.dwBufferLength = bytes;
    ASSERT_EQ(in->prepareHeader(h), 0);
    ASSERT_EQ(in->addBuffer(h), 0);
    ASSERT_EQ(in->start(), 0);
    if (started)
        started();
    ASSERT_TRUE(audiotest::WaitFor([&] { return !sink.headers.empty(); }));
    EXPECT_EQ(sink.headers[0], &h);
    EXPECT_EQ(sink.codes[0], 0u);
    EXPECT_EQ(h.dwBytesRecorded, bytes);
    EXPECT_TRUE(h.dwFlags & WHDR_DONE);
    EXPECT_EQ(in->unprepareHeader(h), 0);
    EXPECT_EQ(in->close(), 0);
}

// Opens output 0 of `card` and writes `data` as a loop of `loops` repetitions.
std::unique_ptr<WaveOutDevice> PlayLoop(VirtualCardBackend &card, const WaveFormat &f, WaveHeader &h, void *data,
                                        std::uint32_t bytes, std::uint32_t loops, OutputCallback done = nullptr,
                                        bool paused = false)
{
    std::unique_ptr<WaveOutDevice> out;
    EXPECT_EQ(card.openOutput(0, f, std::move(done), out), 0);
    h.lpData = static_cast<char *>(data);
    h.dwBufferLength = bytes;
    h.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    h.dwLoops = loops;
    if (paused) {
        EXPECT_EQ(out->pause(), 0);
    }
    EXPECT_EQ(out->prepareHeader(h), 0);
    EXPECT_EQ(out->write(h), 0);
    return out;
}

class Card : public ::testing::Test {
protected:
    void TearDown() override { card_.stop(); }

    audiotest::SettingsScratch settings_{"virtualcard"};
    audiotest::CardEngine card_;
    std::vector<double> l_, r_;
};

} // namespace

TEST_F(Card, CaptureReturnsExactlyTheFramesAskedForAndCardsAreNamedInOrder)
{
    VirtualCardConfig c = VirtualCardConfig::Ideal();
    c.devices = 3;
    card_.start(c);
    EXPECT_EQ(DeviceName('O', 2), "Virtual loopback 3");
    for (int frames : {1, 7, 1000, 32768}) {
        card_.capture(frames, l_, r_); // asserts the frame count the engine returned
        EXPECT_EQ(audiotest::Peak(l_), 0.0); // nothing plays, no test signal: silence
    }
}

TEST_F(Card, IdealCardReturnsPlayedSamplesUnchangedAtEachResolution)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal());
    for (int bits : {8, 16, 32}) {
        const WaveFormat f = Format(48000, bits);
        const int bps = bits / 8;
        // A loop of distinct samples, the channels different, the ends included.
        const int loopFrames = bits == 8 ? 127 : 1000;
        auto sampleOf = [&](int frame, int ch) -> std::int64_t {
            if (bits == 8)
                return (ch ? 255 - frame : frame) & 0xFF;
            if (bits == 16)
                return ch ? -32768 + 61 * frame : 32767 - 37 * frame;
            return ch ? std::int64_t(INT32_MIN) + 4099 * std::int64_t(frame) : 2147483392 - 77777 * std::int64_t(frame);
        };
        std::vector<char> loop(static_cast<std::size_t>(loopFrames) * f.nBlockAlign);
        for (int k = 0; k < loopFrames; ++k)
            for (int ch = 0; ch < 2; ++ch) {
                const std::int64_t s = sampleOf(k, ch);
                std::memcpy(&loop[(2 * k + ch) * bps], &s, bps); // little-endian low bytes
            }
        WaveHeader oh;
        auto out = PlayLoop(card, f, oh, loop.data(), static_cast<std::uint32_t>(loop.size()), kEndless);

        const int frames = 3000;
        std::vector<char> data(static_cast<std::size_t>(frames) * f.nBlockAlign, 0x55);
        Record(card, f, data.data(), static_cast<std::uint32_t>(data.size()));
        auto captured = [&](int frame, int ch) {
            std::int64_t s = 0;
            std::memcpy(&s, &data[(2 * frame + ch) * bps], bps);
            return bits == 16 ? std::int16_t(s) : bits == 32 ? std::int32_t(s) : s;
        };
        int k0 = 0;
        while (k0 < loopFrames && captured(0, 0) != sampleOf(k0, 0))
            ++k0;
        ASSERT_LT(k0, loopFrames) << bits;
        for (int j = 0; j < frames; ++j)
            for (int ch = 0; ch < 2; ++ch)
                ASSERT_EQ(captured(j, ch), sampleOf((k0 + j) % loopFrames, ch)) << bits << " frame " << j;
        EXPECT_EQ(out->reset(), 0);
        EXPECT_TRUE(oh.dwFlags & WHDR_DONE);
        EXPECT_EQ(out->unprepareHeader(oh), 0);
        EXPECT_EQ(out->close(), 0);
    }
}

TEST_F(Card, QueryFormatReportsTheConfiguredFormats)
{
    VirtualCardConfig c = VirtualCardConfig::Ideal();
    ASSERT_TRUE(ParseFormatList("16:44100, 24:48000", c.formats));
    card_.start(c);
    EXPECT_TRUE(QueryFormat(44100, 16, true));
    EXPECT_TRUE(QueryFormat(48000, 24, false));
    EXPECT_FALSE(QueryFormat(48000, 16, true));
    EXPECT_FALSE(QueryFormat(44100, 24, false));
    EXPECT_EQ(InputFormats(0), WAVE_FORMAT_4S16);
    card_.stop();

    card_.start(VirtualCardConfig::Ideal()); // ALL: the I/O grid and user rates up to 192000
    for (int rate : {8000, 11025, 22050, 32000, 44100, 48000, 96000, 55200, 192000})
        for (int bits : {8, 16, 24})
            EXPECT_TRUE(QueryFormat(rate, bits, true)) << rate << " " << bits;
    EXPECT_FALSE(QueryFormat(200000, 16, true));
    EXPECT_FALSE(QueryFormat(44100, 12, true));
    EXPECT_EQ(InputFormats(0), 0x000AAAAAu); // every stereo bit
    SoundInterface::instance().setBackends({});
    EXPECT_FALSE(QueryFormat(44100, 16, true)); // no device
}

TEST_F(Card, PacedCaptureTakesTheDurationOfItsFrames)
{
    card_.start(VirtualCardConfig::Ideal(true));
    SetRates(44100, 0);
    QElapsedTimer t;
    t.start();
    card_.capture(8820, l_, r_);
    EXPECT_GE(t.elapsed(), 198); // 8820 / 44100 s = 200 ms, never early
}

TEST_F(Card, TestSineComesBackAsConfiguredAndContinuesAcrossCaptures)
{
    VirtualCardConfig c = VirtualCardConfig::Ideal();
    c.signal = VirtualCardConfig::Signal::Sine;
    c.sigFreqHz = 1000.5;
    c.sigLevelDb = -20.0;
    card_.start(c);
    SetRates(48000, 0);
    auto ref = [](int j) { return 0.1 * std::sin(2.0 * std::numbers::pi * 1000.5 * j / 48000.0); };
    card_.capture(4800, l_, r_);
    for (int j = 0; j < 4800; ++j) {
        ASSERT_NEAR(l_[j], ref(j) * 32767.0 / 32768.0, 1.0 / 32768.0) << j;
        ASSERT_EQ(l_[j], r_[j]);
    }
    card_.capture(10, l_, r_);
    EXPECT_NEAR(l_[0], ref(4800), 2.0 / 32768.0);
}

TEST_F(Card, NoiseFloorOnBothInputsIsIndependent)
{
    VirtualCardConfig c = VirtualCardConfig::Ideal();
    c.noiseDb = -60.0;
    card_.start(c);
    SetBits(24, 0);
    card_.capture(20000, l_, r_);
    double sl = 0, sr = 0, corr = 0;
    for (std::size_t j = 0; j < l_.size(); ++j) {
        sl += l_[j] * l_[j];
        sr += r_[j] * r_[j];
        corr += l_[j] * r_[j];
    }
    EXPECT_NEAR(testsupport::DbPower(sl / l_.size()), -60.0, 0.3);
    EXPECT_NEAR(testsupport::DbPower(sr / r_.size()), -60.0, 0.3);
    EXPECT_LT(std::fabs(corr) / std::sqrt(sl * sr), 0.05);
}

TEST_F(Card, StreamBuffersCompleteOneByOneAndResetReturnsTheRest)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal(true));
    audiotest::RefillPlayer p(441 * 4, [](WaveHeader &) {}); // 10 ms buffers
    ASSERT_EQ(p.start(card, Format(44100, 16), false), 0);
    platform::DelayMs(30);
    EXPECT_EQ(p.callbacks, 0); // paused: nothing plays
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(p.out->restart(), 0);
    ASSERT_TRUE(audiotest::WaitFor([&] { return p.callbacks >= 10; }));
    EXPECT_GE(t.elapsed(), 95); // ten buffers of 10 ms in real time
    EXPECT_EQ(p.out->close(), WAVERR_STILLPLAYING);
    p.refillsLeft = 0;
    const int before = p.callbacks;
    ASSERT_EQ(p.out->reset(), 0);
    EXPECT_GE(p.callbacks - before, 1); // the queued buffers came back before reset returned
    for (WaveHeader &h : p.header) {
        EXPECT_TRUE(h.dwFlags & WHDR_DONE);
        EXPECT_EQ(p.out->unprepareHeader(h), 0); // refused while still queued
    }
    EXPECT_EQ(p.out->close(), 0);
}

TEST_F(Card, LoopbackSectionIsReadAndMissingKeysWrittenBack)
{
    settings_.write("[LOOPBACK]\nDEVICES=3\nFORMATS=16:44100,24:96000\nPACED=false\nGAIN=-1.25\n"
                    "HIGHPASS=0\nSIGNAL=pink\nSIGFREQ=997.5\nNOISE=abc\nINVERT=TRUE\nDELAY=480\nDUTDELAY=-3\n");
    VirtualCardConfig c = LoadLoopbackSettings(settings_.file);
    EXPECT_EQ(c.devices, 3);
    ASSERT_EQ(c.formats.size(), 2u);
    EXPECT_EQ(c.formats[1], std::make_pair(24, 96000));
    EXPECT_FALSE(c.paced);
    EXPECT_EQ(c.gainDb, -1.25);
    EXPECT_EQ(c.highpassHz, 0.0);
    EXPECT_EQ(c.lowpassHz, 20000.0);
    EXPECT_EQ(c.noiseDb, -110.0); // unparsable: default
    EXPECT_TRUE(c.invert);
    EXPECT_EQ(c.signal, VirtualCardConfig::Signal::Pink);
    EXPECT_EQ(c.sigFreqHz, 997.5);
    EXPECT_EQ(c.delayFrames, 480);
    EXPECT_EQ(c.dutDelayFrames, 0); // out of range: default
    EXPECT_EQ(settings_.get("LOOPBACK", "LOWPASS"), "20000");
    EXPECT_EQ(settings_.get("LOOPBACK", "DISTORTION"), "-80");
    EXPECT_EQ(settings_.get("LOOPBACK", "SIGLEVEL"), "-20");
    EXPECT_EQ(settings_.get("LOOPBACK", "GAIN"), "-1.25"); // present keys stay as they were
    EXPECT_EQ(settings_.get("LOOPBACK", "NOISE"), "abc");

    const std::string empty = settings_.dir + "/empty.ini";
    VirtualCardConfig d = LoadLoopbackSettings(empty);
    EXPECT_EQ(d.devices, 1);
    EXPECT_TRUE(d.formats.empty());
    EXPECT_TRUE(d.paced);
    EXPECT_EQ(d.gainDb, -0.5);
    platform::IniFile ini(empty);
    ini.load();
    for (const char *key : {"DEVICES", "FORMATS", "PACED", "GAIN", "HIGHPASS", "LOWPASS", "DISTORTION", "NOISE",
                            "INVERT", "SIGNAL", "SIGFREQ", "SIGLEVEL", "DELAY", "DUTDELAY", "POLY"})
        EXPECT_TRUE(ini.has("LOOPBACK", key)) << key;
    EXPECT_EQ(ini.get("LOOPBACK", "POLY", ""), "NONE");
    EXPECT_TRUE(d.polynomial.empty());

    // One to five coefficients with a point; more, commas left empty or
    // decimal commas are refused and leave the list as it was.
    std::vector<double> poly{9.0};
    EXPECT_TRUE(ParsePolynomial(" 1, -0.5e-1 ,0.25", poly));
    EXPECT_EQ(poly, (std::vector<double>{1.0, -0.05, 0.25}));
    for (const char *bad : {"1,2,3,4,5,6", "1,,2", "0.5x", "1;2", "", "nan"})
        EXPECT_FALSE(ParsePolynomial(bad, poly)) << bad;
    EXPECT_EQ(poly.size(), 3u);
    EXPECT_TRUE(ParsePolynomial("none", poly));
    EXPECT_TRUE(poly.empty());
    EXPECT_EQ(ini.get("LOOPBACK", "FORMATS", ""), "ALL");
    EXPECT_EQ(ini.get("LOOPBACK", "PACED", ""), "TRUE");
    // A fresh install shows a spectrum on the first START.
    EXPECT_EQ(d.signal, VirtualCardConfig::Signal::Sine);
    EXPECT_EQ(ini.get("LOOPBACK", "SIGNAL", ""), "SINE");

    std::vector<std::pair<int, int>> list;
    for (const char *bad : {"16:44100,", "12:44100", ""})
        EXPECT_FALSE(ParseFormatList(bad, list)) << bad;
    EXPECT_TRUE(ParseFormatList("32:48000", list));
    EXPECT_EQ(FormatListText(list), "24:48000");
}

TEST(DeviceUnderTestDelay, InputsLagTheOutputByWholeFrames)
{
    // An impulse on both outputs at frame 2: the left input shows it DELAY
    // frames later, the right DELAY + DUTDELAY frames later through the
    // model's gain (-6 dB, inverted); nothing before, nothing after.
    VirtualCardConfig c = VirtualCardConfig::Ideal();
    c.delayFrames = 5;
    c.dutDelayFrames = 3;
    c.gainDb = -6.0;
    c.invert = true;
    DeviceUnderTest dut;
    dut.configure(c, 48000.0);
    for (int j = 0; j < 20; ++j) {
        double l = 1.0, r = 1.0;
        dut.process(j == 2 ? 1.0 : 0.0, j == 2 ? 0.5 : 0.0, l, r);
        EXPECT_EQ(l, j == 7 ? 1.0 : 0.0) << j;
        EXPECT_DOUBLE_EQ(r, j == 10 ? -0.5 * std::pow(10.0, -6.0 / 20.0) : 0.0) << j;
    }
}

TEST_F(Card, DeviceCallsOutOfOrderAreRefused)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal());
    const WaveFormat f = Format(44100, 16);
    audiotest::CompletionSink sink;
    std::unique_ptr<WaveInDevice> in, again;
    EXPECT_EQ(card.openInput(0, Format(44100, 24), InputTarget{&sink}, in), WAVERR_BADFORMAT); // 24 needs 32
    EXPECT_EQ(card.openInput(1, f, InputTarget{&sink}, in), MMSYSERR_BADDEVICEID);
    ASSERT_EQ(card.openInput(0, f, InputTarget{&sink}, in), 0);
    EXPECT_EQ(card.openInput(0, f, InputTarget{&sink}, again), MMSYSERR_ALLOCATED);
    audiotest::Buffer b(400);
    WaveHeader &h = b.header;
    EXPECT_EQ(in->addBuffer(h), WAVERR_UNPREPARED);
    ASSERT_EQ(in->prepareHeader(h), 0);
    ASSERT_EQ(in->addBuffer(h), 0);
    EXPECT_EQ(in->unprepareHeader(h), WAVERR_STILLPLAYING);
    EXPECT_EQ(in->close(), WAVERR_STILLPLAYING);
    ASSERT_EQ(in->reset(), 0); // the buffer comes back unfilled, with one completion
    platform::DelayMs(5);
    ASSERT_EQ(sink.headers.size(), 1u);
    EXPECT_EQ(h.dwBytesRecorded, 0u);
    EXPECT_EQ(in->unprepareHeader(h), 0);
    EXPECT_EQ(in->close(), 0);
    EXPECT_EQ(in->start(), MMSYSERR_INVALHANDLE);
    in.reset();
    EXPECT_EQ(card.openInput(0, f, InputTarget{&sink}, in), 0); // a closed card opens again

    std::unique_ptr<WaveOutDevice> out;
    WaveFormat underived = Format(48000, 16); // the rate changed, the derived fields not
    underived.nAvgBytesPerSec = 176400;
    EXPECT_EQ(card.openOutput(0, underived, nullptr, out), WAVERR_BADFORMAT);
    ASSERT_EQ(card.openOutput(0, f, nullptr, out), 0);
    std::unique_ptr<WaveOutDevice> second;
    EXPECT_EQ(card.openOutput(0, f, nullptr, second), MMSYSERR_ALLOCATED);
    WaveHeader empty;
    EXPECT_EQ(out->prepareHeader(empty), MMSYSERR_INVALPARAM);
    EXPECT_EQ(out->write(h), WAVERR_UNPREPARED);
}

// The last owner of a card may let go of it from inside an output callback,
// on the card's own thread; the thread then ends without touching freed memory.
TEST_F(Card, ADeviceLetGoInsideItsOwnCallbackWithTheCardEndsCleanly)
{
    auto backend = std::make_shared<VirtualCardBackend>(VirtualCardConfig::Ideal(true));
    std::unique_ptr<WaveOutDevice> out;
    std::atomic<bool> gone{false};
    std::vector<std::int16_t> data(2 * 480, 1000);
    WaveHeader h;
    out = PlayLoop(
        *backend, audiotest::Format(48000, 16), h, data.data(), 2 * 480 * 2, 1,
        [&](WaveHeader *) {
            out.reset(); // the last reference to the card
            gone = true;
        },
        true);
    backend.reset();
    WaveOutDevice *raw = out.get(); // the callback takes `out` away from here on
    EXPECT_EQ(raw->restart(), 0);
    EXPECT_TRUE(audiotest::WaitFor([&] { return gone.load(); }));
}

TEST_F(Card, FiniteLoopsPlayTheirCountThenComplete)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal(true)); // paced: the restart lands early in the block
    const WaveFormat f = Format(8000, 16);
    std::vector<std::int16_t> tone{1000, -1000, 2000, -2000}; // two frames
    std::atomic<int> played{0};
    WaveHeader oh;
    auto out = PlayLoop(card, f, oh, tone.data(), 8, 3, [&](WaveHeader *) { ++played; }, true);
    const int frames = 4000; // 500 ms: the restart may come late on a loaded machine
    std::vector<std::int16_t> got(2 * frames, 99);
    Record(card, f, got.data(), frames * 4, [&] { ASSERT_EQ(out->restart(), 0); });
    ASSERT_TRUE(audiotest::WaitFor([&] { return played == 1; }));
    // Somewhere in the block: the tone three times (6 frames), silence after.
    int first = 0;
    while (first < frames && got[2 * first] == 0)
        ++first;
    ASSERT_LE(first + 6, frames) << "the tone started too late to check";
    for (int j = 0; j < 6; ++j) {
        EXPECT_EQ(got[2 * (first + j)], tone[2 * (j % 2)]);
        EXPECT_EQ(got[2 * (first + j) + 1], tone[2 * (j % 2) + 1]);
    }
    for (int j = first + 6; j < frames; ++j)
        EXPECT_EQ(got[2 * j], 0);
    EXPECT_EQ(played, 1);
    EXPECT_TRUE(oh.dwFlags & WHDR_DONE);
    EXPECT_EQ(out->close(), 0);
}

TEST_F(Card, DifferentOutputRateIsHeldOrSkippedToTheInputClock)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal());
    std::vector<std::int16_t> loop;
    for (int k = 0; k < 1000; ++k)
        loop.insert(loop.end(), {std::int16_t(k), std::int16_t(k)});
    WaveHeader oh;
    auto out = PlayLoop(card, Format(48000, 16), oh, loop.data(), 4000, kEndless); // twice the input rate
    std::vector<std::int16_t> got(2 * 200);
    Record(card, Format(24000, 16), got.data(), 800);
    for (int j = 1; j < 200; ++j)
        ASSERT_EQ((got[2 * j] - got[2 * j - 2] + 1000) % 1000, 2) << j; // every second output frame
    EXPECT_EQ(out->reset(), 0);
    EXPECT_EQ(out->close(), 0);
}

