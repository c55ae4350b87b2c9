// Four tokens converted at once with AVX-512, for the token scan of Connect.
//
// Each token's first 16 bytes go into a 128-bit lane of their own. A lane is taken when its token has
// the plain form of nearly every coefficient, as the scalar first lane reads it: an optional sign, one
// to eight digits, and optionally the separator and one to eight digits. Its integer digits are then
// moved to the end of the lane's low half and its fraction digits to the end of the high half, each
// half is read as an eight-digit number (I and F), and m = I * 10^f + F (f fraction digits) is divided
// by 10^f in float. With m <= 2^24 and f <= 8 both operands are exact floats, so the division rounds
// the decimal value once, to the nearest float: the plain conversion's result.
#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "core/number_reading_lanes.h"

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi,avx512vbmi2,avx512bitalg,bmi2,popcnt")

namespace varnex {

namespace {

// Tables, loaded where they are used (a vector constant at namespace scope would be built with these
// instructions at start-up, on any processor).
// Bytes 0..15 of every lane.
alignas(64) constexpr std::uint8_t kLanePosBytes[64] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
// Byte 2t (the low byte of word t) in every byte of lane t.
alignas(64) constexpr std::uint8_t kWordToLaneBytes[64] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6};
// Dword t in every dword of lane t.
alignas(64) constexpr std::uint32_t kDwordToLaneDwords[16] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
alignas(64) constexpr std::uint32_t kPow10Int[16] = {1,         10, 100, 1000, 10000, 100000, 1000000, 10000000,
                                                     100000000, 1,  1,   1,    1,     1,      1,       1};
alignas(64) constexpr float kPow10Float[16] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f,
                                               1e8f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
// The first byte of every lane.
constexpr __mmask64 kLaneFirst = 0x0001000100010001;
// Bytes 0..7 of every lane.
constexpr __mmask64 kLaneLow = 0x00FF00FF00FF00FF;

// Four tokens from tok[0..3], lengths len[0..3]; bit t of the result set when token t was taken.
inline unsigned convert_four(const char* const* tok, const std::uint16_t* len, char separator, float* out) {
    const __m512i kLanePos = _mm512_load_si512(kLanePosBytes);
    const __m512i kWordToLane = _mm512_load_si512(kWordToLaneBytes);
    const __m512i kDwordToLane = _mm512_load_si512(kDwordToLaneDwords);
    __m512i c = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(tok[0])));
    c = _mm512_inserti32x4(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(tok[1])), 1);
    c = _mm512_inserti32x4(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(tok[2])), 2);
    c = _mm512_inserti32x4(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(tok[3])), 3);

    // Per token, one 16-bit word each: length L, sign length s (0 or 1), a minus sign, and q, the
    // position of the separator (L when there is none).
    const __m128i len_w = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(len));
    const __m512i len_b = _mm512_permutexvar_epi8(kWordToLane, _mm512_castsi128_si512(len_w));
    const __mmask64 in_token = _mm512_cmplt_epu8_mask(kLanePos, len_b);
    const __mmask64 minus = _mm512_mask_cmpeq_epi8_mask(kLaneFirst, c, _mm512_set1_epi8('-'));
    const __mmask64 plus = _mm512_mask_cmpeq_epi8_mask(kLaneFirst, c, _mm512_set1_epi8('+'));
    const __m128i minus_w = _mm_cvtsi64_si128(static_cast<long long>(_cvtmask64_u64(minus)));
    const __m128i sign_w = _mm_cvtsi64_si128(static_cast<long long>(_cvtmask64_u64(minus | plus)));
    const __mmask64 seps = _mm512_mask_cmpeq_epi8_mask(in_token, c, _mm512_set1_epi8(separator));
    // The lowest of the separators and the byte behind the token (none for 16 bytes: q = 16 = L).
    const __m128i first = _mm_or_si128(_mm_cvtsi64_si128(static_cast<long long>(_cvtmask64_u64(seps))),
                                       _mm_sllv_epi16(_mm_set1_epi16(1), len_w));
    const __m128i lowest = _mm_and_si128(first, _mm_sub_epi16(_mm_setzero_si128(), first));
    const __m128i q_w = _mm_popcnt_epi16(_mm_sub_epi16(lowest, _mm_set1_epi16(1)));

    // The form: one to eight integer digits, and one to eight fraction digits after a separator.
    const __m128i ones = _mm_set1_epi16(1), sevens = _mm_set1_epi16(7);
    const __mmask8 int_ok = _mm_cmple_epu16_mask(_mm_sub_epi16(_mm_sub_epi16(q_w, sign_w), ones), sevens);
    const __mmask8 has_sep = _mm_cmplt_epu16_mask(q_w, len_w);
    const __m128i frac_w = _mm_maskz_sub_epi16(has_sep, _mm_sub_epi16(len_w, q_w), ones);
    const __mmask8 frac_ok = ~has_sep | _mm_cmple_epu16_mask(_mm_sub_epi16(frac_w, ones), sevens);
    // Every other byte of the token a digit.
    const __m512i q_b = _mm512_permutexvar_epi8(kWordToLane, _mm512_castsi128_si512(q_w));
    const __m512i s_b = _mm512_permutexvar_epi8(kWordToLane, _mm512_castsi128_si512(sign_w));
    const __m512i digits = _mm512_sub_epi8(c, _mm512_set1_epi8('0'));
    const __mmask64 allowed = _mm512_cmple_epu8_mask(digits, _mm512_set1_epi8(9)) |
                              _mm512_cmpeq_epi8_mask(kLanePos, q_b) | _mm512_cmplt_epu8_mask(kLanePos, s_b);
    const __mmask64 other = in_token & ~allowed;
    const __mmask8 clean = _mm_cmpeq_epi16_mask(_mm_cvtsi64_si128(static_cast<long long>(other)), _mm_setzero_si128());

    // Integer digits to bytes 0..7 (byte 7 takes byte q - 1), fraction digits to bytes 8..15 (byte 15
    // takes byte L - 1); the bytes before each run become zeros.
    const __m512i from_low = _mm512_add_epi8(kLanePos, _mm512_sub_epi8(q_b, _mm512_set1_epi8(8)));
    const __m512i from_high = _mm512_add_epi8(kLanePos, _mm512_sub_epi8(len_b, _mm512_set1_epi8(16)));
    const __m512i from = _mm512_mask_blend_epi8(kLaneLow, from_high, from_low);
    const __mmask64 keep =
        (kLaneLow & _mm512_cmpge_epi8_mask(from, s_b)) | (~kLaneLow & _mm512_cmpgt_epi8_mask(from, q_b));
    const __m512i aligned = _mm512_maskz_shuffle_epi8(keep, digits, from);
    // Pairs, fours, then the eight-digit halves: dwords I, F, I, F per lane.
    const __m512i pairs = _mm512_maddubs_epi16(aligned, _mm512_set1_epi16(0x010A));
    const __m512i fours = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010064));
    const __m512i halves = _mm512_madd_epi16(_mm512_packus_epi32(fours, fours), _mm512_set1_epi32(0x00012710));
    const __m512i frac_d =
        _mm512_permutexvar_epi32(kDwordToLane, _mm512_cvtepu16_epi32(_mm256_castsi128_si256(frac_w)));
    const __m512i m =
        _mm512_add_epi64(_mm512_mul_epu32(halves, _mm512_permutexvar_epi32(frac_d, _mm512_load_si512(kPow10Int))),
                         _mm512_srli_epi64(halves, 32));
    const __mmask8 small = _mm512_cmple_epu64_mask(m, _mm512_set1_epi64(1 << 24));
    // The four values side by side, divided and signed as one vector of four.
    const __m128 whole = _mm512_castps512_ps128(_mm512_permutexvar_ps(
        _mm512_set_epi32(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 8, 4, 0), _mm512_cvtepi32_ps(m)));
    const __m128 scale = _mm512_castps512_ps128(
        _mm512_permutexvar_ps(_mm512_cvtepu16_epi32(_mm256_castsi128_si256(frac_w)), _mm512_load_ps(kPow10Float)));
    const __m128i minus_d = _mm_slli_epi32(_mm_cvtepu16_epi32(minus_w), 31);
    _mm_storeu_ps(out, _mm_xor_ps(_mm_div_ps(whole, scale), _mm_castsi128_ps(minus_d)));
    const __mmask8 fits = _mm_cmple_epu16_mask(len_w, _mm_set1_epi16(16));
    return (int_ok & frac_ok & clean & fits & 0xF) & _pext_u32(small, 0x55);
}

// The tokens that end in the 64-byte block b, from its masks of token starts and ends: their starts
// and lengths side by side, up to 32 of each written; returns how many end in it.
int find_tokens(const char* b, std::uint64_t starts, std::uint64_t ends, const char** tok, std::uint16_t* len) {
    alignas(64) static constexpr std::uint8_t kIota[64] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
        44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
    const __m512i iota = _mm512_load_si512(kIota);
    const __m512i first = _mm512_maskz_compress_epi8(starts, iota);
    const __m512i stop = _mm512_maskz_compress_epi8(ends, iota);
    _mm512_storeu_si512(len, _mm512_cvtepu8_epi16(_mm512_castsi512_si256(_mm512_sub_epi8(stop, first))));
    alignas(64) std::uint8_t at[64];
    _mm512_store_si512(at, first);
    const __m512i base = _mm512_set1_epi64(reinterpret_cast<long long>(b));
    const int n = std::popcount(ends);
    for (int g = 0; g < n; g += 8) {
        const __m512i offsets = _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + g)));
        _mm512_storeu_si512(tok + g, _mm512_add_epi64(base, offsets));
    }
    return n;
}

std::uint64_t convert_tokens(const char* const* tok, const std::uint16_t* len, int n, char separator, float* out) {
    std::uint64_t taken = 0;
    for (int g = 0; g < n; g += 4) taken |= std::uint64_t{convert_four(tok + g, len + g, separator, out + g)} << g;
    return taken;
}

}  // namespace

}  // namespace varnex

#pragma GCC pop_options

namespace varnex {

const TokenLanes* token_lanes_avx512() {
    static const TokenLanes lanes{find_tokens, convert_tokens};
    const bool ok = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                    __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                    __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
                    __builtin_cpu_supports("avx512bitalg") && __builtin_cpu_supports("bmi2") &&
                    __builtin_cpu_supports("popcnt");
    return ok ? &lanes : nullptr;
}

}  // namespace varnex
