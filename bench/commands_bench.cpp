// Whole commands at order 2000 against the parts they are made of, in one run: "Find  solution"
// through its handler against gauss_solution alone, and Save (the system file and its solution file)
// against formatting their texts plus one sequential write of each file's bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "commands/app.h"
#include "commands/commands.h"
#include "commands/save_command.h"
#include "core/convert.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "core/numerics.h"
#include "files/text_io.h"
#include "support/quiet_seams.h"
#include "support/temp_dir.h"

namespace {

using namespace varnex;

constexpr int kOrder = 2000;

class Dialog : public FileDialog {
  public:
    std::string path;
    bool ShowOpen() override { return false; }
    bool ShowSave() override {
        FileName = path;
        return true;
    }
};

// An application folder in a temporary folder, holding an order-2000 system in memory mode as Open
// leaves it: random coefficients in [-1, 1) with a dominant diagonal, as texts in the grid, "0"
// approximations, accuracy N/10. The elimination solves it and the first sweeps meet the accuracy.
struct Fixture {
    test::TempDir dir;
    test::CwdGuard cwd;  // the commands move into the folder; out again before it is removed
    std::string folder = dir.path();
    test::QuietControls ui;
    test::CountingBoxes box;
    test::MidnightClock clock;
    Dialog cd;
    App app;

    Fixture() {
        std::filesystem::create_directories(folder + "/data");
        cd.path = system_file();
        app.cd = &cd;
        app.ui = &ui;
        app.box = &box;
        app.clock = &clock;
        app.app_folder = folder;
        app.st.msg.fill();
        app.st.N = kOrder;
        app.st.DataMode = kModeMemory;
        app.st.IterCount = 1;
        app.grid.fill_data(kOrder);
        std::mt19937 gen(2000);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        char buf[32];
        for (int i = 1; i <= kOrder; ++i)
            for (int j = 1; j <= kOrder + 1; ++j) {
                const float v = u(gen) + (i == j ? 0.5f * kOrder : 0.0f);
                app.grid.set_text(i, a_column(j), std::string_view(buf, single_to_text(v, buf)));
            }
        ui.texts[Ctl::txtEps] = double_to_text(kOrder / 10.0);
        dim_cleared(app.st.X, kOrder);
    }
    std::string system_file() const { return folder + "/data/sys2000.txt"; }
    std::string solution_file() const { return folder + "/data/solutions/sys2000.txt"; }
    std::string copy_file(int k) const { return folder + (k == 0 ? "/copy.txt" : "/copy_solution.txt"); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// The whole command: txtEps, the grid into the arrays, elimination, residual and norms, the sweeps
// with their grid writes, the duration.
void BM_FindSolution2000(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) cmdSolution_Click(f.app);
    if (f.box.shown != 0 || f.app.last_run.end != RunEnd::AccuracyReached) state.SkipWithError("the run did not end cleanly");
    state.counters["sweeps"] = f.app.last_run.sweeps;
}
BENCHMARK(BM_FindSolution2000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The yardstick: the elimination alone, on the arrays the command loaded.
void BM_GaussSolution2000(benchmark::State& state) {
    Fixture& f = fixture();
    cmdSolution_Click(f.app);
    SystemState st = f.app.st;
    for (auto _ : state) gauss_solution(st);
}
BENCHMARK(BM_GaussSolution2000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// For the breakdown: the first "Next Iteration" of a run, which is "Find  solution" without the
// elimination (the grid into the arrays, residual, norms, one sweep).
void BM_FirstIteration2000(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        f.app.st.IterCount = 1;
        cmdIter_Click(f.app);
    }
}
BENCHMARK(BM_FirstIteration2000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The whole Save command: the system file (about 36 MB) and its solution file, both replacing the files
// of the previous iteration (the replace questions are answered Yes).
void BM_SaveCommand2000(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) Save_Click(f.app);
    if (!std::filesystem::exists(f.solution_file())) state.SkipWithError("no solution file");
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(f.system_file())) / 1e6;
}
BENCHMARK(BM_SaveCommand2000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Part one of Save's yardstick: the grid's texts formatted into the bytes of both files, into buffers
// kept from one call to the next.
void format_texts(const App& app, std::string& system, std::string& solution, std::string& scratch) {
    system.clear();
    solution.clear();
    for (int i = 1; i <= kOrder; ++i) {
        for (int j = 1; j <= kOrder + 1; ++j) {
            system += app.grid.text(i, value_column(j), scratch);
            system += ' ';
        }
        system += "\r\n";
        solution += app.grid.text(i, x_column(kOrder), scratch);
        solution += ' ';
    }
    solution += "\r\n";
    benchmark::DoNotOptimize(system.data());
    benchmark::DoNotOptimize(solution.data());
}

// Part two: one sequential write of a file's bytes from memory, replacing the file.
bool write_file(const std::string& path, const std::string& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

void BM_SaveFormat2000(benchmark::State& state) {
    Fixture& f = fixture();
    std::string system, solution, scratch;
    for (auto _ : state) format_texts(f.app, system, solution, scratch);
}
BENCHMARK(BM_SaveFormat2000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_SaveWrite2000(benchmark::State& state) {
    Fixture& f = fixture();
    std::string system, solution, scratch;
    format_texts(f.app, system, solution, scratch);
    for (auto _ : state)
        if (!write_file(f.copy_file(0), system) || !write_file(f.copy_file(1), solution))
            state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(system.size() + solution.size()));
}
BENCHMARK(BM_SaveWrite2000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// The command and its yardstick side by side: each iteration times one whole command and then its
// parts, so that both see the same state of a shared machine; the counter "ratio" is the median of
// the iterations' ratios, command_ms and parts_ms the medians of the two times.
template <class Command, class Parts>
void paired(benchmark::State& state, Command&& command, Parts&& parts) {
    std::vector<double> t_command, t_parts, ratio;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        command();
        auto t1 = std::chrono::steady_clock::now();
        parts();
        auto t2 = std::chrono::steady_clock::now();
        t_command.push_back(std::chrono::duration<double>(t1 - t0).count());
        t_parts.push_back(std::chrono::duration<double>(t2 - t1).count());
        ratio.push_back(t_command.back() / t_parts.back());
        state.SetIterationTime(t_command.back());
    }
    state.counters["command_ms"] = median(t_command) * 1e3;
    state.counters["parts_ms"] = median(t_parts) * 1e3;
    state.counters["ratio"] = median(ratio);
}

void BM_FindSolutionVsGauss2000(benchmark::State& state) {
    Fixture& f = fixture();
    cmdSolution_Click(f.app);
    SystemState st = f.app.st;
    paired(state, [&] { cmdSolution_Click(f.app); }, [&] { gauss_solution(st); });
    if (f.box.shown != 0 || f.app.last_run.end != RunEnd::AccuracyReached) state.SkipWithError("the run did not end cleanly");
}
BENCHMARK(BM_FindSolutionVsGauss2000)->Unit(benchmark::kMillisecond)->MinTime(4.0)->UseManualTime();

void BM_SaveVsParts2000(benchmark::State& state) {
    Fixture& f = fixture();
    std::string system, solution, scratch;
    bool written = true;
    paired(
        state, [&] { Save_Click(f.app); },
        [&] {
            format_texts(f.app, system, solution, scratch);
            written = write_file(f.copy_file(0), system) && write_file(f.copy_file(1), solution) && written;
        });
    if (!written) state.SkipWithError("write failed");
}
BENCHMARK(BM_SaveVsParts2000)->Unit(benchmark::kMillisecond)->MinTime(4.0)->UseManualTime();

}  // namespace
