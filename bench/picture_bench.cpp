// What the matrix and solution windows cost at order 2000, through the real main window: the time
// from View > Matrix to the picture of the whole matrix on screen (binned on the worker from the
// grid's 4 million texts, then painted), the time to draw the solution with a reference, and
// "Find  solution" with both windows open against both closed, timed in turn. Runs on the platform
// Qt is given (offscreen when none is set).
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "mainwindow/frm_main.h"
#include "mainwindow/matrix_window.h"
#include "mainwindow/picture_windows.h"
#include "mainwindow/solution_window.h"
#include "shell/menus.h"
#include "window_bench.h"

using namespace varnex;
using varnex::bench::FixedDialog;
using varnex::bench::median;

namespace {

constexpr int kOrder = 2000;

// A banded, diagonally dominant system with two off-diagonal blocks whose magnitudes span six
// decades; b = A·1, so one sweep after the elimination reaches the default accuracy.
void write_system(const std::string& path) {
    std::mt19937 gen(2000);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    FILE* f = std::fopen(path.c_str(), "w");
    std::vector<double> a(kOrder);
    for (int i = 0; i < kOrder; ++i) {
        std::fill(a.begin(), a.end(), 0.0);
        a[i] = 8.0 + i % 50;
        for (int d : {1, 40}) {
            if (i >= d) a[i - d] = -1.0;
            if (i + d < kOrder) a[i + d] = -1.0;
        }
        if (i >= 1500 && i < 1700)
            for (int j = 200; j < 400; ++j)
                if (unit(gen) < 0.3) a[j] = std::pow(10.0, -3.0 + 4.0 * unit(gen)) * (unit(gen) < 0.5 ? -1 : 1);
        double b = 0.0;
        for (int j = 0; j < kOrder; ++j) {
            b += a[j];
            std::fprintf(f, "%.7g ", a[j]);
        }
        std::fprintf(f, "%.7g\n", b);
    }
    std::fclose(f);
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct Fixture {
    QTemporaryDir folder;
    std::string path = folder.path().toStdString() + "/sys2000.txt";
    FixedDialog cd{path};
    FrmMain w{folder.path()};
    Fixture() {
        build_menus(w);
        write_system(path);
        w.app().cd = &cd;
        w.show();
        QApplication::processEvents();
        w.findChild<QAction*>("Open")->trigger();
    }
};

void BM_MatrixPicture2000(benchmark::State& state) {
    Fixture f;
    MatrixWindow* m = f.w.pictures()->matrix();
    m->resize(640, 600);
    std::vector<double> times;
    for (auto _ : state) {
        m->hide();
        m->invalidate();  // as after a command that changed A: the next show bins anew
        QEventLoop loop;
        QObject::connect(m, &MatrixWindow::pictureShown, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        const auto t0 = std::chrono::steady_clock::now();
        f.w.findChild<QAction*>("Matrix")->trigger();
        loop.exec();
        m->repaint();
        times.push_back(seconds_since(t0));
        state.SetIterationTime(times.back());
    }
    state.counters["median_s"] = median(times);
    state.counters["first_s"] = times.front();  // the first show lays the window out
    state.counters["max_s"] = *std::max_element(times.begin(), times.end());
}
BENCHMARK(BM_MatrixPicture2000)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

void BM_SolutionPicture2000(benchmark::State& state) {
    Fixture f;
    f.w.findChild<QPushButton*>("cmdSolution")->click();
    SolutionWindow* s = f.w.pictures()->solution();
    s->resize(720, 600);
    const std::vector<float>& X = f.w.app().st.X;
    const std::vector<float> x(X.begin() + 1, X.begin() + kOrder + 1);
    std::vector<double> times;
    for (auto _ : state) {
        s->hide();
        const auto t0 = std::chrono::steady_clock::now();
        s->set_solution(x, std::vector<double>(kOrder, 1.0));
        s->show();
        s->repaint();
        times.push_back(seconds_since(t0));
        state.SetIterationTime(times.back());
    }
    state.counters["median_s"] = median(times);
    state.counters["first_s"] = times.front();  // the first show lays the window out
    state.counters["max_s"] = *std::max_element(times.begin(), times.end());
}
BENCHMARK(BM_SolutionPicture2000)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

// Lets the window's background work end (the accuracy report, the picture's worker), so that
// neither timed run starts while a thread of the run before still holds a processor.
void settle() {
    QEventLoop loop;
    QTimer::singleShot(600, &loop, &QEventLoop::quit);
    loop.exec();
}

// "Find  solution" with both pictures open, against both closed, in turn.
void BM_RunWithPicturesOpenVsClosed(benchmark::State& state) {
    Fixture f;
    auto* solution = f.w.findChild<QPushButton*>("cmdSolution");
    std::vector<double> closed, open, ratio;
    for (auto _ : state) {
        f.w.pictures()->matrix()->hide();
        f.w.pictures()->solution()->hide();
        settle();
        auto t0 = std::chrono::steady_clock::now();
        solution->click();
        closed.push_back(seconds_since(t0));
        f.w.pictures()->show_matrix();
        f.w.pictures()->show_solution();
        settle();
        t0 = std::chrono::steady_clock::now();
        solution->click();
        open.push_back(seconds_since(t0));
        ratio.push_back(open.back() / closed.back());
        state.SetIterationTime(open.back());
    }
    state.counters["closed_s"] = median(closed);
    state.counters["open_s"] = median(open);
    state.counters["ratio"] = median(ratio);
}
BENCHMARK(BM_RunWithPicturesOpenVsClosed)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return varnex::bench::run_window_benchmarks(argc, argv); }
