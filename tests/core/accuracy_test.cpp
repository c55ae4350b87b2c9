// The condition estimate against matrices whose condition is known or computed here independently,
// the blocked factorization against one LAPACK call, and the cancel flag of every pass.
#include "core/accuracy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/errors.h"

extern "C" {
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgecon_(const char* norm, const int* n, const double* a, const int* lda, const double* anorm, double* rcond,
             double* work, int* iwork, int* info, std::size_t norm_len);
}

namespace varnex {
namespace {

const std::atomic<bool> kGoOn{false};

SquareMatrix matrix(int n, auto&& a) {
    SquareMatrix m;
    m.dim(n);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) m(i, j) = static_cast<float>(a(i, j));
    return m;
}

double kappa(const SquareMatrix& m, int n) {
    double k = 0;
    EXPECT_TRUE(condition_estimate(m, n, kGoOn, k));
    return k;
}

// ||A||_1 ||A^-1||_1 with the inverse by Gauss-Jordan elimination in long double.
long double exact_kappa1(const SquareMatrix& m, int n) {
    std::vector<std::vector<long double>> a(n, std::vector<long double>(2 * n));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) a[i][j] = m(i + 1, j + 1);
        a[i][n + i] = 1;
    }
    for (int k = 0; k < n; ++k) {
        int p = k;
        for (int i = k + 1; i < n; ++i)
            if (std::fabs(a[i][k]) > std::fabs(a[p][k])) p = i;
        std::swap(a[k], a[p]);
        for (int i = 0; i < n; ++i) {
            if (i == k) continue;
            const long double f = a[i][k] / a[k][k];
            for (int j = k; j < 2 * n; ++j) a[i][j] -= f * a[k][j];
        }
    }
    long double norm = 0, inv = 0;
    for (int j = 0; j < n; ++j) {
        long double s = 0, t = 0;
        for (int i = 0; i < n; ++i) {
            s += std::fabs(static_cast<long double>(m(i + 1, j + 1)));
            t += std::fabs(a[i][n + j] / a[i][i]);
        }
        norm = std::max(norm, s);
        inv = std::max(inv, t);
    }
    return norm * inv;
}

TEST(ConditionEstimate, KnownConditionsWithinAFactorOfThree) {
    // diag(1, 10, ..., 10^5) in a permuted order: kappa1 = 10^5 exactly.
    const int perm[6] = {3, 0, 5, 1, 4, 2};
    const SquareMatrix d = matrix(6, [&](int i, int j) { return i == j ? std::pow(10.0, perm[i - 1]) : 0.0; });
    EXPECT_NEAR(kappa(d, 6), 1e5, 1e5 * 1e-12);
    EXPECT_FALSE(beyond_single_precision(1e5));

    // Hilbert of order 8 as single-precision values: about 3.4e10, beyond single precision.
    const SquareMatrix h = matrix(8, [](int i, int j) { return 1.0 / (i + j - 1); });
    const double kh = kappa(h, 8);
    const double ref = static_cast<double>(exact_kappa1(h, 8));
    EXPECT_GT(kh, ref / 3);
    EXPECT_LE(kh, ref * (1 + 1e-6));  // an estimate from below
    EXPECT_GT(kh, 1e9);
    EXPECT_TRUE(beyond_single_precision(kh));

    // Exactly singular, and the empty system.
    const SquareMatrix s = matrix(3, [](int i, int j) { return i == 3 ? 0.0 : i + j; });
    EXPECT_TRUE(std::isinf(kappa(s, 3)));
    EXPECT_TRUE(beyond_single_precision(kappa(s, 3)));
    EXPECT_EQ(kappa(s, 0), 1.0);
    EXPECT_TRUE(beyond_single_precision(std::nan("")));
}

// Orders around the panel and strip widths of the factorization (made small here, so that every
// boundary is crossed): its estimate must be the one that a single dgetrf call gives, and close to
// the true condition.
TEST(ConditionEstimate, PanelwiseFactorizationAgreesWithOneLapackCall) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n : {1, 2, 17, 129, 257, 300}) {
        SCOPED_TRACE(n);
        const SquareMatrix m = matrix(n, [&](int i, int j) { return u(gen) + (i == j ? 0.5 : 0.0); });
        std::vector<double> a(static_cast<std::size_t>(n) * n);
        double anorm = 0;
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int i = 0; i < n; ++i) s += std::fabs(a[j * n + i] = m(i + 1, j + 1));
            anorm = std::max(anorm, s);
        }
        std::vector<int> ipiv(n), iwork(n);
        std::vector<double> work(4 * n);
        int info = 0;
        dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
        double rcond = 0;
        dgecon_("1", &n, a.data(), &n, &anorm, &rcond, work.data(), iwork.data(), &info, 1);
        double k = 0;
        ASSERT_TRUE(condition_estimate(m, n, kGoOn, k, ConditionBlocks{32, 64}));
        EXPECT_NEAR(k, 1 / rcond, 1e-6 / rcond);
        EXPECT_NEAR(kappa(m, n), 1 / rcond, 1e-6 / rcond);
        if (n <= 257) EXPECT_GT(k, static_cast<double>(exact_kappa1(m, n)) / 3);
    }
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
    EXPECT_EQ(norms.residual, 0.0);
    EXPECT_EQ(norms.norm_a, 2.0);
    EXPECT_EQ(norms.backward_error(), 0.0);
    // A NaN in X must not vanish from the maximum.
    x[n] = std::nanf("");
    ASSERT_TRUE(residual_in_memory(m, b, x, n, kGoOn, norms));
    EXPECT_TRUE(std::isnan(norms.residual));
    x.resize(n);
    EXPECT_THROW(residual_in_memory(m, b, x, n, kGoOn, norms), RunError);
}

}  // namespace
}  // namespace varnex
