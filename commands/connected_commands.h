#pragma once
// The connected branches of the two solve commands (DataMode 2): they open the row file as file
// number 3 around the readers, and end silently, closing the file, when anything fails.

#include "commands/app.h"

namespace varnex {

/// "Find  solution", connected run: dimension R, D (X kept), open the row file, set up, sweep until
/// Er <= Eps or Er repeats (writing txtEr and raising IterCount per sweep), close the file.
void connected_find_solution(App& app);
/// "Next Iteration", connected click: set-up while IterCount is 1, then one sweep and txtEr.
/// IterCount is raised with the sweep (commands/run_outcome.h).
void connected_next_iteration(App& app);

}  // namespace varnex
