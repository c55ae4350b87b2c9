// Import of delimited text (CSV, TSV): the input is the file. The system that lands in the grid, or
// the refusal, must be what the format says, read here again from its description: the delimiter of
// the first line, one header line at most, quoted fields, a decimal comma beside ; and tab, N rows of
// N + 1 values, each a single-precision number.
#include <cctype>
#include <cstdint>

#include "files/packed_input.h"
#include "fuzz/import_oracle.h"

using namespace varnex;
using namespace varnex::fuzz;

namespace {

bool blank(const std::string& line) { return line.find_first_not_of(' ') == std::string::npos; }

std::string trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// The fields of a line, or nothing for an unclosed quote or text after a closing one. Blanks around
// a field and empty fields at the end go.
std::optional<std::vector<std::string>> fields_of(const std::string& line, char delim) {
    std::vector<std::string> out;
    std::size_t p = 0;
    for (;;) {
        while (p < line.size() && line[p] == ' ') ++p;
        std::string field;
        if (p < line.size() && line[p] == '"') {
            for (++p;; ++p) {
                if (p == line.size()) return std::nullopt;
                if (line[p] == '"' && p + 1 < line.size() && line[p + 1] == '"') {
                    field += '"';
                    ++p;
                } else if (line[p] == '"') {
                    ++p;
                    break;
                } else {
                    field += line[p];
                }
            }
            while (p < line.size() && line[p] == ' ') ++p;
            if (p < line.size() && line[p] != delim) return std::nullopt;
        } else {
            while (p < line.size() && line[p] != delim) field += line[p++];
        }
        out.push_back(trim(field));
        if (p >= line.size()) break;
        ++p;
    }
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

// A value: a number with a point, or (beside ; and tab) with a comma instead.
std::optional<float> value_of(const std::string& f, bool comma) {
    if (f.empty() || f.find(' ') != std::string::npos) return std::nullopt;
    if (const std::optional<float> v = number_of(f)) return v;
    if (!comma || f.find('.') != std::string::npos) return std::nullopt;
    std::string g = f;
    for (char& c : g) c = c == ',' ? '.' : c;
    return number_of(g);
}

// The form of a number with the decimal mark `mark`, whatever its magnitude: a sign, digits with at
// most one mark (one digit at least), an exponent of E or e, a sign and digits. A line of fields none
// of which has it is a header.
bool number_form(const std::string& f, char mark) {
    std::size_t p = 0, digits = 0;
    if (p < f.size() && (f[p] == '+' || f[p] == '-')) ++p;
    for (; p < f.size() && std::isdigit(static_cast<unsigned char>(f[p])); ++p) ++digits;
    if (p < f.size() && f[p] == mark)
        for (++p; p < f.size() && std::isdigit(static_cast<unsigned char>(f[p])); ++p) ++digits;
    if (digits == 0) return false;
    if (p < f.size() && (f[p] == 'e' || f[p] == 'E')) {
        ++p;
        if (p < f.size() && (f[p] == '+' || f[p] == '-')) ++p;
        std::size_t e = 0;
        for (; p < f.size() && std::isdigit(static_cast<unsigned char>(f[p])); ++p) ++e;
        if (e == 0) return false;
    }
    return p == f.size();
}

// Whether the text begins with the Matrix Market banner (after a byte-order mark and blanks): such a
// file is read as Matrix Market whatever its name.
bool matrix_market(std::string_view t) {
    if (t.substr(0, 3) == "\xEF\xBB\xBF") t.remove_prefix(3);
    while (!t.empty() && (t[0] == ' ' || t[0] == '\t')) t.remove_prefix(1);
    std::string head(t.substr(0, 14));
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return head == "%%matrixmarket";
}

Expected expect(std::string_view text) {
    Expected e;
    const std::vector<std::string> lines = import_lines_of(text);
    std::size_t k = 0;
    while (k < lines.size() && blank(lines[k])) ++k;
    if (k == lines.size()) return e;
    bool in_quotes = false, tab = false, semicolon = false, comma = false;
    for (char c : lines[k]) {
        if (c == '"')
            in_quotes = !in_quotes;
        else if (!in_quotes)
            tab |= c == '\t', semicolon |= c == ';', comma |= c == ',';
    }
    const char delim = tab ? '\t' : semicolon ? ';' : comma ? ',' : 0;
    if (delim == 0) return e;
    const bool decimal_comma = delim != ',';
    auto header = [&](const std::vector<std::string>& fs) {
        for (const std::string& f : fs)
            if (number_form(f, '.') || (decimal_comma && number_form(f, ','))) return false;
        return true;
    };
    std::optional<std::vector<std::string>> row = fields_of(lines[k], delim);
    if (!row) return e;
    if (header(*row)) {
        for (++k; k < lines.size() && blank(lines[k]); ++k) {
        }
        if (k == lines.size()) return e;
        row = fields_of(lines[k], delim);
        if (!row || header(*row)) return e;
    }
    if (row->size() < 2 || row->size() - 1 > 16381) return e;
    const std::size_t n = row->size() - 1;
    e.n = static_cast<long>(n);
    // Row 1 is at line k, each next row on the line after, none blank.
    for (std::size_t i = 0;;) {
        if (row->size() != n + 1) return e;
        for (std::size_t j = 0; j <= n; ++j) {
            const std::optional<float> v = value_of((*row)[j], decimal_comma);
            if (!v) return e;
            (j < n ? e.a : e.b).push_back(*v);
        }
        if (++i == n) break;
        if (++k == lines.size() || blank(lines[k])) return e;
        row = fields_of(lines[k], delim);
        if (!row) return e;
    }
    for (++k; k < lines.size(); ++k)
        if (!blank(lines[k])) return e;
    e.ok = true;
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzApp f;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Matrix Market text and compressed bytes are read as such, whatever the name: other targets'.
    if (matrix_market(text) || packed_kind(text.substr(0, 512))) return 0;
    const Expected want = expect(text);
    if (want.n > kFuzzMaxOrder) return 0;
    before_import(f);
    const bool landed = import_system(f.app, f.write("data/s.csv", text));
    check_import(f, landed, want, {"s.csv"});
    return 0;
}
