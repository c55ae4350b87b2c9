// Connected mode inside a memory cgroup much smaller than its row file: the test binary runs itself
// again inside the group, where a helper writes the row file (past the page cache, as a large file
// is written), solves from it and writes its results, which must be the in-memory bits; the helper
// must have chosen to stream the file and stayed small.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "core/numerics.h"
#include "core/row_stream.h"
#include "support/cgroup.h"
#include "support/fakes.h"
#include "support/systems.h"

namespace varnex {
namespace {

constexpr const char* kHelperVariable = "VARNEX_LIMITED_SOLVE_DIR";
constexpr int kOrder = 1100;  // a row file of 155 MB, larger than the limit
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's shadow memory and quarantine about double what the process holds.
constexpr int kLimitMB = 128, kPeakMB = 96;
#else
constexpr int kLimitMB = 64, kPeakMB = 48;
#endif
constexpr int kSweeps = 2;

// The values of a random, diagonally dominant system of order kOrder, a(i, j) and b(i) as j = n + 1,
// one a call in the order of their records.
auto system_values() {
    return [rng = std::mt19937(kOrder), u = std::uniform_real_distribution<float>(-1.0f, 1.0f)](int i, int j) mutable {
        return j > kOrder ? u(rng) * kOrder : u(rng) + (i == j ? kOrder / 2.0f : 0.0f);
    };
}

// The helper, run in the re-executed binary before any test: the system written into dir/rows.vnx,
// then from X = 0 the set-up and kSweeps sweeps over that file; writes to dir/result whether the file
// was streamed, the peak resident memory in KB and the bits of X, R, D and Er. Exit status 0 when it
// got that far.
int limited_solve(const std::string& dir) {
    try {
        test::write_row_file(dir + "/rows.vnx", kOrder, system_values());
        SystemState st;
        st.N = kOrder;
        st.DataMode = kModeConnected;
        for (auto* v : {&st.X, &st.R, &st.D}) dim_cleared(*v, kOrder);
        GridModel grid;
        grid.fill_x(kOrder, st.X);
        test::FakeBoxes box;
        st.solve_row_file.open(dir + "/rows.vnx");
        get_residual(st);
        get_norms_file(st, box);
        for (int s = 0; s < kSweeps; ++s) do_iteration_file(st, grid);
        struct rusage ru {};
        ::getrusage(RUSAGE_SELF, &ru);
        std::ofstream out(dir + "/result");
        out << st.solve_row_file.streamed() << ' ' << ru.ru_maxrss;
        for (std::uint32_t b : test::state_bits(st)) out << ' ' << b;
        out << '\n';
        return out ? 0 : 2;
    } catch (const std::exception&) {
        return 3;
    }
}

// Runs the helper instead of the tests when the parent test has set the variable.
[[maybe_unused]] const int helper_run = [] {
    if (const char* dir = std::getenv(kHelperVariable)) ::_exit(limited_solve(dir));
    return 0;
}();

TEST(ConnectedMemoryLimitTest, ASolveInsideASmallMemoryCgroupStreamsTheFileAndGivesTheInMemoryBits) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer's shadow memory is several times what the solve holds: no small limit fits it";
#endif
    // A v2 group needs the memory controller enabled for the groups below its parent.
    const auto own = test::own_cgroup("memory");
    if (own && own->v2) test::write_text(own->folder + "/cgroup.subtree_control", "+memory");
    const std::string limit = std::to_string(std::uint64_t(kLimitMB) << 20);
    const std::string cgroup =
        own ? test::make_cgroup(own->folder, {{own->v2 ? "memory.max" : "memory.limit_in_bytes", limit}}) : "";
    if (cgroup.empty()) GTEST_SKIP() << "no memory cgroup: it needs root and a memory controller";

    test::TempDir dir;
    SystemState mem = test::memory_system(kOrder, system_values());

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string pid = std::to_string(::getpid());
        if (!test::write_text(cgroup + "/cgroup.procs", pid)) ::_exit(10);
        ::setenv(kHelperVariable, dir.path().c_str(), 1);
        ::execl("/proc/self/exe", "connected_limit_helper", static_cast<char*>(nullptr));
        ::_exit(11);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::rmdir(cgroup.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "the helper was killed by signal " << WTERMSIG(status);
    ASSERT_EQ(WEXITSTATUS(status), 0);

    test::FakeBoxes box;
    GridModel grid;
    grid.fill_data(kOrder);
    get_residual(mem);
    get_norms(mem, box);
    for (int s = 0; s < kSweeps; ++s) do_iteration(mem, grid);

    std::istringstream result(test::read_file(dir.path() + "/result"));
    bool streamed = false;
    long peak_kb = 0;
    result >> streamed >> peak_kb;
    std::vector<std::uint32_t> got;
    for (std::uint32_t b; result >> b;) got.push_back(b);
    EXPECT_TRUE(streamed);
    EXPECT_LT(peak_kb, kPeakMB * 1024) << "peak resident memory of the helper";
    EXPECT_EQ(got, test::state_bits(mem));
}

}  // namespace
}  // namespace varnex
