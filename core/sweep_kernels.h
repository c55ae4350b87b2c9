#pragma once
// Kernels of the column relaxation sweep (do_iteration) and the sweep built on them.

#include <cstddef>

#include "core/grid_model.h"
#include "core/state.h"

namespace varnex {

/// Addresses for a kernel to fetch into the cache while it computes: count of them from p on, stride
/// bytes apart. Only a hint to the processor; it changes no result.
struct FetchStream {
    const unsigned char* p = nullptr;
    std::ptrdiff_t stride = 0;
    int count = 0;
};

struct SweepKernels {
    const char* name;

    /// The column sum of a sweep: s = f(r[j]*a[j] + s) for j = 1..n from s = 0, each term evaluated in
    /// double and rounded to float, exactly. buf holds at least n+1 floats of scratch. A sum that meets
    /// an infinity or a NaN returns a non-finite value (it stays non-finite through the later terms).
    float (*column_sum)(const float* r, const float* a, int n, float* buf);

    /// The residual update: r[j] = f(s*a[j] + r[j]) for j = 1..n and er = max(0, the new r[j]) with
    /// the strictly-greater rule. Stops before a group of elements of which one would not be finite and
    /// returns the first index of that group, with r and er covering the elements before it; returns
    /// n+1 when all are done.
    int (*residual_update)(float* r, const float* a, float s, int n, float* er);

    /// residual_update(r, a, s, n, er) followed by *sum = column_sum(r, next, n, buf), the column sum of
    /// the next unknown over the updated residual. When the update stops at a non-finite value its
    /// return is that of residual_update and *sum is not set.
    int (*update_then_sum)(float* r, const float* a, float s, const float* next, int n, float* buf, float* er,
                           float* sum);

    /// update_then_sum that also fetches the addresses of f into the cache as it goes, a few per group
    /// of equations, so that their misses overlap the arithmetic (the connected sweep reads them next).
    int (*update_then_sum_fetching)(float* r, const float* a, float s, const float* next, int n, float* buf, float* er,
                                    float* sum, FetchStream f);
};

/// Plain C++ kernels that run on every processor.
const SweepKernels& sweep_kernels_scalar();
/// AVX2/FMA kernels, or nullptr when the processor lacks them.
const SweepKernels* sweep_kernels_avx2();
/// The fastest kernels that this processor runs.
const SweepKernels& sweep_kernels_best();

/// do_iteration_plain on the given kernels: the same X, R, Er, grid texts and faults, bit for bit.
void do_iteration_with(SystemState& st, GridModel& grid, const SweepKernels& kern);

}  // namespace varnex
