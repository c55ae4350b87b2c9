// The token scan of Connect, with the vector lanes and one token at a time, against the plain
// conversion: every token alone gives the plain conversion's bits or error, both scans give those
// values for every batch of a line, and they stop at the first bad token.
#include "core/number_reading.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "core/convert.h"
#include "core/errors.h"
#include "core/number_reading_lanes.h"

namespace varnex {
namespace {

using Outcome = std::variant<std::uint32_t, ErrorKind>;

// The bits of a conversion, or the kind of error it raised.
Outcome outcome(float (*convert)(std::string_view), const std::string& token) {
    try {
        return std::bit_cast<std::uint32_t>(convert(token));
    } catch (const RunError& e) {
        return e.kind();
    }
}

// Tokens around every limit of the lanes: 0..9 integer and fraction digits, signs, a separator with
// nothing on one side, mantissas around 2^24, 16 and 17 bytes, tokens longer than a 64-byte block,
// other characters in every position.
std::vector<std::string> edge_tokens(char separator) {
    // clang-format off
    std::vector<std::string> tokens = {
        "16777216", "16777217", "1677721.6", "1677721.7", "0.16777217", "-", "+", ".", "5.", ".5", "-.5", "1.2.3",
        "1e5", "--1", "0000000000000001", "-0", "+0.0", "99999999.99999999", "-00000001.0000001", "abc", "3.4e38",
        "00000000.00000001", "+0000000.00000001", "2\t1", "1e39", "7,5", std::string(66, '0') + "1.25"};
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
        t[rng() % t.size()] = "xE/:\t"[rng() % 5];
        tokens.push_back(t);
    }
    for (std::string& t : tokens)
        for (char& c : t)
            if (c == '.') c = separator;
    return tokens;
}

TEST(TokenScan, WithAndWithoutLanesGivesThePlainBitsAndStopsAtTheFirstBadToken) {
    for (char separator : {'.', ','}) {
        set_decimal_separator(separator);
        const std::vector<std::string> edges = edge_tokens(separator);
        std::mt19937_64 rng(11);
        for (int line_no = 0; line_no < 4000; ++line_no) {
            // Edge tokens and random decimals with exponents between runs of blanks (some past a
            // 64-byte block), digits in the slack behind the line.
            std::vector<std::string> tokens;
            std::string line(rng() % 3, ' ');
            for (int k = 0, count = 1 + static_cast<int>(rng() % 60); k < count; ++k) {
                std::string tok = std::string(rng() % 4 / 2, '0') + std::to_string(rng() >> rng() % 64);
                if (rng() % 4) tok.insert(rng() % (tok.size() + 1), 1, separator);
                if (rng() % 2) tok.insert(0, 1, rng() % 4 ? '-' : '+');
                if (rng() % 16 == 0) tok += "E-" + std::to_string(rng() % 40);
                if (rng() % 2) tok = edges[rng() % (rng() % 8 ? 120 : edges.size())];
                ASSERT_EQ(outcome(text_to_single, tok), outcome(text_to_single_plain, tok)) << tok;
                tokens.push_back(tok);
                line += tok + std::string(1 + rng() % (rng() % 5 ? 2 : 70), ' ');
            }
            if (rng() % 2) line.resize(line.find_last_not_of(' ') + 1);
            const std::string buffer = line + std::string(kScanSlack, '7');
            const int batch = 1 + static_cast<int>(rng() % 64);
            for (const TokenLanes* lanes : {token_lanes_avx512(), static_cast<const TokenLanes*>(nullptr)}) {
                const char* p = buffer.data();
                std::size_t next = 0;  // index of the next token to compare
                for (int got = batch; got == batch;) {
                    float values[64];
                    got = scan_tokens_using(lanes, p, buffer.data() + line.size(), values, batch);
                    for (int q = 0; q < got; ++q, ++next)
                        ASSERT_EQ(Outcome(std::bit_cast<std::uint32_t>(values[q])),
                                  outcome(text_to_single_plain, tokens.at(next)))
                            << line;
                }
                const std::string rest = line.substr(static_cast<std::size_t>(p - buffer.data()));
                if (next == tokens.size())
                    EXPECT_EQ(rest.find_first_not_of(' '), std::string::npos) << line;
                else
                    EXPECT_EQ(rest.substr(0, tokens[next].size()), tokens[next]);
            }
        }
    }
    set_decimal_separator('.');
}

}  // namespace
}  // namespace varnex
