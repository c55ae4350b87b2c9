// Provisional: the fast kernels forward to the plain loops until they are written.
#include "core/numerics.h"

namespace varnex {
void gauss_solution(SystemState& st) { gauss_solution_plain(st); }
void do_iteration(SystemState& st, GridModel& grid) { do_iteration_plain(st, grid); }
}  // namespace varnex
