// Device sample encodings at every resolution: playback full scale, clipping
// at the ends of each encoding, ties to even; capture scales and overloads.
// Each case goes through the buffer accessors at sample index 1.
#include "audio/synthesis/samplecodec.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

using namespace audio;

TEST(SampleEncode, FullScaleClippingAndTiesToEvenAtEveryResolution)
{
    const double h16 = 1.0 / 32767.0, h24 = 0.5 / 2147483392.0; // ties below are exact in double
    struct Case {
        int bits; // 32: 24-bit samples in 32-bit containers
        double x;
        long long want;
    } cases[] = {
        {8, 1.0, 255}, {8, -1.0, 1}, {8, 0.0, 128}, {8, 1.5, 255}, {8, -1.5, 0},
        {8, 2.5 / 127.0, 130}, {8, -2.5 / 127.0, 126},
        {16, 1.0, 32767}, {16, -1.0, -32767}, {16, 0.0, 0}, {16, 3.0, 32767}, {16, -3.0, -32768},
        {16, std::nan(""), 0}, {16, INFINITY, 32767}, {16, 0.5 * h16, 0}, {16, 1.5 * h16, 2},
        {16, 2.5 * h16, 2}, {16, -1.5 * h16, -2}, {16, 100.5 * h16, 100}, {16, 2.6 * h16, 3}, {16, 2.4 * h16, 2},
        {32, 1.0, 2147483392}, {32, -1.0, -2147483392}, {32, 0.5, 1073741696}, {32, 2.0, INT_MAX},
        {32, -2.0, INT_MIN}, {32, h24, 0}, {32, 3 * h24, 2}, {32, 5 * h24, 2}, {32, -5 * h24, -2},
    };
    for (const Case &c : cases) {
        const long long got = c.bits == 8 ? EncodeSample8(c.x) : c.bits == 16 ? EncodeSample16(c.x) : EncodeSample24(c.x);
        EXPECT_EQ(got, c.want) << c.bits << " bits, x = " << c.x;
        char buf[12] = {};
        const int n = BytesPerSample(c.bits);
        WriteSample(buf, c.bits, 1, c.x);
        EXPECT_EQ(std::memcmp(buf + n, &c.want, n), 0) << c.bits << " bits, x = " << c.x; // little-endian
    }
    EXPECT_EQ(BytesPerSample(24), 0); // 24-bit data only travels in 32-bit containers
}

TEST(SampleDecode, CaptureScalesAndOverloadsAtEveryResolution)
{
    struct Case {
        int bits;
        long long sample;
        double value;
        bool overload;
    } cases[] = {
        {8, 128, 0.0, false}, {8, 0, -1.0, true}, {8, 255, 127.0 / 128.0, true}, {8, 1, -127.0 / 128.0, false},
        {8, 254, 126.0 / 128.0, false},
        {16, 0, 0.0, false}, {16, -32768, -1.0, true}, {16, 32767, 32767.0 / 32768.0, true},
        {16, -32767, -32767.0 / 32768.0, false},
        // the 24-bit playback full scale is no overload; the container's ends are
        {32, 2147483392, 2147483392.0 / 2147483647.0, false}, {32, -2147483392, -2147483392.0 / 2147483647.0, false},
        {32, INT_MAX, 1.0, true}, {32, -2147483647, -1.0, true}, {32, INT_MIN, INT_MIN / 2147483647.0, true},
    };
    for (const Case &c : cases) {
        char buf[12] = {};
        std::memcpy(buf + BytesPerSample(c.bits), &c.sample, BytesPerSample(c.bits));
        EXPECT_EQ(ReadSample(buf, c.bits, 1), c.value) << c.bits << " bits, sample " << c.sample;
        const bool over = c.bits == 8    ? IsOverload8(static_cast<std::uint8_t>(c.sample))
                          : c.bits == 16 ? IsOverload16(static_cast<std::int16_t>(c.sample))
                                         : IsOverload24(static_cast<std::int32_t>(c.sample));
        EXPECT_EQ(over, c.overload) << c.bits << " bits, sample " << c.sample;
    }
}
