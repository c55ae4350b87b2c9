#pragma once
// The memory this process may still take: the machine's available memory, capped by what the memory
// cgroups it runs in still allow. Commands compare a large allocation with it before they make it, so
// that a system too large for memory gets the out-of-memory message instead of the kernel's OOM
// killer, and the row-file readers choose between mapping and streaming by it.

#include <cstdint>

namespace varnex {

/// Bytes this process may still allocate: MemAvailable, and for every memory cgroup it runs in (and
/// their ancestors, cgroup v1 or v2) the limit minus what the cgroup uses apart from its page cache.
std::uint64_t usable_memory();

/// True when `bytes` more fit in usable_memory() with a small reserve for everything else a command
/// allocates on the way. Requests below a megabyte always fit (they are not worth a look).
bool fits_in_memory(std::uint64_t bytes);

}  // namespace varnex
