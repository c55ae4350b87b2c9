// The true residual and the norms of a system, in memory and over the row file, and the report's
// text. Every sum here is a double-precision sum of products of single-precision values; nothing is
// written back into the state.

#include "core/accuracy.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "core/errors.h"
#include "core/row_file.h"
#include "core/row_stream.h"

namespace varnex {

double ResidualNorms::backward_error() const {
    const double denom = norm_a * norm_x + norm_b;
    if (residual == 0.0 && denom == 0.0) return 0.0;
    return residual / denom;
}

bool residual_in_memory(const SquareMatrix& A, const std::vector<float>& B, const std::vector<float>& X, int n,
                        const std::atomic<bool>& cancel, ResidualNorms& out) {
    out = ResidualNorms{};
    if (n <= 0) return true;
    const std::size_t len = static_cast<std::size_t>(n) + 1;
    if (A.upper() < n || B.size() < len || X.size() < len) raise(ErrorKind::Subscript);
    // r(i) = -b(i) + sum over j of a(i,j) x(j), and the row sums of |a(i,j)|, gathered column by
    // column because A is stored by columns; index 0 of both vectors is unused.
    std::vector<double> r(len), rowsum(len);
    for (int i = 1; i <= n; ++i) r[i] = -static_cast<double>(B[i]);
    for (int j = 1; j <= n; ++j) {
        if (cancel.load(std::memory_order_relaxed)) return false;
        const float* col = A.col(j);
        const double xj = X[j];
        for (int i = 1; i <= n; ++i) {
            const double a = col[i];
            r[i] += a * xj;
            rowsum[i] += std::fabs(a);
        }
        out.norm_x = std::fmax(out.norm_x, std::fabs(xj));
    }
    for (int i = 1; i <= n; ++i) {
        // fmax would drop a NaN; a residual that is not a number must show as one.
        const double ri = std::fabs(r[i]);
        if (std::isnan(ri) || ri > out.residual) out.residual = ri;
        out.norm_a = std::fmax(out.norm_a, rowsum[i]);
        out.norm_b = std::fmax(out.norm_b, std::fabs(static_cast<double>(B[i])));
    }
    return true;
}

namespace {

// Equation i of the connected system of order n, record by record: row[0..n-1] = a(i,1..n),
// row[n] = b(i). The records of one equation follow each other in the file, from (n+1)(i-1) + 1 on.
// Used for a file that ends before the system does: the reader gives 0 beyond its end.
void read_equation(const RowFile& f, int i, int n, std::vector<float>& row) {
    const std::int64_t first = static_cast<std::int64_t>(n + 1) * (i - 1);
    for (int j = 1; j <= n + 1; ++j) row[static_cast<std::size_t>(j) - 1] = f.record(first + j);
}

}  // namespace

bool residual_from_row_file(const std::string& path, int n, const std::vector<float>& X,
                            const std::atomic<bool>& cancel, ResidualNorms& out) {
    out = ResidualNorms{};
    if (n <= 0) return true;
    if (X.size() < static_cast<std::size_t>(n) + 1) raise(ErrorKind::Subscript);
    RowFile f;
    f.open(path);
    // A file that holds the whole system is read in one sequential pass by the solver's own row
    // stream (streamed past memory, mapped otherwise); a shorter one record by record.
    const std::uint64_t whole = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n + 1) * kRecordLength -
                                (kRecordLength - 4);
    std::optional<RowStream> rows;
    if (f.size() >= whole) rows.emplace(f, n);
    std::vector<float> row(static_cast<std::size_t>(n) + 1);
    for (int j = 1; j <= n; ++j) out.norm_x = std::fmax(out.norm_x, std::fabs(static_cast<double>(X[j])));
    // One equation at a time: its residual component, its row sum and its right-hand side.
    for (int i = 1; i <= n; ++i) {
        if (cancel.load(std::memory_order_relaxed)) return false;
        const float* a = row.data();
        if (rows) {
            a = rows->next();
        } else {
            read_equation(f, i, n, row);
        }
        double ri = -static_cast<double>(a[n]);
        double sum = 0.0;
        for (int j = 1; j <= n; ++j) {
            const double aij = a[j - 1];
            ri += aij * static_cast<double>(X[j]);
            sum += std::fabs(aij);
        }
        ri = std::fabs(ri);
        if (std::isnan(ri) || ri > out.residual) out.residual = ri;
        out.norm_a = std::fmax(out.norm_a, sum);
        out.norm_b = std::fmax(out.norm_b, std::fabs(static_cast<double>(a[n])));
    }
    return true;
}

bool beyond_single_precision(double kappa1) { return !(kappa1 * 0x1p-24 < 1.0); }

namespace {

// Three significant digits in the C form (1.23e-05, inf, nan), whatever the locale.
std::string g3(double v) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 3);
    return std::string(buf, res.ptr);
}

// A JSON number in the shortest form that reads back to the same double, or null for inf and NaN.
std::string json_number(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string report_line(const AccuracyReport& r) {
    std::string line = std::to_string(r.sweeps) + (r.sweeps == 1 ? " sweep, " : " sweeps, ") + r.ending;
    if (r.pending) return line + " \u00b7 computing accuracy\u2026";
    if (!r.measured) return r.note.empty() ? line : line + " \u00b7 " + r.note;
    line += " \u00b7 \u2016A\u00b7x \u2212 b\u2016\u221e = " + g3(r.norms.residual);
    line += " \u00b7 backward error " + g3(r.backward_error);
    if (r.conditioned) {
        line += " \u00b7 \u03ba\u2081 \u2248 " + g3(r.kappa1);
        if (r.beyond_single) line += ": single precision cannot resolve this system.";
    } else if (!r.note.empty()) {
        line += " \u00b7 " + r.note;
    }
    return line;
}

std::string report_json_fields(const AccuracyReport& r) {
    std::string s = "\"sweeps\": " + std::to_string(r.sweeps) + ", \"ending\": " + json_string(r.ending);
    if (r.measured) {
        s += ", \"residual\": " + json_number(r.norms.residual);
        s += ", \"norm_a\": " + json_number(r.norms.norm_a);
        s += ", \"norm_x\": " + json_number(r.norms.norm_x);
        s += ", \"norm_b\": " + json_number(r.norms.norm_b);
        s += ", \"backward_error\": " + json_number(r.backward_error);
    }
    if (r.conditioned) {
        s += ", \"kappa1\": " + json_number(r.kappa1);
        s += std::string(", \"single_precision_unresolvable\": ") + (r.beyond_single ? "true" : "false");
    }
    if (!r.note.empty()) s += ", \"note\": " + json_string(r.note);
    return s;
}

}  // namespace varnex
