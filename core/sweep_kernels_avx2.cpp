// The sweep kernels on AVX2 with FMA.
//
// The column sum is a chain of N roundings, each waiting for the one before, and an exact step (double
// add, then two conversions) takes about three times the latency of one fused multiply-add in float.
// A float FMA rounds the exact r*a + s once, straight to float; the rule rounds it to double first and
// then to float, and the two differ only in the rare case that the double lands on a float tie. So the
// chain is guessed with float FMAs, every guessed term is then checked with vectors against the exact
// rule from its guessed predecessor, and the chain is resumed exactly from the first term that
// differs. The residual update is independent across equations and simply vectorises.
#include <immintrin.h>

#include <cstdint>

#include "core/exact.h"
#include "core/sweep_kernels.h"

#pragma GCC push_options
#pragma GCC target("avx2,fma")
#include "core/exact_avx2.h"

namespace varnex {

namespace {

// After this many corrections in one column the rest of the chain is taken exactly, one term at a time.
constexpr int kMaxCorrections = 8;

// Mask of the eight guessed terms buf[j..j+7] that differ in any bit from the exact step taken from
// the guess before each.
__attribute__((always_inline)) inline unsigned wrong8(const float* r, const float* a, const float* buf, int j) {
    const __m256 e = exact8(_mm256_loadu_ps(r + j), _mm256_loadu_ps(a + j), _mm256_loadu_ps(buf + j - 1));
    const __m256i same = _mm256_cmpeq_epi32(_mm256_castps_si256(e), _mm256_castps_si256(_mm256_loadu_ps(buf + j)));
    return ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(same))) & 0xFFu;
}

// First j in [from, n] whose guessed term buf[j] differs in any bit from the exact step taken from
// buf[j-1]; n+1 when none does.
int first_wrong(const float* r, const float* a, const float* buf, int from, int n) {
    int j = from;
    for (; j + 8 <= n + 1; j += 8) {
        const unsigned mask = wrong8(r, a, buf, j);
        if (mask) return j + __builtin_ctz(mask);
    }
    for (; j <= n; ++j) {
        const float e = mul_add(r[j], a[j], buf[j - 1]);
        if (__builtin_memcmp(&e, &buf[j], 4) != 0) return j;
    }
    return n + 1;
}

// The guessed terms buf[1..m-1] are exact, buf[m] is not: takes term m by the rule and goes on with
// guesses and checks to the end of the column.
float resume_sum(const float* r, const float* a, int n, float* buf, int m) {
    for (int corrections = 0;; ++corrections) {
        float g = mul_add(r[m], a[m], buf[m - 1]);
        buf[m] = g;
        if (!finite_bits(g)) return g;
        if (corrections == kMaxCorrections) {
            for (int j = m + 1; j <= n; ++j) g = mul_add(r[j], a[j], g);
            return g;
        }
        // The guess: one float FMA per term, buf[j] the sum after term j.
        for (int j = m + 1; j <= n; ++j) {
            g = __builtin_fmaf(r[j], a[j], g);
            buf[j] = g;
        }
        m = first_wrong(r, a, buf, m + 1, n);
        if (m > n) return buf[n];
    }
}

float column_sum(const float* r, const float* a, int n, float* buf) {
    buf[0] = 0.0f;
    float g = 0.0f;
    for (int j = 1; j <= n; ++j) {
        g = __builtin_fmaf(r[j], a[j], g);
        buf[j] = g;
    }
    const int m = first_wrong(r, a, buf, 1, n);
    return m > n ? buf[n] : resume_sum(r, a, n, buf, m);
}

// Per lane the largest value seen, strictly greater winning, folded into *er.
inline void fold_max(__m256 top, float* er) {
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, top);
    float m = *er;
    for (float v : lanes)
        if (v > m) m = v;
    *er = m;
}

int residual_update(float* r, const float* a, float s, int n, float* er) {
    const __m256 sv = _mm256_set1_ps(s);
    __m256 top = _mm256_setzero_ps();
    int j = 1;
    // Eight equations at a time.
    for (; j + 8 <= n + 1; j += 8) {
        const __m256 v = exact8(sv, _mm256_loadu_ps(a + j), _mm256_loadu_ps(r + j));
        if (any_non_finite(v)) break;
        _mm256_storeu_ps(r + j, v);
        top = _mm256_max_ps(v, top);  // v > top ? v : top
    }
    fold_max(top, er);
    if (j + 8 <= n + 1) return j;
    for (; j <= n; ++j) {
        const float v = mul_add(s, a[j], r[j]);
        if (!finite_bits(v)) return j;
        r[j] = v;
        if (v > *er) *er = v;
    }
    return n + 1;
}

// Issues the next fetch of f, if any.
__attribute__((always_inline)) inline void fetch_one(FetchStream& f) {
    if (f.count > 0) {
        __builtin_prefetch(f.p, 0, 3);
        f.p += f.stride;
        --f.count;
    }
}

// The residual update of one unknown and the guessed column sum of the next, in one pass: the sum's
// chain of FMAs is the critical path, and the update of the next eight residuals and the check of the
// eight guesses before them run in its shadow, and so do four fetches of f per eight equations when
// kFetch is set.
template <bool kFetch>
int update_then_sum_t(float* r, const float* a, float s, const float* next, int n, float* buf, float* er, float* sum,
                      FetchStream f) {
    const __m256 sv = _mm256_set1_ps(s);
    __m256 top = _mm256_setzero_ps();
    buf[0] = 0.0f;
    float g = 0.0f;
    int wrong = 0;  // first guessed term found wrong; 0 while none is
    int j = 1;
    for (; j + 8 <= n + 1; j += 8) {
        const __m256 v = exact8(sv, _mm256_loadu_ps(a + j), _mm256_loadu_ps(r + j));
        if (any_non_finite(v)) {
            fold_max(top, er);
            return j;
        }
        _mm256_storeu_ps(r + j, v);
        top = _mm256_max_ps(v, top);
        if constexpr (kFetch) {
            fetch_one(f);
            fetch_one(f);
            fetch_one(f);
            fetch_one(f);
        }
        if (wrong) continue;
        for (int q = j; q < j + 8; ++q) {
            g = __builtin_fmaf(r[q], next[q], g);
            buf[q] = g;
        }
        if (j > 1) {
            const unsigned mask = wrong8(r, next, buf, j - 8);
            if (mask) wrong = j - 8 + __builtin_ctz(mask);
        }
    }
    fold_max(top, er);
    if constexpr (kFetch)
        while (f.count > 0) fetch_one(f);
    const int tail = j;
    for (; j <= n; ++j) {
        const float v = mul_add(s, a[j], r[j]);
        if (!finite_bits(v)) return j;
        r[j] = v;
        if (v > *er) *er = v;
    }
    if (!wrong) {
        for (int q = tail; q <= n; ++q) {
            g = __builtin_fmaf(r[q], next[q], g);
            buf[q] = g;
        }
        const int m = first_wrong(r, next, buf, tail > 8 ? tail - 8 : 1, n);
        if (m <= n) wrong = m;
    }
    *sum = wrong ? resume_sum(r, next, n, buf, wrong) : buf[n];
    return n + 1;
}

int update_then_sum(float* r, const float* a, float s, const float* next, int n, float* buf, float* er, float* sum) {
    return update_then_sum_t<false>(r, a, s, next, n, buf, er, sum, FetchStream{});
}

int update_then_sum_fetching(float* r, const float* a, float s, const float* next, int n, float* buf, float* er,
                             float* sum, FetchStream f) {
    return update_then_sum_t<true>(r, a, s, next, n, buf, er, sum, f);
}

}  // namespace

}  // namespace varnex

#pragma GCC pop_options

namespace varnex {

const SweepKernels* sweep_kernels_avx2() {
    static const SweepKernels k{"avx2", column_sum, residual_update, update_then_sum, update_then_sum_fetching};
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? &k : nullptr;
}

}  // namespace varnex
