// Connect and the solve commands in connected mode, through the real handlers: the exact bytes of the
// row file, records beyond a smaller system left alone, the failures that keep the earlier system in
// force; the worked runs, the row file closed however a run ends, and the choice between mapping and
// streaming the file, which give the same bits.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>

#include "commands/connect_command.h"
#include "core/convert.h"
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
    // A memory-mode system of order 3 after some sweeps, which a failed Connect leaves as it is.
    void memory_mode() {
        test::accept_n(t, "3");
        st.IterCount = 4;
    }
};

TEST_F(ConnectTest, ConvertsTheExampleThenASmallerSystemOverIt) {
    // A line longer than the read blocks, tokens after the (N+1)-th, a line after line N, and a
    // stored solution.
    t.dir.write("data/solutions/sys.txt", "0.8 1.4 \r\n");
    EXPECT_EQ(connect("2" + std::string(3 << 20, ' ') + "1 5\r\n1 3 10 77 x\r\nnot read\r\n"), V{});
    EXPECT_EQ(t.cd.init_dirs, V{t.dir.path() + "/data/"});
    // Six records of 128 bytes, each a value and zeros: a(1,1), a(1,2), b(1), a(2,1), a(2,2), b(2).
    auto record = [](float v) { return le(v) + std::string(124, '\0'); };
    const std::string before = test::read_file(rows);
    EXPECT_TRUE(before == record(2) + record(1) + record(5) + record(1) + record(3) + record(10));
    EXPECT_EQ(summary(), std::tuple(kModeConnected, 2, 1, 3u, "2"));
    EXPECT_EQ(st.X, (std::vector<float>{0, 0.8f, 1.4f}));
    EXPECT_TRUE(t.ui.enabled(Ctl::cmdSolution) && t.ui.enabled(Ctl::cmdIter));

    // Order 1 with blanks around tokens and LF line ends: records 1 and 2 rewritten, 3..6 untouched.
    connect("   4   8  \n7 7 7\n", "small.txt");
    const std::string after = test::read_file(rows);
    EXPECT_EQ(after.substr(0, 132), record(4) + le(8));
    EXPECT_EQ(after.substr(256), before.substr(256));
}

TEST_F(ConnectTest, BadContentKeepsTheEarlierSystemAndTheRecordsAfterTheFailure) {
    // A bad token, a short line, an empty line, a tab inside a token, a single token, an empty file.
    for (const char* text :
         {"2 1 5\r\n1 abc 10\r\n", "2 1 5\r\n1 3\r\n", "2 1 5\r\n\r\n1 3 10\r\n", "2\t1 5\r\n", "7\r\n", ""}) {
        SCOPED_TRACE(text);
        memory_mode();
        const auto before = summary();
        EXPECT_EQ(connect(text), V{st.msg.MsgBadNumber});
        EXPECT_EQ(summary(), before);
    }
    // Order 99 over a row file of 0xEE bytes, token 70 of line 2 bad: records 101..169 hold 2, and
    // record 170 and every later one keep their bytes, although the tokens are converted in batches.
    std::ofstream(rows, std::ios::binary | std::ios::trunc) << std::string(300 * 128, '\xEE');
    std::string text;
    for (int k = 1; k <= 200; ++k) text += k <= 100 ? "1 " : k < 170 ? "2 " : k == 170 ? "2x " : "3 ";
    connect(text.insert(200, "\r\n"));
    const std::string bytes = test::read_file(rows);
    EXPECT_EQ(bytes.substr(168 * 128, 4), le(2));
    EXPECT_TRUE(bytes.substr(169 * 128) == std::string(131 * 128, '\xEE'));
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
    const auto before = summary();
    fs::remove(rows);
    fs::create_directory(rows);
    EXPECT_EQ(connect("2 1 5\r\n1 3 10\r\n"), V{st.msg.MsgBadFile});
    EXPECT_EQ(summary(), before);
    // Without the data folder the command ends silently before the dialog.
    fs::remove_all(t.dir.path() + "/data");
    const int opens = t.cd.opens;
    Connect_Click(t.app);
    EXPECT_EQ(t.cd.opens, opens);
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

TEST_F(ConnectTest, WorkedRunByNextIterationThenFindSolution) {
    // "2 1 3 / 1 3 5" from (0, 0): Er 2.1, 1.05, 0.525 after the first sweeps, x shown in column 1 of
    // a connected system's grid.
    const float want[3][3] = {{2.1f, 2.2f, 0.7f}, {1.05f, 1.5f, 1.05f}, {0.525f, 1.15f, 1.225f}};
    ASSERT_EQ(connect("2 1 3\r\n1 3 5\r\n"), V{});
    t.ui.texts[Ctl::txtEps] = "abc";  // not read by Next Iteration
    for (int k = 0; k < 3; ++k) {
        cmdIter_Click(app);
        EXPECT_NEAR(text_to_single(t.ui.text(Ctl::txtEr)), want[k][0], 1e-5) << k;
        for (int row = 1; row < 3; ++row)
            EXPECT_NEAR(text_to_single(app.grid.text(row, 1)), want[k][row], 1e-5) << k << " " << row;
    }
    // Find solution in connected mode with Eps 0.5: four sweeps to Er 0.2625; a second run needs one.
    t.ui.texts[Ctl::txtEps] = "0.5";
    cmdSolution_Click(app);
    EXPECT_EQ(t.ui.text(Ctl::txtEr), "0.2625");
    cmdSolution_Click(app);
    EXPECT_EQ(st.IterCount, 2);
    EXPECT_FALSE(st.solve_row_file.is_open());
}

TEST_F(ConnectTest, FailuresEndSilentlyWithTheFileClosed) {
    // A zero column: MsgBadFile from the set-up, then the first sweep stops at that column.
    ASSERT_EQ(connect("1 0 1\r\n1 0 2\r\n"), V{});
    t.ui.texts[Ctl::txtTime] = "old";
    EXPECT_EQ(t.messages_of(cmdSolution_Click), V{st.msg.MsgBadFile});
    EXPECT_EQ(st.IterCount, 1);
    EXPECT_FALSE(st.solve_row_file.is_open());

    // A row file that is no file: each click says so, the first click of a run stays the first.
    ASSERT_EQ(connect("2 1 3\r\n1 3 5\r\n"), V{});
    fs::remove(rows);
    fs::create_directory(rows);
    EXPECT_EQ(t.messages_of(cmdIter_Click), V{st.msg.MsgBadFile});
    EXPECT_EQ(t.messages_of(cmdSolution_Click), V{st.msg.MsgBadFile});
    EXPECT_EQ(st.IterCount, 1);
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "old");

    // A row file cut short before the solve: only the first equation's records are left, so the second
    // reads as 0 = 0. From (0, 0) the sweep moves x1 to 1.5, which leaves no residual, so x2 stays 0.
    fs::remove(rows);
    ASSERT_EQ(connect("2 1 3\r\n1 3 5\r\n"), V{});
    fs::resize_file(rows, 3 * 128);
    cmdIter_Click(app);
    EXPECT_EQ(st.X, (std::vector<float>{0, 1.5f, 0}));
    EXPECT_EQ(t.ui.text(Ctl::txtEr), "0");
}

// Notes, at the sweep's first grid write, whether the open row file is streamed.
struct PathSeen final : GridObserver {
    const SystemState* st = nullptr;
    std::vector<bool> streamed;
    void grid_reset() override {}
    void cell_written(int, int) override {
        if (streamed.empty()) streamed.push_back(st->solve_row_file.streamed());
    }
};

TEST_F(ConnectTest, AFileWithinHalfTheMemoryIsMappedALargerOneStreamedAndBothGiveTheSameBits) {
    // The first click sets up and sweeps on one opening of the file, and a streamed file's sweep then
    // starts from the panels that the set-up kept: three clicks on each reading path must agree bit
    // for bit, and leave the file closed. Order 300 spans several panels of the streamed sweep.
    constexpr int n = 300;
    const std::uint64_t file_bytes = std::uint64_t{128} * n * (n + 1);
    std::mt19937 rng(22);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::string text;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n + 1; ++j) text += single_to_text(u(rng) + (i == j ? 40.0f : 0.0f)) + " ";
        text += "\r\n";
    }
    std::vector<std::vector<std::uint32_t>> runs;
    for (bool larger : {false, true}) {
        ASSERT_EQ(connect(text), V{});
        set_usable_memory_for_tests(2 * file_bytes - (larger ? 1 : 0));
        PathSeen seen;
        seen.st = &st;
        app.grid.set_observer(&seen);
        for (int k = 0; k < 3; ++k) {
            cmdIter_Click(app);
            EXPECT_FALSE(st.solve_row_file.is_open());
        }
        app.grid.set_observer(nullptr);
        EXPECT_EQ(seen.streamed, std::vector<bool>{larger});
        runs.push_back(test::state_bits(st));
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(st.IterCount, 4);
}

}  // namespace
}  // namespace varnex
