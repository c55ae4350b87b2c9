// The text files' pieces: a line's tokens, the solution file's name, and reading and writing through a
// chunk buffer: lines come out as the lines of the whole text do, and pieces go into the file in order.
#include "files/text_files.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/errors.h"
#include "files/text_io.h"
#include "support/fakes.h"

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

using Lines = std::vector<std::string>;

Lines whole_text_lines(const std::string& text) {
    Lines out;
    for (LineReader r(text); !r.at_end();) out.emplace_back(r.next());
    return out;
}

Lines file_lines(const std::string& path, std::size_t chunk) {
    InputFile in(path);
    FileLines lines(in, chunk);
    Lines out;
    while (!lines.at_end()) out.emplace_back(lines.next());
    return out;
}

// Line ends split across chunks, a CR before the LF or at the very end, empty lines, lines far longer
// than the chunk: every chunk size gives the lines of the whole text.
TEST(FileLines, GiveTheLinesOfTheWholeTextAtEveryChunkSize) {
    test::TempDir dir;
    std::vector<std::string> texts = {"",   "\n",      "a",        "a\r",        "a\r\n",
                                      "\r", "a\r\r\n", "a\n\nb\n", "x\r\ny\r\n", "2 1 5 \r\n1 3 10 \r\n"};
    texts.push_back(std::string(1000, 'q') + "\r\nshort\r\n" + std::string(3000, 'z'));
    std::mt19937 gen(5);
    const char alphabet[] = {'a', '1', ' ', '\r', '\n', '\n'};
    for (int k = 0; k < 40; ++k) {
        std::string t(std::uniform_int_distribution<int>(0, 300)(gen), ' ');
        for (char& c : t) c = alphabet[std::uniform_int_distribution<int>(0, 5)(gen)];
        texts.push_back(t);
    }
    for (std::size_t k = 0; k < texts.size(); ++k) {
        std::string name = "t";
        name += std::to_string(k);
        const std::string path = dir.write(name, texts[k]);
        const Lines want = whole_text_lines(texts[k]);
        for (std::size_t chunk :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{64}, FileLines::kChunk})
            ASSERT_EQ(file_lines(path, chunk), want) << "text " << k << ", chunk " << chunk;
    }
}

// Pieces that cross the chunk's end and one larger than the chunk come out in order; a writer dropped
// without close(), as a failing command drops it, leaves everything written to it in the file.
TEST(OutputFile, WritesEveryPieceInOrderAlsoWhenDroppedWithoutClose) {
    test::TempDir dir;
    std::string want;
    {
        OutputFile out(dir.path() + "/out.txt");
        std::mt19937 gen(9);
        for (int k = 0; k < 3000; ++k) {
            std::string piece(std::uniform_int_distribution<int>(0, 700)(gen), static_cast<char>('a' + k % 26));
            if (k == 1500) piece.assign(OutputFile::kChunk + 3, '#');
            out.write(piece);
            want += piece;
        }
    }
    EXPECT_EQ(test::read_file(dir.path() + "/out.txt"), want);
}

}  // namespace
}  // namespace varnex
