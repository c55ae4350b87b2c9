#pragma once
// The connected sweep over the row file, built on the kernels of core/connected_kernels.h: on the
// calling thread alone over the mapped file, with a second thread gathering the columns ahead
// (core/column_ring.h), or over a file too large for memory, streamed panel by panel
// (core/panel_stream.h). Each gives the bits, grid texts and faults of do_iteration_file_plain.

#include "core/connected_kernels.h"
#include "core/grid_model.h"
#include "core/state.h"

namespace varnex {

/// do_iteration_file on the given kernels with a column buffer of buffer_rows rows (1 to
/// kColumnBufferRows; tests take small ones to cover columns longer than the buffer). Gives the bits,
/// grid texts and faults of do_iteration_file_plain.
void do_iteration_file_with(SystemState& st, GridModel& grid, const ColumnKernels& kern, int buffer_rows);

/// From this order on, do_iteration_file reads the columns on a second thread (when the process may run
/// on two processors); below it, starting the thread costs more than it saves.
inline constexpr int kGatherThreadMinOrder = 256;

/// Rows that a thread of do_iteration_file_gathered claims at a time: small enough that the two
/// threads share the reading of a column evenly, large enough that a claim costs little beside the
/// reading.
inline constexpr int kGatherChunkRows = 256;

/// do_iteration_file with the walk over the file shared by a second thread: the columns are gathered
/// ahead, from the top down, into a ring of whole-column buffers of buffer_rows rows while the
/// calling thread computes on them. The calling thread reads too: a column that no thread has begun
/// when it is needed (the second thread is behind, or has lost its processor on a busy machine) it
/// walks itself under the residual update, as the sweep on one thread does; otherwise, before each
/// step it claims rows from the bottom of a later column, fetches them into the cache while the step
/// computes and reads them after it, and it reads its next column from the bottom up whenever that
/// column is not complete. Reading threads claim chunk_rows rows at a time. Without second_thread the
/// calling thread reads every column through the ring alone (tests take that for the way a sweep goes
/// while the second thread has no processor). An order above buffer_rows (1 to kColumnBufferRows), or
/// a file that does not hold every record, takes do_iteration_file_with on one thread. Gives the bits,
/// grid texts and faults of do_iteration_file_plain; the second thread is joined before the call
/// returns or throws.
void do_iteration_file_gathered(SystemState& st, GridModel& grid, const ColumnKernels& kern, int buffer_rows,
                                int chunk_rows = kGatherChunkRows, bool second_thread = true);

/// do_iteration_file over a file that is streamed rather than mapped: the columns come from a
/// PanelStream (core/panel_stream.h) of panel_cols columns per panel, read ahead while the kernels
/// compute. A file that does not hold every record takes do_iteration_file_with. Gives the bits,
/// grid texts and faults of do_iteration_file_plain.
void do_iteration_file_streamed(SystemState& st, GridModel& grid, const ColumnKernels& kern, int panel_cols);

}  // namespace varnex
