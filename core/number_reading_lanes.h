#pragma once
// The vector lanes of the token scan (core/number_reading.cpp): tokens converted four at a time where
// the processor has the instructions for it.

#include <cstdint>

namespace varnex {

/// Converts the n tokens tok[0..n-1] (token t of length len[t], 1..16, with 16 bytes readable from
/// its start) into out[0..n-1]. Bit t of the result is set when token t had the form that the lanes
/// read; out[t] is then text_to_single's value, otherwise undefined. tok, len and out are read and
/// written in groups of four: n rounded up to a multiple of four entries must exist.
using TokenLanes = std::uint64_t (*)(const char* const* tok, const std::uint16_t* len, int n, char separator,
                                     float* out);

/// The AVX-512 lanes, or nullptr when this processor lacks their instructions.
TokenLanes token_lanes_avx512();

}  // namespace varnex
