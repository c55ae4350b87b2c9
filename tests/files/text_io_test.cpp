// Reading and writing files through a chunk buffer: lines come out as the lines of the whole text do,
// and pieces go into the file in order.
#include "files/text_io.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/fakes.h"

namespace varnex {
namespace {

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
    std::vector<std::string> texts = {"",       "\n",       "a",         "a\r",          "a\r\n", "\r",
                                      "a\r\r\n", "a\n\nb\n", "x\r\ny\r\n", "2 1 5 \r\n1 3 10 \r\n"};
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
