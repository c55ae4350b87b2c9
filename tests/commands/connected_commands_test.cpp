// The solve commands in connected mode, driven through the real handlers after a real Connect: the
// worked runs, the row file closed however a run ends, and the failures that end a command silently.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <random>
#include <string>

#include "commands/open_command.h"
#include "core/convert.h"
#include "steps.h"
#include "support/systems.h"

namespace varnex {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

class ConnectedCommandsTest : public test::ConnectFixture {
  protected:
    float shown(int row) { return text_to_single(row ? app.grid.text(row, 1) : t.ui.text(Ctl::txtEr)); }
};

TEST_F(ConnectedCommandsTest, WorkedRunByNextIterationAndByFindSolutionInBothModes) {
    // "2 1 3 / 1 3 5" from (0, 0): Er 2.1, 1.05, 0.525 after the first sweeps, x shown in column 1 of
    // a connected system's grid and in column 2N + 3 of a system in memory.
    const float want[3][3] = {{2.1f, 2.2f, 0.7f}, {1.05f, 1.5f, 1.05f}, {0.525f, 1.15f, 1.225f}};
    for (auto command : {Open_Click, Connect_Click}) {
        t.with_file(command, t.dir.write("data/sys.txt", "2 1 3\r\n1 3 5\r\n"));
        t.ui.texts[Ctl::txtEps] = "abc";  // not read by Next Iteration
        const int x_col = st.DataMode == kModeConnected ? 1 : 7;
        for (int k = 0; k < 3; ++k) {
            cmdIter_Click(app);
            EXPECT_NEAR(text_to_single(t.ui.text(Ctl::txtEr)), want[k][0], 1e-5) << k;
            for (int row = 1; row < 3; ++row)
                EXPECT_NEAR(text_to_single(app.grid.text(row, x_col)), want[k][row], 1e-5) << k << " " << row;
        }
        if (x_col == 1) continue;
        // In memory "Find  solution" starts again from elimination, which meets Eps 0.5 at once.
        t.ui.texts[Ctl::txtEps] = "0.5";
        cmdSolution_Click(app);
        EXPECT_EQ(st.IterCount, 2);
        EXPECT_EQ(t.ui.text(Ctl::txtTime), "0.25");
    }
    // Find solution with Eps 0.5: four sweeps to X = (0.975, 1.3125), Er 0.2625; a second run needs one.
    ASSERT_EQ(connect("2 1 3\r\n1 3 5\r\n"), V{});
    t.ui.texts[Ctl::txtEps] = "0.5";
    cmdSolution_Click(app);
    EXPECT_EQ(st.IterCount, 5);
    for (int row = 0; row < 3; ++row) EXPECT_NEAR(shown(row), (std::array{0.2625f, 0.975f, 1.3125f}[row]), 1e-5);
    cmdSolution_Click(app);
    EXPECT_EQ(st.IterCount, 2);
    EXPECT_FALSE(st.solve_row_file.is_open());
}

TEST_F(ConnectedCommandsTest, FailuresEndSilentlyWithTheFileClosed) {
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
}

TEST_F(ConnectedCommandsTest, ShortRowFileReadsAsZeros) {
    // Only the first equation's records survive, so the second reads as 0 = 0: 2 x1 + x2 = 3 alone.
    // From (0, 0) the sweep moves x1 to 1.5, which leaves no residual, so x2 stays 0.
    ASSERT_EQ(connect("2 1 3\r\n1 3 5\r\n"), V{});
    fs::resize_file(rows, 3 * 128);
    cmdIter_Click(app);
    EXPECT_EQ(st.X, (std::vector<float>{0, 1.5f, 0}));
    EXPECT_EQ(t.ui.text(Ctl::txtEr), "0");
}

TEST_F(ConnectedCommandsTest, NextIterationGivesTheSameBitsWhetherTheFileIsMappedOrStreamed) {
    // The first click sets up and sweeps on one opening of the file, and a streamed file's sweep then
    // starts from the panels that the set-up kept: three clicks on each reading path must agree bit
    // for bit, and leave the file closed. Order 300 spans several panels of the streamed sweep.
    constexpr int n = 300;
    std::mt19937 rng(22);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::string text;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n + 1; ++j) text += single_to_text(u(rng) + (i == j ? 40.0f : 0.0f)) + " ";
        text += "\r\n";
    }
    std::vector<std::vector<std::uint32_t>> runs;
    for (RowAccess access : {RowAccess::Mapped, RowAccess::Streamed}) {
        ASSERT_EQ(connect(text), V{});
        set_row_access(access);
        for (int k = 0; k < 3; ++k) {
            cmdIter_Click(app);
            EXPECT_FALSE(st.solve_row_file.is_open());
        }
        runs.push_back(test::state_bits(st));
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(st.IterCount, 4);
}

}  // namespace
}  // namespace varnex
