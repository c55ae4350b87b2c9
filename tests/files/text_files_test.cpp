#include "files/text_files.h"

#include <gtest/gtest.h>

#include <random>

#include "core/errors.h"
#include "files/text_io.h"

namespace varnex {
namespace {

// Tokens 1..m of get_row as a list, checking that y was cut to 0..m.
std::vector<std::string> tokens_of(std::string line) {
    int16_t m = -1;
    std::vector<std::string> y;
    get_row(line, m, y);
    if (m == 0) return {};
    EXPECT_EQ(static_cast<std::size_t>(m) + 1, y.size());
    return {y.begin() + 1, y.end()};
}

TEST(GetRow, SplitsOnBlanksOnlyAndKeepsTheListOnABlankLine) {
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"2", "1", "5"}), tokens_of("  2   1 5 "));
    EXPECT_EQ((V{"2\t1", "5"}), tokens_of("2\t1 5"));  // a tab is part of a token, so is a CR
    EXPECT_EQ((V{"a\rb"}), tokens_of(" a\rb"));

    std::string s = "a b c  d  ";
    int16_t m = 0;
    std::vector<std::string> y;
    get_row(s, m, y);
    EXPECT_EQ("d", s);  // the working copy ends as the last token
    s = "   ";
    get_row(s, m, y);
    EXPECT_EQ(0, m);
    EXPECT_EQ((V{"", "a", "b", "c", "d"}), y);
    s = "x y";
    get_row(s, m, y);
    EXPECT_EQ((V{"", "x", "y"}), y);
}

TEST(GetRow, MoreThan32767TokensOverflowInBothSplitters) {
    std::string line;
    for (int i = 0; i < 32767; ++i) line += "1 ";
    std::vector<std::string_view> views;
    EXPECT_EQ(32767u, tokens_of(line).size());
    EXPECT_NO_THROW(split_tokens(line, views));
    line += "2";
    int16_t m = 0;
    std::vector<std::string> y;
    EXPECT_THROW(get_row(line, m, y), RunError);
    EXPECT_THROW(split_tokens(line, views), RunError);
}

// Open uses the fast splitter; it must give get_row's tokens for any line.
TEST(SplitTokens, AgreesWithGetRowOnRandomLines) {
    std::mt19937 gen(12345);
    const std::string alphabet = "  \t\r01.-eE ";
    std::vector<std::string_view> views;
    for (int trial = 0; trial < 3000; ++trial) {
        std::string line(gen() % 40, ' ');
        for (char& c : line) c = alphabet[gen() % alphabet.size()];
        split_tokens(line, views);
        ASSERT_EQ(tokens_of(line), std::vector<std::string>(views.begin(), views.end())) << '"' << line << '"';
    }
}

TEST(LineReader, ReadsLfAndCrLfAlikeWithNoLineAfterTheLastEnd) {
    auto lines = [](std::string_view text) {
        std::vector<std::string> out;
        for (LineReader r(text); !r.at_end();) out.emplace_back(r.next());
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"2 1 5 ", "1 3 10 "}), lines("2 1 5 \r\n1 3 10 \r\n"));
    EXPECT_EQ((V{"2 1 5", "1 3 10"}), lines("2 1 5\n1 3 10"));
    EXPECT_EQ((V{"a\r", "b\rc", ""}), lines("a\r\r\nb\rc\r\n\n"));  // one CR dropped per line end
    EXPECT_EQ(V{}, lines(""));
}

TEST(SolutionName, TextAfterTheFirstDataAndOneSeparator) {
    EXPECT_EQ("sys1.txt", solution_name("/home/u/varnex/data/sys1.txt"));
    EXPECT_EQ("sub/sys.txt", solution_name("/opt/data/sub/sys.txt"));
    EXPECT_EQ("data/sys.txt", solution_name("/home/mydata/data/sys.txt"));  // the first occurrence
    EXPECT_EQ("/Data/s.txt", solution_name("/tmp/Data/s.txt"));             // case-sensitive: from the 5th char
    for (const char* empty : {"", "/tmp", "/x/data", "/x/data/"}) EXPECT_EQ("", solution_name(empty)) << empty;
}

}  // namespace
}  // namespace varnex
