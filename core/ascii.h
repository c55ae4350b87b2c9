#pragma once
// Lower case for ASCII letters only: file extensions and the keywords of file formats compare the same
// whatever the user's locale, and a byte outside A..Z (one of a UTF-8 name, say) stays as it is.

#include <string>
#include <string_view>

namespace varnex {

constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string ascii_lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = ascii_lower(c);
    return r;
}

}  // namespace varnex
