#include "core/convert.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "core/errors.h"

namespace varnex {

namespace {

char g_sep = '.';

// Saturation bound for an exponent read from text: far beyond any float or int16 magnitude, yet far
// from the limits of long long when added to a digit count.
constexpr long long k_exp_limit = 1'000'000'000'000LL;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The parts of a number text that passed the syntax check. Mantissa digits are int_digits followed
// by frac_digits; the value is (those digits read with the point after int_digits) * 10^exponent.
struct Scanned {
    std::string_view body;  ///< trimmed text from the minus sign or first mantissa char ('+' dropped)
    bool negative = false;
    std::string_view int_digits;
    std::string_view frac_digits;
    std::size_t sep_pos = std::string_view::npos;  ///< index of the separator in body, if any
    long long exponent = 0;                        ///< saturated at +-k_exp_limit
};

// Checks the syntax: blanks (U+0020) around, optional sign, digits with at most one decimal
// separator and at least one digit, optional exponent E/e with optional sign and at least one digit.
// Anything else, a tab included, is a type mismatch.
Scanned scan_number(std::string_view t) {
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    Scanned s;
    std::size_t i = 0;
    const std::size_t n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-')) {
        s.negative = t[i] == '-';
        ++i;
    }
    // from_chars takes a minus sign but no plus sign.
    s.body = t.substr(s.negative ? 0 : i);
    const std::size_t body_off = s.negative ? 0 : i;

    std::size_t b = i;
    while (i < n && is_digit(t[i])) ++i;
    s.int_digits = t.substr(b, i - b);
    if (i < n && t[i] == g_sep) {
        s.sep_pos = i - body_off;
        b = ++i;
        while (i < n && is_digit(t[i])) ++i;
        s.frac_digits = t.substr(b, i - b);
    }
    if (s.int_digits.empty() && s.frac_digits.empty()) raise(ErrorKind::TypeMismatch);

    if (i < n && (t[i] == 'E' || t[i] == 'e')) {
        ++i;
        bool exp_negative = false;
        if (i < n && (t[i] == '+' || t[i] == '-')) {
            exp_negative = t[i] == '-';
            ++i;
        }
        if (i == n || !is_digit(t[i])) raise(ErrorKind::TypeMismatch);
        long long e = 0;
        for (; i < n && is_digit(t[i]); ++i) {
            if (e < k_exp_limit) e = e * 10 + (t[i] - '0');
        }
        s.exponent = exp_negative ? -e : e;
    }
    if (i != n) raise(ErrorKind::TypeMismatch);
    return s;
}

// Mantissa digit k of the concatenated int_digits + frac_digits, as a number 0..9.
int digit_at(const Scanned& s, std::size_t k) {
    return k < s.int_digits.size() ? s.int_digits[k] - '0' : s.frac_digits[k - s.int_digits.size()] - '0';
}

// Decimal exponent of the leading non-zero digit d: the value lies in [10^(e-1), 10^e). Only called
// for a non-zero mantissa, on the cold out-of-range path.
long long leading_exponent(const Scanned& s) {
    const std::size_t len = s.int_digits.size() + s.frac_digits.size();
    std::size_t z = 0;
    while (z < len && digit_at(s, z) == 0) ++z;
    return static_cast<long long>(s.int_digits.size()) - static_cast<long long>(z) + s.exponent;
}

// Rewrites a letter of a formatted number to the upper case that the program shows (E, INF, NAN)
// and the point to the user's separator.
void finish_text(char* buf, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (buf[i] >= 'a' && buf[i] <= 'z')
            buf[i] = static_cast<char>(buf[i] - 'a' + 'A');
        else if (buf[i] == '.')
            buf[i] = g_sep;
    }
}

}  // namespace

void set_decimal_separator(char sep) { g_sep = sep; }
char decimal_separator() { return g_sep; }

float text_to_single(std::string_view text) {
    const Scanned s = scan_number(text);
    const char* first = s.body.data();
    const char* last = first + s.body.size();

    // from_chars reads only '.'; a text with another separator is copied with the point put in.
    char local[64];
    std::string heap;
    if (s.sep_pos != std::string_view::npos && g_sep != '.') {
        char* dst = local;
        if (s.body.size() > sizeof local) {
            heap.assign(s.body);
            dst = heap.data();
        } else {
            std::memcpy(local, first, s.body.size());
        }
        dst[s.sep_pos] = '.';
        first = dst;
        last = dst + s.body.size();
    }

    float value = 0.0f;
    const auto r = std::from_chars(first, last, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) [[unlikely]] {
        // from_chars leaves the value alone for both ends of the range; the magnitude tells which.
        if (leading_exponent(s) > 0) raise(ErrorKind::Overflow);
        return s.negative ? -0.0f : 0.0f;
    }
    if (r.ec != std::errc{} || r.ptr != last) [[unlikely]]
        raise(ErrorKind::TypeMismatch);
    return value;
}

int16_t text_to_int16(std::string_view text) {
    const Scanned s = scan_number(text);
    const std::size_t len = s.int_digits.size() + s.frac_digits.size();
    std::size_t z = 0;
    while (z < len && digit_at(s, z) == 0) ++z;
    if (z == len) return 0;

    // Rounded exactly from the decimal digits, so no intermediate binary rounding moves a value off
    // a half. p = number of mantissa digits before the decimal point once the exponent is applied.
    const long long p = static_cast<long long>(s.int_digits.size()) + s.exponent;
    const long long z_ll = static_cast<long long>(z);
    if (p - z_ll > 5) raise(ErrorKind::Overflow);  // at least 100000

    // Integer part: digits z .. p-1 (zeros past the end of the mantissa).
    long v = 0;
    for (long long k = z_ll; k < p; ++k) v = v * 10 + (k < static_cast<long long>(len) ? digit_at(s, k) : 0);

    // The first dropped digit decides, the digits after it break a tie; a half goes to the even one.
    // With p < 0 the first dropped digit is an implied zero and the value is below 0.1.
    int round_digit = 0;
    bool sticky = false;
    if (p >= 0 && p < static_cast<long long>(len)) round_digit = digit_at(s, static_cast<std::size_t>(p));
    for (std::size_t k = static_cast<std::size_t>(p < 0 ? 0 : p + 1); k < len && !sticky; ++k)
        sticky = digit_at(s, k) != 0;
    if (round_digit > 5 || (round_digit == 5 && (sticky || (v & 1) != 0))) ++v;

    const long r = s.negative ? -v : v;
    if (r < -32768 || r > 32767) raise(ErrorKind::Overflow);
    return static_cast<int16_t>(r);
}

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
