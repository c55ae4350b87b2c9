// The numerics of the accuracy report: the condition estimate against one LAPACK dgetrf call; the
// residual pass's cancel flag and NaN; the reference solution against exact rational solutions of the
// stored single-precision systems (every float is a rational, so the exact solution is one too),
// which its refinement with the extended residual must reach.
#include "core/accuracy.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>

#include "core/errors.h"
#include "core/reference.h"
#include "support/systems.h"

extern "C" {
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgecon_(const char* norm, const int* n, const double* a, const int* lda, const double* anorm, double* rcond,
             double* work, int* iwork, int* info, std::size_t norm_len);
}

namespace varnex {
namespace {

const std::atomic<bool> kGoOn{false};

SquareMatrix matrix(int n, auto&& a) {
    return test::memory_system(n, [&](int i, int j) { return static_cast<float>(j > n ? 0.0 : a(i, j)); }).A;
}

double kappa(const SquareMatrix& m, int n, ConditionBlocks blocks = {}) {
    double k = 0;
    EXPECT_TRUE(condition_estimate(m, n, kGoOn, k, blocks));
    return k;
}

// Small panels and strips besides the default ones, so that every boundary of the factorization is
// crossed: the estimate must be the one after a single dgetrf call, on random matrices and on the
// Hilbert matrix of order 8 times lcm(1..15) = 360360 (integers exact in single precision), whose
// kappa1 = 3.3872e10 lies beyond what single precision can hold.
TEST(ConditionEstimate, AgreesWithOneLapackCallAndSaysWhatSinglePrecisionCannotHold) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n : {1, 2, 17, 129, 300, 8}) {
        SCOPED_TRACE(n);
        const SquareMatrix m =
            matrix(n, [&](int i, int j) { return n == 8 ? 360360.0 / (i + j - 1) : u(gen) + (i == j ? 0.5 : 0.0); });
        std::vector<double> a(static_cast<std::size_t>(n) * n), work(4 * n);
        std::vector<int> ipiv(n), iwork(n);
        double anorm = 0, rcond = 0;
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int i = 0; i < n; ++i) s += std::fabs(a[j * n + i] = m(i + 1, j + 1));
            anorm = std::max(anorm, s);
        }
        int info = 0;
        dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
        dgecon_("1", &n, a.data(), &n, &anorm, &rcond, work.data(), iwork.data(), &info, 1);
        EXPECT_NEAR(kappa(m, n, ConditionBlocks{32, 64}), 1 / rcond, 1e-6 / rcond);
        EXPECT_NEAR(kappa(m, n), 1 / rcond, 1e-6 / rcond);
        EXPECT_EQ(beyond_single_precision(kappa(m, n)), n == 8);
    }
    // Exactly singular; the empty system.
    const SquareMatrix s = matrix(3, [](int i, int j) { return i == 3 ? 0.0 : i + j; });
    EXPECT_TRUE(std::isinf(kappa(s, 3)) && beyond_single_precision(kappa(s, 3)));
    EXPECT_EQ(kappa(s, 0), 1.0);
}

TEST(Accuracy, ResidualPassesStopWhenCancelledAndKeepANotANumber) {
    const int n = 300;
    const SquareMatrix m = matrix(n, [](int i, int j) { return i == j ? 2.0 : 0.0; });
    const std::vector<float> b(n + 1, 1.0f);
    std::vector<float> x(n + 1, 0.5f);
    const std::atomic<bool> stop{true};
    double k = 0;
    ResidualNorms norms;
    EXPECT_FALSE(condition_estimate(m, n, stop, k));
    EXPECT_FALSE(residual_in_memory(m, b, x, n, stop, norms));
    ASSERT_TRUE(residual_in_memory(m, b, x, n, kGoOn, norms));
    EXPECT_TRUE(norms.residual == 0.0 && norms.norm_a == 2.0 && norms.backward_error() == 0.0);
    x[n] = std::nanf("");  // fmax would drop it from the maximum
    ASSERT_TRUE(residual_in_memory(m, b, x, n, kGoOn, norms));
    EXPECT_TRUE(std::isnan(norms.residual));
    x.resize(n);
    EXPECT_THROW(residual_in_memory(m, b, x, n, kGoOn, norms), RunError);
}

// x* of A(1..N, 1..N) x = B by Gaussian elimination in exact rationals.
std::vector<mpq_class> exact_solution(const SystemState& s) {
    const int n = s.N;
    std::vector<std::vector<mpq_class>> m(n, std::vector<mpq_class>(n + 1));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) m[i][j] = s.A(i + 1, j + 1);
        m[i][n] = s.B[i + 1];
    }
    for (int k = 0; k < n; ++k) {
        int p = k;
        while (m[p][k] == 0) ++p;
        std::swap(m[p], m[k]);
        for (int i = k + 1; i < n; ++i) {
            const mpq_class f = m[i][k] / m[k][k];
            for (int j = k; j <= n; ++j) m[i][j] -= f * m[k][j];
        }
    }
    std::vector<mpq_class> x(n);
    for (int i = n - 1; i >= 0; --i) {
        mpq_class v = m[i][n];
        for (int j = i + 1; j < n; ++j) v -= m[i][j] * x[j];
        x[i] = v / m[i][i];
    }
    return x;
}

// The reference of `s` is within its own normwise and componentwise bounds of the exact solution.
void expect_within_bounds(const SystemState& s, SystemAnalysis& an) {
    ASSERT_TRUE(analyse_system(s.A, s.B, s.N, kGoOn, an));
    const ReferenceSolution& ref = an.reference;
    ASSERT_TRUE(ref.claimed) << ref.why_not << " kappa1 " << an.kappa1;
    EXPECT_LE(ref.steps, kMaxRefinementSteps);
    const std::vector<mpq_class> x = exact_solution(s);
    double err = 0.0, norm = 0.0;
    for (int i = 0; i < s.N; ++i) {
        const mpq_class diff = mpq_class(ref.x[i + 1]) - x[i];
        const double d = std::fabs(diff.get_d()), xi = std::fabs(x[i].get_d());
        err = std::fmax(err, d);
        norm = std::fmax(norm, xi);
        // The relative error of a zero component has no bound.
        if (xi > 0.0) {
            EXPECT_LE(d, ref.componentwise * xi) << "component " << i + 1;
        }
    }
    EXPECT_LE(err, ref.normwise * norm);
    EXPECT_LT(ref.normwise, 1e-12);
}

TEST(Reference, WellConditionedAndHilbertSystemsWithinTheirBounds) {
    // Small integer systems, diagonally dominant; Hilbert matrices rounded to single precision with
    // b = 1, kappa1 up to about 1e13 at order 10.
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> coef(-20, 20);
    for (int n : {1, 3, 12, 6, 7, 8, 9, 10}) {
        SCOPED_TRACE(n);
        const bool hilbert = n >= 6 && n <= 10;
        SystemAnalysis an;
        expect_within_bounds(test::memory_system(n,
                                                 [&](int i, int j) {
                                                     return hilbert ? (j > n ? 1.0f : 1.0f / float(i + j - 1))
                                                                    : float(coef(gen) + (i == j ? 41 : 0));
                                                 }),
                             an);
    }
}

TEST(Reference, NoneClaimedWhereDoublePrecisionHasNoRoom) {
    // Upper triangular, 1 on the diagonal and -1 above it: kappa1 grows as 2^n, about 1e19 at order 60.
    const int n = 60;
    const SystemState s = test::memory_system(n, [](int i, int j) {
        return i == j || j > n ? 1.0f : i < j ? -1.0f : 0.0f;
    });
    SystemAnalysis an;
    ASSERT_TRUE(analyse_system(s.A, s.B, n, kGoOn, an));
    EXPECT_TRUE(an.kappa1 * 0x1p-53 > 1.0 && !an.reference.claimed && an.reference.x.empty() &&
                !an.reference.why_not.empty());
    // Singular in double precision: no reference, kappa1 infinite.
    const SystemState z = test::memory_system(2, [](int, int j) { return j > 2 ? 0.0f : 1.0f; });
    ASSERT_TRUE(analyse_system(z.A, z.B, 2, kGoOn, an));
    EXPECT_TRUE(std::isinf(an.kappa1) && !an.reference.claimed);
    // A cancelled analysis says so.
    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(analyse_system(s.A, s.B, n, cancelled, an));
}

}  // namespace
}  // namespace varnex
