#include "measurement/impulsewave.h"

#include "audio/wavefile/floatwave.h"

#include <algorithm>
#include <vector>

namespace measure {

bool EncodeImpulseWave(const dsp::LogSweepResult &r, std::string &bytes, std::int64_t &frames, std::string &error)
{
    const int channels = r.ChannelCount;
    std::size_t longest = 0;
    for (int c = 0; c < channels; ++c)
        longest = std::max(longest, r.Channels[static_cast<std::size_t>(c)].Impulse.size());
    if (channels < 1 || longest == 0 || !(r.Rate > 0.0)) {
        error = "there is no impulse response";
        return false;
    }
    std::vector<float> interleaved(longest * static_cast<std::size_t>(channels), 0.0f);
    for (int c = 0; c < channels; ++c) {
        const std::vector<double> &h = r.Channels[static_cast<std::size_t>(c)].Impulse;
        for (std::size_t i = 0; i < h.size(); ++i)
            interleaved[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = static_cast<float>(h[i]);
    }
    frames = static_cast<std::int64_t>(longest);
    return audio::EncodeFloatWave(interleaved.data(), longest, channels, static_cast<int>(r.Rate), bytes, error);
}

} // namespace measure
