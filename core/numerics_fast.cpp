// The entry points of the elimination, the column norms and the sweep: the fast kernels for this
// processor, which give the plain loops' bits (core/gauss_blocked.cpp, core/sweep.cpp).
#include <algorithm>
#include <cmath>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "core/exact.h"
#include "core/gauss_blocked.h"
#include "core/numerics.h"
#include "core/sweep_kernels.h"

namespace varnex {

namespace {

int elimination_threads() {
    const unsigned hw = std::thread::hardware_concurrency();
    return hw >= 2 ? 2 : 1;
}

}  // namespace

void gauss_solution(SystemState& st) {
    gauss_solution_blocked(st, elim_kernels_best(), kPanelWidth, elimination_threads());
}

void do_iteration(SystemState& st, GridModel& grid) { do_iteration_with(st, grid, sweep_kernels_best()); }

void get_norms(SystemState& st, MessageBoxes& box) {
    const int n = st.N;
    if (n < 1 || n >= 32767 || st.A.upper() < n || st.D.size() < static_cast<std::size_t>(n) + 1) {
        get_norms_plain(st, box);
        return;
    }
    // Each D(i) is a chain of N dependent roundings; eight columns' chains run side by side, each in
    // its own order, so the processor overlaps them. A square is never negative, so an infinity or NaN
    // met in a chain is still there at its end, and a chain ending in 0 had only zero terms: a group
    // that ends in either is handed to the plain loop from its first column, which stops or reports
    // exactly where the plain loop over all columns does. Clean groups store their D(i) in order.
    constexpr int kChains = 8;
    const int groups = n / kChains;
    // The groups' sums go to a scratch first, on two threads at larger orders (each group is its own
    // work); then the clean groups are stored in order up to the first that is not.
    std::vector<float> sums;
    std::vector<char> clean;
    try {
        sums.resize(static_cast<std::size_t>(groups) * kChains);
        clean.resize(static_cast<std::size_t>(groups));
    } catch (const std::bad_alloc&) {
        get_norms_plain(st, box);  // the plain loop needs no scratch
        return;
    }
    auto run = [&](int g0, int g1) {
        for (int g = g0; g < g1; ++g) {
            const int i = 1 + g * kChains;
            const float* a[kChains];
            float d[kChains];
            for (int c = 0; c < kChains; ++c) {
                a[c] = st.A.col(i + c);
                d[c] = 0.0f;
            }
            for (int j = 1; j <= n; ++j)
                for (int c = 0; c < kChains; ++c) d[c] = mul_add(a[c][j], a[c][j], d[c]);
            bool ok = true;
            for (int c = 0; c < kChains; ++c) {
                ok = ok && std::isfinite(d[c]) && d[c] != 0.0f;
                sums[static_cast<std::size_t>(g) * kChains + c] = d[c];
            }
            clean[g] = ok;
        }
    };
    if (n >= 512 && std::thread::hardware_concurrency() >= 2) {
        const int half = groups / 2;
        std::thread helper;
        try {
            helper = std::thread(run, half, groups);
        } catch (const std::system_error&) {
            run(half, groups);
        }
        run(0, half);
        if (helper.joinable()) helper.join();
    } else {
        run(0, groups);
    }
    int i = 1;
    for (int g = 0; g < groups && clean[g]; ++g, i += kChains)
        for (int c = 0; c < kChains; ++c) st.D[i + c] = sums[static_cast<std::size_t>(g) * kChains + c];
    if (i <= n) get_norms_from(st, box, i);
}

}  // namespace varnex
