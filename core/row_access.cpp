// The choice between mapping and streaming the row file, and the panel width of a streamed sweep, by
// the memory budget.

#include "core/row_access.h"

#include <algorithm>
#include <atomic>

#include "core/memory_budget.h"
#include "core/row_access_testing.h"

namespace varnex {

namespace {

std::atomic<RowAccess> g_access{RowAccess::Automatic};
std::atomic<int> g_panel_columns{0};  // 0: by the memory budget

}  // namespace

void set_row_access(RowAccess access) { g_access.store(access); }
RowAccess row_access() { return g_access.load(); }

bool streams_file(std::uint64_t bytes) { return bytes > usable_memory() / 2; }

void set_panel_columns_for_tests(std::optional<int> columns) { g_panel_columns.store(columns.value_or(0)); }

int panel_columns(int n) {
    if (const int forced = g_panel_columns.load(); forced > 0) return std::min(forced, n);
    // Three panels of p columns of n floats within the budget.
    const std::uint64_t budget = std::clamp<std::uint64_t>(usable_memory() / 5, 8ull << 20, 48ull << 20);
    const std::uint64_t per_column = 3ull * 4ull * static_cast<std::uint64_t>(n + 16);
    std::uint64_t p = budget / per_column;
    p = std::clamp<std::uint64_t>(p / 32 * 32, 32, 1024);
    return n < static_cast<int>(p) ? n : static_cast<int>(p);
}

}  // namespace varnex
