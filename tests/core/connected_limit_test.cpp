// Connected mode inside a memory cgroup much smaller than its row file: the test binary runs itself
// again inside the group, where a helper writes the row file (past the page cache, as a large file
// is written), solves from it and writes its results, which must be the in-memory bits; the helper
// must have chosen to stream the file and stayed small.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "core/numerics.h"
#include "core/row_file_writer.h"
#include "core/row_stream.h"
#include "support/fakes.h"

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

// Calls f(i, j, v) for the values of a random, diagonally dominant system of order kOrder in the
// order of their records: a(i, 1..n), then b(i) as j = n + 1.
template <class F>
void each_value(F f) {
    std::mt19937 rng(kOrder);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int i = 1; i <= kOrder; ++i) {
        for (int j = 1; j <= kOrder; ++j) f(i, j, u(rng) + (i == j ? kOrder / 2.0f : 0.0f));
        f(i, kOrder + 1, u(rng) * kOrder);
    }
}

struct QuietBoxes : MessageBoxes {
    void message(std::string_view) override {}
    bool ask_yes_no(std::string_view) override { return true; }
};

// The helper, run in the re-executed binary before any test: the system of each_value written into
// dir/rows.vnx, then from X = 0 the set-up and kSweeps sweeps over that file; writes to dir/result whether the file was
// streamed, the peak resident memory in KB and the bits of X, R, D and Er. Exit status 0 when it got that far.
int limited_solve(const std::string& dir) {
    try {
        RowWriter w;
        w.open(dir + "/rows.vnx");
        each_value([&](int i, int j, float v) { w.put(std::int64_t(kOrder + 1) * (i - 1) + j, v); });
        w.close();
        SystemState st;
        st.N = kOrder;
        st.DataMode = kModeConnected;
        for (auto* v : {&st.X, &st.R, &st.D}) dim_cleared(*v, kOrder);
        GridModel grid;
        grid.fill_x(kOrder, st.X);
        QuietBoxes box;
        st.solve_row_file.open(dir + "/rows.vnx");
        get_residual(st);
        get_norms_file(st, box);
        for (int s = 0; s < kSweeps; ++s) do_iteration_file(st, grid);
        struct rusage ru {};
        ::getrusage(RUSAGE_SELF, &ru);
        std::ofstream out(dir + "/result");
        out << st.solve_row_file.streamed() << ' ' << ru.ru_maxrss;
        for (const auto* v : {&st.X, &st.R, &st.D})
            for (float x : *v) out << ' ' << std::bit_cast<std::uint32_t>(x);
        out << ' ' << std::bit_cast<std::uint32_t>(st.Er) << '\n';
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

bool write_text(const std::string& path, const std::string& text) {
    std::ofstream f(path);
    return static_cast<bool>(f << text) && static_cast<bool>(f.flush());
}

// Makes a memory cgroup of limit bytes below the one this process runs in (cgroup v1, or v2 when the
// memory controller may be enabled for a child); returns its folder, or "" and why in `why`.
std::string make_memory_cgroup(std::uint64_t limit, std::string& why) {
    std::ifstream in("/proc/self/cgroup");
    std::string line, v1, v2;
    bool have_v2 = false;
    while (std::getline(in, line)) {
        const auto a = line.find(':'), b = line.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        std::string ctl(1, ',');
        ctl.append(line, a + 1, b - a - 1).push_back(',');
        if (ctl.find(",memory,") != std::string::npos) v1 = line.substr(b + 1);
        if (line.compare(0, 3, "0::") == 0) v2 = line.substr(b + 1), have_v2 = true;
    }
    const std::string name = "/varnex_test_" + std::to_string(::getpid());
    if (::geteuid() != 0) {
        why = "making a memory cgroup needs root";
        return "";
    }
    if (!v1.empty()) {
        std::string dir = "/sys/fs/cgroup/memory" + (v1 == "/" ? std::string() : v1) + name;
        if (::mkdir(dir.c_str(), 0755) == 0 && write_text(dir + "/memory.limit_in_bytes", std::to_string(limit)))
            return dir;
        ::rmdir(dir.c_str());
        why = "cannot make a cgroup v1 memory group: " + std::string(std::strerror(errno));
        return "";
    }
    if (have_v2) {
        const std::string parent = "/sys/fs/cgroup" + (v2 == "/" ? std::string() : v2);
        std::ifstream ctl(parent + "/cgroup.controllers");
        std::string controllers((std::istreambuf_iterator<char>(ctl)), std::istreambuf_iterator<char>());
        std::string dir = parent + name;
        if (controllers.find("memory") != std::string::npos &&
            write_text(parent + "/cgroup.subtree_control", "+memory") && ::mkdir(dir.c_str(), 0755) == 0 &&
            write_text(dir + "/memory.max", std::to_string(limit)))
            return dir;
        ::rmdir(dir.c_str());
        why = "cannot make a cgroup v2 memory group below " + parent;
        return "";
    }
    why = "no memory cgroup controller on this machine";
    return "";
}

TEST(ConnectedMemoryLimitTest, ASolveInsideASmallMemoryCgroupStreamsTheFileAndGivesTheInMemoryBits) {
    std::string why;
    const std::string cgroup = make_memory_cgroup(std::uint64_t(kLimitMB) << 20, why);
    if (cgroup.empty()) GTEST_SKIP() << why;

    test::TempDir dir;
    SystemState mem;
    mem.N = kOrder;
    mem.DataMode = kModeMemory;
    mem.A.dim(kOrder);
    for (auto* v : {&mem.B, &mem.X, &mem.R, &mem.D}) dim_cleared(*v, kOrder);
    each_value([&](int i, int j, float v) { (j > kOrder ? mem.B[i] : mem.A(i, j)) = v; });

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string pid = std::to_string(::getpid());
        if (!write_text(cgroup + "/cgroup.procs", pid)) ::_exit(10);
        ::setenv(kHelperVariable, dir.path().c_str(), 1);
        ::execl("/proc/self/exe", "connected_limit_helper", static_cast<char*>(nullptr));
        ::_exit(11);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::rmdir(cgroup.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "the helper was killed by signal " << WTERMSIG(status);
    ASSERT_EQ(WEXITSTATUS(status), 0);

    QuietBoxes box;
    GridModel grid;
    grid.fill_data(kOrder);
    get_residual(mem);
    get_norms(mem, box);
    for (int s = 0; s < kSweeps; ++s) do_iteration(mem, grid);
    std::vector<std::uint32_t> want;
    for (const auto* v : {&mem.X, &mem.R, &mem.D})
        for (float x : *v) want.push_back(std::bit_cast<std::uint32_t>(x));
    want.push_back(std::bit_cast<std::uint32_t>(mem.Er));

    std::istringstream result(test::read_file(dir.path() + "/result"));
    bool streamed = false;
    long peak_kb = 0;
    result >> streamed >> peak_kb;
    std::vector<std::uint32_t> got;
    for (std::uint32_t b; result >> b;) got.push_back(b);
    EXPECT_TRUE(streamed);
    EXPECT_LT(peak_kb, kPeakMB * 1024) << "peak resident memory of the helper";
    EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace varnex
