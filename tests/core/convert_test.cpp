// The shared conversions, checked bit for bit against the C library as an oracle (the product code
// itself uses no locale-dependent C call).
#include "core/convert.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "core/errors.h"
#include "support/fakes.h"

namespace varnex {
namespace {

template <class F>
std::optional<ErrorKind> error_of(F&& f) {
    try {
        f();
    } catch (const RunError& e) {
        return e.kind();
    }
    return std::nullopt;
}

std::optional<ErrorKind> single_error(std::string_view t) {
    return error_of([&] { text_to_single(t); });
}

std::optional<ErrorKind> int16_error(std::string_view t) {
    return error_of([&] { text_to_int16(t); });
}

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

// Switches the decimal separator for one test and restores '.' even when the test fails.
class SeparatorGuard {
  public:
    explicit SeparatorGuard(char sep) { set_decimal_separator(sep); }
    ~SeparatorGuard() { set_decimal_separator('.'); }
};

TEST(TextToSingle, AcceptsSignsSeparatorAndExponents) {
    EXPECT_EQ(text_to_single("1"), 1.0f);
    EXPECT_EQ(text_to_single("+1"), 1.0f);
    EXPECT_EQ(text_to_single("-1"), -1.0f);
    EXPECT_EQ(text_to_single(".5"), 0.5f);
    EXPECT_EQ(text_to_single("5."), 5.0f);
    EXPECT_EQ(text_to_single("-.25"), -0.25f);
    EXPECT_EQ(text_to_single("007"), 7.0f);
    EXPECT_EQ(text_to_single("1e3"), 1000.0f);
    EXPECT_EQ(text_to_single("1E+3"), 1000.0f);
    EXPECT_EQ(text_to_single("+2.5e-2"), 0.025f);
    EXPECT_EQ(text_to_single("-1.234568E+07"), -12345680.0f);
    EXPECT_EQ(text_to_single("1e0000000000000000000003"), 1000.0f);
    EXPECT_EQ(text_to_single("0.1"), 0.1f);
    EXPECT_EQ(bits(text_to_single("-0")), bits(-0.0f));
    EXPECT_EQ(bits(text_to_single("0")), 0u);
    // Blanks around the number only.
    EXPECT_EQ(text_to_single("   3  "), 3.0f);
    EXPECT_EQ(text_to_single(" -4.5"), -4.5f);
    // Zero mantissas stay zero whatever the exponent.
    EXPECT_EQ(text_to_single("0e99999999999999999999"), 0.0f);
    EXPECT_EQ(text_to_single("0.000e-99999"), 0.0f);
    // Long mantissas: the leading digits and the exponent set the magnitude.
    EXPECT_EQ(text_to_single("0." + std::string(200, '0') + "1e201"), 1.0f);
    EXPECT_EQ(text_to_single("1" + std::string(200, '0') + "e-200"), 1.0f);
}

TEST(TextToSingle, RejectsTextsThatAreNotNumbers) {
    for (const char* t : {"",
                          " ",
                          "     ",
                          "1\t",
                          "\t1",
                          "1 2",
                          "- 1",
                          "1 e5",
                          ".",
                          "-.",
                          "+",
                          "-",
                          "e5",
                          "1e",
                          "1e+",
                          "1E-",
                          "+-1",
                          "--1",
                          "1,5",
                          "1.2.3",
                          "1e5.0",
                          "1e2e3",
                          "inf",
                          "-inf",
                          "INF",
                          "nan",
                          "infinity",
                          "0x10",
                          "0x1p3",
                          "1d5",
                          "1_000",
                          "abc",
                          "12a",
                          "\xC2\xA0"
                          "1",
                          "1\n"}) {
        EXPECT_EQ(single_error(t), ErrorKind::TypeMismatch) << '"' << t << '"';
    }
    EXPECT_EQ(single_error(std::string_view("1\0", 2)), ErrorKind::TypeMismatch);
}

TEST(TextToSingle, OverflowsBeyondTheFloatRangeAndUnderflowsToDenormalsOrZero) {
    EXPECT_EQ(single_error("1e39"), ErrorKind::Overflow);
    EXPECT_EQ(single_error("-1e39"), ErrorKind::Overflow);
    EXPECT_EQ(single_error("3.4028236e38"), ErrorKind::Overflow);  // past the half-way point to 2^128
    EXPECT_EQ(single_error("1e99999999999999999999"), ErrorKind::Overflow);
    EXPECT_EQ(single_error("0.00000000000000000001e99999"), ErrorKind::Overflow);
    EXPECT_EQ(single_error("  -" + std::string(40, '9') + "  "), ErrorKind::Overflow);

    EXPECT_EQ(text_to_single("3.4028235e38"), FLT_MAX);
    EXPECT_EQ(text_to_single("-340282346638528859811704183484516925440"), -FLT_MAX);
    EXPECT_EQ(text_to_single("1.17549435E-38"), FLT_MIN);

    EXPECT_EQ(text_to_single("1e-45"), std::numeric_limits<float>::denorm_min());
    EXPECT_EQ(text_to_single("-8e-46"), -std::numeric_limits<float>::denorm_min());
    EXPECT_EQ(bits(text_to_single("1e-46")), bits(0.0f));
    EXPECT_EQ(bits(text_to_single("-1e-50")), bits(-0.0f));
    EXPECT_EQ(bits(text_to_single("1e-99999999999999999999")), bits(0.0f));
    EXPECT_EQ(bits(text_to_single("-" + std::string(100, '9') + "e-200")), bits(-0.0f));
}

TEST(TextToSingle, RoundsOnceToTheNearestFloat) {
    // 2^24 + 1 lies half-way: the even neighbour wins.
    EXPECT_EQ(text_to_single("16777217"), 16777216.0f);
    EXPECT_EQ(text_to_single("16777219"), 16777220.0f);
    // 1 + 2^-24 is half-way between 1 and the next float; a hair above it must round up. Reading via
    // double would first land exactly on the half and then go down to 1.
    EXPECT_EQ(text_to_single("1.000000059604644775390625"), 1.0f);
    EXPECT_EQ(text_to_single("1.00000005960464477539062500000000001"), std::nextafter(1.0f, 2.0f));
    EXPECT_EQ(text_to_single("0.99999997"), std::nextafter(1.0f, 0.0f));
}

TEST(TextToSingle, AgreesWithTheCLibraryOnRandomDecimalTexts) {
    std::mt19937 gen(20240611);
    std::uniform_int_distribution<int> ndig(1, 25), digit(0, 9), expo(-60, 45), coin(0, 3);
    for (int n = 0; n < 200000; ++n) {
        std::string t;
        if (coin(gen) == 0) t += '-';
        const int len = ndig(gen);
        const int point = std::uniform_int_distribution<int>(0, len)(gen);
        for (int i = 0; i < len; ++i) {
            if (i == point) t += '.';
            t += static_cast<char>('0' + digit(gen));
        }
        if (coin(gen) != 0) t += 'e' + std::to_string(expo(gen));
        errno = 0;
        const float want = std::strtof(t.c_str(), nullptr);
        if (std::isinf(want)) {
            ASSERT_EQ(single_error(t), ErrorKind::Overflow) << t;
        } else {
            ASSERT_EQ(bits(text_to_single(t)), bits(want)) << t;
        }
    }
}

TEST(TextToSingle, ReadsEveryTokenOfTheTestMatricesAndWritesItBack) {
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "test matrices absent";
    long tokens = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".txt") continue;
        std::ifstream in(entry.path());
        std::string line, tok;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::istringstream words(line);
            while (words >> tok) {
                const float v = text_to_single(tok);
                ASSERT_EQ(bits(v), bits(std::strtof(tok.c_str(), nullptr))) << tok;
                // What the program writes for the value reads back within the seventh digit.
                const float back = text_to_single(single_to_text(v));
                ASSERT_LE(std::fabs(back - v), 6e-7f * std::fabs(v)) << tok;
                ++tokens;
            }
        }
    }
    EXPECT_GT(tokens, 0);
}

TEST(TextToInt16, RoundsHalvesToEvenAndChecksTheRange) {
    EXPECT_EQ(text_to_int16("2.5"), 2);
    EXPECT_EQ(text_to_int16("3.5"), 4);
    EXPECT_EQ(text_to_int16("-2.5"), -2);
    EXPECT_EQ(text_to_int16("-3.5"), -4);
    EXPECT_EQ(text_to_int16("0.5"), 0);
    EXPECT_EQ(text_to_int16(".5"), 0);
    EXPECT_EQ(text_to_int16("1.5"), 2);
    EXPECT_EQ(text_to_int16("0.49999"), 0);
    EXPECT_EQ(text_to_int16("2.51"), 3);
    // Just above a half, by less than a double can tell.
    EXPECT_EQ(text_to_int16("2.5000000000000000000001"), 3);
    EXPECT_EQ(text_to_int16("25e-1"), 2);
    EXPECT_EQ(text_to_int16("0.035E2"), 4);
    EXPECT_EQ(text_to_int16("1e4"), 10000);
    EXPECT_EQ(text_to_int16("  7  "), 7);
    EXPECT_EQ(text_to_int16("+000000032767"), 32767);
    EXPECT_EQ(text_to_int16("32767.4"), 32767);
    EXPECT_EQ(text_to_int16("-32768"), -32768);
    EXPECT_EQ(text_to_int16("-32768.5"), -32768);
    EXPECT_EQ(text_to_int16("1e-50"), 0);
    EXPECT_EQ(text_to_int16("-0.4"), 0);
    EXPECT_EQ(text_to_int16("0e99999999999999999999"), 0);

    for (const char* t : {"32767.5", "32768", "-32768.6", "-32769", "40000", "1e10", "100000", "3276.75e1",
                          "1e99999999999999999999", "-1e39"})
        EXPECT_EQ(int16_error(t), ErrorKind::Overflow) << t;
    for (const char* t : {"abc", "", "  ", "2,5", "1\t", "5 5", "e3", "inf"})
        EXPECT_EQ(int16_error(t), ErrorKind::TypeMismatch) << t;
}

TEST(SingleToText, WritesSevenSignificantDigitsLikePercentG) {
    EXPECT_EQ(single_to_text(0.0f), "0");
    EXPECT_EQ(single_to_text(-0.0f), "0");
    EXPECT_EQ(single_to_text(1.0f), "1");
    EXPECT_EQ(single_to_text(100.0f), "100");
    EXPECT_EQ(single_to_text(-1.5f), "-1.5");
    EXPECT_EQ(single_to_text(0.1f), "0.1");
    EXPECT_EQ(single_to_text(1.0f / 3.0f), "0.3333333");
    EXPECT_EQ(single_to_text(-2.0f / 3.0f), "-0.6666667");
    // The exponent form starts below 1E-04 and at 1E+07.
    EXPECT_EQ(single_to_text(0.0001f), "0.0001");
    EXPECT_EQ(single_to_text(0.00001f), "1E-05");
    EXPECT_EQ(single_to_text(-0.00012345678f), "-0.0001234568");
    EXPECT_EQ(single_to_text(1234567.0f), "1234567");
    EXPECT_EQ(single_to_text(9999999.0f), "9999999");
    EXPECT_EQ(single_to_text(10000000.0f), "1E+07");
    EXPECT_EQ(single_to_text(12345678.0f), "1.234568E+07");
    EXPECT_EQ(single_to_text(-12345678.0f), "-1.234568E+07");
    EXPECT_EQ(single_to_text(FLT_MAX), "3.402823E+38");
    EXPECT_EQ(single_to_text(-FLT_MAX), "-3.402823E+38");
    EXPECT_EQ(single_to_text(std::numeric_limits<float>::denorm_min()), "1.401298E-45");
    EXPECT_EQ(single_to_text(0.99999994f), "0.9999999");
    EXPECT_EQ(single_to_text(std::nextafter(1.0f, 2.0f)), "1");  // rounds to a whole value: no point left
    EXPECT_EQ(single_to_text(std::numeric_limits<float>::infinity()), "INF");
    EXPECT_EQ(single_to_text(-std::numeric_limits<float>::infinity()), "-INF");

    // The buffer form writes the same text and stays within its 16 chars.
    char buf[17];
    buf[16] = '#';
    for (float v : {-1.234568e38f, -0.0001234568f, 0.0f, 42.0f}) {
        const std::size_t n = single_to_text(v, buf);
        EXPECT_LE(n, 13u);
        EXPECT_EQ(std::string(buf, n), single_to_text(v));
    }
    EXPECT_EQ(buf[16], '#');
}

TEST(SingleToText, RandomFloatsMatchPercentGAndReadBack) {
    std::mt19937 gen(7);
    char ref[32];
    char buf[16];
    for (int n = 0; n < 300000; ++n) {
        const float v = std::bit_cast<float>(static_cast<uint32_t>(gen()));
        if (!std::isfinite(v)) continue;
        std::snprintf(ref, sizeof ref, "%.7G", static_cast<double>(v));
        const std::string want = v == 0.0f ? "0" : ref;
        const std::string got(buf, single_to_text(v, buf));
        ASSERT_EQ(got, want) << bits(v);
        // The text reads back to the float nearest to its seven-digit decimal.
        ASSERT_EQ(bits(text_to_single(got)), bits(std::strtof(want.c_str(), nullptr))) << got;
    }
}

TEST(DecimalSeparator, CommaReplacesThePointBothWays) {
    {
        SeparatorGuard comma(',');
        EXPECT_EQ(decimal_separator(), ',');
        EXPECT_EQ(text_to_single("1,5"), 1.5f);
        EXPECT_EQ(text_to_single(" -2,5E-3 "), -0.0025f);
        EXPECT_EQ(text_to_single(",5"), 0.5f);
        EXPECT_EQ(text_to_single("5,"), 5.0f);
        EXPECT_EQ(text_to_single("7"), 7.0f);
        // A text longer than the conversion's stack buffer.
        EXPECT_EQ(text_to_single("0," + std::string(100, '0') + "25e102"), 25.0f);
        EXPECT_EQ(single_error("1.5"), ErrorKind::TypeMismatch);
        EXPECT_EQ(single_error(","), ErrorKind::TypeMismatch);
        EXPECT_EQ(single_error("1,5,"), ErrorKind::TypeMismatch);
        EXPECT_EQ(text_to_int16("2,5"), 2);
        EXPECT_EQ(text_to_int16("3,5"), 4);
        EXPECT_EQ(int16_error("2.5"), ErrorKind::TypeMismatch);

        EXPECT_EQ(single_to_text(1.5f), "1,5");
        EXPECT_EQ(single_to_text(12345678.0f), "1,234568E+07");
        EXPECT_EQ(text_to_single(single_to_text(0.1f)), 0.1f);
        EXPECT_EQ(double_to_text(12.5), "12,5");
        EXPECT_EQ(double_to_text(2.0), "2");
    }
    EXPECT_EQ(decimal_separator(), '.');
    EXPECT_EQ(text_to_single("1.5"), 1.5f);
    EXPECT_EQ(single_error("1,5"), ErrorKind::TypeMismatch);
    EXPECT_EQ(single_to_text(1.5f), "1.5");
}

TEST(DoubleToText, ShowsTheOrderOverTenAsPlainDecimals) {
    EXPECT_EQ(double_to_text(0.0), "0");
    EXPECT_EQ(double_to_text(0.2), "0.2");
    EXPECT_EQ(double_to_text(0.5), "0.5");
    EXPECT_EQ(double_to_text(2.0), "2");
    EXPECT_EQ(double_to_text(12.5), "12.5");
    EXPECT_EQ(double_to_text(1638.1), "1638.1");
    EXPECT_EQ(double_to_text(-0.5), "-0.5");
    EXPECT_EQ(double_to_text(100000.0), "100000");
    EXPECT_EQ(double_to_text(1e300), "1E+300");
    // Every order the box can hold: plain decimal text that reads back to the same double.
    for (int n = -32768; n <= 32767; ++n) {
        const double v = n / 10.0;
        const std::string t = double_to_text(v);
        ASSERT_EQ(t.find_first_of("Ee"), std::string::npos) << t;
        ASSERT_EQ(std::strtod(t.c_str(), nullptr), v) << t;
    }
    EXPECT_EQ(int_to_text(0), "0");
    EXPECT_EQ(int_to_text(-32768), "-32768");
    EXPECT_EQ(int_to_text(16381), "16381");
}

}  // namespace
}  // namespace varnex
