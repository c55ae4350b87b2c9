// The shared conversions, checked bit for bit; the C library serves as the oracle for random inputs
// (the program itself uses no locale-dependent C call). The token scan of Connect, with the vector
// lanes and one token at a time, gives the plain conversion's values and stops at the first bad token.
#include "core/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/number_reading_lanes.h"
#include "support/systems.h"

namespace varnex {
namespace {

// The kind of RunError that a conversion raises for the text, or none.
template <class Convert>
std::optional<ErrorKind> error_of(Convert convert, std::string_view text) {
    return test::error_of([&] { convert(text); });
}
uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

// The fast conversion gives the plain one's bits or error.
void same(const std::string& t) {
    std::optional<ErrorKind> want = error_of(text_to_single_plain, t);
    ASSERT_EQ(error_of(text_to_single, t), want) << '"' << t << '"';
    if (!want) {
        ASSERT_EQ(bits(text_to_single(t)), bits(text_to_single_plain(t))) << '"' << t << '"';
    }
}

// The comma as the decimal separator while it lives.
struct CommaSeparator {
    CommaSeparator() { set_decimal_separator(','); }
    ~CommaSeparator() { set_decimal_separator('.'); }
};

TEST(TextToSingle, ReadsSignsBlanksExponentsAndTheRangeEnds) {
    const float tiny = std::numeric_limits<float>::denorm_min();
    // The random test below covers plain signed decimals; here the '+', blanks, negative zeros, huge
    // exponents, long mantissas and halves. Half-way: 2^24 + 1 goes to the even neighbour; a hair
    // above 1 + 2^-24 must round up, which reading through a double (landing on the half) would miss.
    // clang-format off
    const std::pair<std::string, float> cases[] = {
        {"+1", 1.0f}, {"-.25", -0.25f}, {"-0", -0.0f}, {"   3  ", 3.0f}, {"-8e-46", -tiny}, {"-1e-50", -0.0f},
        {"3.4028235e38", FLT_MAX}, {"1e0000000000000000003", 1000.0f}, {"1e-999999999999999999", 0.0f},
        {"-0e999999999999999999", -0.0f}, {std::string("0.").append(200, '0') + "1e201", 1.0f},
        {std::string("1").append(200, '0') + "e-200", 1.0f}, {"16777217", 16777216.0f},
        {"1.000000059604644775390625", 1.0f}, {"1.00000005960464477539062500000000001", std::nextafter(1.0f, 2.0f)}};
    // clang-format on
    for (const auto& [text, want] : cases) EXPECT_EQ(bits(text_to_single(text)), bits(want)) << text;

    // Only U+0020 counts as a blank; no hex, inf, nan, grouping or foreign separator.
    for (const char* t : {"",    "   ", "1\t",   "\t1",   "1 2", "- 1", "1 e5", ".",   "-",   "e5",      "1e", "1E-",
                          "+-1", "1,5", "1.2.3", "1e2e3", "inf", "nan", "0x10", "1d5", "12a", "\u00A01", "1\n"})
        EXPECT_EQ(error_of(text_to_single, t), ErrorKind::TypeMismatch) << '"' << t << '"';
    EXPECT_EQ(error_of(text_to_single, std::string_view("1\0", 2)), ErrorKind::TypeMismatch);
    // 3.4028236e38 lies past the half-way point from FLT_MAX to 2^128.
    for (const char* t : {"1e39", "-1e39", "3.4028236e38", "1e99999999999999999999", "0.00000000000000000001e99999"})
        EXPECT_EQ(error_of(text_to_single, t), ErrorKind::Overflow) << t;
}

// The C library as the oracle for random decimal texts, and the plain conversion as the twin of the
// fast one around its limits: 2^24 in the mantissa, exponents near +-10, zeros, leading zeros, blanks,
// signs and the forms it hands over.
TEST(TextToSingle, AgreesWithTheCLibraryAndThePlainConversion) {
    for (const char* t :
         {"16777216", "16777217",     "16777218",     "1677721.7",    "1.6777219e7", "9999999e10",   "9999999e11",
          "1e-10",    "3e-11",        "-0",           "-0.000",       "0e999",       "-0E-999",      "007",
          "1.",       ".5",           "1e",           "1e+",          "1e1000",      " +5.25E+01 ",  "0.1",
          "-0.3",     "1.401298E-45", "3.402823E+38", "1.234568E+07", "5e-7",        "0.0001234568", "-0.00000001E+3",
          "0.0-5",    "1E-0005",      "1e5e3"})
        same(t);
    std::mt19937 gen(611);
    std::uniform_int_distribution<int> digit(0, 9), coin(0, 3), wide_expo(-60, 45), near_expo(-13, 13);
    const char* blanks[] = {"", "", "", " ", "  "};
    for (int n = 0; n < 200000; ++n) {
        // Every other text long, with a wide exponent range, for the C library; the rest short.
        const bool wide = n % 2;
        std::string t = wide ? "" : blanks[coin(gen)];
        if (coin(gen) == 0) t += coin(gen) < 2 ? "-" : "+";
        const int len = std::uniform_int_distribution<int>(1, wide ? 25 : 10)(gen);
        const int point = std::uniform_int_distribution<int>(0, len + 1)(gen);
        for (int i = 0; i < len; ++i) {
            if (i == point) t += '.';
            t += static_cast<char>('0' + (coin(gen) == 0 ? 0 : digit(gen)));
        }
        if (coin(gen) != 0) {
            t += coin(gen) < 2 ? 'e' : 'E';
            t += std::to_string(wide ? wide_expo(gen) : near_expo(gen));
        }
        t += wide ? "" : blanks[coin(gen)];
        same(t);
        const float want = std::strtof(t.c_str(), nullptr);
        if (wide && std::isinf(want)) {
            ASSERT_EQ(error_of(text_to_single, t), ErrorKind::Overflow) << t;
        } else if (wide) {
            ASSERT_EQ(bits(text_to_single(t)), bits(want)) << t;
        }
    }
    const CommaSeparator comma;
    for (const char* t : {"2,5", "-0,125E+02", "2.5", "1,"}) same(t);
}

TEST(TextToInt16, RoundsHalvesToEvenAndChecksTheRange) {
    const std::pair<const char*, int> cases[] = {
        {"2.5", 2},         {"3.5", 4},           {"-2.5", -2},   {"-3.5", -4},   {".5", 0},
        {"0.49999", 0},     {"2.51", 3},          {"0.035E2", 4}, {"  7  ", 7},   {"+0032767", 32767},
        {"32767.4", 32767}, {"-32768.5", -32768}, {"-0.4", 0},    {"0e99999", 0}, {"2.5000000000000000000001", 3}};
    for (const auto& [text, want] : cases) EXPECT_EQ(text_to_int16(text), want) << text;
    for (const char* t : {"32767.5", "32768", "-32768.6", "3276.75e1", "1e99999999999999999999", "-1e39"})
        EXPECT_EQ(error_of(text_to_int16, t), ErrorKind::Overflow) << t;
    for (const char* t : {"", "  ", "2,5", "1\t", "5 5", "inf"})
        EXPECT_EQ(error_of(text_to_int16, t), ErrorKind::TypeMismatch) << t;
}

// Both zeros, then random bit patterns: the seven-digit text is %.7G's ("0" for either zero) and
// reads back to the float nearest its seven digits; the exact text reads back bit for bit and is never
// longer than the seven-digit text where that one reads back too.
TEST(SingleToText, SevenDigitsAsPercentGAndExactTextsInTheShortestDigits) {
    char ref[32], buf[16], exact_buf[16];
    auto exact = [&](float v) { return std::string(exact_buf, single_to_exact_text(v, exact_buf)); };
    // The program's forms; the digits that seven cannot carry; the range's ends.
    std::string all;
    for (float v : {0.0f, 0.1f + 0.2f, std::nextafter(1.0f, 2.0f), 16777216.0f, 1234567.5f, -0.00012345679f, FLT_MAX,
                    std::numeric_limits<float>::denorm_min()})
        all += exact(v) + " ";
    EXPECT_EQ(all, "0 0.3 1.0000001 1.6777216E+07 1234567.5 -0.00012345679 3.4028235E+38 1E-45 ");
    std::mt19937 gen(7);
    for (int n = -2; n < 200000; ++n) {
        const float v = n < 0 ? std::copysign(0.0f, n + 1.5f) : std::bit_cast<float>(static_cast<uint32_t>(gen()));
        if (!std::isfinite(v)) continue;
        std::snprintf(ref, sizeof ref, "%.7G", static_cast<double>(v));
        const std::string seven(buf, single_to_text(v, buf)), t = exact(v);
        ASSERT_EQ(seven, v == 0.0f ? "0" : ref) << bits(v);
        ASSERT_EQ(bits(text_to_single(seven)), bits(std::strtof(seven.c_str(), nullptr))) << seven;
        ASSERT_EQ(bits(v == 0.0f ? 0.0f : v), bits(text_to_single(t))) << t;
        if (text_to_single(seven) == v) {
            ASSERT_LE(t.size(), seven.size()) << t << " " << seven;
        }
    }
}

TEST(DecimalSeparator, PointByDefaultAndCommaBothWaysWhenSet) {
    // The accuracy N / 10 and the indices as plain decimals.
    EXPECT_EQ(double_to_text(0.0) + " " + double_to_text(1638.1) + " " + int_to_text(-32768), "0 1638.1 -32768");
    const CommaSeparator comma;
    EXPECT_EQ(text_to_single(" -2,5E-3 "), -0.0025f);
    EXPECT_EQ(text_to_single("0," + std::string(100, '0') + "25e102"), 25.0f);  // longer than a stack buffer
    EXPECT_EQ(error_of(text_to_single, "1.5"), ErrorKind::TypeMismatch);
    EXPECT_EQ(text_to_int16("3,5"), 4);
    EXPECT_EQ(error_of(text_to_int16, "2.5"), ErrorKind::TypeMismatch);
    EXPECT_EQ(single_to_text(12345678.0f), "1,234568E+07");
    EXPECT_EQ(double_to_text(12.5), "12,5");
}

// Tokens at the limits of the lanes: mantissas around 2^24, 16 and 17 bytes, a separator with nothing
// on one side, signs alone, leading zeros, forms the lanes leave to the plain conversion, a token
// longer than a 64-byte block.
// clang-format off
const std::vector<std::string> kEdgeTokens = {
    "16777216", "16777217", "1677721.6", "1677721.7", "0.16777217", "-", "+", ".", "5.", ".5", "-.5", "1.2.3",
    "1e5", "--1", "0000000000000001", "-0", "+0.0", "99999999.99999999", "-00000001.0000001", "abc", "3.4e38",
    "00000000.00000001", "+0000000.00000001", "2\t1", "1e39", "7,5", std::string(66, '0') + "1.25"};
// clang-format on

TEST(TokenScan, WithAndWithoutLanesGivesThePlainBitsAndStopsAtTheFirstBadToken) {
    for (char separator : {'.', ','}) {
        set_decimal_separator(separator);
        std::mt19937_64 rng(11);
        for (int line_no = 0; line_no < 4000; ++line_no) {
            // Edge tokens and random decimals of 0 to 9 integer and fraction digits, with exponents or
            // another character in any place, between runs of blanks (some past a 64-byte block),
            // digits in the slack behind the line.
            std::vector<std::string> tokens;
            std::string line(rng() % 3, ' ');
            for (int k = 0, count = 1 + static_cast<int>(rng() % 60); k < count; ++k) {
                std::string tok = rng() % 2 ? "" : rng() % 2 ? "-" : "+";
                for (int d = 0, n = rng() % 10; d < n; ++d) tok += static_cast<char>('0' + rng() % 10);
                for (int d = 0, n = rng() % 4 ? rng() % 11 : 0; d < n; ++d)
                    tok += static_cast<char>(d ? '0' + rng() % 10 : separator);
                if (rng() % 16 == 0) tok += "E-" + std::to_string(rng() % 40);
                if (tok.empty() || rng() % 8 == 0) tok.insert(rng() % (tok.size() + 1), 1, "xE/:\t"[rng() % 5]);
                if (rng() % 4 == 0) tok = kEdgeTokens[rng() % kEdgeTokens.size()];
                std::replace(tok.begin(), tok.end(), '.', separator);
                same(tok);
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
                        ASSERT_EQ(bits(values[q]), bits(text_to_single_plain(tokens.at(next)))) << line;
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
