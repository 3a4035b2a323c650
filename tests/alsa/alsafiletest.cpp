// The ALSA backend through ALSA's file plugin: "default" captures from a raw
// file the test writes and plays into a raw file the test reads back. The
// plugin neither converts nor paces, so these tests check data paths, order
// and buffer bookkeeping, not timing.
#include "alsatestsupport.h"
#include "audio/alsa/alsabackend.h"
#include "support/testsupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

using namespace audio;
using alsatest::CompletionSink;
using alsatest::Format;
using alsatest::PatternBytes;
using alsatest::WaitFor;

namespace {

std::string gInFile;
std::string gOutFile;

// The same configuration as the test kit's alsa-file/asound-file.conf, used
// when the kit is not beside the repository.
const char *kFileConfig = R"(pcm.null { type null }
pcm.!default { type asym
  playback.pcm { type file slave.pcm "null" file "@OUT@" format "raw" }
  capture.pcm  { type file slave.pcm "null" file "/dev/null" infile "@IN@" format "raw" } }
)";

std::string ReplaceAll(std::string s, const std::string &from, const std::string &to)
{
    for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

std::string Bytes(const std::vector<char> &v)
{
    return std::string(v.begin(), v.end());
}

std::string Bytes(const WaveHeader &h, std::uint32_t n)
{
    return std::string(h.lpData, h.lpData + n);
}

struct Buffer {
    std::vector<char> data;
    WaveHeader header;
    explicit Buffer(std::size_t bytes, char fill = '\x5A') : data(bytes, fill)
    {
        header.lpData = data.data();
        header.dwBufferLength = static_cast<std::uint32_t>(bytes);
    }
};

class AlsaFileTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::WriteFile(gOutFile, ""); }
    std::shared_ptr<SoundBackend> backend = CreateAlsaBackend();
};

TEST_F(AlsaFileTest, ListsTheConfiguredDefaultWithFullFormatMask)
{
    ASSERT_EQ(backend->inputCount(), 1);
    ASSERT_EQ(backend->outputCount(), 1);
    WaveInCaps in;
    ASSERT_EQ(backend->inputCaps(0, in), 0);
    EXPECT_EQ(in.name, "Default device (default)");
    // The null slave takes every rate and format: all 20 platform bits.
    EXPECT_EQ(in.formats, 0xFFFFFu);
    EXPECT_EQ(in.channels, 2);
    WaveOutCaps out;
    ASSERT_EQ(backend->outputCaps(0, out), 0);
    EXPECT_EQ(out.formats, 0xFFFFFu);
    EXPECT_EQ(out.support, 0u);

    EXPECT_EQ(backend->queryInput(0, Format(48000, 32)), 0);
    EXPECT_EQ(backend->queryOutput(0, Format(22050, 8)), 0);
    EXPECT_EQ(backend->queryInput(0, Format(48000, 24)), WAVERR_BADFORMAT);
    WaveFormat badAlign = Format(44100, 16);
    badAlign.nBlockAlign = 3;
    EXPECT_EQ(backend->queryOutput(0, badAlign), WAVERR_BADFORMAT);
    EXPECT_EQ(backend->queryInput(1, Format(44100, 16)), MMSYSERR_BADDEVICEID);
    WaveInCaps none;
    EXPECT_EQ(backend->inputCaps(-1, none), MMSYSERR_BADDEVICEID);
    std::unique_ptr<WaveInDevice> dev;
    EXPECT_EQ(backend->openInput(1, Format(44100, 16), {}, dev), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(dev, nullptr);
}

class AlsaFileCapture : public AlsaFileTest, public ::testing::WithParamInterface<int> {};

// Two queued buffers of different lengths come back in order, full, each
// with exactly the next bytes of the input file (24-bit samples travel in
// 32-bit containers, so the bytes are the same as for any other width).
TEST_P(AlsaFileCapture, BuffersComeBackFullInOrderWithTheFileBytes)
{
    const int bits = GetParam();
    WaveFormat fmt = Format(44100, bits);
    const std::size_t lenA = 1000u * fmt.nBlockAlign, lenB = 2301u * fmt.nBlockAlign;
    std::vector<char> input = PatternBytes(4 * (lenA + lenB), static_cast<std::uint64_t>(bits));
    testsupport::WriteFile(gInFile, Bytes(input));

    ASSERT_EQ(backend->inputCount(), 1);
    CompletionSink sink;
    std::unique_ptr<WaveInDevice> dev;
    ASSERT_EQ(backend->openInput(0, fmt, {&sink}, dev), 0);
    Buffer a(lenA), b(lenB);
    ASSERT_EQ(dev->prepareHeader(a.header), 0);
    ASSERT_EQ(dev->prepareHeader(b.header), 0);
    ASSERT_EQ(dev->addBuffer(a.header), 0);
    ASSERT_EQ(dev->addBuffer(b.header), 0);
    EXPECT_EQ(dev->unprepareHeader(a.header), WAVERR_STILLPLAYING);
    ASSERT_EQ(dev->start(), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.headers.size() >= 2; }, 5000));
    alsatest::Pump(50); // nothing more may arrive
    ASSERT_EQ(sink.headers.size(), 2u);
    EXPECT_EQ(sink.headers[0], &a.header);
    EXPECT_EQ(sink.headers[1], &b.header);
    EXPECT_EQ(sink.codes[0], 0u);
    EXPECT_EQ(sink.codes[1], 0u);
    for (const Buffer *buf : {&a, &b}) {
        EXPECT_EQ(buf->header.dwBytesRecorded, buf->header.dwBufferLength);
        EXPECT_TRUE(buf->header.dwFlags & WHDR_DONE);
        EXPECT_FALSE(buf->header.dwFlags & WHDR_INQUEUE);
    }
    EXPECT_TRUE(Bytes(a.header, lenA) == Bytes(input).substr(0, lenA)) << "first buffer differs";
    EXPECT_TRUE(Bytes(b.header, lenB) == Bytes(input).substr(lenA, lenB)) << "second buffer differs";

    EXPECT_EQ(dev->reset(), 0);
    EXPECT_EQ(dev->unprepareHeader(a.header), 0);
    EXPECT_EQ(dev->unprepareHeader(b.header), 0);
    EXPECT_FALSE(a.header.dwFlags & WHDR_PREPARED);
    EXPECT_EQ(dev->close(), 0);
    alsatest::Pump(20);
    EXPECT_EQ(sink.headers.size(), 2u) << "reset with an empty queue must not post";
}

INSTANTIATE_TEST_SUITE_P(Bits, AlsaFileCapture, ::testing::Values(8, 16, 32),
                         [](const auto &info) { return std::to_string(info.param) + "bit"; });

TEST_F(AlsaFileTest, CaptureResetReturnsQueuedBuffersAndCloseRefusesWhileQueued)
{
    WaveFormat fmt = Format(48000, 16);
    testsupport::WriteFile(gInFile, Bytes(PatternBytes(64000, 7)));
    ASSERT_EQ(backend->inputCount(), 1);
    CompletionSink sink;
    std::unique_ptr<WaveInDevice> dev;
    ASSERT_EQ(backend->openInput(0, fmt, {&sink}, dev), 0);
    Buffer a(4000), b(4000);
    EXPECT_EQ(dev->addBuffer(a.header), WAVERR_UNPREPARED);
    ASSERT_EQ(dev->prepareHeader(a.header), 0);
    ASSERT_EQ(dev->prepareHeader(b.header), 0);
    ASSERT_EQ(dev->addBuffer(a.header), 0);
    ASSERT_EQ(dev->addBuffer(b.header), 0);
    EXPECT_EQ(dev->addBuffer(a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(dev->close(), WAVERR_STILLPLAYING);

    // Never started: reset hands both back, empty, one message each, in order.
    EXPECT_EQ(dev->reset(), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.headers.size() >= 2; }, 2000));
    EXPECT_EQ(sink.headers[0], &a.header);
    EXPECT_EQ(sink.headers[1], &b.header);
    EXPECT_EQ(a.header.dwBytesRecorded, 0u);
    EXPECT_TRUE(b.header.dwFlags & WHDR_DONE);
    EXPECT_FALSE(b.header.dwFlags & WHDR_INQUEUE);
    EXPECT_EQ(dev->close(), 0);
    EXPECT_EQ(dev->start(), MMSYSERR_INVALHANDLE);

    // A second open after the close records again from the start of the file.
    std::unique_ptr<WaveInDevice> again;
    ASSERT_EQ(backend->openInput(0, fmt, {&sink}, again), 0);
    ASSERT_EQ(again->prepareHeader(a.header), 0);
    ASSERT_EQ(again->addBuffer(a.header), 0);
    ASSERT_EQ(again->start(), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.headers.size() >= 3; }, 2000));
    EXPECT_EQ(a.header.dwBytesRecorded, 4000u);
    EXPECT_TRUE(Bytes(a.header, 4000) == Bytes(PatternBytes(4000, 7)));
    EXPECT_EQ(again->reset(), 0);
    EXPECT_EQ(again->close(), 0);
}

// Plays a stream the way the engine's refill does: two buffers, each
// unprepared, refilled, prepared and written again from inside the callback.
struct StreamPlayer {
    static constexpr std::size_t kBytes = 4096;
    WaveOutDevice *device = nullptr;
    Buffer buf[2]{Buffer(kBytes), Buffer(kBytes)};
    int refillsLeft = 0;
    std::uint64_t nextChunk = 0;
    std::string expected;
    std::atomic<int> callbacks{0};
    std::atomic<bool> otherThread{true};
    std::thread::id mainThread = std::this_thread::get_id();

    void fill(WaveHeader &h)
    {
        std::vector<char> chunk = PatternBytes(kBytes, 1000 + nextChunk++);
        std::memcpy(h.lpData, chunk.data(), kBytes);
        h.dwBufferLength = kBytes;
        expected += Bytes(chunk);
    }
    void done(WaveHeader *h)
    {
        if (std::this_thread::get_id() == mainThread)
            otherThread = false;
        if (refillsLeft > 0) {
            --refillsLeft;
            device->unprepareHeader(*h);
            fill(*h);
            device->prepareHeader(*h);
            device->write(*h);
        }
        ++callbacks;
    }
};

TEST_F(AlsaFileTest, StreamRefilledFromTheCallbackIsWrittenInOrder)
{
    WaveFormat fmt = Format(44100, 16);
    ASSERT_EQ(backend->outputCount(), 1);
    StreamPlayer p;
    p.refillsLeft = 6;
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(backend->openOutput(0, fmt, [&p](WaveHeader *h) { p.done(h); }, dev), 0);
    p.device = dev.get();
    ASSERT_EQ(dev->pause(), 0);
    for (Buffer &b : p.buf) {
        p.fill(b.header);
        ASSERT_EQ(dev->prepareHeader(b.header), 0);
        ASSERT_EQ(dev->write(b.header), 0);
    }
    ASSERT_EQ(dev->restart(), 0);
    ASSERT_TRUE(WaitFor([&] { return p.callbacks == 8; }, 5000)) << p.callbacks;
    alsatest::Pump(30);
    EXPECT_EQ(p.callbacks, 8);
    EXPECT_TRUE(p.otherThread) << "completions belong on the playback thread";
    for (Buffer &b : p.buf) {
        EXPECT_TRUE(b.header.dwFlags & WHDR_DONE);
        EXPECT_FALSE(b.header.dwFlags & WHDR_INQUEUE);
        EXPECT_EQ(dev->unprepareHeader(b.header), 0);
    }
    ASSERT_EQ(dev->close(), 0);
    std::string out = testsupport::ReadFile(gOutFile);
    ASSERT_GE(out.size(), p.expected.size());
    EXPECT_TRUE(out.substr(0, p.expected.size()) == p.expected) << "played samples differ";
    // Whatever follows is silence the plugin adds when the stream ends.
    EXPECT_EQ(out.find_first_not_of('\0', p.expected.size()), std::string::npos);
}

TEST_F(AlsaFileTest, EndlessLoopIsWrittenAsSeamlessRepetitionsUntilReset)
{
    WaveFormat fmt = Format(48000, 16);
    ASSERT_EQ(backend->outputCount(), 1);
    const std::size_t loopBytes = 1323 * 4; // an odd frame count: wraps are not period-aligned
    Buffer loop(loopBytes);
    std::vector<char> pattern = PatternBytes(loopBytes, 55);
    std::memcpy(loop.data.data(), pattern.data(), loopBytes);
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(backend->openOutput(0, fmt, nullptr, dev), 0);
    loop.header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    loop.header.dwLoops = 2147483647;
    ASSERT_EQ(dev->prepareHeader(loop.header), 0);
    ASSERT_EQ(dev->write(loop.header), 0);
    const qint64 wanted = static_cast<qint64>(20 * loopBytes);
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(QString::fromStdString(gOutFile)).size() >= wanted; }, 5000));
    EXPECT_TRUE(loop.header.dwFlags & WHDR_INQUEUE) << "an endless loop must still be playing";
    ASSERT_EQ(dev->reset(), 0);
    EXPECT_TRUE(loop.header.dwFlags & WHDR_DONE);
    EXPECT_FALSE(loop.header.dwFlags & WHDR_INQUEUE);
    ASSERT_EQ(dev->close(), 0);

    std::string out = testsupport::ReadFile(gOutFile);
    ASSERT_GE(out.size(), static_cast<std::size_t>(wanted));
    ASSERT_EQ(out.size() % fmt.nBlockAlign, 0u);
    std::size_t bad = 0;
    for (std::size_t i = 0; i < out.size(); ++i)
        if (out[i] != pattern[i % loopBytes] && bad++ == 0)
            ADD_FAILURE() << "first difference at byte " << i << " (repetition " << i / loopBytes << ")";
    EXPECT_EQ(bad, 0u);
}

TEST_F(AlsaFileTest, CountedLoopPlaysExactlyItsRepetitionsThenCompletesOnce)
{
    WaveFormat fmt = Format(44100, 8);
    const std::size_t loopBytes = 777 * 2;
    Buffer loop(loopBytes);
    std::vector<char> pattern = PatternBytes(loopBytes, 77);
    std::memcpy(loop.data.data(), pattern.data(), loopBytes);
    std::atomic<int> callbacks{0};
    ASSERT_EQ(backend->outputCount(), 1);
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(backend->openOutput(0, fmt, [&](WaveHeader *h) { callbacks += (h == &loop.header); }, dev), 0);
    loop.header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    loop.header.dwLoops = 3;
    ASSERT_EQ(dev->prepareHeader(loop.header), 0);
    ASSERT_EQ(dev->write(loop.header), 0);
    ASSERT_TRUE(WaitFor([&] { return callbacks == 1; }, 5000));
    ASSERT_EQ(dev->close(), 0);
    EXPECT_EQ(callbacks, 1);
    std::string out = testsupport::ReadFile(gOutFile);
    std::string three = Bytes(pattern) + Bytes(pattern) + Bytes(pattern);
    ASSERT_GE(out.size(), three.size());
    EXPECT_TRUE(out.substr(0, three.size()) == three);
    // 8-bit silence is 128; the plugin pads the end of a stream with it.
    EXPECT_EQ(out.find_first_not_of('\x80', three.size()), std::string::npos);
}

TEST_F(AlsaFileTest, PausedDeviceHoldsItsBuffersAndResetReturnsThemOnTheCallingThread)
{
    WaveFormat fmt = Format(44100, 16);
    ASSERT_EQ(backend->outputCount(), 1);
    Buffer a(4096), b(4096);
    std::vector<WaveHeader *> returned;
    std::vector<std::thread::id> threads;
    std::mutex m;
    WaveOutDevice *device = nullptr;
    bool rewrite = false;
    auto callback = [&](WaveHeader *h) {
        std::lock_guard lock(m);
        returned.push_back(h);
        threads.push_back(std::this_thread::get_id());
        // Like a refill that still believes output runs: queue it again.
        if (rewrite) {
            EXPECT_EQ(device->write(*h), 0);
        }
    };
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(backend->openOutput(0, fmt, callback, dev), 0);
    device = dev.get();
    ASSERT_EQ(dev->pause(), 0);
    EXPECT_EQ(dev->write(a.header), WAVERR_UNPREPARED);
    ASSERT_EQ(dev->prepareHeader(a.header), 0);
    ASSERT_EQ(dev->prepareHeader(b.header), 0);
    ASSERT_EQ(dev->write(a.header), 0);
    ASSERT_EQ(dev->write(b.header), 0);
    alsatest::Pump(100);
    {
        std::lock_guard lock(m);
        EXPECT_TRUE(returned.empty()) << "a paused device must not play";
    }
    EXPECT_EQ(dev->unprepareHeader(a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(dev->close(), WAVERR_STILLPLAYING);

    rewrite = true;
    ASSERT_EQ(dev->reset(), 0);
    {
        std::lock_guard lock(m);
        ASSERT_EQ(returned.size(), 2u);
        EXPECT_EQ(returned[0], &a.header);
        EXPECT_EQ(returned[1], &b.header);
        EXPECT_EQ(threads[0], std::this_thread::get_id());
    }
    // The callback queued both again; still paused, so a second reset gets them.
    EXPECT_TRUE(a.header.dwFlags & WHDR_INQUEUE);
    rewrite = false;
    ASSERT_EQ(dev->reset(), 0);
    EXPECT_EQ(returned.size(), 4u);
    EXPECT_FALSE(a.header.dwFlags & WHDR_INQUEUE);
    EXPECT_FALSE(b.header.dwFlags & WHDR_INQUEUE);
    EXPECT_EQ(dev->unprepareHeader(a.header), 0);
    EXPECT_EQ(dev->unprepareHeader(b.header), 0);
    EXPECT_EQ(dev->close(), 0);
    EXPECT_TRUE(testsupport::ReadFile(gOutFile).find_first_not_of('\0') == std::string::npos)
        << "nothing but silence may have been played";

    // A second open after the close plays again.
    std::atomic<int> count{0};
    std::unique_ptr<WaveOutDevice> again;
    ASSERT_EQ(backend->openOutput(0, fmt, [&](WaveHeader *) { ++count; }, again), 0);
    ASSERT_EQ(again->prepareHeader(a.header), 0);
    ASSERT_EQ(again->write(a.header), 0);
    ASSERT_TRUE(WaitFor([&] { return count == 1; }, 5000));
    EXPECT_EQ(again->close(), 0);
}

// The engine's stop sequence while a refilled stream runs flat out: reset
// (the refill still queues what comes back), stop refilling, reset again.
// Afterwards nothing is queued and the device closes; repeated to shake out
// races between the playback thread, its callback and reset.
TEST_F(AlsaFileTest, DoubleResetOfARunningRefilledStreamLeavesNothingQueued)
{
    WaveFormat fmt = Format(48000, 16);
    ASSERT_EQ(backend->outputCount(), 1);
    for (int round = 0; round < 20; ++round) {
        StreamPlayer p;
        p.refillsLeft = 1 << 30;
        std::atomic<bool> refill{true};
        std::unique_ptr<WaveOutDevice> dev;
        ASSERT_EQ(backend->openOutput(0, fmt,
                                      [&](WaveHeader *h) {
                                          if (!refill)
                                              p.refillsLeft = 0;
                                          p.done(h);
                                      },
                                      dev),
                  0);
        p.device = dev.get();
        for (Buffer &b : p.buf) {
            std::memset(b.data.data(), 0, StreamPlayer::kBytes);
            ASSERT_EQ(dev->prepareHeader(b.header), 0);
            ASSERT_EQ(dev->write(b.header), 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 4));
        ASSERT_EQ(dev->reset(), 0);
        refill = false;
        ASSERT_EQ(dev->reset(), 0);
        for (Buffer &b : p.buf) {
            EXPECT_FALSE(b.header.dwFlags & WHDR_INQUEUE) << "round " << round;
            EXPECT_EQ(dev->unprepareHeader(b.header), 0);
        }
        ASSERT_EQ(dev->close(), 0) << "round " << round;
        p.expected.clear();
    }
}

} // namespace

int main(int argc, char **argv)
{
    // ALSA reads its configuration at the first snd_ call: point it at the
    // file plugin set-up before anything else runs.
    std::string dir = testsupport::ScratchDir("alsa-file");
    gInFile = dir + "/in.raw";
    gOutFile = dir + "/out.raw";
    std::string conf = kFileConfig;
    std::string kit = alsatest::TestKitDir();
    if (!kit.empty()) {
        std::string fromKit = testsupport::ReadFile(kit + "/alsa-file/asound-file.conf");
        if (fromKit.find("@IN@") != std::string::npos)
            conf = fromKit;
    }
    conf = ReplaceAll(ReplaceAll(conf, "@IN@", gInFile), "@OUT@", gOutFile);
    testsupport::WriteFile(dir + "/asound.conf", conf);
    testsupport::WriteFile(gInFile, "");
    setenv("ALSA_CONFIG_PATH", (dir + "/asound.conf").c_str(), 1);

    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
