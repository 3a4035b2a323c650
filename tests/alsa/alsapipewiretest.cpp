// The ALSA backend against a real sound server: the private PipeWire stack of
// tests/pipewire/server, whose default sink loops back to its default
// source. What is played to "default" must come back on "default" capture,
// sample for sample, in real time. Skipped (exit 77) when the server is not
// available.
#include "alsatestsupport.h"
#include "support/pipewireserver.h"
#include "audio/alsa/alsabackend.h"
#include "audio/alsa/alsasoundbackend.h"
#include "audio/audioengine.h"
#include "audio/mixer/mixercontrol.h"
#include "audio/outputengine.h"
#include "audio/setupsoundinterface.h"
#include "platform/runtime/utilities.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>

using namespace audio;
using alsatest::Format;

namespace {

constexpr std::uint32_t kRate = 48000, kFrames = 8192; // frames per played buffer

std::string gDir = pwserver::Dir();

// amixer on the server's "default" control device, its errors with its
// output; its exit status.
int Amixer(const QStringList &args, std::string &out)
{
    return testsupport::RunShell("amixer -D default " + args.join(' ').toStdString() + " 2>&1", out);
}

// The raw value of a simple control's first channel as amixer reads it; -1 if none.
long AmixerValue(const QString &control)
{
    std::string out;
    Amixer({"sget", control}, out);
    auto m = QRegularExpression("Front Left: (?:Capture|Playback) (\\d+)").match(QString::fromStdString(out));
    return m.hasMatch() ? m.captured(1).toLong() : -1;
}

// The program's mixer on the current devices, with a settings file of its own.
std::unique_ptr<audio::Tmixu> ProgramMixer()
{
    platform::SetSettingsFileName(gDir + "/sonmain.ini");
    audio::SetupSoundInterface(VirtualCardConfig::Ideal(), true);
    return std::make_unique<audio::Tmixu>();
}

// Sample n of the played signal: independent noise per channel, at about
// -12 dBFS so that nothing clips on the way.
std::int16_t Sample(std::uint64_t n, int channel)
{
    const std::uint64_t h = alsatest::Hash(2 * n + static_cast<std::uint64_t>(channel));
    return static_cast<std::int16_t>(static_cast<int>((h >> 40) & 0x3FFF) - 8192);
}

class AlsaPipeWireTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_GT(backend->inputCount(), 0);
        ASSERT_GT(backend->outputCount(), 0);
    }

    // Opens "default" capture with one buffer of `bytes` in `data` and starts it.
    void startCapture(std::vector<char> &data, std::size_t bytes, int bits = 16)
    {
        data.assign(bytes, '\x5A');
        h_ = WaveHeader{};
        h_.lpData = data.data();
        h_.dwBufferLength = static_cast<std::uint32_t>(bytes);
        ASSERT_EQ(backend->openInput(0, Format(kRate, bits), {&sink_}, in_), 0);
        ASSERT_EQ(in_->prepareHeader(h_), 0);
        ASSERT_EQ(in_->addBuffer(h_), 0);
        ASSERT_EQ(in_->start(), 0);
    }

    // One whole capture of `frames` frames; the milliseconds from start to completion, or -1.
    qint64 capture(std::vector<std::int16_t> &block, std::uint32_t frames)
    {
        std::vector<char> data;
        sink_.headers.clear();
        sink_.codes.clear();
        QElapsedTimer t;
        t.start();
        startCapture(data, frames * 4);
        if (HasFatalFailure())
            return -1;
        const bool done = alsatest::WaitFor([&] { return !sink_.headers.empty(); }, static_cast<int>(frames / 48 + 3000));
        const qint64 ms = t.elapsed();
        in_->reset();
        in_->unprepareHeader(h_);
        in_->close();
        block.resize(frames * 2);
        std::memcpy(block.data(), data.data(), frames * 4);
        return done && h_.dwBytesRecorded == h_.dwBufferLength && sink_.codes[0] == 0 ? ms : -1;
    }

    // Fills a played buffer with the next frames of the noise.
    std::function<void(WaveHeader &)> noise()
    {
        return [this](WaveHeader &h) {
            auto *s = reinterpret_cast<std::int16_t *>(h.lpData);
            const std::uint64_t n0 = generated_;
            for (std::uint32_t k = 0; k < kFrames; ++k) {
                s[2 * k] = Sample(n0 + k, 0);
                s[2 * k + 1] = Sample(n0 + k, 1);
            }
            generated_ = n0 + kFrames;
        };
    }

    std::shared_ptr<SoundBackend> backend = CreateAlsaBackend();
    std::atomic<std::uint64_t> generated_{0};
    alsatest::CompletionSink sink_;
    std::unique_ptr<WaveInDevice> in_;
    WaveHeader h_;
};

TEST_F(AlsaPipeWireTest, ServerDefaultIsListedWithAReadableName)
{
    WaveInCaps in;
    ASSERT_EQ(backend->inputCaps(0, in), 0);
    // The server describes its default PCM as an output: the input is not
    // named after it.
    EXPECT_EQ(in.name.find("Output"), std::string::npos) << in.name;
    EXPECT_NE(in.name.find("(default)"), std::string::npos) << in.name;
    EXPECT_LE(in.name.size(), 120u);
    EXPECT_TRUE(in.formats & WAVE_FORMAT_48S16) << std::hex << in.formats;
    EXPECT_TRUE(in.formats & WAVE_FORMAT_4S16) << std::hex << in.formats;
    WaveOutCaps out;
    ASSERT_EQ(backend->outputCaps(0, out), 0);
    EXPECT_NE(out.name.find("PipeWire"), std::string::npos) << out.name;
    EXPECT_TRUE(out.formats & WAVE_FORMAT_48S16) << std::hex << out.formats;
}

TEST_F(AlsaPipeWireTest, SignalPlayedToDefaultComesBackSampleExactAndInRealTime)
{
    audiotest::RefillPlayer player(kFrames * 4, noise());
    ASSERT_EQ(player.start(*backend, Format(kRate, 16)), 0);
    WaveOutDevice *out = player.out.get();

    // The session manager links the new streams shortly after they appear.
    std::vector<std::int16_t> block;
    auto hasSignal = [&] { return std::any_of(block.begin(), block.end(), [](std::int16_t v) { return v != 0; }); };
    QElapsedTimer wait;
    wait.start();
    do {
        ASSERT_GE(capture(block, 4800), 0) << "a short capture failed";
    } while (!hasSignal() && wait.elapsed() < 6000);
    ASSERT_TRUE(hasSignal()) << "nothing came back through the loopback";

    const std::uint32_t frames = kRate; // one second
    const qint64 ms = capture(block, frames);
    player.refillsLeft = 0;
    const int callbacksAtStop = player.callbacks;
    EXPECT_EQ(out->reset(), 0);
    for (WaveHeader &h : player.header)
        EXPECT_EQ(out->unprepareHeader(h), 0);
    EXPECT_EQ(out->close(), 0);
    ASSERT_GE(ms, 0) << "the one-second capture failed";
    EXPECT_GT(ms, 900) << "paced by the server's clock";

    // Playback is paced too: refills come no faster than one buffer length apart.
    ASSERT_GE(callbacksAtStop, 6);
    const double span =
        std::chrono::duration<double>(player.times[static_cast<std::size_t>(callbacksAtStop - 1)] - player.times[1])
            .count();
    EXPECT_GT(span, 0.85 * (callbacksAtStop - 2) * double(kFrames) / kRate);

    // Find where the block sits in the played signal, from its first frames.
    std::size_t first = 0;
    while (first < frames && block[2 * first] == 0 && block[2 * first + 1] == 0)
        ++first;
    ASSERT_LT(first, frames / 2) << "the capture is mostly silence";
    const std::size_t probe = 32;
    auto near = [&](std::size_t i, std::uint64_t n, int c) { return std::abs(block[2 * i + c] - Sample(n, c)); };
    std::int64_t offset = -1;
    for (std::uint64_t n = 0; n + probe < generated_ && offset < 0; ++n) {
        std::size_t k = 0;
        while (k < probe && near(first + k, n + k, 0) <= 1 && near(first + k, n + k, 1) <= 1)
            ++k;
        if (k == probe)
            offset = static_cast<std::int64_t>(n);
    }
    ASSERT_GE(offset, 0) << "the captured samples are not the played signal";
    std::size_t exact = 0, within1 = 0, worse = 0;
    for (std::size_t i = first; i < frames; ++i)
        for (int c = 0; c < 2; ++c) {
            const int diff = near(i, static_cast<std::uint64_t>(offset) + (i - first), c);
            (diff == 0 ? exact : diff == 1 ? within1 : worse)++;
        }
    EXPECT_EQ(worse, 0u) << exact << " exact, " << within1 << " within 1 LSB";
    EXPECT_GT(exact + within1, frames); // more than half of the block is signal
}

// Phase (radians) at frame `from` of a sine of step w fitted over n frames.
double FittedPhase(const std::vector<double> &x, std::size_t from, std::size_t n, double w)
{
    double s = 0, c = 0;
    for (std::size_t k = 0; k < n; ++k) {
        s += x[from + k] * std::sin(w * static_cast<double>(k));
        c += x[from + k] * std::cos(w * static_cast<double>(k));
    }
    return std::atan2(c, s);
}

// A sine of amplitude a stepping by w1 that turns into one stepping by w2,
// maybe with silence between: by how many frames (of w1) the new sine's
// phase is off from where the old one would have gone on. NaN when the
// change is not found with a period of signal on either side.
double RestartOffsetFrames(const std::vector<double> &x, double a, double w1, double w2, std::size_t period)
{
    std::vector<double> heard; // without the silence of the restart
    for (std::size_t n = 0; n < x.size(); ++n)
        if (!(x[n] == 0.0 && ((n > 0 && x[n - 1] == 0.0) || (n + 1 < x.size() && x[n + 1] == 0.0))))
            heard.push_back(x[n]);
    // The change: where the old sine, fitted over the period before, stops
    // matching (a sample-by-sample check cannot tell two low frequencies apart).
    const double tol = 0.02 * a;
    for (std::size_t b = period; b + period <= heard.size(); ++b) {
        const double p = FittedPhase(heard, b - period, period, w1) + w1 * static_cast<double>(period);
        if (std::abs(a * std::sin(p) - heard[b]) < tol)
            continue;
        const double after = FittedPhase(heard, b, period, w2);
        return std::remainder(after - p, 2 * std::numbers::pi) / w1;
    }
    return std::nan("");
}

// The path the generator window takes: a change while streaming restarts
// the engine's stream in place, and the new sine goes on where the old one
// was heard to end, within 2 ms (the fit of two sines a period long
// cannot tell more). Rewinding the ring from where ALSA last saw the
// server's plugin read lost a quantum of what it held (5 to 10 ms), and
// continuing from the end of the dropped buffers instead is off by their
// whole length.
TEST_F(AlsaPipeWireTest, AnEngineStreamRestartedInPlaceGoesOnWhereItStopped)
{
    platform::SetSettingsFileName(gDir + "/sonmain.ini");
    audiotest::CardEngine engine;
    engine.start(VirtualCardConfig::Ideal(), true);
    engine.setFormat(kRate, 16);
    GeneratorSettings &g = Generator();
    g = GeneratorSettings{};
    g.Loop = false;
    g.LevelL = g.LevelR = -6;
    const double f1 = 20.0, f2 = 30.0; // a period far longer than what the server loses
    ASSERT_EQ(StartOutput(g, -1.0, f1), 0);

    std::vector<double> left, right;
    auto capture = [&](int frames) { engine.capture(frames, left, right); };
    QElapsedTimer wait; // the session manager links the streams shortly after they appear
    wait.start();
    do
        capture(4800);
    while (std::count(left.begin(), left.end(), 0.0) > 100 && wait.elapsed() < 6000);

    QTimer::singleShot(300, [&] { EXPECT_EQ(StartOutput(g, -1.0, f2), 0); });
    capture(32768); // the longest capture, 0.68 s
    StopOutput();
    engine.stop();
    ASSERT_EQ(left.size(), 32768u);
    const double offset = RestartOffsetFrames(left, std::pow(10.0, -6 / 20.0), 2 * std::numbers::pi * f1 / kRate,
                                              2 * std::numbers::pi * f2 / kRate, kRate / 20);
    EXPECT_LE(std::abs(offset), 0.002 * kRate) << offset << " frames"; // NaN fails too
}

// What a measurement that steps the generator relies on: after each restart
// in place the stream goes on as one sine, across every buffer that follows.
// Two ways it did not: rewound from where ALSA last saw the server's plugin
// read (a quantum ago), the ring looked full to the plugin, which played
// stale samples between the new ones from then on; and the first new
// buffer, passed whole into the emptied ring, came back refilled (with what
// follows the second) before the second was queued, so the two played in
// the wrong order at every buffer. A sine at 997 Hz obeys
// x[n] = 2 cos(w) x[n-1] - x[n-2]; rounded to 16 bits the rest stays below
// 2 steps, while a jump of a single frame leaves about A·w.
TEST_F(AlsaPipeWireTest, AStreamRestartedInPlaceAgainAndAgainGoesOnAsOneSine)
{
    platform::SetSettingsFileName(gDir + "/sonmain.ini");
    audiotest::CardEngine engine;
    engine.start(VirtualCardConfig::Ideal(), true);
    engine.setFormat(kRate, 16);
    GeneratorSettings &g = Generator();
    g = GeneratorSettings{};
    g.Loop = false;
    g.LevelL = g.LevelR = -6;
    const double f = 997.0, c = 2.0 * std::cos(2.0 * std::numbers::pi * f / kRate);
    ASSERT_EQ(StartOutput(g, -1.0, f), 0);

    std::vector<double> left, right;
    QElapsedTimer wait; // the session manager links the streams shortly after they appear
    wait.start();
    do
        engine.capture(4800, left, right);
    while (std::count(left.begin(), left.end(), 0.0) > 100 && wait.elapsed() < 6000);

    for (int restart = 1; restart <= 6; ++restart) {
        ASSERT_EQ(StartOutput(g, -1.0, f), 0);
        ASSERT_TRUE(OutputRunning());
        alsatest::Pump(150);
        engine.capture(32768, left, right); // 0.68 s
        ASSERT_EQ(left.size(), 32768u);
        // Over the second half only, far from the restart itself: several
        // of the stream's buffers and the boundaries between them.
        double worst = 0.0;
        std::size_t at = 0;
        for (std::size_t n = 16384; n < left.size(); ++n) {
            const double e = std::abs(left[n] - c * left[n - 1] + left[n - 2]);
            if (e > worst) {
                worst = e;
                at = n;
            }
        }
        EXPECT_LT(worst, 4.0 / 32768.0) << "restart " << restart << ": a jump at frame " << at;
    }
    StopOutput();
    engine.stop();
}

TEST_F(AlsaPipeWireTest, ResetDuringACaptureReturnsWhatWasRecordedSoFar)
{
    std::vector<char> data;
    startCapture(data, 2 * kRate * 8, 32); // two seconds of 32-bit stereo
    alsatest::Pump(400);
    EXPECT_TRUE(sink_.headers.empty());
    ASSERT_EQ(in_->reset(), 0);
    ASSERT_TRUE(alsatest::WaitFor([&] { return !sink_.headers.empty(); }, 5000));
    EXPECT_EQ(sink_.headers[0], &h_);
    EXPECT_EQ(sink_.codes[0], 0u);
    // What came in so far (about 0.4 s, less on a loaded machine), in whole frames.
    EXPECT_EQ(h_.dwBytesRecorded % 8, 0u);
    EXPECT_GT(h_.dwBytesRecorded, 0u);
    EXPECT_LT(h_.dwBytesRecorded, h_.dwBufferLength);
    EXPECT_EQ(in_->unprepareHeader(h_), 0);
    EXPECT_EQ(in_->close(), 0);
}

TEST_F(AlsaPipeWireTest, PauseHoldsPlaybackAndRestartResumes)
{
    audiotest::RefillPlayer player(kFrames * 4, noise());
    ASSERT_EQ(player.start(*backend, Format(kRate, 16)), 0);
    WaveOutDevice *out = player.out.get();
    ASSERT_TRUE(alsatest::WaitFor([&] { return player.callbacks >= 3; }, 3000));
    ASSERT_EQ(out->pause(), 0);
    const int atPause = player.callbacks;
    alsatest::Pump(600); // more than three buffer lengths
    EXPECT_LE(player.callbacks, atPause + 1) << "a paused device went on playing";
    const int held = player.callbacks;
    ASSERT_EQ(out->restart(), 0);
    EXPECT_TRUE(alsatest::WaitFor([&] { return player.callbacks >= held + 3; }, 2000));

    EXPECT_EQ(out->reset(), 0); // the engine's stop: see the file plugin's double-reset test
    player.refillsLeft = 0;
    EXPECT_EQ(out->reset(), 0);
    for (WaveHeader &h : player.header)
        EXPECT_EQ(out->unprepareHeader(h), 0);
    EXPECT_EQ(out->close(), 0);
}

// What the server's ALSA mixer offers, as found with Debian 12's
// pipewire-alsa 0.3.65: "Master" (playback volume and switch) and "Capture"
// (capture volume and switch), each 0..65536. The program drives the capture
// volume only: the master is the whole desktop's volume.
TEST_F(AlsaPipeWireTest, MixerDrivesTheServersCaptureVolumeNeverItsMasterAndPutsBackItsWrites)
{
    std::string controls;
    ASSERT_EQ(Amixer({"scontrols"}, controls), 0) << controls;
    if (controls.find("'Capture',0") == std::string::npos)
        GTEST_SKIP() << "the server's mixer offers no capture volume: " << controls;
    const long capture = AmixerValue("Capture"), master = AmixerValue("Master");
    std::string out;
    ASSERT_EQ(Amixer({"sset", "Capture", "60000"}, out), 0) << out;
    Amixer({"sset", "Master", "40000"}, out);
    {
        auto mixu = ProgramMixer();
        ASSERT_TRUE(mixu->MixOn());
        ASSERT_EQ(mixu->RecordSourceCount(), 1);
        std::vector<int> reports;
        mixu->SetHooks({{}, [&](const TsrcCtr &c) { reports.push_back(mixu->GetControlValue(c)); }, {}});
        mixu->AddToSourceMask(0);
        mixu->ResetPlayMixer(13107);    // as every activation of the main window does
        mixu->SetMasterVolume(0);       // as the output volume bar does
        mixu->SetRecordVolume(26214, 0); // as the recording volume bar at 40 % does
        EXPECT_EQ(AmixerValue("Capture"), 26214); // 26214 of 65535 is 26214 of 65536
        EXPECT_EQ(AmixerValue("Master"), 40000);

        ASSERT_EQ(Amixer({"sset", "Capture", "39322"}, out), 0) << out; // another program: 60 %
        EXPECT_TRUE(alsatest::WaitFor([&] { return !reports.empty() && reports.back() == 39321; }, 20000));
        Amixer({"sset", "Master", "20000"}, out);
    }
    EXPECT_EQ(AmixerValue("Capture"), 60000) << "back as it was before the program's first write";
    EXPECT_EQ(AmixerValue("Master"), 20000) << "left as the other program set it";
    Amixer({"sset", "Capture", QString::number(capture)}, out); // the loopback stays bit-exact
    Amixer({"sset", "Master", QString::number(master)}, out);
}

// Stops the server under a running capture and playback, and starts it
// again for the tests that follow.
TEST_F(AlsaPipeWireTest, ServerGoneEndsCaptureAndPlaybackWithTheirBuffersBack)
{
    auto mixu = ProgramMixer();
    const bool mixer = mixu->MixOn();
    audiotest::RefillPlayer player(kFrames * 4, noise());
    ASSERT_EQ(player.start(*backend, Format(kRate, 16)), 0);
    WaveOutDevice *out = player.out.get();
    std::vector<char> data;
    startCapture(data, 10 * kRate * 4);
    alsatest::Pump(500);
    std::ifstream pidFile(gDir + "/pipewire.pid");
    pid_t pid = 0;
    pidFile >> pid;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGKILL), 0);

    // No hang: the buffer comes back, short, with the failure in its message.
    ASSERT_TRUE(alsatest::WaitFor([&] { return !sink_.headers.empty(); }, 6000));
    EXPECT_EQ(sink_.headers[0], &h_);
    EXPECT_NE(sink_.codes[0], 0u);
    EXPECT_LT(h_.dwBytesRecorded, h_.dwBufferLength);
    EXPECT_TRUE(h_.dwFlags & WHDR_DONE);
    EXPECT_EQ(in_->reset(), 0) << "the failure went out with the completion already";
    EXPECT_NE(in_->start(), 0);
    EXPECT_EQ(in_->unprepareHeader(h_), 0);
    EXPECT_EQ(in_->close(), 0);

    // Playback: every buffer comes back (unprepare refuses a queued one),
    // writing is refused, reset reports the loss once.
    ASSERT_TRUE(alsatest::WaitFor(
        [&] { return out->unprepareHeader(player.header[0]) == 0 && out->unprepareHeader(player.header[1]) == 0; },
        6000));
    player.refillsLeft = 0;
    ASSERT_EQ(out->prepareHeader(player.header[0]), 0);
    EXPECT_EQ(out->write(player.header[0]), DEVICE_LOST);
    EXPECT_EQ(out->reset(), DEVICE_LOST);
    EXPECT_EQ(out->reset(), 0);
    EXPECT_EQ(out->close(), 0);

    // The mixer went with the server: logged, and inert from then on.
    if (mixer) {
        ASSERT_TRUE(alsatest::WaitFor([&] { return mixu->Lost(); }, 6000));
        const auto &log = AudioLog();
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string &l) { return l.rfind("Mixer lost", 0) == 0; }));
        mixu->SetRecordVolume(1000, 0);
        EXPECT_EQ(mixu->GetRecordVolume(0), -1);
    }
    mixu.reset();
    EXPECT_TRUE(pwserver::Restart());
}

} // namespace

// Up when "default" opens both ways through the server.
bool AlsaDefaultReachesTheServer()
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        auto backend = CreateAlsaBackend();
        auto *alsa = static_cast<alsa::AlsaSoundBackend *>(backend.get());
        if (backend->inputCount() > 0 && backend->outputCount() > 0 && alsa->pcmName(true, 0) == "default" &&
            alsa->pcmName(false, 0) == "default")
            return true;
        QThread::msleep(200);
    }
    return false;
}

int main(int argc, char **argv)
{
    unsetenv("ALSA_CONFIG_PATH");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (pwserver::SkipReason().empty() && !AlsaDefaultReachesTheServer()) {
        std::cout << "SKIPPED: ALSA's default device does not reach the PipeWire server within 10 s "
                     "(is pipewire-alsa installed?)" << std::endl;
        return 77;
    }
    return pwserver::RunAllOrSkip();
}
