// Provisional: replaced by the plain loops and the fast kernels.
#include "core/numerics.h"

namespace varnex {
void gauss_solution_plain(SystemState&) {}
void get_residual(SystemState&) {}
void get_norms(SystemState&, MessageBoxes&) {}
void do_iteration_plain(SystemState&, GridModel&) {}
}  // namespace varnex
