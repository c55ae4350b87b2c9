// The exact single-precision steps, the checks that turn a stored fault into a run-time error, and
// the dimensioning of the arrays.
#include "core/exact.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstdint>
#include <limits>

#include "core/state.h"
#include "support/systems.h"

namespace varnex {
namespace {

using test::error_of;

TEST(Exact, ProductAndSumRoundOnceFromDouble) {
    // (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24. A product rounded to float first would lose the 2^-24 (a tie
    // that goes to the even neighbour); evaluated in double it survives the sum.
    const float a = 1.0f + 0x1p-12f, c = 1.0f + 0x1p-11f;
    EXPECT_EQ(mul_add(a, a, -c), 0x1p-24f);
    // A product beyond the float range is still exact in double; the sum brings it back.
    EXPECT_EQ(mul_add(FLT_MAX, 2.0f, -FLT_MAX), FLT_MAX);
}

TEST(Exact, StoredFaultsRaiseDivisionByZeroOrOverflow) {
    using enum ErrorKind;
    auto quot_error = [](float a, float b) { return error_of([&] { check_quot(quot(a, b), a, b); }); };
    EXPECT_EQ(quot_error(1, 0), DivisionByZero);
    EXPECT_EQ(quot_error(-1, -0.0f), DivisionByZero);
    EXPECT_EQ(quot_error(0, 0), Overflow);
    EXPECT_EQ(quot_error(FLT_MAX, 0.5f), Overflow);
    EXPECT_EQ(quot_error(std::numeric_limits<float>::quiet_NaN(), 0), Overflow);
    EXPECT_EQ(quot_error(6, 3), std::nullopt);
    EXPECT_EQ(quot_error(FLT_MIN, FLT_MAX), std::nullopt);  // a quotient that underflows to 0 is no fault
    EXPECT_EQ(error_of([] { check(mul_add(FLT_MAX, 2.0f, 0.0f)); }), Overflow);
}

TEST(Exact, IndexArithmeticStaysWithinSixteenAndThirtyTwoBits) {
    EXPECT_EQ(int16_or_overflow(32767), 32767);
    EXPECT_EQ(int16_or_overflow(-32768), -32768);
    EXPECT_EQ(error_of([] { int16_or_overflow(32768); }), ErrorKind::Overflow);
    EXPECT_EQ(error_of([] { int16_or_overflow(-32769); }), ErrorKind::Overflow);
    EXPECT_EQ(error_of([] { int32_or_overflow(static_cast<long long>(INT32_MAX) + 1); }), ErrorKind::Overflow);
}

TEST(Dimensioning, ColumnContiguousClearedOrKept) {
    // A(i,j) lives at col(j)[i]; dimensioning anew clears every element.
    SquareMatrix m;
    m.dim(3);
    m(2, 1) = 5;
    EXPECT_EQ(m.col(1)[2], 5.0f);
    m.dim(2);
    EXPECT_EQ(m(2, 1), 0.0f);

    // Resizing with dim_keep keeps 1..min(old, new) and fills new elements with 0.
    std::vector<float> v{0, 1, 2, 3};
    dim_keep(v, 5);
    EXPECT_EQ(v, (std::vector<float>{0, 1, 2, 3, 0, 0}));
    dim_keep(v, 2);
    EXPECT_EQ(v, (std::vector<float>{0, 1, 2}));
}

TEST(Dimensioning, AbsurdSizesAreOutOfMemoryNotACrash) {
    // Far beyond this machine's memory and, for INT_MAX, beyond any byte count.
    for (int n : {1 << 30, INT_MAX}) EXPECT_EQ(error_of([n] { SquareMatrix().dim(n); }), ErrorKind::OutOfMemory) << n;
}

}  // namespace
}  // namespace varnex
