#pragma once
// How the solve commands read the row file, by the memory this process may use: a file that fits is
// mapped and walked in memory; a larger one is streamed (core/row_stream.h, core/panel_stream.h), and
// the width of the streamed sweep's panels is fitted to that memory too.

#include <cstdint>

namespace varnex {

/// How the sweep and the set-up read the row file: chosen when the file is opened, from its size
/// against the memory that this process may use (Automatic), or fixed by tests and benchmarks
/// (core/row_access_testing.h). Streamed reads the file directly where the file system allows it;
/// StreamedCached always reads through the page cache and drops what it has read.
enum class RowAccess { Automatic, Mapped, Streamed, StreamedCached };
RowAccess row_access();

/// Under Automatic: whether a file of this many bytes is streamed, i.e. whether it exceeds half of the
/// memory this process may use (the available memory of the machine, capped by the limits of the
/// memory cgroups it runs in).
bool streams_file(std::uint64_t bytes);

/// Columns per panel of a PanelStream for the order n: a multiple of 32 (one 4 KB block of records)
/// from 32 to 1024, so that the three panels in memory take at most a fifth of the memory this
/// process may use, between 8 and 48 MB; never more than n. Wide panels make long reads: each read
/// takes the run of one equation's records in a panel, 128 KB for 1024 columns.
int panel_columns(int n);

/// True when a second thread of the mapped sweep, reading the file ahead, would have a processor of
/// its own: this process may run on two, and the machine's runnable threads at this moment (this one
/// included, as the kernel counts them in /proc/loadavg) leave one idle.
bool idle_second_processor();

}  // namespace varnex
