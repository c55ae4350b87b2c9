// Provisional conversions; being replaced by the exact implementation.
#include "core/convert.h"

#include <charconv>
#include <cmath>

#include "core/errors.h"

namespace varnex {

namespace {
char g_sep = '.';
}

void set_decimal_separator(char sep) { g_sep = sep; }
char decimal_separator() { return g_sep; }

float text_to_single(std::string_view t) {
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    float f = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), f);
    if (t.empty() || r.ptr != t.data() + t.size()) raise(ErrorKind::TypeMismatch);
    if (r.ec == std::errc::result_out_of_range) raise(ErrorKind::Overflow);
    return f;
}

int16_t text_to_int16(std::string_view t) {
    double d = text_to_single(t);
    double r = std::nearbyint(d);
    if (r < -32768 || r > 32767) raise(ErrorKind::Overflow);
    return static_cast<int16_t>(r);
}

std::size_t single_to_text(float value, char* buf) {
    if (value == 0.0f) {
        buf[0] = '0';
        return 1;
    }
    auto r = std::to_chars(buf, buf + 32, static_cast<double>(value), std::chars_format::general, 7);
    std::size_t n = r.ptr - buf;
    for (std::size_t i = 0; i < n; ++i)
        if (buf[i] == 'e') buf[i] = 'E';
    return n;
}

std::string single_to_text(float value) {
    char buf[32];
    return std::string(buf, single_to_text(value, buf));
}

std::string int_to_text(long long value) { return std::to_string(value); }

std::string double_to_text(double value) {
    char buf[64];
    auto r = std::to_chars(buf, buf + 64, value);
    return std::string(buf, r.ptr);
}

}  // namespace varnex
