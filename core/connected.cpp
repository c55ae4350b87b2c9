// Provisional: replaced by the connected-mode readers.
#include "core/numerics.h"
#include "core/row_file.h"

namespace varnex {
RowFile::~RowFile() {}
void RowFile::open(const std::string&) {}
void RowFile::close() {}
float RowFile::record(std::int64_t) const { return 0.0f; }
void get_residual_file(SystemState&) {}
void get_residual_file_plain(SystemState&) {}
void get_norms_file(SystemState&, MessageBoxes&) {}
void get_norms_file_plain(SystemState&, MessageBoxes&) {}
void do_iteration_file(SystemState&, GridModel&) {}
void do_iteration_file_plain(SystemState&, GridModel&) {}
}  // namespace varnex
