// The Connect command: the exact bytes of the row file, records beyond a smaller system left alone,
// the failures that keep the earlier system in force, and the state of connected mode afterwards.

#include "files/connect_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <variant>

#include "core/convert.h"
#include "core/errors.h"
#include "files/row_writer.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::TestApp;

class ConnectTest : public ::testing::Test {
  protected:
    TestApp t;
    App& app = t.app;
    SystemState& st = t.app.st;
    std::string rows = row_file_path(t.app.app_folder);

    void SetUp() override { std::filesystem::create_directories(t.dir.path() + "/data"); }

    // Connects the text (written as data/<name>) through the dialog.
    void connect(const std::string& text, const std::string& name = "sys.txt") {
        t.cd.next.push_back(t.dir.write("data/" + name, text));
        Connect_Click(app);
    }
    std::string bytes_at(std::size_t offset, std::size_t n = 4) { return test::read_file(rows).substr(offset, n); }
    // A memory-mode system of order 3 as "Accept N" leaves it.
    void memory_mode() {
        st.N = 3;
        st.DataMode = kModeMemory;
        for (auto* v : {&st.X, &st.R, &st.D, &st.B}) dim_cleared(*v, 3);
        st.A.dim(3);
        st.IterCount = 4;
        t.ui.texts[Ctl::txtN] = "3";
    }
};

TEST_F(ConnectTest, ConvertsTheExampleIntoRecordsAndEntersConnectedMode) {
    connect("2 1 5\r\n1 3 10\r\n");
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(t.cd.init_dirs, std::vector<std::string>{t.dir.path() + "/data/"});
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), t.dir.path() + "/data"));
    // Six records of 128 bytes; the values little-endian in the first 4 bytes of each.
    EXPECT_EQ(test::read_file(rows).size(), 6u * 128);
    EXPECT_EQ(bytes_at(256), std::string("\x00\x00\xA0\x40", 4));  // b(1) = 5
    EXPECT_EQ(bytes_at(384), std::string("\x00\x00\x80\x3F", 4));  // a(2,1) = 1
    EXPECT_EQ(bytes_at(640), std::string("\x00\x00\x20\x41", 4));  // b(2) = 10

    EXPECT_EQ(st.N, 2);
    EXPECT_EQ(st.DataMode, kModeConnected);
    EXPECT_EQ(st.IterCount, 1);
    EXPECT_EQ(st.X, (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(st.R, (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(st.D, (std::vector<float>{0, 0, 0}));
    EXPECT_TRUE(t.ui.enabled(Ctl::cmdSolution) && t.ui.enabled(Ctl::cmdIter));
    EXPECT_EQ(t.ui.text(Ctl::txtN), "2");
    EXPECT_EQ(t.ui.text(Ctl::txtEps), "0.2");
    ASSERT_EQ(app.grid.rows(), 3);
    ASSERT_EQ(app.grid.cols(), 2);
    EXPECT_EQ(app.grid.text(0, 0), "Solution");
    EXPECT_EQ(app.grid.text(2, 0), "X(2)=");
    EXPECT_EQ(app.grid.text(1, 1), "0");
    EXPECT_FALSE(st.file3.is_open());
}

TEST_F(ConnectTest, SmallerSystemLeavesLaterRecordsAndReadsLooseLayout) {
    connect("2 1 5\r\n1 3 10\r\n");
    const std::string before = test::read_file(rows);
    // Blanks around and between tokens, LF line ends and lines after line N are ignored.
    connect("   4   8  \n7 7 7\n", "small.txt");
    const std::string after = test::read_file(rows);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(st.N, 1);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, 4), std::string("\x00\x00\x80\x40", 4));    // a(1,1) = 4
    EXPECT_EQ(after.substr(128, 4), std::string("\x00\x00\x00\x41", 4));  // b(1) = 8
    EXPECT_EQ(after.substr(256), before.substr(256));                     // records 3..6 untouched
    EXPECT_EQ(t.ui.text(Ctl::txtEps), "0.1");
}

TEST_F(ConnectTest, LongLineAcrossReadBlocksAndStoredSolution) {
    // A line longer than the read blocks, tokens after the (N+1)-th, a line after line N, and a
    // stored solution of the system file.
    t.dir.write("data/solutions/sys.txt", "0.8 1.4 \r\n");
    connect("2" + std::string(3 << 20, ' ') + "1 5\r\n1 3 10 77 x\r\nnot read\r\n");
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(bytes_at(256), std::string("\x00\x00\xA0\x40", 4));
    EXPECT_EQ(bytes_at(640), std::string("\x00\x00\x20\x41", 4));
    EXPECT_EQ(st.X, (std::vector<float>{0, 0.8f, 1.4f}));
    EXPECT_EQ(app.grid.text(1, 1), "0.8");
    EXPECT_EQ(app.grid.text(2, 1), "1.4");
}

TEST_F(ConnectTest, BadContentKeepsTheEarlierSystem) {
    // A bad token, a short line, an empty line, a tab inside a token, a single token, an empty file:
    // MsgBadNumber, and the memory-mode system stays in force with its order.
    const char* texts[] = {
        "2 1 5\r\n1 abc 10\r\n", "2 1 5\r\n1 3\r\n", "2 1 5\r\n\r\n1 3 10\r\n", "2\t1 5\r\n", "7\r\n", ""};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        memory_mode();
        t.box.shown.clear();
        connect(text);
        EXPECT_EQ(t.box.shown, std::vector<std::string>{st.msg.MsgBadNumber});
        EXPECT_EQ(st.DataMode, kModeMemory);
        EXPECT_EQ(st.N, 3);
        EXPECT_EQ(st.IterCount, 4);
        EXPECT_EQ(st.X.size(), 4u);
        EXPECT_EQ(t.ui.text(Ctl::txtN), "3");
    }
    // The records converted before the bad token stay written: a(2,1) = 1 at record 4.
    memory_mode();
    connect("2 1 5\r\n1 abc 10\r\n");
    EXPECT_EQ(bytes_at(384), std::string("\x00\x00\x80\x3F", 4));

    // Order 99 over a row file of 0xEE bytes, token 70 of line 2 bad: records 101..169 hold 2, and
    // record 170 and every later one keep their bytes, although the tokens are converted in batches.
    std::ofstream(rows, std::ios::binary | std::ios::trunc) << std::string(300 * 128, '\xEE');
    std::string text;
    for (int j = 1; j <= 100; ++j) text += "1 ";
    text += "\r\n";
    for (int j = 1; j <= 100; ++j) text += j < 70 ? "2 " : j == 70 ? "2x " : "3 ";
    connect(text + "\r\n");
    EXPECT_EQ(t.box.shown.back(), st.msg.MsgBadNumber);
    EXPECT_EQ(bytes_at(168 * 128), std::string("\x00\x00\x00\x40", 4));  // record 169 = 2
    const std::string after = test::read_file(rows);
    EXPECT_EQ(after.size(), 300u * 128);
    EXPECT_TRUE(after.substr(169 * 128) == std::string(131 * 128, '\xEE'));
}

TEST_F(ConnectTest, FailedConversionAfterConnectedSystemDisablesSolving) {
    connect("2 1 5\r\n1 3 10\r\n");
    // Nothing written (no such file, row file unusable): the connected system stays solvable.
    t.cd.next.push_back(t.dir.path() + "/data/missing.txt");
    Connect_Click(app);
    EXPECT_EQ(t.box.shown, std::vector<std::string>{st.msg.MsgBadFile});
    t.cd.next.push_back(t.dir.path() + "/data");  // a folder is not a system file
    Connect_Click(app);
    EXPECT_EQ(t.box.shown.size(), 2u);
    EXPECT_TRUE(t.ui.enabled(Ctl::cmdSolution) && t.ui.enabled(Ctl::cmdIter));
    EXPECT_EQ(st.N, 2);
    EXPECT_EQ(st.DataMode, kModeConnected);

    // A conversion that failed after overwriting records: the old system cannot be solved any more.
    connect("5 5 5\r\n1 2 bad\r\n", "broken.txt");
    EXPECT_EQ(t.box.shown.back(), st.msg.MsgBadNumber);
    EXPECT_FALSE(t.ui.enabled(Ctl::cmdSolution));
    EXPECT_FALSE(t.ui.enabled(Ctl::cmdIter));
    EXPECT_EQ(st.N, 2);
    // A good conversion enables them again.
    connect("2 1 5\r\n1 3 10\r\n");
    EXPECT_TRUE(t.ui.enabled(Ctl::cmdSolution) && t.ui.enabled(Ctl::cmdIter));
}

TEST_F(ConnectTest, UnwritableRowFileCancelAndMissingDataFolder) {
    memory_mode();
    // A folder in the row file's place cannot be opened for writing.
    std::filesystem::create_directory(rows);
    connect("2 1 5\r\n1 3 10\r\n");
    EXPECT_EQ(t.box.shown, std::vector<std::string>{st.msg.MsgBadFile});
    EXPECT_EQ(st.DataMode, kModeMemory);
    EXPECT_EQ(st.N, 3);
    std::filesystem::remove(rows);

    // A cancelled dialog does nothing.
    t.box.shown.clear();
    t.cd.next.push_back(std::nullopt);
    Connect_Click(app);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(rows));
    EXPECT_EQ(st.DataMode, kModeMemory);

    // Without the data folder the command ends silently before the dialog.
    std::filesystem::remove_all(t.dir.path() + "/data");
    t.cd.next.push_back(t.dir.write("sys.txt", "2 1 5\r\n1 3 10\r\n"));
    Connect_Click(app);
    EXPECT_EQ(t.cd.opens, 2);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(st.DataMode, kModeMemory);
}

TEST(RowWriterTest, RunsLongerThanABufferAndGapsLandAtTheirRecords) {
    // An existing file of 120000 records of 0xEE bytes: records 1..70000 and 100000..100009 are put,
    // one by one and in runs, in several buffers; everything else keeps its bytes and the file keeps its length.
    test::TempDir dir;
    const std::string path = dir.write("rows.vnx", std::string(120000 * 128, '\xEE'));
    RowWriter w;
    w.open(path);
    // Records 35001..70000 as runs of 777, one of them across the buffer boundary after 65536.
    for (int r = 1; r <= 35000; ++r) w.put(r, static_cast<float>(r));
    std::vector<float> run(777);
    for (int r = 35001; r <= 70000; r += 777) {
        const int n = std::min(777, 70001 - r);
        for (int q = 0; q < n; ++q) run[q] = static_cast<float>(r + q);
        w.put_run(r, run.data(), n);
    }
    for (int r = 100000; r < 100010; ++r) w.put(r, -1.0f);
    w.close();
    const std::string bytes = test::read_file(path);
    ASSERT_EQ(bytes.size(), 120000u * 128);
    auto value = [&](std::size_t r) {
        float v;
        std::memcpy(&v, bytes.data() + (r - 1) * 128, 4);
        return v;
    };
    for (std::size_t r : {1u, 32768u, 32769u, 35001u, 65536u, 65537u, 69999u, 70000u})
        EXPECT_EQ(value(r), static_cast<float>(r));
    EXPECT_EQ(bytes.substr(4, 124), std::string(124, '\0'));
    EXPECT_EQ(bytes.substr(70000 * 128, 128), std::string(128, '\xEE'));
    EXPECT_EQ(value(100000), -1.0f);
    EXPECT_EQ(value(100009), -1.0f);
    EXPECT_EQ(bytes.substr(100009 * 128), std::string(bytes.size() - 100009 * 128, '\xEE'));
    EXPECT_THROW(w.put(1, 0.0f), RunError);  // closed
}

// The bits of a conversion, or the kind of error it raised.
template <class F>
std::variant<std::uint32_t, ErrorKind> outcome(F convert, const std::string& token) {
    try {
        return std::bit_cast<std::uint32_t>(convert(token));
    } catch (const RunError& e) {
        return e.kind();
    }
}

TEST(TokenToSingleTest, SameBitsAndErrorsAsTextToSingle) {
    // Edge cases (the empty token, a tab inside, more than 2^24, too many digits, exponents), then
    // random decimals with and without a separator, signs and exponents.
    std::vector<std::string> tokens = {"", "2\t1", "1,5"};
    std::istringstream edge(
        "0 -0 +5 5. .5 . - 1.2.3 1e5 abc 16777216 16777217 0.1 -0.0001 3.4e38 1e39 12345678 0.0000000001234 "
        "99999999999999999999 -2832268.52");
    for (std::string t; edge >> t;) tokens.push_back(t);
    std::mt19937 rng(5);
    const char alphabet[] = "0123456789";
    for (int k = 0; k < 200000; ++k) {
        std::string t;
        if (rng() % 4 == 0) t += rng() % 2 ? '-' : '+';
        const int digits = 1 + static_cast<int>(rng() % 12);
        const int sep_at = static_cast<int>(rng() % (digits + 2)) - 1;
        for (int d = 0; d < digits; ++d) {
            if (d == sep_at) t += '.';
            t += alphabet[rng() % 10];
        }
        if (rng() % 16 == 0) t += "E-" + std::to_string(rng() % 40);
        tokens.push_back(t);
    }
    for (const std::string& t : tokens) {
        auto want = outcome([](const std::string& x) { return text_to_single(x); }, t);
        ASSERT_EQ(outcome([](const std::string& x) { return token_to_single(x); }, t), want) << t;
    }
}

TEST(ScanTokensTest, SameValuesAndStopsAsTokenByToken) {
    // Random lines of plain, long, signed and bad tokens between runs of blanks, converted in batches
    // of every size, with digits in the slack behind the line: the values of token_to_single one by
    // one, and a stop with p at the first token that is not a number.
    std::mt19937 rng(11);
    const char* specials[] = {"abc",  "1e5",         "-",        "+",
                              ".",    "1.2.3",       "16777217", "0.000000001234",
                              "2\t1", "123456789.5", "-0",       "99999999999999999999",
                              "7,5"};
    for (int line_no = 0; line_no < 3000; ++line_no) {
        std::vector<std::string> tokens;
        std::string line(rng() % 3, ' ');
        const int count = 1 + static_cast<int>(rng() % 40);
        for (int k = 0; k < count; ++k) {
            std::string tok;
            if (rng() % 10 == 0) {
                tok = specials[rng() % (sizeof specials / sizeof *specials)];
            } else {
                if (rng() % 2) tok += rng() % 4 ? '-' : '+';
                const int digits = 1 + static_cast<int>(rng() % (rng() % 8 ? 9 : 40));
                const int sep_at = static_cast<int>(rng() % (digits + 2)) - 1;
                for (int d = 0; d < digits; ++d) {
                    if (d == sep_at) tok += '.';
                    tok += static_cast<char>('0' + rng() % 10);
                }
            }
            tokens.push_back(tok);
            line += tok + std::string(1 + rng() % (rng() % 5 ? 2 : 70), ' ');
        }
        if (rng() % 2) line.resize(line.find_last_not_of(' ') + 1);
        std::string buffer = line + std::string(kScanSlack, '7');
        const char* p = buffer.data();
        const char* const end = p + line.size();
        const int batch = 1 + static_cast<int>(rng() % 64);
        std::size_t next = 0;  // index of the next token to compare
        for (;;) {
            float values[64];
            const int got = scan_tokens(p, end, values, batch);
            for (int q = 0; q < got; ++q, ++next) {
                ASSERT_LT(next, tokens.size()) << line;
                ASSERT_EQ(std::bit_cast<std::uint32_t>(values[q]),
                          std::bit_cast<std::uint32_t>(text_to_single(tokens[next])))
                    << tokens[next];
            }
            if (got == batch) continue;
            if (next == tokens.size()) {
                EXPECT_EQ(line.find_first_not_of(' ', static_cast<std::size_t>(p - buffer.data())), std::string::npos);
            } else {
                // Stopped at a token that text_to_single refuses, with p at its first character.
                EXPECT_THROW(text_to_single(tokens[next]), RunError) << tokens[next];
                EXPECT_EQ(std::string_view(p, tokens[next].size()), tokens[next]);
            }
            break;
        }
    }
}

}  // namespace
}  // namespace varnex
