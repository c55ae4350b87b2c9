#pragma once
// The shared conversions between text and numbers. They decide results (memory-mode runs restart
// from the grid's texts), so they are exact and use no locale-dependent C library call. Numbers are
// written here (convert.cpp) and read in core/number_reading.h, which this header brings along.

#include <cstddef>
#include <string>

#include "core/number_reading.h"

namespace varnex {

namespace detail {
inline char g_decimal_separator = '.';
}

/// The user's decimal separator, set once at start from the locale; '.' until then. Inline, as the
/// number readers look at it for every number.
inline void set_decimal_separator(char sep) { detail::g_decimal_separator = sep; }
inline char decimal_separator() { return detail::g_decimal_separator; }

/// Single precision to text as C's "%.7G" rounds it: seven significant digits, trailing zeros and a
/// trailing separator dropped, no leading blank, "0" for 0 and -0, exponent form such as 1.234568E+07
/// where %.7G uses it. Every text converts back through text_to_single.
std::string single_to_text(float value);

/// The same text written into buf (at least 16 chars); returns its length. No allocation.
std::size_t single_to_text(float value, char* buf);

/// Single precision to the shortest text that text_to_single reads back to the very same value (at
/// most nine significant digits), in the form of single_to_text: the user's separator, no trailing
/// zeros, the exponent form (E, a sign, at least two digits) for the magnitudes where single_to_text
/// uses it. For the values whose seven digits already read back this is single_to_text's text or a
/// shorter one. Writes into buf (at least 16 chars) and returns the length. No allocation.
std::size_t single_to_exact_text(float value, char* buf);

/// An integer as plain decimal text.
std::string int_to_text(long long value);

/// A double as decimal text (for N / 10 in the accuracy box): shortest form that reads back, the
/// user's decimal separator, no exponent for ordinary magnitudes ("0.5", "2", "12.5").
std::string double_to_text(double value);

}  // namespace varnex
