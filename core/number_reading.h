#pragma once
// Reading numbers from text: every coefficient, order and solution value the program reads goes
// through here. The results decide what a run computes, so they are exact and use no
// locale-dependent C library call. One fast parser serves every caller (the grid's cells at a solve,
// a solution file, the tokens of Connect); text_to_single_plain is its plain twin, which the tests
// compare it with bit for bit.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnex {

/// Text to single precision. Blanks (U+0020 only) around the number are ignored; an optional sign,
/// digits with the decimal separator and an optional exponent (E or e, optional sign, digits) are
/// accepted; the result is the nearest float. Throws RunError(TypeMismatch) for an empty or
/// non-numeric text and RunError(Overflow) for a magnitude beyond the float range; a value too small
/// for a float becomes a denormal or a (signed) zero.
float text_to_single(std::string_view text);
/// The same conversion done the plain way (syntax check, then the standard library's correctly
/// rounded reading), with no fast path; the tests' reference for text_to_single.
float text_to_single_plain(std::string_view text);

/// Text to a 16-bit signed integer: the number is rounded to the nearest integer, a half to the even
/// neighbour (2.5 -> 2, 3.5 -> 4). Throws RunError(TypeMismatch) for a non-numeric text and
/// RunError(Overflow) outside -32768..32767.
int16_t text_to_int16(std::string_view text);

/// Bytes that must be readable beyond the end of a line handed to scan_tokens.
inline constexpr std::size_t kScanSlack = 64;

/// Converts the next tokens (blank-separated, as get_row splits a line) of the line [p, end):
/// values[k] = text_to_single(token k) for up to count tokens; returns how many were read and moves p
/// behind the last one. Fewer are read when the line ends, or when a token is not a number: p is then
/// left at the start of that token, and nothing is raised. Token boundaries are found 64 bytes at a
/// time, so the tokens of a block are converted without waiting for each other. kScanSlack bytes from
/// end must be readable (their content does not matter).
int scan_tokens(const char*& p, const char* end, float* values, int count);

}  // namespace varnex
