#pragma once
// A memory budget of the test's choosing, so that tests see what a system too large for memory does
// without taking that memory.

#include <cstdint>
#include <optional>

namespace varnex {

/// Stands in for usable_memory() while set; std::nullopt restores the measured value.
void set_usable_memory_for_tests(std::optional<std::uint64_t> bytes);

}  // namespace varnex
