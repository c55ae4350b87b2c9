// The entry points of the elimination, the column norms and the sweep: the fast kernels for this
// processor, which give the plain loops' bits (core/gauss_blocked.cpp, core/sweep.cpp).
#include <algorithm>
#include <cmath>
#include <thread>

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
    int i = 1;
    for (; i + kChains - 1 <= n; i += kChains) {
        const float* a[kChains];
        float d[kChains];
        for (int c = 0; c < kChains; ++c) {
            a[c] = st.A.col(i + c);
            d[c] = 0.0f;
        }
        for (int j = 1; j <= n; ++j)
            for (int c = 0; c < kChains; ++c) d[c] = mul_add(a[c][j], a[c][j], d[c]);
        bool clean = true;
        for (int c = 0; c < kChains; ++c) clean = clean && std::isfinite(d[c]) && d[c] != 0.0f;
        if (!clean) break;
        for (int c = 0; c < kChains; ++c) st.D[i + c] = d[c];
    }
    if (i <= n) get_norms_from(st, box, i);
}

}  // namespace varnex
