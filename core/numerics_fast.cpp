// The entry points of the elimination and the sweep: the fast kernels for this processor, which give
// the plain loops' bits (core/gauss_blocked.cpp, core/sweep.cpp).
#include <algorithm>
#include <thread>

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

}  // namespace varnex
