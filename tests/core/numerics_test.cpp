// The exact single-precision steps and the checks that turn a stored fault into a run-time error, the
// dimensioning of the arrays, and the elimination and the column relaxation on worked examples. The
// fast elimination, sweep and norms against their plain twins, bit for bit: completed runs, zero pivots
// and faults leave the same Aw, Bw, X, R, D, Er and grid texts, and raise the same error.
#include "core/numerics.h"

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <tuple>

#include "core/convert.h"
#include "core/elim_kernels.h"
#include "core/exact.h"
#include "core/fp_env.h"
#include "core/gauss_blocked.h"
#include "core/sweep_kernels.h"
#include "support/fakes.h"
#include "support/systems.h"

namespace varnex {
namespace {

using Rows = std::vector<std::vector<float>>;
using Vec = std::vector<float>;

// Lays a memory-mode system into st, dimensioned as the solve commands leave it, with x = 0 unless given.
void load(SystemState& st, const Rows& a, const Vec& b, const Vec& x = {}) {
    const int n = static_cast<int>(a.size());
    st = test::memory_system(n, [&](int i, int j) { return j > n ? b[i - 1] : a[i - 1][j - 1]; });
    for (int i = 1; i <= n && !x.empty(); ++i) st.X[i] = x[i - 1];
}

// The matrix and the vector elements 1..N, to compare with a case's rows.
Rows rows(const SquareMatrix& m, int n) {
    Rows r(n, Vec(n));
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) r[i - 1][j - 1] = m(i, j);
    return r;
}
Vec elements(const Vec& v, int n) { return Vec(v.begin() + 1, v.begin() + 1 + n); }

// The set-up of the sweeps; returns the messages it showed.
std::vector<std::string> set_up(SystemState& st) {
    test::FakeBoxes box;
    get_residual(st);
    get_norms(st, box);
    return box.shown;
}

TEST(Exact, StepsRoundOnceFromDoubleAndStoredFaultsRaiseDivisionByZeroOrOverflow) {
    // (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24. A product rounded to float first would lose the 2^-24 (a tie
    // that goes to the even neighbour); evaluated in double it survives the sum.
    const float a = 1.0f + 0x1p-12f, c = 1.0f + 0x1p-11f;
    EXPECT_EQ(mul_add(a, a, -c), 0x1p-24f);
    // A product beyond the float range is still exact in double; the sum brings it back.
    EXPECT_EQ(mul_add(FLT_MAX, 2.0f, -FLT_MAX), FLT_MAX);
    using enum ErrorKind;
    // A quotient that underflows to 0 (FLT_MIN / FLT_MAX) is no fault.
    const std::optional<ErrorKind> none;
    // clang-format off
    const std::tuple<float, float, std::optional<ErrorKind>> quotients[] = {
        {1, 0, DivisionByZero}, {-1, -0.0f, DivisionByZero}, {0, 0, Overflow}, {FLT_MAX, 0.5f, Overflow},
        {std::numeric_limits<float>::quiet_NaN(), 0, Overflow}, {6, 3, none}, {FLT_MIN, FLT_MAX, none}};
    // clang-format on
    for (auto [a, b, want] : quotients)
        EXPECT_EQ(test::error_of([&] { check_quot(quot(a, b), a, b); }), want) << a << "/" << b;
    EXPECT_EQ(test::error_of([] { check(mul_add(FLT_MAX, 2.0f, 0.0f)); }), Overflow);
}

TEST(Dimensioning, ClearedOrKept) {
    // Dimensioning anew clears every element.
    SquareMatrix m;
    m.dim(3);
    m(2, 1) = 5;
    m.dim(2);
    EXPECT_EQ(m(2, 1), 0.0f);

    // Resizing with dim_keep keeps 1..min(old, new) and fills new elements with 0.
    std::vector<float> v{0, 1, 2, 3};
    dim_keep(v, 5);
    EXPECT_EQ(v, (std::vector<float>{0, 1, 2, 3, 0, 0}));
    dim_keep(v, 2);
    EXPECT_EQ(v, (std::vector<float>{0, 1, 2}));
}

TEST(Dimensioning, AbsurdSizesAreOutOfMemoryNotACrash) {
    // Far beyond this machine's memory and, for INT_MAX, beyond any byte count.
    for (int n : {1 << 30, INT_MAX})
        EXPECT_EQ(test::error_of([n] { SquareMatrix().dim(n); }), ErrorKind::OutOfMemory) << n;
}

TEST(GaussSolution, WorkedExamplesPivotChoiceTiesAndZeroPivots) {
    struct Case {
        Rows a;
        Vec b, x0;
        Rows aw;  // expected working copies, exact
        Vec bw, x;
    };
    const float t = 4.0f / 3.0f;
    const Case cases[] = {
        // Row 2 is the pivot of column 1 (3 > 1).
        {{{1, 2}, {3, 4}}, {5, 6}, {0, 0}, {{1, t}, {0, 2 - t}}, {2, 3}, {-4, 4.5f}},
        // Equal entries keep row k; no exchange follows.
        {{{2, 1, 0}, {2, 3, 1}, {2, 0, 4}},
         {6, 8, 10},
         {0, 0, 0},
         {{1, 0.5f, 0}, {0, 1, 0.5f}, {0, 0, 4.5f}},
         {3, 1, 5},
         {25.0f / 9, 4.0f / 9, 10.0f / 9}},
        // A larger negative entry never wins: the signed comparison, not the magnitude.
        {{{1, 1}, {-5, 1}}, {2, -4}, {0, 0}, {{1, 1}, {0, 6}}, {2, 6}, {1, 1}},
        // Regular, yet the signed pivot of column 1 is the 0 above -2: X keeps the loaded values.
        {{{0, 1}, {-2, 1}}, {1, 0}, {7, 9}, {{0, 1}, {-2, 1}}, {1, 0}, {7, 9}},
        // Singular with only the last pivot zero: row 1 is reduced, X stays.
        {{{1, 2}, {2, 4}}, {3, 6}, {5, 6}, {{1, 2}, {0, 0}}, {3, 0}, {5, 6}},
        {{{0}}, {3}, {4}, {{0}}, {3}, {4}},  // N = 1: a = 0 stops, a != 0 divides
        {{{4}}, {3}, {4}, {{4}}, {3}, {0.75f}},
        {{}, {}, {}, {}, {}, {}},  // N = 0: nothing to do
    };
    for (const Case& c : cases) {
        SystemState st;
        load(st, c.a, c.b, c.x0);
        gauss_solution_plain(st);
        const int n = st.N;
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        // A and B stay, the elimination works on Aw and Bw.
        EXPECT_EQ(rows(st.A, n), c.a);
        EXPECT_EQ(elements(st.B, n), c.b);
        EXPECT_EQ(rows(st.Aw, n), c.aw);
        EXPECT_EQ(elements(st.Bw, n), c.bw);
        for (int i = 1; i <= n; ++i) EXPECT_NEAR(st.X[i], c.x[i - 1], 1e-6 * std::abs(c.x[i - 1])) << i;
    }
}

TEST(Numerics, OverflowStopsAtTheElementStored) {
    // A tiny pivot: normalising row 1 overflows at (1,2), after (1,1) became 1; Bw(1) is not divided yet.
    SystemState st;
    load(st, {{1e-30f, 1e10f}, {-1, 1}}, {2, 3}, {7, 8});
    EXPECT_EQ(test::error_of([&] { gauss_solution_plain(st); }), ErrorKind::Overflow);
    EXPECT_EQ(rows(st.Aw, 1), Rows{{1.0f}});
    EXPECT_TRUE(std::isinf(st.Aw(1, 2)));
    EXPECT_EQ(elements(st.Bw, 1), Vec{2.0f});
    EXPECT_EQ(elements(st.X, 2), (Vec{7, 8}));

    // D(1) = 1 + (2e19)^2 overflows: D(1) holds the infinity, D(2) is not reached.
    load(st, {{1, 1}, {2e19f, 1}}, {1, 1});
    st.D[2] = 42;
    test::FakeBoxes box;
    EXPECT_EQ(test::error_of([&] { get_norms(st, box); }), ErrorKind::Overflow);
    EXPECT_EQ(elements(st.D, 2), (Vec{INFINITY, 42}));
}

TEST(ColumnRelaxation, WorkedSweepsGridColumnAndDegenerateOrders) {
    GridModel grid;
    grid.fill_data(2);
    SystemState st;
    load(st, {{2, 1}, {1, 3}}, {3, 5});
    EXPECT_TRUE(set_up(st).empty());
    EXPECT_EQ(st.R, (Vec{0, -3, -5}));
    EXPECT_EQ(st.D, (Vec{0, 5, 10}));
    // Each sweep's x column as the grid shows it (column 2N+3), and Er.
    const char* texts[3][2] = {{"2.2", "0.7"}, {"1.5", "1.05"}, {"1.15", "1.225"}};
    const float er[] = {2.1f, 1.05f, 0.525f};
    for (int k = 0; k < 3; ++k) {
        do_iteration_plain(st, grid);
        for (int i = 1; i <= 2; ++i) EXPECT_EQ(grid.text(i, 7), texts[k][i - 1]) << "sweep " << k;
        EXPECT_NEAR(st.Er, er[k], 1e-6);
    }

    // A residual that ends all negative, (-1, -1), gives Er = 0; at N = 0 nothing is computed and Er is kept.
    load(st, {{1, 1}, {0, -1}}, {1, 2});
    EXPECT_TRUE(set_up(st).empty());
    do_iteration_plain(st, grid);
    EXPECT_EQ(st.X, (Vec{0, 1, -1}));
    EXPECT_EQ(st.Er, 0.0f);
    load(st, {}, {});
    st.Er = 5;
    grid.fill_data(0);
    EXPECT_TRUE(set_up(st).empty());
    do_iteration_plain(st, grid);
    EXPECT_EQ(st.Er, 5.0f);
}

TEST(ColumnRelaxation, ZeroColumnSaysNoSolutionThenTheSweepStopsThere) {
    GridModel grid;
    grid.fill_data(3);
    SystemState st;
    load(st, {{1, 0, 2}, {3, 0, 1}, {0, 0, 5}}, {3, 4, 5});
    st.D[3] = 42;
    ASSERT_EQ(set_up(st), std::vector<std::string>{"NoSolution"});
    EXPECT_EQ(st.D[3], 42.0f);  // the set-up returned at column 2

    // Unknown 1 moves and is shown; at unknown 2 the step is 0/0.
    EXPECT_EQ(test::error_of([&] { do_iteration_plain(st, grid); }), ErrorKind::Overflow);
    EXPECT_NE(st.X[1], 0.0f);
    EXPECT_EQ(grid.text(1, 9), single_to_text(st.X[1]));
    EXPECT_EQ(grid.text(2, 9), "0");

    // A column whose squares underflow: its norm is 0 but its step is not, so x/0 is division by zero.
    load(st, {{1e-30f}}, {1});
    grid.fill_data(1);
    EXPECT_EQ(set_up(st).size(), 1u);
    EXPECT_EQ(test::error_of([&] { do_iteration_plain(st, grid); }), ErrorKind::DivisionByZero);
    EXPECT_EQ(st.X[1], 0.0f);
}

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

// R and D as the set-up leaves them.
SystemState set_up_copy(SystemState s) {
    set_up(s);
    return s;
}

// Orders around one and two panels of 8 and of 64; at odd orders magnitudes from 2^-140 to 1, so that
// products, quotients, residuals and steps run deep in the denormal range.
TEST(FastKernels, RandomSystemsOfAwkwardOrdersAndDenormals) {
    ASSERT_TRUE(flush_to_zero_off());
    for (int n : {1, 2, 3, 7, 8, 9, 16, 17, 33, 63, 64, 65, 129, 257}) {
        const int min_exp = n % 2 ? -140 : 0;
        expect_same_elimination(random_system(n, 7u + n, min_exp));
        expect_same_sweeps(set_up_copy(random_system(n, 11u + n, min_exp)), 4);
    }
#if !defined(__SANITIZE_ADDRESS__) && defined(NDEBUG)
    // Many panels, and the look-ahead with two threads; too slow for the debug and sanitizer builds.
    expect_same_elimination(random_system(1000, 1007u));
    expect_same_sweeps(set_up_copy(random_system(1000, 1011u)), 2);
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
        SystemState st = set_up_copy(random_system(n, 50u + j));
        st.A(j, 3) = st.R[j] = 3e38f;
        st.D[3] = 1e-30f;
        expect_same_sweeps(st, 2);
    }
    // Faults at other steps: s / 0 with s != 0, 0 / 0, an overflowing column sum, an overflowing x(4).
    for (int fault = 0; fault < 4; ++fault) {
        SystemState st = set_up_copy(random_system(n, 9u));
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
