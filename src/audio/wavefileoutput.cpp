#include "audio/wavefileoutput.h"

#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "audio/samplecodec.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace audio {

namespace {

int Refuse(const std::string &fileName, const std::string &reason)
{
    AppendAudioLog("Wave file " + fileName + ": " + reason);
    SetAudioStatus(MMSYSERR_ERROR);
    return MMSYSERR_ERROR;
}

struct SndFileCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};

} // namespace

int StartWaveFileOutput(const std::string &fileName)
{
    StopOutput();
    char *out = LoopData();
    if (!out) {
        SetAudioStatus(MMSYSERR_NOMEM);
        return MMSYSERR_NOMEM;
    }
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

    const long long maxFrames = kLoopFillLimit / frameBytes;
    long long outFrames = static_cast<long long>(std::floor((info.frames - 1) / step)) + 1;
    if (outFrames > maxFrames) {
        AppendAudioLog("Wave file " + fileName + " is longer than the loop buffer: the first " +
                       std::to_string(maxFrames) + " frames are played");
        outFrames = maxFrames;
    }
    if (fileRate != rate)
        AppendAudioLog("Wave file " + fileName + " resampled from " + std::to_string(info.samplerate) + " Hz to " +
                       std::to_string(format.nSamplesPerSec) + " Hz");

    // Only the part that is played is read (one frame more for interpolation).
    const sf_count_t want =
        std::min<sf_count_t>(info.frames, static_cast<sf_count_t>(std::ceil((outFrames - 1) * step)) + 2);
    std::vector<double> in(static_cast<std::size_t>(want) * static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_double(file.get(), in.data(), want);
    if (got <= 0)
        return Refuse(fileName, sf_strerror(file.get()));
    const int ch = info.channels;
    auto sample = [&](sf_count_t frame, int channel) {
        frame = std::clamp<sf_count_t>(frame, 0, got - 1);
        return in[static_cast<std::size_t>(frame * ch + std::min(channel, ch - 1))];
    };
    outFrames = std::min<long long>(outFrames, static_cast<long long>(std::floor((got - 1) / step)) + 1);

    for (long long j = 0; j < outFrames; ++j) {
        const double pos = j * step;
        const sf_count_t k = static_cast<sf_count_t>(pos);
        const double frac = pos - static_cast<double>(k);
        for (int c = 0; c < 2; ++c) {
            double v = sample(k, c);
            if (frac > 0.0)
                v += frac * (sample(k + 1, c) - v);
            WriteSample(out, bits, 2 * j + c, v);
        }
    }
    return StartLoopBufferOutput(static_cast<std::uint32_t>(outFrames * frameBytes));
}

} // namespace audio
