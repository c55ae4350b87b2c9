// The token scanner of Connect against the plain conversion: every token alone and every batch of a
// line give the plain conversion's bits or errors, and the scan stops at the first bad token.
#include "core/number_reading.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "core/errors.h"

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

TEST(TokenScan, SameBitsAndStopsAsThePlainConversion) {
    // Random lines of decimals and hard tokens (some longer than the scanner's 64-byte blocks)
    // between runs of blanks, with digits in the slack behind the line. Each token alone gives the
    // bits or the error of the plain conversion; the scanner, in batches of every size, gives the same
    // values and stops with p at the first bad token.
    std::vector<std::string> hard = {std::string(66, '0') + "1.25", std::string(80, '7') + "x"};
    std::istringstream in("abc 1e5 - + . 1.2.3 16777217 2\t1 -0 0.000000001234 123456789.5 3.4e38 1e39 7,5");
    for (std::string h; std::getline(in, h, ' ');) hard.push_back(h);
    EXPECT_EQ(outcome(text_to_single, ""), outcome(text_to_single_plain, ""));
    std::mt19937_64 rng(11);
    for (int line_no = 0; line_no < 6000; ++line_no) {
        std::vector<std::string> tokens;
        std::string line(rng() % 3, ' ');
        for (int k = 0, count = 1 + static_cast<int>(rng() % 40); k < count; ++k) {
            std::string tok = std::string(rng() % 4 / 2, '0') + std::to_string(rng() >> rng() % 64);
            if (rng() % 4) tok.insert(rng() % (tok.size() + 1), 1, '.');
            if (rng() % 2) tok.insert(0, 1, rng() % 4 ? '-' : '+');
            if (rng() % 16 == 0) tok += "E-" + std::to_string(rng() % 40);
            if (rng() % 10 == 0) tok = hard[rng() % hard.size()];
            ASSERT_EQ(outcome(text_to_single, tok), outcome(text_to_single_plain, tok)) << tok;
            tokens.push_back(tok);
            line += tok + std::string(1 + rng() % (rng() % 5 ? 2 : 70), ' ');
        }
        if (rng() % 2) line.resize(line.find_last_not_of(' ') + 1);
        const std::string buffer = line + std::string(kScanSlack, '7');
        const char* p = buffer.data();
        const int batch = 1 + static_cast<int>(rng() % 64);
        std::size_t next = 0;  // index of the next token to compare
        for (int got = batch; got == batch;) {
            float values[64];
            got = scan_tokens(p, buffer.data() + line.size(), values, batch);
            for (int q = 0; q < got; ++q, ++next)
                ASSERT_EQ(Outcome(std::bit_cast<std::uint32_t>(values[q])),
                          outcome(text_to_single_plain, tokens.at(next)));
        }
        const std::string rest = line.substr(static_cast<std::size_t>(p - buffer.data()));
        if (next == tokens.size())
            EXPECT_EQ(rest.find_first_not_of(' '), std::string::npos) << line;
        else
            EXPECT_EQ(rest.substr(0, tokens[next].size()), tokens[next]);
    }
}

}  // namespace
}  // namespace varnex
