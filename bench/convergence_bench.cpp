// What the convergence window costs a long run: "Find  solution" on bcsstk01 in memory mode (32 767
// sweeps, to the sweep counter limit) through the real main window, with the convergence window
// closed and then open, timed in turn so that both see the same state of a shared machine. The
// window runs on the platform Qt is given (offscreen when none is set), painting as it would on a
// screen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <vector>

#include "mainwindow/convergence_window.h"
#include "mainwindow/frm_main.h"
#include "shell/menus.h"
#include "window_bench.h"

using namespace varnex;
using varnex::bench::FixedDialog;
using varnex::bench::median;

namespace {

const std::string kSystem = std::string(VARNEX_TESTDATA_DIR) + "/bcsstk01.txt";

// Processor seconds of the whole process: on a shared machine the wall clock also counts the time
// other programs hold the processors, the processor time only the run's own work.
double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct RunTime {
    double wall;
    double cpu;
};

// One run of "Find  solution", as the button starts it.
RunTime timed_run(QPushButton* solution) {
    const double c0 = cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    solution->click();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return {wall, cpu_seconds() - c0};
}

void BM_ConvergenceWindowOpenVsClosed(benchmark::State& state) {
    if (!std::filesystem::exists(kSystem)) {
        state.SkipWithError("bcsstk01.txt not found");
        return;
    }
    QTemporaryDir folder;
    FixedDialog cd(kSystem);
    FrmMain w(folder.path());
    build_menus(w);
    w.app().cd = &cd;
    w.show();
    QApplication::processEvents();
    w.findChild<QAction*>("Open")->trigger();
    auto* solution = w.findChild<QPushButton*>("cmdSolution");
    ConvergenceWindow* conv = w.convergenceWindow();
    conv->resize(720, 480);

    std::vector<double> closed, open, ratio, closed_cpu, open_cpu, cpu_ratio;
    for (auto _ : state) {
        conv->hide();
        QApplication::processEvents();
        const RunTime c = timed_run(solution);
        conv->show();
        QApplication::processEvents();
        const RunTime o = timed_run(solution);
        closed.push_back(c.wall);
        open.push_back(o.wall);
        ratio.push_back(o.wall / c.wall);
        closed_cpu.push_back(c.cpu);
        open_cpu.push_back(o.cpu);
        cpu_ratio.push_back(o.cpu / c.cpu);
        state.SetIterationTime(o.wall);
    }
    state.counters["sweeps"] = w.app().last_run.sweeps;
    state.counters["closed_s"] = median(closed);
    state.counters["open_s"] = median(open);
    state.counters["ratio"] = median(ratio);
    state.counters["closed_cpu_s"] = median(closed_cpu);
    state.counters["open_cpu_s"] = median(open_cpu);
    state.counters["cpu_ratio"] = median(cpu_ratio);
}
BENCHMARK(BM_ConvergenceWindowOpenVsClosed)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return varnex::bench::run_window_benchmarks(argc, argv); }
