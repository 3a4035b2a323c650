// Number text with a decimal point whatever the locale: printf's forms
// against hand-written texts. The suite runs this under de_DE.UTF-8 as well,
// where the C library's own printf writes a decimal comma.
#include "platform/numbers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

using platform::FormatNumber;

TEST(Numbers, PrintfFormsWithAFullStopWhateverTheLocale)
{
    // Under German settings the C library really writes a comma here, so
    // what follows is tested where it matters.
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", 2.5);
    const char *all = std::getenv("LC_ALL");
    if (all && std::strncmp(all, "de_DE", 5) == 0)
        EXPECT_STREQ(buffer, "2,5");

    EXPECT_EQ(FormatNumber(100.0, 'f', 2), "100.00");
    EXPECT_EQ(FormatNumber(-1.005, 'f', 2), "-1.00"); // -1.00499999999999989...
    EXPECT_EQ(FormatNumber(2.5, 'f', 3, 8), "   2.500");
    EXPECT_EQ(FormatNumber(-2.5, 'f', 0), "-2"); // halves to even, as printf
    EXPECT_EQ(FormatNumber(1.0, 'E', 14), "1.00000000000000E+00");
    EXPECT_EQ(FormatNumber(0.000125, 'e', 2), "1.25e-04");
    EXPECT_EQ(FormatNumber(12000.0, 'g', 12), "12000");
    EXPECT_EQ(FormatNumber(0.1, 'g', 12), "0.1");
    EXPECT_EQ(FormatNumber(1.5e-7, 'G', 3), "1.5E-07");
    EXPECT_EQ(FormatNumber(-1e300, 'f', 1).size(), 304u); // sign, 301 digits, point, one decimal
    EXPECT_EQ(FormatNumber(1.0 / 0.0, 'f', 2), "inf");
    EXPECT_EQ(platform::FormatShortest(-6.4f), "-6.4");
    EXPECT_EQ(platform::FormatShortest(1000.1f), "1000.1");

    double v = 0.0;
    EXPECT_TRUE(platform::ParseFloat("+2.5e1", v));
    EXPECT_EQ(v, 25.0);
    for (const char *bad : {"2,5", "inf", "0x10", "+-1", "1e400", "."})
        EXPECT_FALSE(platform::ParseFloat(bad, v)) << bad;
    long long i = 0;
    EXPECT_TRUE(platform::ParseInt("+7", i));
    EXPECT_EQ(i, 7);
    EXPECT_FALSE(platform::ParseInt("1.000", i));
}
