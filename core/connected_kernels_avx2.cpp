// The connected sweep's kernels on AVX2 with FMA.
//
// The column sum is a chain of roundings, each waiting for the one before, and an exact step (double
// add, then two conversions) takes about three times the latency of one fused multiply-add in float.
// A float FMA rounds the exact r*a + s once, straight to float; the rule rounds it to double first and
// then to float, and the two differ only in the rare case that the double lands on a float tie. So the
// chain is guessed with float FMAs while the column is read, every guessed term is then checked with
// vectors against the exact rule from its guessed predecessor, and the chain is resumed exactly from
// the first term that differs. When every term passes, each guess equals the exact step from an exact
// predecessor, so the whole chain is exact.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "core/connected_kernels.h"
#include "core/exact.h"

#pragma GCC push_options
#pragma GCC target("avx2,fma")
#include "core/exact_avx2.h"

namespace varnex {

namespace {

// After this many corrections in one stretch the rest of the chain is taken exactly, term by term.
constexpr int kMaxCorrections = 8;

// First q in [from, len) whose guessed sum sums[q+1] differs in any bit from the exact step taken from
// sums[q]; len when none does.
int first_wrong(const float* r, const float* a, const float* sums, int from, int len) {
    int q = from;
    for (; q + 8 <= len; q += 8) {
        const __m256 e = exact8(_mm256_loadu_ps(r + q), _mm256_loadu_ps(a + q), _mm256_loadu_ps(sums + q));
        const __m256i same =
            _mm256_cmpeq_epi32(_mm256_castps_si256(e), _mm256_castps_si256(_mm256_loadu_ps(sums + q + 1)));
        const unsigned wrong = ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(same))) & 0xFFu;
        if (wrong) return q + __builtin_ctz(wrong);
    }
    for (; q < len; ++q) {
        const float e = mul_add(r[q], a[q], sums[q]);
        if (std::memcmp(&e, &sums[q + 1], 4) != 0) return q;
    }
    return len;
}

// sums[0..m] are exact and sums[m+1] is not: takes term m by the rule and goes on with guesses and
// checks to the end of the stretch.
float resume_sum(const float* r, const float* a, int len, float* sums, int m) {
    for (int corrections = 0;; ++corrections) {
        float g = mul_add(r[m], a[m], sums[m]);
        sums[m + 1] = g;
        if (!finite_bits(g)) return g;
        if (corrections == kMaxCorrections) {
            for (int q = m + 1; q < len; ++q) g = mul_add(r[q], a[q], g);
            return g;
        }
        for (int q = m + 1; q < len; ++q) {
            g = __builtin_fmaf(r[q], a[q], g);
            sums[q + 1] = g;
        }
        m = first_wrong(r, a, sums, m + 1, len);
        if (m == len) return sums[len];
    }
}

float gather_sum(const unsigned char* p, std::size_t stride, const ColumnFetch& fetch, const float* r, int len,
                 float s0, float* a, float* sums) {
    // q: row of the stretch. The reads are independent of the chain, so they run ahead of it; the
    // fetch keeps further rows (and, near the end, the next column) on their way.
    sums[0] = s0;
    float g = s0;
    for (int q = 0; q < len; ++q, p += stride) {
        const unsigned char* f = p + fetch.ahead;
        __builtin_prefetch(f < fetch.end ? f : f - fetch.wrap, 0, 3);
        float v;
        std::memcpy(&v, p, 4);
        a[q] = v;
        g = __builtin_fmaf(r[q], v, g);
        sums[q + 1] = g;
    }
    const int m = first_wrong(r, a, sums, 0, len);
    return m == len ? sums[len] : resume_sum(r, a, len, sums, m);
}

int update(float* r, const float* a, float s, int len, float* er) {
    const __m256 sv = _mm256_set1_ps(s);
    // Per lane the largest value seen, strictly greater winning (max_ps keeps the second operand on
    // ties); the lanes are folded into *er at the end.
    __m256 top = _mm256_set1_ps(*er);
    int q = 0;
    for (; q + 8 <= len; q += 8) {
        const __m256 v = exact8(sv, _mm256_loadu_ps(a + q), _mm256_loadu_ps(r + q));
        if (any_non_finite(v)) break;
        _mm256_storeu_ps(r + q, v);
        top = _mm256_max_ps(v, top);
    }
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, top);
    float m = *er;
    for (float v : lanes)
        if (v > m) m = v;
    *er = m;
    if (q + 8 <= len) return q;
    for (; q < len; ++q) {
        const float v = mul_add(s, a[q], r[q]);
        if (!finite_bits(v)) return q;
        r[q] = v;
        if (v > *er) *er = v;
    }
    return len;
}

}  // namespace

}  // namespace varnex

#pragma GCC pop_options

namespace varnex {

const ColumnKernels* column_kernels_avx2() {
    static const ColumnKernels k{"avx2", gather_sum, update, sweep_kernels_avx2()};
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? &k : nullptr;
}

}  // namespace varnex
