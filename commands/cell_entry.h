#pragma once
// Typing into the data grid: which cells take a value, and the entry of a typed value through the
// same steps as "Accept A(i,j)" and "Accept B(i)".

#include <string>

#include "commands/app.h"

namespace varnex {

/// What a grid cell holds for entry: a coefficient a(i,j), a right-hand side b(i), or nothing that
/// can be typed (the header cells, the operator texts, the approximation x(i), and every cell while
/// the system lives in the row file of connected mode).
struct CellEntry {
    enum class Kind { None, A, B };
    Kind kind = Kind::None;
    int i = 0;
    int j = 0;
};

/// The entry behind grid cell (row, col) of the system layout of the current order in memory mode.
CellEntry cell_entry(const App& app, int row, int col);

/// Enters `text` into grid cell (row, col) as the Accept command of its kind does: MsgBadNumber and
/// the cell unchanged when the text is no single-precision number. Nothing happens for a cell that
/// takes no entry. True when the cell was written.
bool enter_cell(App& app, int row, int col, const std::string& text);

}  // namespace varnex
