// The PipeWire backend against the private servers of tests/pipewire/server:
// two loopbacks (the second never the default), a sink on a clock of its own
// and a source on a third; in the allowed-rates run one loopback whose graph
// may go to 96000 Hz. What a stream plays into a loopback's sink must come
// back on that loopback's source, and only there; what the server really
// runs is checked against its own report (pw-dump). Exits with 77 (skipped)
// without a server.
#include "alsa/alsatestsupport.h"
#include "audio/capture.h"
#include "audio/mixerdevice.h"
#include "audio/outputengine.h"
#include "audio/pipewire/pipewirebackend.h"
#include "support/pipewireserver.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cmath>
#include <csignal>

using namespace audio;
using namespace audio::pipewire;
using alsatest::Format;

namespace {

constexpr std::uint32_t kFrames = 4096; // frames per played buffer

// Sample n of channel c of the played noise at about -12 dBFS: 16-bit
// samples, full 32-bit words (32) or 24-bit samples in 32-bit containers (24).
std::int32_t Sample(std::uint64_t n, int c, int bits)
{
    const std::uint64_t h = alsatest::Hash(2 * n + static_cast<std::uint64_t>(c));
    if (bits == 16)
        return static_cast<int>((h >> 40) & 0x3FFF) - 8192;
    const std::int32_t v = static_cast<std::int32_t>(h >> 32) / 4;
    return bits == 24 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(v) & 0xFFFFFF00u) : v;
}

// The server's own report of a node: its id and the rate of its format.
struct Dumped {
    bool found = false;
    std::uint32_t id = 0;
    int rate = 0;
};

Dumped DumpNode(const QString &name)
{
    int rc = -1;
    const std::string json = pwserver::Run({"pw-dump"}, rc);
    for (const QJsonValue v : QJsonDocument::fromJson(QByteArray::fromStdString(json)).array()) {
        const QJsonObject info = v.toObject()["info"].toObject();
        if (info["props"].toObject()["node.name"].toString() != name)
            continue;
        const QJsonArray format = info["params"].toObject()["Format"].toArray();
        return {true, static_cast<std::uint32_t>(v.toObject()["id"].toInt()),
                format.isEmpty() ? 0 : format[0].toObject()["rate"].toInt()};
    }
    return {};
}

// A captured block against the played noise: found by 32 frames after the
// leading silence, then compared sample by sample.
struct Match {
    bool found = false;
    std::size_t compared = 0, differing = 0;
    std::int64_t maxDiff = 0;
};

Match Compare(const std::vector<std::int32_t> &x, int bits, std::uint64_t generated)
{
    Match m;
    const std::size_t frames = x.size() / 2;
    std::size_t first = 0;
    while (first < frames && x[2 * first] == 0 && x[2 * first + 1] == 0)
        ++first;
    if (first + 64 > frames)
        return m;
    auto diff = [&](std::size_t i, std::uint64_t n, int c) { return std::llabs(std::int64_t{x[2 * i + c]} - Sample(n, c, bits)); };
    const std::int64_t near = bits == 16 ? 1 : 1 << 12;
    std::uint64_t offset = 0;
    for (std::uint64_t n = 0; n + 32 < generated && !m.found; ++n) {
        std::size_t k = 0;
        while (k < 32 && diff(first + k, n + k, 0) <= near && diff(first + k, n + k, 1) <= near)
            ++k;
        m.found = k == 32;
        offset = n;
    }
    for (std::size_t i = first; m.found && i < frames && offset + (i - first) < generated; ++i)
        for (int c = 0; c < 2; ++c) {
            const std::int64_t d = diff(i, offset + (i - first), c);
            ++m.compared;
            m.differing += d != 0;
            m.maxDiff = std::max(m.maxDiff, d);
        }
    return m;
}

class PipeWireBackendTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(backend, nullptr) << "the server does not answer"; }

    int in(const std::string &node) { return backend->indexOfNode(true, node); }
    int out(const std::string &node) { return backend->indexOfNode(false, node); }

    // Plays the noise to output `index` until stop().
    void play(int index, std::uint32_t rate, int bits)
    {
        const int container = bits == 24 ? 32 : bits;
        player = std::make_unique<audiotest::RefillPlayer>(kFrames * container / 4, [this, bits](WaveHeader &h) {
            const std::uint64_t n0 = generated;
            for (std::uint32_t k = 0; k < kFrames; ++k)
                for (int c = 0; c < 2; ++c) {
                    const std::int32_t v = Sample(n0 + k, c, bits);
                    if (bits == 16)
                        reinterpret_cast<std::int16_t *>(h.lpData)[2 * k + c] = static_cast<std::int16_t>(v);
                    else
                        reinterpret_cast<std::int32_t *>(h.lpData)[2 * k + c] = v;
                }
            generated = n0 + kFrames;
        });
        ASSERT_EQ(player->start(*backend, Format(rate, container), true, index), 0);
    }
    void stop()
    {
        player->refillsLeft = 0;
        EXPECT_EQ(player->out->reset(), 0);
        player->out->reset();
        for (WaveHeader &h : player->header)
            player->out->unprepareHeader(h);
        EXPECT_EQ(player->out->close(), 0);
        player.reset();
    }

    // Opens input `index` with one buffer of `frames` frames and starts it.
    void startCapture(int index, std::uint32_t rate, int bits, std::uint32_t frames)
    {
        const int container = bits == 24 ? 32 : bits;
        data.assign(std::size_t(frames) * container / 4, '\x5A');
        header = WaveHeader{};
        header.lpData = data.data();
        header.dwBufferLength = static_cast<std::uint32_t>(data.size());
        sink.headers.clear();
        sink.codes.clear();
        ASSERT_EQ(backend->openInput(index, Format(rate, container), {&sink}, device), 0);
        ASSERT_EQ(device->prepareHeader(header), 0);
        ASSERT_EQ(device->addBuffer(header), 0);
        ASSERT_EQ(device->start(), 0);
    }
    // Waits for the buffer, closes the device; the samples, widened.
    std::vector<std::int32_t> finishCapture(int bits)
    {
        const bool done = alsatest::WaitFor([&] { return !sink.headers.empty(); }, 10000);
        device->reset();
        device->unprepareHeader(header);
        device->close();
        device.reset();
        EXPECT_TRUE(done && sink.codes[0] == 0 && header.dwBytesRecorded == header.dwBufferLength);
        std::vector<std::int32_t> x(header.dwBytesRecorded / (bits == 16 ? 2 : 4));
        for (std::size_t i = 0; i < x.size(); ++i) {
            std::int16_t s16;
            std::memcpy(bits == 16 ? static_cast<void *>(&s16) : static_cast<void *>(&x[i]),
                        data.data() + i * (bits == 16 ? 2 : 4), bits == 16 ? 2 : 4);
            if (bits == 16)
                x[i] = s16;
        }
        return x;
    }
    std::vector<std::int32_t> record(int index, std::uint32_t rate, int bits, std::uint32_t frames)
    {
        startCapture(index, rate, bits, frames);
        return HasFatalFailure() ? std::vector<std::int32_t>{} : finishCapture(bits);
    }
    // Records blocks from input `index` while the noise plays and compares
    // them with it. A busy machine may make the graph miss a cycle (an xrun,
    // which no client can undo), so up to three blocks are taken and the
    // best counts; a fault of the stream fails every one.
    Match heard(int index, std::uint32_t rate, int bits, std::uint32_t frames, std::int64_t tolerance = 0)
    {
        Match best;
        for (int attempt = 0; attempt < 3 && !(best.found && best.maxDiff <= tolerance); ++attempt) {
            const std::vector<std::int32_t> x = record(index, rate, bits, frames);
            const Match m = Compare(x, bits, generated); // what was generated by the end of the block
            if (attempt > 0)
                std::cout << "block " << attempt << " had a glitch; again" << std::endl;
            if (m.found && (!best.found || m.maxDiff < best.maxDiff))
                best = m;
        }
        return best;
    }
    // The engine on this backend alone, input and output on the given
    // nodes at 48000 Hz, 16 bits; it ends with the test.
    struct Engine {
        audiotest::SettingsScratch settings{"pipewire_engine"};
        Tdummy window;
        ~Engine()
        {
            if (AudioInitialised())
                DoneAudio();
            SoundInterface::instance().setBackends({});
        }
    };
    std::unique_ptr<Engine> startEngine(const std::string &inNode, const std::string &outNode)
    {
        SoundInterface::instance().setBackends({backend});
        auto engine = std::make_unique<Engine>();
        EXPECT_EQ(InitAudio(), 0);
        int nIn, nOut;
        std::uint32_t mask;
        DeviceReport(nIn, nOut, mask);
        SelectInputDevice(in(inNode));
        SelectOutputDevice(out(outNode));
        EXPECT_EQ(GetInputDevice(), in(inNode));
        SetDeviceFormat(InputSettings(GetInputDevice()), "", 48000, false, 16, 2);
        SetDeviceFormat(OutputSettings(GetOutputDevice()), "", 48000, false, 16, 2);
        return engine;
    }
    PipeWireStreamStatus status(bool input)
    {
        bool open = false;
        return backend->streamStatus(input, open);
    }

    std::shared_ptr<PipeWireBackend> backend = PipeWireBackend::create();
    std::atomic<std::uint64_t> generated{0};
    std::unique_ptr<audiotest::RefillPlayer> player;
    alsatest::CompletionSink sink;
    std::vector<char> data;
    WaveHeader header;
    std::unique_ptr<WaveInDevice> device;
};

TEST_F(PipeWireBackendTest, ListsEachNodeByItsDescriptionAndKeepsItsNodeName)
{
    ASSERT_GE(in("loop2_source"), 0);
    ASSERT_GE(out("loop2_sink"), 0);
    EXPECT_EQ(backend->deviceName(true, in("loop2_source")), "Second loopback in");
    EXPECT_EQ(backend->deviceName(false, out("loop2_sink")), "Second loopback out");
    // The first loopback's two sides share a description, but not a direction.
    EXPECT_EQ(backend->deviceName(true, in("loop_source")), "Test loopback");
    EXPECT_EQ(backend->nodeName(false, out("clock2_sink")), "clock2_sink");
    EXPECT_EQ(in("loop2_sink"), -1) << "a sink is no input";
    WaveInCaps caps;
    ASSERT_EQ(backend->inputCaps(in("loop2_source"), caps), 0);
    EXPECT_EQ(caps.name, "Second loopback in");
    EXPECT_TRUE(caps.formats & WAVE_FORMAT_48S16);
    EXPECT_EQ(backend->queryInput(in("loop2_source"), Format(96000, 32)), 0);
    EXPECT_EQ(backend->queryInput(in("loop2_source"), Format(48000, 24)), WAVERR_BADFORMAT);
}

TEST_F(PipeWireBackendTest, AStreamAimedAtTheSecondLoopbackComesBackThereBitExactAndNotOnTheDefault)
{
    play(out("loop2_sink"), 48000, 16);
    const Match first = heard(in("loop2_source"), 48000, 16, 24000);
    const Match again = heard(in("loop2_source"), 48000, 16, 24000); // on the parked stream
    alsatest::Pump(3000); // long enough for the parked stream to stop running
    const Match rested = heard(in("loop2_source"), 48000, 16, 24000);
    const std::vector<std::int32_t> silent = record(in("loop_source"), 48000, 16, 4800);
    const PipeWireStreamStatus played = status(false);
    stop();
    for (const Match &m : {first, again, rested}) {
        ASSERT_TRUE(m.found) << "the played noise did not come back";
        EXPECT_EQ(m.differing, 0u) << m.compared << " compared, largest difference " << m.maxDiff;
        EXPECT_GT(m.compared, 24000u);
    }
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](std::int32_t v) { return v == 0; }))
        << "the default loopback heard the second one";

    const PipeWireStreamStatus heard = status(true); // the last capture: the default source
    EXPECT_EQ(heard.nodeName, "loop_source");
    EXPECT_EQ(played.nodeName, "loop2_sink");
    EXPECT_EQ(played.nodeId, DumpNode("loop2_sink").id);
    for (const PipeWireStreamStatus &s : {heard, played}) {
        EXPECT_EQ(s.negotiatedRate, 48000u);
        EXPECT_EQ(s.graphRate, 48000u);
        EXPECT_FALSE(s.resampled());
        EXPECT_GE(s.quantum, 256u); // about the 1024 frames asked for
        EXPECT_LE(s.quantum, 2048u);
    }
    EXPECT_FALSE(TwoClocks(heard, played)) << heard.clockName << " / " << played.clockName;
}

// Both pass the server's float path: 24-bit samples (in 32-bit containers)
// exactly, full 32-bit words to within the float's 24 bits.
TEST_F(PipeWireBackendTest, TwentyFourBitSamplesComeBackExactlyThirtyTwoBitWordsWithinTheFloatsPrecision)
{
    for (const int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        play(out("loop2_sink"), 48000, bits);
        const Match m = heard(in("loop2_source"), 48000, bits, 24000, bits == 24 ? 0 : 255);
        stop();
        ASSERT_TRUE(m.found);
        EXPECT_GT(m.compared, 24000u);
        std::cout << bits << " bits: " << m.differing << " of " << m.compared << " samples differ, at most by "
                  << m.maxDiff << std::endl;
        EXPECT_LE(m.maxDiff, bits == 24 ? 0 : 255);
        generated = 0;
    }
}

TEST_F(PipeWireBackendTest, StreamsOnTwoClocksAreToldApart)
{
    play(out("clock2_sink"), 48000, 16);
    record(in("clock3_source"), 48000, 16, 4800);
    const PipeWireStreamStatus played = status(false);
    stop();
    EXPECT_TRUE(TwoClocks(status(true), played)) << status(true).clockName << " / " << played.clockName;
}

TEST_F(PipeWireBackendTest, ARateTheGraphMayNotTakeIsReportedAsResampled)
{
    startCapture(in("loop_source"), 96000, 16, 48000);
    alsatest::Pump(300);
    const Dumped node = DumpNode("loop_source");
    const SoundBackend::RunningStream running = backend->runningStream(true);
    finishCapture(16);
    const PipeWireStreamStatus s = status(true);
    EXPECT_EQ(node.rate, 48000);
    // As the sound interface tells it (device report, status line).
    EXPECT_TRUE(running.known);
    EXPECT_EQ(running.graphRate, 48000u);
    EXPECT_EQ(running.rate, 96000u);
    EXPECT_TRUE(running.resampled);
    EXPECT_GT(running.quantum, 0u);
    EXPECT_EQ(s.negotiatedRate, 96000u);
    EXPECT_EQ(s.graphRate, 48000u);
    EXPECT_TRUE(s.resampled());
}

TEST_F(PipeWireBackendTest, AllowedRatesLetARequestAt96000RunTheGraphAt96000BitExact)
{
    play(out("loop_sink"), 96000, 16);
    startCapture(in("loop_source"), 96000, 16, 48000);
    alsatest::Pump(200);
    const Dumped node = DumpNode("loop_source");
    finishCapture(16);
    const Match m = heard(in("loop_source"), 96000, 16, 48000);
    stop();
    EXPECT_EQ(node.rate, 96000) << "the server's own report";
    const PipeWireStreamStatus s = status(true);
    EXPECT_EQ(s.graphRate, 96000u);
    EXPECT_FALSE(s.resampled());
    ASSERT_TRUE(m.found);
    EXPECT_EQ(m.differing, 0u) << "largest difference " << m.maxDiff;
}

// The generator's path: a change while streaming restarts the engine's
// stream in place, and the new sine goes on where the old one was handed to
// the server, without a jump of phase (silence between is allowed).
TEST_F(PipeWireBackendTest, AnEngineStreamRestartedInPlaceGoesOnWithoutAPhaseJump)
{
    const auto engine = startEngine("loop2_source", "loop2_sink");
    GeneratorSettings &g = Generator();
    g = GeneratorSettings{};
    g.Loop = false;
    g.LevelL = g.LevelR = -6;
    const double f1 = 1000.0, f2 = 1500.0;
    const double a = std::pow(10.0, -6 / 20.0), w = 2 * std::numbers::pi / 48000;
    audiotest::CardEngine cards; // only its capture helper: the engine runs already
    std::vector<double> left, right;
    bool changed = false;
    long broken = 0;
    // A glitch of a busy machine's graph (an xrun) breaks a sine too: up to three runs.
    for (int run = 0; run < 3 && !(broken == -1 && changed); ++run) {
        ASSERT_EQ(StartOutput(g, -1.0, static_cast<float>(f1)), 0);
        cards.capture(4800, left, right);
        QTimer::singleShot(250, [&] { EXPECT_EQ(StartOutput(g, -1.0, static_cast<float>(f2)), 0); });
        cards.capture(32768, left, right);
        StopOutput();
        broken = audiotest::SineBreak(left, a, w * f1, w * f2, changed);
    }
    EXPECT_EQ(broken, -1);
    EXPECT_TRUE(changed) << "the new frequency did not come";
}

// The engine runs a capture and a stream on a loopback that goes away
// mid-run (its client is killed): both end with the device-lost error, and
// the node, asked for again, is an error, never another device.
TEST_F(PipeWireBackendTest, ANodeRemovedMidRunEndsTheEnginesRunWithDeviceLost)
{
    struct Loopback { // in a process of its own, killed mid-run
        pid_t pid = pwserver::Spawn({"pw-loopback", "--capture-props={ node.name = gone_sink media.class = Audio/Sink }",
                                     "--playback-props={ node.name = gone_source media.class = Audio/Source }"});
        void end() { if (pid > 0) { kill(pid, SIGKILL); pwserver::Wait(pid); pid = -1; } }
        ~Loopback() { end(); }
    } loop;
    ASSERT_GT(loop.pid, 0);
    ASSERT_TRUE(alsatest::WaitFor([&] { backend->refresh(); return in("gone_source") >= 0 && out("gone_sink") >= 0; }));
    const auto engine = startEngine("gone_source", "gone_sink");
    GeneratorSettings &g = Generator();
    g = GeneratorSettings{};
    g.Loop = false;
    ASSERT_EQ(StartOutput(g, -1.0, 1000.0f), 0);

    int outputFailure = 0;
    QObject receiver; // the connection ends with the test
    QObject::connect(&OutputEvents::instance(), &OutputEvents::failed, &receiver,
                     [&](int code) { outputFailure = code; });

    int calls = 0;
    ASSERT_EQ(StartCapture(32768, 0, [&] { ++calls; }), 0);
    QTimer::singleShot(300, [&] { loop.end(); });
    EXPECT_TRUE(alsatest::WaitFor([&] { return calls > 0 && outputFailure != 0; }, 8000));
    int count = 0, over = 0;
    std::uint32_t user = 0;
    EXPECT_EQ(FinishCapture(count, over, user), nullptr);
    EXPECT_EQ(AudioStatus(), DEVICE_LOST);
    EXPECT_EQ(outputFailure, DEVICE_LOST);
    EXPECT_FALSE(OutputRunning());
    StopOutput();
    EXPECT_EQ(StartCapture(4800, 0, [] {}), PIPEWIRE_NODE_NOT_FOUND);
    EXPECT_NE(ErrorText(PIPEWIRE_NODE_NOT_FOUND).find("not available"), std::string::npos);
}

// The loudest channel volume of a node as the server reports it; -1 when
// it tells none.
double DumpedVolume(const QString &name)
{
    int rc = -1;
    const std::string json = pwserver::Run({"pw-dump"}, rc);
    for (const QJsonValue v : QJsonDocument::fromJson(QByteArray::fromStdString(json)).array()) {
        const QJsonObject info = v.toObject()["info"].toObject();
        if (info["props"].toObject()["node.name"].toString() != name)
            continue;
        for (const QJsonValue p : info["params"].toObject()["Props"].toArray()) {
            const QJsonArray volumes = p.toObject()["channelVolumes"].toArray();
            double loudest = -1;
            for (const QJsonValue c : volumes)
                loudest = std::max(loudest, c.toDouble());
            if (!volumes.isEmpty())
                return loudest;
        }
    }
    return -1;
}

// The recording side of the mixer is the source node's own volume, on the
// cubic scale of the desktop's controls: 65535 * cbrt(volume). A sink's
// volume is the desktop's and is never offered.
TEST_F(PipeWireBackendTest, TheMixerOfASourceIsTheNodesOwnVolume)
{
    EXPECT_EQ(backend->openMixer(false, out("loop_sink")), nullptr);
    std::unique_ptr<MixerDevice> mixer = backend->openMixer(true, in("loop_source"));
    ASSERT_NE(mixer, nullptr);
    MixerLine line;
    ASSERT_EQ(mixer->lineInfoBySource(0, 0, line), MMSYSERR_NOERROR);
    std::vector<MixerControlRecord> controls;
    ASSERT_EQ(mixer->lineControls(line.lineId, controls), MMSYSERR_NOERROR);
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].controlType, MIXERCONTROL_CONTROLTYPE_VOLUME);

    std::vector<std::uint32_t> was;
    ASSERT_EQ(mixer->getValues(controls[0].controlId, was), MMSYSERR_NOERROR);
    ASSERT_EQ(was.size(), 1u);
    // Half the scale is an eighth of the linear volume (0.125, -18.06 dB).
    ASSERT_EQ(mixer->setValues(controls[0].controlId, {32768}), MMSYSERR_NOERROR);
    ASSERT_TRUE(alsatest::WaitFor([&] { return std::abs(DumpedVolume("loop_source") - 0.125) < 1e-3; }, 3000))
        << "the server reports " << DumpedVolume("loop_source");
    std::vector<std::uint32_t> now;
    ASSERT_EQ(mixer->getValues(controls[0].controlId, now), MMSYSERR_NOERROR);
    EXPECT_NEAR(double(now.at(0)), 32768.0, 1.0);
    // Back to what it was.
    ASSERT_EQ(mixer->setValues(controls[0].controlId, was), MMSYSERR_NOERROR);
    const double restored = std::pow(was[0] / 65535.0, 3.0);
    EXPECT_TRUE(alsatest::WaitFor([&] { return std::abs(DumpedVolume("loop_source") - restored) < 1e-3; }, 3000));
}

// The server dies under a capture and a stream; started again with other
// node ids, the node is found by its name.
TEST_F(PipeWireBackendTest, AServerKilledMidRunEndsTheStreamsAndTheNodeNameOutlivesTheRestart)
{
    struct Again { ~Again() { if (!pwserver::ServerRuns()) pwserver::Restart(); } } again;
    const std::string name = backend->deviceName(true, in("loop2_source"));
    const std::string stored = backend->storedName(true, in("loop2_source"));
    EXPECT_EQ(stored, "loop2_source");
    const Dumped before = DumpNode("loop2_source");
    play(out("loop2_sink"), 48000, 16);
    startCapture(in("loop2_source"), 48000, 16, 10 * 48000);
    alsatest::Pump(300);
    ASSERT_EQ(kill(pwserver::ServerPid(), SIGKILL), 0);

    ASSERT_TRUE(alsatest::WaitFor([&] { return !sink.headers.empty(); }, 6000)) << "the capture hangs";
    EXPECT_EQ(sink.codes[0], static_cast<std::uintptr_t>(DEVICE_LOST));
    EXPECT_LT(header.dwBytesRecorded, header.dwBufferLength);
    EXPECT_EQ(device->reset(), 0) << "the failure went out with the completion";
    EXPECT_EQ(device->start(), DEVICE_LOST);
    EXPECT_EQ(device->unprepareHeader(header), 0);
    EXPECT_EQ(device->close(), 0);
    WaveOutDevice *o = player->out.get();
    ASSERT_TRUE(alsatest::WaitFor([&] { return o->unprepareHeader(player->header[0]) == 0 && o->unprepareHeader(player->header[1]) == 0; }));
    player->refillsLeft = 0;
    ASSERT_EQ(o->prepareHeader(player->header[0]), 0);
    EXPECT_EQ(o->write(player->header[0]), DEVICE_LOST);
    EXPECT_EQ(o->reset(), DEVICE_LOST);
    EXPECT_EQ(o->reset(), 0);
    EXPECT_EQ(o->close(), 0);
    player.reset();

    ASSERT_TRUE(pwserver::Restart({"05-shift-ids.conf"}));
    backend->refresh();
    const int index = in("loop2_source");
    ASSERT_GE(index, 0);
    EXPECT_EQ(backend->deviceName(true, index), name);
    EXPECT_EQ(backend->findStored(true, stored), index) << "the name the settings keep";
    const Dumped after = DumpNode("loop2_source");
    EXPECT_NE(after.id, before.id) << "the restart was to give the node another id";
    // The session manager takes the new server's nodes in at its own pace,
    // which a loaded machine can stretch beyond what one opening waits for.
    ASSERT_TRUE(alsatest::WaitFor([&] {
        std::unique_ptr<WaveInDevice> probe;
        if (backend->openInput(index, Format(48000, 16), {&sink}, probe) != 0)
            return false;
        probe->close();
        return true;
    }, 20000)) << "the session manager never linked a capture to the restarted server";
    record(index, 48000, 16, 4800);
    EXPECT_EQ(status(true).nodeId, after.id);
    EXPECT_TRUE(pwserver::Restart()); // as the other tests know it
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return pwserver::RunAllOrSkip();
}
