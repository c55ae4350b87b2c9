#pragma once
// Switches of the asynchronous file I/O for tests and benchmarks: the reads one at a time, and a read
// call that stands in for pread so that a test can make the disk fail.

#include <sys/types.h>

#include <cstddef>

namespace varnex {

/// Whether AsyncFileIo reads through io_uring where the kernel offers it (the default), or one read
/// at a time as on a kernel without it. Takes effect for the AsyncFileIo made afterwards.
void set_async_reads(bool on);

/// The call that reads one run of a file where no io_uring is used: AsyncFileIo's reads without
/// io_uring and read_at_least go through it. nullptr restores pread.
using PositionalRead = ssize_t (*)(int fd, void* buf, std::size_t len, off_t off);
void set_positional_read(PositionalRead read);

}  // namespace varnex
