// Helpers for the audio engine, ALSA and output tests: a settings file of the
// test's own, an event-pumping wait, a window stand-in that collects input
// completions, stereo formats, the engine on virtual loopback cards, and
// measurements of captured signals against a naive DFT.
#pragma once

#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "audio/setupsoundinterface.h"
#include "audio/capturecompletions.h"
#include "platform/inifile.h"
#include "platform/runtime/messages.h"
#include "platform/runtime/utilities.h"
#include "support/spectrumref.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace audiotest {

// A scratch directory holding the program's settings file for one fixture.
struct SettingsScratch {
    std::string dir, file;
    explicit SettingsScratch(const std::string &name) : dir(testsupport::ScratchDir(name)), file(dir + "/sonmain.ini")
    {
        platform::SetSettingsFileName(file);
    }
    ~SettingsScratch() { platform::SetSettingsFileName(""); }
    void write(const std::string &text) const { testsupport::WriteFile(file, text); }
    std::string get(const std::string &section, const std::string &key) const
    {
        return platform::GetPrivateProfileString(section, key, "<missing>", 255, file);
    }
};

// Delivers posted messages until `ready` holds or `ms` passed; returns `ready()`.
inline bool WaitFor(const std::function<bool()> &ready, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!ready() && t.elapsed() < ms)
        platform::DelayMs(1);
    return ready();
}

// Receives MM_WIM_DATA like the engine's hidden window, in arrival order.
class CompletionSink : public QObject {
public:
    std::vector<audio::WaveHeader *> headers;
    std::vector<std::uintptr_t> codes; // 0, or the failure that ended the capture

    bool event(QEvent *e) override
    {
        const auto *m = platform::AsWindowMessage(e);
        if (!m || m->msg != platform::MM_WIM_DATA)
            return QObject::event(e);
        headers.push_back(reinterpret_cast<audio::WaveHeader *>(m->lParam));
        codes.push_back(m->wParam);
        return true;
    }
};

inline audio::WaveFormat Format(std::uint32_t rate, int bits, int channels = 2)
{
    audio::WaveFormat f;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = static_cast<std::uint16_t>(bits);
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    return f;
}

// A buffer with its header, pre-filled with a sentinel byte.
struct Buffer {
    std::vector<char> data;
    audio::WaveHeader header;
    explicit Buffer(std::size_t bytes, char fill = '\x5A') : data(bytes, fill)
    {
        header.lpData = data.data();
        header.dwBufferLength = static_cast<std::uint32_t>(bytes);
    }
};

// Stream playback as the engine runs it: two buffers, each unprepared,
// refilled by `fill`, prepared and written again from the completion callback
// while refills are left. Notes when completions came and on which thread.
class RefillPlayer {
    std::function<void(audio::WaveHeader &)> fill_;
    std::vector<char> data_[2];
    std::thread::id startingThread_ = std::this_thread::get_id();

public:
    static constexpr int kMaxTimes = 256;
    std::atomic<int> refillsLeft{INT_MAX}, callbacks{0};
    std::atomic<bool> calledOnStartingThread{false};
    std::array<std::chrono::steady_clock::time_point, kMaxTimes> times{};
    audio::WaveHeader header[2];
    std::unique_ptr<audio::WaveOutDevice> out; // last: closed before the buffers go

    RefillPlayer(std::uint32_t bytes, std::function<void(audio::WaveHeader &)> fill) : fill_(std::move(fill))
    {
        for (int i = 0; i < 2; ++i) {
            data_[i].assign(bytes, 0);
            header[i].lpData = data_[i].data();
            header[i].dwBufferLength = bytes;
        }
    }
    // Opens output `index` of `backend`, queues both buffers paused, and restarts if asked.
    int start(audio::SoundBackend &backend, const audio::WaveFormat &f, bool restart = true, int index = 0)
    {
        if (int r = backend.openOutput(index, f, [this](audio::WaveHeader *h) { done(*h); }, out))
            return r;
        if (int r = out->pause())
            return r;
        for (audio::WaveHeader &h : header) {
            fill_(h);
            int r = out->prepareHeader(h);
            if (r || (r = out->write(h)))
                return r;
        }
        return restart ? out->restart() : 0;
    }

private:
    void done(audio::WaveHeader &h)
    {
        if (const int c = callbacks; c < kMaxTimes)
            times[static_cast<std::size_t>(c)] = std::chrono::steady_clock::now();
        if (std::this_thread::get_id() == startingThread_)
            calledOnStartingThread = true;
        if (refillsLeft-- > 0) {
            out->unprepareHeader(h);
            fill_(h);
            out->prepareHeader(h);
            out->write(h);
        }
        ++callbacks;
    }
};

// The engine on virtual loopback cards, device 0 both ways.
class CardEngine {
public:
    // `alsa`: the ALSA devices come first, the virtual cards after them.
    void start(const audio::VirtualCardConfig &config, bool alsa = false)
    {
        audio::SetupSoundInterface(config, alsa);
        window_ = std::make_unique<audio::Tdummy>();
        ASSERT_EQ(audio::InitAudio(), 0);
        int in, out;
        std::uint32_t mask;
        audio::DeviceReport(in, out, mask);
        audio::SelectInputDevice(0);
        audio::SelectOutputDevice(0);
    }
    // One ideal card taking `formats` (empty: all), unpaced unless asked,
    // stream buffers of `streamBytes`, both devices at `rate`/`bits`.
    void start(int rate, int bits, int streamBytes = 16384, std::vector<std::pair<int, int>> formats = {},
               bool paced = false)
    {
        testsupport::WriteFile(platform::SettingsFileName(), "[SDSOUND]\nSINWAVERAM2=" + std::to_string(streamBytes) + "\n");
        audio::VirtualCardConfig config = audio::VirtualCardConfig::Ideal(paced);
        config.formats = std::move(formats);
        start(config);
        setFormat(rate, bits);
        audio::AudioLog().clear();
    }
    void setFormat(int rate, int bits)
    {
        audio::SetDeviceFormat(audio::InputSettings(0), "", rate, false, bits, 2);
        audio::SetDeviceFormat(audio::OutputSettings(0), "", rate, false, bits, 2);
    }
    void stop()
    {
        if (audio::AudioInitialised())
            audio::DoneAudio();
        window_.reset();
        audio::SoundInterface::instance().setBackends({});
    }
    // One engine capture of `frames` frames; left and right in device order.
    void capture(int frames, std::vector<double> &left, std::vector<double> &right)
    {
        int calls = 0;
        ASSERT_EQ(audio::StartCapture(frames, 0, [&] { ++calls; }), 0);
        ASSERT_TRUE(WaitFor([&] { return calls > 0; }));
        int count = 0, over = 0;
        std::uint32_t user = 0;
        const float *v = audio::FinishCapture(count, over, user);
        ASSERT_NE(v, nullptr);
        ASSERT_EQ(count, 2 * frames);
        left.assign(frames, 0.0);
        right.assign(frames, 0.0);
        for (int j = 0; j < frames; ++j) {
            left[j] = v[2 * j + 1];
            right[j] = v[2 * j];
        }
    }

private:
    std::unique_ptr<audio::Tdummy> window_;
};

using testsupport::Db;

// Amplitude of the sine at `freq` Hz in x.
inline double AmplitudeAt(const std::vector<double> &x, double freq, double rate)
{
    return 2.0 * std::abs(testsupport::DftAt(x.data(), x.size(), freq, rate)) / static_cast<double>(x.size());
}

// Whether x[n+1] continues a sine of amplitude a through x[n-1], x[n] when
// the phase advanced by wa from n-1 to n and by wb from n to n+1.
inline bool Continues(double xm, double x0, double xp, double a, double wa, double wb, double tol)
{
    const double s = x0 / a;
    const double c = (s * std::cos(wa) - xm / a) / std::sin(wa);
    return std::abs(a * (s * std::cos(wb) + c * std::sin(wb)) - xp) < tol;
}

// A sine of amplitude a that steps by w1 and, from some frame on, by w2:
// the first frame (after removing runs of two or more exact zeros, the
// silence of a restart) where it does not go on, or -1; `changed` tells
// whether the w2 part came.
inline long SineBreak(const std::vector<double> &x, double a, double w1, double w2, bool &changed)
{
    std::vector<double> heard;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const bool silent =
            x[n] == 0.0 && ((n > 0 && x[n - 1] == 0.0) || (n + 1 < x.size() && x[n + 1] == 0.0));
        if (!silent)
            heard.push_back(x[n]);
    }
    changed = false;
    for (std::size_t n = 1; n + 1 < heard.size(); ++n) {
        const bool old = Continues(heard[n - 1], heard[n], heard[n + 1], a, w1, w1, 3e-3);
        const bool boundary = Continues(heard[n - 1], heard[n], heard[n + 1], a, w1, w2, 3e-3);
        const bool fresh = Continues(heard[n - 1], heard[n], heard[n + 1], a, w2, w2, 3e-3);
        if (!(old || boundary || fresh))
            return static_cast<long>(n);
        changed = changed || (fresh && !old);
    }
    return -1;
}

inline double Peak(const std::vector<double> &x)
{
    double p = 0;
    for (double v : x)
        p = std::max(p, std::abs(v));
    return p;
}

} // namespace audiotest
