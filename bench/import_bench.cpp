// Import against Open of the equivalent text system file, both to the end of the command (grid laid
// out and written, arrays dimensioned): an order-2000 dense Matrix Market array with its right-hand
// side file, and an order-2000 coordinate file of 100 000 entries, whose text file spells every
// absent coefficient as 0. Open and Import of one pair run alternately within each timing, so that
// the ratio compares the two under the same load.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "commands/app.h"
#include "commands/import_command.h"
#include "commands/open_command.h"
#include "core/convert.h"
#include "files/text_io.h"
#include "support/quiet_seams.h"
#include "support/temp_dir.h"

namespace {

constexpr int kOrder = 2000;
constexpr int kEntries = 100000;

void write(const std::string& path, const std::string& bytes) {
    varnex::OutputFile out(path);
    out.write(bytes);
    out.close();
}

// data/dense.txt + dense.mtx + dense_b.mtx, and data/sparse.txt + sparse.mtx + sparse_b.mtx, all of
// the same texts: values uniform in [0, 1000) rounded to single, as the sample generator writes them.
struct Fixture {
    varnex::test::TempDir dir;
    std::string folder = dir.path();
    std::string data = folder + "/data/";

    Fixture() {
        std::filesystem::create_directories(data);
        std::mt19937 gen(2000);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        char buf[32];
        auto value = [&](std::string& t) {
            float v = static_cast<float>(static_cast<double>(unit(gen)) * 1000.0);
            t.assign(buf, varnex::single_to_text(v, buf));
        };
        const std::size_t n = kOrder;
        std::vector<std::string> a(n * (n + 1), "0");  // row-major, b in column n
        for (auto& t : a) value(t);
        write_dense(a);
        for (auto& t : a) t.assign(1, '0');
        // 100 000 distinct positions, then the right-hand sides.
        std::uniform_int_distribution<std::size_t> pos(0, n * n - 1);
        for (int k = 0; k < kEntries;) {
            std::size_t p = pos(gen);
            std::size_t at = (p / n) * (n + 1) + p % n;
            if (a[at] != "0") continue;
            value(a[at]);
            ++k;
        }
        for (std::size_t i = 0; i < n; ++i) value(a[i * (n + 1) + n]);
        write_sparse(a);
    }

    static std::string text_file(const std::vector<std::string>& a) {
        std::string s;
        for (std::size_t i = 0; i < kOrder; ++i) {
            for (std::size_t j = 0; j <= kOrder; ++j) (s += a[i * (kOrder + 1) + j]) += ' ';
            s += "\r\n";
        }
        return s;
    }
    static std::string rhs_file(const std::vector<std::string>& a) {
        std::string s = "%%MatrixMarket matrix array real general\n";
        s += std::to_string(kOrder) + " 1\n";
        for (std::size_t i = 0; i < kOrder; ++i) (s += a[i * (kOrder + 1) + kOrder]) += '\n';
        return s;
    }
    void write_dense(const std::vector<std::string>& a) const {
        write(data + "dense.txt", text_file(a));
        std::string s = "%%MatrixMarket matrix array real general\n";
        s += std::to_string(kOrder) + " " + std::to_string(kOrder) + "\n";
        for (std::size_t j = 0; j < kOrder; ++j)
            for (std::size_t i = 0; i < kOrder; ++i) (s += a[i * (kOrder + 1) + j]) += '\n';
        write(data + "dense.mtx", s);
        write(data + "dense_b.mtx", rhs_file(a));
        // The same matrix without its right-hand side file: b = A*1 is computed.
        write(data + "denseA1.mtx", s);
    }
    void write_sparse(const std::vector<std::string>& a) const {
        write(data + "sparse.txt", text_file(a));
        std::string s = "%%MatrixMarket matrix coordinate real general\n";
        s += std::to_string(kOrder) + " " + std::to_string(kOrder) + " " + std::to_string(kEntries) + "\n";
        for (std::size_t i = 0; i < kOrder; ++i)
            for (std::size_t j = 0; j < kOrder; ++j)
                if (const std::string& t = a[i * (kOrder + 1) + j]; t != "0")
                    s += std::to_string(i + 1) + " " + std::to_string(j + 1) + " " + t + "\n";
        write(data + "sparse.mtx", s);
        write(data + "sparse_b.mtx", rhs_file(a));
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

struct Bench {
    varnex::test::CountingBoxes boxes;
    varnex::test::QuietControls ui;
    varnex::App app;
    explicit Bench(const Fixture& f) {
        app.box = &boxes;
        app.ui = &ui;
        app.app_folder = f.folder;
        app.st.msg.fill();
    }
    // The Open command after its dialog: the file, memory mode and the arrays for the order.
    void open(const std::string& path) {
        varnex::open_file(app, path);
        varnex::enter_memory_mode(app);
        varnex::reset_for_order(app);
    }
};

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Times Import of `mtx` as the benchmark's manual time and Open of `txt` beside it in the same loop;
// "ratio" is the median over the iterations of import time / open time.
void import_vs_open(benchmark::State& state, const char* mtx, const char* txt) {
    Fixture& f = fixture();
    Bench b(f);
    std::vector<double> ratios;
    double open_total = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        b.open(f.data + txt);
        const double open_s = since(t0);
        t0 = Clock::now();
        const bool ok = varnex::import_system(b.app, f.data + mtx);
        const double import_s = since(t0);
        if (!ok) state.SkipWithError("the import was refused");
        state.SetIterationTime(import_s);
        open_total += open_s;
        ratios.push_back(import_s / open_s);
    }
    if (b.boxes.shown != 0 || b.app.st.N != kOrder) state.SkipWithError("a file did not load cleanly");
    std::sort(ratios.begin(), ratios.end());
    state.counters["ratio"] = ratios.empty() ? 0.0 : ratios[ratios.size() / 2];
    state.counters["open_ms"] = open_total / static_cast<double>(state.iterations()) * 1e3;
}

void BM_ImportArray2000VsOpen(benchmark::State& state) { import_vs_open(state, "dense.mtx", "dense.txt"); }
BENCHMARK(BM_ImportArray2000VsOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

void BM_ImportCoordinate100kVsOpen(benchmark::State& state) { import_vs_open(state, "sparse.mtx", "sparse.txt"); }
BENCHMARK(BM_ImportCoordinate100kVsOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

// The dense array without its right-hand side: every coefficient is parsed for b = A*1 as well.
void BM_ImportArray2000RowSumsVsOpen(benchmark::State& state) { import_vs_open(state, "denseA1.mtx", "dense.txt"); }
BENCHMARK(BM_ImportArray2000RowSumsVsOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
