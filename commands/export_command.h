#pragma once
// File, Export solution (x as the grid shows it) and File, Export accurate solution (the accuracy
// report's reference with 17 significant digits): one value a line, or a Matrix Market column.

#include <functional>
#include <string>
#include <vector>

#include "commands/app.h"
#include "core/accuracy.h"

namespace varnex {

/// The file name that an export proposes for the system file `system_file` (a path or a name):
/// NAME_x.csv, or NAME_x_accurate.csv for the accurate solution; x.csv / x_accurate.csv without a
/// system file. Never the system file's own name.
std::string export_proposal(const std::string& system_file, bool accurate);

/// The save dialog of an export in the data folder, proposing export_proposal() of the current file
/// name; the dialog's folder and file name are restored afterwards, so that Open, Save and Connect go
/// on with the file they last used. Returns the chosen path, or "" when cancelled.
std::string ask_export_path(App& app, bool accurate);

/// Writes x(1..n) to `path` as both exports do, one value a line with CR LF ends, under a Matrix
/// Market "array real general" n x 1 header when the name ends in .mtx (any case);
/// append_value(i, matrix_market, out) appends x(i)'s text. Asks MsgReplaceFile before replacing a
/// file and returns false when the user keeps it. Raises RunError(FileError) when it cannot be written.
bool write_solution_column(App& app, const std::string& path, int n,
                           const std::function<void(int, bool, std::string&)>& append_value);

/// Writes the reference x^ to `path` with 17 significant digits (enough to read back the same
/// double), asking MsgReplaceFile before replacing a file. Returns false
/// when the user keeps the file. Raises RunError(FileError) when it cannot be written.
bool write_accurate_solution(App& app, const ReferenceSolution& ref, const std::string& path);

/// File, Export accurate solution: with no reference in `report` (none yet, or none claimed) a box
/// says why; otherwise the save dialog in the data folder proposes NAME_x_accurate.csv, and the
/// dialog's file name is restored afterwards.
void ExportAccurate_Click(App& app, const AccuracyReport* report);

/// Writes x(1..N) from the grid's approximation column (memory mode) or solution column (connected
/// mode): as a Matrix Market "array real general" N x 1 file when the name ends in .mtx (decimal
/// point always '.'), otherwise one value per line. Asks MsgReplaceFile before replacing a file.
/// Raises RunError(FileError) when the file cannot be written.
void export_solution(App& app, const std::string& path);

/// File, Export solution: the save dialog in the data folder, then export_solution. The dialog's
/// file name is restored afterwards, so Open, Save and Connect go on with the file they last used.
void ExportSolution_Click(App& app);

}  // namespace varnex
