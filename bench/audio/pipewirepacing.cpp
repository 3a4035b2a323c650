// The PipeWire backend against ALSA through the same sound server, in one
// run on a private server (tests/pipewire/server: its default sink loops
// back to its default source): chains of one-block captures as the analyser
// takes them (FFT size + 1/8 frames per block, each completion starting the
// next capture), their pace against real time and the blocks per second
// against the limit the block length sets; and the round trip of a click
// from the frame handed to the output to the frame it comes back in. Prints
// the ratio PipeWire / ALSA of the block rates (the target is 0.98 or more).
// Without a server it prints why and skips.
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/capturecompletions.h"
#include "audio/devices.h"
#include "audio/setupsoundinterface.h"
#include "platform/runtime/messages.h"
#include "platform/runtime/utilities.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace audio;

namespace {

constexpr int kRate = 48000;

std::string Script() { return std::string(SONALYX_SOURCE_DIR) + "/tests/pipewire/server/pipewire-server.sh"; }

// The private server for this run; its reason when it cannot start.
struct Server {
    std::string dir;
    std::string why;
    explicit Server(const std::string &d) : dir(d)
    {
        if (std::system(("sh " + Script() + " up " + dir).c_str()) != 0)
            why = "the server script failed";
        std::ifstream skip(dir + "/skip");
        if (skip)
            std::getline(skip, why), why = why.empty() ? "the PipeWire server did not start" : why;
        setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir + "/run/bus").c_str(), 1);
    }
    ~Server() { std::system(("sh " + Script() + " down " + dir).c_str()); }
};

// The device of a backend family with this stored name; -1 when none.
int Find(const std::string &family, const std::string &stored, bool input)
{
    SoundInterface &si = SoundInterface::instance();
    const int n = input ? si.waveInGetNumDevs() : si.waveOutGetNumDevs();
    for (int i = 0; i < n && i < kMaxDevices; ++i)
        if (si.deviceFamily(i, input) == family && si.storedDeviceName(i, input) == stored)
            return i;
    return -1;
}

struct Chain {
    int frames = 0, left = 0, failures = 0;
    QEventLoop *loop = nullptr;
    void next()
    {
        if (StartCapture(frames, 0, [this] { done(); }) != 0) {
            ++failures;
            loop->quit();
        }
    }
    void done()
    {
        int count, overloads;
        std::uint32_t user;
        if (!FinishCapture(count, overloads, user) || count != 2 * frames)
            ++failures;
        if (--left > 0)
            next();
        else
            loop->quit();
    }
};

// Seconds a chain of `blocks` captures of `frames` frames takes; -1 on errors.
double ChainSeconds(int frames, int blocks)
{
    QEventLoop loop;
    Chain chain{frames, blocks, 0, &loop};
    QElapsedTimer t;
    t.start();
    chain.next();
    QTimer::singleShot(blocks * frames * 1000 / kRate + 10000, &loop, &QEventLoop::quit);
    loop.exec();
    return chain.failures || chain.left ? -1.0 : t.nsecsElapsed() * 1e-9;
}

void Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Round trip in ms, from the moment a click is handed to the output to the
// moment the program has the captured buffer that holds it: a capture runs
// in 1024-frame buffers (21 ms, the server's quantum), and a click lies half
// a second into a buffer written 200 ms after the capture started. The time
// each buffer comes back is noted; a straight line through those times over
// the buffer's last frame (fitted after the first 300 ms, which may bring
// frames a device buffered at open all at once) dates the click's buffer
// free of the event loop's jitter. What is left is the wait for the graph's
// next cycle after the write (up to one quantum) and what the path adds.
// The median of five runs; NaN when the click is not found.
double RoundTripOnceMs(int in, int out)
{
    using Clock = std::chrono::steady_clock;
    constexpr int kBlock = 1024, kBlocks = 72; // 1.5 s
    SoundInterface &si = SoundInterface::instance();
    WaveFormat f;
    f.nChannels = 2;
    f.nSamplesPerSec = kRate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 4 * kRate;
    struct Target : QObject {
        std::vector<Clock::time_point> at;
        bool event(QEvent *e) override
        {
            if (platform::AsWindowMessage(e))
                at.push_back(Clock::now());
            return true;
        }
    } target;
    target.at.reserve(kBlocks);
    std::vector<std::int16_t> captured(2 * kBlock * kBlocks, 0), played(2 * kRate, 0);
    const int clickAt = 24 * kBlock; // half a second, at the start of a quantum
    played[2 * clickAt] = played[2 * clickAt + 1] = 16000;
    std::vector<WaveHeader> ih(kBlocks);
    WaveHeader oh;
    oh.lpData = reinterpret_cast<char *>(played.data());
    oh.dwBufferLength = static_cast<std::uint32_t>(played.size() * 2);
    std::unique_ptr<WaveInDevice> input;
    std::unique_ptr<WaveOutDevice> output;
    if (si.waveInOpen(in, f, {&target}, input) || si.waveOutOpen(out, f, nullptr, output))
        return std::nan("");
    for (int i = 0; i < kBlocks; ++i) {
        ih[i].lpData = reinterpret_cast<char *>(captured.data() + 2 * kBlock * i);
        ih[i].dwBufferLength = 4 * kBlock;
        input->prepareHeader(ih[i]);
        input->addBuffer(ih[i]);
    }
    output->prepareHeader(oh);
    const Clock::time_point started = Clock::now();
    input->start();
    Pump(200);
    const Clock::time_point written = Clock::now();
    output->write(oh);
    QElapsedTimer waited;
    waited.start();
    while (target.at.size() < std::size_t(kBlocks) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const bool complete = target.at.size() == std::size_t(kBlocks);
    input->reset();
    output->reset();
    for (WaveHeader &h : ih)
        input->unprepareHeader(h);
    output->unprepareHeader(oh);
    input->close();
    output->close();
    std::size_t k = 0;
    while (k < captured.size() / 2 && std::abs(captured[2 * k]) < 8000)
        ++k;
    if (!complete || k == captured.size() / 2)
        return std::nan("");
    // Least squares of the arrival time (s after `started`) over the last frame of each buffer.
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int i = 0; i < kBlocks; ++i) {
        const double x = double(kBlock) * (i + 1) - 1, y = std::chrono::duration<double>(target.at[i] - started).count();
        if (x < 0.3 * kRate)
            continue;
        n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx), intercept = (sy - slope * sx) / n;
    // The program has the click with the buffer that holds it; the click
    // starts a quantum of the written buffer, which the server takes whole
    // at the first cycle after the write and every 1024 frames after it.
    const double heard = intercept + slope * double((k / kBlock + 1) * kBlock - 1);
    const double handed = std::chrono::duration<double>(written - started).count() + double(clickAt) / kRate;
    return (heard - handed) * 1000.0;
}

struct Trip {
    double median = std::nan(""), low = 0, high = 0;
};

Trip RoundTripMs(int in, int out)
{
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i)
        if (const double m = RoundTripOnceMs(in, out); !std::isnan(m))
            ms.push_back(m);
    if (ms.empty())
        return {};
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    // Short: the directory holds the server's sockets.
    Server server("/tmp/sonalyx-pw-bench-" + std::to_string(getpid()));
    if (!server.why.empty()) {
        std::printf("SKIPPED: %s\n", server.why.c_str());
        return 0;
    }
    QCoreApplication app(argc, argv);
    platform::SetSettingsFileName((dir.path() + "/sonmain.ini").toStdString());
    SetupSoundInterface(VirtualCardConfig::Ideal(true), true);
    Tdummy window;
    if (InitAudio() != 0)
        return 1;
    int numIn, numOut;
    std::uint32_t mask;
    DeviceReport(numIn, numOut, mask);
    const int pwIn = Find("PipeWire", "loop_source", true), pwOut = Find("PipeWire", "loop_sink", false);
    const int alsaIn = Find("ALSA", "default", true), alsaOut = Find("ALSA", "default", false);
    if (pwIn < 0 || alsaIn < 0 || pwOut < 0 || alsaOut < 0) {
        std::printf("SKIPPED: the server's loopback is not listed by both backends (PipeWire %d/%d, ALSA %d/%d)\n",
                    pwIn, pwOut, alsaIn, alsaOut);
        DoneAudio();
        return 0;
    }

    std::printf("%-9s %6s %7s %7s %10s %10s %8s %11s\n", "backend", "fft", "frames", "blocks", "nominal_s",
                "actual_s", "pace", "blocks/s");
    bool ok = true;
    double worstRatio = 1e9;
    for (const int n : {4096, 16384}) {
        const int frames = n + n / 8;
        const int blocks = std::max(8, 3 * kRate / frames); // about three seconds
        double rate[2] = {0, 0};
        for (int b = 0; b < 2; ++b) {
            SelectInputDevice(b == 0 ? alsaIn : pwIn);
            SetRates(kRate, kRate);
            SetBits(16, 16);
            ChainSeconds(frames, 2); // opens and parks the stream first, as a running analyser has it
            const double s = ChainSeconds(frames, blocks);
            const double nominal = double(blocks) * frames / kRate;
            rate[b] = s > 0 ? blocks / s : 0.0;
            ok = ok && s > 0;
            std::printf("%-9s %6d %7d %7d %10.4f %10.4f %8.4f %11.3f%s\n", b == 0 ? "ALSA" : "PipeWire", n, frames,
                        blocks, nominal, s, s > 0 ? s / nominal : 0.0, rate[b], s > 0 ? "" : "  (capture errors)");
        }
        const double ratio = rate[0] > 0 ? rate[1] / rate[0] : 0.0;
        worstRatio = std::min(worstRatio, ratio);
        std::printf("block rate PipeWire / ALSA at %d points: %.4f (limit %.3f blocks/s)\n", n, ratio,
                    double(kRate) / frames);
    }
    const Trip alsaTrip = RoundTripMs(alsaIn, alsaOut), pwTrip = RoundTripMs(pwIn, pwOut);
    // Where in the server's 21 ms cycle a write falls decides much of it:
    // the spread of the five runs is printed with the median.
    std::printf("round trip, click handed to the output to its captured buffer in the program (median of 5, range): "
                "ALSA %.1f ms (%.1f..%.1f), PipeWire %.1f ms (%.1f..%.1f)\n",
                alsaTrip.median, alsaTrip.low, alsaTrip.high, pwTrip.median, pwTrip.low, pwTrip.high);
    std::printf("worst block-rate ratio PipeWire / ALSA: %.4f (target >= 0.98)\n", worstRatio);
    DoneAudio();
    SoundInterface::instance().setBackends({}); // its streams end before the server does
    return ok && !std::isnan(alsaTrip.median) && !std::isnan(pwTrip.median) ? 0 : 2;
}
