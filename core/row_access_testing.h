#pragma once
// Fixes how the row file is read, for tests and benchmarks that take each reading path in turn.

#include <optional>

#include "core/row_access.h"

namespace varnex {

/// The RowAccess of the row files opened from now on; Automatic restores the choice by size.
void set_row_access(RowAccess access);

/// The panel width that panel_columns() gives from now on (never more than the order); std::nullopt
/// restores the width by the memory budget.
void set_panel_columns_for_tests(std::optional<int> columns);

}  // namespace varnex
