#pragma once
// Exact steps on eight floats at once, for the AVX2 kernels. Include only after
// `#pragma GCC target("avx2,fma")`: the functions compile for that target and are chosen at run time.

#include <immintrin.h>

#include <cstdint>
#include <cstring>

namespace varnex {

/// True unless v is an infinity or a NaN, from its exponent bits.
inline bool finite_bits(float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    return (u & 0x7f800000u) != 0x7f800000u;
}

/// True when one of the eight values is an infinity or a NaN, from their exponent bits.
inline bool any_non_finite(__m256 v) {
    const __m256i expo = _mm256_set1_epi32(0x7f800000);
    const __m256i e = _mm256_and_si256(_mm256_castps_si256(v), expo);
    return _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(e, expo))) != 0;
}

/// Eight exact steps f(x*y + z) from float vectors: the products of floats are exact in double, so one
/// fused multiply-add in double gives the rule's double result, then one rounding to float.
inline __m256 exact8(__m256 x, __m256 y, __m256 z) {
    const __m128 lo = _mm256_cvtpd_ps(_mm256_fmadd_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(x)),
                                                      _mm256_cvtps_pd(_mm256_castps256_ps128(y)),
                                                      _mm256_cvtps_pd(_mm256_castps256_ps128(z))));
    const __m128 hi = _mm256_cvtpd_ps(_mm256_fmadd_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(x, 1)),
                                                      _mm256_cvtps_pd(_mm256_extractf128_ps(y, 1)),
                                                      _mm256_cvtps_pd(_mm256_extractf128_ps(z, 1))));
    return _mm256_set_m128(hi, lo);
}

}  // namespace varnex
