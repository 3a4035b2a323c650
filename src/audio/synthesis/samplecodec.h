// Device sample encodings and their conversion to and from floating point.
//
// Devices carry interleaved stereo PCM in one of three encodings, chosen by
// wBitsPerSample: 8 (unsigned, 128 = zero), 16 (signed) and 32 (signed, a
// 24-bit sample in the upper bits of a 32-bit container). Playback and
// capture use different scale factors on purpose: playback scales by the
// largest positive code (so +1.0 never wraps), capture divides by the
// magnitude of the most negative code (so -full scale reads exactly -1.0).
// Every conversion rounds to the nearest integer with ties to even, as the
// FPU does by default, and clips at the ends of the encoding.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace audio {

// Playback scale factors: device sample = round(scale * x).
constexpr double kEncodeScale8 = 127.0;
constexpr double kEncodeScale16 = 32767.0;
constexpr double kEncodeScale24 = 2147483392.0; // 0x7FFFFF00: 24-bit full scale in the upper bits
// Capture scale factors: value = sample / scale.
constexpr double kDecodeScale8 = 128.0;
constexpr double kDecodeScale16 = 32768.0;
constexpr double kDecodeScale24 = 2147483647.0;

// Rounds to the nearest integer, ties to even, and clips to [lo, hi].
// NaN becomes 0 so that a broken value never turns into undefined behaviour.
inline double RoundClip(double v, double lo, double hi) noexcept
{
    if (!(v == v))
        return 0.0;
    v = std::nearbyint(v);
    return v < lo ? lo : (v > hi ? hi : v);
}

// ---- playback: value x (full scale +-1.0) to device sample ----------------

inline std::uint8_t EncodeSample8(double x) noexcept
{
    return static_cast<std::uint8_t>(RoundClip(kEncodeScale8 * x, -128.0, 127.0) + 128.0);
}

inline std::int16_t EncodeSample16(double x) noexcept
{
    return static_cast<std::int16_t>(RoundClip(kEncodeScale16 * x, -32768.0, 32767.0));
}

inline std::int32_t EncodeSample24(double x) noexcept
{
    return static_cast<std::int32_t>(RoundClip(kEncodeScale24 * x, -2147483648.0, 2147483647.0));
}

// ---- capture: device sample to value -----------------------------------------

inline double DecodeSample8(std::uint8_t s) noexcept { return (static_cast<int>(s) - 128) / kDecodeScale8; }
inline double DecodeSample16(std::int16_t s) noexcept { return s / kDecodeScale16; }
inline double DecodeSample24(std::int32_t s) noexcept { return s / kDecodeScale24; }

// A captured sample at the limit of its encoding counts as an overload. The
// 24-bit positive full scale of playback (0x7FFFFF00) is below the limit, so
// a full-scale sine played back does not read as clipped.
inline bool IsOverload8(std::uint8_t s) noexcept { return s == 0 || s == 255; }
inline bool IsOverload16(std::int16_t s) noexcept { return s == -32768 || s == 32767; }
inline bool IsOverload24(std::int32_t s) noexcept { return s <= -2147483647 || s == 2147483647; }

// Bytes of one sample in a buffer for wBitsPerSample 8, 16 or 32 (else 0).
inline int BytesPerSample(int bits) noexcept { return bits == 8 ? 1 : bits == 16 ? 2 : bits == 32 ? 4 : 0; }

// Sample i of a little-endian buffer as its signed code (an 8-bit sample
// less 128); 0 for other encodings. Buffers from the engine are aligned, but
// memcpy keeps this safe for any address.
inline std::int32_t RawSample(const char *data, int bits, long long i) noexcept
{
    switch (bits) {
    case 8:
        return static_cast<std::uint8_t>(data[i]) - 128;
    case 16: {
        std::int16_t s;
        std::memcpy(&s, data + 2 * i, 2);
        return s;
    }
    case 32: {
        std::int32_t s;
        std::memcpy(&s, data + 4 * i, 4);
        return s;
    }
    default:
        return 0;
    }
}

// Sample i of a buffer, decoded to a value as captured.
inline double ReadSample(const char *data, int bits, long long i) noexcept
{
    return RawSample(data, bits, i) / (bits == 8 ? kDecodeScale8 : bits == 16 ? kDecodeScale16 : kDecodeScale24);
}

// Writes value x as sample i of a buffer in the given encoding.
inline void WriteSample(char *data, int bits, long long i, double x) noexcept
{
    switch (bits) {
    case 8:
        data[i] = static_cast<char>(EncodeSample8(x));
        break;
    case 16: {
        std::int16_t s = EncodeSample16(x);
        std::memcpy(data + 2 * i, &s, 2);
        break;
    }
    case 32: {
        std::int32_t s = EncodeSample24(x);
        std::memcpy(data + 4 * i, &s, 4);
        break;
    }
    default:
        break;
    }
}

} // namespace audio
