#pragma once
// The four sample systems written into a new data folder.

#include "commands/app.h"

namespace varnex {

/// Writes data/sample1.txt .. sample4.txt of the orders 4, 16, 64 and 256 from a generator in a fixed
/// start state; leaves N at 256. Each file is put in place only when written whole. Failures reach
/// the caller as SystemFileError (or std::bad_alloc).
void generate_samples(App& app);
/// Removes the four sample files and then the data folder, when it holds nothing else: after a
/// failed generation, the next start then writes all four again.
void discard_samples(App& app);

}  // namespace varnex
