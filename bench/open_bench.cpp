// Open of an order-2000 text system file (2000 x 2001 tokens, about 36 MB) into the grid: the whole
// open_file, against one plain read of the same file, with the grid's memory beside the file size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/app.h"
#include "core/convert.h"
#include "files/open_command.h"
#include "files/text_io.h"

namespace {

constexpr int k_order = 2000;

class SilentBoxes : public varnex::MessageBoxes {
  public:
    int shown = 0;
    void message(std::string_view) override { ++shown; }
    bool ask_yes_no(std::string_view) override { return true; }
};

// The application folder in a temporary folder, with data/sys2000.txt written as the sample generator
// writes its files: values uniform in [0, 1000) rounded to single, each text followed by one blank.
struct Fixture {
    std::string folder;
    std::string path;
    std::size_t file_bytes = 0;

    Fixture() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "varnex_bench_XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        folder = tmpl;
        std::filesystem::create_directories(folder + "/data");
        path = folder + "/data/sys2000.txt";
        std::mt19937 gen(2000);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        varnex::OutputFile out(path);
        std::string line;
        char buf[32];
        for (int i = 1; i <= k_order; ++i) {
            line.clear();
            for (int j = 1; j <= k_order + 1; ++j) {
                float v = static_cast<float>(static_cast<double>(unit(gen)) * 1000.0);
                line.append(buf, varnex::single_to_text(v, buf));
                line += ' ';
            }
            line += "\r\n";
            out.write(line);
        }
        out.close();
        file_bytes = std::filesystem::file_size(path);
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_OpenFile2000(benchmark::State& state) {
    Fixture& f = fixture();
    SilentBoxes boxes;
    varnex::App app;
    app.box = &boxes;
    app.app_folder = f.folder;
    app.st.msg.fill();
    for (auto _ : state) varnex::open_file(app, f.path);
    if (boxes.shown != 0 || app.st.N != k_order) state.SkipWithError("the file did not open cleanly");
    state.counters["file_MB"] = static_cast<double>(f.file_bytes) / 1e6;
    state.counters["grid_MB"] = static_cast<double>(app.grid.memory_bytes()) / 1e6;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.file_bytes));
}
BENCHMARK(BM_OpenFile2000)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The floor: one read of the whole file into memory, nothing else.
void BM_PlainRead2000(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        std::string text = varnex::InputFile(f.path).read_all();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.file_bytes));
}
BENCHMARK(BM_PlainRead2000)->Unit(benchmark::kMillisecond);

// Line and token splitting over the file in memory, without the grid.
void BM_SplitTokens2000(benchmark::State& state) {
    Fixture& f = fixture();
    std::string text = varnex::InputFile(f.path).read_all();
    std::vector<std::string_view> tokens;
    for (auto _ : state) {
        std::size_t count = 0;
        varnex::LineReader lines(text);
        while (!lines.at_end()) {
            varnex::split_tokens(lines.next(), tokens);
            count += tokens.size();
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SplitTokens2000)->Unit(benchmark::kMillisecond);

}  // namespace
