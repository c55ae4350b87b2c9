// The exact single-precision steps and the checks that turn a stored fault into a run-time error.
#include "core/exact.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
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

std::optional<ErrorKind> quot_error(float a, float b) {
    return error_of([&] { check_quot(quot(a, b), a, b); });
}

TEST(Exact, ProductAndSumRoundOnceFromDouble) {
    // (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24. Rounded to float first, the 2^-24 is a tie that goes to the
    // even neighbour and the sum with -(1 + 2^-11) gives 0; evaluated in double it survives.
    const float a = 1.0f + std::ldexp(1.0f, -12);
    const float c = -(1.0f + std::ldexp(1.0f, -11));
    EXPECT_EQ(mul_add(a, a, c), std::ldexp(1.0f, -24));
    EXPECT_EQ(mul_sub(-c, a, a), -std::ldexp(1.0f, -24));
    // The product is exact in double even when it would overflow a float; the sum brings it back.
    EXPECT_EQ(mul_add(FLT_MAX, 2.0f, -FLT_MAX), FLT_MAX);
    EXPECT_EQ(mul_sub(FLT_MAX, FLT_MAX, 1.0f), 0.0f);
    // The quotient is rounded to float from double.
    EXPECT_EQ(quot(1.0f, 3.0f), static_cast<float>(1.0 / 3.0));
    EXPECT_EQ(quot(FLT_MAX, 0.5f), std::numeric_limits<float>::infinity());
}

TEST(Exact, StoredFaultsRaiseDivisionByZeroOrOverflow) {
    EXPECT_EQ(quot_error(1.0f, 0.0f), ErrorKind::DivisionByZero);
    EXPECT_EQ(quot_error(-1.0f, -0.0f), ErrorKind::DivisionByZero);
    EXPECT_EQ(quot_error(FLT_MIN, 0.0f), ErrorKind::DivisionByZero);
    EXPECT_EQ(quot_error(0.0f, 0.0f), ErrorKind::Overflow);
    EXPECT_EQ(quot_error(FLT_MAX, 0.5f), ErrorKind::Overflow);
    EXPECT_EQ(quot_error(std::numeric_limits<float>::quiet_NaN(), 0.0f), ErrorKind::Overflow);
    EXPECT_EQ(quot_error(std::numeric_limits<float>::infinity(), 2.0f), ErrorKind::Overflow);
    EXPECT_EQ(quot_error(6.0f, 3.0f), std::nullopt);
    EXPECT_EQ(quot_error(0.0f, 5.0f), std::nullopt);
    // A quotient that underflows to zero is not a fault.
    EXPECT_EQ(quot_error(FLT_MIN, FLT_MAX), std::nullopt);

    EXPECT_EQ(error_of([] { check(mul_add(FLT_MAX, 2.0f, 0.0f)); }), ErrorKind::Overflow);
    EXPECT_EQ(error_of([] { check(mul_sub(-FLT_MAX, FLT_MAX, 1.0f)); }), ErrorKind::Overflow);
    EXPECT_EQ(error_of([] { check(std::numeric_limits<float>::quiet_NaN()); }), ErrorKind::Overflow);
    EXPECT_EQ(error_of([] { check(FLT_MAX); }), std::nullopt);
    EXPECT_EQ(error_of([] { check(std::numeric_limits<float>::denorm_min()); }), std::nullopt);
}

TEST(Exact, IndexArithmeticStaysWithinSixteenAndThirtyTwoBits) {
    EXPECT_EQ(i16(32767), 32767);
    EXPECT_EQ(i16(-32768), -32768);
    EXPECT_EQ(error_of([] { i16(32768); }), ErrorKind::Overflow);
    EXPECT_EQ(error_of([] { i16(-32769); }), ErrorKind::Overflow);
    EXPECT_EQ(i32(INT32_MAX), INT32_MAX);
    EXPECT_EQ(i32(INT32_MIN), INT32_MIN);
    EXPECT_EQ(error_of([] { i32(static_cast<long long>(INT32_MAX) + 1); }), ErrorKind::Overflow);
    EXPECT_EQ(error_of([] { i32(static_cast<long long>(INT32_MIN) - 1); }), ErrorKind::Overflow);
    // 16382 * 2 + 4 is the first grid width that leaves the 16-bit range.
    EXPECT_EQ(error_of([] { i16(16382LL * 2 + 4); }), ErrorKind::Overflow);
}

}  // namespace
}  // namespace varnex
