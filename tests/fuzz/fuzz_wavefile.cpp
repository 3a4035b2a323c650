// Fuzz target: a user wave file of any content, opened with libsndfile from
// memory and converted as the generator converts it. The first byte picks
// the output format (8, 16 or 32 bits at one of four rates); the rest is the
// file. A file is refused with a reason or gives exactly the frames its
// length and rates call for.
#include "audio/wavefileconvert.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "wave file fuzz: %s\n", what);
        std::abort();
    }
}

// A file in memory for libsndfile's virtual I/O.
struct Memory {
    const unsigned char *data;
    sf_count_t size, pos = 0;
};

sf_count_t Length(void *m) { return static_cast<Memory *>(m)->size; }

sf_count_t Seek(sf_count_t offset, int whence, void *m)
{
    Memory &f = *static_cast<Memory *>(m);
    const sf_count_t base = whence == SEEK_CUR ? f.pos : whence == SEEK_END ? f.size : 0;
    if (offset < -base || offset > f.size - base)
        return -1;
    f.pos = base + offset;
    return f.pos;
}

sf_count_t Read(void *dst, sf_count_t count, void *m)
{
    Memory &f = *static_cast<Memory *>(m);
    const sf_count_t n = count < f.size - f.pos ? count : f.size - f.pos;
    if (n <= 0)
        return 0;
    std::memcpy(dst, f.data + f.pos, static_cast<std::size_t>(n));
    f.pos += n;
    return n;
}

sf_count_t Write(const void *, sf_count_t, void *) { return 0; }
sf_count_t Tell(void *m) { return static_cast<Memory *>(m)->pos; }

// Converted files beyond this are refused, so each run stays small.
constexpr std::size_t kMaxBytes = std::size_t(16) << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const int kBits[3] = {8, 16, 32};
    static const double kRates[4] = {8000, 44100, 48000, 192000};
    const int bits = kBits[data[0] % 3];
    const double rate = kRates[(data[0] / 3) % 4];

    Memory file{data + 1, static_cast<sf_count_t>(size - 1)};
    SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
    SF_INFO info{};
    SNDFILE *f = sf_open_virtual(&io, SFM_READ, &info, &file);
    if (!f)
        return 0;
    const audio::WaveConversion c = audio::ConvertWaveFile(f, info, bits, rate, kMaxBytes);
    sf_close(f);
    using Result = audio::WaveConversion::Result;
    if (c.result != Result::Converted) {
        Require(!c.reason.empty() && c.frames.empty(), "a refused file without its reason");
        return 0;
    }
    // The last output frame is the last one at or before the file's last frame.
    const double step = info.samplerate / rate;
    const double frames = std::floor((info.frames - 1) / step) + 1;
    Require(c.frames.size() == static_cast<std::size_t>(frames) * 2 * (bits / 8), "converted to the wrong length");
    Require(c.frames.size() <= kMaxBytes, "converted beyond the limit");
    return 0;
}
