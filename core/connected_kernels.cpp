// The connected sweep's plain kernels and the choice of kernels for this processor.

#include "core/connected_kernels.h"

#include <cmath>

#include "core/connected_kernels_testing.h"
#include "core/exact.h"

namespace varnex {

namespace {

float gather_sum(const unsigned char* p, std::size_t stride, const ColumnFetch& fetch, const float* r, int len,
                 float s0, float* a, float* /*sums*/) {
    float s = s0;
    for (int q = 0; q < len; ++q, p += stride) {
        __builtin_prefetch(fetch_address(p, fetch), 0, 3);
        a[q] = record_value(p);
        s = mul_add(a[q], r[q], s);
    }
    return s;
}

int update(float* r, const float* a, float s, int len, float* er) {
    for (int q = 0; q < len; ++q) {
        const float v = mul_add(a[q], s, r[q]);
        if (!std::isfinite(v)) return q;
        r[q] = v;
        if (v > *er) *er = v;
    }
    return len;
}

}  // namespace

const ColumnKernels& column_kernels_scalar() {
    static const ColumnKernels k{"scalar", gather_sum, update, &sweep_kernels_scalar()};
    return k;
}

const ColumnKernels& column_kernels_best() {
    static const ColumnKernels* best = [] {
        const ColumnKernels* wide = column_kernels_avx2();
        return wide ? wide : &column_kernels_scalar();
    }();
    return *best;
}

}  // namespace varnex
