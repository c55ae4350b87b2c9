#pragma once
// The blocked form of the Gaussian elimination behind gauss_solution.

#include "core/elim_kernels.h"
#include "core/state.h"

namespace varnex {

/// Columns per panel of gauss_solution.
inline constexpr int kPanelWidth = 64;

/// gauss_solution_plain in panels of `panel` columns with delayed updates, on the given kernels, with up
/// to `threads` threads sharing the columns right of each panel. Leaves Aw, Bw and X with the plain
/// loop's bits in every case: on completion, at a zero pivot, and at a fault, where it raises the plain
/// loop's error after leaving the plain loop's values.
void gauss_solution_blocked(SystemState& st, const ElimKernels& kern, int panel, int threads);

}  // namespace varnex
