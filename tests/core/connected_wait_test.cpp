// The threads of a connected sweep sleep while they wait: when the computing thread stops (here in the
// grid's observer, as a busy machine would take its processor away), the thread that reads the columns
// ahead fills its ring and then takes no processor time until the computing thread lets go of a column;
// and a streamed solve from a slow disk (a block I/O cgroup that throttles reads) takes almost no
// processor time while it waits for the reads.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <thread>

#include "core/connected_sweeps.h"
#include "core/numerics.h"
#include "core/row_access_testing.h"
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

// Writes the row file of a diagonally dominant system of order n at path.
void write_rows(const std::string& path, int n) {
    test::write_row_file(path, n, [n](int i, int j) { return i == j ? 4.0f * n : float((i * 7 + j * 3) % 11); });
}

// A connected state of order n over the row file at path, opened for `access`, set up for sweeping.
void set_up_connected(SystemState& st, GridModel& grid, const std::string& path, int n, RowAccess access) {
    st.N = static_cast<int16_t>(n);
    st.DataMode = kModeConnected;
    for (auto* v : {&st.X, &st.R, &st.D}) dim_cleared(*v, n);
    grid.fill_x(st.N, st.X);
    set_row_access(access);
    st.solve_row_file.open(path);
    set_row_access(RowAccess::Automatic);
    test::FakeBoxes box;
    get_residual(st);
    get_norms_file(st, box);
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
    const std::string path = dir.path() + "/rows.vnx";
    write_rows(path, n);
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
    constexpr int n = 250;                 // an 8 MB row file
    constexpr long kBytesPerSecond = 16 << 20;  // set-up and sweep read it in about a second
    test::TempDir dir;
    const std::string path = dir.path() + "/rows.vnx";
    write_rows(path, n);
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

    // A child in the cgroup: the set-up and one sweep from the streamed file; it sends back its wall
    // time and its processor time.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        test::write_text(cgroup + "/cgroup.procs", std::to_string(::getpid()));
        double times[2] = {-1, -1};
        try {
            const auto t0 = std::chrono::steady_clock::now();
            SystemState st;
            GridModel grid;
            set_up_connected(st, grid, path, n, RowAccess::Streamed);
            do_iteration_file(st, grid);
            times[0] = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            times[1] = process_cpu_seconds();
        } catch (...) {
        }
        const bool sent = ::write(fds[1], times, sizeof times) == static_cast<ssize_t>(sizeof times);
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    double times[2] = {-1, -1};
    const bool got = ::read(fds[0], times, sizeof times) == static_cast<ssize_t>(sizeof times);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::rmdir(cgroup.c_str());
    ASSERT_TRUE(got && times[0] >= 0) << "the child failed";
    if (times[0] < 0.4) GTEST_SKIP() << "the throttle did not slow the reads (" << times[0] << " s)";
    EXPECT_LT(times[1], 0.1 * times[0]) << "processor seconds " << times[1] << " in " << times[0] << " s";
}

}  // namespace
}  // namespace varnex
