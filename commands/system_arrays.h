#pragma once
// The arrays of memory mode, as the solve commands make them: dimensioned for the order N, then
// loaded from the grid.

#include "commands/app.h"

namespace varnex {

/// Dimensioning for memory mode: R, D, A, B new and zero-filled, in this order, then X resized
/// keeping its values. RunError(OutOfMemory) before anything changes when A and the elimination's
/// working copy would not fit in memory together.
void dim_memory(SystemState& st);

/// Loads the grid into the arrays that dim_memory has just made: row by row, a(i,1..N), then b(i),
/// then x(i), each converted as it is read. A failure (RunError) leaves everything read before it in
/// the arrays, as a loading in order would.
void load_grid(App& app);

}  // namespace varnex
