// The virtual loopback card: exact frame counts, bit-exact loopback with the
// ideal model, the formats it is configured for, real-time pacing, the
// device-under-test model measured as a user would, the test signal, output
// completions, and the "LOOPBACK" settings section.
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "audio/setupsoundinterface.h"
#include "audio/tdummy.h"
#include "audio/virtualcardbackend.h"
#include "platform/inifile.h"
#include "platform/messages.h"
#include "platform/utilities.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numbers>

using namespace audio;

namespace {

// Records the input completions a device posts.
class Receiver : public QObject {
public:
    std::vector<WaveHeader *> done;
    std::vector<int> errors;

protected:
    bool event(QEvent *e) override
    {
        if (const platform::WindowMessageEvent *m = platform::AsWindowMessage(e)) {
            if (m->msg == platform::MM_WIM_DATA) {
                done.push_back(reinterpret_cast<WaveHeader *>(m->lParam));
                errors.push_back(static_cast<int>(m->wParam));
                return true;
            }
        }
        return QObject::event(e);
    }
};

WaveFormat stereo(std::uint32_t rate, int bits)
{
    WaveFormat f;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = static_cast<std::uint16_t>(bits);
    f.nBlockAlign = static_cast<std::uint16_t>(2 * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    return f;
}

bool waitFor(const std::function<bool()> &ready, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!ready() && t.elapsed() < ms)
        platform::DelayMs(1);
    return ready();
}

// Amplitude of the component at `freq` Hz in `x` (naive DFT, one bin).
double amplitudeAt(const std::vector<double> &x, double freq, double rate)
{
    double re = 0, im = 0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double w = 2.0 * std::numbers::pi * freq * static_cast<double>(n) / rate;
        re += x[n] * std::cos(w);
        im += x[n] * std::sin(w);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(x.size());
}

// Phase in degrees of the component at `freq` (sine reference).
double phaseAt(const std::vector<double> &x, double freq, double rate)
{
    double re = 0, im = 0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double w = 2.0 * std::numbers::pi * freq * static_cast<double>(n) / rate;
        re += x[n] * std::sin(w);
        im += x[n] * std::cos(w);
    }
    return std::atan2(im, re) * 180.0 / std::numbers::pi;
}

double rms(const std::vector<double> &x)
{
    double s = 0;
    for (double v : x)
        s += v * v;
    return std::sqrt(s / static_cast<double>(x.size()));
}

// Engine set-up on the virtual cards only.
class Card : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = testsupport::ScratchDir("virtualcard");
        platform::SetSettingsFileName(dir_ + "/sonmain.ini");
    }
    void TearDown() override
    {
        if (AudioInitialised())
            DoneAudio();
        window_.reset();
        SoundInterface::instance().setBackends({});
        platform::SetSettingsFileName("");
    }
    void start(const VirtualCardConfig &config)
    {
        SetupSoundInterface(config, false);
        window_ = std::make_unique<Tdummy>();
        ASSERT_EQ(InitAudio(), 0);
        int in, out;
        std::uint32_t mask;
        DeviceReport(in, out, mask);
        SelectInputDevice(0);
        SelectOutputDevice(0);
    }
    // One engine capture; returns (left, right) per frame in device order.
    void capture(int frames, std::vector<double> &left, std::vector<double> &right)
    {
        int calls = 0;
        ASSERT_EQ(StartCapture(frames, 0, [&] { ++calls; }), 0);
        ASSERT_TRUE(waitFor([&] { return calls > 0; }));
        int count, over;
        std::uint32_t user;
        const float *v = FinishCapture(count, over, user);
        ASSERT_NE(v, nullptr);
        ASSERT_EQ(count, 2 * frames);
        left.clear();
        right.clear();
        for (int j = 0; j < frames; ++j) {
            left.push_back(v[2 * j + 1]);
            right.push_back(v[2 * j]);
        }
    }

    std::string dir_;
    std::unique_ptr<Tdummy> window_;
};

} // namespace

TEST_F(Card, CaptureReturnsExactlyTheFramesAskedFor)
{
    start(VirtualCardConfig::Ideal());
    EXPECT_EQ(DeviceName('I', 0), "Virtual loopback 1");
    for (int frames : {1, 7, 1000, 32768}) {
        std::vector<double> l, r;
        capture(frames, l, r);
        EXPECT_EQ(l.size(), static_cast<std::size_t>(frames));
        for (double v : l)
            ASSERT_EQ(v, 0.0); // nothing plays, no test signal: silence
    }
}

TEST_F(Card, IdealCardReturnsPlayedSamplesUnchangedAtEachResolution)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal());
    for (int bits : {8, 16, 32}) {
        const WaveFormat f = stereo(48000, bits);
        const int bps = bits / 8;
        // A loop of distinct samples, both channels different, ends included.
        const int loopFrames = bits == 8 ? 127 : 1000;
        std::vector<char> loop(static_cast<std::size_t>(loopFrames) * f.nBlockAlign);
        auto sampleOf = [&](int frame, int ch) -> std::int64_t {
            if (bits == 8)
                return (ch ? 255 - frame : frame) & 0xFF;
            if (bits == 16)
                return ch ? -32768 + 61 * frame : 32767 - 37 * frame;
            return ch ? std::int64_t(INT32_MIN) + 4099 * std::int64_t(frame) : 2147483392 - 77777 * std::int64_t(frame);
        };
        for (int k = 0; k < loopFrames; ++k)
            for (int ch = 0; ch < 2; ++ch) {
                const std::int64_t s = sampleOf(k, ch);
                std::memcpy(&loop[(2 * k + ch) * bps], &s, bps); // little-endian low bytes
            }
        std::unique_ptr<WaveOutDevice> out;
        ASSERT_EQ(card.openOutput(0, f, nullptr, out), 0);
        WaveHeader oh;
        oh.lpData = loop.data();
        oh.dwBufferLength = static_cast<std::uint32_t>(loop.size());
        oh.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
        oh.dwLoops = 2147483647;
        ASSERT_EQ(out->prepareHeader(oh), 0);
        ASSERT_EQ(out->write(oh), 0);

        Receiver rx;
        std::unique_ptr<WaveInDevice> in;
        ASSERT_EQ(card.openInput(0, f, InputTarget{&rx}, in), 0);
        const int frames = 3000;
        std::vector<char> data(static_cast<std::size_t>(frames) * f.nBlockAlign, 0x55);
        WaveHeader ih;
        ih.lpData = data.data();
        ih.dwBufferLength = static_cast<std::uint32_t>(data.size());
        ASSERT_EQ(in->prepareHeader(ih), 0);
        ASSERT_EQ(in->addBuffer(ih), 0);
        ASSERT_EQ(in->start(), 0);
        ASSERT_TRUE(waitFor([&] { return !rx.done.empty(); }));
        EXPECT_EQ(rx.done[0], &ih);
        EXPECT_EQ(rx.errors[0], 0);
        EXPECT_EQ(ih.dwBytesRecorded, ih.dwBufferLength);
        EXPECT_TRUE(ih.dwFlags & WHDR_DONE);

        auto captured = [&](int frame, int ch) {
            std::int64_t s = 0;
            std::memcpy(&s, &data[(2 * frame + ch) * bps], bps);
            if (bits == 16)
                s = static_cast<std::int16_t>(s);
            else if (bits == 32)
                s = static_cast<std::int32_t>(s);
            return s;
        };
        int k0 = -1;
        for (int k = 0; k < loopFrames && k0 < 0; ++k)
            if (captured(0, 0) == sampleOf(k, 0))
                k0 = k;
        ASSERT_GE(k0, 0) << bits;
        for (int j = 0; j < frames; ++j)
            for (int ch = 0; ch < 2; ++ch)
                ASSERT_EQ(captured(j, ch), sampleOf((k0 + j) % loopFrames, ch)) << bits << " frame " << j;

        EXPECT_EQ(in->unprepareHeader(ih), 0);
        EXPECT_EQ(in->close(), 0);
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
    start(c);
    EXPECT_TRUE(QueryFormat(44100, 16, true));
    EXPECT_TRUE(QueryFormat(48000, 24, true));
    EXPECT_TRUE(QueryFormat(48000, 24, false));
    EXPECT_FALSE(QueryFormat(48000, 16, true));
    EXPECT_FALSE(QueryFormat(44100, 8, true));
    EXPECT_FALSE(QueryFormat(44100, 24, false));
    EXPECT_EQ(InputFormats(0), WAVE_FORMAT_4S16);
    DoneAudio();

    start(VirtualCardConfig::Ideal()); // ALL: the I/O grid and user rates up to 192000
    for (int rate : {8000, 11025, 22050, 32000, 44100, 48000, 96000, 55200, 192000})
        for (int bits : {8, 16, 24})
            EXPECT_TRUE(QueryFormat(rate, bits, true)) << rate << " " << bits;
    EXPECT_FALSE(QueryFormat(200000, 16, true));
    EXPECT_FALSE(QueryFormat(44100, 12, true));
    EXPECT_EQ(InputFormats(0), 0x000AAAAAu); // every stereo bit
}

TEST_F(Card, PacedCaptureTakesTheDurationOfItsFrames)
{
    start(VirtualCardConfig::Ideal(true));
    SetRates(44100, 0);
    int calls = 0;
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(StartCapture(8820, 0, [&] { ++calls; }), 0);
    ASSERT_TRUE(waitFor([&] { return calls > 0; }));
    const qint64 ms = t.elapsed();
    EXPECT_GE(ms, 198); // 8820 / 44100 s = 200 ms, never early
    EXPECT_LE(ms, 450);
    int count, over;
    std::uint32_t user;
    EXPECT_NE(FinishCapture(count, over, user), nullptr);
}

TEST_F(Card, TestSineComesBackAsConfigured)
{
    VirtualCardConfig c = VirtualCardConfig::Ideal();
    c.signal = VirtualCardConfig::Signal::Sine;
    c.sigFreqHz = 1000.5;
    c.sigLevelDb = -20.0;
    start(c);
    SetRates(48000, 0);
    std::vector<double> l, r;
    capture(4800, l, r);
    for (int j = 0; j < 4800; ++j) {
        const double ref = 0.1 * std::sin(2.0 * std::numbers::pi * 1000.5 * j / 48000.0);
        ASSERT_NEAR(l[j], ref * 32767.0 / 32768.0, 1.0 / 32768.0) << j;
        ASSERT_EQ(l[j], r[j]);
    }
    // The next capture continues the sine without a jump.
    std::vector<double> l2, r2;
    capture(10, l2, r2);
    const double next = 0.1 * std::sin(2.0 * std::numbers::pi * 1000.5 * 4800 / 48000.0);
    EXPECT_NEAR(l2[0], next, 2.0 / 32768.0);
}

TEST_F(Card, DeviceUnderTestModelMeasuresAsConfigured)
{
    VirtualCardConfig c; // defaults, but unpaced and with a loud test tone
    c.paced = false;
    c.signal = VirtualCardConfig::Signal::Sine;
    c.sigFreqHz = 1000.0;
    c.sigLevelDb = -6.0;
    c.gainDb = -3.0;
    c.distortionDb = -40.0;
    c.noiseDb = -200.0;
    start(c);
    SetRates(48000, 0);
    SetBits(24, 0);
    std::vector<double> l, r;
    capture(9600, l, r); // settle the filters
    capture(9600, l, r); // 200 ms: whole periods of 1, 2 and 3 kHz
    const double a = std::pow(10.0, -6.0 / 20.0);
    const double left1k = amplitudeAt(l, 1000, 48000);
    const double right1k = amplitudeAt(r, 1000, 48000);
    EXPECT_NEAR(left1k, a, 1e-4);                          // straight wire
    EXPECT_NEAR(20 * std::log10(right1k / left1k), -3.0, 0.02); // gain (the filters are flat at 1 kHz)
    EXPECT_NEAR(20 * std::log10(amplitudeAt(r, 2000, 48000) / right1k), -40.0, 0.5);
    EXPECT_NEAR(20 * std::log10(amplitudeAt(r, 3000, 48000) / right1k), -40.0, 0.5);
    EXPECT_LT(amplitudeAt(l, 2000, 48000), 1e-6);           // no distortion on the reference
    DoneAudio();

    c.distortionDb = -200.0;
    c.gainDb = 0.0;
    c.invert = true;
    c.sigFreqHz = 20.0; // the high-pass corner: -3 dB
    c.signal = VirtualCardConfig::Signal::Sine;
    start(c);
    SetRates(48000, 0);
    capture(24000, l, r);
    capture(24000, l, r); // 0.5 s: ten periods
    const double ratio = amplitudeAt(r, 20, 48000) / amplitudeAt(l, 20, 48000);
    EXPECT_NEAR(20 * std::log10(ratio), -3.01, 0.1);
    // The high-pass leads by 90 degrees at its corner; inverted, that is -90.
    double shift = phaseAt(r, 20, 48000) - phaseAt(l, 20, 48000);
    shift = std::remainder(shift, 360.0);
    EXPECT_NEAR(shift, -90.0, 1.0);
}

TEST_F(Card, NoiseFloorOnBothInputs)
{
    VirtualCardConfig c = VirtualCardConfig::Ideal();
    c.noiseDb = -60.0;
    start(c);
    SetBits(24, 0);
    std::vector<double> l, r;
    capture(20000, l, r);
    EXPECT_NEAR(20 * std::log10(rms(l)), -60.0, 0.3);
    EXPECT_NEAR(20 * std::log10(rms(r)), -60.0, 0.3);
    double corr = 0;
    for (std::size_t j = 0; j < l.size(); ++j)
        corr += l[j] * r[j];
    EXPECT_LT(std::fabs(corr) / (l.size() * rms(l) * rms(r)), 0.05); // independent noise
}

TEST_F(Card, StreamBuffersCompleteOneByOneAndResetReturnsTheRest)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal(true));
    const WaveFormat f = stereo(44100, 16);
    std::vector<char> a(441 * 4), b(441 * 4); // 10 ms each
    WaveHeader ha, hb;
    ha.lpData = a.data();
    ha.dwBufferLength = static_cast<std::uint32_t>(a.size());
    hb.lpData = b.data();
    hb.dwBufferLength = static_cast<std::uint32_t>(b.size());
    std::atomic<int> completions{0};
    std::atomic<bool> refill{true};
    std::unique_ptr<WaveOutDevice> out;
    WaveOutDevice *dev = nullptr;
    ASSERT_EQ(card.openOutput(0, f,
                              [&](WaveHeader *h) {
                                  ++completions;
                                  EXPECT_TRUE(h->dwFlags & WHDR_DONE);
                                  if (refill) { // the refill pattern: unprepare, prepare, write
                                      dev->unprepareHeader(*h);
                                      dev->prepareHeader(*h);
                                      dev->write(*h);
                                  }
                              },
                              out),
              0);
    dev = out.get();
    ASSERT_EQ(out->pause(), 0);
    ASSERT_EQ(out->prepareHeader(ha), 0);
    ASSERT_EQ(out->prepareHeader(hb), 0);
    ASSERT_EQ(out->write(ha), 0);
    ASSERT_EQ(out->write(hb), 0);
    platform::DelayMs(30);
    EXPECT_EQ(completions, 0); // paused: nothing plays
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(out->restart(), 0);
    ASSERT_TRUE(waitFor([&] { return completions >= 10; }));
    EXPECT_GE(t.elapsed(), 95); // ten buffers of 10 ms in real time
    EXPECT_EQ(out->close(), WAVERR_STILLPLAYING);
    refill = false;
    const int before = completions;
    ASSERT_EQ(out->reset(), 0);
    // Both queued buffers came back before reset returned.
    EXPECT_GE(completions - before, 1);
    EXPECT_FALSE(ha.dwFlags & WHDR_INQUEUE);
    EXPECT_FALSE(hb.dwFlags & WHDR_INQUEUE);
    EXPECT_EQ(out->unprepareHeader(ha), 0);
    EXPECT_EQ(out->unprepareHeader(hb), 0);
    EXPECT_EQ(out->close(), 0);
}

TEST_F(Card, LoopbackSectionIsReadAndMissingKeysWrittenBack)
{
    const std::string file = dir_ + "/sonmain.ini";
    testsupport::WriteFile(file, "[LOOPBACK]\nDEVICES=3\nFORMATS=16:44100,24:96000\nPACED=false\nGAIN=-1.25\n"
                                 "HIGHPASS=0\nSIGNAL=pink\nSIGFREQ=997.5\nNOISE=abc\nINVERT=TRUE\n");
    VirtualCardConfig c = LoadLoopbackSettings(file);
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
    auto get = [&](const char *key) { return platform::GetPrivateProfileString("LOOPBACK", key, "<missing>", 0, file); };
    EXPECT_EQ(get("LOWPASS"), "20000");
    EXPECT_EQ(get("DISTORTION"), "-80");
    EXPECT_EQ(get("SIGLEVEL"), "-20");
    EXPECT_EQ(get("GAIN"), "-1.25"); // present keys stay as they were
    EXPECT_EQ(get("NOISE"), "abc");

    // An empty file gets every key with its default.
    const std::string empty = dir_ + "/empty.ini";
    VirtualCardConfig d = LoadLoopbackSettings(empty);
    EXPECT_EQ(d.devices, 1);
    EXPECT_TRUE(d.formats.empty());
    EXPECT_TRUE(d.paced);
    EXPECT_EQ(d.gainDb, -0.5);
    platform::IniFile ini(empty);
    ini.load();
    for (const char *key : {"DEVICES", "FORMATS", "PACED", "GAIN", "HIGHPASS", "LOWPASS", "DISTORTION", "NOISE",
                            "INVERT", "SIGNAL", "SIGFREQ", "SIGLEVEL"})
        EXPECT_TRUE(ini.has("LOOPBACK", key)) << key;
    EXPECT_EQ(ini.get("LOOPBACK", "FORMATS", ""), "ALL");
    EXPECT_EQ(ini.get("LOOPBACK", "PACED", ""), "TRUE");

    std::vector<std::pair<int, int>> list;
    EXPECT_FALSE(ParseFormatList("16:44100,", list));
    EXPECT_FALSE(ParseFormatList("12:44100", list));
    EXPECT_FALSE(ParseFormatList("", list));
    EXPECT_TRUE(ParseFormatList("32:48000", list));
    EXPECT_EQ(list[0], std::make_pair(24, 48000));
    EXPECT_EQ(FormatListText(list), "24:48000");
}

TEST_F(Card, SeveralCardsAreNamedInOrder)
{
    VirtualCardConfig c = VirtualCardConfig::Ideal();
    c.devices = 3;
    start(c);
    EXPECT_EQ(SoundInterface::instance().waveInGetNumDevs(), 3);
    EXPECT_EQ(DeviceName('O', 2), "Virtual loopback 3");
    EXPECT_EQ(AudioLog()[7], "Virtual loopback 1");
}

TEST_F(Card, DeviceCallsOutOfOrderAreRefused)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal());
    const WaveFormat f = stereo(44100, 16);
    Receiver rx;
    std::unique_ptr<WaveInDevice> in, again;
    EXPECT_EQ(card.openInput(0, stereo(44100, 24), InputTarget{&rx}, in), WAVERR_BADFORMAT); // 24 needs 32
    EXPECT_EQ(card.openInput(1, f, InputTarget{&rx}, in), MMSYSERR_BADDEVICEID);
    ASSERT_EQ(card.openInput(0, f, InputTarget{&rx}, in), 0);
    EXPECT_EQ(card.openInput(0, f, InputTarget{&rx}, again), MMSYSERR_ALLOCATED);
    std::vector<char> data(400);
    WaveHeader h;
    h.lpData = data.data();
    h.dwBufferLength = 400;
    EXPECT_EQ(in->addBuffer(h), WAVERR_UNPREPARED);
    ASSERT_EQ(in->prepareHeader(h), 0);
    ASSERT_EQ(in->addBuffer(h), 0);
    EXPECT_EQ(in->unprepareHeader(h), WAVERR_STILLPLAYING);
    EXPECT_EQ(in->close(), WAVERR_STILLPLAYING);
    // Reset returns the buffer, unfilled, with one completion.
    ASSERT_EQ(in->reset(), 0);
    platform::DelayMs(5);
    ASSERT_EQ(rx.done.size(), 1u);
    EXPECT_EQ(h.dwBytesRecorded, 0u);
    EXPECT_EQ(in->unprepareHeader(h), 0);
    EXPECT_EQ(in->close(), 0);
    EXPECT_EQ(in->start(), MMSYSERR_INVALHANDLE);
    // A closed card opens again.
    in.reset();
    EXPECT_EQ(card.openInput(0, f, InputTarget{&rx}, in), 0);

    std::unique_ptr<WaveOutDevice> out;
    ASSERT_EQ(card.openOutput(0, f, nullptr, out), 0);
    WaveHeader empty;
    EXPECT_EQ(out->prepareHeader(empty), MMSYSERR_INVALPARAM);
    EXPECT_EQ(out->write(h), WAVERR_UNPREPARED);
}

TEST_F(Card, FiniteLoopsPlayTheirCountThenComplete)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal(true)); // paced: the restart lands early in the block
    const WaveFormat f = stereo(8000, 16);
    std::vector<std::int16_t> tone{1000, -1000, 2000, -2000}; // two frames
    WaveHeader oh;
    oh.lpData = reinterpret_cast<char *>(tone.data());
    oh.dwBufferLength = 8;
    oh.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    oh.dwLoops = 3;
    std::atomic<int> played{0};
    std::unique_ptr<WaveOutDevice> out;
    ASSERT_EQ(card.openOutput(0, f, [&](WaveHeader *) { ++played; }, out), 0);
    ASSERT_EQ(out->pause(), 0);
    ASSERT_EQ(out->prepareHeader(oh), 0);
    ASSERT_EQ(out->write(oh), 0);

    Receiver rx;
    std::unique_ptr<WaveInDevice> in;
    ASSERT_EQ(card.openInput(0, f, InputTarget{&rx}, in), 0);
    const int frames = 400; // 50 ms
    std::vector<std::int16_t> got(2 * frames, 99);
    WaveHeader ih;
    ih.lpData = reinterpret_cast<char *>(got.data());
    ih.dwBufferLength = static_cast<std::uint32_t>(got.size() * 2);
    ASSERT_EQ(in->prepareHeader(ih), 0);
    ASSERT_EQ(in->addBuffer(ih), 0);
    ASSERT_EQ(in->start(), 0);
    ASSERT_EQ(out->restart(), 0);
    ASSERT_TRUE(waitFor([&] { return !rx.done.empty(); }));
    ASSERT_TRUE(waitFor([&] { return played == 1; }));
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
    EXPECT_EQ(in->close(), 0);
    EXPECT_EQ(out->close(), 0);
}

TEST_F(Card, StreamPlaybackIsCapturedThroughTheEngineWithoutGaps)
{
    start(VirtualCardConfig::Ideal());
    SetRates(48000, 48000);
    // A stream of numbered frames: each refill continues the count.
    std::vector<std::int16_t> a(2 * 300), b(2 * 300);
    std::atomic<int> next{0};
    auto fill = [&](WaveHeader &h) {
        auto *s = reinterpret_cast<std::int16_t *>(h.lpData);
        for (std::uint32_t j = 0; j < h.dwBufferLength / 4; ++j) {
            const int v = next++ % 30000;
            s[2 * j] = static_cast<std::int16_t>(v);
            s[2 * j + 1] = static_cast<std::int16_t>(-v);
        }
    };
    WaveHeader ha, hb;
    ha.lpData = reinterpret_cast<char *>(a.data());
    ha.dwBufferLength = 1200;
    hb.lpData = reinterpret_cast<char *>(b.data());
    hb.dwBufferLength = 1200;
    std::atomic<bool> running{true};
    WaveOutDevice *dev = nullptr;
    std::unique_ptr<WaveOutDevice> out;
    const int outId = GetOutputDevice();
    ASSERT_EQ(SoundInterface::instance().waveOutOpen(outId, OutputSettings(0).Format,
                                                     [&](WaveHeader *h) {
                                                         if (!running)
                                                             return;
                                                         dev->unprepareHeader(*h);
                                                         fill(*h);
                                                         dev->prepareHeader(*h);
                                                         dev->write(*h);
                                                     },
                                                     out),
              WAVERR_BADFORMAT); // the derived fields are not set yet
    SetDeviceFormat(OutputSettings(0), "", 48000, false, 0, 0);
    ASSERT_EQ(SoundInterface::instance().waveOutOpen(outId, OutputSettings(0).Format,
                                                     [&](WaveHeader *h) {
                                                         if (!running)
                                                             return;
                                                         dev->unprepareHeader(*h);
                                                         fill(*h);
                                                         dev->prepareHeader(*h);
                                                         dev->write(*h);
                                                     },
                                                     out),
              0);
    dev = out.get();
    fill(ha);
    fill(hb);
    ASSERT_EQ(out->prepareHeader(ha), 0);
    ASSERT_EQ(out->prepareHeader(hb), 0);
    ASSERT_EQ(out->write(ha), 0);
    ASSERT_EQ(out->write(hb), 0);

    // Unpaced captures far longer than the two buffers: the refill keeps up.
    std::vector<double> l, r;
    for (int round = 0; round < 3; ++round) {
        capture(5000, l, r);
        for (int j = 1; j < 5000; ++j) {
            const int prev = static_cast<int>(std::lround(l[j - 1] * 32768.0));
            const int cur = static_cast<int>(std::lround(l[j] * 32768.0));
            ASSERT_EQ(cur, (prev + 1) % 30000) << "round " << round << " frame " << j;
            ASSERT_EQ(std::lround(r[j] * 32768.0), -cur);
        }
    }
    running = false;
    ASSERT_EQ(out->reset(), 0);
    EXPECT_EQ(out->unprepareHeader(ha), 0);
    EXPECT_EQ(out->unprepareHeader(hb), 0);
    EXPECT_EQ(out->close(), 0);
}

TEST_F(Card, DifferentOutputRateIsHeldOrSkippedToTheInputClock)
{
    VirtualCardBackend card(VirtualCardConfig::Ideal());
    std::vector<std::int16_t> loop;
    for (int k = 0; k < 1000; ++k) {
        loop.push_back(static_cast<std::int16_t>(k));
        loop.push_back(static_cast<std::int16_t>(k));
    }
    WaveHeader oh;
    oh.lpData = reinterpret_cast<char *>(loop.data());
    oh.dwBufferLength = 4000;
    oh.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    oh.dwLoops = 2147483647;
    std::unique_ptr<WaveOutDevice> out;
    ASSERT_EQ(card.openOutput(0, stereo(48000, 16), nullptr, out), 0); // output twice the input rate
    ASSERT_EQ(out->prepareHeader(oh), 0);
    ASSERT_EQ(out->write(oh), 0);
    Receiver rx;
    std::unique_ptr<WaveInDevice> in;
    ASSERT_EQ(card.openInput(0, stereo(24000, 16), InputTarget{&rx}, in), 0);
    std::vector<std::int16_t> got(2 * 200);
    WaveHeader ih;
    ih.lpData = reinterpret_cast<char *>(got.data());
    ih.dwBufferLength = 800;
    ASSERT_EQ(in->prepareHeader(ih), 0);
    ASSERT_EQ(in->addBuffer(ih), 0);
    ASSERT_EQ(in->start(), 0);
    ASSERT_TRUE(waitFor([&] { return !rx.done.empty(); }));
    for (int j = 1; j < 200; ++j)
        ASSERT_EQ((got[2 * j] - got[2 * j - 2] + 1000) % 1000, 2) << j; // every second output frame
    EXPECT_EQ(in->close(), 0);
    EXPECT_EQ(out->reset(), 0);
    EXPECT_EQ(out->close(), 0);
}

TEST_F(Card, StartUpReadsTheSettingsAndListsTheCardWithinTheFirstSix)
{
    testsupport::WriteFile(dir_ + "/sonmain.ini", "[LOOPBACK]\nDEVICES=2\nPACED=FALSE\n");
    SetupSoundInterface();
    SoundInterface &si = SoundInterface::instance();
    const int n = si.waveInGetNumDevs();
    ASSERT_GE(n, 2);
    int first = -1;
    for (int i = 0; i < n && first < 0; ++i)
        if (DeviceName('I', i) == "Virtual loopback 1")
            first = i;
    ASSERT_GE(first, 0);
    EXPECT_LT(first, 6);
    EXPECT_EQ(DeviceName('I', first + 1), "Virtual loopback 2");
    EXPECT_EQ(platform::GetPrivateProfileString("LOOPBACK", "GAIN", "", 0, dir_ + "/sonmain.ini"), "-0.5");
}
