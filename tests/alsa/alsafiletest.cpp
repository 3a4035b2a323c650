// The ALSA backend through ALSA's file plugin: "default" captures from a raw
// file the test writes and plays into a raw file the test reads back. The
// plugin neither converts nor paces, so these tests check data paths, order
// and buffer bookkeeping, not timing.
#include "alsatestsupport.h"
#include "audio/alsa/alsabackend.h"

#include <QCoreApplication>

#include <atomic>
#include <mutex>
#include <thread>

using namespace audio;
using alsatest::CompletionSink;
using alsatest::Format;
using alsatest::PatternBytes;
using alsatest::WaitFor;
using audiotest::Buffer;

namespace {

std::string gInFile, gOutFile;

std::string Bytes(const WaveHeader &h, std::uint32_t n) { return std::string(h.lpData, n); }

void PrepareAndWrite(WaveOutDevice &dev, WaveHeader &h)
{
    ASSERT_EQ(dev.prepareHeader(h), 0);
    ASSERT_EQ(dev.write(h), 0);
}

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
    EXPECT_EQ(in.name, "Default device (default)"); // not named after its output
    EXPECT_EQ(backend->deviceName(false, 0), "Default ALSA Output (currently a file) (default)");
    EXPECT_EQ(in.formats, 0xFFFFFu); // the null slave takes every rate and format
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
    EXPECT_EQ(backend->inputCaps(-1, in), MMSYSERR_BADDEVICEID);
    std::unique_ptr<WaveInDevice> dev;
    EXPECT_EQ(backend->openInput(1, Format(44100, 16), {}, dev), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(dev, nullptr);
}

TEST_F(AlsaFileTest, AListedDeviceKeepsItsNameWhileItCannotBeProbed)
{
    ASSERT_EQ(backend->inputCount(), 1);
    // without its input file the capture side cannot open any more
    std::rename(gInFile.c_str(), (gInFile + ".away").c_str());
    WaveInCaps in;
    EXPECT_NE(backend->inputCaps(0, in), 0);
    EXPECT_EQ(backend->deviceName(true, 0), "Default device (default)");
    std::rename((gInFile + ".away").c_str(), gInFile.c_str());
}

// Two queued buffers of different lengths come back in order, full, each
// with exactly the next bytes of the input file. The plugin passes bytes as
// they are whatever the width; whole frames of each width are the null
// capture's test.
TEST_F(AlsaFileTest, CapturedBuffersComeBackFullInOrderWithTheFileBytes)
{
    const WaveFormat fmt = Format(44100, 16);
    const std::size_t lenA = 1000u * fmt.nBlockAlign, lenB = 2301u * fmt.nBlockAlign;
    const std::string input = PatternBytes(4 * (lenA + lenB), 16);
    testsupport::WriteFile(gInFile, input);

    CompletionSink sink;
    std::unique_ptr<WaveInDevice> dev;
    ASSERT_EQ(backend->openInput(0, fmt, {&sink}, dev), 0);
    Buffer a(lenA), b(lenB);
    for (Buffer *buf : {&a, &b}) {
        ASSERT_EQ(dev->prepareHeader(buf->header), 0);
        ASSERT_EQ(dev->addBuffer(buf->header), 0);
    }
    EXPECT_EQ(dev->unprepareHeader(a.header), WAVERR_STILLPLAYING);
    ASSERT_EQ(dev->start(), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.headers.size() >= 2; }, 5000));
    alsatest::Pump(50); // nothing more may arrive
    EXPECT_EQ(sink.headers, (std::vector<WaveHeader *>{&a.header, &b.header}));
    EXPECT_EQ(sink.codes, (std::vector<std::uintptr_t>{0, 0}));
    for (Buffer *buf : {&a, &b}) {
        EXPECT_EQ(buf->header.dwBytesRecorded, buf->header.dwBufferLength);
        EXPECT_TRUE(buf->header.dwFlags & WHDR_DONE);
        EXPECT_FALSE(buf->header.dwFlags & WHDR_INQUEUE);
    }
    EXPECT_TRUE(Bytes(a.header, lenA) == input.substr(0, lenA)) << "first buffer differs";
    EXPECT_TRUE(Bytes(b.header, lenB) == input.substr(lenA, lenB)) << "second buffer differs";

    EXPECT_EQ(dev->reset(), 0);
    EXPECT_EQ(dev->unprepareHeader(a.header), 0);
    EXPECT_EQ(dev->unprepareHeader(b.header), 0);
    EXPECT_EQ(dev->close(), 0);
    alsatest::Pump(20);
    EXPECT_EQ(sink.headers.size(), 2u) << "reset with an empty queue must not post";
}

TEST_F(AlsaFileTest, CaptureResetReturnsQueuedBuffersAndCloseRefusesWhileQueued)
{
    CompletionSink sink;
    std::unique_ptr<WaveInDevice> dev;
    ASSERT_EQ(backend->openInput(0, Format(48000, 16), {&sink}, dev), 0);
    Buffer a(4000), b(4000);
    EXPECT_EQ(dev->addBuffer(a.header), WAVERR_UNPREPARED);
    for (Buffer *buf : {&a, &b}) {
        ASSERT_EQ(dev->prepareHeader(buf->header), 0);
        ASSERT_EQ(dev->addBuffer(buf->header), 0);
    }
    EXPECT_EQ(dev->addBuffer(a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(dev->close(), WAVERR_STILLPLAYING);

    // Never started: reset hands both back, empty, one message each, in order.
    EXPECT_EQ(dev->reset(), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.headers.size() >= 2; }, 2000));
    EXPECT_EQ(sink.headers, (std::vector<WaveHeader *>{&a.header, &b.header}));
    EXPECT_EQ(a.header.dwBytesRecorded, 0u);
    EXPECT_TRUE(b.header.dwFlags & WHDR_DONE);
    EXPECT_FALSE(b.header.dwFlags & WHDR_INQUEUE);
    EXPECT_EQ(dev->close(), 0);
    EXPECT_EQ(dev->start(), MMSYSERR_INVALHANDLE);
}

TEST_F(AlsaFileTest, StreamRefilledFromTheCallbackIsWrittenInOrder)
{
    std::string expected;
    std::uint64_t chunk = 0;
    audiotest::RefillPlayer p(4096, [&](WaveHeader &h) {
        expected += PatternBytes(4096, 1000 + chunk++);
        std::memcpy(h.lpData, expected.data() + expected.size() - 4096, 4096);
    });
    p.refillsLeft = 6;
    ASSERT_EQ(p.start(*backend, Format(44100, 16)), 0);
    ASSERT_TRUE(WaitFor([&] { return p.callbacks == 8; }, 5000)) << p.callbacks;
    alsatest::Pump(30);
    EXPECT_EQ(p.callbacks, 8);
    EXPECT_FALSE(p.calledOnStartingThread) << "completions belong on the playback thread";
    for (WaveHeader &h : p.header) {
        EXPECT_TRUE(h.dwFlags & WHDR_DONE);
        EXPECT_EQ(p.out->unprepareHeader(h), 0);
    }
    ASSERT_EQ(p.out->close(), 0);
    const std::string out = testsupport::ReadFile(gOutFile);
    ASSERT_GE(out.size(), expected.size());
    EXPECT_TRUE(out.substr(0, expected.size()) == expected) << "played samples differ";
    // Whatever follows is silence the plugin adds when the stream ends.
    EXPECT_EQ(out.find_first_not_of('\0', expected.size()), std::string::npos);
}

// Odd frame counts so that wraps are not period-aligned; 8-bit silence is 128.
TEST_F(AlsaFileTest, LoopsAreWrittenAsSeamlessRepetitions)
{
    struct Case {
        int bits;
        std::uint32_t loops, bytes;
        char silence;
    } cases[] = {{16, 2147483647, 1323 * 4, '\0'}, {8, 3, 777 * 2, '\x80'}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.loops);
        testsupport::WriteFile(gOutFile, "");
        const std::string pattern = PatternBytes(c.bytes, c.bits);
        Buffer loop(c.bytes);
        std::memcpy(loop.data.data(), pattern.data(), c.bytes);
        loop.header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
        loop.header.dwLoops = c.loops;
        std::atomic<int> callbacks{0};
        std::unique_ptr<WaveOutDevice> dev;
        ASSERT_EQ(backend->openOutput(0, Format(48000, c.bits), [&](WaveHeader *h) { callbacks += h == &loop.header; },
                                      dev),
                  0);
        PrepareAndWrite(*dev, loop.header);
        const bool endless = c.loops == 2147483647;
        const std::size_t wanted = (endless ? 20 : c.loops) * c.bytes;
        if (endless) {
            ASSERT_TRUE(WaitFor([&] { return QFileInfo(QString::fromStdString(gOutFile)).size() >= qint64(wanted); }, 5000));
            EXPECT_TRUE(loop.header.dwFlags & WHDR_INQUEUE) << "an endless loop must still be playing";
            ASSERT_EQ(dev->reset(), 0);
        } else {
            ASSERT_TRUE(WaitFor([&] { return callbacks == 1; }, 5000));
        }
        EXPECT_TRUE(loop.header.dwFlags & WHDR_DONE);
        ASSERT_EQ(dev->close(), 0);
        EXPECT_EQ(callbacks, 1);

        const std::string out = testsupport::ReadFile(gOutFile);
        ASSERT_GE(out.size(), wanted);
        const std::size_t repeated = endless ? out.size() : wanted;
        std::size_t firstBad = 0;
        while (firstBad < repeated && out[firstBad] == pattern[firstBad % c.bytes])
            ++firstBad;
        EXPECT_EQ(firstBad, repeated) << "repetition " << firstBad / c.bytes;
        EXPECT_EQ(out.find_first_not_of(c.silence, repeated), std::string::npos) << "only silence after the loops";
    }
}

TEST_F(AlsaFileTest, PausedDeviceHoldsItsBuffersAndResetReturnsThemOnTheCallingThread)
{
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
        if (rewrite) { // like a refill that still believes output runs
            EXPECT_EQ(device->write(*h), 0);
        }
    };
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(backend->openOutput(0, Format(44100, 16), callback, dev), 0);
    device = dev.get();
    ASSERT_EQ(dev->pause(), 0);
    EXPECT_EQ(dev->write(a.header), WAVERR_UNPREPARED);
    PrepareAndWrite(*dev, a.header);
    PrepareAndWrite(*dev, b.header);
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
        EXPECT_EQ(returned, (std::vector<WaveHeader *>{&a.header, &b.header}));
        EXPECT_EQ(threads[0], std::this_thread::get_id());
    }
    // The callback queued both again; still paused, so a second reset gets them.
    EXPECT_TRUE(a.header.dwFlags & WHDR_INQUEUE);
    rewrite = false;
    ASSERT_EQ(dev->reset(), 0);
    EXPECT_EQ(returned.size(), 4u);
    for (Buffer *buf : {&a, &b})
        EXPECT_EQ(dev->unprepareHeader(buf->header), 0); // refused while still queued
    EXPECT_EQ(dev->close(), 0);
    EXPECT_EQ(testsupport::ReadFile(gOutFile).find_first_not_of('\0'), std::string::npos)
        << "nothing but silence may have been played";
}

// The engine's stop sequence while a refilled stream runs flat out: reset
// (the refill still queues what comes back), stop refilling, reset again.
// Afterwards nothing is queued and the device closes; repeated to shake out
// races between the playback thread, its callback and reset.
TEST_F(AlsaFileTest, DoubleResetOfARunningRefilledStreamLeavesNothingQueued)
{
    for (int round = 0; round < 20; ++round) {
        audiotest::RefillPlayer p(4096, [](WaveHeader &) {});
        ASSERT_EQ(p.start(*backend, Format(48000, 16)), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 4));
        ASSERT_EQ(p.out->reset(), 0);
        p.refillsLeft = 0;
        ASSERT_EQ(p.out->reset(), 0);
        for (WaveHeader &h : p.header)
            EXPECT_EQ(p.out->unprepareHeader(h), 0) << "round " << round; // refused while still queued
        ASSERT_EQ(p.out->close(), 0) << "round " << round;
    }
}

} // namespace

// The owner may let a playback device go from inside its callback, on the
// device's own thread; the thread then ends without touching freed memory.
TEST_F(AlsaFileTest, ADeviceLetGoInsideItsOwnCallbackEndsCleanly)
{
    std::unique_ptr<WaveOutDevice> dev;
    std::atomic<bool> gone{false};
    Buffer a(4096);
    ASSERT_EQ(backend->openOutput(0, Format(48000, 16),
                                  [&](WaveHeader *) {
                                      dev.reset();
                                      gone = true;
                                  },
                                  dev),
              0);
    ASSERT_EQ(dev->prepareHeader(a.header), 0);
    WaveOutDevice *raw = dev.get(); // the callback may take `dev` away at any moment from here
    ASSERT_EQ(raw->write(a.header), 0);
    EXPECT_TRUE(WaitFor([&] { return gone.load(); }));
    // The device is released: the plugin can be opened again.
    std::unique_ptr<WaveOutDevice> again;
    EXPECT_TRUE(WaitFor([&] { return backend->openOutput(0, Format(48000, 16), nullptr, again) == 0; }));
}

int main(int argc, char **argv)
{
    const std::string dir = testsupport::ScratchDir("alsa-file");
    gInFile = dir + "/in.raw";
    gOutFile = dir + "/out.raw";
    testsupport::WriteFile(gInFile, "");
    alsatest::UseAlsaFileConfig(dir, gInFile, gOutFile);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
