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

namespace varnex {

namespace {

// After this many corrections in one column the rest of the chain is taken exactly, one term at a time.
constexpr int kMaxCorrections = 8;

inline float exact_term(float r, float a, float s) {
    return static_cast<float>(static_cast<double>(r) * static_cast<double>(a) + static_cast<double>(s));
}

inline bool finite_bits(float v) {
    std::uint32_t u;
    __builtin_memcpy(&u, &v, 4);
    return (u & 0x7f800000u) != 0x7f800000u;
}

// Eight exact steps f(x*y + z) from float vectors: the products are exact in double, so one fused
// multiply-add in double gives the rule's double result.
inline __m256 exact8(__m256 x, __m256 y, __m256 z) {
    const __m128 lo = _mm256_cvtpd_ps(_mm256_fmadd_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(x)),
                                                      _mm256_cvtps_pd(_mm256_castps256_ps128(y)),
                                                      _mm256_cvtps_pd(_mm256_castps256_ps128(z))));
    const __m128 hi = _mm256_cvtpd_ps(_mm256_fmadd_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(x, 1)),
                                                      _mm256_cvtps_pd(_mm256_extractf128_ps(y, 1)),
                                                      _mm256_cvtps_pd(_mm256_extractf128_ps(z, 1))));
    return _mm256_set_m128(hi, lo);
}

// First j in [from, n] whose guessed term buf[j] differs in any bit from the exact step taken from
// buf[j-1]; n+1 when none does.
int first_wrong(const float* r, const float* a, const float* buf, int from, int n) {
    int j = from;
    for (; j + 8 <= n + 1; j += 8) {
        const __m256 e = exact8(_mm256_loadu_ps(r + j), _mm256_loadu_ps(a + j), _mm256_loadu_ps(buf + j - 1));
        const __m256i same = _mm256_cmpeq_epi32(_mm256_castps_si256(e), _mm256_castps_si256(_mm256_loadu_ps(buf + j)));
        const unsigned mask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(same)));
        if (mask != 0xFFu) return j + __builtin_ctz(~mask);
    }
    for (; j <= n; ++j) {
        const float e = exact_term(r[j], a[j], buf[j - 1]);
        if (__builtin_memcmp(&e, &buf[j], 4) != 0) return j;
    }
    return n + 1;
}

float column_sum(const float* r, const float* a, int n, float* buf) {
    buf[0] = 0.0f;
    float g = 0.0f;
    int from = 1;
    for (int corrections = 0;; ++corrections) {
        // The guess: one float FMA per term, buf[j] the sum after term j.
        for (int j = from; j <= n; ++j) {
            g = __builtin_fmaf(r[j], a[j], g);
            buf[j] = g;
        }
        const int m = first_wrong(r, a, buf, from, n);
        if (m > n) return buf[n];
        // Terms before m are exact; term m is taken by the rule and the chain resumes after it.
        g = exact_term(r[m], a[m], buf[m - 1]);
        buf[m] = g;
        if (!finite_bits(g)) return g;
        from = m + 1;
        if (corrections == kMaxCorrections) {
            for (int j = from; j <= n; ++j) g = exact_term(r[j], a[j], g);
            return g;
        }
    }
}

int residual_update(float* r, const float* a, float s, int n, float* er) {
    const __m256 sv = _mm256_set1_ps(s);
    const __m256i expo = _mm256_set1_epi32(0x7f800000);
    __m256 top = _mm256_setzero_ps();
    int j = 1;
    // Eight equations at a time; top keeps, per lane, the largest value seen, strictly greater winning.
    for (; j + 8 <= n + 1; j += 8) {
        const __m256 v = exact8(sv, _mm256_loadu_ps(a + j), _mm256_loadu_ps(r + j));
        const __m256i e = _mm256_and_si256(_mm256_castps_si256(v), expo);
        if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(e, expo))) != 0) break;
        _mm256_storeu_ps(r + j, v);
        top = _mm256_max_ps(v, top);  // v > top ? v : top
    }
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, top);
    float m = *er;
    for (float v : lanes)
        if (v > m) m = v;
    *er = m;
    if (j + 8 <= n + 1) return j;
    for (; j <= n; ++j) {
        const float v = exact_term(s, a[j], r[j]);
        if (!finite_bits(v)) return j;
        r[j] = v;
        if (v > *er) *er = v;
    }
    return n + 1;
}

}  // namespace

}  // namespace varnex

#pragma GCC pop_options

namespace varnex {

const SweepKernels* sweep_kernels_avx2() {
    static const SweepKernels k{"avx2", column_sum, residual_update};
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? &k : nullptr;
}

}  // namespace varnex
