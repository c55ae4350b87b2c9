#pragma once
// Fixes how the row file is read, for tests and benchmarks that take each reading path in turn.

#include "core/row_access.h"

namespace varnex {

/// The RowAccess of the row files opened from now on; Automatic restores the choice by size.
void set_row_access(RowAccess access);

}  // namespace varnex
