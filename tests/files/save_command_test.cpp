#include "files/save_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/open_command.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::read_file;
using test::TestApp;

class SaveTest : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directories(t.dir.path() + "/data"); }
    void TearDown() override { std::filesystem::current_path(cwd_); }

    std::string data_path(const std::string& rel) { return t.dir.path() + "/data/" + rel; }
    void save(const std::string& path) {
        t.cd.next.push_back(path);
        Save_Click(t.app);
    }
    void open(const std::string& path) {
        t.cd.next.push_back(path);
        Open_Click(t.app);
    }
    // The system of order 2 as the user typed it: row 1 complete, row 2 missing a(2,2).
    void lay_example() {
        t.app.st.N = 2;
        t.app.st.DataMode = kModeMemory;
        t.app.grid.fill_data(2);
        t.app.grid.set_text(1, 1, "2");
        t.app.grid.set_text(1, 3, "1");
        t.app.grid.set_text(1, 5, "5");
        t.app.grid.set_text(2, 1, "1.50");
        t.app.grid.set_text(2, 5, "10");
        t.app.grid.set_text(1, 7, "0.8");
        t.app.grid.set_text(2, 7, "-1.4E+07");
    }
    std::vector<std::vector<std::string>> cells() {
        std::vector<std::vector<std::string>> out;
        for (int r = 0; r < t.app.grid.rows(); ++r) {
            out.emplace_back();
            for (int c = 0; c < t.app.grid.cols(); ++c) out.back().push_back(t.app.grid.text(r, c));
        }
        return out;
    }

    std::filesystem::path cwd_ = std::filesystem::current_path();
    TestApp t;
};

TEST_F(SaveTest, SaveThenOpenGivesBackTheGridAndTheStoredSolution) {
    lay_example();
    auto before = cells();
    save(data_path("sys1.txt"));
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ("2 1 5 \r\n1.50 a(2,2) 10 \r\n", read_file(data_path("sys1.txt")));
    EXPECT_EQ("0.8 -1.4E+07 \r\n", read_file(data_path("solutions/sys1.txt")));
    EXPECT_EQ(t.dir.path() + "/data/", t.cd.init_dirs.at(0));
    EXPECT_TRUE(std::filesystem::equivalent(data_path("solutions"), std::filesystem::current_path()));

    t.app.grid.fill_data(2);
    open(data_path("sys1.txt"));
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(before, cells());
}

TEST_F(SaveTest, ExistingFilesAskBeforeReplacingAndNoStillSavesTheSolution) {
    lay_example();
    save(data_path("sys1.txt"));
    t.app.grid.set_text(1, 1, "3");
    t.app.grid.set_text(1, 7, "0.9");
    t.box.answers = {false, true};
    save(data_path("sys1.txt"));
    const std::string& q = t.app.st.msg.MsgReplaceFile;
    EXPECT_EQ((std::vector<std::string>{q + data_path("sys1.txt"), q + t.dir.path() + "/data/solutions/sys1.txt"}),
              t.box.shown);
    EXPECT_EQ("2 1 5 \r\n1.50 a(2,2) 10 \r\n", read_file(data_path("sys1.txt")));
    EXPECT_EQ("0.9 -1.4E+07 \r\n", read_file(data_path("solutions/sys1.txt")));

    // No to the solution keeps the old one too.
    t.app.grid.set_text(1, 7, "5");
    t.box.answers = {true, false};
    save(data_path("sys1.txt"));
    EXPECT_EQ("3 1 5 \r\n1.50 a(2,2) 10 \r\n", read_file(data_path("sys1.txt")));
    EXPECT_EQ("0.9 -1.4E+07 \r\n", read_file(data_path("solutions/sys1.txt")));
}

TEST_F(SaveTest, ConnectedModeWritesOnlyTheSolutionFromColumnOne) {
    t.app.st.N = 3;
    t.app.st.DataMode = kModeConnected;
    t.app.grid.fill_x(3, {0, 1.25f, -2, 3e-9f});
    t.cd.FileName = data_path("big.txt");
    Save_Click(t.app);
    EXPECT_EQ(0, t.cd.saves);
    EXPECT_FALSE(std::filesystem::exists(data_path("big.txt")));
    EXPECT_EQ("1.25 -2 3E-09 \r\n", read_file(data_path("solutions/big.txt")));
}

TEST_F(SaveTest, CancelledDialogWritesNothing) {
    lay_example();
    t.cd.FileName = data_path("last.txt");
    t.cd.next.push_back(std::nullopt);
    Save_Click(t.app);
    EXPECT_EQ(1, t.cd.saves);
    EXPECT_FALSE(std::filesystem::exists(data_path("last.txt")));
    EXPECT_FALSE(std::filesystem::exists(data_path("solutions")));
}

// Failures end the command without a message; what was written before stays.
TEST_F(SaveTest, FailuresEndSilently) {
    lay_example();
    // A sub-folder of data: the system is written, its solution would need solutions/sub.
    std::filesystem::create_directories(data_path("sub"));
    save(data_path("sub/sys.txt"));
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ("2 1 5 \r\n1.50 a(2,2) 10 \r\n", read_file(data_path("sub/sys.txt")));
    EXPECT_FALSE(std::filesystem::exists(data_path("solutions/sub")));

    // A target that cannot be opened for writing (a folder; permissions do not stop root), and a
    // solutions entry that is a file: nothing is shown, nothing else is written.
    save(data_path("sub"));
    EXPECT_TRUE(t.box.shown.empty());
    std::filesystem::remove_all(data_path("solutions"));
    t.dir.write("data/solutions", "not a folder");
    save(data_path("sys2.txt"));
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_TRUE(std::filesystem::exists(data_path("sys2.txt")));
    EXPECT_EQ("not a folder", read_file(data_path("solutions")));

    // A grid that does not hold the order's layout (N left at 256 beside the designed 2 x 2 grid).
    TestApp fresh;
    std::filesystem::create_directories(fresh.dir.path() + "/data");
    fresh.app.st.N = 256;
    fresh.cd.next.push_back(fresh.dir.path() + "/data/x.txt");
    Save_Click(fresh.app);
    EXPECT_TRUE(fresh.box.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(fresh.dir.path() + "/data/solutions/x.txt"));
}

// Runs the body as an unprivileged user when the tests run as root, whom file permissions do not stop.
template <class Body>
void as_unprivileged(Body&& body) {
    if (geteuid() != 0) return body();
    ASSERT_EQ(0, seteuid(65534));
    body();
    ASSERT_EQ(0, seteuid(0));
}

TEST_F(SaveTest, ReadOnlyTargetIsLeftAloneSilently) {
    lay_example();
    namespace fs = std::filesystem;
    fs::permissions(t.dir.path(), fs::perms::all);
    fs::permissions(t.dir.path() + "/data", fs::perms::all);
    std::string path = t.dir.write("data/ro.txt", "old");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    as_unprivileged([&] { save(path); });
    EXPECT_EQ("old", read_file(path));
    EXPECT_EQ((std::vector<std::string>{t.app.st.msg.MsgReplaceFile + path}), t.box.shown);
    EXPECT_FALSE(fs::exists(data_path("solutions/ro.txt")));
}

}  // namespace
}  // namespace varnex
