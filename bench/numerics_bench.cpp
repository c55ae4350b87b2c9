// The elimination and the sweep: the fast kernels against their plain twins, and the elimination
// against LAPACK sgesv from OpenBLAS (linked into this benchmark only), both on two threads.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <random>
#include <vector>

#include "core/grid_model.h"
#include "core/numerics.h"
#include "core/state.h"

extern "C" void sgesv_(const int* n, const int* nrhs, float* a, const int* lda, int* ipiv, float* b, const int* ldb,
                       int* info);

namespace {

using namespace varnex;

// A random system with a dominant positive diagonal: no zero pivot, no fault, every step taken.
void make_system(SystemState& st, int n) {
    std::mt19937 gen(12345u + n);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    st.N = static_cast<int16_t>(n);
    st.DataMode = kModeMemory;
    st.A.dim(n);
    dim_cleared(st.B, n);
    dim_cleared(st.X, n);
    dim_cleared(st.R, n);
    dim_cleared(st.D, n);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) st.A(i, j) = u(gen) + (i == j ? 0.5f * n : 0.0f);
    for (int i = 1; i <= n; ++i) st.B[i] = u(gen);
}

// OpenBLAS's own thread count, when the library offers the call.
void openblas_threads(int threads) {
    using SetThreads = void (*)(int);
    if (auto f = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads"))) f(threads);
}

void BM_gauss_plain(benchmark::State& state) {
    SystemState st;
    make_system(st, static_cast<int>(state.range(0)));
    for (auto _ : state) gauss_solution_plain(st);
}

void BM_gauss_fast(benchmark::State& state) {
    SystemState st;
    make_system(st, static_cast<int>(state.range(0)));
    for (auto _ : state) gauss_solution(st);
}

void BM_sgesv(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0)), one = 1;
    openblas_threads(2);
    SystemState st;
    make_system(st, n);
    // The same matrix, without the unused row and column 0, and a fresh copy per run (outside the time).
    std::vector<float> a0(static_cast<std::size_t>(n) * n), a, b0(st.B.begin() + 1, st.B.end()), b;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) a0[static_cast<std::size_t>(j) * n + i] = st.A(i + 1, j + 1);
    std::vector<int> ipiv(n);
    for (auto _ : state) {
        state.PauseTiming();
        a = a0;
        b = b0;
        state.ResumeTiming();
        int info = 0;
        sgesv_(&n, &one, a.data(), &n, ipiv.data(), b.data(), &n, &info);
        benchmark::DoNotOptimize(info);
    }
}

// One sweep; the system is set up once and every iteration sweeps on from where the last one ended.
template <void (*Sweep)(SystemState&, GridModel&)>
void sweep_bench(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    SystemState st;
    make_system(st, n);
    GridModel grid;
    grid.fill_data(static_cast<int16_t>(n));
    get_residual(st);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) st.D[i] += st.A(j, i) * st.A(j, i);
    for (auto _ : state) Sweep(st, grid);
    state.counters["ns_per_coef"] = benchmark::Counter(static_cast<double>(n) * n * state.iterations() * 1e-9,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_sweep_plain(benchmark::State& state) { sweep_bench<do_iteration_plain>(state); }
void BM_sweep_fast(benchmark::State& state) { sweep_bench<do_iteration>(state); }

}  // namespace

BENCHMARK(BM_gauss_plain)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_gauss_fast)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_sgesv)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_sweep_plain)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_sweep_fast)->Arg(2000)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
