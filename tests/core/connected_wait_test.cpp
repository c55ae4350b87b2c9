// The threads of a connected sweep sleep while they wait: when the computing thread stops (here in the
// grid's observer, as a busy machine would take its processor away), the thread that reads the columns
// ahead fills its ring and then takes no processor time until the computing thread lets go of a column.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "core/connected_kernels.h"
#include "core/numerics.h"
#include "core/row_stream.h"
#include "files/row_writer.h"
#include "support/fakes.h"

namespace varnex {
namespace {

double process_cpu_seconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
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
    {
        RowWriter w;
        w.open(path);
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n + 1; ++j)
                w.put(std::int64_t(n + 1) * (i - 1) + j, i == j ? 4.0f * n : static_cast<float>((i * 7 + j * 3) % 11));
        w.close();
    }
    // The same sweep twice: with the pause and without, which must end in the same bits.
    std::vector<float> x[2];
    double cpu = -1;
    for (int run = 0; run < 2; ++run) {
        SystemState st;
        st.N = n;
        st.DataMode = kModeConnected;
        for (auto* v : {&st.X, &st.R, &st.D}) dim_cleared(*v, n);
        GridModel grid;
        grid.fill_x(n, st.X);
        set_row_access(RowAccess::Mapped);
        st.file3.open(path);
        set_row_access(RowAccess::Automatic);
        test::FakeBoxes box;
        get_residual(st);
        get_norms_file(st, box);
        PausingObserver obs(3, std::chrono::milliseconds(run == 0 ? 400 : 0));
        grid.set_observer(&obs);
        do_iteration_file_gathered(st, grid, column_kernels_best(), kColumnBufferRows);
        grid.set_observer(nullptr);
        if (run == 0) cpu = obs.cpu_during_pause;
        x[run] = st.X;
    }
    ASSERT_GE(cpu, 0.0);
    // Filling eight columns of order 700 takes a few milliseconds; a thread that kept polling would
    // take most of the 400 ms.
    EXPECT_LT(cpu, 0.05) << "processor seconds taken while the computing thread was stopped";
    EXPECT_EQ(0, std::memcmp(x[0].data(), x[1].data(), x[0].size() * sizeof(float)));
}

}  // namespace
}  // namespace varnex
