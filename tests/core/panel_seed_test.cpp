// The columns that a panel stream hands out, with and without the first panels kept from a pass over
// the rows: every value must be the file's, for panels that end on a block of records and inside one.

#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "core/panel_stream.h"
#include "core/row_access_testing.h"
#include "core/row_file.h"
#include "core/row_stream.h"
#include "support/fakes.h"
#include "support/systems.h"

namespace varnex {
namespace {

TEST(PanelSeedTest, ColumnsWithKeptFirstPanelsAreTheFileValues) {
    constexpr int n = 150;
    test::TempDir dir;
    const std::string path = dir.path() + "/rows.vnx";
    std::vector<float> a(static_cast<std::size_t>(n) * (n + 1));  // a[(i-1)*(n+1) + j-1]
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    test::write_row_file(path, n, [&](int i, int j) { return a[std::size_t(i - 1) * (n + 1) + j - 1] = u(rng); });
    set_row_access(RowAccess::Streamed);
    RowFile f;
    f.open(path);
    set_row_access(RowAccess::Automatic);
    ASSERT_TRUE(f.streamed());

    // Panels of 32 (on block boundaries), 33 (ending inside blocks), 64 and 100 (two panels only).
    for (int p : {32, 33, 64, 100}) {
        for (bool seeded : {true, false}) {
            std::unique_ptr<PanelSeed> seed;
            if (seeded) {
                seed = std::make_unique<PanelSeed>(n, p);
                RowStream rows(f, n);
                for (int i = 1; i <= n; ++i) seed->add_row(i, rows.next());
            }
            PanelStream cols(f, n, p, std::move(seed));
            int wrong = 0;
            for (int c = 1; c <= n; ++c) {
                const float* col = cols.column(c);
                for (int j = 1; j <= n; ++j) {
                    const float want = a[static_cast<std::size_t>(j - 1) * (n + 1) + static_cast<std::size_t>(c - 1)];
                    wrong += std::bit_cast<std::uint32_t>(col[j]) != std::bit_cast<std::uint32_t>(want);
                }
                cols.release_through(c);
                cols.pump();
            }
            EXPECT_EQ(wrong, 0) << "panels of " << p << (seeded ? ", seeded" : "");
        }
    }
}

}  // namespace
}  // namespace varnex
