#pragma once
// The connected sweep's plain kernels by name, for the tests that compare the fast kernels and the
// sweeps on them with the plain ones bit for bit.

#include "core/connected_kernels.h"

namespace varnex {

/// Plain C++ kernels that run on every processor.
const ColumnKernels& column_kernels_scalar();

}  // namespace varnex
