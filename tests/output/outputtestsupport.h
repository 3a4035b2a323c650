// Helpers for the output tests: an engine on the ideal, unpaced virtual
// loopback card, captures of what the card's output played, and measurements
// of the captured signal against independent references.
#pragma once

#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/setupsoundinterface.h"
#include "audio/tdummy.h"
#include "platform/messages.h"
#include "platform/utilities.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

namespace outtest {

inline bool WaitFor(const std::function<bool()> &ready, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!ready() && t.elapsed() < ms)
        platform::DelayMs(1);
    return ready();
}

// The engine on one ideal virtual card (device 0 both ways), unpaced, with
// stream buffers of `streamBytes` bytes and both devices at `rate`/`bits`.
class CardEngine {
public:
    void start(const std::string &dir, int rate = 48000, int bits = 16, int streamBytes = 16384,
               std::vector<std::pair<int, int>> formats = {})
    {
        platform::SetSettingsFileName(dir + "/sonmain.ini");
        testsupport::WriteFile(dir + "/sonmain.ini",
                               "[SDSOUND]\nSINWAVERAM2=" + std::to_string(streamBytes) + "\n");
        audio::VirtualCardConfig config = audio::VirtualCardConfig::Ideal(false);
        config.formats = std::move(formats);
        audio::SetupSoundInterface(config, false);
        window_ = std::make_unique<audio::Tdummy>();
        ASSERT_EQ(audio::InitAudio(), 0);
        int in, out;
        std::uint32_t mask;
        audio::DeviceReport(in, out, mask);
        audio::SelectInputDevice(0);
        audio::SelectOutputDevice(0);
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
        audio::StopOutput();
        if (audio::AudioInitialised())
            audio::DoneAudio();
        window_.reset();
        audio::SoundInterface::instance().setBackends({});
        platform::SetSettingsFileName("");
    }

    // One capture of `frames` frames; left and right in device order.
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

// Amplitude of the component at `freq` Hz (one bin of a naive DFT).
inline double AmplitudeAt(const std::vector<double> &x, double freq, double rate)
{
    double re = 0, im = 0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double w = 2.0 * std::numbers::pi * freq * static_cast<double>(n) / rate;
        re += x[n] * std::cos(w);
        im += x[n] * std::sin(w);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(x.size());
}

inline double Db(double amplitude) { return 20.0 * std::log10(amplitude); }

inline double Peak(const std::vector<double> &x, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    double p = 0;
    for (std::size_t i = from; i < x.size() && i < to; ++i)
        p = std::max(p, std::abs(x[i]));
    return p;
}

} // namespace outtest
