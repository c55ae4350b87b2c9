#include "files/save_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "files/open_command.h"
#include "support/fakes.h"

namespace varnex {
namespace {

namespace fs = std::filesystem;
using test::read_file;

// Save changes the current directory; the fixture puts it back. Every test starts from the order-2
// system as a user typed it, with a(2,2) never entered.
class SaveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(data(""));
        t.app.st.N = 2;
        t.app.st.DataMode = kModeMemory;
        t.app.grid.fill_data(2);
        for (auto [r, c, text] : {std::tuple{1, 1, "2"},
                                  {1, 3, "1"},
                                  {1, 5, "5"},
                                  {2, 1, "1.50"},
                                  {2, 5, "10"},
                                  {1, 7, "0.8"},
                                  {2, 7, "-1.4E+07"}})
            t.app.grid.set_text(r, c, text);
    }
    void TearDown() override { fs::current_path(cwd_); }
    std::string data(const std::string& rel) { return t.dir.path() + "/data/" + rel; }
    void save(const std::string& rel) {
        t.cd.next.push_back(data(rel));
        Save_Click(t.app);
    }

    // Where the test started, or the temporary folder when an earlier test left a removed folder current.
    fs::path cwd_ = [] {
        std::error_code ec;
        fs::path p = fs::current_path(ec);
        return ec ? fs::temp_directory_path() : p;
    }();
    test::TestApp t;
    const std::string system_ = "2 1 5 \r\n1.50 a(2,2) 10 \r\n";
};

TEST_F(SaveTest, SaveThenOpenGivesBackTheGridAndTheStoredSolution) {
    std::vector<std::string> before;
    for (int c = 0; c < 8; ++c) before.push_back(t.app.grid.text(2, c));
    save("sys1.txt");
    EXPECT_EQ(system_, read_file(data("sys1.txt")));
    EXPECT_EQ("0.8 -1.4E+07 \r\n", read_file(data("solutions/sys1.txt")));
    EXPECT_TRUE(fs::equivalent(data("solutions"), fs::current_path()));

    t.app.grid.fill_data(2);
    t.cd.next.push_back(data("sys1.txt"));
    Open_Click(t.app);
    EXPECT_TRUE(t.box.shown.empty());
    for (int c = 0; c < 8; ++c) EXPECT_EQ(before[c], t.app.grid.text(2, c));
    EXPECT_EQ("0.8", t.app.grid.text(1, 7));
}

TEST_F(SaveTest, ReplaceQuestionsAreAnsweredPerFile) {
    save("sys1.txt");
    t.app.grid.set_text(1, 1, "3");
    t.app.grid.set_text(1, 7, "0.9");
    t.box.answers = {false, true};
    save("sys1.txt");
    const std::string& q = t.app.st.msg.MsgReplaceFile;
    EXPECT_EQ((std::vector<std::string>{q + data("sys1.txt"), q + data("solutions/sys1.txt")}), t.box.shown);
    EXPECT_EQ(system_, read_file(data("sys1.txt")));  // No: untouched, the solution still saved
    EXPECT_EQ("0.9 -1.4E+07 \r\n", read_file(data("solutions/sys1.txt")));
}

TEST_F(SaveTest, ConnectedModeWritesOnlyTheSolutionAndCancelWritesNothing) {
    t.cd.next.push_back(std::nullopt);
    Save_Click(t.app);
    EXPECT_FALSE(fs::exists(data("solutions")));

    t.app.st.N = 3;
    t.app.st.DataMode = kModeConnected;
    t.app.grid.fill_x(3, {0, 1.25f, -2, 3e-9f});
    t.cd.FileName = data("big.txt");
    Save_Click(t.app);
    EXPECT_EQ(1, t.cd.saves);
    EXPECT_FALSE(fs::exists(data("big.txt")));
    EXPECT_EQ("1.25 -2 3E-09 \r\n", read_file(data("solutions/big.txt")));
}

TEST_F(SaveTest, FailuresEndSilentlyKeepingWhatWasWritten) {
    // A system below data/sub: its solution would need solutions/sub, which is never created.
    fs::create_directories(data("sub"));
    save("sub/sys.txt");
    EXPECT_EQ(system_, read_file(data("sub/sys.txt")));
    EXPECT_FALSE(fs::exists(data("solutions/sub")));
    // A folder as target, and a file where the solutions folder belongs.
    save("sub");
    fs::remove_all(data("solutions"));
    t.dir.write("data/solutions", "not a folder");
    save("sys2.txt");
    EXPECT_EQ(system_, read_file(data("sys2.txt")));
    EXPECT_EQ("not a folder", read_file(data("solutions")));
    // A read-only target, written as an unprivileged user when the tests run as root.
    fs::remove(data("solutions"));
    fs::permissions(t.dir.path(), fs::perms::all);
    fs::permissions(data(""), fs::perms::all);
    std::string ro = t.dir.write("data/ro.txt", "old");
    fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    bool root = geteuid() == 0;
    ASSERT_TRUE(!root || seteuid(65534) == 0);
    save("ro.txt");
    ASSERT_TRUE(!root || seteuid(0) == 0);
    EXPECT_EQ("old", read_file(ro));
    EXPECT_FALSE(fs::exists(data("solutions")));
    EXPECT_EQ((std::vector<std::string>{t.app.st.msg.MsgReplaceFile + ro}), t.box.shown);
}

}  // namespace
}  // namespace varnex
