#pragma once
// Import of Matrix Market and delimited-text systems into the grid.

#include <string>

#include "commands/app.h"
#include "files/imported_system.h"

namespace varnex {

/// The note shown when a Matrix Market matrix comes without its right-hand side file.
inline constexpr const char* kNoteBComputed = "no right-hand side found: b = A·1, so x = 1 solves it";

/// Reads a system file in any import format into a fresh `sys` without touching the application: Matrix
/// Market when the name ends in .mtx or the file begins with %%MatrixMarket (a byte-order mark and
/// blanks before it allowed; its right-hand side from NAME_b.mtx beside it, plain or compressed,
/// otherwise b = A*1 with sys.b_computed set), delimited text otherwise. A compressed file (gzip,
/// bzip2, xz, zstd) is read for what it holds, a tar or zip archive for its NAME.mtx and NAME_b.mtx. Raises
/// ImportRefusal for a file it refuses and RunError for a file that cannot be read.
void read_import(const std::string& path, ImportedSystem& sys);

/// Whether `path` is for Import rather than Open: a name ending in .mtx, .csv or .tsv (also with a
/// compression suffix such as .gz), an archive name (.tar.gz, .tgz, ...), or a file whose first
/// bytes are compressed.
bool is_import_file(const std::string& path);

/// Imports the file at `path` as a new memory-mode system, leaving the state that Open leaves: N,
/// the system layout with the file's texts, "0" approximations, memory mode, the four command
/// buttons enabled, txtN, txtEps = N / 10, the arrays dimensioned, IterCount = 1. Reports through
/// app.box (MsgNoFile; a refusal as one line, MsgBadFile followed by "FILE, line L, column C: reason";
/// MsgBadFile for a file that cannot be read; MsgNoMemory) and notes the result through app.ui->status. On any refusal
/// nothing changes. Returns true when the system landed.
bool import_system(App& app, const std::string& path);

/// File, Import: the open dialog in the data folder, then import_system. A cancelled dialog does
/// nothing. On success the dialog's file name becomes the imported path with the extension .txt (in
/// place of all the suffixes of a compressed file or an archive), so that Save offers a text system
/// file beside it rather than the imported file.
void Import_Click(App& app);
/// Import without the dialog, on `path` (a file dropped on the window): the dialog's file name
/// becomes the path with the extension .txt on success and `previous` otherwise, as after Import_Click.
void import_path(App& app, const std::string& path, const std::string& previous);

}  // namespace varnex
