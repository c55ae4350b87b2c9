#include "commands/save_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "commands/open_command.h"
#include "support/fakes.h"

namespace varnex {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using V = std::vector<std::string>;

// Every test starts from the order-2 system as a user typed it, a(2,2) never entered, with a solution.
class SaveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(data(""));
        t.app.st.N = 2;
        t.app.st.DataMode = kModeMemory;
        t.app.grid.fill_data(2);
        const std::tuple<int, int, const char*> typed[] = {
            {1, 1, "2"}, {1, 3, "1"}, {1, 5, "5"}, {2, 1, "1.50"}, {2, 5, "10"}, {1, 7, "0.8"}, {2, 7, "-1.4E+07"}};
        for (auto [r, c, text] : typed) t.app.grid.set_text(r, c, text);
    }
    std::string data(const std::string& rel) { return t.dir.path() + "/data/" + rel; }
    void save(const std::string& rel) {
        t.cd.next.push_back(data(rel));
        Save_Click(t.app);
    }
    test::TestApp t;
};

TEST_F(SaveTest, SaveOpenAndSaveAgainAnsweringEachReplaceQuestion) {
    save("sys1.txt");
    EXPECT_EQ("2 1 5 \r\n1.50 a(2,2) 10 \r\n", read_file(data("sys1.txt")));
    EXPECT_EQ("0.8 -1.4E+07 \r\n", read_file(data("solutions/sys1.txt")));
    t.app.grid.fill_data(2);
    t.cd.next.push_back(data("sys1.txt"));
    Open_Click(t.app);
    std::string row2;  // the texts come back as typed, the placeholder included
    for (int c = 1; c <= 7; ++c) row2 += t.app.grid.text(2, c) + "|";
    EXPECT_EQ("1.50|*x(1)+|a(2,2)|*x(2)=|10||-1.4E+07|", row2);
    t.app.grid.set_text(1, 1, "3");
    t.app.grid.set_text(1, 7, "0.9");
    t.box.answers = {false, true};
    save("sys1.txt");
    const std::string& q = t.app.st.msg.MsgReplaceFile;
    EXPECT_EQ((V{q + data("sys1.txt"), q + data("solutions/sys1.txt")}), t.box.shown);
    EXPECT_EQ("2 1 5 \r\n1.50 a(2,2) 10 \r\n", read_file(data("sys1.txt")));  // No: untouched
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
    Save_Click(t.app);  // no dialog: the connected system's name
    EXPECT_FALSE(fs::exists(data("big.txt")));
    EXPECT_EQ("1.25 -2 3E-09 \r\n", read_file(data("solutions/big.txt")));
}

// A read-only target, written as an unprivileged user when the tests run as root: kept as it is (no
// rename over it either), and the reason is shown.
TEST_F(SaveTest, ReadOnlyTargetIsKeptAndTheReasonShown) {
    for (const std::string& folder : {t.dir.path(), data("")}) fs::permissions(folder, fs::perms::all);
    std::string ro = t.dir.write("data/ro.txt", "old");
    fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    bool root = geteuid() == 0;
    ASSERT_TRUE(!root || seteuid(65534) == 0);
    save("ro.txt");
    ASSERT_TRUE(!root || seteuid(0) == 0);
    EXPECT_EQ("old", read_file(ro));
    EXPECT_FALSE(fs::exists(data("solutions")));
    EXPECT_EQ((V{t.app.st.msg.MsgReplaceFile + ro, " Sorry, the file could not be saved: permission denied."}),
              t.box.shown);
}

// A system file in a folder below data: its solution's folder does not exist, so the Save fails as a
// whole and the new system file is not put in place either; a link to the system file is kept.
TEST_F(SaveTest, AFailedSolutionKeepsTheSystemFileAndALinkStaysALink) {
    fs::create_directories(data("sub"));
    std::string old = t.dir.write("data/sub/sys.txt", "old");
    save("sub/sys.txt");
    EXPECT_EQ("old", read_file(old));
    EXPECT_EQ(t.box.shown.back(), " Sorry, the file could not be saved: no such file or directory.");
    EXPECT_EQ(1, std::distance(fs::directory_iterator(data("sub")), fs::directory_iterator()));
    fs::create_symlink(old, data("link.txt"));
    save("link.txt");
    EXPECT_TRUE(fs::is_symlink(data("link.txt")));
    EXPECT_EQ("2 1 5 \r\n1.50 a(2,2) 10 \r\n", read_file(old));
    EXPECT_EQ("0.8 -1.4E+07 \r\n", read_file(data("solutions/link.txt")));
}

}  // namespace
}  // namespace varnex
