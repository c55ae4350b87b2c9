#include "core/grid_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>

#include "core/convert.h"
#include "core/errors.h"

namespace varnex {
namespace {

ErrorKind kind_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const RunError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no RunError raised";
    return ErrorKind::FileError;
}

// Every row of the grid as blank-joined cell texts, "|" between cells, for whole-layout comparisons.
std::vector<std::string> rows_of(const GridModel& g) {
    std::vector<std::string> out;
    for (int r = 0; r < g.rows(); ++r) {
        std::string line;
        for (int c = 0; c < g.cols(); ++c) line += (c ? "|" : "") + g.text(r, c);
        out.push_back(line);
    }
    return out;
}

// The grid as the layouts describe it, one string per cell, every cell written explicitly.
struct NaiveGrid {
    std::vector<std::vector<std::string>> cells = {{"", ""}, {"", ""}};
    int rows() const { return static_cast<int>(cells.size()); }
    int cols() const { return static_cast<int>(cells[0].size()); }
    void clear() {
        for (auto& row : cells)
            for (auto& c : row) c.clear();
    }
    void set_rows(int r) { cells.resize(r, std::vector<std::string>(cols())); }
    void set_cols(int c) {
        for (auto& row : cells) row.resize(c);
    }
    void fill_data(int n) {
        clear();
        set_rows(n + 1);
        set_cols(2 * n + 4);
        cells[0][2 * n + 3] = "Solution";
        cells[0][0] = "System";
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                cells[i][2 * j - 1] = "a(" + std::to_string(i) + "," + std::to_string(j) + ")";
                cells[i][2 * j] = "*x(" + std::to_string(j) + (j < n ? ")+" : ")=");
            }
            cells[i][2 * n + 1] = "b(" + std::to_string(i) + ")";
            cells[i][2 * n + 3] = "0";
        }
    }
    void fill_x(int n, const std::vector<std::string>& x) {
        set_rows(n + 1);
        set_cols(2);
        cells[0][0] = "Solution";
        for (int i = 1; i <= n; ++i) {
            cells[i][0] = "X(" + std::to_string(i) + ")=";
            cells[i][1] = x[i];
        }
    }
};

struct CountingObserver : GridObserver {
    int resets = 0;
    std::vector<std::pair<int, int>> written;
    void grid_reset() override { ++resets; }
    void cell_written(int r, int c) override { written.emplace_back(r, c); }
};

TEST(GridModel, DesignedStartAndBounds) {
    GridModel g;
    EXPECT_EQ(g.rows(), 2);
    EXPECT_EQ(g.cols(), 2);
    EXPECT_EQ(rows_of(g), (std::vector<std::string>{"|", "|"}));
    for (auto [r, c] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}}) {
        EXPECT_EQ(kind_of([&] { g.text(r, c); }), ErrorKind::Subscript) << r << "," << c;
        EXPECT_EQ(kind_of([&] { g.set_text(r, c, "v"); }), ErrorKind::Subscript) << r << "," << c;
    }
    EXPECT_EQ(kind_of([&] { g.set_rows(0); }), ErrorKind::Subscript);
    EXPECT_EQ(kind_of([&] { g.set_cols(-3); }), ErrorKind::Subscript);
    g.set_text(1, 1, "v");
    EXPECT_EQ(g.text(1, 1), "v");
}

TEST(GridModel, SystemLayoutsOfSmallOrders) {
    GridModel g;
    g.fill_data(2);
    EXPECT_EQ(rows_of(g), (std::vector<std::string>{"System|||||||Solution", "|a(1,1)|*x(1)+|a(1,2)|*x(2)=|b(1)||0",
                                                    "|a(2,1)|*x(1)+|a(2,2)|*x(2)=|b(2)||0"}));
    g.fill_data(1);
    EXPECT_EQ(rows_of(g), (std::vector<std::string>{"System|||||Solution", "|a(1,1)|*x(1)=|b(1)||0"}));
    g.fill_data(0);
    EXPECT_EQ(rows_of(g), (std::vector<std::string>{"System|||Solution"}));
}

TEST(GridModel, SolutionLayoutReplacesSystemLayout) {
    GridModel g;
    g.fill_data(3);
    g.set_text(2, 1, "7.5");
    g.fill_x(3, {0.0f, 0.8f, -1.5e10f, 0.0f});
    EXPECT_EQ(rows_of(g), (std::vector<std::string>{"Solution|", "X(1)=|0.8", "X(2)=|-1.5E+10", "X(3)=|0"}));

    // (0, 1) is the one surviving cell that fill_x does not write: a text there stays.
    g.set_text(0, 1, "kept");
    g.fill_x(1, {0.0f, 2.0f});
    EXPECT_EQ(rows_of(g), (std::vector<std::string>{"Solution|kept", "X(1)=|2"}));

    // From a one-column grid the new column starts empty.
    g.set_cols(1);
    g.fill_x(2, {0.0f, 1.0f, 3.0f});
    EXPECT_EQ(rows_of(g), (std::vector<std::string>{"Solution|", "X(1)=|1", "X(2)=|3"}));
}

TEST(GridModel, OrdersTheLayoutCannotHoldChangeNothing) {
    GridModel g;
    CountingObserver seen;
    g.set_observer(&seen);
    g.fill_data(2);
    g.set_text(1, 1, "5");
    auto before = rows_of(g);
    seen = {};

    EXPECT_EQ(kind_of([&] { g.fill_data(16382); }), ErrorKind::Overflow);  // 2N+4 = 32768
    EXPECT_EQ(kind_of([&] { g.fill_data(32767); }), ErrorKind::Overflow);  // N+1 = 32768
    EXPECT_EQ(kind_of([&] { g.fill_data(-1); }), ErrorKind::Subscript);
    EXPECT_EQ(kind_of([&] { g.fill_x(-1, {}); }), ErrorKind::Subscript);
    EXPECT_EQ(kind_of([&] { g.fill_x(3, {0, 1, 2}); }), ErrorKind::Subscript);  // X too short
    EXPECT_EQ(rows_of(g), before);
    EXPECT_EQ(seen.resets, 0);

    // The largest order lays out at once, every cell still derived correctly.
    g.fill_data(16381);
    EXPECT_EQ(g.rows(), 16382);
    EXPECT_EQ(g.cols(), 32766);
    EXPECT_EQ(g.text(16381, 32761), "a(16381,16381)");
    EXPECT_EQ(g.text(16381, 32762), "*x(16381)=");
    EXPECT_EQ(g.text(16381, 32763), "b(16381)");
    EXPECT_EQ(g.text(16381, 32765), "0");
    EXPECT_EQ(g.text(0, 32765), "Solution");
    EXPECT_LT(g.memory_bytes(), 1u << 20);
    EXPECT_EQ(seen.resets, 1);
    EXPECT_TRUE(seen.written.empty());

    g.set_text(5, 7, "1");
    EXPECT_EQ(seen.written, (std::vector<std::pair<int, int>>{{5, 7}}));
    g.fill_x(3, {0, 1, 2, 3});
    EXPECT_EQ(seen.resets, 2);
    EXPECT_EQ(seen.written.size(), 1u);
}

// Random sequences of every operation, compared cell by cell with a grid that writes every cell.
// Long texts (beyond one length byte) and many rewrites make the arena compact along the way.
TEST(GridModel, AgreesWithPlainGridOnRandomOperations) {
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // Empty, inline-short, one-length-byte and longer texts.
    auto random_text = [&] {
        static const int lengths[] = {0, 1, 3, 4, 8, 127, 128, 300, 2000};
        int len = lengths[pick(0, 8)];
        return len == 0 ? std::string() : std::string(len - 1, static_cast<char>('a' + pick(0, 25))) + "7";
    };
    GridModel g;
    NaiveGrid ref;
    for (int step = 0; step < 4000; ++step) {
        // The second half lays out nothing new, so that rewrites pile up garbage and force compactions.
        int op = step < 2000 ? pick(0, 99) : pick(5, 99);
        if (op < 3) {
            int n = pick(0, 7);
            g.fill_data(static_cast<int16_t>(n));
            ref.fill_data(n);
        } else if (op < 5) {
            int n = pick(0, 6);
            std::vector<float> x(n + 1);
            std::vector<std::string> xt(n + 1);
            for (int i = 1; i <= n; ++i) {
                x[i] = static_cast<float>(pick(-50, 50)) / 8.0f;
                xt[i] = single_to_text(x[i]);
            }
            g.fill_x(static_cast<int16_t>(n), x);
            ref.fill_x(n, xt);
        } else if (op < 8) {
            int r = pick(1, 10);
            g.set_rows(r);
            ref.set_rows(r);
        } else if (op < 11) {
            int c = pick(1, 18);
            g.set_cols(c);
            ref.set_cols(c);
        } else if (op < 12 && step < 2000) {
            g.clear();
            ref.clear();
        } else {
            int r = pick(0, ref.rows() - 1), c = pick(0, ref.cols() - 1);
            std::string t = random_text();
            g.set_text(r, c, t);
            ref.cells[r][c] = t;
        }
        ASSERT_EQ(g.rows(), ref.rows());
        ASSERT_EQ(g.cols(), ref.cols());
        std::string scratch;
        for (int r = 0; r < ref.rows(); ++r)
            for (int c = 0; c < ref.cols(); ++c)
                ASSERT_EQ(g.text(r, c, scratch), ref.cells[r][c]) << "step " << step << " cell " << r << "," << c;
    }
}

TEST(GridModel, RewritingTheApproximationKeepsMemoryBounded) {
    const int n = 300;
    GridModel g;
    g.fill_data(n);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n + 1; ++j) g.set_text(i, 2 * j - 1, "1.234567");
    const std::size_t settled = g.memory_bytes();
    // Each sweep rewrites every x(i); the lengths vary so that entries move.
    std::string scratch;
    for (int sweep = 0; sweep < 2000; ++sweep) {
        for (int i = 1; i <= n; ++i) g.set_text(i, 2 * n + 3, std::string(4 + (sweep + i) % 12, '7'));
        ASSERT_LE(g.memory_bytes(), settled + settled / 2 + (1u << 20)) << "sweep " << sweep;
    }
    for (int i = 1; i <= n; ++i) EXPECT_EQ(g.text(i, 2 * n + 3, scratch), std::string(4 + (1999 + i) % 12, '7'));
    EXPECT_EQ(g.text(n, 1, scratch), "1.234567");
    EXPECT_EQ(g.text(n, 2, scratch), "*x(1)+");
}

TEST(GridModel, OpenedSystemTakesAtMostTwiceItsTextSize) {
    // Order 1000 with every coefficient and right-hand side an 8-character token, as a text system
    // file of blank-separated tokens holds it.
    const int n = 1000;
    GridModel g;
    g.fill_data(n);
    char token[9];
    std::size_t file_bytes = 0;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n + 1; ++j) {
            std::snprintf(token, sizeof token, "%08d", (i * 7919 + j) % 100000000);
            g.set_text(i, 2 * j - 1, token);
            file_bytes += 9;
        }
        file_bytes += 2;
    }
    EXPECT_LE(g.memory_bytes(), 2 * file_bytes);
    std::snprintf(token, sizeof token, "%08d", (n * 7919 + n) % 100000000);
    EXPECT_EQ(g.text(n, 2 * n - 1), token);
    EXPECT_EQ(g.text(n, 2 * n + 3), "0");
}

}  // namespace
}  // namespace varnex
