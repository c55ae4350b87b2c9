// The accuracy report at order 2000, as the window computes it after a solve command: residual and
// norms in double, then one LAPACK factorization for the condition estimate and the refined reference
// solution, and the verdict. Its time is the delay from the command's
// end to the report in the status bar (the worker's start costs microseconds on top).
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <chrono>
#include <random>
#include <thread>

#include "commands/accuracy_report.h"

extern "C" void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);

namespace {

using namespace varnex;

// A random memory-mode system of order n with a dominant diagonal and a nearby approximation, as a
// finished "Find  solution" leaves it.
void make_app(App& app, int n) {
    std::mt19937 gen(777u + n);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    SystemState& st = app.st;
    st.N = static_cast<int16_t>(n);
    st.DataMode = kModeMemory;
    st.IterCount = 4;
    st.A.dim(n);
    dim_cleared(st.B, n);
    dim_cleared(st.X, n);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) st.A(i, j) = u(gen) + (i == j ? 0.5f * n : 0.0f);
    for (int i = 1; i <= n; ++i) {
        st.B[i] = u(gen);
        st.X[i] = st.B[i] / (0.5f * n);
    }
    app.last_run.find_solution = true;
    app.last_run.end = RunEnd::AccuracyReached;
    app.last_run.sweeps = 3;
}

void BM_AccuracyReport(benchmark::State& state) {
    App app;
    make_app(app, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        AccuracyReport r = accuracy_report(app);
        if (!r.conditioned) state.SkipWithError("no condition estimate");
        benchmark::DoNotOptimize(r.kappa1);
    }
}
BENCHMARK(BM_AccuracyReport)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
// The whole report at order 8000 (residual, factorization, condition estimate, refinement, verdict),
// once: against BM_DgetrfYardstick/8000.
BENCHMARK(BM_AccuracyReport)->Arg(8000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The residual pass alone, for the share of the report that does not depend on LAPACK.
void BM_ResidualInMemory(benchmark::State& state) {
    App app;
    make_app(app, static_cast<int>(state.range(0)));
    const std::atomic<bool> go_on{false};
    ResidualNorms norms;
    for (auto _ : state) {
        residual_in_memory(app.st.A, app.st.B, app.st.X, app.st.N, go_on, norms);
        benchmark::DoNotOptimize(norms.residual);
    }
}
BENCHMARK(BM_ResidualInMemory)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

// How long the next command waits for a report it cancels: the measurement runs on a thread for
// 20..80 ms (the residual pass, then the factorization), the flag is set, and the time until the
// thread has ended is the wait.
void BM_CancelLatency(benchmark::State& state) {
    App app;
    make_app(app, static_cast<int>(state.range(0)));
    int k = 0;
    for (auto _ : state) {
        std::atomic<bool> cancel{false};
        AccuracyReport r = start_report(app);
        std::thread worker([&] { measure_report(app, r, cancel); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 15 * (k++ % 5)));
        const auto t0 = std::chrono::steady_clock::now();
        cancel = true;
        worker.join();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
}
BENCHMARK(BM_CancelLatency)->Arg(2000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

// The yardstick: one dgetrf call on the same double matrix, the bulk of the report's work, with the
// copy made outside the time. OpenBLAS on one thread, as the report's factorization runs.
void BM_DgetrfYardstick(benchmark::State& state) {
    using SetThreads = void (*)(int);
    if (auto f = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads"))) f(1);
    App app;
    const int n = static_cast<int>(state.range(0));
    make_app(app, n);
    std::vector<double> a0(static_cast<std::size_t>(n) * n), a;
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) a0[static_cast<std::size_t>(j - 1) * n + (i - 1)] = app.st.A(i, j);
    std::vector<int> ipiv(n);
    for (auto _ : state) {
        state.PauseTiming();
        a = a0;
        state.ResumeTiming();
        int info = 0;
        dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
        benchmark::DoNotOptimize(a.data());
    }
}
BENCHMARK(BM_DgetrfYardstick)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_DgetrfYardstick)->Arg(8000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
