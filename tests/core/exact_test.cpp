// The exact single-precision steps, the checks that turn a stored fault into a run-time error, and
// the dimensioning of the arrays.
#include "core/exact.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstdint>
#include <limits>
#include <tuple>
#include <utility>

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
    // A quotient that underflows to 0 (FLT_MIN / FLT_MAX) is no fault.
    const std::optional<ErrorKind> none;
    // clang-format off
    const std::tuple<float, float, std::optional<ErrorKind>> quotients[] = {
        {1, 0, DivisionByZero}, {-1, -0.0f, DivisionByZero}, {0, 0, Overflow}, {FLT_MAX, 0.5f, Overflow},
        {std::numeric_limits<float>::quiet_NaN(), 0, Overflow}, {6, 3, none}, {FLT_MIN, FLT_MAX, none}};
    // clang-format on
    for (auto [a, b, want] : quotients)
        EXPECT_EQ(error_of([&] { check_quot(quot(a, b), a, b); }), want) << a << "/" << b;
    EXPECT_EQ(error_of([] { check(mul_add(FLT_MAX, 2.0f, 0.0f)); }), Overflow);
}

TEST(Exact, IndexArithmeticStaysWithinSixteenAndThirtyTwoBits) {
    const std::pair<int16_t, int16_t> ends(32767, -32768);
    EXPECT_EQ(std::pair(int16_or_overflow(32767), int16_or_overflow(-32768)), ends);
    for (int v : {32768, -32769}) EXPECT_EQ(error_of([v] { int16_or_overflow(v); }), ErrorKind::Overflow) << v;
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
