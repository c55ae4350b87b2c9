// The elimination kernels on AVX-512: eight doubles per register, each holding an exact float between
// steps. A step is one fused multiply-subtract in double (the product of two floats is exact in
// double, so the fused result is the plain loop's rounded difference) followed by a round trip through
// float. Compiled for AVX-512 here only and chosen at run time, so the program still runs elsewhere.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "core/elim_kernels.h"

#pragma GCC push_options
// GCC 12 warns inside its own conversion intrinsics (an undefined source register they use on purpose).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC target("avx512f,avx512dq,avx512vl,fma")

namespace varnex {

namespace {

// Lanes of eight that lie below `left` remaining rows.
inline __mmask8 lanes(int left) {
    return left >= 8 ? __mmask8(0xFF) : left <= 0 ? __mmask8(0) : __mmask8((1u << left) - 1);
}

// Rounds exact-in-double results to float and back.
inline __m512d to_float(__m512d x) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(x)); }

// a - l*u for float operands held as doubles, rounded as the plain loop rounds it.
inline __m512d step(__m512d a, __m512d l, __m512d u) { return to_float(_mm512_fnmadd_pd(l, u, a)); }

// Infinities and NaNs (quiet and signalling).
constexpr int kNonFinite = 0x01 | 0x08 | 0x10 | 0x80;

bool column_update(float* a, const double* l, double u, int lo, int hi) {
    const __m512d uv = _mm512_set1_pd(u);
    __mmask8 bad = 0;
    // i is the equation, eight at a time; the last group is masked.
    for (int i = lo; i < hi; i += 8) {
        const __mmask8 m = lanes(hi - i);
        const __m512d v = _mm512_cvtps_pd(_mm256_maskz_loadu_ps(m, a + i));
        const __m256 f = _mm512_cvtpd_ps(_mm512_fnmadd_pd(_mm512_maskz_loadu_pd(m, l + i), uv, v));
        _mm256_mask_storeu_ps(a + i, m, f);
        bad |= _mm256_mask_fpclass_ps_mask(m, f, kNonFinite);
    }
    return bad == 0;
}

bool pivot_rows(double* t, const float* piv, const double* l, std::size_t ldl, int nk) {
    __mmask8 bad = 0;
    // r is the pivot row (one register across the group's eight columns), q a later row.
    for (int r = 0; r < nk; ++r) {
        const __m512d ur = to_float(_mm512_div_pd(_mm512_loadu_pd(t + r * kGroupCols), _mm512_set1_pd(piv[r])));
        _mm512_storeu_pd(t + r * kGroupCols, ur);
        bad |= _mm512_fpclass_pd_mask(ur, kNonFinite);
        const double* lr = l + r * ldl;
        for (int q = r + 1; q < nk; ++q) {
            double* tq = t + q * kGroupCols;
            _mm512_storeu_pd(tq, step(_mm512_loadu_pd(tq), _mm512_set1_pd(lr[q]), ur));
        }
    }
    return bad == 0;
}

// A tile of 24 equations x 8 columns stays in 24 registers through all nk steps of the panel.
bool group_update(float* const* cols, const double* l, std::size_t ldl, const double* u, int nk, int lo, int hi) {
    constexpr int C = kGroupCols;
    __mmask8 bad = 0;
    for (int i = lo; i < hi; i += 24) {
        const __mmask8 m0 = lanes(hi - i), m1 = lanes(hi - i - 8), m2 = lanes(hi - i - 16);
        __m512d a0[C], a1[C], a2[C];
#pragma GCC unroll 8
        for (int c = 0; c < C; ++c) {
            a0[c] = _mm512_cvtps_pd(_mm256_maskz_loadu_ps(m0, cols[c] + i));
            a1[c] = _mm512_cvtps_pd(_mm256_maskz_loadu_ps(m1, cols[c] + i + 8));
            a2[c] = _mm512_cvtps_pd(_mm256_maskz_loadu_ps(m2, cols[c] + i + 16));
        }
        // r is the elimination step within the panel: multipliers of equations i..i+23, row r of U.
        for (int r = 0; r < nk; ++r) {
            const double* lr = l + r * ldl + i;
            const __m512d l0 = _mm512_maskz_loadu_pd(m0, lr);
            const __m512d l1 = _mm512_maskz_loadu_pd(m1, lr + 8);
            const __m512d l2 = _mm512_maskz_loadu_pd(m2, lr + 16);
            const double* ur = u + r * C;
#pragma GCC unroll 8
            for (int c = 0; c < C; ++c) {
                const __m512d uc = _mm512_set1_pd(ur[c]);
                a0[c] = step(a0[c], l0, uc);
                a1[c] = step(a1[c], l1, uc);
                a2[c] = step(a2[c], l2, uc);
            }
        }
#pragma GCC unroll 8
        for (int c = 0; c < C; ++c) {
            const __m256 f0 = _mm512_cvtpd_ps(a0[c]), f1 = _mm512_cvtpd_ps(a1[c]), f2 = _mm512_cvtpd_ps(a2[c]);
            _mm256_mask_storeu_ps(cols[c] + i, m0, f0);
            _mm256_mask_storeu_ps(cols[c] + i + 8, m1, f1);
            _mm256_mask_storeu_ps(cols[c] + i + 16, m2, f2);
            bad |= _mm256_mask_fpclass_ps_mask(m0, f0, kNonFinite) | _mm256_mask_fpclass_ps_mask(m1, f1, kNonFinite) |
                   _mm256_mask_fpclass_ps_mask(m2, f2, kNonFinite);
        }
    }
    return bad == 0;
}

}  // namespace

}  // namespace varnex

#pragma GCC diagnostic pop
#pragma GCC pop_options

namespace varnex {

const ElimKernels* elim_kernels_avx512() {
    static const ElimKernels k{"avx512", column_update, pivot_rows, group_update};
    const bool ok =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
    return ok ? &k : nullptr;
}

}  // namespace varnex
