// The entry points of the elimination, the column norms and the sweep: the fast kernels for this
// processor, which give the plain loops' bits (core/gauss_blocked.cpp, core/sweep.cpp).
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "core/exact.h"
#include "core/gauss_blocked.h"
#include "core/numerics.h"
#include "core/split_in_two.h"
#include "core/sweep_kernels.h"

namespace varnex {

namespace {

int elimination_threads() { return two_processors() ? 2 : 1; }

// From this order on the column norms' groups are shared out between two threads.
constexpr int kNormsThreadOrder = 512;

// Columns whose norms are summed side by side.
constexpr int kChains = 8;

// The squared norms of the kChains columns of group g (columns 1 + g*kChains on) into out[0..kChains-1].
// Each D(i) is a chain of N dependent roundings; the chains of the group run side by side, each in its
// own order, so the processor overlaps them. A square is never negative, so an infinity or NaN met in
// a chain is still there at its end, and a chain ending in 0 had only zero terms: false when a chain
// ends in either, and the plain loop then takes the group from its first column, which stops or
// reports exactly where the plain loop over all columns does.
bool group_norms(const SystemState& st, int g, float* out) {
    const int n = st.N;
    const int i = 1 + g * kChains;
    const float* a[kChains];
    float d[kChains];  // apart from out, so that the chains stay in registers
    for (int c = 0; c < kChains; ++c) {
        a[c] = st.A.col(i + c);
        d[c] = 0.0f;
    }
    for (int j = 1; j <= n; ++j)
        for (int c = 0; c < kChains; ++c) d[c] = mul_add(a[c][j], a[c][j], d[c]);
    bool clean = true;
    for (int c = 0; c < kChains; ++c) {
        clean = clean && std::isfinite(d[c]) && d[c] != 0.0f;
        out[c] = d[c];
    }
    return clean;
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
    // The groups' sums go to a scratch first, on two threads at larger orders (each group is its own
    // work); then the clean groups are stored in order up to the first that is not, and the plain loop
    // takes over from there.
    const int groups = n / kChains;
    std::vector<float> sums;
    std::vector<char> clean;
    try {
        sums.resize(static_cast<std::size_t>(groups) * kChains);
        clean.resize(static_cast<std::size_t>(groups));
    } catch (const std::bad_alloc&) {
        get_norms_plain(st, box);  // the plain loop needs no scratch
        return;
    }
    split_in_two(0, groups, n >= kNormsThreadOrder, [&](int g0, int g1) {
        for (int g = g0; g < g1; ++g)
            clean[g] = group_norms(st, g, sums.data() + static_cast<std::size_t>(g) * kChains);
    });
    int i = 1;
    for (int g = 0; g < groups && clean[g]; ++g, i += kChains)
        for (int c = 0; c < kChains; ++c) st.D[i + c] = sums[static_cast<std::size_t>(g) * kChains + c];
    if (i <= n) get_norms_from(st, box, i);
}

}  // namespace varnex
