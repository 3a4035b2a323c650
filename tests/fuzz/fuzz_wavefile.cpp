// Fuzz target: a user wave file of any content, opened with libsndfile and
// converted as the generator converts it. The first byte picks the output
// format (8, 16 or 32 bits at one of four rates); the rest is the file. A
// file is refused with a reason or gives exactly the frames its length and
// rates call for.
#include "audio/wavefile/wavefileconvert.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void Require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "wave file fuzz: %s\n", what);
        std::abort();
    }
}

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

    // The file in memory, read through a descriptor as from disk.
    const int fd = memfd_create("wave", 0);
    Require(fd >= 0 && write(fd, data + 1, size - 1) == static_cast<ssize_t>(size - 1) && lseek(fd, 0, SEEK_SET) == 0,
            "no memory file");
    SF_INFO info{};
    SNDFILE *f = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!f) {
        close(fd);
        return 0;
    }
    const audio::WaveConversion c = audio::ConvertWaveFile(f, info, bits, rate, kMaxBytes);
    sf_close(f);
    if (c.result != audio::WaveConversion::Result::Converted) {
        Require(!c.reason.empty() && c.frames.empty(), "a refused file without its reason");
        return 0;
    }
    // The last output frame is the last one at or before the file's last frame.
    const double frames = std::floor((info.frames - 1) / (info.samplerate / rate)) + 1;
    Require(c.frames.size() == static_cast<std::size_t>(frames) * 2 * (bits / 8), "converted to the wrong length");
    return 0;
}
