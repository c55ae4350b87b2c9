#include "files/matrix_market.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "core/ascii.h"
#include "core/convert.h"
#include "core/errors.h"
#include "files/import_text.h"
#include "files/text_io.h"

namespace varnex {

namespace {

enum class Format { Coordinate, Array };
enum class Field { Real, Integer, Pattern };
enum class Symmetry { General, Symmetric, Skew };

struct Header {
    Format format = Format::Array;
    Field field = Field::Real;
    Symmetry symmetry = Symmetry::General;
    long rows = 0, cols = 0, count = 0;
    long size_line = 0;
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits on blanks and tabs.
void split_ws(std::string_view line, std::vector<std::string_view>& out) {
    out.clear();
    std::size_t p = 0;
    while (p < line.size()) {
        while (p < line.size() && is_space(line[p])) ++p;
        if (p == line.size()) break;
        std::size_t q = p;
        while (q < line.size() && !is_space(line[q])) ++q;
        out.push_back(line.substr(p, q - p));
        p = q;
    }
}

std::string minus(std::string_view s) {
    std::string r(1, '-');
    return r.append(s);
}

// Walks the lines of one Matrix Market file, counting them for the refusals.
class Reader {
  public:
    Reader(const std::string& file, std::string_view text) : file_(file), text_(without_bom(text)), lines_(text_) {}

    [[noreturn]] void refuse(long line, const std::string& why) const { throw ImportRefusal(file_, line, why); }
    // Refuses the value at `tok` (a view into the text), naming its line and its place on the line.
    [[noreturn]] void refuse_value(std::string_view tok, const char* why) const {
        throw ImportRefusal(file_, line_of(text_, tok.data()), column_of(text_, tok.data()), quoted(tok) + " " + why);
    }
    long line() const { return line_; }

    // The next line that is neither empty nor a comment, split into tokens; false at the end.
    bool next(std::vector<std::string_view>& tokens) {
        while (!lines_.at_end()) {
            std::string_view l = lines_.next();
            ++line_;
            end_ = l.data() + l.size();
            split_ws(l, tokens);
            // A comment may be indented, as the banner may.
            if (!tokens.empty() && tokens[0][0] != '%') return true;
        }
        return false;
    }

    long whole(std::string_view tok) const {
        long v = 0;
        auto [end, ec] = std::from_chars(tok.data(), tok.data() + tok.size(), v);
        if (ec == std::errc::result_out_of_range && end == tok.data() + tok.size())
            refuse(line_, quoted(tok) + " is out of range");
        if (ec != std::errc() || end != tok.data() + tok.size()) refuse(line_, quoted(tok) + " is not a whole number");
        return v;
    }

    // The value of a token by the program's own conversion (the file's decimal mark is '.'); a token
    // that is no single-precision number is refused.
    float number(std::string_view tok) const {
        float v;
        if (const char* why = read_value(tok, '.', v)) refuse_value(tok, why);
        return v;
    }

    // The same check where the value itself is not needed: a plain decimal passes without conversion.
    void check(std::string_view tok) const {
        if (!is_plain_decimal(tok, '.')) number(tok);
    }

    // The value when it is needed (for b = A*1), otherwise 0 once the token is checked.
    float value(std::string_view tok, bool needed) const {
        if (needed) return number(tok);
        check(tok);
        return 0.0f;
    }

    Header header(bool rhs) {
        std::vector<std::string_view> t;
        if (lines_.at_end()) refuse(1, "the file is empty");
        std::string_view banner = lines_.next();
        line_ = 1;
        split_ws(banner, t);
        if (t.empty() || ascii_lower(t[0]) != "%%matrixmarket")
            refuse(1, "a Matrix Market file begins with %%MatrixMarket");
        if (t.size() != 5) refuse(1, "the banner needs: %%MatrixMarket matrix format field symmetry");
        if (ascii_lower(t[1]) != "matrix") refuse(1, "only a matrix can be imported, not " + quoted(t[1]));
        Header h;
        const std::string format = ascii_lower(t[2]), field = ascii_lower(t[3]), symmetry = ascii_lower(t[4]);
        if (format == "coordinate")
            h.format = Format::Coordinate;
        else if (format != "array")
            refuse(1, "unknown format " + quoted(t[2]) + " (coordinate or array)");
        if (field == "complex") refuse(1, "complex values cannot be solved here: real, integer or pattern only");
        if (field == "integer")
            h.field = Field::Integer;
        else if (field == "pattern")
            h.field = Field::Pattern;
        else if (field != "real")
            refuse(1, "unknown field " + quoted(t[3]) + " (real, integer or pattern)");
        if (h.field == Field::Pattern && h.format == Format::Array)
            refuse(1, "a pattern matrix is written in coordinate format");
        if (symmetry == "hermitian") refuse(1, "a Hermitian matrix is complex: real, integer or pattern only");
        if (symmetry == "symmetric")
            h.symmetry = Symmetry::Symmetric;
        else if (symmetry == "skew-symmetric")
            h.symmetry = Symmetry::Skew;
        else if (symmetry != "general")
            refuse(1, "unknown symmetry " + quoted(t[4]) + " (general, symmetric or skew-symmetric)");

        if (!next(t)) refuse(line_, "the size line is missing");
        h.size_line = line_;
        const std::size_t want = h.format == Format::Coordinate ? 3 : 2;
        if (t.size() != want)
            refuse(line_, h.format == Format::Coordinate ? "the size line needs: rows columns entries"
                                                         : "the size line needs: rows columns");
        h.rows = whole(t[0]);
        h.cols = whole(t[1]);
        if (want == 3) h.count = whole(t[2]);
        if (h.rows < 0 || h.cols < 0 || h.count < 0) refuse(line_, "the size line holds a negative number");
        if (rhs) {
            if (h.symmetry != Symmetry::General) refuse(1, "a right-hand side is a general matrix");
            return h;
        }
        if (h.rows != h.cols)
            refuse(line_, "the matrix is " + std::to_string(h.rows) + " x " + std::to_string(h.cols) +
                              ": only a square matrix makes a system of equations");
        if (h.rows < 1) refuse(line_, "the matrix has no rows");
        if (h.rows > kMaxImportOrder) throw OrderRefusal(file_, line_, h.rows);
        if (h.format == Format::Coordinate && h.count > h.rows * h.rows)
            refuse(line_, "the size line announces more entries than an " + std::to_string(h.rows) + " x " +
                              std::to_string(h.rows) + " matrix has");
        return h;
    }

    // Calls fn(k, token, plain) for the values k = 0, 1, .. of an array file, exactly `want` of them,
    // `plain` telling that the token is a plain decimal (is_plain_decimal), which needs no conversion
    // to be checked. An order-2000 array is four million lines of one value each, so the rest of the
    // file is scanned in one pass over its bytes rather than line by line; line numbers are counted
    // only for a refusal.
    template <class Fn>
    void array_values(const Header& h, long long want, Fn&& fn) {
        const char* p = end_;
        const char* const end = text_.data() + text_.size();
        bool line_start = false;
        long long k = 0;
        for (;;) {
            while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) {
                line_start |= *p == '\n' || *p == '\r';
                ++p;
            }
            if (p == end) break;
            if (*p == '%' && line_start) {  // a comment line, up to its LF or lone CR
                while (p < end && *p != '\n' && *p != '\r') ++p;
                continue;
            }
            // The token's end, and whether it is a plain decimal, in one pass.
            const char* q = plain_decimal_end(p, end, '.');
            const bool plain = q != p && (q == end || *q == ' ' || *q == '\t' || *q == '\r' || *q == '\n');
            while (q < end && *q != ' ' && *q != '\t' && *q != '\r' && *q != '\n') ++q;
            if (k == want)
                refuse(line_of(text_, p), "more values than the size line (line " + std::to_string(h.size_line) +
                                              ") gives room for: " + std::to_string(want));
            fn(k++, std::string_view(p, static_cast<std::size_t>(q - p)), plain);
            line_start = false;
            p = q;
        }
        if (k < want)
            refuse(h.size_line, "the size line gives room for " + std::to_string(want) + " values, the file holds " +
                                    std::to_string(k));
    }

    // Calls fn(i, j, token) for the entries of a coordinate file, with i and j checked against the
    // size line; a pattern entry's token is "1".
    template <class Fn>
    void coordinate_entries(const Header& h, Fn&& fn) {
        std::vector<std::string_view> t;
        const std::size_t want = h.field == Field::Pattern ? 2 : 3;
        const std::string size_line = "the size line (line " + std::to_string(h.size_line) + ")";
        long k = 0;
        while (next(t)) {
            if (t.size() != want)
                refuse(line_, want == 2 ? "a pattern entry is: row column" : "an entry is: row column value");
            if (k == h.count)
                refuse(line_, "more entries than the " + std::to_string(h.count) + " that " + size_line + " announces");
            const long i = whole(t[0]), j = whole(t[1]);
            if (i < 1 || i > h.rows)
                refuse(line_, "row " + std::to_string(i) + " lies outside 1.." + std::to_string(h.rows) + " given by " +
                                  size_line);
            if (j < 1 || j > h.cols)
                refuse(line_, "column " + std::to_string(j) + " lies outside 1.." + std::to_string(h.cols) +
                                  " given by " + size_line);
            fn(static_cast<int32_t>(i), static_cast<int32_t>(j), want == 2 ? std::string_view("1") : t[2]);
            ++k;
        }
        if (k < h.count)
            refuse(h.size_line, "the size line announces " + std::to_string(h.count) + " entries, the file holds " +
                                    std::to_string(k));
    }

  private:
    const std::string& file_;
    std::string_view text_;
    ImportLines lines_;
    long line_ = 0;
    const char* end_ = nullptr;  ///< just past the last line that next() returned
};

// The text of -v for the text of v: a leading minus dropped, a plus turned into a minus, otherwise a
// minus put in front.
std::string_view negated(ImportedSystem& sys, std::string_view tok) {
    if (!tok.empty() && tok[0] == '-') return tok.substr(1);
    if (!tok.empty() && tok[0] == '+') return sys.keep(minus(tok.substr(1)));
    return sys.keep(minus(tok));
}

void read_array(Reader& r, const Header& h, ImportedSystem& sys, bool values) {
    const int n = sys.n;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    const bool general = h.symmetry == Symmetry::General;
    // An array file lists the matrix down its columns, so the dense form is kept in that order.
    sys.column_major = true;
    // Value k runs down the columns: a(i,j) with j = k / n, i = k % n (0-based) in a general file; a
    // symmetric file lists column j from the diagonal down, a skew-symmetric one from below the
    // diagonal, and the strict upper half is their mirror.
    const long long want = general                             ? static_cast<long long>(nn)
                           : h.symmetry == Symmetry::Symmetric ? static_cast<long long>(n) * (n + 1) / 2
                                                               : static_cast<long long>(n) * (n - 1) / 2;
    // A value takes at least two bytes (itself and its line end): a size line that the file is too
    // short for is refused before memory for the whole matrix is taken.
    if (static_cast<long long>(sys.text.size()) < 2 * want - 1)
        r.refuse(h.size_line,
                 "the size line gives room for " + std::to_string(want) + " values, more than the file can hold");
    if (general) {
        if (sys.text.size() > UINT32_MAX) r.refuse(0, "an array file of 4 GiB or more is beyond what Import reads");
        sys.offsets.resize(nn);
        sys.lengths.resize(nn);
        if (values) sys.dense_values.resize(nn);
        uint32_t* off = sys.offsets.data();
        uint16_t* len = sys.lengths.data();
        float* v = sys.dense_values.data();
        const char* base = sys.text.data();
        r.array_values(h, want, [&](long long k, std::string_view tok, bool plain) {
            if (tok.size() > UINT16_MAX)
                r.refuse(line_of(sys.text, tok.data()), "a value of more than 65535 characters");
            off[k] = static_cast<uint32_t>(tok.data() - base);
            len[k] = static_cast<uint16_t>(tok.size());
            // Every value is checked, and kept only for b = A*1.
            if (values)
                v[k] = r.number(tok);
            else if (!plain)
                r.number(tok);
        });
        return;
    }
    sys.dense.assign(nn, std::string_view("0"));
    if (values) sys.dense_values.assign(nn, 0.0f);
    auto put = [&](std::size_t at, std::string_view tok, float v) {
        sys.dense[at] = tok;
        if (values) sys.dense_values[at] = v;
    };
    std::size_t i = h.symmetry == Symmetry::Symmetric ? 0 : 1, j = 0;
    r.array_values(h, want, [&](long long, std::string_view tok, bool plain) {
        const float v = values ? r.number(tok) : plain ? 0.0f : (r.number(tok), 0.0f);
        put(j * n + i, tok, v);
        if (h.symmetry == Symmetry::Symmetric && i != j) put(i * n + j, tok, v);
        if (h.symmetry == Symmetry::Skew) put(i * n + j, negated(sys, tok), -v);
        if (++i == static_cast<std::size_t>(n)) {
            ++j;
            i = h.symmetry == Symmetry::Symmetric ? j : j + 1;
        }
    });
}

void read_coordinate(Reader& r, const Header& h, ImportedSystem& sys, bool values) {
    sys.sparse = true;
    auto& e = sys.entries;
    // An entry line takes at least six bytes ("1 1 1" and its line end); the reservation trusts the
    // size line only as far as the file can hold it.
    const std::size_t given = std::min(static_cast<std::size_t>(h.count), sys.text.size() / 6 + 1);
    e.reserve(h.symmetry == Symmetry::General ? given : 2 * given);
    r.coordinate_entries(h, [&](int32_t i, int32_t j, std::string_view tok) {
        const int32_t line = static_cast<int32_t>(r.line());
        const float v = r.value(tok, values);
        if (h.symmetry == Symmetry::Skew && i == j) r.refuse(line, "a skew-symmetric matrix has no diagonal entries");
        e.push_back({i, j, line, tok, v});
        if (h.symmetry == Symmetry::Symmetric && i != j) e.push_back({j, i, line, tok, v});
        if (h.symmetry == Symmetry::Skew) e.push_back({j, i, line, negated(sys, tok), -v});
    });
    std::sort(e.begin(), e.end(),
              [](const auto& a, const auto& b) { return a.row != b.row ? a.row < b.row : a.col < b.col; });
    for (std::size_t k = 1; k < e.size(); ++k) {
        if (e[k].row == e[k - 1].row && e[k].col == e[k - 1].col)
            r.refuse(std::max(e[k].line, e[k - 1].line),
                     "entry (" + std::to_string(e[k].row) + ", " + std::to_string(e[k].col) + ") is given twice" +
                         (h.symmetry == Symmetry::General ? "" : " (with its mirror)"));
    }
}

}  // namespace

void read_matrix_market(const std::string& file, ImportedSystem& sys, bool values) {
    Reader r(file, sys.text);
    const Header h = r.header(false);
    sys.n = static_cast<int>(h.rows);
    if (h.format == Format::Array)
        read_array(r, h, sys, values);
    else
        read_coordinate(r, h, sys, values);
}

void read_matrix_market_rhs(const std::string& file, ImportedSystem& sys) {
    Reader r(file, sys.b_text);
    const Header h = r.header(true);
    if (h.rows != sys.n || h.cols != 1)
        r.refuse(h.size_line, "the right-hand side is " + std::to_string(h.rows) + " x " + std::to_string(h.cols) +
                                  ", the matrix needs " + std::to_string(sys.n) + " x 1");
    sys.b.assign(static_cast<std::size_t>(sys.n), std::string_view("0"));
    if (h.format == Format::Array) {
        r.array_values(h, sys.n, [&](long long k, std::string_view tok, bool plain) {
            if (!plain) r.number(tok);
            sys.b[static_cast<std::size_t>(k)] = tok;
        });
        return;
    }
    std::vector<bool> seen(static_cast<std::size_t>(sys.n), false);
    r.coordinate_entries(h, [&](int32_t i, int32_t, std::string_view tok) {
        if (seen[static_cast<std::size_t>(i - 1)]) r.refuse(r.line(), "b(" + std::to_string(i) + ") is given twice");
        seen[static_cast<std::size_t>(i - 1)] = true;
        r.check(tok);
        sys.b[static_cast<std::size_t>(i - 1)] = tok;
    });
}

}  // namespace varnex
