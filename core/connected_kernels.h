#pragma once
// Kernels of the connected sweep. One column step reads a stretch of a column of the row file into a
// small buffer while it forms the column sum, and the residual update then takes the values from
// that buffer instead of reading the file a second time: the file does not change during a sweep, so
// both loops see the same bits, and the file traffic halves. The buffer has a fixed size, so the
// memory of a sweep does not grow with the order.

#include <cstddef>

#include "core/grid_model.h"
#include "core/state.h"
#include "core/sweep_kernels.h"

namespace varnex {

/// Rows of a column held in the buffer of a sweep (16 KB of floats). Up to this order a whole column
/// is read once per sweep; beyond it the rows past the buffer are read again for the update.
inline constexpr int kColumnBufferRows = 4096;

/// Where the column walks fetch ahead: `ahead` bytes beyond the value read, and a fetch at or past
/// `end` (the end of the system's records) moves back by `wrap` bytes, into the next column.
struct ColumnFetch {
    std::ptrdiff_t ahead;
    const unsigned char* end;
    std::ptrdiff_t wrap;
};

struct ColumnKernels {
    const char* name;

    /// Reads the len values a[q] at p + q*stride (q = 0..len-1; 4 value bytes, little-endian) and
    /// returns the column sum s = f(r[q]*a[q] + s) taken in q order from s0, each step evaluated in
    /// double and rounded to float, exactly. sums holds len+1 floats of scratch. A sum that meets an
    /// infinity or a NaN returns a non-finite value (it stays non-finite through the later terms).
    float (*gather_sum)(const unsigned char* p, std::size_t stride, const ColumnFetch& fetch, const float* r, int len,
                        float s0, float* a, float* sums);

    /// The residual update r[q] = f(s*a[q] + r[q]) for q = 0..len-1 with *er = max(*er, new r[q]) by
    /// the strictly-greater rule. Stops before a group of elements of which one would not be finite
    /// and returns the first index of that group, with r and er covering the elements before it;
    /// returns len when all are done.
    int (*update)(float* r, const float* a, float s, int len, float* er);

    /// The in-memory sweep kernels of the same instruction set, for a sweep whose columns are already
    /// gathered into whole-column buffers.
    const SweepKernels* whole;
};

/// Plain C++ kernels that run on every processor.
const ColumnKernels& column_kernels_scalar();
/// AVX2/FMA kernels, or nullptr when the processor lacks them.
const ColumnKernels* column_kernels_avx2();
/// The fastest kernels that this processor runs.
const ColumnKernels& column_kernels_best();

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
/// calling thread computes on them. The calling thread reads too: before each step it claims rows
/// from the bottom of a later column, fetches them into the cache while the step computes and reads
/// them after it, and it reads its next column from the bottom up whenever that column is not
/// complete. Reading threads claim chunk_rows rows at a time. An order above buffer_rows (1 to
/// kColumnBufferRows), or a file that does not hold every record, takes do_iteration_file_with on one
/// thread. Gives the bits, grid texts and
/// faults of do_iteration_file_plain; the second thread is joined before the call returns or throws.
void do_iteration_file_gathered(SystemState& st, GridModel& grid, const ColumnKernels& kern, int buffer_rows,
                                int chunk_rows = kGatherChunkRows);

/// do_iteration_file over a file that is streamed rather than mapped: the columns come from a
/// PanelStream (core/row_stream.h) of panel_cols columns per panel, read ahead while the kernels
/// compute. A file that does not hold every record takes do_iteration_file_with. Gives the bits,
/// grid texts and faults of do_iteration_file_plain.
void do_iteration_file_streamed(SystemState& st, GridModel& grid, const ColumnKernels& kern, int panel_cols);

}  // namespace varnex
