// The solve commands in connected mode, driven through the real handlers after a real Connect: the
// worked runs, the row file closed however a run ends, the failures that end a command silently,
// and agreement with memory mode on a shared test matrix.

#include <gtest/gtest.h>

#include <filesystem>

#include "core/convert.h"
#include "files/connect_command.h"
#include "files/open_command.h"
#include "files/save_command.h"
#include "mainwindow/commands.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::TestApp;

class ConnectedCommandsTest : public ::testing::Test {
  protected:
    TestApp t;
    App& app = t.app;
    SystemState& st = t.app.st;
    std::string rows = row_file_path(t.app.app_folder);

    void SetUp() override { std::filesystem::create_directories(t.dir.path() + "/data"); }

    void connect(const std::string& text) {
        t.cd.next.push_back(t.dir.write("data/sys.txt", text));
        Connect_Click(app);
        ASSERT_EQ(st.DataMode, kModeConnected);
    }
    float er_shown() { return text_to_single(t.ui.text(Ctl::txtEr)); }
};

TEST_F(ConnectedCommandsTest, FindSolutionWorkedRunAndItsRepeat) {
    connect("2 1 3\r\n1 3 5\r\n");
    t.ui.texts[Ctl::txtEps] = "0.5";
    cmdSolution_Click(app);
    // Four sweeps from (0, 0): Er 2.1, 1.05, 0.525, 0.2625; stopped by Er <= Eps.
    EXPECT_EQ(st.IterCount, 5);
    EXPECT_NEAR(st.Er, 0.2625f, 1e-5);
    EXPECT_NEAR(st.X[1], 0.975f, 1e-5);
    EXPECT_NEAR(st.X[2], 1.3125f, 1e-5);
    EXPECT_EQ(t.ui.text(Ctl::txtEr), single_to_text(st.Er));
    EXPECT_EQ(app.grid.text(1, 1), single_to_text(st.X[1]));
    EXPECT_EQ(app.grid.text(2, 1), single_to_text(st.X[2]));
    EXPECT_FALSE(t.ui.text(Ctl::txtTime).empty());
    EXPECT_FALSE(st.file3.is_open());
    EXPECT_TRUE(t.box.shown.empty());

    // The next run starts from where this one ended: one sweep is enough.
    cmdSolution_Click(app);
    EXPECT_EQ(st.IterCount, 2);
    EXPECT_LE(st.Er, 0.5f);
    EXPECT_FALSE(st.file3.is_open());
}

TEST_F(ConnectedCommandsTest, NextIterationClicksGiveTheWorkedSweeps) {
    connect("2 1 3\r\n1 3 5\r\n");
    t.ui.texts[Ctl::txtEps] = "abc";  // not read by Next Iteration
    const float want_er[] = {2.1f, 1.05f, 0.525f}, want_x1[] = {2.2f, 1.5f, 1.15f}, want_x2[] = {0.7f, 1.05f, 1.225f};
    for (int k = 0; k < 3; ++k) {
        cmdIter_Click(app);
        EXPECT_EQ(st.IterCount, k + 2);
        EXPECT_NEAR(er_shown(), want_er[k], 1e-5);
        EXPECT_NEAR(text_to_single(app.grid.text(1, 1)), want_x1[k], 1e-5);
        EXPECT_NEAR(text_to_single(app.grid.text(2, 1)), want_x2[k], 1e-5);
        EXPECT_FALSE(st.file3.is_open());
    }

    // Save in connected mode writes only the solution file, from column 1, under the connected name.
    const std::string system_before = test::read_file(t.dir.path() + "/data/sys.txt");
    Save_Click(app);
    EXPECT_EQ(test::read_file(t.dir.path() + "/data/solutions/sys.txt"),
              app.grid.text(1, 1) + " " + app.grid.text(2, 1) + " \r\n");
    EXPECT_EQ(test::read_file(t.dir.path() + "/data/sys.txt"), system_before);
    EXPECT_EQ(t.cd.saves, 0);
}

TEST_F(ConnectedCommandsTest, FailuresEndSilentlyWithTheFileClosed) {
    // A zero column: MsgBadFile from the set-up, then the first sweep stops at that column.
    connect("1 0 1\r\n1 0 2\r\n");
    t.ui.texts[Ctl::txtTime] = "old";
    cmdSolution_Click(app);
    EXPECT_EQ(t.box.shown, std::vector<std::string>{st.msg.MsgBadFile});
    EXPECT_NE(st.X[1], 0.0f);
    EXPECT_EQ(app.grid.text(1, 1), single_to_text(st.X[1]));
    EXPECT_EQ(st.IterCount, 1);
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "old");
    EXPECT_FALSE(st.file3.is_open());

    // A row file that cannot be opened: nothing shown, the first click of a run stays the first.
    connect("2 1 3\r\n1 3 5\r\n");
    t.box.shown.clear();
    std::filesystem::remove(rows);
    std::filesystem::create_directory(rows);
    cmdIter_Click(app);
    cmdSolution_Click(app);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(st.IterCount, 1);
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "old");
    EXPECT_FALSE(st.file3.is_open());
    std::filesystem::remove(rows);
}

TEST_F(ConnectedCommandsTest, ShortRowFileReadsAsZeros) {
    // Only the first equation's records survive: the second equation reads as 0 = 0.
    connect("2 1 3\r\n0 0 0\r\n");
    for (int k = 0; k < 2; ++k) cmdIter_Click(app);
    const std::vector<float> want = st.X;
    const std::string er = t.ui.text(Ctl::txtEr);

    connect("2 1 3\r\n1 3 5\r\n");
    std::filesystem::resize_file(rows, 3 * 128);
    for (int k = 0; k < 2; ++k) cmdIter_Click(app);
    EXPECT_EQ(st.X, want);
    EXPECT_EQ(t.ui.text(Ctl::txtEr), er);
}

TEST_F(ConnectedCommandsTest, SameSweepsAsMemoryModeOnATestMatrix) {
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "no test matrices";
    const std::string text = test::read_file(dir + "/west0067.txt");
    // Memory mode: Open, then Next Iteration from the zero approximation.
    t.cd.next.push_back(t.dir.write("data/m.txt", text));
    Open_Click(app);
    ASSERT_EQ(st.DataMode, kModeMemory);
    const int n = st.N;
    std::vector<std::vector<std::string>> memory_x;
    std::vector<std::string> memory_er;
    for (int k = 0; k < 3; ++k) {
        cmdIter_Click(app);
        memory_er.push_back(t.ui.text(Ctl::txtEr));
        std::vector<std::string> x;
        for (int i = 1; i <= n; ++i) x.push_back(app.grid.text(i, 2 * n + 3));
        memory_x.push_back(x);
    }
    // Connected mode on the same file.
    connect(text);
    ASSERT_EQ(st.N, n);
    for (int k = 0; k < 3; ++k) {
        cmdIter_Click(app);
        EXPECT_EQ(t.ui.text(Ctl::txtEr), memory_er[k]);
        for (int i = 1; i <= n; ++i) ASSERT_EQ(app.grid.text(i, 1), memory_x[k][i - 1]) << k << " " << i;
    }
}

}  // namespace
}  // namespace varnex
