// The Connect command: the exact bytes of the row file, records beyond a smaller system left alone,
// the failures that keep the earlier system in force, and the fast writer behind it.

#include "commands/connect_command.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "core/errors.h"
#include "core/row_file_writer.h"
#include "steps.h"
#include "support/systems.h"

namespace varnex {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

// The value bytes of a record, little-endian.
std::string le(float v) {
    const auto u = std::bit_cast<std::uint32_t>(v);
    return {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
}

class ConnectTest : public test::ConnectFixture {
  protected:
    // The mode, the order, IterCount, the length of X and the order shown.
    auto summary() { return std::tuple(st.DataMode, st.N, st.IterCount, st.X.size(), t.ui.text(Ctl::txtN)); }
    std::string record(std::size_t r) { return test::read_file(rows).substr((r - 1) * 128, 4); }
    // A memory-mode system of order 3, as "Accept N" leaves it.
    void memory_mode() {
        st.N = 3;
        st.DataMode = kModeMemory;
        for (auto* v : {&st.X, &st.R, &st.D, &st.B}) dim_cleared(*v, 3);
        st.A.dim(3);
        st.IterCount = 4;
        t.ui.texts[Ctl::txtN] = "3";
    }
};

TEST_F(ConnectTest, ConvertsTheExampleThenASmallerSystemOverIt) {
    // A line longer than the read blocks, tokens after the (N+1)-th, a line after line N, and a
    // stored solution.
    t.dir.write("data/solutions/sys.txt", "0.8 1.4 \r\n");
    EXPECT_EQ(connect("2" + std::string(3 << 20, ' ') + "1 5\r\n1 3 10 77 x\r\nnot read\r\n"), V{});
    EXPECT_EQ(t.cd.init_dirs, V{t.dir.path() + "/data/"});
    // Six records of 128 bytes: b(1) = 5 at offset 256, a(2,1) = 1 at 384, b(2) = 10 at 640.
    const std::string before = test::read_file(rows);
    EXPECT_EQ(before.size(), 6u * 128);
    EXPECT_EQ(before.substr(256, 4), std::string("\x00\x00\xA0\x40", 4));
    EXPECT_EQ(before.substr(384, 4), std::string("\x00\x00\x80\x3F", 4));
    EXPECT_EQ(before.substr(640, 4), std::string("\x00\x00\x20\x41", 4));
    EXPECT_EQ(summary(), std::tuple(kModeConnected, 2, 1, 3u, "2"));
    EXPECT_EQ(st.X, (std::vector<float>{0, 0.8f, 1.4f}));
    EXPECT_TRUE(t.ui.enabled(Ctl::cmdSolution) && t.ui.enabled(Ctl::cmdIter));

    // Order 1 with blanks around tokens and LF line ends: records 1 and 2 rewritten, 3..6 untouched.
    connect("   4   8  \n7 7 7\n", "small.txt");
    const std::string after = test::read_file(rows);
    EXPECT_EQ(after.substr(0, 132), le(4) + std::string(124, '\0') + le(8));
    EXPECT_EQ(after.substr(256), before.substr(256));
}

TEST_F(ConnectTest, BadContentKeepsTheEarlierSystemAndTheRecordsAfterTheFailure) {
    // A bad token, a short line, an empty line, a tab inside a token, a single token, an empty file.
    for (const char* text :
         {"2 1 5\r\n1 abc 10\r\n", "2 1 5\r\n1 3\r\n", "2 1 5\r\n\r\n1 3 10\r\n", "2\t1 5\r\n", "7\r\n", ""}) {
        SCOPED_TRACE(text);
        memory_mode();
        EXPECT_EQ(connect(text), V{st.msg.MsgBadNumber});
        EXPECT_EQ(summary(), std::tuple(kModeMemory, 3, 4, 4u, "3"));
    }
    // Order 99 over a row file of 0xEE bytes, token 70 of line 2 bad: records 101..169 hold 2, and
    // record 170 and every later one keep their bytes, although the tokens are converted in batches.
    std::ofstream(rows, std::ios::binary | std::ios::trunc) << std::string(300 * 128, '\xEE');
    std::string text;
    for (int k = 1; k <= 200; ++k) text += k <= 100 ? "1 " : k < 170 ? "2 " : k == 170 ? "2x " : "3 ";
    connect(text.insert(200, "\r\n"));
    EXPECT_EQ(record(169), le(2));
    EXPECT_TRUE(test::read_file(rows).substr(169 * 128) == std::string(131 * 128, '\xEE'));
}

TEST_F(ConnectTest, FailuresThatWriteNothingAndTheSolveButtonsAfterAFailedConversion) {
    connect("2 1 5\r\n1 3 10\r\n");
    // A missing file, a folder for a system file, a cancelled dialog: the connected system stays.
    t.cd.next = {t.dir.path() + "/data/missing.txt", t.dir.path() + "/data", std::nullopt};
    for (int k = 0; k < 3; ++k) Connect_Click(t.app);
    EXPECT_EQ(t.box.shown, (V{st.msg.MsgBadFile, st.msg.MsgBadFile}));
    EXPECT_TRUE(st.DataMode == kModeConnected && t.ui.enabled(Ctl::cmdSolution));
    // A conversion that failed after overwriting records: the old system (N stays 2) cannot be solved
    // any more, until a good conversion.
    connect("5 5 5\r\n1 2 bad\r\n", "broken.txt");
    EXPECT_EQ(st.N, 2);
    EXPECT_FALSE(t.ui.enabled(Ctl::cmdSolution) || t.ui.enabled(Ctl::cmdIter));
    connect("2 1 5\r\n1 3 10\r\n");
    EXPECT_TRUE(t.ui.enabled(Ctl::cmdSolution) && t.ui.enabled(Ctl::cmdIter));

    // A folder in the row file's place cannot be opened for writing: MsgBadFile, memory mode kept.
    memory_mode();
    fs::remove(rows);
    fs::create_directory(rows);
    EXPECT_EQ(connect("2 1 5\r\n1 3 10\r\n"), V{st.msg.MsgBadFile});
    EXPECT_EQ(summary(), std::tuple(kModeMemory, 3, 4, 4u, "3"));
    // Without the data folder the command ends silently before the dialog.
    fs::remove_all(t.dir.path() + "/data");
    const int opens = t.cd.opens;
    Connect_Click(t.app);
    EXPECT_EQ(t.cd.opens, opens);
}

TEST(RowWriterTest, RunsAcrossBuffersAndGapsLandAtTheirRecords) {
    // Over 70000 records of 0xEE: records 1..65530 put one by one, a run of 777 across the buffer
    // boundary after record 65536, and record 69000 alone; everything else keeps its bytes.
    test::TempDir dir;
    const std::string path = dir.write("rows.vnx", std::string(70000 * 128, '\xEE'));
    RowWriter w;
    w.open(path);
    for (int r = 1; r <= 65530; ++r) w.put(r, static_cast<float>(r));
    std::vector<float> run(777);
    for (int q = 0; q < 777; ++q) run[q] = static_cast<float>(65531 + q);
    w.put_run(65531, run.data(), 777);
    w.put(69000, -1.0f);
    w.close();
    const std::string bytes = test::read_file(path);
    ASSERT_EQ(bytes.size(), 70000u * 128);
    for (std::size_t r : {1u, 32769u, 65530u, 65531u, 65537u, 66307u})
        EXPECT_EQ(bytes.substr((r - 1) * 128, 128), le(r) + std::string(124, '\0')) << r;
    EXPECT_EQ(bytes.substr(66307 * 128, 128), std::string(128, '\xEE'));
    EXPECT_EQ(bytes.substr(68999 * 128), le(-1) + std::string(124, '\0') + std::string(1000 * 128, '\xEE'));
}

TEST(RowWriterTest, AFailedWriteIsRaisedAtTheNextHandOverOrAtClose) {
    // On a full device a few records fail at close, many already at a later put: FileError either
    // way, no hang, and the file ends up closed.
    for (int n : {10, 300000}) {
        RowWriter w;
        w.open("/dev/full");
        const auto put = test::error_of([&] {
            for (int r = 1; r <= n; ++r) w.put(r, 1.0f);
        });
        const auto closed = test::error_of([&] { w.close(); });
        EXPECT_EQ(put.has_value(), n > 10);
        EXPECT_EQ(closed ? closed : put, ErrorKind::FileError) << n;
        EXPECT_FALSE(w.is_open());
    }
}

}  // namespace
}  // namespace varnex
