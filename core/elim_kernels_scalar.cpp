// The elimination kernels in plain C++, and the choice of the fastest set for this processor.
#include <cmath>

#include "core/elim_kernels.h"

namespace varnex {

namespace {

// a - l*u rounded to double (l*u is exact in double for float operands), then to float.
inline double step(double a, double l, double u) { return static_cast<float>(a - l * u); }

bool column_update(float* a, const double* l, double u, int lo, int hi) {
    bool finite = true;
    // i is the equation.
    for (int i = lo; i < hi; ++i) {
        a[i] = static_cast<float>(step(a[i], l[i], u));
        finite &= std::isfinite(a[i]);
    }
    return finite;
}

bool pivot_rows(double* t, const float* piv, const double* l, std::size_t ldl, int nk) {
    bool finite = true;
    // r is the pivot row being normalised, q a later row of the block, c the column in the group.
    for (int r = 0; r < nk; ++r) {
        double* ur = t + r * kGroupCols;
        for (int c = 0; c < kGroupCols; ++c) ur[c] = static_cast<float>(ur[c] / piv[r]);
        const double* lr = l + r * ldl;
        for (int q = r + 1; q < nk; ++q) {
            double* tq = t + q * kGroupCols;
            for (int c = 0; c < kGroupCols; ++c) tq[c] = step(tq[c], lr[q], ur[c]);
        }
        for (int c = 0; c < kGroupCols; ++c) finite &= std::isfinite(ur[c]);
    }
    return finite;
}

bool group_update(float* const* cols, const double* l, std::size_t ldl, const double* u, int nk, int lo, int hi) {
    bool finite = true;
    // c is the column in the group, i the equation, r the elimination step within the panel.
    for (int c = 0; c < kGroupCols; ++c) {
        float* a = cols[c];
        for (int i = lo; i < hi; ++i) {
            double v = a[i];
            for (int r = 0; r < nk; ++r) v = step(v, l[r * ldl + i], u[r * kGroupCols + c]);
            a[i] = static_cast<float>(v);
            finite &= std::isfinite(a[i]);
        }
    }
    return finite;
}

}  // namespace

const ElimKernels& elim_kernels_scalar() {
    static const ElimKernels k{"scalar", column_update, pivot_rows, group_update};
    return k;
}

const ElimKernels& elim_kernels_best() {
    static const ElimKernels* best = [] {
        const ElimKernels* wide = elim_kernels_avx512();
        return wide ? wide : &elim_kernels_scalar();
    }();
    return *best;
}

}  // namespace varnex
