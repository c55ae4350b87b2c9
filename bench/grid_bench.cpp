// The data grid at the sizes the program promises: an order-4000 layout, and an opened order-2000
// system (4 million 8-character tokens, about 36 MB as a text file) written, read back and swept.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/grid_layout.h"
#include "core/grid_model.h"

namespace {

using varnex::GridModel;

constexpr int kOrder = 2000;

// The tokens of an order-2000 text system file, each 8 characters followed by a blank, row by row:
// a(i,1) .. a(i,N) b(i).
const std::string& system_text() {
    static const std::string text = [] {
        std::string t;
        t.reserve(static_cast<std::size_t>(kOrder) * (kOrder + 1) * 9 + kOrder * 2);
        char token[16];
        unsigned seed = 12345;
        for (int i = 1; i <= kOrder; ++i) {
            for (int j = 1; j <= kOrder + 1; ++j) {
                seed = seed * 1103515245u + 12345u;
                std::snprintf(token, sizeof token, "%.6f ", static_cast<double>(seed % 1000000) / 1000000.0);
                t += token;
            }
            t += "\r\n";
        }
        return t;
    }();
    return text;
}

// Lays out the order-2000 system and writes every token into its cell, as Open does.
void write_system(GridModel& g) {
    const std::string& text = system_text();
    g.fill_data(kOrder);
    std::size_t pos = 0;
    for (int i = 1; i <= kOrder; ++i) {
        for (int j = 1; j <= kOrder + 1; ++j) {
            std::size_t end = text.find(' ', pos);
            g.set_text(i, varnex::value_column(j), std::string_view(text).substr(pos, end - pos));
            pos = end + 1;
        }
        pos += 2;  // CR LF
    }
}

void BM_FillData4000(benchmark::State& state) {
    GridModel g;
    for (auto _ : state) {
        g.fill_data(4000);
        benchmark::DoNotOptimize(g.rows());
    }
    state.counters["memory_bytes"] = static_cast<double>(g.memory_bytes());
}
BENCHMARK(BM_FillData4000)->Unit(benchmark::kMillisecond);

void BM_WriteOpenedOrder2000(benchmark::State& state) {
    system_text();
    GridModel g;
    for (auto _ : state) write_system(g);
    const double text_bytes = static_cast<double>(system_text().size());
    state.counters["tokens/s"] =
        benchmark::Counter(static_cast<double>(kOrder) * (kOrder + 1), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["text_bytes"] = text_bytes;
    state.counters["memory_bytes"] = static_cast<double>(g.memory_bytes());
    state.counters["memory/text"] = static_cast<double>(g.memory_bytes()) / text_bytes;
}
BENCHMARK(BM_WriteOpenedOrder2000)->Unit(benchmark::kMillisecond);

// What the solve commands do at set-up: read every a(i,j), b(i) and x(i) cell.
void BM_ReadOpenedOrder2000(benchmark::State& state) {
    GridModel g;
    write_system(g);
    std::string scratch;
    for (auto _ : state) {
        std::size_t chars = 0;
        for (int i = 1; i <= kOrder; ++i) {
            for (int j = 1; j <= kOrder + 1; ++j) chars += g.text(i, varnex::value_column(j), scratch).size();
            chars += g.text(i, varnex::x_column(kOrder), scratch).size();
        }
        benchmark::DoNotOptimize(chars);
    }
    state.counters["cells/s"] =
        benchmark::Counter(static_cast<double>(kOrder) * (kOrder + 2), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadOpenedOrder2000)->Unit(benchmark::kMillisecond);

// One sweep's writes of the approximation column, repeated: memory must settle, not grow.
void BM_RewriteApproximationOrder2000(benchmark::State& state) {
    GridModel g;
    write_system(g);
    const double settled = static_cast<double>(g.memory_bytes());
    int sweep = 0;
    for (auto _ : state) {
        for (int i = 1; i <= kOrder; ++i)
            g.set_text(i, varnex::x_column(kOrder), (sweep + i) % 3 ? "0.9999999" : "1.000001E-07");
        ++sweep;
    }
    state.counters["memory_growth"] = static_cast<double>(g.memory_bytes()) / settled;
}
BENCHMARK(BM_RewriteApproximationOrder2000)->Unit(benchmark::kMicrosecond);

}  // namespace
