// The fast elimination and sweep against their plain twins, bit for bit: completed runs, zero pivots
// and faults leave the same Aw, Bw, X, R, Er and grid texts, and raise the same error.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <random>

#include "core/elim_kernels.h"
#include "core/fp_env.h"
#include "core/gauss_blocked.h"
#include "core/numerics.h"
#include "core/sweep_kernels.h"
#include "support/fakes.h"
#include "support/systems.h"

namespace varnex {
namespace {

// Runs f(st, grid) `times` times on st = start with a grid in the system layout; returns the error it
// raised, if any, and appends the grid's approximation column (2N+3) to texts.
template <class F>
std::optional<ErrorKind> run(const SystemState& start, SystemState& st, F f, std::vector<std::string>* texts = nullptr,
                             int times = 1) {
    st = start;
    GridModel grid;
    grid.fill_data(start.N);
    const auto error = test::error_of([&] {
        for (int k = 0; k < times; ++k) f(st, grid);
    });
    for (int i = 1; texts && i <= st.N; ++i) texts->push_back(grid.text(i, 2 * st.N + 3));
    return error;
}

// A system of order n; `fill` gives a(i,j) (j = N+1 for b(i)). X starts at i/4, a start the
// elimination may keep.
template <class F>
SystemState make_system(int n, F fill) {
    SystemState s = test::memory_system(n, fill);
    for (int i = 1; i <= n; ++i) s.X[i] = 0.25f * static_cast<float>(i);
    return s;
}

SystemState random_system(int n, unsigned seed, int min_exp = 0, int max_exp = 0) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_int_distribution<int> e(min_exp, max_exp);
    return make_system(n, [&](int, int) { return std::ldexp(u(gen), e(gen)); });
}

// Runs the blocked elimination with each kernel set, panels of 8 and of kPanelWidth, one and two threads,
// and checks Aw, Bw, X and the error against the plain loop; returns the plain loop's error, if any.
std::optional<ErrorKind> expect_same_elimination(const SystemState& start) {
    const int n = start.N;
    SystemState plain, fast;
    const auto plain_error = run(start, plain, [](SystemState& s, GridModel&) { gauss_solution_plain(s); });
    for (const ElimKernels* k : {&elim_kernels_scalar(), elim_kernels_avx512()}) {
        for (int config = 0; k && config < 4; ++config) {
            const int panel = config < 2 ? 8 : kPanelWidth, threads = 1 + config % 2;
            const auto fast_error =
                run(start, fast, [&](SystemState& s, GridModel&) { gauss_solution_blocked(s, *k, panel, threads); });
            SCOPED_TRACE(testing::Message()
                         << "N=" << n << " kernels=" << k->name << " panel=" << panel << " threads=" << threads);
            EXPECT_EQ(plain_error, fast_error);
            EXPECT_EQ(std::memcmp(plain.Aw.data(), fast.Aw.data(), (n + 1) * (n + 1) * sizeof(float)), 0) << "Aw";
            EXPECT_EQ(test::bits(plain.Bw), test::bits(fast.Bw));
            EXPECT_EQ(test::bits(plain.X), test::bits(fast.X));
        }
    }
    return plain_error;
}

// Sweeps a copy of start `sweeps` times with each kernel set and checks X, R, Er, the error and the
// grid's approximation column against the plain sweep.
void expect_same_sweeps(const SystemState& start, int sweeps) {
    SystemState plain, fast;
    std::vector<std::string> plain_texts, texts;
    const auto plain_error = run(start, plain, do_iteration_plain, &plain_texts, sweeps);
    for (const SweepKernels* k : {&sweep_kernels_scalar(), sweep_kernels_avx2()}) {
        if (!k) continue;
        SCOPED_TRACE(testing::Message() << "N=" << start.N << " kernels=" << k->name);
        texts.clear();
        const auto fast_error = run(
            start, fast, [k](SystemState& s, GridModel& g) { do_iteration_with(s, g, *k); }, &texts, sweeps);
        EXPECT_EQ(plain_error, fast_error);
        EXPECT_EQ(test::state_bits(plain), test::state_bits(fast));
        EXPECT_EQ(plain_texts, texts);
    }
}

// R and D as the plain set-up leaves them.
SystemState set_up(SystemState s) {
    test::FakeBoxes box;
    get_residual(s);
    get_norms(s, box);
    return s;
}

// Orders around one and two panels of 8 and of 64; at odd orders magnitudes from 2^-140 to 1, so that
// products, quotients, residuals and steps run deep in the denormal range.
TEST(FastKernels, RandomSystemsOfAwkwardOrdersAndDenormals) {
    ASSERT_TRUE(flush_to_zero_off());
    for (int n : {1, 2, 3, 7, 8, 9, 16, 17, 33, 63, 64, 65, 129, 257}) {
        const int min_exp = n % 2 ? -140 : 0;
        expect_same_elimination(random_system(n, 7u + n, min_exp));
        expect_same_sweeps(set_up(random_system(n, 11u + n, min_exp)), 4);
    }
#if !defined(__SANITIZE_ADDRESS__) && defined(NDEBUG)
    // Many panels, and the look-ahead with two threads; too slow for the debug and sanitizer builds.
    expect_same_elimination(random_system(1000, 1007u));
    expect_same_sweeps(set_up(random_system(1000, 1011u)), 2);
#endif
}

TEST(FastElimination, ZeroPivotsAndOverflowStopWithThePlainState) {
    // Block upper triangular: a dense block in rows and columns 1..kz-1, zeros below it, an upper
    // triangular rest with diagonal entry kz = d. d = 0 stops at step kz at once, d < 0 after
    // exchanging row kz with a zero row below.
    const int n = 150;
    for (int kz : {1, 8, 9, 64, 65, 129, 150}) {
        for (float d : {0.0f, -0.0f, -1.0f}) {
            std::mt19937 gen(31u * kz);
            std::uniform_real_distribution<float> u(-1.0f, 1.0f);
            SCOPED_TRACE(testing::Message() << "kz=" << kz << " d=" << d);
            expect_same_elimination(make_system(n, [&](int i, int j) {
                const float v = u(gen);
                if (j == n + 1 || i < j) return v;
                return i == j ? (i == kz ? d : 4.0f + v) : i < kz ? v : 0.0f;
            }));
        }
    }
    // Magnitudes from 2^-126 to 2^126: the elimination overflows part of the way.
    int faults = 0;
    for (unsigned seed = 1; seed <= 6; ++seed)
        faults += expect_same_elimination(random_system(90, seed, -126, 126)).has_value();
    EXPECT_GE(faults, 3);
    // Unit upper triangular with -1e20 above the diagonal: a clean elimination, then X grows by 1e20 per
    // row in the back substitution and overflows there.
    const auto tri = [](int i, int j) { return j > 40 || i == j ? 1.0f : i < j ? -1e20f : 0.0f; };
    EXPECT_EQ(expect_same_elimination(make_system(40, tri)), ErrorKind::Overflow);
}

// s = 1 + 2^-23 and a term just below half an ulp of s: the exact sum lands on a tie in double and
// rounds to even, a float FMA rounds once and stays below. Traps like this force the guessed column
// sum to be corrected, at every lane position and more often than the corrections allowed per column.
TEST(FastSweep, ColumnSumsWhoseFusedGuessIsWrong) {
    for (int traps : {1, 3, 12}) {
        for (int offset = 0; offset < 9; ++offset) {
            SystemState st = make_system(40 + 9 * traps, [](int, int) { return 0.5f; });
            for (int j = 1; j <= st.N; ++j) st.D[j] = 1.0f;
            // Column 1, from s = 0: s = 1 + 2^-23, the trap (exactly 1 + 2^-22), back to s = 0.
            for (int t = 0, j = 1 + offset; t < traps; ++t, j += 9) {
                st.R[j] = 1.0f, st.A(j, 1) = 1.0f + 0x1p-23f;
                st.R[j + 1] = 0x1p-24f + 0x1p-47f, st.A(j + 1, 1) = 1.0f - 0x1p-23f;
                st.R[j + 2] = -1.0f, st.A(j + 2, 1) = 1.0f + 0x1p-22f;
            }
            expect_same_sweeps(st, 1);
        }
    }
}

TEST(FastSweep, FaultsLeaveThePlainState) {
    const int n = 37;
    // Overflow of R(j) in the residual update of unknown 3, at lane edges: R(1..j-1) updated, Er partial.
    for (int j : {1, 8, 9, 17, 37}) {
        SystemState st = set_up(random_system(n, 50u + j));
        st.A(j, 3) = st.R[j] = 3e38f;
        st.D[3] = 1e-30f;
        expect_same_sweeps(st, 2);
    }
    // Faults at other steps: s / 0 with s != 0, 0 / 0, an overflowing column sum, an overflowing x(4).
    for (int fault = 0; fault < 4; ++fault) {
        SystemState st = set_up(random_system(n, 9u));
        for (int j = 1; j <= n && fault == 1; ++j) st.A(j, 6) = 0.0f;
        for (int j = 1; j <= n && fault == 2; ++j) st.A(j, 2) = st.R[j] = 3e38f;
        if (fault < 2) st.D[5 + fault] = 0.0f;
        if (fault == 3) st.X[4] = 3.4e38f, st.D[4] = 1e-30f;
        expect_same_sweeps(st, 1);
    }
}

// The column norms run eight chains side by side: a group that meets an overflow, an exactly zero
// column or squares that all underflow to zero must leave D, the error and the "NoSolution" message as
// the plain loop does, wherever in a group (and in the last, partial group) the column lies.
TEST(FastNorms, OverflowsZeroColumnsAndUnderflowLeaveThePlainState) {
    auto expect_same_norms = [](const SystemState& start) {
        SystemState plain = start, fast = start;
        test::FakeBoxes plain_box, fast_box;
        const auto plain_error = test::error_of([&] { get_norms_plain(plain, plain_box); });
        const auto fast_error = test::error_of([&] { get_norms(fast, fast_box); });
        EXPECT_EQ(plain_error, fast_error);
        EXPECT_EQ(test::bits(plain.D), test::bits(fast.D));
        EXPECT_EQ(plain_box.shown, fast_box.shown);
        return plain_error.has_value() || !plain_box.shown.empty();
    };
    for (int n : {1, 7, 8, 9, 23, 64, 600}) expect_same_norms(random_system(n, 3u + n, -140, 0));
    // 29 runs on one thread, 600 on two (the second from group 37 on).
    int stopped = 0;
    for (auto [n, col] : {std::pair{29, 1}, {29, 8}, {29, 9}, {29, 16}, {29, 25}, {29, 29}, {600, 297}, {600, 599}}) {
        SCOPED_TRACE(testing::Message() << n << ", " << col);
        for (int kind = 0; kind < 3; ++kind) {
            SystemState st = random_system(n, 70u + col);
            for (int i = 1; i <= n; ++i) st.D[i] = -1.0f;  // marks the D(i) that are never written
            for (int j = 1; j <= n; ++j) st.A(j, col) = kind == 0 ? 0.0f : kind == 1 ? 0x1p-100f : 2e19f;
            stopped += expect_same_norms(st);
        }
    }
    EXPECT_EQ(stopped, 24);
}

TEST(FloatingPointEnvironment, FlushToZeroIsDetectedAndCleared) {
    const unsigned saved = _mm_getcsr();
    for (unsigned mode : {0x8000u, 0x0040u}) {  // flush-to-zero, denormals-are-zero
        _mm_setcsr(saved | mode);
        EXPECT_FALSE(flush_to_zero_off());
        EXPECT_FALSE(keep_denormals());  // had to clear it
        EXPECT_TRUE(flush_to_zero_off());
    }
    _mm_setcsr(saved);
}

}  // namespace
}  // namespace varnex
