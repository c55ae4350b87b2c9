// Sweeps on a busy machine: how much the in-memory sweep and the two connected sweeps (the mapped file
// in the page cache, and the streamed file with direct reads) slow down when another process keeps
// both processors busy. The competing process is this program run again with kSpinVariable set: two
// threads that compute without end. Each iteration times the three sweeps with the competitor stopped
// (SIGSTOP) and then with it running, so that quiet and busy see the same state of a shared machine;
// the counters give the median slowdown (busy / quiet) of each path and of each connected path against
// the in-memory one. The target: a connected sweep slows down at most 1.3 times as much as the
// in-memory sweep. BM_BusyMachine's competitor runs in this program's session, and so in its scheduling
// group (the kernel gives each thread of the group an equal share); BM_BusyMachineOwnSession's runs in
// a session of its own, as another user's or another terminal's work does, and the kernel first
// shares the processors between the two sessions' groups.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/numerics.h"
#include "core/row_access_testing.h"
#include "core/row_file_writer.h"
#include "support/quiet_seams.h"
#include "support/temp_dir.h"

extern char** environ;

namespace varnex {
namespace {

constexpr int kOrder = 2000;
constexpr const char* kSpinVariable = "VARNEX_BENCH_SPIN";

// The competitor, when this program is started as one: two threads that never stop.
[[maybe_unused]] const int spin_run = [] {
    if (!std::getenv(kSpinVariable)) return 0;
    auto spin = [] {
        volatile double x = 1.0;
        for (;;) x = x * 1.0000001 + 1e-9;
    };
    std::thread a(spin), b(spin);
    a.join();
    return 0;
}();

// A random, diagonally dominant system of order kOrder in memory and as a row file.
struct System {
    test::TempDir tmp;
    std::string dir = tmp.path(), rows = dir + "/rows.vnx";
    SquareMatrix A;
    std::vector<float> B;
    System() {
        std::mt19937 rng(kOrder);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        A.dim(kOrder);
        B.assign(kOrder + 1, 0.0f);
        RowWriter w;
        w.open(rows);
        for (int i = 1; i <= kOrder; ++i) {
            for (int j = 1; j <= kOrder; ++j) {
                A(i, j) = u(rng) + (i == j ? kOrder / 2.0f : 0.0f);
                w.put(std::int64_t(kOrder + 1) * (i - 1) + j, A(i, j));
            }
            B[i] = u(rng) * kOrder;
            w.put(std::int64_t(kOrder + 1) * i, B[i]);
        }
        w.close();
        ::sync();
    }
    // A state set up for sweeping in memory, or connected with the row file opened for `access`.
    void set_up(SystemState& st, GridModel& grid, bool connected, RowAccess access) const {
        st.N = kOrder;
        st.DataMode = kModeMemory;
        st.A = A;
        st.B = B;
        for (auto* v : {&st.X, &st.R, &st.D}) dim_cleared(*v, kOrder);
        test::CountingBoxes box;
        get_residual(st);
        get_norms(st, box);
        if (!connected) return grid.fill_data(kOrder);
        st.DataMode = kModeConnected;
        st.A.release();
        st.B.clear();
        grid.fill_x(kOrder, st.X);
        set_row_access(access);
        st.solve_row_file.open(rows);
        set_row_access(RowAccess::Automatic);
        if (!st.solve_row_file.streamed()) {
            unsigned acc = 0;
            for (std::size_t o = 0; o < st.solve_row_file.size(); o += 4096) acc += st.solve_row_file.bytes()[o];
            benchmark::DoNotOptimize(acc);
        }
    }
};

// The competing process, stopped until resume(); in a session of its own when own_session.
class Competitor {
  public:
    explicit Competitor(bool own_session) {
        std::vector<std::string> env{std::string(kSpinVariable) + "=1"};
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& s : env) envp.push_back(s.data());
        envp.push_back(nullptr);
        char self[] = "/proc/self/exe";
        char* argv[] = {self, nullptr};
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        if (own_session) posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        const int failed = posix_spawn(&pid_, self, nullptr, &attr, argv, envp.data());
        posix_spawnattr_destroy(&attr);
        if (failed) std::abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pause();
    }
    ~Competitor() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    void pause() { ::kill(pid_, SIGSTOP); }
    void resume() {
        ::kill(pid_, SIGCONT);
        // Both of its threads run before the timing starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

  private:
    pid_t pid_ = 0;
};

double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Seconds for `times` sweeps of st.
double time_sweeps(SystemState& st, GridModel& grid, int times) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < times; ++k) st.DataMode == kModeMemory ? do_iteration(st, grid) : do_iteration_file(st, grid);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void busy_machine(benchmark::State& state, bool own_session) {
    static const System sys;
    SystemState st[3];
    GridModel grid[3];
    const char* names[3] = {"memory", "mapped", "streamed"};
    const int times[3] = {8, 4, 1};  // sweeps per timing, about 40 ms or more each when quiet
    sys.set_up(st[0], grid[0], false, RowAccess::Automatic);
    sys.set_up(st[1], grid[1], true, RowAccess::Mapped);
    sys.set_up(st[2], grid[2], true, RowAccess::Streamed);
    Competitor other(own_session);
    std::vector<double> slow[3];
    for (auto _ : state) {
        double quiet[3], busy[3];
        for (int p = 0; p < 3; ++p) quiet[p] = time_sweeps(st[p], grid[p], times[p]);
        other.resume();
        for (int p = 0; p < 3; ++p) busy[p] = time_sweeps(st[p], grid[p], times[p]);
        other.pause();
        for (int p = 0; p < 3; ++p) slow[p].push_back(busy[p] / quiet[p]);
        state.SetIterationTime(busy[0] + busy[1] + busy[2]);
    }
    double med[3];
    for (int p = 0; p < 3; ++p) {
        med[p] = median(slow[p]);
        state.counters[std::string(names[p]) + "_busy_over_quiet"] = med[p];
    }
    state.counters["mapped_vs_memory"] = med[1] / med[0];
    state.counters["streamed_vs_memory"] = med[2] / med[0];
}

void BM_BusyMachine(benchmark::State& state) { busy_machine(state, false); }
void BM_BusyMachineOwnSession(benchmark::State& state) { busy_machine(state, true); }

BENCHMARK(BM_BusyMachine)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);
BENCHMARK(BM_BusyMachineOwnSession)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);

}  // namespace
}  // namespace varnex
