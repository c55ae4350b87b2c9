#include "core/number_reading.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <string>
#include <system_error>

#include "core/convert.h"
#include "core/errors.h"

namespace varnex {

namespace {

// Saturation bound for an exponent read from text: far beyond any float or int16 magnitude, yet far
// from the limits of long long when added to a digit count.
constexpr long long kExpLimit = 1'000'000'000'000LL;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The parts of a number text that passed the syntax check. Mantissa digits are int_digits followed
// by frac_digits; the value is (those digits read with the point after int_digits) * 10^exponent.
struct Scanned {
    std::string_view body;  ///< trimmed text from the minus sign or first mantissa char ('+' dropped)
    bool negative = false;
    std::string_view int_digits;
    std::string_view frac_digits;
    std::size_t sep_pos = std::string_view::npos;  ///< index of the separator in body, if any
    long long exponent = 0;                        ///< saturated at +-kExpLimit
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
    if (i < n && t[i] == decimal_separator()) {
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
            if (e < kExpLimit) e = e * 10 + (t[i] - '0');
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

// ---- The fast parser -------------------------------------------------------------------------------
// A first lane reads the plain form of nearly every coefficient eight digits at a time; a second, one
// digit at a time, the blanks, exponents and long fractions of the rest. Text_to_single and the token
// scanner both go through it. Both lanes take the numbers whose digits form an integer m <= 2^24 and
// whose power of ten e lies within +-10. m and 10^|e| are then exact floats, so one float
// multiplication or division rounds the decimal value exactly once, to the nearest float, which is
// what the plain conversion gives. Anything else (other forms, errors included) is left to the plain
// conversion.

constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// Eight ASCII bytes (the first in the low byte) that are all digits.
bool is_eight_digits(uint64_t v) {
    return (((v + 0x4646464646464646) | (v - 0x3030303030303030)) & 0x8080808080808080) == 0;
}

// The number written by eight ASCII digits, the first in the low byte: pairs, then fours, then the
// two halves, each step a multiplication of packed lanes.
uint32_t eight_digits_value(uint64_t v) {
    v -= 0x3030303030303030;
    v = v * 10 + (v >> 8);
    v = (((v & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
         (((v >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
        32;
    return static_cast<uint32_t>(v);
}

template <class T>
T load(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Bytes 0..7 of a text of 1..16 bytes as one word, zeros past its end, and its last eight bytes as
// another (moved up for a shorter text), read without reading past the text's end.
void load_ends(const char* src, std::size_t len, uint64_t& head, uint64_t& tail) {
    if (len >= 8) {
        head = load<uint64_t>(src);
        tail = load<uint64_t>(src + len - 8);
        return;
    }
    if (len >= 4) {
        head = load<uint32_t>(src) | (uint64_t{load<uint32_t>(src + len - 4)} << (8 * (len - 4)));
    } else {
        const auto byte = [&](std::size_t k) { return uint64_t{static_cast<unsigned char>(src[k])} << (8 * k); };
        head = byte(0) | byte(len / 2) | byte(len - 1);
    }
    tail = head << (8 * (8 - len));
}

// The first lane, for the form of nearly every coefficient: an optional sign, one to eight digits,
// and optionally the separator and one to eight digits, nothing else (no blank, no exponent). Each
// digit run is cut out as the top bytes of the eight that end where it ends, the bytes before it
// turned into '0'. Written with few branches and no round trip through memory, as the signs and
// lengths of a file's numbers vary at random.
bool plain_decimal_to_single(std::string_view t, float& out) {
    const std::size_t len = t.size();
    if (len == 0 || len > 16) return false;
    constexpr uint64_t kZeros = 0x3030303030303030;
    constexpr uint64_t kOnes = 0x0101010101010101;
    constexpr uint64_t kHighs = 0x8080808080808080;
    const char* src = t.data();
    uint64_t head, tail;
    load_ends(src, len, head, tail);
    const unsigned char first = static_cast<unsigned char>(head);
    const bool negative = first == '-';
    const std::size_t a = (negative || first == '+') ? 1 : 0;
    // The first separator: the lowest byte equal to it, found as a zero byte of the XOR, in the head
    // and then in the tail (whose bytes shared with the head hold none by then).
    const uint64_t pattern = kOnes * static_cast<unsigned char>(decimal_separator());
    auto zero_bytes = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    const uint64_t in_head = zero_bytes(head ^ pattern), in_tail = zero_bytes(tail ^ pattern);
    const std::size_t p = in_head   ? std::countr_zero(in_head) / 8
                          : in_tail ? len - 8 + std::countr_zero(in_tail) / 8
                                    : len;
    const bool sep = p < len;
    const std::size_t int_len = p - a;
    const std::size_t frac_len = sep ? len - p - 1 : 0;
    if (int_len == 0 || int_len > 8 || frac_len > 8 || (sep && frac_len == 0)) return false;
    // Of eight bytes ending at a run's end only the last run_len (0..8) are kept, the others become '0'.
    auto keep = [](uint64_t bytes, std::size_t run_len) {
        const uint64_t mask = run_len ? ~uint64_t{0} << (8 * (8 - run_len)) : 0;
        return (bytes & mask) | (kZeros & ~mask);
    };
    // The integer run ends at p <= 9: eight bytes read there, or the head moved up.
    const uint64_t int_bytes = keep(p >= 8 ? load<uint64_t>(src + p - 8) : head << (8 * (8 - p)), int_len);
    const uint64_t frac_bytes = keep(tail, frac_len);
    if (!is_eight_digits(int_bytes) || !is_eight_digits(frac_bytes)) return false;
    static constexpr uint32_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    const uint64_t m = uint64_t{eight_digits_value(int_bytes)} * kScale[frac_len] + eight_digits_value(frac_bytes);
    if (m > (uint64_t{1} << 24)) return false;
    // Division by 10^0 = 1 is exact, and so is the change of sign.
    const float v = static_cast<float>(m) / kPow10[frac_len];
    out = std::bit_cast<float>(std::bit_cast<uint32_t>(v) ^ (static_cast<uint32_t>(negative) << 31));
    return true;
}

// The second lane, for the rest of the texts the program itself writes and most typed numbers:
// blanks around, an exponent, up to 19 mantissa digits (leading zeros of a small fraction).
bool short_text_to_single(std::string_view t, float& out) {
    const char* p = t.data();
    const char* end = p + t.size();
    while (p < end && *p == ' ') ++p;
    while (end > p && end[-1] == ' ') --end;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    uint64_t m = 0;
    int digits = 0;
    int e = 0;
    const char* start = p;
    for (; p < end && is_digit(*p); ++p, ++digits) m = m * 10 + static_cast<unsigned>(*p - '0');
    const bool int_part = p != start;
    if (p < end && *p == decimal_separator()) {
        start = ++p;
        for (; p < end && is_digit(*p); ++p, ++digits) m = m * 10 + static_cast<unsigned>(*p - '0');
        // "1." and ".5" are left to the plain conversion.
        if (!int_part || p == start) return false;
        e = -static_cast<int>(p - start);
    } else if (!int_part) {
        return false;
    }
    if (digits > 19) return false;
    if (p < end && (*p == 'E' || *p == 'e')) {
        ++p;
        bool exp_negative = false;
        if (p < end && (*p == '+' || *p == '-')) exp_negative = *p++ == '-';
        int x = 0;
        start = p;
        for (; p < end && is_digit(*p) && p - start < 3; ++p) x = x * 10 + (*p - '0');
        if (p == start) return false;
        e += exp_negative ? -x : x;
    }
    if (p != end) return false;
    float v = 0.0f;
    if (m != 0) {
        if (m > (uint64_t{1} << 24) || e < -10 || e > 10) return false;
        const float f = static_cast<float>(m);
        v = e >= 0 ? f * kPow10[e] : f / kPow10[-e];
    }
    out = negative ? -v : v;
    return true;
}

// The rarer forms, kept out of text_to_single so that its common path needs no stack frame.
[[gnu::noinline]] float other_text_to_single(std::string_view text) {
    float v;
    if (short_text_to_single(text, v)) return v;
    return text_to_single_plain(text);
}

}  // namespace

float text_to_single(std::string_view text) {
    float v;
    if (plain_decimal_to_single(text, v)) [[likely]]
        return v;
    return other_text_to_single(text);
}

float text_to_single_plain(std::string_view text) {
    const Scanned s = scan_number(text);
    const char* first = s.body.data();
    const char* last = first + s.body.size();

    // from_chars reads only '.'; a text with another separator is copied with the point put in.
    char local[64];
    std::string heap;
    if (s.sep_pos != std::string_view::npos && decimal_separator() != '.') {
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

}  // namespace varnex
