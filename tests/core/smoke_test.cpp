#include <gtest/gtest.h>

#include "core/exact.h"

namespace varnex {

TEST(Exact, SixteenBitIndexArithmeticOverflows) {
    EXPECT_EQ(i16(32767), 32767);
    EXPECT_THROW(i16(32768), RunError);
    EXPECT_THROW(i16(-32769), RunError);
}

}  // namespace varnex
