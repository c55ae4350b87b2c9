// Import of a Matrix Market file, with its NAME_b.mtx or without one (then b = A·1): the input is the
// matrix file, followed after a byte 0x01 by the right-hand side file when there is one. The system
// that lands in the grid, or the refusal, must be what the format says, read here again from its
// description: banner, % comments, size line, entries or array values, mirrored halves.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <map>

#include "fuzz/import_oracle.h"

using namespace varnex;
using namespace varnex::fuzz;

namespace {

std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> w;
    std::string cur;
    for (char c : line + ' ') {
        if (c == ' ' || c == '\t') {
            if (!cur.empty()) w.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    return w;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

bool comment_or_blank(const std::string& line) {
    const std::vector<std::string> w = words_of(line);
    return w.empty() || w[0][0] == '%';
}

// A whole number: an optional minus and digits, within a long.
std::optional<long> whole_of(const std::string& s) {
    long v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s[0] == '+') return std::nullopt;
    return v;
}

struct Read {
    bool ok = false;
    bool too_large = false;  ///< a matrix of an order beyond the one asked for
    bool coordinate = false, pattern = false;
    std::string symmetry;
    long rows = 0, cols = 0;
    // (row, column) -> value, for a coordinate file; the values down the columns for an array.
    std::vector<std::pair<std::pair<long, long>, float>> entries;
    std::vector<float> values;
};

// Everything one Matrix Market file says, or !ok. `rhs`: a right-hand side (general only, any size).
Read read_file(std::string_view text, bool rhs, long max_order) {
    Read r;
    const std::vector<std::string> lines = import_lines_of(text);
    if (lines.empty()) return r;
    const std::vector<std::string> banner = words_of(lines[0]);
    if (banner.size() != 5 || lower(banner[0]) != "%%matrixmarket" || lower(banner[1]) != "matrix") return r;
    const std::string format = lower(banner[2]), field = lower(banner[3]);
    r.symmetry = lower(banner[4]);
    if (format != "coordinate" && format != "array") return r;
    if (field != "real" && field != "integer" && field != "pattern") return r;
    if (r.symmetry != "general" && r.symmetry != "symmetric" && r.symmetry != "skew-symmetric") return r;
    r.coordinate = format == "coordinate";
    r.pattern = field == "pattern";
    if (r.pattern && !r.coordinate) return r;
    std::size_t k = 1;
    while (k < lines.size() && comment_or_blank(lines[k])) ++k;
    if (k == lines.size()) return r;
    const std::vector<std::string> size = words_of(lines[k++]);
    if (size.size() != (r.coordinate ? 3u : 2u)) return r;
    std::vector<long> s;
    for (const std::string& w : size) {
        const std::optional<long> v = whole_of(w);
        if (!v || *v < 0) return r;
        s.push_back(*v);
    }
    r.rows = s[0], r.cols = s[1];
    const long count = r.coordinate ? s[2] : 0;
    if (rhs && r.symmetry != "general") return r;
    if (!rhs && (r.rows != r.cols || r.rows < 1 || r.rows > 16381 || count > r.rows * r.rows)) return r;
    if (rhs && (r.rows > max_order || r.cols > max_order)) return r;
    if (!rhs && r.rows > max_order) {
        r.too_large = true;  // never imported: see kFuzzMaxOrder
        return r;
    }
    std::vector<std::string> words;  // the rest of the file, comment lines left out
    for (; k < lines.size(); ++k) {
        if (comment_or_blank(lines[k])) continue;
        const std::vector<std::string> w = words_of(lines[k]);
        if (r.coordinate) {
            if (w.size() != (r.pattern ? 2u : 3u)) return r;
            const std::optional<long> i = whole_of(w[0]), j = whole_of(w[1]);
            if (!i || !j || *i < 1 || *i > r.rows || *j < 1 || *j > r.cols) return r;
            const std::optional<float> v = r.pattern ? std::optional<float>(1.0f) : number_of(w[2]);
            if (!v) return r;
            r.entries.push_back({{*i, *j}, *v});
        } else {
            words.insert(words.end(), w.begin(), w.end());
        }
    }
    if (r.coordinate) {
        r.ok = static_cast<long>(r.entries.size()) == count;
        return r;
    }
    const long n = r.rows;
    const long want = rhs || r.symmetry == "general" ? r.rows * r.cols
                      : r.symmetry == "symmetric"    ? n * (n + 1) / 2
                                                     : n * (n - 1) / 2;
    if (static_cast<long>(words.size()) != want) return r;
    for (const std::string& w : words) {
        const std::optional<float> v = number_of(w);
        if (!v) return r;
        r.values.push_back(*v);
    }
    r.ok = true;
    return r;
}

// The matrix of a file read whole, with its mirrored half; false for an entry given twice or a
// skew-symmetric diagonal.
bool fill_matrix(const Read& m, Expected& e) {
    const long n = m.rows;
    e.n = n;
    e.a.assign(static_cast<std::size_t>(n * n), 0.0f);
    std::vector<bool> given(static_cast<std::size_t>(n * n), false);
    auto put = [&](long i, long j, float v) {
        const std::size_t at = static_cast<std::size_t>((i - 1) * n + j - 1);
        if (given[at]) return false;
        given[at] = true;
        e.a[at] = v;
        return true;
    };
    const bool sym = m.symmetry == "symmetric", skew = m.symmetry == "skew-symmetric";
    if (m.coordinate) {
        for (const auto& [ij, v] : m.entries) {
            const auto [i, j] = ij;
            if (skew && i == j) return false;
            if (!put(i, j, v)) return false;
            if ((sym && i != j) || skew)
                if (!put(j, i, skew ? -v : v)) return false;
        }
        return true;
    }
    // Down the columns: all of each column, from the diagonal (symmetric) or below it (skew) on.
    std::size_t k = 0;
    for (long j = 1; j <= n; ++j)
        for (long i = sym ? j : skew ? j + 1 : 1; i <= n; ++i) {
            const float v = m.values[k++];
            put(i, j, v);
            if (i != j && (sym || skew)) put(j, i, skew ? -v : v);
        }
    return true;
}

// The right-hand side: an n x 1 file, absent coordinates 0, none given twice; or A·1 summed left to
// right in single precision when there is no file.
bool fill_rhs(const std::optional<std::string_view>& b_text, Expected& e) {
    const long n = e.n;
    e.b.assign(static_cast<std::size_t>(n), 0.0f);
    if (!b_text) {
        for (long i = 0; i < n; ++i) {
            float s = 0.0f;
            for (long j = 0; j < n; ++j) s += e.a[static_cast<std::size_t>(i * n + j)];
            if (!std::isfinite(s)) return false;
            e.b[static_cast<std::size_t>(i)] = s;
        }
        return true;
    }
    const Read r = read_file(*b_text, true, n);
    if (!r.ok || r.rows != n || r.cols != 1) return false;
    if (!r.coordinate) {
        e.b = r.values;
        return true;
    }
    std::vector<bool> given(static_cast<std::size_t>(n), false);
    for (const auto& [ij, v] : r.entries) {
        const std::size_t at = static_cast<std::size_t>(ij.first - 1);
        if (given[at]) return false;
        given[at] = true;
        e.b[at] = v;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzApp f;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\x01');
    const std::string_view matrix = input.substr(0, cut);
    std::optional<std::string_view> rhs;
    if (cut != std::string_view::npos) rhs = input.substr(cut + 1);

    const Read m = read_file(matrix, false, kFuzzMaxOrder);
    if (m.too_large) return 0;
    Expected want;
    want.ok = m.ok && fill_matrix(m, want) && fill_rhs(rhs, want);

    before_import(f);
    const std::string b_path = f.app.app_folder + "/data/m_b.mtx";
    std::filesystem::remove(b_path);
    if (rhs) f.write("data/m_b.mtx", *rhs);
    const bool landed = import_system(f.app, f.write("data/m.mtx", matrix));
    check_import(f, landed, want, {"m.mtx", "m_b.mtx"});
    return 0;
}
