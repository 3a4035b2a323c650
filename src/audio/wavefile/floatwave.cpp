// 32-bit float WAV in memory (see floatwave.h).
#include "audio/wavefile/floatwave.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace audio {

namespace {

// A growing byte buffer as libsndfile's virtual file.
struct Memory {
    std::string *bytes = nullptr;
    sf_count_t at = 0;
};

sf_count_t Length(void *user) { return static_cast<sf_count_t>(static_cast<Memory *>(user)->bytes->size()); }

sf_count_t Seek(sf_count_t offset, int whence, void *user)
{
    Memory &m = *static_cast<Memory *>(user);
    const sf_count_t base = whence == SEEK_CUR ? m.at : whence == SEEK_END ? Length(user) : 0;
    const sf_count_t to = base + offset;
    if (to < 0)
        return -1;
    m.at = to;
    return m.at;
}

sf_count_t Read(void *ptr, sf_count_t count, void *user)
{
    Memory &m = *static_cast<Memory *>(user);
    const sf_count_t size = Length(user);
    const sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - m.at));
    if (n > 0)
        std::memcpy(ptr, m.bytes->data() + m.at, static_cast<std::size_t>(n));
    m.at += n;
    return n;
}

sf_count_t Write(const void *ptr, sf_count_t count, void *user)
{
    Memory &m = *static_cast<Memory *>(user);
    const auto end = static_cast<std::size_t>(m.at + count);
    if (end > m.bytes->size())
        m.bytes->resize(end);
    std::memcpy(m.bytes->data() + m.at, ptr, static_cast<std::size_t>(count));
    m.at += count;
    return count;
}

sf_count_t Tell(void *user) { return static_cast<Memory *>(user)->at; }

struct Closer {
    void operator()(SNDFILE *f) const { sf_close(f); }
};

} // namespace

bool EncodeFloatWave(const float *samples, std::size_t frames, int channels, int rate, std::string &out,
                     std::string &error)
{
    out.clear();
    if (channels < 1 || rate < 1) {
        error = "no channels or no rate";
        return false;
    }
    SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
    Memory memory{&out, 0};
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::unique_ptr<SNDFILE, Closer> file(sf_open_virtual(&io, SFM_WRITE, &info, &memory));
    if (!file) {
        error = sf_strerror(nullptr);
        return false;
    }
    const auto count = static_cast<sf_count_t>(frames);
    if (sf_writef_float(file.get(), samples, count) != count) {
        error = sf_strerror(file.get());
        return false;
    }
    file.reset(); // writes the header's sizes
    return true;
}

} // namespace audio
