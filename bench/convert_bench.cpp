// Throughput of the shared conversions: Open, Connect and the solve commands read every coefficient
// through text_to_single, and each sweep writes every x(i) through single_to_text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/convert.h"
#include "core/number_reading.h"

namespace {

// Tokens as they appear in system files and grid cells: zeros dominate sparse systems.
constexpr std::string_view kTokens[] = {"0",           "0",         "1",      "-2.5",         "0.3333333",
                                         "2220.874",    "-9.960159", "0",      "1.234568E+07", "-7.629395E-06",
                                         "12345",       "  42  ",    "0.0001", "-8.196721",    "3.402823E+38",
                                         "1.401298E-45"};

void BM_TextToSingle(benchmark::State& state) {
    float sum = 0.0f;
    for (auto _ : state) {
        for (std::string_view t : kTokens) sum += varnex::text_to_single(t);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::size(kTokens)));
}
BENCHMARK(BM_TextToSingle);

void BM_TextToSingleComma(benchmark::State& state) {
    varnex::set_decimal_separator(',');
    constexpr std::string_view tokens[] = {"0", "-2,5", "0,3333333", "2220,874", "1,234568E+07", "-7,629395E-06"};
    float sum = 0.0f;
    for (auto _ : state) {
        for (std::string_view t : tokens) sum += varnex::text_to_single(t);
        benchmark::DoNotOptimize(sum);
    }
    varnex::set_decimal_separator('.');
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::size(tokens)));
}
BENCHMARK(BM_TextToSingleComma);

void BM_SingleToText(benchmark::State& state) {
    // Values of ordinary solutions: magnitudes around 1 with a spread of a few decades.
    std::mt19937 gen(1);
    std::normal_distribution<float> spread(0.0f, 3.0f);
    std::vector<float> values(1024);
    for (float& v : values)
        v = std::ldexp(1.0f + static_cast<float>(gen() % 1000) / 1000.0f, static_cast<int>(spread(gen)));
    char buf[16];
    for (auto _ : state) {
        for (float v : values) benchmark::DoNotOptimize(varnex::single_to_text(v, buf));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_SingleToText);

void BM_SingleToTextRandomBits(benchmark::State& state) {
    std::mt19937 gen(2);
    std::vector<float> values;
    while (values.size() < 1024) {
        const float v = std::bit_cast<float>(static_cast<uint32_t>(gen()));
        if (std::isfinite(v)) values.push_back(v);
    }
    char buf[16];
    for (auto _ : state) {
        for (float v : values) benchmark::DoNotOptimize(varnex::single_to_text(v, buf));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_SingleToTextRandomBits);

// The token scan of Connect over lines of a random order-2000 system, as the fixture of
// connected_bench writes them: items are tokens.
void BM_ScanTokens(benchmark::State& state) {
    constexpr int kOrder = 2000;
    std::mt19937 rng(2000);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::string text;
    std::vector<std::size_t> starts;
    for (int i = 1; i <= 16; ++i) {
        starts.push_back(text.size());
        for (int j = 1; j <= kOrder + 1; ++j) {
            text += varnex::single_to_text(j <= kOrder ? u(rng) + (i == j ? kOrder / 2.0f : 0.0f) : u(rng) * kOrder);
            text += ' ';
        }
    }
    starts.push_back(text.size());
    text.append(varnex::kScanSlack, ' ');
    std::vector<float> values(kOrder + 1);
    for (auto _ : state) {
        for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
            const char* p = text.data() + starts[i];
            for (int got = 0, j = 0; j <= kOrder; j += got) {
                got = varnex::scan_tokens(p, text.data() + starts[i + 1], values.data() + j,
                                          std::min(64, kOrder + 1 - j));
                if (got == 0) state.SkipWithError("scan stopped");
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 16 * (kOrder + 1));
}
BENCHMARK(BM_ScanTokens);

}  // namespace
