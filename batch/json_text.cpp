#include "batch/json_text.h"

#include <cstdio>

namespace varnex::batch {

namespace {

// The length of the well-formed UTF-8 sequence at s[i], or 0 when the byte there begins none.
std::size_t utf8_sequence(std::string_view s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    if (c < 0x80) return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;  // overlong
        if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;  // overlong
        if (c == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + len > s.size() || at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < len; ++k)
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    return len;
}

std::string hex(std::string_view s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * s.size());
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        out += digits[u >> 4];
        out += digits[u & 15];
    }
    return out;
}

}  // namespace

bool is_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = utf8_sequence(s, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string json_string(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = utf8_sequence(s, i);
        const auto u = static_cast<unsigned char>(s[i]);
        if (len == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for the byte that begins no character
            ++i;
            continue;
        }
        if (s[i] == '"' || s[i] == '\\') {
            out += '\\';
            out += s[i];
        } else if (u < 0x20 || u == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        } else {
            out.append(s.substr(i, len));
        }
        i += len;
    }
    return out + '"';
}

std::string json_raw_field(std::string_view name, std::string_view s) {
    if (is_utf8(s)) return {};
    return ",\"" + std::string(name) + "_bytes\":\"" + hex(s) + "\"";
}

std::string json_raw_field(std::string_view name, const std::vector<std::string>& texts) {
    bool any = false;
    for (const std::string& t : texts) any = any || !is_utf8(t);
    if (!any) return {};
    std::string out = ",\"" + std::string(name) + "_bytes\":[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i) out += ',';
        if (is_utf8(texts[i])) {
            out += "null";
        } else {
            // Appended piece by piece: GCC 12 warns (falsely) about a string sum that starts with a literal.
            out += '"';
            out += hex(texts[i]);
            out += '"';
        }
    }
    return out + "]";
}

}  // namespace varnex::batch
