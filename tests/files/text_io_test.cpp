// Reading files: lines read through a chunk buffer come out as the lines of the whole text do, and a
// read costs memory in proportion to the file, not a fixed block.
#include "files/text_io.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "support/fakes.h"
#include "support/file_lines_probe.h"

namespace {

// Bytes requested from operator new while counting is on (the whole test program goes through these).
std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_requested{0};

}  // namespace

void* operator new(std::size_t size) {
    if (g_counting) g_requested += size;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The replacement pair is malloc and free underneath, which the compiler cannot see through.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

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

TEST(FileReading, CostsMemoryInProportionToTheFile) {
    test::TempDir dir;
    const std::string small = dir.write("small.txt", "2 1 5 \r\n");
    auto requested = [](auto&& read) {
        g_requested = 0;
        g_counting = true;
        read();
        g_counting = false;
        return g_requested.load();
    };
    EXPECT_LE(requested([&] { EXPECT_EQ(InputFile(small).read_all(), "2 1 5 \r\n"); }), 64u);
    EXPECT_LE(requested([&] { EXPECT_EQ(file_lines(small, FileLines::kChunk), Lines{"2 1 5 "}); }), 256u);
    const std::string written = dir.path() + "/written.txt";
    EXPECT_LE(requested([&] {
                  OutputFile out(written);
                  out.write("0.8 1.4 \r\n");
                  out.close();
              }),
              64u);

    // A 2 MB file goes through one chunk; a single line longer than the chunk grows the buffer to hold it.
    std::string big;
    for (int i = 0; i < 100000; ++i) big += "0.1234567 -8.25 1000.5 \r\n";
    const std::string big_path = dir.write("big.txt", big + std::string(600000, '7') + "\r\n");
    InputFile in(big_path);
    FileLines lines(in);
    std::size_t count = 0, largest = 0;
    for (; !lines.at_end(); ++count) {
        lines.next();
        largest = std::max(largest, FileLinesProbe::buffer_size(lines));
        if (count == 99999) {
            EXPECT_EQ(largest, FileLines::kChunk);
        }
    }
    EXPECT_EQ(count, 100001u);
    EXPECT_EQ(largest, 4 * FileLines::kChunk);
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
