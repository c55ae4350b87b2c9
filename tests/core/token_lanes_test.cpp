// The vector lanes of the token scan at the edges of the form they take: every token they take gives
// the plain conversion's bits, and they take none that the plain conversion refuses.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/convert.h"
#include "core/errors.h"
#include "core/number_reading.h"
#include "core/number_reading_lanes.h"

namespace varnex {
namespace {

// Tokens around every limit of the lanes: 0..9 integer and fraction digits, signs, a separator with
// nothing on one side, mantissas around 2^24, 16 and 17 bytes, other characters in every position.
std::vector<std::string> edge_tokens(char separator) {
    // clang-format off
    std::vector<std::string> tokens = {
        "16777216", "16777217", "1677721.6", "1677721.7", "0.16777217", "-", "+", ".", "5.", ".5", "-.5", "1.2.3",
        "1e5", "--1", "0000000000000001", "-0", "+0.0", "99999999.99999999", "-00000001.0000001",
        "00000000.00000001", "+0000000.00000001"};
    // clang-format on
    std::mt19937_64 rng(24);
    for (const char* sign : {"", "-", "+"})
        for (int int_len = 0; int_len <= 9; ++int_len)
            for (int frac_len = -1; frac_len <= 9; ++frac_len) {
                std::string t = sign;
                for (int d = 0; d < int_len; ++d) t += static_cast<char>('0' + rng() % 10);
                if (frac_len >= 0) t += '.';
                for (int d = 0; d < frac_len; ++d) t += static_cast<char>('0' + rng() % 10);
                if (!t.empty()) tokens.push_back(t);
            }
    for (std::size_t k = 0, n = tokens.size(); k < n; ++k) {
        std::string t = tokens[k];
        if (t.size() < 2) continue;
        t[rng() % t.size()] = "x E/:"[rng() % 5];
        tokens.push_back(t);
    }
    for (std::string& t : tokens)
        for (char& c : t)
            if (c == '.') c = separator;
    return tokens;
}

TEST(TokenLanes, TakeOnlyWhatThePlainConversionReadsAndGiveItsBits) {
    const TokenLanes* lanes = token_lanes_avx512();
    if (!lanes) GTEST_SKIP() << "this processor has no AVX-512 lanes";
    for (char separator : {'.', ','}) {
        set_decimal_separator(separator);
        const std::vector<std::string> tokens = edge_tokens(separator);
        int taken_count = 0;
        for (std::size_t k = 0; k < tokens.size(); k += 4) {
            // Each token with 16 readable bytes behind its start, of no particular content.
            std::string buf[4];
            const char* tok[4];
            std::uint16_t len[4];
            for (std::size_t q = 0; q < 4; ++q) {
                const std::string& t = tokens[(k + q) % tokens.size()];
                buf[q] = t + "7.-" + std::string(16, '9');  // tokens longer than 16 bytes are refused
                tok[q] = buf[q].data();
                len[q] = static_cast<std::uint16_t>(t.size());
            }
            float out[4];
            const std::uint64_t taken = lanes->convert(tok, len, 4, separator, out);
            for (std::size_t q = 0; q < 4; ++q) {
                if (!(taken >> q & 1)) continue;
                ++taken_count;
                const std::string t(tok[q], len[q]);
                float plain = 0;
                ASSERT_NO_THROW(plain = text_to_single_plain(t)) << t;
                EXPECT_EQ(std::bit_cast<std::uint32_t>(out[q]), std::bit_cast<std::uint32_t>(plain)) << t;
            }
        }
        // The plain decimals of up to seven digits (3 signs x 28 forms) are all among those taken.
        EXPECT_GE(taken_count, 84);
    }
    set_decimal_separator('.');
}

TEST(TokenLanes, TheScanGivesTheSameValuesAndStopsWithAndWithoutThem) {
    // Lines of the edge tokens between runs of blanks (some past a 64-byte block), scanned in batches
    // of every size with the lanes and one token at a time: the same values, counts and stops.
    const TokenLanes* lanes = token_lanes_avx512();
    if (!lanes) GTEST_SKIP() << "this processor has no AVX-512 lanes";
    const std::vector<std::string> tokens = edge_tokens('.');
    std::mt19937_64 rng(22);
    for (int line_no = 0; line_no < 3000; ++line_no) {
        std::string line(rng() % 3, ' ');
        for (int k = 0, count = 1 + static_cast<int>(rng() % 90); k < count; ++k) {
            const std::string& t = tokens[rng() % (rng() % 8 ? 120 : tokens.size())];
            line += (rng() % 50 ? t : std::string(70, '1')) + std::string(1 + rng() % (rng() % 5 ? 2 : 70), ' ');
        }
        const std::string buffer = line + std::string(kScanSlack, '5');
        const char* end = buffer.data() + line.size();
        const int batch = 1 + static_cast<int>(rng() % 200);
        const char* p_fast = buffer.data();
        const char* p_plain = buffer.data();
        for (int got = batch; got == batch;) {
            std::vector<float> fast(batch), plain(batch);
            got = scan_tokens_using(lanes, p_fast, end, fast.data(), batch);
            ASSERT_EQ(scan_tokens_using(nullptr, p_plain, end, plain.data(), batch), got) << line;
            ASSERT_EQ(p_fast, p_plain) << line;
            for (int q = 0; q < got; ++q)
                ASSERT_EQ(std::bit_cast<std::uint32_t>(fast[q]), std::bit_cast<std::uint32_t>(plain[q])) << line;
        }
    }
}

}  // namespace
}  // namespace varnex
