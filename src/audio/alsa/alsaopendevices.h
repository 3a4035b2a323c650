// The PCMs this process holds open through the ALSA backend. A card's hw
// device that we are playing on refuses a second open (busy); enumeration and
// format queries ask here so that our own open device keeps its place in the
// device list instead of vanishing while it is in use.
#pragma once

#include <alsa/asoundlib.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace audio::alsa {

class OpenDevices {
public:
    void add(snd_pcm_stream_t stream, const std::string &pcm)
    {
        std::lock_guard lock(mutex_);
        ++count_[{stream, pcm}];
    }
    void remove(snd_pcm_stream_t stream, const std::string &pcm)
    {
        std::lock_guard lock(mutex_);
        auto it = count_.find({stream, pcm});
        if (it != count_.end() && --it->second <= 0)
            count_.erase(it);
    }
    bool contains(snd_pcm_stream_t stream, const std::string &pcm) const
    {
        std::lock_guard lock(mutex_);
        return count_.count({stream, pcm}) != 0;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::pair<snd_pcm_stream_t, std::string>, int> count_;
};

} // namespace audio::alsa
