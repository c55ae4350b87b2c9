// Connected mode when things go wrong around it. Its threads sleep while they wait: when the computing
// thread stops (here in the grid's observer, as a busy machine would take its processor away), the
// thread that reads the columns ahead fills its ring and then takes no processor time; a streamed
// solve from a slow disk (a block I/O cgroup that throttles reads) takes almost no processor time while
// it waits for the reads. Inside a memory cgroup much smaller than its row file a solve streams the
// file, stays small and gives the in-memory bits. When the file is cut short under the streams after it
// was opened, each stops with a file error where the data ends.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "core/async_file_io_testing.h"
#include "core/connected_sweeps.h"
#include "core/numerics.h"
#include "core/panel_stream.h"
#include "core/row_access_testing.h"
#include "core/row_file.h"
#include "core/row_stream.h"
#include "support/cgroup.h"
#include "support/fakes.h"
#include "support/systems.h"

namespace varnex {
namespace {

double process_cpu_seconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A connected state of order n over the row file at path, opened for `access`, set up for sweeping.
void set_up_connected(SystemState& st, GridModel& grid, const std::string& path, int n,
                      RowAccess access = RowAccess::Automatic) {
    set_row_access(access);
    test::connect_rows(st, grid, path, std::vector<float>(n + 1));
    set_row_access(RowAccess::Automatic);
    test::FakeBoxes box;
    get_residual(st);
    get_norms_file(st, box);
}

// Writes the row file of a diagonally dominant system of order n at path.
std::string write_rows(const test::TempDir& dir, int n) {
    return test::write_row_file(dir.path() + "/rows.vnx", n,
                                [n](int i, int j) { return i == j ? 4.0f * n : float((i * 7 + j * 3) % 11); });
}

// Stops the sweep for `pause` when unknown `row` is written, and notes the processor time that the
// whole process took meanwhile.
struct PausingObserver : GridObserver {
    int row;
    std::chrono::milliseconds pause;
    double cpu_during_pause = -1;
    PausingObserver(int r, std::chrono::milliseconds p) : row(r), pause(p) {}
    void grid_reset() override {}
    void cell_written(int r, int col) override {
        if (r != row || col != 1 || cpu_during_pause >= 0) return;
        const double before = process_cpu_seconds();
        std::this_thread::sleep_for(pause);
        cpu_during_pause = process_cpu_seconds() - before;
    }
};

TEST(ConnectedWaitTest, TheReadingThreadSleepsWhileTheComputingThreadIsStopped) {
    constexpr int n = 700;  // past kGatherThreadMinOrder: the sweep reads on a second thread
    test::TempDir dir;
    const std::string path = write_rows(dir, n);
    // The same sweep twice: with the pause and without, which must end in the same bits.
    std::vector<float> x[2];
    double cpu = -1;
    for (int run = 0; run < 2; ++run) {
        SystemState st;
        GridModel grid;
        set_up_connected(st, grid, path, n, RowAccess::Mapped);
        PausingObserver obs(3, std::chrono::milliseconds(run == 0 ? 800 : 0));
        grid.set_observer(&obs);
        do_iteration_file_gathered(st, grid, column_kernels_best(), kColumnBufferRows);
        grid.set_observer(nullptr);
        if (run == 0) cpu = obs.cpu_during_pause;
        x[run] = st.X;
    }
    ASSERT_GE(cpu, 0.0);
    // Filling eight columns of order 700 takes a few milliseconds; a thread that kept polling would
    // take most of the 800 ms.
    EXPECT_LT(cpu, 0.1) << "processor seconds taken while the computing thread was stopped";
    EXPECT_EQ(test::bits(x[0]), test::bits(x[1]));
}

TEST(ConnectedWaitTest, AStreamedSolveFromASlowDiskSleepsWhileItWaits) {
    constexpr int n = 250;                      // an 8 MB row file
    constexpr long kBytesPerSecond = 16 << 20;  // set-up and sweep read it in about a second
    test::TempDir dir;
    const std::string path = write_rows(dir, n);
    // A v1 block I/O group whose reads from the disk holding the file are throttled.
    struct stat sb {};
    const auto own = test::own_cgroup("blkio");
    std::string cgroup;
    if (own && !own->v2 && ::stat(path.c_str(), &sb) == 0) {
        const std::string rule = std::to_string(major(sb.st_dev)) + ":" + std::to_string(minor(sb.st_dev)) + " " +
                                 std::to_string(kBytesPerSecond);
        cgroup = test::make_cgroup(own->folder, {{"blkio.throttle.read_bps_device", rule}});
    }
    if (cgroup.empty()) GTEST_SKIP() << "throttling reads needs root, a cgroup v1 blkio controller and a disk";

    // A child in the cgroup: the set-up and one sweep from the streamed file; it writes its wall time and
    // its processor time into the folder.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        test::write_text(cgroup + "/cgroup.procs", std::to_string(::getpid()));
        try {
            const auto t0 = std::chrono::steady_clock::now();
            SystemState st;
            GridModel grid;
            set_up_connected(st, grid, path, n, RowAccess::Streamed);
            do_iteration_file(st, grid);
            std::ofstream(dir.path() + "/times")
                << std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() << ' '
                << process_cpu_seconds();
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::rmdir(cgroup.c_str());
    double times[2] = {-1, -1};
    std::ifstream(dir.path() + "/times") >> times[0] >> times[1];
    ASSERT_GE(times[0], 0) << "the child failed";
    if (times[0] < 0.4) GTEST_SKIP() << "the throttle did not slow the reads (" << times[0] << " s)";
    // The set-up and the sweep compute for about 50 ms; a wait that polled would add nearly all the rest.
    EXPECT_LT(times[1], 0.3 * times[0]) << "processor seconds " << times[1] << " in " << times[0] << " s";
}

constexpr const char* kHelperVariable = "VARNEX_LIMITED_SOLVE_DIR";
constexpr int kLimitedOrder = 1100;  // a row file of 155 MB, larger than the limit
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's shadow memory and quarantine about double what the process holds.
constexpr int kLimitMB = 128, kPeakMB = 96;
#else
constexpr int kLimitMB = 64, kPeakMB = 48;
#endif
constexpr int kSweeps = 2;

// The values of a random, diagonally dominant system of order kLimitedOrder, a(i, j) and b(i) as
// j = n + 1, one a call in the order of their records.
auto system_values() {
    constexpr int n = kLimitedOrder;
    return [rng = std::mt19937(n), u = std::uniform_real_distribution<float>(-1.0f, 1.0f)](int i, int j) mutable {
        return j > n ? u(rng) * n : u(rng) + (i == j ? n / 2.0f : 0.0f);
    };
}

// The helper, run in the re-executed binary before any test: the system written into dir/rows.vnx
// (past the page cache, as a large file is written), then from X = 0 the set-up and kSweeps sweeps
// over that file; writes to dir/result whether the file was streamed, the peak resident memory in KB
// and the bits of X, R, D and Er. Exit status 0 when it got that far.
int limited_solve(const std::string& dir) {
    try {
        test::write_row_file(dir + "/rows.vnx", kLimitedOrder, system_values());
        SystemState st;
        GridModel grid;
        set_up_connected(st, grid, dir + "/rows.vnx", kLimitedOrder);
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
    SystemState mem = test::memory_system(kLimitedOrder, system_values());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!test::write_text(cgroup + "/cgroup.procs", std::to_string(::getpid()))) ::_exit(10);
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
    grid.fill_data(kLimitedOrder);
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

constexpr int kFailingOrder = 300;  // 11.6 MB of records: three chunks of the row stream, ten panels of 32
constexpr off_t kGoodBytes = 6 << 20;

// Reads the rows (or the columns) 1..kFailingOrder; returns how many came whole before the stream
// stopped with a file error, -1 when it read them all, -2 when it stopped with another error.
int whole_before_file_error(const RowFile& f, bool panels) {
    constexpr int n = kFailingOrder;
    int whole = 0;
    try {
        if (panels) {
            PanelStream cols(f, n, 32);
            for (; whole < n; ++whole) {
                cols.column(whole + 1);
                cols.release_through(whole + 1);
            }
        } else {
            RowStream rows(f, n);
            for (; whole < n; ++whole) rows.next();
        }
    } catch (const RunError& e) {
        return e.kind() == ErrorKind::FileError ? whole : -2;
    }
    return -1;
}

class StreamReadError : public ::testing::Test {
  protected:
    void TearDown() override {
        set_async_reads(true);
        set_row_access(RowAccess::Automatic);
    }
};

// A read that fails (EIO, as the row reading test of the commands has the disk answer) takes the same
// way as one that comes back short: the stream reads again one read at a time and stops there.
TEST_F(StreamReadError, BothStreamsStopWithAFileErrorWhenTheFileIsCut) {
    test::TempDir dir;
    for (bool uring : {false, true}) {
        for (bool panels : {false, true}) {
            SCOPED_TRACE(std::string(uring ? "io_uring" : "one read at a time") + (panels ? ", panels" : ", rows"));
            const std::string path = write_rows(dir, kFailingOrder);
            set_row_access(RowAccess::Streamed);
            set_async_reads(uring);
            RowFile f;
            f.open(path);
            ASSERT_EQ(::truncate(path.c_str(), kGoodBytes), 0);
            // Rows end at the cut; the columns' first panel needs a run from every row, so none is whole.
            const int whole = whole_before_file_error(f, panels);
            EXPECT_GE(whole, 0);
            EXPECT_LE(whole, panels ? 0 : kGoodBytes / ((kFailingOrder + 1) * kRecordLength));
        }
    }
}

}  // namespace
}  // namespace varnex
