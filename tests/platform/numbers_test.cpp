// Number text with a decimal point whatever the locale, against printf's
// forms written out by hand. The suite runs this under de_DE.UTF-8 as well,
// where the C library itself writes a comma.
#include "platform/numbers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

using platform::FormatNumber;

TEST(Numbers, PrintfFormsWithAFullStopWhateverTheLocale)
{
    char c[8];
    std::snprintf(c, sizeof c, "%.1f", 2.5);
    if (const char *all = std::getenv("LC_ALL"); all && std::strncmp(all, "de_DE", 5) == 0) {
        EXPECT_STREQ(c, "2,5"); // the run under German settings really has them
    }
    EXPECT_EQ(FormatNumber(-1.005, 'f', 2), "-1.00"); // -1.00499999999999989...
    EXPECT_EQ(FormatNumber(2.5, 'f', 3, 8), "   2.500");
    EXPECT_EQ(FormatNumber(1.0, 'E', 14), "1.00000000000000E+00");
    EXPECT_EQ(FormatNumber(0.000125, 'e', 2), "1.25e-04");
    EXPECT_EQ(FormatNumber(12000.0, 'g', 12), "12000");
    EXPECT_EQ(FormatNumber(-1e300, 'f', 1).size(), 304u); // sign, 301 digits, point, decimal
    EXPECT_EQ(platform::FormatShortest(-6.4f), "-6.4");
    double v = 0.0;
    EXPECT_TRUE(platform::ParseFloat("+2.5e1", v) && v == 25.0);
    for (const char *bad : {"2,5", "inf", "+-1", "1e400", "."})
        EXPECT_FALSE(platform::ParseFloat(bad, v)) << bad;
}
