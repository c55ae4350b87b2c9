// The token scan of Connect: the blank-separated tokens of a line found 64 bytes at a time and
// converted by the one number reader, four at a time in vector lanes where the processor has them.
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/convert.h"
#include "core/number_reading.h"
#include "core/number_reading_lanes.h"

namespace varnex {

namespace {

// Converts the token [t, stop) into values[k]; false (and p at the token) when it is not a number.
bool convert_token(const char* t, const char* stop, float* values, int k, const char*& p) {
    try {
        values[k] = text_to_single(std::string_view(t, static_cast<std::size_t>(stop - t)));
    } catch (const std::exception&) {
        p = t;
        return false;
    }
    p = stop;
    return true;
}

// Bit q set when byte b[q] is a blank, for the 64 bytes from b.
inline std::uint64_t blanks64(const char* b) {
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi8(' ');
    std::uint64_t m = 0;
    for (int q = 0; q < 4; ++q) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16 * q));
        m |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, blank)))) << (16 * q);
    }
    return m;
#else
    std::uint64_t m = 0;
    for (int q = 0; q < 64; ++q) m |= static_cast<std::uint64_t>(b[q] == ' ') << q;
    return m;
#endif
}

const TokenLanes* token_lanes() {
    static const TokenLanes* const lanes = token_lanes_avx512();
    return lanes;
}

// The tokens found by the scan and not yet converted, handed to the vector lanes together: fewer than
// 32 before each block, whose up to 32 tokens are then added.
struct Found {
    static constexpr int kMax = 64;
    const char* tok[kMax];
    std::uint16_t len[kMax];
    float out[kMax];

    // Converts the first n into values[k..] (count values exist): those that the lanes took as they
    // are, the others one at a time. False (and p at that token) at the first token that is not a
    // number.
    bool convert(const TokenLanes& lanes, int n, float* values, int count, int& k, const char*& p) {
        if (n == 0) return true;
        const int rounded = (n + 3) & ~3;
        for (int q = n; q < rounded; ++q) {
            tok[q] = tok[0];
            len[q] = len[0];
        }
        // The lanes write groups of four: straight into values where the last group fits.
        const bool direct = k + rounded <= count;
        std::uint64_t left = ~lanes.convert(tok, len, n, decimal_separator(), direct ? values + k : out);
        if (!direct) std::memcpy(values + k, out, static_cast<std::size_t>(n) * sizeof(float));
        left &= n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
        for (; left; left &= left - 1) {
            const int q = std::countr_zero(left);
            int at = k + q;
            if (!convert_token(tok[q], tok[q] + len[q], values, at, p)) {
                k = at;
                return false;
            }
        }
        k += n;
        p = tok[n - 1] + len[n - 1];
        return true;
    }
};

}  // namespace

int scan_tokens(const char*& p, const char* end, float* values, int count) {
    return scan_tokens_using(token_lanes(), p, end, values, count);
}

int scan_tokens_using(const TokenLanes* lanes, const char*& p, const char* end, float* values, int count) {
    Found found;
    int k = 0;  // tokens converted
    int n = 0;  // tokens found for the lanes, not yet converted
    auto convert_found = [&] {
        const bool ok = !lanes || found.convert(*lanes, n, values, count, k, p);
        n = 0;
        return ok;
    };
    // The token [t, stop) converted on its own, after those found before it. False at the first token
    // that is not a number.
    auto take_alone = [&](const char* t, const char* stop) {
        if (!convert_found() || !convert_token(t, stop, values, k, p)) return false;
        ++k;
        return true;
    };
    // b: start of the 64-byte block whose blanks mark the token boundaries; every token that starts
    // and ends in it is found from its masks alone, and the conversions do not wait for each other.
    const char* b = p;
    while (k + n < count && b < end) {
        std::uint64_t blank = blanks64(b);
        if (end - b < 64) blank |= ~std::uint64_t{0} << (end - b);
        // Starts: a non-blank after a blank (or at the block's start, which is never inside a token);
        // ends: a blank after a non-blank. The n-th end closes the n-th start.
        std::uint64_t starts = ~blank & ((blank << 1) | 1);
        std::uint64_t ends = blank & (~blank << 1);
        const char* next = b + 64;
        const int room = count - k - n;
        if (lanes) {
            // The block's tokens all at once; the starts left are those of a token that runs on.
            const int complete = lanes->find(b, starts, ends, found.tok + n, found.len + n);
            n += complete < room ? complete : room;
            if (ends) starts &= ~((std::uint64_t{2} << (63 - std::countl_zero(ends))) - 1);
            if (n >= 32 && !convert_found()) return k;
        } else {
            for (int left = room; ends && left > 0; --left) {
                const int s = std::countr_zero(starts), e = std::countr_zero(ends);
                starts &= starts - 1;
                ends &= ends - 1;
                if (!take_alone(b + s, b + e)) return k;
            }
        }
        if (starts && k + n < count) {
            // A token that runs past the block: the next block starts with it; one longer than a
            // block is found by its blank, and the next block starts there.
            const int s = std::countr_zero(starts);
            next = b + s;
            if (s == 0) {
                const void* bl = std::memchr(b, ' ', static_cast<std::size_t>(end - b));
                next = bl ? static_cast<const char*>(bl) : end;
                if (!take_alone(b, next)) return k;
            }
        }
        b = next;
    }
    convert_found();
    return k;
}

}  // namespace varnex
