// Device sample encodings: scale factors, rounding ties to even, clipping
// at the ends of each encoding, overload limits.
#include "audio/samplecodec.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

using namespace audio;

TEST(SampleEncode, FullScaleAndZeroAtEachResolution)
{
    EXPECT_EQ(EncodeSample8(1.0), 255);
    EXPECT_EQ(EncodeSample8(-1.0), 1);
    EXPECT_EQ(EncodeSample8(0.0), 128);
    EXPECT_EQ(EncodeSample16(1.0), 32767);
    EXPECT_EQ(EncodeSample16(-1.0), -32767);
    EXPECT_EQ(EncodeSample16(0.0), 0);
    EXPECT_EQ(EncodeSample24(1.0), 2147483392);
    EXPECT_EQ(EncodeSample24(-1.0), -2147483392);
    EXPECT_EQ(EncodeSample24(0.5), 1073741696);
}

TEST(SampleEncode, ClipsAtTheEndsOfTheEncoding)
{
    EXPECT_EQ(EncodeSample8(1.5), 255);
    EXPECT_EQ(EncodeSample8(-1.5), 0);
    EXPECT_EQ(EncodeSample16(3.0), 32767);
    EXPECT_EQ(EncodeSample16(-3.0), -32768);
    EXPECT_EQ(EncodeSample24(2.0), INT_MAX);
    EXPECT_EQ(EncodeSample24(-2.0), INT_MIN);
    EXPECT_EQ(EncodeSample16(std::nan("")), 0);
    EXPECT_EQ(EncodeSample16(INFINITY), 32767);
}

TEST(SampleEncode, TiesRoundToEven)
{
    // Values whose scaled product is exactly k + 0.5 (checked first).
    const double x8 = 2.5 / 128.0 * (128.0 / 127.0);
    ASSERT_EQ(127.0 * x8, 2.5);
    EXPECT_EQ(EncodeSample8(x8), 128 + 2);
    EXPECT_EQ(EncodeSample8(-x8), 128 - 2);
    for (double k : {0.5, 1.5, 2.5, 3.5, -0.5, -1.5, 100.5}) {
        const double x = k / 32767.0;
        if (32767.0 * x != k)
            continue; // not representable exactly; the rule is about exact ties
        EXPECT_EQ(EncodeSample16(x), static_cast<int>(std::nearbyint(k))) << k;
    }
    // 2147483392 = 2^31 - 2^8: x = (2k+1) / 2^32 * 2^31/... keep it exact with powers of two.
    const double x24 = 0.5 / 2147483392.0;
    ASSERT_EQ(2147483392.0 * x24, 0.5);
    EXPECT_EQ(EncodeSample24(x24), 0);
    EXPECT_EQ(EncodeSample24(3.0 * x24), 2);  // 1.5 -> 2
    EXPECT_EQ(EncodeSample24(5.0 * x24), 2);  // 2.5 -> 2
    EXPECT_EQ(EncodeSample24(-5.0 * x24), -2);
    // Just off the tie rounds to the nearer side.
    EXPECT_EQ(EncodeSample16(2.6 / 32767.0), 3);
    EXPECT_EQ(EncodeSample16(2.4 / 32767.0), 2);
}

TEST(SampleDecode, CaptureScalesDifferFromPlayback)
{
    EXPECT_EQ(DecodeSample8(128), 0.0);
    EXPECT_EQ(DecodeSample8(0), -1.0);
    EXPECT_EQ(DecodeSample8(255), 127.0 / 128.0);
    EXPECT_EQ(DecodeSample16(-32768), -1.0);
    EXPECT_EQ(DecodeSample16(32767), 32767.0 / 32768.0);
    EXPECT_EQ(DecodeSample24(INT_MAX), 1.0);
    EXPECT_EQ(DecodeSample24(2147483392), 2147483392.0 / 2147483647.0);
    EXPECT_LT(DecodeSample24(INT_MIN), -1.0);
}

TEST(SampleDecode, OverloadLimits)
{
    EXPECT_TRUE(IsOverload8(0));
    EXPECT_TRUE(IsOverload8(255));
    EXPECT_FALSE(IsOverload8(1));
    EXPECT_FALSE(IsOverload8(254));
    EXPECT_TRUE(IsOverload16(32767));
    EXPECT_TRUE(IsOverload16(-32768));
    EXPECT_FALSE(IsOverload16(-32767));
    // The 24-bit playback full scale is not an overload; the container's ends are.
    EXPECT_FALSE(IsOverload24(2147483392));
    EXPECT_FALSE(IsOverload24(-2147483392));
    EXPECT_TRUE(IsOverload24(INT_MAX));
    EXPECT_TRUE(IsOverload24(-2147483647));
    EXPECT_TRUE(IsOverload24(INT_MIN));
}

TEST(SampleBuffer, WriteAndReadBackThroughTheBuffer)
{
    char buf[16] = {};
    WriteSample(buf, 16, 1, -0.5);
    std::int16_t s;
    std::memcpy(&s, buf + 2, 2);
    EXPECT_EQ(s, -16384); // round(-16383.5) ties to even
    EXPECT_EQ(ReadSample(buf, 16, 1), -0.5);
    WriteSample(buf, 32, 2, 1.0);
    std::int32_t c;
    std::memcpy(&c, buf + 8, 4);
    EXPECT_EQ(c, 2147483392);
    WriteSample(buf, 8, 0, -1.0);
    EXPECT_EQ(static_cast<unsigned char>(buf[0]), 1);
    EXPECT_EQ(ReadSample(buf, 8, 0), -127.0 / 128.0);
    EXPECT_EQ(BytesPerSample(8), 1);
    EXPECT_EQ(BytesPerSample(16), 2);
    EXPECT_EQ(BytesPerSample(32), 4);
    EXPECT_EQ(BytesPerSample(24), 0);
}
