#pragma once
// Exact single-precision arithmetic: every step is evaluated in double from float operands and
// rounded to float when stored; a stored infinity or NaN is a fault raised to the running command.

#include <cmath>
#include <cstdint>

#include "core/errors.h"

namespace varnex {

/// c + a*b: the product of two floats is exact in double, the sum is rounded to double, then to float.
inline float mul_add(float a, float b, float c) {
    return static_cast<float>(static_cast<double>(a) * static_cast<double>(b) + static_cast<double>(c));
}

/// c - a*b, rounded as mul_add.
inline float mul_sub(float c, float a, float b) {
    return static_cast<float>(static_cast<double>(c) - static_cast<double>(a) * static_cast<double>(b));
}

/// a / b evaluated in double and rounded to float.
inline float quot(float a, float b) { return static_cast<float>(static_cast<double>(a) / static_cast<double>(b)); }

/// Checks a value just stored: an infinity or a NaN raises the overflow error.
inline void check(float stored) {
    if (!std::isfinite(stored)) [[unlikely]]
        raise(ErrorKind::Overflow);
}

/// Checks a quotient a/b just stored: division of a non-zero value by zero raises the division-by-zero
/// error, 0/0 and overflow raise the overflow error.
inline void check_quot(float stored, float a, float b) {
    if (!std::isfinite(stored)) [[unlikely]]
        raise(b == 0.0f && a != 0.0f && !std::isnan(a) ? ErrorKind::DivisionByZero : ErrorKind::Overflow);
}

/// A 16-bit signed result of index arithmetic: outside -32768..32767 raises the overflow error.
inline int16_t int16_or_overflow(long long v) {
    if (v < -32768 || v > 32767) [[unlikely]]
        raise(ErrorKind::Overflow);
    return static_cast<int16_t>(v);
}

/// A 32-bit signed result of record arithmetic: outside the int32 range raises the overflow error.
inline int32_t int32_or_overflow(long long v) {
    if (v < INT32_MIN || v > INT32_MAX) [[unlikely]]
        raise(ErrorKind::Overflow);
    return static_cast<int32_t>(v);
}

}  // namespace varnex
