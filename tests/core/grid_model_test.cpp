#include "core/grid_model.h"

#include <gtest/gtest.h>

#include <random>

#include "core/convert.h"
#include "support/systems.h"

namespace varnex {
namespace {

using Cells = std::vector<std::vector<std::string>>;
using Rows = std::vector<std::string>;

Cells cells_of(const GridModel& g) {
    Cells out(g.rows(), Rows(g.cols()));
    for (int r = 0; r < g.rows(); ++r)
        for (int c = 0; c < g.cols(); ++c) out[r][c] = g.text(r, c);
    return out;
}

TEST(GridModel, OutOfRangeAccessAndOrdersTooLargeChangeNothing) {
    GridModel g;
    g.fill_data(2);
    g.set_text(1, 1, "5");
    for (auto [r, c] : {std::pair{-1, 0}, {0, -1}, {3, 0}, {0, 8}}) {
        EXPECT_EQ(test::error_of([&] { g.text(r, c); }), ErrorKind::Subscript) << r << "," << c;
        EXPECT_EQ(test::error_of([&] { g.set_text(r, c, "v"); }), ErrorKind::Subscript) << r << "," << c;
    }
    const Cells before = cells_of(g);
    EXPECT_EQ(test::error_of([&] { g.fill_data(16382); }), ErrorKind::Overflow);  // 2N+4 = 32768
    EXPECT_EQ(test::error_of([&] { g.fill_data(-1); }), ErrorKind::Subscript);
    EXPECT_EQ(test::error_of([&] { g.fill_x(3, {0, 1, 2}); }), ErrorKind::Subscript);  // x too short
    EXPECT_EQ(cells_of(g), before);

    // The largest order lays out at once, its texts derived rather than stored.
    g.fill_data(16381);
    EXPECT_EQ(g.rows() + g.cols(), 16382 + 32766);
    EXPECT_EQ(g.text(16381, 32761) + g.text(16381, 32762) + g.text(16381, 32763), "a(16381,16381)*x(16381)=b(16381)");
    EXPECT_LT(g.memory_bytes(), 1u << 20);
}

// Random sequences of every operation against a plain table of texts, which lays out the system and
// the solution as the grid must (the solution's layout keeps row 0 beyond its first cell): resizes
// drop written and derived cells alike, text lengths straddle the storage's size classes, orders
// above 7 span several slot blocks, and the second half only rewrites, so that garbage piles up and
// forces compactions.
TEST(GridModel, AgreesWithPlainTableOnRandomOperations) {
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int lengths[] = {0, 1, 3, 4, 8, 127, 128, 300, 2000};
    GridModel g;
    Cells ref(2, Rows(2));
    int row_reads = 0;
    ASSERT_EQ(cells_of(g), ref);  // the designed 2 x 2 grid
    auto resize = [&](int r, int c) {
        ref.resize(r, Rows(c));
        for (auto& row : ref) row.resize(c);
    };
    for (int step = 0; step < 4000; ++step) {
        const int op = step < 2000 ? pick(0, 99) : pick(5, 99);
        const int n = pick(0, 3) == 0 ? pick(8, 40) : pick(0, 7);
        if (op < 3) {
            g.fill_data(static_cast<int16_t>(n));
            ref.assign(n + 1, Rows(2 * n + 4));
            ref[0][0] = "System", ref[0][2 * n + 3] = "Solution";
            for (int i = 1; i <= n; ++i) {
                for (int j = 1; j <= n; ++j) {
                    ref[i][2 * j - 1] = "a(" + std::to_string(i) + "," + std::to_string(j) + ")";
                    ref[i][2 * j] = "*x(" + std::to_string(j) + (j < n ? ")+" : ")=");
                }
                ref[i][2 * n + 1] = "b(" + std::to_string(i) + ")", ref[i][2 * n + 3] = "0";
            }
        } else if (op < 5) {
            std::vector<float> x(n + 1);
            resize(n + 1, 2);
            ref[0][0] = "Solution";
            for (int i = 1; i <= n; ++i) {
                x[i] = static_cast<float>(pick(-50, 50)) / 8.0f;
                ref[i] = {"X(" + std::to_string(i) + ")=", single_to_text(x[i])};
            }
            g.fill_x(static_cast<int16_t>(n), x);
        } else if (op < 12 && step < 2000) {
            g.clear();
            ref.assign(g.rows(), Rows(g.cols()));
        } else {
            const int r = pick(0, g.rows() - 1), c = pick(0, g.cols() - 1);
            const std::string t(lengths[pick(0, 8)], static_cast<char>('a' + pick(0, 25)));
            g.set_text(r, c, t);
            ref[r][c] = t;
        }
        if (step % 8 == 0 || step == 3999) {
            ASSERT_EQ(cells_of(g), ref) << "step " << step;
            // The row reader of the solve commands, wherever it answers, gives the same texts.
            std::string_view views[64];
            for (int r = 0; r < g.rows(); ++r) {
                for (int count : {g.cols() / 2, (g.cols() + 1) / 2, n + 2}) {
                    if (count > 64 || !g.system_row_texts(r, count, views)) continue;
                    ++row_reads;
                    ASSERT_LT(2 * count - 1, g.cols());
                    for (int k = 0; k < count; ++k)
                        ASSERT_EQ(views[k].data() ? std::string(views[k]) : g.text(r, 2 * k + 1), ref[r][2 * k + 1])
                            << "step " << step << " row " << r << " cell " << k;
                }
            }
        }
    }
    EXPECT_GT(row_reads, 1000);
}

TEST(GridModel, MemoryStaysBoundedUnderRewrites) {
    // Each sweep rewrites every x(i) with varying lengths; the garbage (6 MB in all) must be reclaimed,
    // or a long run of sweeps would use up the memory.
    GridModel h;
    h.fill_data(300);
    const std::size_t settled = h.memory_bytes();
    for (int sweep = 0; sweep < 2000; ++sweep) {
        for (int i = 1; i <= 300; ++i) h.set_text(i, 603, std::string(4 + (sweep + i) % 12, '7'));
        ASSERT_LE(h.memory_bytes(), settled + (1u << 20)) << "sweep " << sweep;
    }
}

}  // namespace
}  // namespace varnex
