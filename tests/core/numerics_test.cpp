// The exact single-precision steps and the checks that turn a stored fault into a run-time error, the
// dimensioning of the arrays, and the elimination and the column relaxation on worked examples.
#include "core/numerics.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <tuple>

#include "core/convert.h"
#include "core/exact.h"
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
    for (int n : {1 << 30, INT_MAX}) EXPECT_EQ(test::error_of([n] { SquareMatrix().dim(n); }), ErrorKind::OutOfMemory) << n;
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

}  // namespace
}  // namespace varnex
