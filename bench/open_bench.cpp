// Open of an order-2000 text system file (2000 x 2001 tokens, about 36 MB) into the grid: the whole
// open_file against its parts (one sequential read of the file into a reused buffer, the token split,
// the grid writes), and against one read into a freshly allocated string, with the grid's memory
// beside the file size.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "commands/app.h"
#include "commands/open_command.h"
#include "core/convert.h"
#include "core/grid_layout.h"
#include "files/text_io.h"
#include "support/quiet_seams.h"
#include "support/temp_dir.h"

namespace {

constexpr int kOrder = 2000;

// The application folder in a temporary folder, with data/sys2000.txt written as the sample generator
// writes its files: values uniform in [0, 1000) rounded to single, each text followed by one blank.
struct Fixture {
    varnex::test::TempDir dir;
    std::string folder = dir.path();
    std::string path;
    std::size_t file_bytes = 0;

    Fixture() {
        std::filesystem::create_directories(folder + "/data");
        path = folder + "/data/sys2000.txt";
        std::mt19937 gen(2000);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        varnex::OutputFile out(path);
        std::string line;
        char buf[32];
        for (int i = 1; i <= kOrder; ++i) {
            line.clear();
            for (int j = 1; j <= kOrder + 1; ++j) {
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
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_OpenFile2000(benchmark::State& state) {
    Fixture& f = fixture();
    varnex::test::CountingBoxes boxes;
    varnex::App app;
    app.box = &boxes;
    app.app_folder = f.folder;
    app.st.msg.fill();
    for (auto _ : state) varnex::open_file(app, f.path);
    if (boxes.shown != 0 || app.st.N != kOrder) state.SkipWithError("the file did not open cleanly");
    state.counters["file_MB"] = static_cast<double>(f.file_bytes) / 1e6;
    state.counters["grid_MB"] = static_cast<double>(app.grid.memory_bytes()) / 1e6;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.file_bytes));
}
BENCHMARK(BM_OpenFile2000)->Unit(benchmark::kMillisecond)->MinTime(3.0);

class Dialog : public varnex::FileDialog {
  public:
    std::string path;
    bool ShowOpen() override {
        FileName = path;
        return true;
    }
    bool ShowSave() override { return false; }
};

// An App whose open dialog confirms the fixture's file.
struct OpenApp {
    varnex::test::CountingBoxes boxes;
    varnex::test::QuietControls ui;
    Dialog cd;
    varnex::App app;
    explicit OpenApp(const Fixture& f) {
        cd.path = f.path;
        app.box = &boxes;
        app.ui = &ui;
        app.cd = &cd;
        app.app_folder = f.folder;
        app.st.msg.fill();
    }
    bool clean() const { return boxes.shown == 0 && app.st.N == kOrder; }
};

// The whole command: the dialog's file into the grid, the boxes, and the arrays for the new order.
void BM_OpenCommand2000(benchmark::State& state) {
    OpenApp o(fixture());
    for (auto _ : state) varnex::Open_Click(o.app);
    if (!o.clean()) state.SkipWithError("the file did not open cleanly");
}
BENCHMARK(BM_OpenCommand2000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

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

// Part one of Open's yardstick: one sequential read of the file into a buffer sized once and kept.
bool read_reused(const Fixture& f, std::string& buffer) {
    buffer.resize(f.file_bytes);
    int fd = ::open(f.path.c_str(), O_RDONLY);
    std::size_t used = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data() + used, buffer.size() - used)) > 0;)
        used += static_cast<std::size_t>(got);
    ::close(fd);
    benchmark::DoNotOptimize(buffer.data());
    return used == f.file_bytes;
}

// Part two: line and token splitting over the file in memory, without the grid.
std::size_t split_all(const std::string& text, std::vector<std::string_view>& tokens) {
    std::size_t count = 0;
    varnex::LineReader lines(text);
    while (!lines.at_end()) {
        varnex::split_tokens(lines.next(), tokens);
        count += tokens.size();
    }
    benchmark::DoNotOptimize(count);
    return count;
}

// Part three: the grid writes of Open, from tokens split beforehand: the layout, every token into its
// cell, and the approximation column.
void write_grid(varnex::GridModel& grid, const std::vector<std::string_view>& all) {
    grid.fill_data(kOrder);
    std::size_t t = 0;
    for (int i = 1; i <= kOrder; ++i)
        for (int j = 1; j <= kOrder + 1; ++j) grid.set_text(i, varnex::value_column(j), all[t++]);
    for (int i = 1; i <= kOrder; ++i) grid.set_text(i, varnex::x_column(kOrder), "0");
}

// Every token of the file, in order.
std::vector<std::string_view> all_tokens(const std::string& text) {
    std::vector<std::string_view> all, tokens;
    varnex::LineReader lines(text);
    while (!lines.at_end()) {
        varnex::split_tokens(lines.next(), tokens);
        all.insert(all.end(), tokens.begin(), tokens.end());
    }
    return all;
}

void BM_ReusedRead2000(benchmark::State& state) {
    Fixture& f = fixture();
    std::string buffer;
    for (auto _ : state)
        if (!read_reused(f, buffer)) state.SkipWithError("short read");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.file_bytes));
}
BENCHMARK(BM_ReusedRead2000)->Unit(benchmark::kMillisecond);

void BM_SplitTokens2000(benchmark::State& state) {
    Fixture& f = fixture();
    std::string text = varnex::InputFile(f.path).read_all();
    std::vector<std::string_view> tokens;
    for (auto _ : state) split_all(text, tokens);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SplitTokens2000)->Unit(benchmark::kMillisecond);

void BM_GridWrite2000(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string text = varnex::InputFile(f.path).read_all();
    const std::vector<std::string_view> all = all_tokens(text);
    varnex::GridModel grid;
    for (auto _ : state) write_grid(grid, all);
}
BENCHMARK(BM_GridWrite2000)->Unit(benchmark::kMillisecond);

double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// The command and its three parts side by side: each iteration times one Open and then the parts, so
// that both see the same state of a shared machine; the counter "ratio" is the median of the
// iterations' ratios, command_ms and parts_ms the medians of the two times.
void BM_OpenVsParts2000(benchmark::State& state) {
    Fixture& f = fixture();
    OpenApp o(f);
    const std::string text = varnex::InputFile(f.path).read_all();
    const std::vector<std::string_view> all = all_tokens(text);
    std::string buffer;
    std::vector<std::string_view> tokens;
    varnex::GridModel grid;
    std::vector<double> t_command, t_parts, ratio;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        varnex::Open_Click(o.app);
        auto t1 = std::chrono::steady_clock::now();
        if (!read_reused(f, buffer)) state.SkipWithError("short read");
        split_all(buffer, tokens);
        write_grid(grid, all);
        auto t2 = std::chrono::steady_clock::now();
        t_command.push_back(std::chrono::duration<double>(t1 - t0).count());
        t_parts.push_back(std::chrono::duration<double>(t2 - t1).count());
        ratio.push_back(t_command.back() / t_parts.back());
        state.SetIterationTime(t_command.back());
    }
    if (!o.clean()) state.SkipWithError("the file did not open cleanly");
    state.counters["command_ms"] = median(t_command) * 1e3;
    state.counters["parts_ms"] = median(t_parts) * 1e3;
    state.counters["ratio"] = median(ratio);
}
BENCHMARK(BM_OpenVsParts2000)->Unit(benchmark::kMillisecond)->MinTime(4.0)->UseManualTime();

}  // namespace
