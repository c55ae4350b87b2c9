// The matrix picture's cells against a direct computation: every cell is the entry of largest
// magnitude of exactly the block it covers (a value that is not a number wins its cell), here from the
// row file of connected mode, for the whole matrix and for a zoomed block. The picture window's test
// reads the grid of memory mode.
#include "core/matrix_bins.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/state.h"
#include "support/systems.h"
#include "support/temp_dir.h"

namespace varnex {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A 13 × 13 matrix with zeros, both signs, magnitudes over many decades, a NaN and an infinity.
float entry(int i, int j) {
    if (i == 4 && j == 9) return kNaN;
    if (i == 11 && j == 2) return -kInf;
    if (i == 12 && j == 12) return 1e30f;
    if ((i * 7 + j * 3) % 5 == 0) return 0.0f;
    const float m = std::pow(10.0f, static_cast<float>((i + 2 * j) % 9) - 4.0f) * (1.0f + 0.1f * j);
    return (i + j) % 2 ? -m : m;
}

SquareMatrix matrix(int n) { return test::memory_system(n, entry).A; }

// The cell of a block straight from its definition: the entries whose cell index k*bins/count is c.
float direct_cell(const SquareMatrix& A, const BinAxis& rows, const BinAxis& cols, int r, int c) {
    float best = 0.0f;
    for (int i = rows.first; i < rows.first + rows.count; ++i) {
        if ((i - rows.first) * rows.bins / rows.count != r) continue;
        for (int j = cols.first; j < cols.first + cols.count; ++j) {
            if ((j - cols.first) * cols.bins / cols.count != c) continue;
            const float v = A(i, j);
            if (std::isnan(v)) return v;
            if (std::fabs(v) > std::fabs(best)) best = v;
        }
    }
    return best;
}

void expect_direct(const SquareMatrix& A, const MatrixBins& bins) {
    for (int r = 0; r < bins.rows().bins; ++r) {
        for (int c = 0; c < bins.cols().bins; ++c) {
            const float want = direct_cell(A, bins.rows(), bins.cols(), r, c);
            const float got = bins.cell(r, c);
            if (std::isnan(want)) {
                EXPECT_TRUE(std::isnan(got)) << r << "," << c;
            } else {
                EXPECT_EQ(got, want) << "cell " << r << "," << c;
            }
        }
    }
}

TEST(MatrixBinsTest, CellsHoldTheLargestEntryOfTheirBlockAndACancelStopsThePass) {
    const int n = 13;
    const SquareMatrix A = matrix(n);
    test::TempDir dir;
    const std::string path = dir.path() + "/rows.vnx";
    test::write_row_file(path, n, [&](int i, int j) { return j <= n ? A(i, j) : 1.0f; });
    std::atomic<bool> cancel{false};
    // Cells of one entry, of uneven blocks (13 over 5 and 4), of one block, and a zoomed block.
    const int blocks[][5] = {{1, n, 1, n, 64}, {1, n, 1, n, 5}, {1, n, 1, n, 4}, {1, n, 1, n, 1}, {3, 7, 6, 8, 3}};
    for (const auto& b : blocks) {
        SCOPED_TRACE(testing::Message() << b[0] << " " << b[1] << " " << b[2] << " " << b[3] << " " << b[4]);
        MatrixBins from_file(b[0], b[1], b[2], b[3], b[4]);
        ASSERT_TRUE(bin_row_file(path, n, from_file, cancel));
        expect_direct(A, from_file);
    }
    cancel = true;
    MatrixBins stopped(1, n, 1, n, 5);
    EXPECT_FALSE(bin_row_file(path, n, stopped, cancel));
}

}  // namespace
}  // namespace varnex
