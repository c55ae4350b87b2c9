#include "files/delimited_text.h"

#include <algorithm>

#include "core/convert.h"
#include "files/import_text.h"

namespace varnex {

namespace {

// A number as a spreadsheet writes it: sign, digits with at most one decimal mark, an exponent.
bool is_number(std::string_view s, char mark) {
    std::size_t p = 0;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    std::size_t digits = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p, ++digits;
    if (p < s.size() && s[p] == mark) {
        ++p;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p, ++digits;
    }
    if (digits == 0) return false;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        ++p;
        if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
        std::size_t exp = 0;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p, ++exp;
        if (exp == 0) return false;
    }
    return p == s.size();
}

// The delimiter of a line: the first of tab, semicolon, comma that occurs outside quotes; 0 for none.
char find_delimiter(std::string_view line) {
    bool in_quotes = false, tab = false, semicolon = false, comma = false;
    for (char c : line) {
        if (c == '"')
            in_quotes = !in_quotes;
        else if (!in_quotes)
            tab |= c == '\t', semicolon |= c == ';', comma |= c == ',';
    }
    return tab ? '\t' : semicolon ? ';' : comma ? ',' : 0;
}

bool is_blank(std::string_view l) { return l.find_first_not_of(' ') == std::string_view::npos; }

// Whether a line with something on it follows (the reader is taken by value: nothing is consumed).
bool has_more_values(ImportLines lines) {
    while (!lines.at_end())
        if (!is_blank(lines.next())) return true;
    return false;
}

class Splitter {
  public:
    Splitter(const std::string& file, char delim) : file_(file), delim_(delim) {}

    // Splits line number `line` (a range of the owned text, rewritten in place) into its fields.
    void split(char* p, char* end, long line, std::vector<std::string_view>& fields) const {
        fields.clear();
        for (;;) {
            while (p < end && *p == ' ') ++p;
            char* start = p;
            char* stop;
            if (p < end && *p == '"') {
                // Quoted: copy the content down over the opening quote, "" becoming one ".
                char* out = start;
                ++p;
                for (;;) {
                    if (p == end) throw ImportRefusal(file_, line, "a quoted field is not closed");
                    if (*p == '"') {
                        if (p + 1 < end && p[1] == '"') {
                            *out++ = '"';
                            p += 2;
                            continue;
                        }
                        ++p;
                        break;
                    }
                    *out++ = *p++;
                }
                stop = out;
                while (p < end && *p == ' ') ++p;
                if (p < end && *p != delim_) throw ImportRefusal(file_, line, "text after a closing quote");
                while (start < stop && *start == ' ') ++start;
            } else {
                while (p < end && *p != delim_) ++p;
                stop = p;
            }
            while (stop > start && stop[-1] == ' ') --stop;
            fields.emplace_back(start, static_cast<std::size_t>(stop - start));
            if (p == end) break;
            ++p;  // past the delimiter
        }
        while (!fields.empty() && fields.back().empty()) fields.pop_back();
    }

  private:
    const std::string& file_;
    char delim_;
};

// Whether no field of a line is a number: a line of column names.
bool is_header(const std::vector<std::string_view>& fields, char mark) {
    for (std::string_view f : fields)
        if (is_number(f, '.') || is_number(f, mark)) return false;
    return true;
}

// Checks field `column` (1-based) of line `line` as a value and rewrites its decimal mark in place
// (in `text`, which holds the field) to the user's separator, so that the solve commands read what
// was checked here. Beside a semicolon or a tab the mark may be a point or a comma.
void check_value(const std::string& file, long line, long column, std::string_view f, char mark, std::string& text) {
    if (f.empty()) throw ImportRefusal(file, line, column, "the value is empty");
    if (f.find(' ') != std::string_view::npos) throw ImportRefusal(file, line, column, "the value holds a blank");
    // A plain decimal needs no conversion to be checked; anything else is converted.
    char used = '.';
    if (mark == ',' && !is_plain_decimal(f, '.') && is_plain_decimal(f, ',')) used = ',';
    if (!is_plain_decimal(f, used)) {
        float v;
        const char* why = read_value(f, '.', v);
        if (why && mark == ',' && !read_value(f, ',', v)) why = nullptr, used = ',';
        if (why) throw ImportRefusal(file, line, column, quoted(f) + " " + why);
    }
    const std::size_t at = f.find(used);
    if (used != decimal_separator() && at != std::string_view::npos)
        text[static_cast<std::size_t>(f.data() - text.data()) + at] = decimal_separator();
}

}  // namespace

void read_delimited(const std::string& file, ImportedSystem& sys) {
    std::string& text = sys.owned;
    sys.text = text;
    // The marks are rewritten to the user's separator as the values are checked.
    sys.mark = decimal_separator();
    ImportLines lines(without_bom(text));
    long line = 0;
    std::string_view first;
    while (!lines.at_end() && is_blank(first)) {
        first = lines.next();
        ++line;
    }
    if (is_blank(first)) throw ImportRefusal(file, 0, "the file holds no values");
    const char delim = find_delimiter(first);
    if (delim == 0)
        throw ImportRefusal(file, line,
                            "no comma, semicolon or tab separates the values (a blank-separated system file opens "
                            "with File, Open)");
    const char mark = delim == ',' ? '.' : ',';  // a decimal comma is possible beside ; and tab
    const Splitter splitter(file, delim);
    auto range = [&](std::string_view l) {
        char* p = text.data() + (l.data() - text.data());
        return std::pair{p, p + l.size()};
    };
    std::vector<std::string_view> fields;

    auto [p0, e0] = range(first);
    splitter.split(p0, e0, line, fields);
    if (is_header(fields, mark)) {
        first = {};
        while (!lines.at_end() && is_blank(first)) {
            first = lines.next();
            ++line;
        }
        if (is_blank(first)) throw ImportRefusal(file, line, "the file holds a header line and no values");
        auto [p1, e1] = range(first);
        splitter.split(p1, e1, line, fields);
        if (is_header(fields, mark))
            throw ImportRefusal(file, line, "a second line of column names: only the first line can be a header");
    }
    if (fields.size() < 2)
        throw ImportRefusal(file, line, "a row needs the coefficients and the right-hand side: at least two values");
    const long n = static_cast<long>(fields.size()) - 1;
    if (n > kMaxImportOrder) throw OrderRefusal(file, line, n);
    sys.n = static_cast<int>(n);
    const std::size_t un = static_cast<std::size_t>(n);
    // Every value takes at least two bytes (itself and a delimiter or line end), so a file too short
    // for n rows is refused when its rows run out, before memory for them all is taken.
    sys.dense.reserve(std::min(un * un, text.size() / 2 + 1));
    sys.b.reserve(un);
    // Row i (0-based) comes from the i-th data line; `fields` holds the current one.
    for (std::size_t i = 0;; ++i) {
        if (fields.size() != un + 1)
            throw ImportRefusal(file, line,
                                "the row holds " + std::to_string(fields.size()) + " values, the first row " +
                                    std::to_string(un + 1) + " (N = " + std::to_string(n) + " and b)");
        for (std::size_t k = 0; k <= un; ++k) {
            check_value(file, line, static_cast<long>(k + 1), fields[k], mark, text);
            (k < un ? sys.dense : sys.b).push_back(fields[k]);
        }
        if (i + 1 == un) break;
        std::string_view l = lines.at_end() ? std::string_view() : lines.next();
        ++line;
        if (is_blank(l) && !has_more_values(lines))
            throw ImportRefusal(file, line,
                                "the file ends after " + std::to_string(i + 1) + " rows; a first row of " +
                                    std::to_string(un + 1) + " values needs " + std::to_string(n) +
                                    " rows (the matrix is not square)");
        if (is_blank(l)) throw ImportRefusal(file, line, "an empty line between the rows");
        auto [p, e] = range(l);
        splitter.split(p, e, line, fields);
    }
    while (!lines.at_end()) {
        ++line;
        if (!is_blank(lines.next()))
            throw ImportRefusal(file, line,
                                "more rows than the " + std::to_string(n) + " that a first row of " +
                                    std::to_string(un + 1) + " values gives (the matrix is not square)");
    }
}

}  // namespace varnex
