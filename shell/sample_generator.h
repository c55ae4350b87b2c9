#pragma once
// The four sample systems written into a new data folder.

#include "core/app.h"

namespace varnex {

/// Writes data/sample1.txt .. sample4.txt of the orders 4, 16, 64 and 256 from a generator in a fixed
/// start state; leaves N at 256. Failures reach the caller as RunError(FileError).
void generate_samples(App& app);

}  // namespace varnex
