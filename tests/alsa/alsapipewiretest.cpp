// The ALSA backend against a real sound server: the test kit's private
// PipeWire stack, whose default sink loops back to its default source. What
// is played to "default" must come back on "default" capture, sample for
// sample, in real time. Skipped when the kit or the server is not available.
#include "alsatestsupport.h"
#include "audio/alsa/alsabackend.h"
#include "audio/alsa/alsasoundbackend.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>

using namespace audio;
using alsatest::Format;

namespace {

constexpr std::uint32_t kRate = 48000;

std::string gKit;
std::string gDir;
std::string gSkip;
pid_t gWatchdog = 0;

std::string RunCommand(const std::string &cmd, int &status)
{
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) {
        status = -1;
        return out;
    }
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    status = pclose(p);
    return out;
}

// Sample n of the played signal: independent noise per channel, at about
// -12 dBFS so that nothing clips on the way.
inline std::int16_t Sample(std::uint64_t n, int channel)
{
    std::uint64_t h = alsatest::Hash(2 * n + static_cast<std::uint64_t>(channel));
    return static_cast<std::int16_t>(static_cast<int>((h >> 40) & 0x3FFF) - 8192);
}

// Stream playback as the engine does it: two buffers refilled from the callback.
class NoisePlayer {
public:
    static constexpr std::uint32_t kFrames = 8192;
    static constexpr int kMaxTimes = 256;

    WaveOutDevice *device = nullptr;
    std::atomic<bool> refill{true};
    std::atomic<std::uint64_t> generated{0};
    std::atomic<int> callbacks{0};
    std::array<std::chrono::steady_clock::time_point, kMaxTimes> times{};

    NoisePlayer()
    {
        for (int i = 0; i < 2; ++i) {
            data[i].resize(kFrames * 2);
            header[i].lpData = reinterpret_cast<char *>(data[i].data());
        }
    }
    void fill(int i)
    {
        std::uint64_t n0 = generated;
        for (std::uint32_t k = 0; k < kFrames; ++k) {
            data[i][2 * k] = Sample(n0 + k, 0);
            data[i][2 * k + 1] = Sample(n0 + k, 1);
        }
        generated = n0 + kFrames;
        header[i].dwBufferLength = kFrames * 4;
    }
    int start()
    {
        if (int r = device->pause())
            return r;
        for (int i = 0; i < 2; ++i) {
            fill(i);
            if (int r = device->prepareHeader(header[i]))
                return r;
            if (int r = device->write(header[i]))
                return r;
        }
        return device->restart();
    }
    void done(WaveHeader *h)
    {
        int c = callbacks;
        if (c < kMaxTimes)
            times[static_cast<std::size_t>(c)] = std::chrono::steady_clock::now();
        if (refill) {
            int i = h == &header[0] ? 0 : 1;
            device->unprepareHeader(*h);
            fill(i);
            device->prepareHeader(*h);
            device->write(*h);
        }
        ++callbacks;
    }

    WaveHeader header[2];

private:
    std::vector<std::int16_t> data[2];
};

class AlsaPipeWireTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gKit = alsatest::TestKitDir();
        if (gKit.empty()) {
            gSkip = "the shared test kit was not found beside the repository ($SONALYX_SOURCE_DIR/../shared/testkit)";
            return;
        }
        for (const char *tool : {"pipewire", "wireplumber", "dbus-daemon"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                gSkip = std::string(tool) + " is not installed (packages pipewire pipewire-alsa wireplumber dbus)";
                return;
            }
        }
        char tmpl[] = "/tmp/sonalyx-pw-XXXXXX"; // short: it holds the server sockets
        if (!mkdtemp(tmpl)) {
            gSkip = "no temporary directory for the server";
            return;
        }
        gDir = tmpl;
        const char *src = std::getenv("SONALYX_SOURCE_DIR");
        std::string script = std::string(src ? src : ".") + "/tests/alsa/pipewire-session.sh";
        int status = 0;
        std::string out = RunCommand("sh '" + script + "' '" + gKit + "/pipewire-loopback' '" + gDir + "' " +
                                         std::to_string(getpid()) + " 2>&1",
                                     status);
        if (status != 0) {
            gSkip = "the PipeWire stack did not start: " + out;
            return;
        }
        QRegularExpression watchdog("^watchdog (\\d+)$", QRegularExpression::MultilineOption);
        if (auto m = watchdog.match(QString::fromStdString(out)); m.hasMatch())
            gWatchdog = static_cast<pid_t>(m.captured(1).toLongLong());
        QRegularExpression assignment("(\\w+)='([^']*)'");
        for (auto it = assignment.globalMatch(QString::fromStdString(out)); it.hasNext();) {
            auto m = it.next();
            setenv(m.captured(1).toLocal8Bit().constData(), m.captured(2).toLocal8Bit().constData(), 1);
        }
        if (!std::getenv("XDG_RUNTIME_DIR") || std::string(std::getenv("XDG_RUNTIME_DIR")) != gDir + "/run") {
            gSkip = "the PipeWire stack gave no environment: " + out;
            return;
        }
        // Up when "default" opens both ways through the server.
        auto backend = CreateAlsaBackend();
        auto *alsa = static_cast<alsa::AlsaSoundBackend *>(backend.get());
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            if (backend->inputCount() > 0 && backend->outputCount() > 0 && alsa->pcmName(true, 0) == "default" &&
                alsa->pcmName(false, 0) == "default")
                return;
            QThread::msleep(200);
        }
        gSkip = "the PipeWire server did not come up within 10 s";
    }

    static void TearDownTestSuite()
    {
        if (gDir.empty())
            return;
        int status = 0;
        RunCommand("sh '" + gKit + "/pipewire-loopback/down.sh' '" + gDir + "' 2>&1", status);
        if (gWatchdog > 0)
            kill(gWatchdog, SIGTERM); // its work is done
        QThread::msleep(300);
        QDir(QString::fromStdString(gDir)).removeRecursively();
        gDir.clear();
    }

    void SetUp() override
    {
        if (!gSkip.empty())
            GTEST_SKIP() << gSkip;
    }

    std::shared_ptr<SoundBackend> backend = CreateAlsaBackend();
};

TEST_F(AlsaPipeWireTest, ServerDefaultIsListedWithAReadableName)
{
    ASSERT_GT(backend->inputCount(), 0);
    ASSERT_GT(backend->outputCount(), 0);
    WaveInCaps in;
    ASSERT_EQ(backend->inputCaps(0, in), 0);
    EXPECT_NE(in.name.find("PipeWire"), std::string::npos) << in.name;
    EXPECT_NE(in.name.find("(default)"), std::string::npos) << in.name;
    EXPECT_LE(in.name.size(), 120u);
    EXPECT_TRUE(in.formats & WAVE_FORMAT_48S16) << std::hex << in.formats;
    EXPECT_TRUE(in.formats & WAVE_FORMAT_4S16) << std::hex << in.formats;
    EXPECT_EQ(in.channels, 2);
    WaveOutCaps out;
    ASSERT_EQ(backend->outputCaps(0, out), 0);
    EXPECT_TRUE(out.formats & WAVE_FORMAT_48S16) << std::hex << out.formats;
    EXPECT_EQ(backend->queryInput(0, Format(kRate, 16)), 0);
    EXPECT_EQ(backend->queryOutput(0, Format(kRate, 32)), 0);
}

// One capture of `frames` frames; returns the milliseconds from start() to
// the completion, or -1.
qint64 Capture(SoundBackend &backend, std::vector<std::int16_t> &data, std::uint32_t frames)
{
    alsatest::CompletionSink sink;
    std::unique_ptr<WaveInDevice> dev;
    if (backend.openInput(0, Format(kRate, 16), {&sink}, dev) != 0)
        return -1;
    data.assign(frames * 2, 0x5A5A);
    WaveHeader h;
    h.lpData = reinterpret_cast<char *>(data.data());
    h.dwBufferLength = frames * 4;
    dev->prepareHeader(h);
    dev->addBuffer(h);
    QElapsedTimer t;
    t.start();
    if (dev->start() != 0)
        return -1;
    bool done = alsatest::WaitFor([&] { return !sink.headers.empty(); }, static_cast<int>(frames / 48 + 3000));
    qint64 ms = t.elapsed();
    dev->reset();
    dev->unprepareHeader(h);
    dev->close();
    if (!done || h.dwBytesRecorded != h.dwBufferLength || sink.codes[0] != 0)
        return -1;
    return ms;
}

bool HasSignal(const std::vector<std::int16_t> &d)
{
    return std::any_of(d.begin(), d.end(), [](std::int16_t v) { return v != 0; });
}

TEST_F(AlsaPipeWireTest, SignalPlayedToDefaultComesBackSampleExactAndInRealTime)
{
    ASSERT_GT(backend->outputCount(), 0);
    ASSERT_GT(backend->inputCount(), 0);
    NoisePlayer player;
    std::unique_ptr<WaveOutDevice> out;
    ASSERT_EQ(backend->openOutput(0, Format(kRate, 16), [&](WaveHeader *h) { player.done(h); }, out), 0);
    player.device = out.get();
    ASSERT_EQ(player.start(), 0);

    // The session manager links the new streams shortly after they appear.
    std::vector<std::int16_t> block;
    QElapsedTimer wait;
    wait.start();
    do {
        ASSERT_GE(Capture(*backend, block, 4800), 0) << "a short capture failed";
    } while (!HasSignal(block) && wait.elapsed() < 6000);
    ASSERT_TRUE(HasSignal(block)) << "nothing came back through the loopback";

    const std::uint32_t frames = kRate; // one second
    qint64 ms = Capture(*backend, block, frames);
    player.refill = false;
    int callbacksAtStop = player.callbacks;
    EXPECT_EQ(out->reset(), 0);
    for (WaveHeader &h : player.header)
        EXPECT_EQ(out->unprepareHeader(h), 0);
    EXPECT_EQ(out->close(), 0);
    ASSERT_GE(ms, 0) << "the one-second capture failed";
    // Paced by the server's clock: N frames take about N / rate.
    EXPECT_GT(ms, 900);
    EXPECT_LT(ms, 1600);

    // Playback is paced too: refills come one buffer length apart.
    ASSERT_GE(callbacksAtStop, 6);
    double span = std::chrono::duration<double>(player.times[static_cast<std::size_t>(callbacksAtStop - 1)] -
                                                player.times[1])
                      .count();
    double expected = (callbacksAtStop - 2) * double(NoisePlayer::kFrames) / kRate;
    EXPECT_NEAR(span, expected, 0.15 * expected + 0.1);

    // Find where the block sits in the played signal, from its first frames.
    std::size_t first = 0;
    while (first < frames && block[2 * first] == 0 && block[2 * first + 1] == 0)
        ++first;
    ASSERT_LT(first, frames / 2) << "the capture is mostly silence";
    const std::size_t probe = 32;
    ASSERT_LT(first + probe, frames);
    std::uint64_t played = player.generated;
    std::int64_t offset = -1;
    for (std::uint64_t n = 0; n + probe < played && offset < 0; ++n) {
        std::size_t k = 0;
        while (k < probe && std::abs(block[2 * (first + k)] - Sample(n + k, 0)) <= 1 &&
               std::abs(block[2 * (first + k) + 1] - Sample(n + k, 1)) <= 1)
            ++k;
        if (k == probe)
            offset = static_cast<std::int64_t>(n);
    }
    ASSERT_GE(offset, 0) << "the captured samples are not the played signal";
    std::size_t exact = 0, within1 = 0, worse = 0;
    for (std::size_t i = first; i < frames; ++i) {
        std::uint64_t n = static_cast<std::uint64_t>(offset) + (i - first);
        for (int c = 0; c < 2; ++c) {
            int diff = std::abs(block[2 * i + static_cast<std::size_t>(c)] - Sample(n, c));
            (diff == 0 ? exact : diff == 1 ? within1 : worse)++;
        }
    }
    std::printf("one-second capture took %lld ms, lag %lld frames; %zu samples exact, %zu within 1 LSB\n",
                static_cast<long long>(ms), static_cast<long long>(offset) - static_cast<long long>(first), exact,
                within1);
    EXPECT_EQ(worse, 0u) << exact << " exact, " << within1 << " within 1 LSB";
    EXPECT_GT(exact + within1, frames); // more than half of the block is signal
}

TEST_F(AlsaPipeWireTest, ResetDuringACaptureReturnsWhatWasRecordedSoFar)
{
    ASSERT_GT(backend->inputCount(), 0);
    alsatest::CompletionSink sink;
    std::unique_ptr<WaveInDevice> in;
    ASSERT_EQ(backend->openInput(0, Format(kRate, 32), {&sink}, in), 0);
    std::vector<char> data(2 * kRate * 8); // two seconds of 32-bit stereo
    WaveHeader h;
    h.lpData = data.data();
    h.dwBufferLength = static_cast<std::uint32_t>(data.size());
    ASSERT_EQ(in->prepareHeader(h), 0);
    ASSERT_EQ(in->addBuffer(h), 0);
    ASSERT_EQ(in->start(), 0);
    alsatest::Pump(400);
    EXPECT_TRUE(sink.headers.empty());
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(in->reset(), 0);
    EXPECT_LT(t.elapsed(), 200) << "reset must be prompt";
    ASSERT_TRUE(alsatest::WaitFor([&] { return !sink.headers.empty(); }, 1000));
    EXPECT_EQ(sink.headers[0], &h);
    EXPECT_EQ(sink.codes[0], 0u);
    // About 0.4 s worth (more on a loaded machine), in whole frames.
    EXPECT_EQ(h.dwBytesRecorded % 8, 0u);
    EXPECT_GT(h.dwBytesRecorded, 0.1 * kRate * 8);
    EXPECT_LT(h.dwBytesRecorded, 1.5 * kRate * 8);
    EXPECT_EQ(in->unprepareHeader(h), 0);
    EXPECT_EQ(in->close(), 0);
}

TEST_F(AlsaPipeWireTest, PauseHoldsPlaybackRestartResumesResetIsPrompt)
{
    ASSERT_GT(backend->outputCount(), 0);
    NoisePlayer player;
    std::unique_ptr<WaveOutDevice> out;
    ASSERT_EQ(backend->openOutput(0, Format(kRate, 16), [&](WaveHeader *h) { player.done(h); }, out), 0);
    player.device = out.get();
    ASSERT_EQ(player.start(), 0);
    ASSERT_TRUE(alsatest::WaitFor([&] { return player.callbacks >= 3; }, 3000));

    ASSERT_EQ(out->pause(), 0);
    int atPause = player.callbacks;
    alsatest::Pump(600); // more than three buffer lengths
    EXPECT_LE(player.callbacks, atPause + 1) << "a paused device went on playing";
    int held = player.callbacks;
    ASSERT_EQ(out->restart(), 0);
    EXPECT_TRUE(alsatest::WaitFor([&] { return player.callbacks >= held + 3; }, 2000));

    QElapsedTimer t;
    t.start();
    EXPECT_EQ(out->reset(), 0);
    player.refill = false;
    EXPECT_EQ(out->reset(), 0);
    EXPECT_LT(t.elapsed(), 150) << "reset must stop at once";
    for (WaveHeader &h : player.header) {
        EXPECT_FALSE(h.dwFlags & WHDR_INQUEUE);
        EXPECT_EQ(out->unprepareHeader(h), 0);
    }
    EXPECT_EQ(out->close(), 0);
}

// Runs last: stops the server under a running capture and playback.
TEST_F(AlsaPipeWireTest, ServerGoneEndsCaptureAndPlaybackWithTheirBuffersBack)
{
    ASSERT_GT(backend->outputCount(), 0);
    ASSERT_GT(backend->inputCount(), 0);
    NoisePlayer player;
    std::unique_ptr<WaveOutDevice> out;
    ASSERT_EQ(backend->openOutput(0, Format(kRate, 16), [&](WaveHeader *h) { player.done(h); }, out), 0);
    player.device = out.get();
    ASSERT_EQ(player.start(), 0);

    alsatest::CompletionSink sink;
    std::unique_ptr<WaveInDevice> in;
    ASSERT_EQ(backend->openInput(0, Format(kRate, 16), {&sink}, in), 0);
    std::vector<char> data(10 * kRate * 4);
    WaveHeader h;
    h.lpData = data.data();
    h.dwBufferLength = static_cast<std::uint32_t>(data.size());
    ASSERT_EQ(in->prepareHeader(h), 0);
    ASSERT_EQ(in->addBuffer(h), 0);
    ASSERT_EQ(in->start(), 0);
    alsatest::Pump(500);

    std::ifstream pidFile(gDir + "/pipewire.pid");
    pid_t pid = 0;
    pidFile >> pid;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGKILL), 0);

    // No hang: the buffer comes back, short, with the failure in its message.
    ASSERT_TRUE(alsatest::WaitFor([&] { return !sink.headers.empty(); }, 6000));
    EXPECT_EQ(sink.headers[0], &h);
    EXPECT_NE(sink.codes[0], 0u);
    EXPECT_LT(h.dwBytesRecorded, h.dwBufferLength);
    EXPECT_TRUE(h.dwFlags & WHDR_DONE);
    EXPECT_EQ(in->reset(), 0) << "the failure went out with the completion already";
    EXPECT_NE(in->start(), 0);
    EXPECT_EQ(in->unprepareHeader(h), 0);
    EXPECT_EQ(in->close(), 0);

    // Playback: every buffer comes back, writing is refused, reset reports it.
    // (unprepare refuses a queued buffer; it reads the flags under the device's lock)
    ASSERT_TRUE(alsatest::WaitFor(
        [&] { return out->unprepareHeader(player.header[0]) == 0 && out->unprepareHeader(player.header[1]) == 0; },
        6000));
    player.refill = false;
    ASSERT_EQ(out->prepareHeader(player.header[0]), 0);
    EXPECT_EQ(out->write(player.header[0]), DEVICE_LOST);
    EXPECT_EQ(out->reset(), DEVICE_LOST);
    EXPECT_EQ(out->reset(), 0);
    EXPECT_EQ(out->close(), 0);
}

} // namespace

int main(int argc, char **argv)
{
    unsetenv("ALSA_CONFIG_PATH");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
