// The condition estimate against matrices of known condition and against one LAPACK dgetrf call,
// and the residual pass's cancel flag and NaN.
#include "core/accuracy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/errors.h"
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

TEST(ConditionEstimate, KnownConditionsWithinAFactorOfThree) {
    // diag(10^3, 1, 10^5, 10, 10^4, 100): kappa1 = 10^5.
    const int power[6] = {3, 0, 5, 1, 4, 2};
    const SquareMatrix d = matrix(6, [&](int i, int j) { return i == j ? std::pow(10.0, power[i - 1]) : 0.0; });
    EXPECT_NEAR(kappa(d, 6), 1e5, 1e-7);
    EXPECT_FALSE(beyond_single_precision(1e5));
    // Hilbert of order 8 times lcm(1..15) = 360360, so that every entry is an integer exact in single
    // precision: kappa1 = 3.3872e10, as for the Hilbert matrix itself.
    const SquareMatrix h = matrix(8, [](int i, int j) { return 360360.0 / (i + j - 1); });
    const double kh = kappa(h, 8);
    EXPECT_GT(kh, 3.3872e10 / 3);
    EXPECT_LT(kh, 3.3872e10 * 1.001);  // an estimate from below
    EXPECT_TRUE(beyond_single_precision(kh));
    // Exactly singular; the empty system.
    const SquareMatrix s = matrix(3, [](int i, int j) { return i == 3 ? 0.0 : i + j; });
    EXPECT_TRUE(std::isinf(kappa(s, 3)) && beyond_single_precision(kappa(s, 3)));
    EXPECT_EQ(kappa(s, 0), 1.0);
}

// Small panels and strips here, so that every boundary of the factorization is crossed: the estimate
// must be the one after a single dgetrf call.
TEST(ConditionEstimate, PanelwiseFactorizationAgreesWithOneLapackCall) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n : {1, 2, 17, 129, 300}) {
        SCOPED_TRACE(n);
        const SquareMatrix m = matrix(n, [&](int i, int j) { return u(gen) + (i == j ? 0.5 : 0.0); });
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
    EXPECT_TRUE(norms.residual == 0.0 && norms.norm_a == 2.0 && norms.backward_error() == 0.0);
    x[n] = std::nanf("");  // fmax would drop it from the maximum
    ASSERT_TRUE(residual_in_memory(m, b, x, n, kGoOn, norms));
    EXPECT_TRUE(std::isnan(norms.residual));
    x.resize(n);
    EXPECT_THROW(residual_in_memory(m, b, x, n, kGoOn, norms), RunError);
}

}  // namespace
}  // namespace varnex
