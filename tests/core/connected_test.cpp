// The row file readers and the column relaxation over the row file: reads beyond the end, agreement
// with the in-memory sweeps bit for bit for every reader and buffer size, and the state a fault leaves.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <tuple>

#include "core/async_file_io_testing.h"
#include "core/connected_kernels_testing.h"
#include "core/connected_sweeps.h"
#include "core/matrix_bins.h"
#include "core/memory_budget_testing.h"
#include "core/numerics.h"
#include "core/row_access_testing.h"
#include "core/row_file.h"
#include "core/row_stream.h"
#include "support/fakes.h"
#include "support/systems.h"

namespace varnex {
namespace {

// The ways to run a connected sweep: 0 the plain reader, 1 the chosen kernels (on two threads from
// kGatherThreadMinOrder on), then the scalar and the wide kernels each with column buffers of 1, 2
// and 16 rows (the rows of a longer column are read again for the residual update) and of the full
// size, then the walk shared by two threads at every order on either kernels, with claims of 3 rows
// (many claims per column, from both ends), and through the ring with no second thread (the
// computing thread walks every column under the update, as when the other has lost its processor).
// From way 14 on the file is streamed: the chosen reader, then panels of 32 columns on the wide
// kernels, of 64 on the scalar ones through the page cache with one read at a time, and of 33 (panels
// that end inside a block) with direct reads.
constexpr int kWays = 18;
constexpr int kFirstStreamed = 14;
constexpr int kCachedWay = kFirstStreamed + 2;

// The file access of a way, set for as long as the object lives (from the opening of the file on).
struct WayAccess {
    explicit WayAccess(int way) {
        set_row_access(way < kFirstStreamed ? RowAccess::Mapped
                       : way == kCachedWay  ? RowAccess::StreamedCached
                                            : RowAccess::Streamed);
        set_async_reads(way != kCachedWay);
    }
    ~WayAccess() {
        set_row_access(RowAccess::Automatic);
        set_async_reads(true);
    }
};

// A connected state over the row file at path, starting from x (1-based), the file opened for the way.
void connect_state(SystemState& s, GridModel& grid, const std::string& path, const std::vector<float>& x, int way = 1) {
    WayAccess access(way);
    test::connect_rows(s, grid, path, x);
}

void sweep(SystemState& st, GridModel& grid, int way) {
    const int rows[] = {1, 2, 16, kColumnBufferRows};
    const ColumnKernels* wide = column_kernels_avx2();
    const ColumnKernels& widest = wide ? *wide : column_kernels_scalar();
    WayAccess access(way);
    if (way == 0)
        do_iteration_file_plain(st, grid);
    else if (way == 1 || way == kFirstStreamed)
        do_iteration_file(st, grid);
    else if (way < 10)
        do_iteration_file_with(st, grid, way < 6 ? column_kernels_scalar() : widest, rows[(way - 2) % 4]);
    else if (way < kFirstStreamed)
        do_iteration_file_gathered(st, grid, way == 10 ? column_kernels_scalar() : widest, kColumnBufferRows,
                                   way == 12 ? 3 : kGatherChunkRows, way != 13);
    else
        do_iteration_file_streamed(st, grid, way == kCachedWay ? column_kernels_scalar() : widest,
                                   way == kFirstStreamed + 1 ? 32
                                   : way == kCachedWay       ? 64
                                                             : 33);
}

// The set-up of a way: the plain readers for way 0, the fast ones for the others.
void set_up(SystemState& st, MessageBoxes& box, int way) {
    WayAccess access(way);
    way == 0 ? get_residual_file_plain(st) : get_residual(st);
    way == 0 ? get_norms_file_plain(st, box) : get_norms_file(st, box);
}

// The error a sweep raised, the bits of X, R, D and Er after it, and the texts of column `col` of the grid.
using Outcome = std::tuple<std::optional<ErrorKind>, std::vector<std::uint32_t>, std::vector<std::string>>;
Outcome outcome(const SystemState& s, const GridModel& grid, int col, std::optional<ErrorKind> kind = {}) {
    std::vector<std::string> texts;
    for (int i = 1; i <= s.N; ++i) texts.push_back(grid.text(i, col));
    return {kind, test::state_bits(s), texts};
}
Outcome run_way(SystemState& st, GridModel& grid, int way) {
    return outcome(st, grid, 1, test::error_of([&] { sweep(st, grid, way); }));
}

TEST(RowFileTest, RecordNumbersAValueCutByTheEndOfTheFileAndTheRecordsOfAZoomedPicture) {
    EXPECT_THROW(record_of(1, 1, 32767), RunError);  // N + 1 is 16-bit
    // Record 1 = 1.5; record 2's value bytes end two bytes beyond the end: it reads as 0.
    test::TempDir dir;
    RowFile f;
    f.open(dir.write("cut.vnx", std::string("\0\0\xC0\x3F", 4) + std::string(124, '\0') + "\1\1"));
    EXPECT_EQ(f.record(1), 1.5f);
    EXPECT_EQ(f.record(2), 0.0f);
    // The matrix picture zoomed to rows 2..10 and columns 4..13 of order 13: a cell for each entry.
    const std::string path =
        test::write_row_file(dir.path() + "/rows.vnx", 13, [](int i, int j) { return 100.0f * i + j; });
    MatrixBins bins(2, 9, 4, 10, 64);
    std::atomic<bool> cancel{false};
    ASSERT_TRUE(bin_row_file(path, 13, bins, cancel));
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 10; ++c) EXPECT_EQ(bins.cell(r, c), 100.0f * (2 + r) + 4 + c) << r << "," << c;
    cancel = true;
    EXPECT_FALSE(bin_row_file(path, 13, bins, cancel));
}

TEST(ConnectedSweepTest, EveryWayGivesTheInMemoryBitsSweepBySweep) {
    // Random systems, diagonally dominant at odd orders, held in memory and in the row file.
    // Order 63: every row starts on a block of 4 KB; 100 and up: several panels of 32 and 33 columns.
    for (int n : {1, 2, 3, 17, 63, 100, kGatherThreadMinOrder - 1, kGatherThreadMinOrder + 44}) {
        SCOPED_TRACE(testing::Message() << "n " << n);
        std::mt19937 rng(1000u + n);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        SystemState mem = test::memory_system(
            n, [&](int i, int j) { return j > n ? u(rng) * n : u(rng) + (n % 2 && i == j ? 2.0f * n / 3 : 0.0f); });
        for (int i = 1; i <= n; ++i) mem.X[i] = u(rng);
        test::TempDir dir;
        const std::string path = test::write_row_file(dir.path() + "/rows.vnx", n,
                                                      [&](int i, int j) { return j > n ? mem.B[i] : mem.A(i, j); });
        GridModel mem_grid;
        mem_grid.fill_data(mem.N);
        test::FakeBoxes box;
        get_residual(mem);
        get_norms(mem, box);
        std::vector<SystemState> st(kWays);
        std::vector<GridModel> grids(kWays);
        for (int k = 0; k < kWays; ++k) {
            connect_state(st[k], grids[k], path, mem.X, k);
            set_up(st[k], box, k);
            ASSERT_EQ(std::get<1>(outcome(mem, mem_grid, 0)), std::get<1>(outcome(st[k], grids[k], 0)));
        }
        for (int s = 1; s <= 3; ++s) {
            do_iteration_plain(mem, mem_grid);
            const Outcome want = outcome(mem, mem_grid, 2 * n + 3);
            for (int k = 0; k < kWays; ++k)
                ASSERT_EQ(run_way(st[k], grids[k], k), want) << "sweep " << s << " way " << k;
        }
        EXPECT_TRUE(box.shown.empty());
    }
}

std::atomic<int> g_reads{0};
ssize_t counting_read(int fd, void* buf, std::size_t len, off_t off) {
    ++g_reads;
    return ::pread(fd, buf, len, off);
}

TEST(ConnectedSweepTest, TheSweepAfterASetUpTakesEveryPanelThatTheSetUpKept) {
    // Order 300 in panels of 32 columns: ten panels, the last of 12. As the memory allows, the set-up
    // keeps two of them (the fewest), five, or all ten, and the stream reads the others into a ring of
    // three, six or ten slots. Three sweeps after the set-up give the bits of the mapped file, and the
    // first sweep reads runs of the panels that were not kept, and none when all were.
    constexpr int n = 300;
    std::mt19937 rng(300);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    test::TempDir dir;
    const std::string path = test::write_row_file(dir.path() + "/rows.vnx", n, [&](int i, int j) {
        return j > n ? u(rng) * n : u(rng) + (i == j ? 40.0f : 0.0f);
    });
    std::vector<float> x(n + 1, 0.5f);
    int first_sweep_reads = 0;
    auto three_sweeps = [&](bool streamed) {
        const int way = streamed ? kFirstStreamed : 1;
        SystemState st;
        GridModel grid;
        test::FakeBoxes box;
        connect_state(st, grid, path, x, way);
        set_up(st, box, way);
        // The sweeps' reads one at a time, through the counting call.
        set_async_reads(false);
        std::vector<Outcome> got;
        for (int s = 0; s < 3; ++s) {
            g_reads = 0;
            got.push_back(outcome(st, grid, 1, test::error_of([&] { do_iteration_file(st, grid); })));
            if (s == 0) first_sweep_reads = g_reads;
        }
        set_async_reads(true);
        return got;
    };
    const std::vector<Outcome> want = three_sweeps(false);
    set_panel_columns_for_tests(32);
    set_positional_read(counting_read);
    // The set-up's stream holds its buffers beside the kept panels; a panel's slot holds 304 floats a
    // column.
    const std::uint64_t beside = RowStream::buffer_bytes(), slot_bytes = 304 * 32 * sizeof(float);
    const std::optional<std::uint64_t> memory[] = {beside + 2 * 3 * slot_bytes, beside + 2 * 6 * slot_bytes,
                                                   std::nullopt};
    const int panels_read[] = {8, 5, 0};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        set_usable_memory_for_tests(memory[k]);
        EXPECT_EQ(three_sweeps(true), want);
        // A run per equation and panel read, or none where the block that the panel before read holds
        // the whole run (of the short last panel, often).
        EXPECT_LE(first_sweep_reads, panels_read[k] * n);
        EXPECT_GE(first_sweep_reads, (panels_read[k] - 1) * n);
    }
    set_usable_memory_for_tests(std::nullopt);
    set_positional_read(nullptr);
    set_panel_columns_for_tests(std::nullopt);
}

// Runs every way from X = x, R = r, D = d and a stale Er, expects of each the plain reader's outcome
// and returns that.
Outcome same_outcome_every_way(const std::string& path, const std::vector<float>& x, const std::vector<float>& r,
                               const std::vector<float>& d) {
    std::optional<Outcome> want;
    for (int way = 0; way < kWays; ++way) {
        SystemState st;
        GridModel grid;
        connect_state(st, grid, path, x, way);
        st.R = r, st.D = d, st.Er = 7;
        const Outcome got = run_way(st, grid, way);
        if (!want) want = got;
        EXPECT_EQ(got, *want) << way;
    }
    return *want;
}

TEST(ConnectedSweepTest, FaultsLeaveTheSameStateInEveryWayWhereverTheyStrike) {
    // Order 17, column 1 = (1, 1, 0, ..., 3e38 at row 11, 0, ...): its norm overflows at row 11 and
    // stays infinite in D(1). Then, with X = 1, R = (-2, 5, 0, ...) and D = 1, the column sum is 3,
    // X(1) = -2, R(1) = -5, R(2) = 2 (so Er = 2), and R(11) = -inf stops the update; buffers of 1 and
    // 2 rows put row 11 in a stretch read again from the file.
    test::TempDir dir;
    const std::string path = test::write_row_file(dir.path() + "/rows.vnx", 17, [](int i, int j) {
        return j > 1 ? 0.0f : i == 11 ? 3e38f : i <= 2 ? 1.0f : 0.0f;
    });
    std::vector<float> ones(18, 1.0f), r(18, 0.0f);
    ones[0] = 0;
    GridModel grid;
    test::FakeBoxes box;
    for (int way : {0, 1, kFirstStreamed}) {
        SystemState st;
        connect_state(st, grid, path, ones, way);
        WayAccess access(way);
        EXPECT_THROW(way == 0 ? get_norms_file_plain(st, box) : get_norms_file(st, box), RunError);
        EXPECT_EQ(st.D[1], INFINITY);
        EXPECT_EQ(st.D[2], 0.0f);
    }
    r[1] = -2, r[2] = 5;
    SystemState want;
    want.X = ones, want.X[1] = -2;
    want.R = r, want.R[1] = -5, want.R[2] = 2, want.R[11] = -INFINITY;
    want.D = ones, want.Er = 2;
    const auto [kind, bits, texts] = same_outcome_every_way(path, ones, r, ones);
    EXPECT_EQ(kind, ErrorKind::Overflow);
    EXPECT_EQ(bits, std::get<1>(outcome(want, grid, 0)));
    EXPECT_EQ(texts[0], "-2");

    // A residual that overflows at a(row, 5), in a group of equations formed side by side or among the
    // last ones formed alone: every way stops there with R as the plain reader leaves it.
    for (int row : {13, 19}) {
        const std::string file =
            test::write_row_file(dir.path() + "/r" + std::to_string(row) + ".vnx", 20,
                                 [row](int i, int j) { return i == row && j == 5 ? 3e38f : i - j; });
        std::vector<std::uint32_t> want;
        for (int way : {0, 1, kFirstStreamed}) {
            SystemState st;
            connect_state(st, grid, file, std::vector<float>(21, 10.0f), way);
            WayAccess access(way);
            EXPECT_EQ(test::error_of([&] { way == 0 ? get_residual_file_plain(st) : get_residual(st); }),
                      ErrorKind::Overflow);
            if (way == 0) want = test::bits(st.R);
            EXPECT_EQ(test::bits(st.R), want) << "row " << row << " way " << way;
        }
    }

    // Vectors shorter than 1..N (a set-up that failed part way): a subscript error, no stray read.
    SystemState st;
    connect_state(st, grid, path, ones);
    st.N = 18;
    grid.fill_x(18, std::vector<float>(19));
    EXPECT_THROW(do_iteration_file(st, grid), RunError);
    EXPECT_THROW(get_residual_file(st), RunError);

    // A random system with one huge coefficient a(row, col), or a zero norm D(col), so that the sweep
    // faults in the column sum, the quotient or the residual update of column col while the second
    // thread is still gathering later columns.
    const int big = kGatherThreadMinOrder + 44;
    const int cases[][4] = {{40, 1, 1, 0},          {40, 40, 40, 0}, {40, 7, 23, 0},
                            {big, 150, big - 1, 0}, {big, 3, 2, 1},  {big, big, big, 1}};
    for (const auto [n, row, col, zero_norm] : cases) {
        SCOPED_TRACE(testing::Message() << "n " << n << " a(" << row << ", " << col << ")");
        test::TempDir tmp;
        std::mt19937 rng(77u + n + col);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        const std::string file = test::write_row_file(tmp.path() + "/rows.vnx", n, [&](int i, int j) {
            return !zero_norm && i == row && j == col ? 3e38f : u(rng);
        });
        std::vector<float> x(n + 1), res(n + 1), d(n + 1, 1.0f);
        for (int i = 1; i <= n; ++i) x[i] = u(rng), res[i] = 2 * u(rng), d[i] = n + u(rng);
        if (zero_norm) d[col] = 0.0f;
        EXPECT_TRUE(std::get<0>(same_outcome_every_way(file, x, res, d)).has_value());
    }
}

}  // namespace
}  // namespace varnex
