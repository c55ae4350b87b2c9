#include "files/text_files.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/errors.h"
#include "files/text_io.h"

namespace varnex {
namespace {

std::vector<std::string> tokens_of(std::string line) {
    int16_t m = -1;
    std::vector<std::string> y;
    get_row(line, m, y);
    EXPECT_EQ(static_cast<std::size_t>(m) + (m > 0 ? 1 : 0), y.size());
    return m > 0 ? std::vector<std::string>(y.begin() + 1, y.end()) : std::vector<std::string>{};
}

TEST(GetRow, SplitsOnBlanksOnlyAndLeavesTheLastTokenInTheWorkingCopy) {
    EXPECT_EQ((std::vector<std::string>{"2", "1", "5"}), tokens_of("  2   1 5 "));
    // A tab does not separate, nor does a CR.
    EXPECT_EQ((std::vector<std::string>{"2\t1", "5"}), tokens_of("2\t1 5"));
    EXPECT_EQ((std::vector<std::string>{"a\rb"}), tokens_of(" a\rb"));

    std::string s = "  7 8  nine  ";
    int16_t m = 0;
    std::vector<std::string> y;
    get_row(s, m, y);
    EXPECT_EQ(3, m);
    EXPECT_EQ("nine", s);
    EXPECT_EQ("", y[0]);
}

TEST(GetRow, BlankLineKeepsTheListAndALongerListIsCutToTheNewCount) {
    std::vector<std::string> y;
    int16_t m = 0;
    std::string s = "a b c d";
    get_row(s, m, y);
    ASSERT_EQ(5u, y.size());

    s = "   ";
    get_row(s, m, y);
    EXPECT_EQ(0, m);
    EXPECT_EQ(5u, y.size());
    EXPECT_EQ("d", y[4]);
    EXPECT_EQ("", s);

    s = "x y";
    get_row(s, m, y);
    EXPECT_EQ(2, m);
    EXPECT_EQ((std::vector<std::string>{"", "x", "y"}), y);
}

TEST(GetRow, MoreThan32767TokensOverflowTheCount) {
    std::string line;
    for (int i = 0; i < 32767; ++i) line += "1 ";
    std::string ok = line;
    int16_t m = 0;
    std::vector<std::string> y;
    get_row(ok, m, y);
    EXPECT_EQ(32767, m);

    std::string bad = line + "2";
    try {
        get_row(bad, m, y);
        FAIL() << "no overflow";
    } catch (const RunError& e) {
        EXPECT_EQ(ErrorKind::Overflow, e.kind());
    }
    std::vector<std::string_view> views;
    EXPECT_NO_THROW(split_tokens(line, views));
    EXPECT_THROW(split_tokens(line + "2", views), RunError);
}

// The fast splitter that Open uses must give get_row's tokens for every line: random lines over an
// alphabet of blanks, tabs, CRs, digits and signs, of awkward lengths.
TEST(SplitTokens, AgreesWithGetRowOnRandomLines) {
    std::mt19937 gen(12345);
    const std::string alphabet = "  \t\r01.-eE ";
    std::vector<std::string_view> views;
    for (int trial = 0; trial < 3000; ++trial) {
        std::string line;
        std::size_t len = gen() % 40;
        for (std::size_t i = 0; i < len; ++i) line += alphabet[gen() % alphabet.size()];
        std::vector<std::string> expected = tokens_of(line);
        split_tokens(line, views);
        ASSERT_EQ(expected.size(), views.size()) << '"' << line << '"';
        for (std::size_t i = 0; i < views.size(); ++i) ASSERT_EQ(expected[i], views[i]) << '"' << line << '"';
    }
}

TEST(LineReader, ReadsLfAndCrLfAlikeAndAddsNoLineAfterTheLastEnd) {
    auto lines = [](std::string_view text) {
        std::vector<std::string> out;
        LineReader r(text);
        while (!r.at_end()) out.emplace_back(r.next());
        return out;
    };
    EXPECT_EQ((std::vector<std::string>{"2 1 5 ", "1 3 10 "}), lines("2 1 5 \r\n1 3 10 \r\n"));
    EXPECT_EQ((std::vector<std::string>{"2 1 5", "1 3 10"}), lines("2 1 5\n1 3 10"));
    // Only one CR before the line end is dropped; a CR inside a line stays.
    EXPECT_EQ((std::vector<std::string>{"a\r", "b\rc", ""}), lines("a\r\r\nb\rc\r\n\n"));
    EXPECT_TRUE(lines("").empty());
    EXPECT_EQ((std::vector<std::string>{""}), lines("\r\n"));
}

TEST(SolutionName, TextAfterTheFirstDataAndOneSeparator) {
    EXPECT_EQ("sys1.txt", solution_name("/home/u/varnex/data/sys1.txt"));
    EXPECT_EQ("sub/sys.txt", solution_name("/opt/varnex/data/sub/sys.txt"));
    // The first occurrence counts, also inside a folder name of the application folder.
    EXPECT_EQ("data/sys.txt", solution_name("/home/mydata/data/sys.txt"));
    // Case-sensitive: "Data" is no match, so the name is the path from its fifth character on.
    EXPECT_EQ("/Data/s.txt", solution_name("/tmp/Data/s.txt"));
    EXPECT_EQ("", solution_name("/tmp"));
    EXPECT_EQ("", solution_name(""));
    EXPECT_EQ("", solution_name("/x/data"));
    EXPECT_EQ("", solution_name("/x/data/"));
}

}  // namespace
}  // namespace varnex
