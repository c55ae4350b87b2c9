// The arrays of memory mode: dimensioned for the order, then loaded from the grid row by row, the
// halves of the rows on two threads at larger orders.
#include "commands/system_arrays.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "core/memory_budget.h"
#include "core/split_in_two.h"

namespace varnex {

// A and the elimination's working copy Aw, (N + 1)^2 values each, are checked together against the
// memory this process may use before A is taken (what they hold now is given back first): a system
// that fits once but not twice gets MsgNoMemory here rather than a failure inside the elimination.
void dim_memory(SystemState& st) {
    const std::uint64_t n1 = static_cast<std::uint64_t>(st.N < 0 ? 0 : st.N) + 1;
    const std::uint64_t held = 4 * (static_cast<std::uint64_t>(st.A.stride()) * st.A.stride() +
                                    static_cast<std::uint64_t>(st.Aw.stride()) * st.Aw.stride());
    const std::uint64_t need = 2 * 4 * n1 * n1;
    if (need > held && !fits_in_memory(need - held)) raise(ErrorKind::OutOfMemory);
    dim_cleared(st.R, st.N);
    dim_cleared(st.D, st.N);
    st.A.dim(st.N);
    dim_cleared(st.B, st.N);
    dim_keep(st.X, st.N);
}

namespace {

// Loading the grid: row by row, a(i,1..N), then b(i), then x(i), each converted as it is read and
// stored at once, so a failure leaves everything read before it in the arrays.
// The row's texts are taken in one go when the grid holds the system layout (`views` has room for
// N + 2); a cell never written, or a grid laid out otherwise, is read cell by cell. a(i,j) goes to
// store_a(j, value).
template <class StoreA>
void load_row_with(const GridModel& grid, SystemState& st, int i, std::vector<std::string_view>& views,
                   std::string& scratch, StoreA&& store_a) {
    const int n = st.N;
    if (grid.system_row_texts(i, n + 2, views.data())) {
        // views[k] is value number k + 1 of the row: a(i,1..n), then b(i) and x(i).
        auto cell = [&](int k) { return views[k].data() ? views[k] : grid.text(i, value_column(k + 1), scratch); };
        for (int j = 1; j <= n; ++j) store_a(j, text_to_single(cell(j - 1)));
        st.B[i] = text_to_single(cell(n));
        st.X[i] = text_to_single(cell(n + 1));
        return;
    }
    for (int j = 1; j <= n; ++j) store_a(j, text_to_single(grid.text(i, a_column(j), scratch)));
    st.B[i] = text_to_single(grid.text(i, b_column(n), scratch));
    st.X[i] = text_to_single(grid.text(i, x_column(n), scratch));
}

void load_row(const GridModel& grid, SystemState& st, int i, std::vector<std::string_view>& views,
              std::string& scratch) {
    load_row_with(grid, st, i, views, scratch, [&](int j, float v) { st.A(i, j) = v; });
}

// Rows converted into a tile before they go into A: A keeps its columns contiguous, so a row written
// straight into it touches N cache lines and pages; a tile of rows goes in column by column, one run
// of kTileRows values per column.
constexpr int kTileRows = 16;

// Loads rows first..last in order and stops at the first that fails; returns it, or last + 1. The
// rows of a tile before a failing row are stored; the failing row is left to the caller.
int load_rows(const GridModel& grid, SystemState& st, int first, int last) noexcept {
    const int n = st.N;
    int i = first;
    try {
        std::vector<std::string_view> views(static_cast<std::size_t>(n) + 2);
        std::vector<float> tile(static_cast<std::size_t>(kTileRows) * n);
        std::string scratch;
        auto store_tile = [&](int i0, int rows) {
            for (int j = 1; j <= n; ++j) {
                float* col = st.A.col(j) + i0;
                const float* from = tile.data() + (j - 1);
                for (int r = 0; r < rows; ++r) col[r] = from[static_cast<std::size_t>(r) * n];
            }
        };
        while (i <= last) {
            const int i0 = i;
            const int rows = std::min(kTileRows, last - i0 + 1);
            try {
                for (; i < i0 + rows; ++i) {
                    float* row = tile.data() + static_cast<std::size_t>(i - i0) * n;
                    load_row_with(grid, st, i, views, scratch, [row](int j, float v) { row[j - 1] = v; });
                }
            } catch (...) {
                store_tile(i0, i - i0);
                return i;
            }
            store_tile(i0, rows);
        }
    } catch (...) {
    }
    return i;
}

// Orders from which the second half of the rows is worth a thread of its own.
constexpr int kLoadThreadOrder = 256;

}  // namespace

// Loads the grid into the arrays that dim_memory has just made: A and B zero, X resized. The halves
// of the rows are converted side by side on two threads when the processor has two. When a row fails,
// every row from it on is put back as the dimensioning left it and loaded once more alone, which stops
// at the same cell as the loading in order, with the same values stored before it.
void load_grid(App& app) {
    SystemState& st = app.st;
    const GridModel& grid = app.grid;
    const int n = st.N;
    int16_or_overflow(x_column(n));  // the column indices are 16-bit; checked once before anything is read
    std::vector<std::string_view> views(static_cast<std::size_t>(n) + 2);
    std::string scratch;
    if (n < kLoadThreadOrder || !two_processors()) {
        for (int i = 1; i <= n; ++i) load_row(grid, st, i, views, scratch);
        return;
    }
    const std::vector<float> x_before(st.X.begin(), st.X.begin() + n + 1);
    const int half = n / 2;
    int failed_low = half + 1, failed_high = n + 1;
    split_in_two(1, n + 1, true, [&](int first, int end) {
        (first == 1 ? failed_low : failed_high) = load_rows(grid, st, first, end - 1);
    });
    const int failed = failed_low <= half ? failed_low : failed_high;
    for (int i = failed; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) st.A(i, j) = 0.0f;
        st.B[i] = 0.0f;
        st.X[i] = x_before[i];
    }
    for (int i = failed; i <= n; ++i) load_row(grid, st, i, views, scratch);
}

}  // namespace varnex
