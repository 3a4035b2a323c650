// Helpers for the ALSA backend tests: a window stand-in that collects posted
// input completions, an event-pumping wait, formats and sample patterns.
#pragma once

#include "audio/soundinterface.h"
#include "platform/messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QObject>
#include <QThread>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace alsatest {

// Receives MM_WIM_DATA like the engine's hidden window and keeps the headers
// in arrival order.
class CompletionSink : public QObject {
public:
    std::vector<audio::WaveHeader *> headers;
    std::vector<std::uintptr_t> codes; // wParam: 0, or the failure that ended the capture

    bool event(QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e)) {
            if (m->msg == platform::MM_WIM_DATA) {
                headers.push_back(reinterpret_cast<audio::WaveHeader *>(m->lParam));
                codes.push_back(m->wParam);
            }
            return true;
        }
        return QObject::event(e);
    }
};

// Dispatches events until `done` holds or `timeoutMs` passed. Returns `done()`.
inline bool WaitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    }
    return true;
}

// Lets posted events arrive for `ms` milliseconds.
inline void Pump(int ms)
{
    WaitFor([] { return false; }, ms);
}

inline audio::WaveFormat Format(std::uint32_t rate, int bits, int channels = 2)
{
    audio::WaveFormat f;
    f.wFormatTag = 1;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = static_cast<std::uint16_t>(bits);
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    f.cbSize = 0;
    return f;
}

// Deterministic pseudo-random 64-bit value of an index (splitmix64).
inline std::uint64_t Hash(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Bytes of a pattern that differs at every position: byte i of stream `seed`.
inline std::vector<char> PatternBytes(std::size_t n, std::uint64_t seed)
{
    std::vector<char> v(n);
    for (std::size_t i = 0; i < n; i += 8) {
        std::uint64_t h = Hash(seed * 0x100000000ull + i / 8);
        for (std::size_t k = 0; k < 8 && i + k < n; ++k)
            v[i + k] = static_cast<char>((h >> (8 * k)) & 0xFF);
    }
    return v;
}

// Where the project's shared test kit lives ("" when it cannot be found).
inline std::string TestKitDir()
{
    const char *src = std::getenv("SONALYX_SOURCE_DIR");
    std::string base = src ? src : ".";
    std::string dir = base + "/../shared/testkit";
    return QFileInfo::exists(QString::fromStdString(dir + "/README.md")) ? dir : std::string();
}

} // namespace alsatest
