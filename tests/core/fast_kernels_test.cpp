// The fast elimination and sweep against their plain twins, bit for bit: completed runs, zero pivots
// and faults leave the same Aw, Bw, X, R, Er and grid texts, and raise the same error.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/elim_kernels.h"
#include "core/errors.h"
#include "core/fp_env.h"
#include "core/gauss_blocked.h"
#include "core/numerics.h"
#include "core/sweep_kernels.h"
#include "support/fakes.h"

namespace varnex {
namespace {

#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
constexpr bool kSlowBuild = true;  // sanitizer and debug builds keep the largest orders out
#else
constexpr bool kSlowBuild = false;
#endif

bool same_bits(const void* a, const void* b, std::size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

// The numbers of a system; SystemState itself is not copyable (it owns the row file).
struct Sys {
    int n = 0;
    SquareMatrix A;
    std::vector<float> B, X, R, D;
};

// What a run leaves behind.
struct Outcome {
    SquareMatrix Aw;
    std::vector<float> Bw, X, R;
    float Er = 0.0f;
    std::optional<ErrorKind> error;
};

// Runs f on a fresh state loaded with s and collects the outcome.
template <class Run>
Outcome run(const Sys& s, Run f) {
    SystemState st;
    st.N = static_cast<int16_t>(s.n);
    st.DataMode = kModeMemory;
    st.A = s.A;
    st.B = s.B;
    st.X = s.X;
    st.R = s.R;
    st.D = s.D;
    Outcome o;
    try {
        f(st);
    } catch (const RunError& e) {
        o.error = e.kind();
    }
    o.Aw = st.Aw;
    o.Bw = st.Bw;
    o.X = st.X;
    o.R = st.R;
    o.Er = st.Er;
    return o;
}

// A system of order n; `fill` gives a(i,j) (j = N+1 for b(i)).
template <class F>
Sys make_system(int n, F fill) {
    Sys s;
    s.n = n;
    s.A.dim(n);
    dim_cleared(s.B, n);
    dim_cleared(s.X, n);
    dim_cleared(s.R, n);
    dim_cleared(s.D, n);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) s.A(i, j) = fill(i, j);
        s.B[i] = fill(i, n + 1);
        s.X[i] = 0.25f * static_cast<float>(i);  // a starting approximation the elimination may keep
    }
    return s;
}

Sys random_system(int n, unsigned seed, int min_exp = 0, int max_exp = 0) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_int_distribution<int> e(min_exp, max_exp);
    return make_system(n, [&](int, int) { return std::ldexp(u(gen), e(gen)); });
}

// Block upper triangular: a dominant dense block in rows and columns 1..kz-1, zeros below it, and an
// upper triangular rest whose diagonal entry kz is `dkz`. The elimination reaches step kz unchanged;
// dkz = 0 stops it there at once, dkz < 0 after exchanging row kz with the zero row below.
Sys zero_pivot_system(int n, int kz, float dkz, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    return make_system(n, [&](int i, int j) {
        const float v = u(gen);
        if (j == n + 1 || i < j) return v;
        if (i == j) return i == kz ? dkz : 4.0f + v;
        return i < kz ? v : 0.0f;
    });
}

// Returns the plain loop's error, if any.
std::optional<ErrorKind> expect_same_elimination(const Sys& start, const ElimKernels& kern, int panel, int threads) {
    const int n = start.n;
    const Outcome plain = run(start, [](SystemState& s) { gauss_solution_plain(s); });
    const Outcome fast = run(start, [&](SystemState& s) { gauss_solution_blocked(s, kern, panel, threads); });
    SCOPED_TRACE(testing::Message() << "N=" << n << " kernels=" << kern.name << " panel=" << panel);
    EXPECT_EQ(plain.error, fast.error);
    const std::size_t cells = static_cast<std::size_t>(n + 1) * (n + 1);
    EXPECT_TRUE(same_bits(plain.Aw.data(), fast.Aw.data(), cells * sizeof(float))) << "Aw" << [&] {
        for (std::size_t c = 0; c < cells; ++c)
            if (!same_bits(&plain.Aw.data()[c], &fast.Aw.data()[c], sizeof(float)))
                return testing::Message() << ": first at (" << c % (n + 1) << "," << c / (n + 1) << ") "
                                          << plain.Aw.data()[c] << " vs " << fast.Aw.data()[c];
        return testing::Message();
    }();
    EXPECT_TRUE(same_bits(plain.Bw.data(), fast.Bw.data(), (n + 1) * sizeof(float))) << "Bw";
    EXPECT_TRUE(same_bits(plain.X.data(), fast.X.data(), (n + 1) * sizeof(float))) << "X";
    return plain.error;
}

std::vector<const ElimKernels*> all_elim_kernels() {
    std::vector<const ElimKernels*> k{&elim_kernels_scalar()};
    if (elim_kernels_avx512()) k.push_back(elim_kernels_avx512());
    return k;
}

TEST(FastElimination, RandomSystemsOfAwkwardOrdersAndPanelEdges) {
    for (int n : {1, 2, 3, 17, 100, 257, 1000}) {
        if (kSlowBuild && n > 257) continue;
        expect_same_elimination(random_system(n, 7u + n), elim_kernels_best(), kPanelWidth, 2);
    }
    // Orders around one and two panels of 8, each kernel set, one and two threads.
    for (const ElimKernels* k : all_elim_kernels()) {
        for (int n : {7, 8, 9, 15, 16, 17, 23, 24, 25, 33})
            for (int threads : {1, 2}) expect_same_elimination(random_system(n, 100u + n), *k, 8, threads);
        for (int n : {63, 64, 65, 129}) expect_same_elimination(random_system(n, 200u + n), *k, kPanelWidth, 1);
    }
    // Large enough for the second thread to take part.
    if (!kSlowBuild) expect_same_elimination(random_system(400, 5u), elim_kernels_best(), kPanelWidth, 2);
}

TEST(FastElimination, ZeroPivotsAtManyPositionsStopWithThePlainState) {
    const int n = 150;
    for (const ElimKernels* k : all_elim_kernels()) {
        for (int kz : {1, 2, 7, 8, 9, 63, 64, 65, 66, 100, 128, 129, 149, 150}) {
            if (kSlowBuild && kz % 8 != 0 && kz % 8 != 1) continue;
            for (float d : {0.0f, -0.0f, -1.0f}) {
                const Sys st = zero_pivot_system(n, kz, d, 31u * kz);
                SCOPED_TRACE(testing::Message() << "kz=" << kz << " d=" << d);
                expect_same_elimination(st, *k, kPanelWidth, 2);
                expect_same_elimination(st, *k, 8, 1);
            }
        }
    }
}

TEST(FastElimination, DenormalsAndOverflowFaults) {
    ASSERT_TRUE(flush_to_zero_off());
    for (const ElimKernels* k : all_elim_kernels()) {
        // Magnitudes from 2^-140 to 1: products and quotients deep in the denormal range.
        for (int n : {17, 70}) expect_same_elimination(random_system(n, 3u + n, -140, 0), *k, 8, 2);
        // Magnitudes up to 2^126 and down to 2^-126: the elimination overflows part of the way.
        int faults = 0;
        for (unsigned seed = 1; seed <= 6; ++seed) {
            const Sys st = random_system(90, seed, -126, 126);
            faults += expect_same_elimination(st, *k, 8, 1).has_value();
            expect_same_elimination(st, *k, kPanelWidth, 2);
        }
        EXPECT_GE(faults, 3);
    }
    // Unit upper triangular with -1e20 above the diagonal: X grows by 1e20 per row in the back
    // substitution and overflows there, after a clean elimination.
    const Sys tri = make_system(40, [](int i, int j) { return j > 40 ? 1.0f : i == j ? 1.0f : i < j ? -1e20f : 0.0f; });
    const Outcome o = run(tri, [](SystemState& s) { gauss_solution(s); });
    EXPECT_EQ(o.error, ErrorKind::Overflow);
    expect_same_elimination(tri, elim_kernels_best(), 8, 1);
}

TEST(FastElimination, PublishedMatricesWithZeroPivotsMidway) {
    if (test::testdata_dir().empty()) GTEST_SKIP() << "test matrices not present";
    for (const char* name : {"west0067.txt", "impcol_a.txt", "fs_183_1.txt", "494_bus.txt"}) {
        if (kSlowBuild && std::string(name) == "494_bus.txt") continue;
        std::ifstream in(test::testdata_dir() + "/" + name);
        std::vector<float> v;
        for (float x; in >> x;) v.push_back(x);
        const int n = static_cast<int>(std::lround((-1.0 + std::sqrt(1.0 + 4.0 * v.size())) / 2.0));
        ASSERT_EQ(static_cast<std::size_t>(n) * (n + 1), v.size()) << name;
        const Sys st = make_system(n, [&](int i, int j) { return v[(i - 1) * (n + 1) + (j - 1)]; });
        for (const ElimKernels* k : all_elim_kernels()) {
            expect_same_elimination(st, *k, kPanelWidth, 2);
            expect_same_elimination(st, *k, 8, 1);
        }
    }
}

// --- The sweep ---

// Sweeps a loaded copy `sweeps` times with a grid in the system layout; the grid's approximation
// column goes to `texts`.
template <class Sweep>
Outcome sweep_copy(const Sys& start, int sweeps, std::vector<std::string>& texts, Sweep f) {
    const int n = start.n;
    return run(start, [&](SystemState& st) {
        GridModel grid;
        grid.fill_data(static_cast<int16_t>(n));
        try {
            for (int k = 0; k < sweeps; ++k) f(st, grid);
        } catch (...) {
            for (int i = 1; i <= n; ++i) texts.push_back(grid.text(i, 2 * n + 3));
            throw;
        }
        for (int i = 1; i <= n; ++i) texts.push_back(grid.text(i, 2 * n + 3));
    });
}

void expect_same_sweeps(const Sys& start, int sweeps) {
    const int n = start.n;
    std::vector<const SweepKernels*> kernels{&sweep_kernels_scalar()};
    if (sweep_kernels_avx2()) kernels.push_back(sweep_kernels_avx2());
    std::vector<std::string> plain_texts;
    const Outcome plain =
        sweep_copy(start, sweeps, plain_texts, [](SystemState& s, GridModel& g) { do_iteration_plain(s, g); });
    for (const SweepKernels* k : kernels) {
        SCOPED_TRACE(testing::Message() << "N=" << n << " kernels=" << k->name);
        std::vector<std::string> texts;
        const Outcome fast =
            sweep_copy(start, sweeps, texts, [&](SystemState& s, GridModel& g) { do_iteration_with(s, g, *k); });
        EXPECT_EQ(plain.error, fast.error);
        EXPECT_TRUE(same_bits(plain.X.data(), fast.X.data(), (n + 1) * sizeof(float))) << "X";
        EXPECT_TRUE(same_bits(plain.R.data(), fast.R.data(), (n + 1) * sizeof(float))) << "R";
        EXPECT_TRUE(same_bits(&plain.Er, &fast.Er, sizeof(float))) << "Er";
        EXPECT_EQ(plain_texts, texts);
    }
}

// R and D set up by the plain set-up procedures.
Sys set_up(Sys s) {
    const Outcome o = run(s, [&](SystemState& st) {
        test::FakeBoxes box;
        get_residual(st);
        get_norms(st, box);
        s.D = st.D;
    });
    s.R = o.R;
    return s;
}

TEST(FastSweep, RandomSystemsOfAwkwardOrders) {
    for (int n : {1, 2, 3, 17, 100, 257, 1000}) {
        if (kSlowBuild && n > 257) continue;
        expect_same_sweeps(set_up(random_system(n, 11u + n)), n > 257 ? 2 : 4);
    }
    expect_same_sweeps(set_up(random_system(60, 4u, -140, 0)), 3);  // denormal residuals and steps
}

// s = 1 + 2^-23 and a term just below half an ulp of s: the exact sum lands on a tie in double and
// rounds to even, a float FMA rounds once and stays below. Traps like this force the guessed column
// sum to be corrected, at every lane position and more often than the corrections allowed per column.
TEST(FastSweep, ColumnSumsWhoseFusedGuessIsWrong) {
    const float one_up = 1.0f + 0x1p-23f, r_trap = 0x1p-24f + 0x1p-47f, a_trap = 1.0f - 0x1p-23f;
    for (int traps : {1, 3, 12}) {
        for (int offset = 0; offset < 9; ++offset) {
            const int n = 40 + 9 * traps;
            Sys st = make_system(n, [](int, int) { return 0.5f; });
            for (int j = 1; j <= n; ++j) st.D[j] = 1.0f;
            // Column 1, from s = 0: s = 1 + 2^-23, the trap (exactly 1 + 2^-22), back to s = 0.
            for (int t = 0, j = 1 + offset; t < traps; ++t, j += 9) {
                st.R[j] = 1.0f;
                st.A(j, 1) = one_up;
                st.R[j + 1] = r_trap;
                st.A(j + 1, 1) = a_trap;
                st.R[j + 2] = -1.0f;
                st.A(j + 2, 1) = 1.0f + 0x1p-22f;
            }
            // The guess by float FMAs alone is wrong here, the exact chain ends at 0.
            float fused = 0.0f, exact = 0.0f;
            for (int j = 1; j <= n; ++j) {
                fused = __builtin_fmaf(st.R[j], st.A(j, 1), fused);
                exact = static_cast<float>(double(st.R[j]) * double(st.A(j, 1)) + double(exact));
            }
            ASSERT_NE(fused, exact);
            ASSERT_EQ(exact, 0.0f);
            expect_same_sweeps(st, 1);
        }
    }
}

TEST(FastSweep, FaultsLeaveThePlainState) {
    const int n = 37;
    for (int j : {1, 5, 8, 9, 16, 17, 33, 37}) {
        // Overflow of R(j) in the residual update of unknown 3: R(1..j-1) updated, Er partial.
        Sys st = set_up(random_system(n, 50u + j));
        st.A(j, 3) = 3e38f;
        st.R[j] = 3e38f;
        st.D[3] = 1e-30f;
        expect_same_sweeps(st, 2);
    }
    Sys st = set_up(random_system(n, 9u));
    st.D[5] = 0.0f;  // s / 0 with s != 0
    expect_same_sweeps(st, 1);
    st = set_up(random_system(n, 9u));
    for (int j = 1; j <= n; ++j) st.A(j, 6) = 0.0f;  // 0 / 0
    st.D[6] = 0.0f;
    expect_same_sweeps(st, 1);
    st = set_up(random_system(n, 9u));
    for (int j = 1; j <= n; ++j) st.A(j, 2) = st.R[j] = 3e38f;  // the column sum overflows
    expect_same_sweeps(st, 1);
    st = set_up(random_system(n, 9u));
    st.X[4] = 3.4e38f;  // moving x(4) overflows
    st.D[4] = 1e-30f;
    expect_same_sweeps(st, 1);
}

TEST(FloatingPointEnvironment, FlushToZeroIsDetected) {
    EXPECT_TRUE(flush_to_zero_off());
    const unsigned saved = _mm_getcsr();
    _mm_setcsr(saved | 0x8000u);  // flush-to-zero
    EXPECT_FALSE(flush_to_zero_off());
    _mm_setcsr(saved | 0x0040u);  // denormals-are-zero
    EXPECT_FALSE(flush_to_zero_off());
    EXPECT_FALSE(keep_denormals());  // had to clear it
    EXPECT_TRUE(flush_to_zero_off());
    EXPECT_TRUE(keep_denormals());
    _mm_setcsr(saved);
}

}  // namespace
}  // namespace varnex
