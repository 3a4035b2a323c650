// A scripted sound backend for the engine tests: named devices with given
// capabilities, input devices that deliver prepared bytes, and failures that
// can be switched on for the next open, prepare, add, start or close.
#pragma once

#include "audio/soundinterface.h"
#include "platform/runtime/messages.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fake {

using namespace audio;

struct Script {
    std::vector<char> data; // bytes the next capture delivers
    int failOpen = 0, failPrepare = 0, failAdd = 0, failStart = 0, failClose = 0, failReset = 0; // one-shot
    enum class Completion { OnStart, Never, LostHalfway } completion = Completion::OnStart;
    int opens = 0, resets = 0;
    bool open = false;
    WaveFormat lastFormat;
};

inline int TakeOnce(int &rc) { return std::exchange(rc, 0); }

class FakeInput : public WaveInDevice {
public:
    FakeInput(Script &s, QObject *target) : s_(s), target_(target) {}
    ~FakeInput() override { s_.open = false; }
    int prepareHeader(WaveHeader &h) override
    {
        if (int rc = TakeOnce(s_.failPrepare))
            return rc;
        return PrepareHeader(h);
    }
    int unprepareHeader(WaveHeader &h) override { return UnprepareHeader(h); }
    int addBuffer(WaveHeader &h) override
    {
        if (int rc = TakeOnce(s_.failAdd))
            return rc;
        if (int rc = CheckQueueable(h))
            return rc;
        MarkQueued(h);
        h.dwBytesRecorded = 0;
        header_ = &h;
        return 0;
    }
    int start() override
    {
        if (int rc = TakeOnce(s_.failStart))
            return rc;
        if (!header_ || s_.completion == Script::Completion::Never)
            return 0;
        std::uint32_t n = std::min<std::uint32_t>(header_->dwBufferLength, static_cast<std::uint32_t>(s_.data.size()));
        const bool lost = s_.completion == Script::Completion::LostHalfway;
        if (lost)
            n /= 2;
        std::memcpy(header_->lpData, s_.data.data(), n);
        header_->dwBytesRecorded = n;
        complete(lost ? DEVICE_LOST : 0);
        return 0;
    }
    int reset() override
    {
        ++s_.resets;
        if (int rc = TakeOnce(s_.failReset))
            return rc;
        if (header_)
            complete(0);
        return 0;
    }
    int close() override
    {
        if (int rc = TakeOnce(s_.failClose))
            return rc;
        if (header_)
            return WAVERR_STILLPLAYING;
        s_.open = false;
        return 0;
    }

private:
    void complete(int error)
    {
        MarkDone(*header_);
        platform::PostMessage(target_, platform::MM_WIM_DATA, static_cast<std::uintptr_t>(error),
                              reinterpret_cast<std::intptr_t>(header_));
        header_ = nullptr;
    }

    Script &s_;
    QObject *target_;
    WaveHeader *header_ = nullptr;
};

// Output devices: one-shot failures, and buffers that play only when the
// test says so (the callback then runs on the test's thread).
struct OutScript {
    int failOpen = 0, failPrepare = 0, failWrite = 0, failReset = 0, failClose = 0; // one-shot
    bool open = false;
    class FakeOutput *device = nullptr;
};

class FakeOutput : public WaveOutDevice {
public:
    FakeOutput(OutScript &s, OutputCallback cb) : s_(s), cb_(std::move(cb)) { s_.device = this; }
    ~FakeOutput() override
    {
        s_.open = false;
        s_.device = nullptr;
    }
    int pause() override { return 0; }
    int restart() override { return 0; }
    int prepareHeader(WaveHeader &h) override
    {
        if (int rc = TakeOnce(s_.failPrepare))
            return rc;
        return PrepareHeader(h);
    }
    int unprepareHeader(WaveHeader &h) override { return UnprepareHeader(h); }
    int write(WaveHeader &h) override
    {
        if (int rc = TakeOnce(s_.failWrite))
            return rc;
        if (int rc = CheckQueueable(h))
            return rc;
        MarkQueued(h);
        queue_.push_back(&h);
        return 0;
    }
    int reset() override
    {
        if (int rc = TakeOnce(s_.failReset))
            return rc;
        while (!queue_.empty())
            playOne();
        return 0;
    }
    int close() override
    {
        if (int rc = TakeOnce(s_.failClose))
            return rc;
        return queue_.empty() ? 0 : WAVERR_STILLPLAYING;
    }
    // The front buffer has played: it goes back through the callback.
    void playOne()
    {
        WaveHeader *h = queue_.front();
        queue_.erase(queue_.begin());
        MarkDone(*h);
        if (cb_)
            cb_(h);
    }

private:
    OutScript &s_;
    OutputCallback cb_;
    std::vector<WaveHeader *> queue_;
};

struct Device {
    std::string name;
    std::uint32_t formats = WAVE_FORMAT_4S16;
    std::uint16_t channels = 2;
    std::uint16_t reserved = 0;
    std::uint32_t support = 0;
    int capsError = 0;
};

class FakeBackend : public SoundBackend {
public:
    std::vector<Device> inputs, outputs;
    bool virtualCards = false;
    Script script;      // shared by all input devices
    OutScript out;      // shared by all output devices
    int acceptBits = 0; // 0: every format; else only this wBitsPerSample

    int inputCount() override { return static_cast<int>(inputs.size()); }
    int outputCount() override { return static_cast<int>(outputs.size()); }
    int inputCaps(int i, WaveInCaps &c) override
    {
        const Device &d = inputs.at(i);
        if (d.capsError)
            return d.capsError;
        c.name = d.name;
        c.formats = d.formats;
        c.channels = d.channels;
        c.reserved1 = d.reserved;
        return 0;
    }
    int outputCaps(int i, WaveOutCaps &c) override
    {
        const Device &d = outputs.at(i);
        if (d.capsError)
            return d.capsError;
        c.name = d.name;
        c.formats = d.formats;
        c.channels = d.channels;
        c.support = d.support;
        return 0;
    }
    int queryInput(int, const WaveFormat &f) override { return accepts(f) ? 0 : WAVERR_BADFORMAT; }
    int queryOutput(int, const WaveFormat &f) override { return accepts(f) ? 0 : WAVERR_BADFORMAT; }
    int openInput(int, const WaveFormat &f, InputTarget t, std::unique_ptr<WaveInDevice> &dev) override
    {
        if (int rc = TakeOnce(script.failOpen))
            return rc;
        if (script.open)
            return MMSYSERR_ALLOCATED;
        ++script.opens;
        script.open = true;
        script.lastFormat = f;
        dev = std::make_unique<FakeInput>(script, t.window);
        return 0;
    }
    int openOutput(int, const WaveFormat &f, OutputCallback cb, std::unique_ptr<WaveOutDevice> &dev) override
    {
        if (int rc = TakeOnce(out.failOpen))
            return rc;
        if (out.open || !accepts(f))
            return out.open ? MMSYSERR_ALLOCATED : WAVERR_BADFORMAT;
        out.open = true;
        dev = std::make_unique<FakeOutput>(out, std::move(cb));
        return 0;
    }
    std::string errorText(int code) override { return code == 777 ? "fake failure" : std::string(); }
    bool isVirtual() const override { return virtualCards; }

private:
    bool accepts(const WaveFormat &f) const { return acceptBits == 0 || f.wBitsPerSample == acceptBits; }
};

// Installs a fresh backend with input devices "In i" and output devices "Out i".
inline std::shared_ptr<FakeBackend> Install(int nIn, int nOut)
{
    auto b = std::make_shared<FakeBackend>();
    for (int i = 0; i < nIn; ++i)
        b->inputs.push_back({"In " + std::to_string(i)});
    for (int i = 0; i < nOut; ++i)
        b->outputs.push_back({"Out " + std::to_string(i)});
    SoundInterface::instance().setBackends({b});
    return b;
}

} // namespace fake
