#include "commands/cell_entry.h"

#include <exception>

#include "commands/commands.h"
#include "core/grid_layout.h"

namespace varnex {

CellEntry cell_entry(const App& app, int row, int col) {
    const int n = app.st.N;
    const GridModel& grid = app.grid;
    // Only the system layout of the order in force has entry cells: after a refused "Accept N" the
    // mode is memory again while the grid may still hold a connected system's solution layout.
    if (app.st.DataMode != kModeMemory || n < 1 || !grid.has_system_shape(n)) return {};
    try {
        if (grid.text(0, 0) != "System") return {};
    } catch (const std::exception&) {
        return {};
    }
    if (row < 1 || row > n || col < 1 || col % 2 == 0) return {};
    // The approximation column, which the solve commands own, takes no entry.
    if (col <= a_column(n)) return {CellEntry::Kind::A, row, value_number(col)};
    if (col == b_column(n)) return {CellEntry::Kind::B, row, 0};
    return {};
}

bool enter_cell(App& app, int row, int col, const std::string& text) {
    const CellEntry e = cell_entry(app, row, col);
    switch (e.kind) {
        case CellEntry::Kind::A:
            return accept_a(app, e.i, e.j, text);
        case CellEntry::Kind::B:
            return accept_b(app, e.i, text);
        case CellEntry::Kind::None:
            break;
    }
    return false;
}

}  // namespace varnex
