// The exact single-precision steps and the checks that turn a stored fault into a run-time error.
#include "core/exact.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <optional>

namespace varnex {
namespace {

template <class F>
std::optional<ErrorKind> error_of(F&& f) {
    try {
        f();
    } catch (const RunError& e) {
        return e.kind();
    }
    return std::nullopt;
}

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

}  // namespace
}  // namespace varnex
