#include "files/text_files.h"

#include "core/exact.h"

namespace varnex {

namespace {

// Position of the first non-blank at or after `from`, or s.size().
std::size_t skip_blanks(const std::string& s, std::size_t from) {
    while (from < s.size() && s[from] == ' ') ++from;
    return from;
}

}  // namespace

void get_row(std::string& s, int16_t& m, std::vector<std::string>& y) {
    m = 0;
    // The tokens are taken by walking an index over s rather than cutting s down after each token,
    // which would copy the rest of a long line once per token. Only the final working copy (the last
    // token, or empty) is stored back into s, as the step-by-step cutting would leave it.
    std::size_t end = s.size();
    while (end > 0 && s[end - 1] == ' ') --end;
    std::size_t pos = skip_blanks(s, 0);
    if (pos >= end) {
        s.clear();
        return;
    }
    for (;;) {
        std::size_t blank = s.find(' ', pos);
        std::size_t stop = (blank == std::string::npos || blank > end) ? end : blank;
        m = int16_or_overflow(m + 1);
        y.resize(static_cast<std::size_t>(m) + 1);
        y[m].assign(s, pos, stop - pos);
        if (stop == end) {
            s.erase(end);
            s.erase(0, pos);
            return;
        }
        pos = skip_blanks(s, stop);
    }
}

std::string solution_name(std::string_view path) {
    // p is the 1-based position of the first "data" (0 when none); the name starts at position p + 5,
    // that is at 0-based offset p + 4: past "data" and the separator after it.
    std::size_t found = path.find("data");
    std::size_t p = found == std::string_view::npos ? 0 : found + 1;
    std::size_t start = p + 4;
    if (start >= path.size()) return {};
    return std::string(path.substr(start));
}

}  // namespace varnex
