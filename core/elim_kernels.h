#pragma once
// Inner kernels of the blocked elimination (core/gauss_blocked.cpp). Every kernel performs steps of the
// form a = a - l*u with float operands: the product is exact in double, the difference is rounded to
// double and then to float, and the float is what the next step reads. That is the plain loop's step,
// so the kernels give its bits whatever vector width they use. Values are held as doubles between
// steps only when they are exact floats. No kernel throws: each returns false when a value it stored
// is an infinity or a NaN, and the caller then redoes the elimination in the plain loop order.

#include <cstddef>

namespace varnex {

/// Columns handled together by group_update and pivot_rows.
inline constexpr int kGroupCols = 8;

struct ElimKernels {
    const char* name;

    /// One column of the panel: a[i] = f(a[i] - l[i]*u) for i in [lo, hi).
    bool (*column_update)(float* a, const double* l, double u, int lo, int hi);

    /// The pivot rows of one group of kGroupCols columns. t holds nk rows of kGroupCols exact floats
    /// (row r = equation k0 + r of the group's columns, after the exchanges). For r = 0..nk-1 in order:
    /// row r = f(row r / piv[r]) (normalisation), then each later row q > r takes
    /// f(row q - l[r*ldl + q] * row r). l is the multiplier block with its rows counted from k0.
    bool (*pivot_rows)(double* t, const float* piv, const double* l, std::size_t ldl, int nk);

    /// The rows [lo, hi) of the columns cols[0..kGroupCols-1]: for r = 0..nk-1 in order,
    /// a(i) = f(a(i) - l[r*ldl + i] * u[r*kGroupCols + c]) for column c. l is indexed by equation.
    bool (*group_update)(float* const* cols, const double* l, std::size_t ldl, const double* u, int nk, int lo, int hi);
};

/// Plain C++ kernels that run on every processor.
const ElimKernels& elim_kernels_scalar();
/// AVX-512 kernels, or nullptr when the processor lacks AVX-512 F/DQ/VL.
const ElimKernels* elim_kernels_avx512();
/// The fastest kernels that this processor runs.
const ElimKernels& elim_kernels_best();

}  // namespace varnex
