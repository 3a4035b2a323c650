#include "audio/wavefileoutput.h"

#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "audio/samplecodec.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace audio {

namespace {

int Refuse(const std::string &fileName, const std::string &reason, int code = MMSYSERR_ERROR)
{
    AppendAudioLog("Wave file " + fileName + ": " + reason);
    SetAudioStatus(code);
    return code;
}

struct SndFileCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};

// Reads a file front to back in chunks and hands out the first two
// channels of any frame at or after the last one asked for, so a file of
// any length is converted without holding all of it as doubles.
class FrameReader {
public:
    FrameReader(SNDFILE *file, int channels) : file_(file), channels_(channels) {}

    // Channel `c` (0 or 1; mono gives its one channel to both) of frame k;
    // frames past the end repeat the last one. False on a read error.
    bool sample(sf_count_t k, int c, double &v)
    {
        while (k >= start_ + count_ && !ended_) {
            // Keep the last frame: interpolation looks one back.
            const sf_count_t keep = count_ > 0 ? 1 : 0;
            if (keep)
                std::copy_n(buf_.end() - channels_, channels_, buf_.begin());
            start_ += count_ - keep;
            buf_.resize(static_cast<std::size_t>((kChunk + keep) * channels_));
            const sf_count_t got = sf_readf_double(file_, buf_.data() + keep * channels_, kChunk);
            if (got < 0)
                return false;
            count_ = keep + got;
            buf_.resize(static_cast<std::size_t>(count_ * channels_));
            ended_ = got < kChunk;
        }
        if (count_ == 0)
            return false;
        k = std::clamp<sf_count_t>(k - start_, 0, count_ - 1);
        v = buf_[static_cast<std::size_t>(k * channels_ + std::min(c, channels_ - 1))];
        return true;
    }

private:
    static constexpr sf_count_t kChunk = 65536;
    SNDFILE *file_;
    int channels_;
    std::vector<double> buf_;
    sf_count_t start_ = 0, count_ = 0;
    bool ended_ = false;
};

} // namespace

int StartWaveFileOutput(const std::string &fileName)
{
    StopOutput();
    if (fileName.empty())
        return Refuse(fileName, "no file chosen");

    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(fileName.c_str(), SFM_READ, &info));
    if (!file)
        return Refuse(fileName, sf_strerror(nullptr));
    if (info.frames <= 0 || info.channels < 1 || info.samplerate <= 0)
        return Refuse(fileName, "no samples");

    const WaveFormat format = OutputFormat();
    const int bits = format.wBitsPerSample;
    const int frameBytes = 2 * BytesPerSample(bits);
    const double rate = format.nSamplesPerSec;
    if (frameBytes == 0 || rate <= 0)
        return Refuse(fileName, "the output device has no usable format");
    const double fileRate = info.samplerate;
    const double step = fileRate / rate; // file frames per output frame
    const long long outFrames = static_cast<long long>(std::floor((info.frames - 1) / step)) + 1;
    if (fileRate != rate)
        AppendAudioLog("Wave file " + fileName + " resampled from " + std::to_string(info.samplerate) + " Hz to " +
                       std::to_string(format.nSamplesPerSec) + " Hz");

    auto encoded = std::make_shared<std::vector<char>>();
    try {
        encoded->resize(static_cast<std::size_t>(outFrames) * static_cast<std::size_t>(frameBytes));
    } catch (const std::bad_alloc &) {
        return Refuse(fileName, "too long to hold in memory", MMSYSERR_NOMEM);
    }
    FrameReader reader(file.get(), info.channels);
    char *out = encoded->data();
    for (long long j = 0; j < outFrames; ++j) {
        const double pos = j * step;
        const auto k = static_cast<sf_count_t>(pos);
        const double frac = pos - static_cast<double>(k);
        for (int c = 0; c < 2; ++c) {
            double v = 0.0, next = 0.0;
            if (!reader.sample(k, c, v) || (frac > 0.0 && !reader.sample(k + 1, c, next)))
                return Refuse(fileName, sf_strerror(file.get()));
            if (frac > 0.0)
                v += frac * (next - v);
            WriteSample(out, bits, static_cast<std::uint32_t>(2 * j + c), v);
        }
    }
    return StartEncodedStream(std::move(encoded));
}

} // namespace audio
