#include "core/convert.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "core/errors.h"

namespace varnex {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Rewrites a letter of a formatted number to the upper case that the program shows (E, INF, NAN)
// and the point to the user's separator.
void finish_text(char* buf, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (buf[i] >= 'a' && buf[i] <= 'z')
            buf[i] = static_cast<char>(buf[i] - 'a' + 'A');
        else if (buf[i] == '.')
            buf[i] = decimal_separator();
    }
}

}  // namespace

std::size_t single_to_text(float value, char* buf) {
    if (value == 0.0f) {
        buf[0] = '0';
        return 1;
    }
    // A float widened to double keeps its value; seven significant digits as %.7G. The longest text
    // is 13 chars (-1.234568E+38, -0.0001234568).
    const auto r = std::to_chars(buf, buf + 16, static_cast<double>(value), std::chars_format::general, 7);
    const auto n = static_cast<std::size_t>(r.ptr - buf);
    finish_text(buf, n);
    return n;
}

std::string single_to_text(float value) {
    char buf[16];
    return std::string(buf, single_to_text(value, buf));
}

std::size_t single_to_exact_text(float value, char* buf) {
    if (value == 0.0f) {
        buf[0] = '0';
        return 1;
    }
    // The shortest digits that read back to the float, in scientific form: d[.ddd]e<sign><exp>.
    char sci[32];
    const auto r = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
    const std::string_view s(sci, static_cast<std::size_t>(r.ptr - sci));
    const bool negative = s.front() == '-';
    const std::size_t e_at = s.find('e');
    char digits[12];
    std::size_t nd = 0;
    for (std::size_t i = negative ? 1 : 0; i < e_at; ++i)
        if (is_digit(s[i])) digits[nd++] = s[i];
    int exp = 0;
    std::from_chars(s.data() + e_at + (s[e_at + 1] == '+' ? 2 : 1), s.data() + s.size(), exp);

    std::size_t n = 0;
    if (negative) buf[n++] = '-';
    // The same choice of form as "%.7G": the exponent form below 1E-04 and from 1E+07 on.
    if (exp < -4 || exp >= 7) {
        buf[n++] = digits[0];
        if (nd > 1) {
            buf[n++] = decimal_separator();
            for (std::size_t i = 1; i < nd; ++i) buf[n++] = digits[i];
        }
        buf[n++] = 'E';
        buf[n++] = exp < 0 ? '-' : '+';
        const int a = exp < 0 ? -exp : exp;
        buf[n++] = static_cast<char>('0' + a / 10);
        buf[n++] = static_cast<char>('0' + a % 10);
        return n;
    }
    if (exp < 0) {
        buf[n++] = '0';
        buf[n++] = decimal_separator();
        for (int i = exp + 1; i < 0; ++i) buf[n++] = '0';
        for (std::size_t i = 0; i < nd; ++i) buf[n++] = digits[i];
        return n;
    }
    // Whole digits (padded with zeros where the shortest form stops early), then the fraction.
    const std::size_t whole = static_cast<std::size_t>(exp) + 1;
    for (std::size_t i = 0; i < whole; ++i) buf[n++] = i < nd ? digits[i] : '0';
    if (nd > whole) {
        buf[n++] = decimal_separator();
        for (std::size_t i = whole; i < nd; ++i) buf[n++] = digits[i];
    }
    return n;
}

std::string int_to_text(long long value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string double_to_text(double value) {
    if (value == 0.0) return "0";
    // Plain decimals for the magnitudes shown to a user, the exponent form only for extreme ones;
    // either way the shortest digits that read back to the same double.
    const double a = std::fabs(value);
    const auto fmt = (a >= 1e-5 && a < 1e15) ? std::chars_format::fixed : std::chars_format::general;
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, fmt);
    const auto n = static_cast<std::size_t>(r.ptr - buf);
    finish_text(buf, n);
    return std::string(buf, n);
}

}  // namespace varnex
