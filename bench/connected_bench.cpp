// Connected mode against its yardsticks, order 2000, with the files in the page cache:
//  - a sweep over the row file (fast readers with the walk shared by two threads or on one, and the
//    plain readers) against the in-memory sweep of the same system; the target is at most 2.5x the
//    in-memory sweep, taken as the median ratio of the two sweeps timed in turn. The pages of the
//    mapping are touched before timing, as a solve command's set-up touches them before its first
//    sweep. The bare walk over every value of the file, column by column and panel by panel, shows how
//    much of a connected sweep is memory traffic alone;
//  - the Connect conversion of a text file against one sequential write of the same number of bytes;
//    the target is at most 1.5x that write.
// The LM_ benchmarks take a system of order 4000 (a 2 GB row file) and are meant to run inside a memory
// limit far below the file (bench/run gives them a memory cgroup of 256 MB): each iteration times a
// pass of the connected mode and, right beside it, one sequential read or write of the same file, and
// the counters give the median ratio of the pairs. Their fixture writes the text system line by line
// and makes the row file by Connect, so it never holds the system in memory.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "commands/connect_command.h"
#include "commands/connected_commands.h"
#include "core/connected_sweeps.h"
#include "core/convert.h"
#include "core/numerics.h"
#include "core/row_file_writer.h"
#include "support/quiet_seams.h"
#include "support/temp_dir.h"

namespace varnex {
namespace {

constexpr int kOrder = 2000;

// One random, diagonally dominant system of order kOrder: in memory, as a row file and as a text
// system file, in a folder that is removed at exit.
struct Fixture {
    test::TempDir dir;
    std::string folder = dir.path();  // stands for the application folder
    std::string rows, text;
    SquareMatrix A;
    std::vector<float> B;

    Fixture() {
        rows = row_file_path(folder);
        text = folder + "/system.txt";
        std::mt19937 rng(2000);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        A.dim(kOrder);
        B.assign(kOrder + 1, 0.0f);
        for (int i = 1; i <= kOrder; ++i) {
            for (int j = 1; j <= kOrder; ++j) A(i, j) = u(rng) + (i == j ? kOrder / 2.0f : 0.0f);
            B[i] = u(rng) * kOrder;
        }
        RowWriter w;
        w.open(rows);
        std::FILE* f = std::fopen(text.c_str(), "wb");
        std::string line;
        for (int i = 1; i <= kOrder; ++i) {
            line.clear();
            for (int j = 1; j <= kOrder + 1; ++j) {
                float v = j <= kOrder ? A(i, j) : B[i];
                w.put(std::int64_t(kOrder + 1) * (i - 1) + j, v);
                line += single_to_text(v);
                line += ' ';
            }
            line += "\r\n";
            std::fwrite(line.data(), 1, line.size(), f);
        }
        std::fclose(f);
        w.close();
        // Written back before any timing, so that the flush of 512 MB does not run beside a benchmark.
        ::sync();
    }

    // A state set up for sweeping (R and D from the in-memory set-up), in the given mode.
    void set_up(SystemState& st, int16_t mode) const {
        st.N = kOrder;
        st.DataMode = kModeMemory;
        st.A = A;
        st.B = B;
        dim_cleared(st.X, kOrder);
        dim_cleared(st.R, kOrder);
        dim_cleared(st.D, kOrder);
        test::CountingBoxes box;
        get_residual(st);
        get_norms(st, box);
        st.DataMode = mode;
        if (mode == kModeConnected) {
            st.A.release();
            st.B.clear();
        }
    }
};

const Fixture& fixture() {
    static Fixture f;
    return f;
}

// Reads one byte of every page of the mapping, so that the timed loops do not pay for mapping the
// pages on first touch (a solve command pays it once, in its set-up before the first sweep).
void touch_pages(const RowFile& f) {
    unsigned acc = 0;
    for (std::size_t o = 0; o < f.size(); o += 4096) acc += f.bytes()[o];
    benchmark::DoNotOptimize(acc);
}

// A connected state for sweeping with its grid, the row file open and its pages mapped.
void set_up_connected(SystemState& st, GridModel& grid) {
    fixture().set_up(st, kModeConnected);
    grid.fill_x(kOrder, st.X);
    st.solve_row_file.open(fixture().rows);
    touch_pages(st.solve_row_file);
}

// Reads every value of the columns first, first+step, ... of the row file, with the sweep's fetch
// ahead and no arithmetic.
void walk_columns(const RowFile& f, int first, int step) {
    const unsigned char* base = f.bytes();
    const std::size_t stride = std::size_t(kOrder + 1) * kRecordLength;
    const unsigned char* end = base + std::size_t(kOrder) * stride;
    std::uint32_t acc = 0;
    for (int i = first; i <= kOrder; i += step) {
        const unsigned char* p = base + std::size_t(i - 1) * kRecordLength;
        for (int j = 1; j <= kOrder; ++j, p += stride) {
            const unsigned char* q = p + 128 * stride;
            __builtin_prefetch(q < end ? q : q - (end - base) + step * kRecordLength, 0, 3);
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            acc ^= v;
        }
    }
    benchmark::DoNotOptimize(acc);
}

void BM_SweepInMemory(benchmark::State& state) {
    SystemState st;
    fixture().set_up(st, kModeMemory);
    GridModel grid;
    grid.fill_data(kOrder);
    for (auto _ : state) do_iteration(st, grid);
}

void BM_SweepConnected(benchmark::State& state) {
    SystemState st;
    GridModel grid;
    set_up_connected(st, grid);
    for (auto _ : state) do_iteration_file(st, grid);
}

// The two sweeps side by side: each iteration times one in-memory sweep and then one connected sweep
// of the same system, so that both see the same state of a shared machine. The counters give the
// medians of both times and of their ratio, and the connected sweep's 90th percentile: on a virtual
// machine whose host samples and reclaims memory behind it, a few sweeps in a hundred take several
// times the usual, and a mean would report those rather than the sweep.
void paired_sweeps(benchmark::State& state, const std::function<void(SystemState&, GridModel&)>& connected_sweep) {
    SystemState mem, con;
    GridModel mem_grid, con_grid;
    fixture().set_up(mem, kModeMemory);
    mem_grid.fill_data(kOrder);
    set_up_connected(con, con_grid);
    std::vector<double> t_mem, t_con, ratio;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        do_iteration(mem, mem_grid);
        auto t1 = std::chrono::steady_clock::now();
        connected_sweep(con, con_grid);
        auto t2 = std::chrono::steady_clock::now();
        t_mem.push_back(std::chrono::duration<double>(t1 - t0).count());
        t_con.push_back(std::chrono::duration<double>(t2 - t1).count());
        ratio.push_back(t_con.back() / t_mem.back());
        state.SetIterationTime(t_con.back());
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    state.counters["memory_ms"] = median(t_mem) * 1e3;
    state.counters["connected_ms"] = median(t_con) * 1e3;
    state.counters["ratio"] = median(ratio);
    std::sort(t_con.begin(), t_con.end());
    state.counters["connected_p90_ms"] = t_con[t_con.size() * 9 / 10] * 1e3;
}

void BM_SweepConnectedVsMemory(benchmark::State& state) { paired_sweeps(state, do_iteration_file); }

// The same pairs with the connected sweep on the calling thread alone, as it runs when no processor is
// idle for a second one.
void BM_SweepOneThreadVsMemory(benchmark::State& state) {
    paired_sweeps(state, [](SystemState& st, GridModel& grid) {
        do_iteration_file_with(st, grid, column_kernels_best(), kColumnBufferRows);
    });
}

// The same sweep with the walk over the file on the calling thread alone.
void BM_SweepConnectedOneThread(benchmark::State& state) {
    SystemState st;
    GridModel grid;
    set_up_connected(st, grid);
    for (auto _ : state) do_iteration_file_with(st, grid, column_kernels_best(), kColumnBufferRows);
}

// One "Next Iteration" click: the file is opened and mapped anew around the sweep.
void BM_SweepConnectedReopened(benchmark::State& state) {
    SystemState st;
    fixture().set_up(st, kModeConnected);
    GridModel grid;
    grid.fill_x(kOrder, st.X);
    for (auto _ : state) {
        st.solve_row_file.open(fixture().rows);
        do_iteration_file(st, grid);
        st.solve_row_file.close();
    }
}

// The sweep with the walk over the file shared by a second thread, whatever the load of the machine.
void BM_SweepConnectedGatheredTwo(benchmark::State& state) {
    SystemState st;
    GridModel grid;
    set_up_connected(st, grid);
    for (auto _ : state) do_iteration_file_gathered(st, grid, column_kernels_best(), kColumnBufferRows);
}

void BM_SweepConnectedPlain(benchmark::State& state) {
    SystemState st;
    GridModel grid;
    set_up_connected(st, grid);
    for (auto _ : state) do_iteration_file_plain(st, grid);
}

// The floor under a connected sweep: every value of the row file read once, column by column, with
// the sweep's fetch ahead and no arithmetic. Each value lies in a cache line of its own.
void BM_ColumnWalkOnly(benchmark::State& state) {
    RowFile f;
    f.open(fixture().rows);
    touch_pages(f);
    for (auto _ : state) walk_columns(f, 1, 1);
}

// The same walk shared by two threads, odd columns on one and even on the other: how far the memory
// system lets two walks overlap.
void BM_ColumnWalkTwoThreads(benchmark::State& state) {
    RowFile f;
    f.open(fixture().rows);
    touch_pages(f);
    for (auto _ : state) {
        std::thread other(walk_columns, std::cref(f), 2, 2);
        walk_columns(f, 1, 2);
        other.join();
    }
}

// The same values gathered by panels of `cols` adjacent columns, row by row: each row gives one run
// of cols records, so the walk moves through each page in order instead of one value per page.
void walk_panels(const RowFile& f, int cols, float* panel) {
    const unsigned char* base = f.bytes();
    const std::size_t stride = std::size_t(kOrder + 1) * kRecordLength;
    for (int c0 = 0; c0 < kOrder; c0 += cols) {
        const int w = std::min(cols, kOrder - c0);
        for (int j = 0; j < kOrder; ++j) {
            const unsigned char* p = base + std::size_t(j) * stride + std::size_t(c0) * kRecordLength;
            for (int c = 0; c < w; ++c) std::memcpy(&panel[std::size_t(c) * kOrder + j], p + c * kRecordLength, 4);
        }
        benchmark::DoNotOptimize(panel[0]);
    }
}

void BM_PanelWalkOnly(benchmark::State& state) {
    RowFile f;
    f.open(fixture().rows);
    touch_pages(f);
    std::vector<float> panel(std::size_t(state.range(0)) * kOrder);
    for (auto _ : state) walk_panels(f, static_cast<int>(state.range(0)), panel.data());
}

void BM_SetUpConnected(benchmark::State& state) {
    SystemState st;
    fixture().set_up(st, kModeConnected);
    st.solve_row_file.open(fixture().rows);
    touch_pages(st.solve_row_file);
    test::CountingBoxes box;
    for (auto _ : state) {
        get_residual_file(st);
        get_norms_file(st, box);
    }
}

// The yardstick of the conversion: the bytes of the row file with one write call.
void BM_OneSequentialWrite(benchmark::State& state) {
    const std::size_t bytes = std::size_t(128) * kOrder * (kOrder + 1);
    std::vector<char> block(bytes, 1);
    const std::string path = fixture().folder + "/plain.bin";
    // Like the row file, the target exists and is in the page cache: written once before timing.
    auto write_all = [&] {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0666);
        std::size_t done = 0;
        while (done < bytes) {
            ssize_t n = ::pwrite(fd, block.data() + done, bytes - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    };
    write_all();
    for (auto _ : state) write_all();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_ConnectConversion(benchmark::State& state) {
    test::QuietControls ui;
    test::CountingBoxes box;
    App app;
    app.ui = &ui;
    app.box = &box;
    app.app_folder = fixture().folder;
    app.st.msg.fill();
    std::vector<float> x;
    for (auto _ : state) {
        connect_to_file(app, fixture().text, x);
        if (app.st.N != kOrder) state.SkipWithError("conversion failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 128 * kOrder * (kOrder + 1)));
}

// ---- past memory: order 4000 -----------------------------------------------------------------------

constexpr int kLargeOrder = 4000;

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Tells the kernel that no page of the file is needed any more (written back first), so that every
// timed pass starts from the disk, as it would past memory.
void drop_cache(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// A random, diagonally dominant system of the given order as a text system file, written a line at
// a time, and its row file made by Connect.
struct LargeFixture {
    int order;
    test::TempDir dir;
    std::string folder = dir.path(), rows, text;
    App app;
    test::QuietControls ui;
    test::CountingBoxes box;
    double text_s = 0, connect_s = 0;

    explicit LargeFixture(int n, const std::string& where = std::filesystem::temp_directory_path().string())
        : order(n), dir(where) {
        auto t0 = std::chrono::steady_clock::now();
        rows = row_file_path(folder);
        text = folder + "/system.txt";
        std::mt19937 rng(order);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::FILE* f = std::fopen(text.c_str(), "wb");
        std::string line;
        for (int i = 1; i <= order; ++i) {
            line.clear();
            for (int j = 1; j <= order + 1; ++j) {
                float v = j <= order ? u(rng) + (i == j ? order / 2.0f : 0.0f) : u(rng) * order;
                line += single_to_text(v);
                line += ' ';
            }
            line += "\r\n";
            std::fwrite(line.data(), 1, line.size(), f);
        }
        std::fclose(f);
        drop_cache(text);
        text_s = seconds_since(t0);
        app.ui = &ui;
        app.box = &box;
        app.app_folder = folder;
        app.st.msg.fill();
        t0 = std::chrono::steady_clock::now();
        connect();
        connect_s = seconds_since(t0);
    }
    // Connect of the text file, its records on the disk when it returns.
    void connect() {
        std::vector<float> x;
        connect_to_file(app, text, x);
        if (app.st.N != order) std::abort();
        int fd = ::open(rows.c_str(), O_RDONLY);
        ::fdatasync(fd);
        ::close(fd);
    }
};

LargeFixture& large() {
    static LargeFixture f(kLargeOrder);
    return f;
}

// The yardstick of the connected passes: the row file read once from its start to its end in blocks of
// 1 MB, as dd reads it.
void read_once(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    static std::vector<char> block(1 << 20);
    while (::read(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
}

// The yardstick of the conversion: as many bytes as the row file written once in blocks of 1 MB, on
// the disk when it returns, as dd oflag=direct conv=fdatasync writes them. The writes bypass the page
// cache: buffered, 2 GB of dirty pages overrun a memory cgroup v1 of 256 MB, whose kernel then kills
// the writer rather than wait for the disk.
void write_once(const std::string& path) {
    const std::size_t bytes = std::size_t(128) * kLargeOrder * (kLargeOrder + 1);
    static void* block = [] {
        void* p = std::aligned_alloc(4096, 1 << 20);
        std::memset(p, 1, 1 << 20);
        return p;
    }();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_DIRECT, 0666);
    if (fd < 0) std::abort();
    for (std::size_t done = 0; done < bytes;) {
        const std::size_t len = std::min<std::size_t>(1 << 20, bytes - done);
        if (::pwrite(fd, block, len, static_cast<off_t>(done)) != static_cast<ssize_t>(len)) std::abort();
        done += len;
    }
    ::fdatasync(fd);
    ::close(fd);
}

// Peak resident memory of this process since the start or the last reset_peak_rss(), in MB.
double peak_rss_mb() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    double kb = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::atof(line + 6);
    if (f) std::fclose(f);
    return kb / 1024.0;
}
void reset_peak_rss() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Processor time of this process so far (all threads, user and kernel), in seconds.
double process_cpu_s() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Times pass() against yardstick() in turn, each from a cold file, and reports both medians and the
// median of their ratios.
void paired(benchmark::State& state, const std::string& file, const std::function<void()>& yardstick,
            const std::function<void()>& pass) {
    std::vector<double> t_y, t_p, ratio, cpu_p;
    reset_peak_rss();
    for (auto _ : state) {
        drop_cache(file);
        auto t0 = std::chrono::steady_clock::now();
        yardstick();
        t_y.push_back(seconds_since(t0));
        drop_cache(file);
        const double c0 = process_cpu_s();
        t0 = std::chrono::steady_clock::now();
        pass();
        t_p.push_back(seconds_since(t0));
        cpu_p.push_back(process_cpu_s() - c0);
        ratio.push_back(t_p.back() / t_y.back());
        state.SetIterationTime(t_p.back());
    }
    state.counters["yardstick_s"] = median(t_y);
    state.counters["pass_s"] = median(t_p);
    // How much of the pass the process itself was busy (all its threads, kernel time included); the
    // rest it waited on the disk.
    state.counters["pass_cpu_s"] = median(cpu_p);
    state.counters["ratio"] = median(ratio);
    state.counters["peak_rss_MB"] = peak_rss_mb();
    // The disk's own speed in this run: the row file's bytes over the yardstick's median time.
    state.counters["yardstick_MBps"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6 / median(t_y);
}

// One connected sweep against one sequential read of the row file. The set-up runs once, untimed.
void LM_SweepVsRead(benchmark::State& state) {
    LargeFixture& f = large();
    SystemState& st = f.app.st;
    GridModel grid;
    dim_cleared(st.X, kLargeOrder);
    dim_cleared(st.R, kLargeOrder);
    dim_cleared(st.D, kLargeOrder);
    grid.fill_x(kLargeOrder, st.X);
    st.DataMode = kModeConnected;
    st.solve_row_file.open(f.rows);
    get_residual(st);
    get_norms_file(st, f.box);
    // Every timed sweep reads the whole file: the panels that the set-up kept would spare the first
    // one half of it.
    st.solve_row_file.drop_seed();
    paired(
        state, f.rows, [&] { read_once(f.rows); }, [&] { do_iteration_file(st, grid); });
    st.solve_row_file.close();
}

// What a solve command does before its second sweep: open the row file, set R and D up, one sweep;
// against one sequential read.
void LM_SetUpAndSweepVsRead(benchmark::State& state) {
    LargeFixture& f = large();
    SystemState& st = f.app.st;
    GridModel grid;
    dim_cleared(st.X, kLargeOrder);
    grid.fill_x(kLargeOrder, st.X);
    st.DataMode = kModeConnected;
    paired(
        state, f.rows, [&] { read_once(f.rows); },
        [&] {
            dim_cleared(st.R, kLargeOrder);
            dim_cleared(st.D, kLargeOrder);
            st.solve_row_file.open(f.rows);
            get_residual(st);
            get_norms_file(st, f.box);
            do_iteration_file(st, grid);
            st.solve_row_file.close();
        });
}

// The first "Next Iteration" click of a connected system (set-up and one sweep) against one sequential
// read.
void LM_NextIterationFirstVsRead(benchmark::State& state) {
    LargeFixture& f = large();
    App& app = f.app;
    SystemState& st = app.st;
    paired(
        state, f.rows, [&] { read_once(f.rows); },
        [&] {
            dim_cleared(st.X, kLargeOrder);
            app.grid.fill_x(kLargeOrder, st.X);
            st.DataMode = kModeConnected;
            st.IterCount = 1;
            connected_next_iteration(app);
        });
}

// Connect of the order-4000 text file against one sequential write of as many bytes, each until its
// data is on the disk.
void LM_ConnectVsWrite(benchmark::State& state) {
    LargeFixture& f = large();
    const std::string plain = f.folder + "/plain.bin";
    write_once(plain);
    paired(
        state, f.rows,
        [&] {
            write_once(plain);
            drop_cache(plain);
        },
        [&] { f.connect(); });
    std::filesystem::remove(plain);
}

BENCHMARK(BM_SweepInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SweepConnected)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SweepConnectedVsMemory)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_SweepOneThreadVsMemory)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_SweepConnectedOneThread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SweepConnectedReopened)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SweepConnectedGatheredTwo)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SweepConnectedPlain)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ColumnWalkOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColumnWalkTwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PanelWalkOnly)->Unit(benchmark::kMillisecond)->Arg(16)->Arg(64)->Arg(256);
BENCHMARK(BM_SetUpConnected)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneSequentialWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectConversion)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
// The real scale, run by hand only (bench/run leaves it out): a system of order VARNEX_BENCH_ORDER
// (20000 unless set; a 51 GB row file) in the folder VARNEX_BENCH_DIR (/work unless set), made and
// connected once, then the set-up and three sweeps, each timed. The counters give the times and the
// peak resident memory; the files are removed at the end.
void XL_RealScale(benchmark::State& state) {
    const char* o = std::getenv("VARNEX_BENCH_ORDER");
    const char* d = std::getenv("VARNEX_BENCH_DIR");
    const int n = o ? std::atoi(o) : 20000;
    for (auto _ : state) {
        LargeFixture f(n, d ? d : "/work");
        state.counters["text_s"] = f.text_s;
        state.counters["connect_s"] = f.connect_s;
        state.counters["row_file_GB"] = double(std::filesystem::file_size(f.rows)) / 1e9;
        state.counters["peak_rss_MB_connect"] = peak_rss_mb();
        reset_peak_rss();
        SystemState& st = f.app.st;
        GridModel grid;
        dim_cleared(st.X, n);
        dim_cleared(st.R, n);
        dim_cleared(st.D, n);
        grid.fill_x(n, st.X);
        st.DataMode = kModeConnected;
        auto t0 = std::chrono::steady_clock::now();
        st.solve_row_file.open(f.rows);
        get_residual(st);
        get_norms_file(st, f.box);
        state.counters["setup_s"] = seconds_since(t0);
        state.counters["streamed"] = st.solve_row_file.streamed();
        for (int k = 1; k <= 3; ++k) {
            t0 = std::chrono::steady_clock::now();
            do_iteration_file(st, grid);
            state.counters["sweep" + std::to_string(k) + "_s"] = seconds_since(t0);
            state.counters["Er" + std::to_string(k)] = st.Er;
        }
        st.solve_row_file.close();
        state.counters["peak_rss_MB_solve"] = peak_rss_mb();
        // The yardsticks, by dd itself: the row file read once, then written over once (it is not
        // needed any more) until its data is on the disk.
        const std::uint64_t mb = (std::filesystem::file_size(f.rows) + (1 << 20) - 1) >> 20;
        drop_cache(f.rows);
        t0 = std::chrono::steady_clock::now();
        if (std::system(("dd if=" + f.rows + " of=/dev/null bs=1M status=none").c_str()) != 0) std::abort();
        state.counters["dd_read_s"] = seconds_since(t0);
        drop_cache(f.rows);
        t0 = std::chrono::steady_clock::now();
        if (std::system(("dd if=/dev/zero of=" + f.rows + " bs=1M count=" + std::to_string(mb) +
                         " conv=notrunc,fdatasync status=none")
                            .c_str()) != 0)
            std::abort();
        state.counters["dd_write_s"] = seconds_since(t0);
        drop_cache(f.rows);
    }
}

// Pairs per LM_ benchmark (each pass of order 4000 reads or writes 2 GB): VARNEX_BENCH_PASSES overrides.
int passes(int usual) {
    const char* e = std::getenv("VARNEX_BENCH_PASSES");
    return e && std::atoi(e) > 0 ? std::atoi(e) : usual;
}
BENCHMARK(LM_SweepVsRead)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(passes(5));
BENCHMARK(LM_SetUpAndSweepVsRead)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(passes(3));
BENCHMARK(LM_NextIterationFirstVsRead)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(passes(3));
BENCHMARK(LM_ConnectVsWrite)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(passes(3));
BENCHMARK(XL_RealScale)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace varnex
