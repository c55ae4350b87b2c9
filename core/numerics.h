#pragma once
// The numerical procedures: the starting solution by Gaussian elimination and the column
// relaxation (Gauss-Seidel on the normal equations) over a system held in memory or in the row file.
// Every step follows the exact single-precision rule of core/exact.h; a fault raises RunError to the
// calling command with every value stored before it kept.

#include "core/grid_model.h"
#include "core/state.h"
#include "core/ui.h"

namespace varnex {

/// Elimination with row exchanges (pivot = largest signed entry on or below the diagonal) on the
/// working copies Aw, Bw; writes X(1..N) only when it completes, returns quietly at a zero pivot.
/// The fast version gives exactly the bits of the plain one.
void gauss_solution(SystemState& st);
void gauss_solution_plain(SystemState& st);

/// R = A*X - B. DataMode 1: from the arrays; any other mode: from the row file st.solve_row_file.
void get_residual(SystemState& st);

/// D(i) = squared norm of column i; at an exactly zero norm shows "NoSolution" and returns.
void get_norms(SystemState& st, MessageBoxes& box);
void get_norms_plain(SystemState& st, MessageBoxes& box);
/// The plain loop from unknown `first` on, the columns before it taken as done.
void get_norms_from(SystemState& st, MessageBoxes& box, int first);

/// One sweep over the unknowns 1..N: moves X(i), updates R, leaves Er = max(0, R) and writes the
/// text of each new X(i) into the grid at (i, 2N+3). Column index 2N+3 is 16-bit (N >= 16383 overflows).
void do_iteration(SystemState& st, GridModel& grid);
void do_iteration_plain(SystemState& st, GridModel& grid);

/// Connected mode: the same method with every coefficient read from the open row file st.solve_row_file.
void get_residual_file(SystemState& st);
void get_residual_file_plain(SystemState& st);
/// Reads each a(j,i) twice; at a zero norm shows MsgBadFile and returns.
void get_norms_file(SystemState& st, MessageBoxes& box);
void get_norms_file_plain(SystemState& st, MessageBoxes& box);
/// Writes each new X(i) into the grid at (i, 1) before the residual update of unknown i.
void do_iteration_file(SystemState& st, GridModel& grid);
void do_iteration_file_plain(SystemState& st, GridModel& grid);

}  // namespace varnex
