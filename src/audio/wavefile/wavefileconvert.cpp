// User wave files to device frames: a chunked reader over libsndfile and the
// conversion with its length limit.
#include "audio/wavefile/wavefileconvert.h"

#include "audio/synthesis/samplecodec.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace audio {

namespace {

// Reads a file front to back in chunks and hands out the first two
// channels of any frame at or after the last one asked for, so a file of
// any length is converted without holding all of it as doubles. A chunk
// holds a fixed number of samples, so a file of many channels costs no more.
class FrameReader {
public:
    FrameReader(SNDFILE *file, int channels)
        : file_(file), channels_(channels), chunk_(std::max<sf_count_t>(1, kChunkSamples / channels))
    {
    }

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
            buf_.resize(static_cast<std::size_t>((chunk_ + keep) * channels_));
            const sf_count_t got = sf_readf_double(file_, buf_.data() + keep * channels_, chunk_);
            if (got < 0)
                return false;
            count_ = keep + got;
            buf_.resize(static_cast<std::size_t>(count_ * channels_));
            ended_ = got < chunk_;
        }
        if (count_ == 0)
            return false;
        k = std::clamp<sf_count_t>(k - start_, 0, count_ - 1);
        v = buf_[static_cast<std::size_t>(k * channels_ + std::min(c, channels_ - 1))];
        return true;
    }

private:
    static constexpr sf_count_t kChunkSamples = 131072;
    SNDFILE *file_;
    int channels_;
    sf_count_t chunk_; // frames per read
    std::vector<double> buf_;
    sf_count_t start_ = 0, count_ = 0;
    bool ended_ = false;
};

WaveConversion Refused(WaveConversion::Result result, std::string reason)
{
    WaveConversion c;
    c.result = result;
    c.reason = std::move(reason);
    return c;
}

} // namespace

WaveConversion ConvertWaveFile(SNDFILE *file, const SF_INFO &info, int bits, double rate, std::size_t maxBytes)
{
    using Result = WaveConversion::Result;
    if (info.frames <= 0 || info.channels < 1 || info.samplerate <= 0)
        return Refused(Result::Unreadable, "no samples");
    const int frameBytes = 2 * BytesPerSample(bits);
    if (frameBytes == 0 || !(rate > 0))
        return Refused(Result::Unreadable, "the output device has no usable format");
    const double step = info.samplerate / rate; // file frames per output frame
    const double outFrames = std::floor(static_cast<double>(info.frames - 1) / step) + 1.0;
    if (outFrames * frameBytes > static_cast<double>(maxBytes))
        return Refused(Result::TooLong, "too long to hold in memory");

    WaveConversion c;
    try {
        c.frames.resize(static_cast<std::size_t>(outFrames) * static_cast<std::size_t>(frameBytes));
    } catch (const std::bad_alloc &) {
        return Refused(Result::TooLong, "too long to hold in memory");
    }
    FrameReader reader(file, info.channels);
    char *out = c.frames.data();
    const auto frames = static_cast<long long>(outFrames);
    for (long long j = 0; j < frames; ++j) {
        const double pos = j * step;
        const auto k = static_cast<sf_count_t>(pos);
        const double frac = pos - static_cast<double>(k);
        for (int ch = 0; ch < 2; ++ch) {
            double v = 0.0, next = 0.0;
            if (!reader.sample(k, ch, v) || (frac > 0.0 && !reader.sample(k + 1, ch, next)))
                return Refused(Result::Unreadable, sf_strerror(file));
            if (frac > 0.0)
                v += frac * (next - v);
            WriteSample(out, bits, 2 * j + ch, v);
        }
    }
    c.result = Result::Converted;
    return c;
}

} // namespace audio
