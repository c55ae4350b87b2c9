// The reference solution: one LU factorization of a double copy of A, then extra-precise iterative
// refinement in the manner of LAPACK's: each residual b - A x^ is summed in twice double precision
// (every product of a single-precision a(i,j) and a split x^(j) is exact in double, and the sums
// keep their rounding errors), the correction comes from the same factors, and the refinement ends
// when the correction stops shrinking or is below double precision.

#include "core/reference.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "core/accuracy.h"
#include "core/errors.h"

extern "C" {
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
             double* b, const int* ldb, int* info, std::size_t trans_len);
}

namespace varnex {

namespace {

constexpr double kUnitDouble = 0x1p-53;
// A refinement step must shrink the correction at least by this factor to count as progress.
constexpr double kShrink = 0.5;
// A reference whose normwise bound is above this is no better than single precision could check.
constexpr double kClaimBound = 0x1p-30;

bool cancelled(const std::atomic<bool>& cancel) { return cancel.load(std::memory_order_relaxed); }

// Solves LU d = r in place (r 0-based).
void lu_solve(const double* lu, const int* ipiv, int n, std::vector<double>& r) {
    const int one = 1;
    int info = 0;
    dgetrs_("N", &n, &one, lu, &n, ipiv, r.data(), &n, &info, 1);
}

double max_abs(const double* v, int n) {
    double m = 0.0;
    for (int i = 0; i < n; ++i) m = std::fmax(m, std::fabs(v[i]));
    return m;
}

// Refines x (1-based) against A x = B with the factors lu/ipiv; fills the bounds of `ref`.
bool refine(const SquareMatrix& A, const std::vector<float>& B, int n, const double* lu, const int* ipiv,
            const std::atomic<bool>& cancel, ReferenceSolution& ref) {
    std::vector<double> r(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) r[i] = B[i + 1];
    lu_solve(lu, ipiv, n, r);
    std::vector<double>& x = ref.x;
    x.assign(static_cast<std::size_t>(n) + 1, 0.0);
    std::copy(r.begin(), r.end(), x.begin() + 1);
    double prev = std::numeric_limits<double>::infinity();
    double last = prev;  // the last correction, applied or not: the error of x is about its size
    std::vector<double> d_last;
    for (ref.steps = 0; ref.steps < kMaxRefinementSteps;) {
        if (cancelled(cancel)) return false;
        extended_residual(A, B, x, n, r);
        lu_solve(lu, ipiv, n, r);
        ++ref.steps;
        const double nd = max_abs(r.data(), n);
        const double nx = max_abs(x.data() + 1, n);
        last = nd;
        d_last = r;
        // A correction that has stopped shrinking is noise: x keeps its value.
        if (!(nd <= kShrink * prev)) break;
        for (int i = 0; i < n; ++i) x[i + 1] += r[i];
        if (nd <= kUnitDouble * nx) break;
        prev = nd;
    }
    const double floor = std::max(10.0, std::sqrt(static_cast<double>(n))) * kUnitDouble;
    const double nx = max_abs(x.data() + 1, n);
    ref.normwise = nx > 0.0 ? std::max(floor, last / nx) : (last == 0.0 ? floor : 1.0);
    double comp = floor;
    for (int i = 0; i < n; ++i) {
        const double xi = std::fabs(x[i + 1]), di = std::fabs(d_last[i]);
        if (di == 0.0) continue;
        comp = xi > 0.0 ? std::max(comp, di / xi) : std::numeric_limits<double>::infinity();
    }
    ref.componentwise = comp;
    return true;
}

}  // namespace

std::uint64_t reference_bytes(int n) {
    return static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n) * sizeof(double);
}

void extended_residual(const SquareMatrix& A, const std::vector<float>& B, const std::vector<double>& x, int n,
                       std::vector<double>& r) {
    std::vector<double> hi(static_cast<std::size_t>(n)), lo(static_cast<std::size_t>(n), 0.0);
    for (int i = 0; i < n; ++i) hi[i] = B[i + 1];
    for (int j = 1; j <= n; ++j) {
        // -x(j) split into two halves of at most 26 significant bits each: the product of either
        // with a 24-bit a(i,j) is exact in double.
        const double xj = -x[j];
        const double c = 134217729.0 * xj;  // 2^27 + 1
        const double xh = c - (c - xj);
        const double xl = xj - xh;
        const float* col = A.col(j) + 1;
        for (int i = 0; i < n; ++i) {
            const double a = col[i];
            const double p = a * xh;
            // hi + p exactly as s + e (Knuth's two-sum); the errors gather in lo.
            const double s = hi[i] + p;
            const double bb = s - hi[i];
            const double e = (hi[i] - (s - bb)) + (p - bb);
            hi[i] = s;
            lo[i] += e + a * xl;
        }
    }
    r.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) r[i] = hi[i] + lo[i];
}

bool analyse_system(const SquareMatrix& A, const std::vector<float>& B, int n, const std::atomic<bool>& cancel,
                    SystemAnalysis& out, ConditionBlocks blocks) {
    out = SystemAnalysis{};
    if (n <= 0) return true;
    if (A.upper() < n || B.size() < static_cast<std::size_t>(n) + 1) raise(ErrorKind::Subscript);
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    ensure_memory(nn * sizeof(double));
    // Left uninitialised: the copy writes every element.
    std::unique_ptr<double[]> lu(new (std::nothrow) double[nn]);
    std::vector<int> ipiv;
    try {
        ipiv.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    }
    if (!lu) raise(ErrorKind::OutOfMemory);
    double anorm = 0.0;
    if (!copy_to_double(A, n, cancel, lu.get(), anorm)) return false;
    bool singular = false;
    if (!lu_factor(lu.get(), n, ipiv.data(), cancel, singular, blocks)) return false;
    if (cancelled(cancel)) return false;
    out.conditioned = true;
    out.kappa1 = singular ? std::numeric_limits<double>::infinity() : condition_from_lu(lu.get(), n, anorm);
    ReferenceSolution& ref = out.reference;
    if (singular || anorm == 0.0) {
        ref.why_not = "A is singular in double precision";
        return true;
    }
    // LAPACK's threshold for an ill-conditioned system: no digit of the reference could be vouched for.
    if (!(out.kappa1 * n * kUnitDouble < 1.0)) {
        ref.why_not = "\u03ba\u2081 \u2248 " + g3(out.kappa1) + " leaves double precision no digit to vouch for";
        return true;
    }
    if (!refine(A, B, n, lu.get(), ipiv.data(), cancel, ref)) return false;
    ref.claimed = ref.normwise <= kClaimBound && std::isfinite(max_abs(ref.x.data() + 1, n));
    if (!ref.claimed) {
        ref.why_not = "the refinement did not converge (bound " + g3(ref.normwise) + ")";
        ref.x.clear();
    }
    return true;
}

bool load_row_file_system(const std::string& path, int n, const std::atomic<bool>& cancel, SquareMatrix& A,
                          std::vector<float>& B) {
    A.dim(n);
    dim_cleared(B, n);
    if (n <= 0) return true;
    return for_each_equation(path, n, cancel, [&](int i, const float* a) {
        for (int j = 1; j <= n; ++j) A(i, j) = a[j - 1];
        B[i] = a[n];
    });
}

}  // namespace varnex
