#pragma once
// What the import readers share about text as other programs write it: a UTF-8 byte-order mark
// before the first line, lines ended by LF, CR LF or a lone CR, and values checked by the program's
// own text-to-number conversion whatever decimal mark the file uses.

#include <string>
#include <string_view>

namespace varnex {

/// The text without the UTF-8 byte-order mark (EF BB BF) that spreadsheets and some editors put
/// before the first line.
std::string_view without_bom(std::string_view text);

/// Walks the lines of a text that ends them with LF, CR LF or a lone CR (as old Mac programs do);
/// a text that ends with a line end has no empty line after it.
class ImportLines {
  public:
    explicit ImportLines(std::string_view text) : rest_(text) {}
    bool at_end() const { return rest_.empty(); }
    /// The next line without its line end; only while !at_end().
    std::string_view next();

  private:
    std::string_view rest_;
};

/// 1-based number of the line of `text` (ended as ImportLines ends them) that holds the byte at `at`.
long line_of(std::string_view text, const char* at);

/// 1-based position, among the blank-, tab- or `delimiter`-separated values of its line, of the
/// value that starts at `at`; for a refusal's "column".
long column_of(std::string_view text, const char* at, char delimiter = ' ');

/// A value for a message: in double quotes, cut to 40 characters.
std::string quoted(std::string_view value);

/// Where the longest plain decimal at the start of [p, end) ends (p when there is none): an optional
/// sign, digits with at most one mark `mark`, one digit at least, at most 38 digits before the mark.
/// The number conversion reads every such text (its magnitude stays below 1E+38), so an import that
/// does not need the value itself checks these, nearly every value of a file, without converting
/// them; a scan finds a token's end and its form in one pass.
inline const char* plain_decimal_end(const char* p, const char* end, char mark) {
    const char* const start = p;
    if (p < end && (*p == '-' || *p == '+')) ++p;
    const char* const whole = p;
    while (p < end && static_cast<unsigned char>(*p - '0') < 10) ++p;
    const bool whole_digits = p != whole;
    if (p - whole > 38) return start;
    if (p < end && *p == mark) {
        const char* const fraction = ++p;
        while (p < end && static_cast<unsigned char>(*p - '0') < 10) ++p;
        if (!whole_digits && p == fraction) return start;
    } else if (!whole_digits) {
        return start;
    }
    return p;
}

/// Whether the whole of `value` is a plain decimal (see plain_decimal_end).
inline bool is_plain_decimal(std::string_view value, char mark) {
    return !value.empty() &&
           plain_decimal_end(value.data(), value.data() + value.size(), mark) == value.data() + value.size();
}

/// Reads `value`, written with the decimal mark `mark`, by the program's text-to-number conversion
/// into `out`. Returns nullptr when it is a single-precision number, otherwise why not: "is not a
/// number" or "is out of the single-precision range".
const char* read_value(std::string_view value, char mark, float& out);

}  // namespace varnex
