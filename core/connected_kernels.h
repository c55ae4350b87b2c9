#pragma once
// Kernels of the connected sweep (the sweeps built on them are in core/connected_sweeps.h). One column
// step reads a stretch of a column of the row file into a small buffer while it forms the column sum,
// and the residual update then takes the values from that buffer instead of reading the file a second
// time: the file does not change during a sweep, so both loops see the same bits, and the file traffic
// halves. The buffer has a fixed size, so the memory of a sweep does not grow with the order.

#include <cstddef>

#include "core/row_file.h"
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

/// AVX2/FMA kernels, or nullptr when the processor lacks them.
const ColumnKernels* column_kernels_avx2();
/// The fastest kernels that this processor runs (plain C++ ones where it has no AVX2/FMA).
const ColumnKernels& column_kernels_best();

/// The address that a column walk fetches while it reads the value at p.
inline const unsigned char* fetch_address(const unsigned char* p, const ColumnFetch& fetch) {
    const unsigned char* f = p + fetch.ahead;
    return f < fetch.end ? f : f - fetch.wrap;
}

/// Reads the len values at p + q*stride (q = 0..len-1) of a column stretch into a, fetching ahead as
/// the kernels do.
inline void gather_column(const unsigned char* p, std::size_t stride, const ColumnFetch& fetch, int len, float* a) {
    for (int q = 0; q < len; ++q, p += stride) {
        __builtin_prefetch(fetch_address(p, fetch), 0, 3);
        a[q] = record_value(p);
    }
}

}  // namespace varnex
