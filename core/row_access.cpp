// The choice between mapping and streaming the row file and the panel width of a streamed sweep, by
// the memory budget; and whether the mapped sweep takes a second thread, by the processors idle.

#include "core/row_access.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "core/memory_budget.h"
#include "core/row_access_testing.h"

namespace varnex {

namespace {

std::atomic<RowAccess> g_access{RowAccess::Automatic};
std::atomic<int> g_panel_columns{0};  // 0: by the memory budget

// The processors this process may run on.
int processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
    return static_cast<int>(std::thread::hardware_concurrency());
}

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

// With every processor taken, two threads gain processor time only from threads of this process's
// own scheduling group (the kernel shares the processors between groups first: a session's autogroup,
// a cgroup); against another group's threads, the common case of a program competing with another
// session's work, they split one share and the sweep on one thread is faster. The count cannot tell
// the two apart, so a busy machine gets one thread.
bool idle_second_processor() {
    const int cpus = processors();
    if (cpus < 2) return false;
    std::FILE* f = std::fopen("/proc/loadavg", "r");
    if (!f) return true;
    double l1, l5, l15;
    int running = 0, threads = 0;
    const bool read = std::fscanf(f, "%lf %lf %lf %d/%d", &l1, &l5, &l15, &running, &threads) == 5;
    std::fclose(f);
    return !read || running < cpus;
}

}  // namespace varnex
