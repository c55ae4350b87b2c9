#pragma once
// Copy and Paste of blocks of grid cells as the text that spreadsheets exchange: one line per grid
// row, the values separated by tabs. Only the cells that hold values take part: a(i,j), b(i) and
// x(i) of the system layout, x(i) of the solution layout; operator texts and the spacer are skipped,
// so a block of equations copies as the bare numbers.

#include <string>
#include <string_view>

#include "commands/app.h"

namespace varnex {

/// The value cells inside grid rows top..bottom and columns left..right, a line per row (joined by
/// LF, no line end after the last) and tabs between the values. Empty when the block holds none.
std::string copy_cells(const App& app, int top, int left, int bottom, int right);

/// What a paste did.
struct PasteReport {
    int written = 0;  ///< cells written
    int clipped = 0;  ///< values that fell outside the system's a(i,j) and b(i) cells
    int skipped = 0;  ///< empty fields, or fields with a blank inside, whose cells stayed as they were
    /// The grid rectangle that holds the written cells (bottom < top when none was written).
    int top = 0, left = 0, bottom = -1, right = -1;
};

/// Writes a block of text into the a(i,j) and b(i) cells of a memory-mode system, from the value cell
/// at grid (row, col) on (an operator cell starts at the value after it): line k goes into equation
/// row + k, its values into consecutive a(i,j) cells and then b(i). Values are separated by tabs
/// when the text holds a tab (each field trimmed of blanks), otherwise by blanks; CR LF and a final
/// line end are accepted. Texts are written as given, unchecked, as an entry stores them. The
/// approximation column takes nothing. The result is noted through app.ui->status, saying so when
/// values were left out; a cell that cannot be written shows MsgNoMemory.
PasteReport paste_cells(App& app, int row, int col, std::string_view text);

}  // namespace varnex
