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

// One delimited file read row by row: its lines with their numbers, the delimiter and decimal mark
// found on the first line, and the fields of the current row as views into the owned text, which
// the splitting and the checks rewrite in place.
class DelimitedReader {
  public:
    DelimitedReader(const std::string& file, std::string& text) : file_(file), text_(text), lines_(without_bom(text)) {}

    long line() const { return line_; }
    const std::vector<std::string_view>& fields() const { return fields_; }

    // Finds the delimiter on the first line with something on it and reads the first row, past a
    // header line, into fields().
    void read_first_row() {
        std::string_view first = next_filled_line();
        if (is_blank(first)) throw ImportRefusal(file_, 0, "the file holds no values");
        delim_ = find_delimiter(first);
        if (delim_ == 0)
            throw ImportRefusal(file_, line_,
                                "no comma, semicolon or tab separates the values (a blank-separated system file "
                                "opens with File, Open)");
        mark_ = delim_ == ',' ? '.' : ',';  // a decimal comma is possible beside ; and tab
        split(first);
        if (!is_header(fields_, mark_)) return;
        first = next_filled_line();
        if (is_blank(first)) throw ImportRefusal(file_, line_, "the file holds a header line and no values");
        split(first);
        if (is_header(fields_, mark_))
            throw ImportRefusal(file_, line_, "a second line of column names: only the first line can be a header");
    }

    // Checks the current row, of the order n, and appends its values to the system.
    void take_row(long n, ImportedSystem& sys) {
        const std::size_t un = static_cast<std::size_t>(n);
        if (fields_.size() != un + 1)
            throw ImportRefusal(file_, line_,
                                "the row holds " + std::to_string(fields_.size()) + " values, the first row " +
                                    std::to_string(un + 1) + " (N = " + std::to_string(n) + " and b)");
        for (std::size_t k = 0; k <= un; ++k) {
            check_value(file_, line_, static_cast<long>(k + 1), fields_[k], mark_, text_);
            (k < un ? sys.dense : sys.b).push_back(fields_[k]);
        }
    }

    // Reads the row after the `rows` read so far into fields(): the next line, which must hold values.
    void read_next_row(std::size_t rows, long n) {
        std::string_view l = lines_.at_end() ? std::string_view() : lines_.next();
        ++line_;
        if (is_blank(l) && !has_more_values(lines_))
            throw ImportRefusal(file_, line_,
                                "the file ends after " + std::to_string(rows) + " rows; a first row of " +
                                    std::to_string(n + 1) + " values needs " + std::to_string(n) +
                                    " rows (the matrix is not square)");
        if (is_blank(l)) throw ImportRefusal(file_, line_, "an empty line between the rows");
        split(l);
    }

    // After the last row only blank lines may follow.
    void refuse_more_rows(long n) {
        while (!lines_.at_end()) {
            ++line_;
            if (!is_blank(lines_.next()))
                throw ImportRefusal(file_, line_,
                                    "more rows than the " + std::to_string(n) + " that a first row of " +
                                        std::to_string(n + 1) + " values gives (the matrix is not square)");
        }
    }

  private:
    // The next line with something on it, or a blank view when the file has none left.
    std::string_view next_filled_line() {
        std::string_view l;
        while (!lines_.at_end() && is_blank(l)) {
            l = lines_.next();
            ++line_;
        }
        return l;
    }

    // Splits a line of the owned text, rewritten in place, into its fields.
    void split(std::string_view l) {
        char* p = text_.data() + (l.data() - text_.data());
        char* const end = p + l.size();
        fields_.clear();
        for (;;) {
            while (p < end && *p == ' ') ++p;
            char* start = p;
            char* stop;
            if (p < end && *p == '"') {
                stop = unquote(p, end);
                while (p < end && *p == ' ') ++p;
                if (p < end && *p != delim_) throw ImportRefusal(file_, line_, "text after a closing quote");
                while (start < stop && *start == ' ') ++start;
            } else {
                while (p < end && *p != delim_) ++p;
                stop = p;
            }
            while (stop > start && stop[-1] == ' ') --stop;
            fields_.emplace_back(start, static_cast<std::size_t>(stop - start));
            if (p == end) break;
            ++p;  // past the delimiter
        }
        while (!fields_.empty() && fields_.back().empty()) fields_.pop_back();
    }

    // A quoted field at p: copies its content down over the opening quote, "" becoming one ", leaves
    // p past the closing quote and returns the end of the copied content.
    char* unquote(char*& p, char* end) const {
        char* out = p++;
        for (;;) {
            if (p == end) throw ImportRefusal(file_, line_, "a quoted field is not closed");
            if (*p == '"') {
                if (p + 1 < end && p[1] == '"') {
                    *out++ = '"';
                    p += 2;
                    continue;
                }
                ++p;
                return out;
            }
            *out++ = *p++;
        }
    }

    const std::string& file_;
    std::string& text_;
    ImportLines lines_;
    long line_ = 0;
    char delim_ = 0;
    char mark_ = '.';
    std::vector<std::string_view> fields_;
};

}  // namespace

void read_delimited(const std::string& file, ImportedSystem& sys) {
    std::string& text = sys.owned;
    sys.text = text;
    // The marks are rewritten to the user's separator as the values are checked.
    sys.mark = decimal_separator();
    DelimitedReader reader(file, text);
    reader.read_first_row();
    if (reader.fields().size() < 2)
        throw ImportRefusal(file, reader.line(),
                            "a row needs the coefficients and the right-hand side: at least two values");
    const long n = static_cast<long>(reader.fields().size()) - 1;
    if (n > kMaxImportOrder) throw OrderRefusal(file, reader.line(), n);
    sys.n = static_cast<int>(n);
    const std::size_t un = static_cast<std::size_t>(n);
    // Every value takes at least two bytes (itself and a delimiter or line end), so a file too short
    // for n rows is refused when its rows run out, before memory for them all is taken.
    sys.dense.reserve(std::min(un * un, text.size() / 2 + 1));
    sys.b.reserve(un);
    // Row i (0-based) comes from the i-th data line.
    for (std::size_t i = 0;; ++i) {
        reader.take_row(n, sys);
        if (i + 1 == un) break;
        reader.read_next_row(i + 1, n);
    }
    reader.refuse_more_rows(n);
}

}  // namespace varnex
