#include "files/text_files.h"

#include <gtest/gtest.h>

#include <random>

#include "core/errors.h"
#include "files/text_io.h"

namespace varnex {
namespace {

using V = std::vector<std::string>;

// get_row's tokens 1..m, or the whole untouched list y when the line holds none.
V tokens_of(std::string line, V y = {}) {
    int16_t m = 0;
    get_row(line, m, y);
    return m == 0 ? y : V(y.begin() + 1, y.end());
}

TEST(GetRow, SplitsOnBlanksOnlyLeavesTheListOnABlankLineAndOverflowsPast32767) {
    EXPECT_EQ((V{"2\t1", "5\r"}), tokens_of("  2\t1   5\r "));  // a tab is part of a token, so is a CR
    EXPECT_EQ((V{"", "a", "b"}), tokens_of("   ", {"", "a", "b"}));
    EXPECT_EQ((V{"x"}), tokens_of("x", {"", "a", "b"}));  // cut back to 0..m
    std::string line;
    for (int i = 0; i < 32767; ++i) line += "1 ";
    EXPECT_EQ(32767u, tokens_of(line).size());
    EXPECT_THROW(tokens_of(line + "2"), RunError);
    std::vector<std::string_view> views;
    EXPECT_THROW(split_tokens(line + "2", views), RunError);
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
        ASSERT_EQ(tokens_of(line), V(views.begin(), views.end())) << '"' << line << '"';
    }
}

TEST(SolutionName, TextAfterTheFirstDataAndOneSeparator) {
    EXPECT_EQ("sys1.txt", solution_name("/home/u/data/sys1.txt"));
    EXPECT_EQ("data/s.txt", solution_name("/home/mydata/data/s.txt"));
    EXPECT_EQ("/Data/s.txt", solution_name("/tmp/Data/s.txt"));  // no "data": from the fifth character on
    EXPECT_EQ("", solution_name("/x/data"));
}

}  // namespace
}  // namespace varnex
