#pragma once
// The vector lanes of the token scan (core/token_scan.cpp): the tokens of a 64-byte block found
// at once, and tokens converted four at a time, where the processor has the instructions for it.

#include <cstdint>

namespace varnex {

struct TokenLanes {
    /// The tokens that end in the 64-byte block b (given its masks of token starts and ends, bit q for
    /// byte q; the block starts outside a token): their starts into tok and lengths into len, in
    /// order; returns how many. Writes 32 entries of each, whatever the number of tokens.
    int (*find)(const char* b, std::uint64_t starts, std::uint64_t ends, const char** tok, std::uint16_t* len);
    /// Converts the n tokens tok[0..n-1] (token t of length len[t], 16 bytes readable from its start)
    /// into out[0..n-1]. Bit t of the result is set when token t had the form that the lanes read (at
    /// most 16 bytes among them); out[t] is then text_to_single's value, otherwise undefined. tok, len
    /// and out are read and written in groups of four: n rounded up to a multiple of four entries
    /// must exist.
    std::uint64_t (*convert)(const char* const* tok, const std::uint16_t* len, int n, char separator, float* out);
};

/// The AVX-512 lanes, or nullptr when this processor lacks their instructions.
const TokenLanes* token_lanes_avx512();

/// scan_tokens with the given lanes, or one token at a time without them (nullptr): scan_tokens takes
/// the lanes of this processor, and the tests compare the two ways.
int scan_tokens_using(const TokenLanes* lanes, const char*& p, const char* end, float* values, int count);

}  // namespace varnex
