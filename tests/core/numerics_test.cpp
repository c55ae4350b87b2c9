#include "core/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "core/convert.h"
#include "core/errors.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using Rows = std::vector<std::vector<float>>;

// Lays a memory-mode system into st, dimensioned as the solve commands leave it, with x = 0 unless given.
void load(SystemState& st, const Rows& a, const std::vector<float>& b, const std::vector<float>& x = {}) {
    st.N = static_cast<int16_t>(a.size());
    st.DataMode = kModeMemory;
    st.A.dim(st.N);
    for (auto* v : {&st.B, &st.X, &st.R, &st.D}) dim_cleared(*v, st.N);
    for (int i = 1; i <= st.N; ++i) {
        for (int j = 1; j <= st.N; ++j) st.A(i, j) = a[i - 1][j - 1];
        st.B[i] = b[i - 1];
        if (!x.empty()) st.X[i] = x[i - 1];
    }
}

// Runs the elimination and checks that A and B come out unchanged.
void gauss(SystemState& st) {
    const SquareMatrix a = st.A;
    const std::vector<float> b = st.B;
    gauss_solution_plain(st);
    for (int i = 0; i <= st.N; ++i) {
        EXPECT_EQ(st.B[i], b[i]);
        for (int j = 0; j <= st.N; ++j) EXPECT_EQ(st.A(i, j), a(i, j));
    }
}

ErrorKind fault_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const RunError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no run-time error raised";
    return ErrorKind::FileError;
}

uint32_t bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

TEST(GaussSolution, WorkedExamplesPivotChoiceAndTies) {
    // No exchange (1 is not greater than 2): exact reduced system.
    SystemState st;
    load(st, {{2, 1}, {1, 3}}, {3, 5});
    gauss(st);
    EXPECT_EQ(st.Aw(1, 1), 1.0f);
    EXPECT_EQ(st.Aw(1, 2), 0.5f);
    EXPECT_EQ(st.Aw(2, 1), 0.0f);
    EXPECT_EQ(st.Aw(2, 2), 2.5f);
    EXPECT_EQ(st.Bw[1], 1.5f);
    EXPECT_EQ(st.Bw[2], 3.5f);
    EXPECT_FLOAT_EQ(st.X[1], 0.8f);
    EXPECT_FLOAT_EQ(st.X[2], 1.4f);

    // Row 2 is the pivot of column 1 (3 > 1): row 1 of Aw is (3, 4) / 3.
    load(st, {{1, 2}, {3, 4}}, {5, 6});
    gauss(st);
    EXPECT_EQ(st.Aw(1, 2), 4.0f / 3.0f);
    EXPECT_EQ(st.Bw[1], 2.0f);
    EXPECT_NEAR(st.X[1], -4.0f, 1e-5);
    EXPECT_NEAR(st.X[2], 4.5f, 1e-5);

    // Equal entries keep row k: row 1 is normalised in place, not exchanged with row 2 or 3.
    load(st, {{2, 1, 0}, {2, 3, 1}, {2, 0, 4}}, {6, 8, 10});
    gauss(st);
    EXPECT_EQ(st.Aw(1, 2), 0.5f);
    EXPECT_EQ(st.Aw(1, 3), 0.0f);
    EXPECT_EQ(st.Bw[1], 3.0f);

    // A larger negative entry never wins: the signed comparison, not the magnitude.
    load(st, {{1, 1}, {-5, 1}}, {2, -4});
    gauss(st);
    EXPECT_EQ(st.Aw(1, 2), 1.0f);
    EXPECT_NEAR(st.X[1], 1.0f, 1e-6);
    EXPECT_NEAR(st.X[2], 1.0f, 1e-6);
}

TEST(GaussSolution, ZeroPivotLeavesXUntouched) {
    // Regular, yet the signed pivot of column 1 is the 0 above -2.
    SystemState st;
    load(st, {{0, 1}, {-2, 1}}, {1, 0}, {7, 9});
    gauss(st);
    EXPECT_EQ(st.X[1], 7.0f);
    EXPECT_EQ(st.X[2], 9.0f);

    // Singular with only the last pivot zero: row 1 is reduced, X stays.
    load(st, {{1, 2}, {2, 4}}, {3, 6}, {5, 6});
    gauss(st);
    EXPECT_EQ(st.Aw(1, 1), 1.0f);
    EXPECT_EQ(st.Aw(1, 2), 2.0f);
    EXPECT_EQ(st.Aw(2, 1), 0.0f);
    EXPECT_EQ(st.Aw(2, 2), 0.0f);
    EXPECT_EQ(st.X[1], 5.0f);
    EXPECT_EQ(st.X[2], 6.0f);

    // N = 1: a = 0 stops, a != 0 divides.
    load(st, {{0}}, {3}, {4});
    gauss(st);
    EXPECT_EQ(st.X[1], 4.0f);
    load(st, {{4}}, {3}, {4});
    gauss(st);
    EXPECT_EQ(st.X[1], 0.75f);

    // N = 0: nothing to do, the working copies are dimensioned 0..0.
    load(st, {}, {});
    gauss(st);
    EXPECT_EQ(st.X.size(), 1u);
    EXPECT_EQ(st.Bw.size(), 1u);

    // The working copies are dimensioned anew at each call: a smaller system leaves nothing behind.
    load(st, {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}, {1, 1, 1});
    gauss(st);
    st.N = 1;
    gauss(st);
    EXPECT_EQ(st.Aw.upper(), 1);
    EXPECT_EQ(st.Bw.size(), 2u);
}

TEST(GaussSolution, FaultsStopAtTheElementStored) {
    // A tiny pivot: normalising row 1 overflows at (1,2), after (1,1) became 1; Bw(1) is not divided yet.
    SystemState st;
    load(st, {{1e-30f, 1e10f}, {-1, 1}}, {2, 3}, {7, 8});
    EXPECT_EQ(fault_of([&] { gauss_solution_plain(st); }), ErrorKind::Overflow);
    EXPECT_EQ(st.Aw(1, 1), 1.0f);
    EXPECT_TRUE(std::isinf(st.Aw(1, 2)));
    EXPECT_EQ(st.Bw[1], 2.0f);
    EXPECT_EQ(st.X[1], 7.0f);

    // Back substitution: X(N) = Bw(N) / Aw(N,N) overflows; X(N) keeps the infinity, X(1) is untouched.
    load(st, {{1, 0}, {0, 1e-30f}}, {1, 1e10f}, {7, 8});
    EXPECT_EQ(fault_of([&] { gauss_solution_plain(st); }), ErrorKind::Overflow);
    EXPECT_TRUE(std::isinf(st.X[2]));
    EXPECT_EQ(st.X[1], 7.0f);

    // An array shorter than N is a subscript error, not a stray read.
    load(st, {{1, 0}, {0, 1}}, {1, 1});
    st.N = 3;
    EXPECT_EQ(fault_of([&] { gauss_solution_plain(st); }), ErrorKind::Subscript);
}

TEST(ColumnRelaxation, WorkedSweepsAndGridColumn) {
    test::FakeBoxes box;
    GridModel grid;
    grid.fill_data(2);
    SystemState st;
    load(st, {{2, 1}, {1, 3}}, {3, 5});
    get_residual(st);
    get_norms(st, box);
    EXPECT_EQ(st.R[1], -3.0f);
    EXPECT_EQ(st.R[2], -5.0f);
    EXPECT_EQ(st.D[1], 5.0f);
    EXPECT_EQ(st.D[2], 10.0f);
    EXPECT_TRUE(box.shown.empty());

    // The grid cell of unknown i is written after the residual update of unknown i.
    struct Spy : GridObserver {
        SystemState* st;
        std::vector<std::vector<float>> r_at_write;
        void grid_reset() override {}
        void cell_written(int, int) override { r_at_write.push_back({st->R[1], st->R[2], st->X[1], st->X[2]}); }
    } spy;
    spy.st = &st;
    grid.set_observer(&spy);

    const float x1[] = {2.2f, 1.5f, 1.15f}, x2[] = {0.7f, 1.05f, 1.225f}, er[] = {2.1f, 1.05f, 0.525f};
    for (int k = 0; k < 3; ++k) {
        do_iteration_plain(st, grid);
        EXPECT_NEAR(st.X[1], x1[k], 1e-6);
        EXPECT_NEAR(st.X[2], x2[k], 1e-6);
        EXPECT_NEAR(st.Er, er[k], 1e-6);
        EXPECT_EQ(st.Er, std::max(0.0f, std::max(st.R[1], st.R[2])));
        EXPECT_NEAR(text_to_single(grid.text(1, 7)), x1[k], 1e-6);
        EXPECT_EQ(grid.text(2, 7), single_to_text(st.X[2]));
    }
    EXPECT_EQ(grid.text(1, 7), "1.15");
    EXPECT_EQ(grid.text(2, 7), "1.225");
    grid.set_observer(nullptr);
    ASSERT_EQ(spy.r_at_write.size(), 6u);
    // First write of the first sweep: x(1) = 2.2 moved, R = (1.4, -2.8), x(2) still 0.
    EXPECT_NEAR(spy.r_at_write[0][0], 1.4f, 1e-6);
    EXPECT_NEAR(spy.r_at_write[0][1], -2.8f, 1e-6);
    EXPECT_EQ(spy.r_at_write[0][3], 0.0f);
}

TEST(ColumnRelaxation, SolvedNegativeAndDegenerateOrders) {
    test::FakeBoxes box;
    GridModel grid;
    grid.fill_data(2);

    // X already solves the system: every step is 0, Er = 0 although it was 5 before.
    SystemState st;
    load(st, {{2, 0}, {0, 4}}, {2, 4}, {1, 1});
    st.Er = 5;
    get_residual(st);
    get_norms(st, box);
    do_iteration_plain(st, grid);
    EXPECT_EQ(st.X[1], 1.0f);
    EXPECT_EQ(st.X[2], 1.0f);
    EXPECT_EQ(st.Er, 0.0f);

    // A residual that ends all negative, (-1, -1), leaves Er at 0.
    load(st, {{1, 1}, {0, -1}}, {1, 2});
    st.Er = 5;
    get_residual(st);
    get_norms(st, box);
    do_iteration_plain(st, grid);
    EXPECT_EQ(st.R[1], -1.0f);
    EXPECT_EQ(st.R[2], -1.0f);
    EXPECT_EQ(st.Er, 0.0f);

    // N = 1: one sweep gives b/a up to rounding.
    GridModel grid1;
    grid1.fill_data(1);
    load(st, {{3}}, {1});
    get_residual(st);
    get_norms(st, box);
    do_iteration_plain(st, grid1);
    EXPECT_NEAR(st.X[1], 1.0f / 3.0f, 1e-7);
    EXPECT_EQ(st.Er, std::max(0.0f, st.R[1]));
    EXPECT_EQ(grid1.text(1, 5), single_to_text(st.X[1]));

    // N = 0: nothing is computed or shown, Er keeps its value.
    GridModel grid0;
    grid0.fill_data(0);
    load(st, {}, {});
    st.Er = 0.25f;
    get_residual(st);
    get_norms(st, box);
    do_iteration_plain(st, grid0);
    EXPECT_EQ(st.Er, 0.25f);
    EXPECT_TRUE(box.shown.empty());
}

TEST(ColumnRelaxation, ZeroColumnSaysNoSolutionThenTheSweepStopsThere) {
    test::FakeBoxes box;
    GridModel grid;
    grid.fill_data(3);
    SystemState st;
    load(st, {{1, 0, 2}, {3, 0, 1}, {0, 0, 5}}, {3, 4, 5});
    st.D[3] = 42;
    get_residual(st);
    get_norms(st, box);
    ASSERT_EQ(box.shown, std::vector<std::string>{"NoSolution"});
    EXPECT_EQ(st.D[1], 10.0f);
    EXPECT_EQ(st.D[3], 42.0f);  // the set-up returned at column 2

    // Unknown 1 moves and is shown; at unknown 2 the step is 0/0.
    EXPECT_EQ(fault_of([&] { do_iteration_plain(st, grid); }), ErrorKind::Overflow);
    EXPECT_NE(st.X[1], 0.0f);
    EXPECT_EQ(grid.text(1, 9), single_to_text(st.X[1]));
    EXPECT_EQ(st.X[2], 0.0f);
    EXPECT_EQ(grid.text(2, 9), "0");

    // A column whose squares underflow: its norm is 0 but its step is not, so x/0 is division by zero.
    load(st, {{1e-30f}}, {1});
    GridModel grid1;
    grid1.fill_data(1);
    get_residual(st);
    get_norms(st, box);
    EXPECT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(fault_of([&] { do_iteration_plain(st, grid1); }), ErrorKind::DivisionByZero);
    EXPECT_EQ(st.X[1], 0.0f);
}

TEST(ColumnRelaxation, OverflowFaultsKeepTheValuesStored) {
    test::FakeBoxes box;
    // D(1) = 1 + (2e19)^2 overflows: D(1) holds the infinity, D(2) is not reached.
    SystemState st;
    load(st, {{1, 1}, {2e19f, 1}}, {1, 1});
    st.D[2] = 42;
    EXPECT_EQ(fault_of([&] { get_norms(st, box); }), ErrorKind::Overflow);
    EXPECT_TRUE(std::isinf(st.D[1]));
    EXPECT_EQ(st.D[2], 42.0f);

    // The residual overflows in row 2: row 1 is complete, row 2 holds the infinity, row 3 its old value.
    load(st, {{1, 1, 0}, {3e38f, 3e38f, 0}, {1, 1, 1}}, {1, 1, 1}, {1, 1, 1});
    st.R[3] = 99;
    EXPECT_EQ(fault_of([&] { get_residual(st); }), ErrorKind::Overflow);
    EXPECT_EQ(st.R[1], 1.0f);
    EXPECT_TRUE(std::isinf(st.R[2]));
    EXPECT_EQ(st.R[3], 99.0f);

    // A sweep whose step sum overflows stops before x(1) moves; Er keeps the last sweep's value.
    load(st, {{2}}, {1});
    st.R[1] = 3e38f;
    st.D[1] = 4;
    st.Er = 0.5f;
    GridModel grid;
    grid.fill_data(1);
    EXPECT_EQ(fault_of([&] { do_iteration_plain(st, grid); }), ErrorKind::Overflow);
    EXPECT_EQ(st.X[1], 0.0f);
    EXPECT_EQ(st.Er, 0.5f);
    EXPECT_EQ(grid.text(1, 5), "0");
}

// Straightforward row-major recomputation of the set-up and the sweeps, independent of the storage.
struct Reference {
    int n;
    std::vector<std::vector<float>> a;  // a[i][j], 0-based
    std::vector<float> b, x, r, d;
    float er = 0;

    static float r32(double v) { return static_cast<float>(v); }
    void setup() {
        r.assign(n, 0);
        d.assign(n, 0);
        for (int i = 0; i < n; ++i) {
            r[i] = -b[i];
            for (int j = 0; j < n; ++j) r[i] = r32(double(x[j]) * a[i][j] + r[i]);
        }
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) d[i] = r32(double(a[j][i]) * a[j][i] + d[i]);
    }
    // Elimination on row-major copies; returns false at a zero pivot, else sets x.
    bool gauss() {
        auto w = a;
        auto c = b;
        for (int k = 0; k < n - 1; ++k) {
            int p = k;
            for (int i = k + 1; i < n; ++i)
                if (w[i][k] > w[p][k]) p = i;
            std::swap(w[p], w[k]);
            std::swap(c[p], c[k]);
            if (w[k][k] == 0) return false;
            const float piv = w[k][k];
            for (int j = k; j < n; ++j) w[k][j] = r32(double(w[k][j]) / piv);
            c[k] = r32(double(c[k]) / piv);
            for (int i = k + 1; i < n; ++i) {
                const float m = w[i][k];
                for (int j = k; j < n; ++j) w[i][j] = r32(double(w[i][j]) - double(m) * w[k][j]);
                c[i] = r32(double(c[i]) - double(m) * c[k]);
            }
        }
        if (w[n - 1][n - 1] == 0) return false;
        x[n - 1] = r32(double(c[n - 1]) / w[n - 1][n - 1]);
        for (int i = n - 2; i >= 0; --i) {
            x[i] = c[i];
            for (int j = n - 1; j > i; --j) x[i] = r32(double(x[i]) - double(w[i][j]) * x[j]);
        }
        return true;
    }
    void sweep() {
        for (int i = 0; i < n; ++i) {
            float s = 0;
            for (int j = 0; j < n; ++j) s = r32(double(r[j]) * a[j][i] + s);
            s = r32(-double(s) / d[i]);
            x[i] = r32(double(s) + x[i]);
            er = 0;
            for (int j = 0; j < n; ++j) {
                r[j] = r32(double(s) * a[j][i] + r[j]);
                er = std::max(er, r[j]);
            }
        }
    }
};

Rows random_rows(int n, unsigned seed, float diag) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1, 1);
    Rows a(n, std::vector<float>(n));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) a[i][j] = u(gen) + (i == j ? diag : 0.0f);
    return a;
}

TEST(Numerics, BitsAgreeWithRowMajorRecomputation) {
    for (int n : {1, 3, 17}) {
        Rows a = random_rows(n, 7u + n, 0.5f);
        std::vector<float> b(n), x0(n);
        for (int i = 0; i < n; ++i) b[i] = 0.25f * i - 1.0f, x0[i] = 0.1f * i;
        SystemState st;
        load(st, a, b, x0);

        // The elimination, on a copy of the state.
        SystemState direct = st;
        gauss(direct);
        Reference elim{n, a, b, x0};
        ASSERT_TRUE(elim.gauss());
        for (int i = 0; i < n; ++i) EXPECT_EQ(bits(direct.X[i + 1]), bits(elim.x[i])) << "n=" << n << " i=" << i;

        // Set-up and three sweeps from x0.
        Reference ref{n, a, b, x0};
        test::FakeBoxes box;
        GridModel grid;
        grid.fill_data(static_cast<int16_t>(n));
        get_residual(st);
        get_norms(st, box);
        ref.setup();
        for (int k = 0; k < 3; ++k) {
            do_iteration_plain(st, grid);
            ref.sweep();
        }
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(bits(st.X[i + 1]), bits(ref.x[i])) << "n=" << n << " i=" << i;
            EXPECT_EQ(bits(st.R[i + 1]), bits(ref.r[i])) << "n=" << n << " i=" << i;
            EXPECT_EQ(bits(st.D[i + 1]), bits(ref.d[i])) << "n=" << n << " i=" << i;
        }
        EXPECT_EQ(bits(st.Er), bits(ref.er));
    }
}

// max |A x - b| in double, relative to max |b|.
double relative_residual(const SystemState& st) {
    double worst = 0, scale = 0;
    for (int i = 1; i <= st.N; ++i) {
        double r = -double(st.B[i]);
        for (int j = 1; j <= st.N; ++j) r += double(st.A(i, j)) * st.X[j];
        worst = std::max(worst, std::abs(r));
        scale = std::max(scale, std::abs(double(st.B[i])));
    }
    return worst / scale;
}

TEST(GaussSolution, RandomWellConditionedSystemsHaveSmallResidual) {
    for (int n : {17, 100}) {
        Rows a = random_rows(n, 11u * n, 2.0f * n);  // diagonally dominant, positive diagonal
        std::vector<float> b(n);
        for (int i = 0; i < n; ++i) b[i] = std::sin(float(i)) * 10;
        SystemState st;
        load(st, a, b);
        gauss(st);
        EXPECT_LT(relative_residual(st), 1e-5) << "n=" << n;
    }
}

// Reads a text system file: one line per equation, a(i,1) .. a(i,N) b(i), blank-separated.
void load_testdata(SystemState& st, const std::string& name) {
    std::ifstream in(test::testdata_dir() + "/" + name);
    Rows a;
    std::vector<float> b;
    for (std::string line; std::getline(in, line);) {
        std::istringstream tokens(line);
        std::vector<float> row;
        for (std::string t; tokens >> t;) row.push_back(text_to_single(t));
        if (row.empty()) continue;
        b.push_back(row.back());
        row.pop_back();
        a.push_back(row);
    }
    load(st, a, b);
}

TEST(RealMatrices, EliminationAndSweepsOnPublishedSystems) {
    if (test::testdata_dir().empty()) GTEST_SKIP() << "test matrices not present";
    test::FakeBoxes box;

    // bfwa62, well conditioned: the elimination and a few sweeps give x close to 1.
    SystemState st;
    load_testdata(st, "bfwa62.txt");
    ASSERT_EQ(st.N, 62);
    gauss(st);
    GridModel grid;
    grid.fill_data(st.N);
    get_residual(st);
    get_norms(st, box);
    for (int k = 0; k < 3; ++k) do_iteration_plain(st, grid);
    EXPECT_TRUE(box.shown.empty());
    for (int i = 1; i <= st.N; ++i) EXPECT_NEAR(st.X[i], 1.0f, 1e-3) << "i=" << i;
    EXPECT_LT(st.Er, 1e-4f);

    // west0067: the signed pivot search meets an exact zero, so X keeps the loaded values.
    load_testdata(st, "west0067.txt");
    ASSERT_EQ(st.N, 67);
    for (int i = 1; i <= st.N; ++i) st.X[i] = 0.5f;
    gauss(st);
    for (int i = 1; i <= st.N; ++i) EXPECT_EQ(st.X[i], 0.5f);
}

}  // namespace
}  // namespace varnex
