#include "files/import_text.h"

#include <algorithm>
#include <string>

#include "core/convert.h"
#include "core/errors.h"

namespace varnex {

std::string_view without_bom(std::string_view text) { return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text; }

std::string_view ImportLines::next() {
    const std::size_t end = rest_.find_first_of("\r\n");
    if (end == std::string_view::npos) {
        const std::string_view line = rest_;
        rest_ = {};
        return line;
    }
    const std::string_view line = rest_.substr(0, end);
    const bool crlf = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
    rest_.remove_prefix(end + (crlf ? 2 : 1));
    return line;
}

long line_of(std::string_view text, const char* at) {
    const std::string_view before = text.substr(0, static_cast<std::size_t>(at - text.data()));
    long line = 1;
    for (std::size_t k = 0; k < before.size(); ++k) {
        if (before[k] == '\n') ++line;
        // A CR ends a line unless an LF follows it (then the LF counts); a CR just before `at` does too.
        if (before[k] == '\r' && (k + 1 == text.size() || text[k + 1] != '\n')) ++line;
    }
    return line;
}

long column_of(std::string_view text, const char* at, char delimiter) {
    std::size_t start = static_cast<std::size_t>(at - text.data());
    while (start > 0 && text[start - 1] != '\n' && text[start - 1] != '\r') --start;
    const std::string_view before = text.substr(start, static_cast<std::size_t>(at - text.data()) - start);
    if (delimiter != ' ') return 1 + static_cast<long>(std::count(before.begin(), before.end(), delimiter));
    // One more than the values that start before it.
    long column = 1;
    bool in_value = false;
    for (char c : before) {
        const bool blank = c == ' ' || c == '\t';
        if (!blank && !in_value) ++column;
        in_value = !blank;
    }
    return column;
}

std::string quoted(std::string_view value) {
    // Built by appending: GCC 12 warns falsely about a literal + std::string.
    std::string r(1, '"');
    r.append(value.substr(0, 40)).push_back('"');
    return r;
}

const char* read_value(std::string_view value, char mark, float& out) {
    static constexpr const char* kNotNumber = "is not a number";
    static constexpr const char* kOutOfRange = "is out of the single-precision range";
    const char sep = decimal_separator();
    try {
        if (mark == sep || value.find(mark) == std::string_view::npos) {
            // A text that holds the user's separator where the file uses another mark is no number
            // of the file's.
            if (mark != sep && value.find(sep) != std::string_view::npos) return kNotNumber;
            out = text_to_single(value);
            return nullptr;
        }
        if (value.find(sep) != std::string_view::npos) return kNotNumber;
        // The conversion reads the user's separator: the file's mark is put in its place.
        std::string local(value);
        std::replace(local.begin(), local.end(), mark, sep);
        out = text_to_single(local);
        return nullptr;
    } catch (const RunError& e) {
        return e.kind() == ErrorKind::Overflow ? kOutOfRange : kNotNumber;
    }
}

}  // namespace varnex
