// Number formats of assembled text.
#include "core/format.h"

#include <gtest/gtest.h>

TEST(NumberFormat, FloatsHaveSixDecimalsAndNoExponent)
{
    EXPECT_EQ(formatFloat(0.025f), "0.025000");
    EXPECT_EQ(formatFloat(-208.84f), "-208.839996"); // nearest float is -208.839996337890625
    EXPECT_EQ(formatFloat(64.0f), "64.000000");
    EXPECT_EQ(formatFloat(1e-7f), "0.000000");
    EXPECT_EQ(formatFloat(1000000.0f), "1000000.000000");
    EXPECT_EQ(formatFloat(-0.5f), "-0.500000");
    EXPECT_EQ(formatFloat(1e20f), "100000002004087734272.000000");
}

TEST(NumberFormat, UnsignedIsPlainDigits)
{
    EXPECT_EQ(formatUint(3254), "3254");
    EXPECT_EQ(formatUint(0), "0");
    EXPECT_EQ(formatUint(4294967295u), "4294967295");
}
