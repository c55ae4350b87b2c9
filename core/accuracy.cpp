// The true residual and the norms of a system, in memory and over the row file, and the report's
// text. Every sum here is a double-precision sum of products of single-precision values; nothing is
// written back into the state.

#include "core/accuracy.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <optional>

#include "core/cancel_check.h"
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

bool for_each_equation(const std::string& path, int n, const std::atomic<bool>& cancel,
                       const std::function<void(int, const float*)>& fn) {
    RowFile f;
    f.open(path);
    // A file that holds the whole system is read in one sequential pass by the solver's own row
    // stream (streamed past memory, mapped otherwise); a shorter one record by record, 0 beyond its
    // end as the solver reads it. The records of equation i follow each other from (n+1)(i-1) + 1 on.
    const std::uint64_t whole = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n + 1) * kRecordLength -
                                (kRecordLength - 4);
    std::optional<RowStream> rows;
    if (f.size() >= whole) rows.emplace(f, n);
    std::vector<float> row(static_cast<std::size_t>(n) + 1);
    for (int i = 1; i <= n; ++i) {
        if (cancelled_at(CancelStep::RowFilePass, cancel)) return false;
        const float* a = row.data();
        if (rows) {
            a = rows->next();
        } else {
            const std::int64_t first = static_cast<std::int64_t>(n + 1) * (i - 1);
            for (int j = 1; j <= n + 1; ++j) row[static_cast<std::size_t>(j) - 1] = f.record(first + j);
        }
        fn(i, a);
    }
    return true;
}

bool residual_from_row_file(const std::string& path, int n, const std::vector<float>& X,
                            const std::atomic<bool>& cancel, ResidualNorms& out) {
    out = ResidualNorms{};
    if (n <= 0) return true;
    if (X.size() < static_cast<std::size_t>(n) + 1) raise(ErrorKind::Subscript);
    for (int j = 1; j <= n; ++j) out.norm_x = std::fmax(out.norm_x, std::fabs(static_cast<double>(X[j])));
    // One equation at a time: its residual component, its row sum and its right-hand side.
    return for_each_equation(path, n, cancel, [&](int, const float* a) {
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
    });
}

bool beyond_single_precision(double kappa1) { return !(kappa1 * 0x1p-24 < 1.0); }

}  // namespace varnex
