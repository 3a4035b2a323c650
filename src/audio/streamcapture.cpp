// Gap-free capture over many blocks (see streamcapture.h).
#include "audio/streamcapture.h"

#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/enginestate.h"
#include "audio/soundinterface.h"
#include "audio/synthesis/samplecodec.h"

#include "platform/runtime/messages.h"

#include <QCoreApplication>
#include <cstring>

namespace audio {

StreamCapture::StreamCapture(QObject *parent) : QObject(parent)
{
    watchdog_.setSingleShot(true);
    connect(&watchdog_, &QTimer::timeout, this, [this] { fail(DEVICE_LOST); });
}

StreamCapture::~StreamCapture() { Stop(); }

int StreamCapture::Start(int framesPerBuffer, int buffers, BlockCallback onBlock)
{
    Stop();
    error_ = 0;
    frames_ = 0;
    if (framesPerBuffer < 64 || framesPerBuffer > kMaxCaptureFrames || buffers < 2 || buffers > 64)
        return MMSYSERR_INVALPARAM;
    if (CaptureOpen())
        return MMSYSERR_ALLOCATED;
    EngineState &s = State();
    WaveDeviceSettings &dev = s.input[s.currentInput];
    const int bits = dev.Format.wBitsPerSample;
    const int bps = BytesPerSample(bits);
    if (bps == 0)
        return WAVERR_BADFORMAT;
    SetDeviceFormat(dev, std::string(), static_cast<int>(dev.Format.nSamplesPerSec), false, 0, 0);
    const WaveFormat format = dev.Format;
    if (format.nChannels != 2 || format.nBlockAlign != 2 * bps)
        return WAVERR_BADFORMAT;
    SoundInterface &si = SoundInterface::instance();
    if (const int rc = si.waveInQuery(s.currentInput, format))
        return rc;

    bits_ = bits;
    framesPerBuffer_ = framesPerBuffer;
    dc_[0] = dev.DCOffsetL;
    dc_[1] = dev.DCOffsetR;
    // The first sample of a device frame takes the right sign, the second the left.
    sign_[0] = dev.PhaseSignR;
    sign_[1] = dev.PhaseSignL;
    flipMask_ = dev.FlipChannels ? 0 : 1;
    const std::size_t bytes = static_cast<std::size_t>(format.nBlockAlign) * static_cast<std::size_t>(framesPerBuffer);
    data_.assign(bytes * static_cast<std::size_t>(buffers), 0);
    block_.assign(2 * static_cast<std::size_t>(framesPerBuffer), 0.0f);
    headers_.clear();
    for (int i = 0; i < buffers; ++i) {
        auto h = std::make_unique<WaveHeader>();
        h->lpData = data_.data() + bytes * static_cast<std::size_t>(i);
        h->dwBufferLength = static_cast<std::uint32_t>(bytes);
        h->dwLoops = 1;
        headers_.push_back(std::move(h));
    }
    const int rate = static_cast<int>(format.nSamplesPerSec);
    watchdogMs_ = (rate > 0 ? static_cast<int>(1000LL * framesPerBuffer / rate) : 1000) + 3000;
    onBlock_ = std::move(onBlock);

    std::unique_ptr<WaveInDevice> device;
    int rc = si.waveInOpen(s.currentInput, format, InputTarget{this}, device);
    if (rc != 0)
        return rc;
    for (auto &h : headers_) {
        rc = device->prepareHeader(*h);
        if (rc == 0)
            rc = device->addBuffer(*h);
        if (rc != 0)
            break;
    }
    if (rc == 0)
        rc = device->start();
    if (rc != 0) {
        device->reset();
        for (auto &h : headers_)
            device->unprepareHeader(*h);
        device->close();
        QCoreApplication::removePostedEvents(this, platform::WindowMessageEvent::eventType());
        return rc;
    }
    device_ = std::move(device);
    watchdog_.start(watchdogMs_);
    return 0;
}

void StreamCapture::Stop()
{
    watchdog_.stop();
    if (device_) {
        std::unique_ptr<WaveInDevice> device = std::move(device_);
        device->reset();
        for (auto &h : headers_)
            device->unprepareHeader(*h);
        device->close();
        // Destroying the device releases it even when close failed.
    }
    // Buffers that reset returned come back as posted messages: drop them.
    QCoreApplication::removePostedEvents(this, platform::WindowMessageEvent::eventType());
}

int StreamCapture::StartTime(StreamStart &start) const
{
    if (!device_) {
        start = StreamStart{};
        return MMSYSERR_NOTSUPPORTED;
    }
    return device_->startTime(start);
}

void StreamCapture::fail(int error)
{
    if (error_ == 0)
        error_ = error;
    Stop();
}

bool StreamCapture::event(QEvent *e)
{
    if (const platform::WindowMessageEvent *m = platform::AsWindowMessage(e)) {
        if (m->msg == platform::MM_WIM_DATA) {
            take(reinterpret_cast<WaveHeader *>(m->lParam), static_cast<int>(m->wParam));
            return true;
        }
    }
    return QObject::event(e);
}

void StreamCapture::take(WaveHeader *header, int error)
{
    if (!device_ || error_ != 0)
        return; // stopped: a late completion
    if (error != 0) {
        fail(error);
        return;
    }
    // A buffer that comes back short was returned by the device without
    // being filled: the stream has a gap, which a measurement cannot use.
    if (header->dwBytesRecorded < header->dwBufferLength) {
        fail(DEVICE_LOST);
        return;
    }
    const long long n = 2LL * framesPerBuffer_;
    const char *data = header->lpData;
    float *block = block_.data();
    const int over = DecodeCaptureBlock(data, bits_, n, dc_, sign_, flipMask_, block);
    frames_ += framesPerBuffer_;
    watchdog_.start(watchdogMs_);
    // Queued again before the caller runs, so the device never starves.
    header->dwBytesRecorded = 0;
    if (const int rc = device_->addBuffer(*header)) {
        fail(rc);
        return;
    }
    if (onBlock_)
        onBlock_(block, framesPerBuffer_, over);
}

} // namespace audio
