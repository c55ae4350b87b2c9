// Open and Save in memory mode: what each file gives the grid, the stored solution as the start,
// and what Save writes, keeps and asks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "commands/open_command.h"
#include "commands/save_command.h"
#include "core/order_notes.h"
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
    V save(const std::string& rel) { return t.with_file(Save_Click, data(rel)); }
    test::TestApp t;
};

TEST_F(SaveTest, SaveOpenAndSaveAgainAnsweringEachReplaceQuestion) {
    save("sys1.txt");
    EXPECT_EQ("2 1 5 \r\n1.50 a(2,2) 10 \r\n", read_file(data("sys1.txt")));
    EXPECT_EQ("0.8 -1.4E+07 \r\n", read_file(data("solutions/sys1.txt")));
    t.app.grid.fill_data(2);
    t.with_file(Open_Click, data("sys1.txt"));
    std::string row2;  // the texts come back as typed, the placeholder included
    for (int c = 1; c <= 7; ++c) row2 += t.app.grid.text(2, c) + "|";
    EXPECT_EQ("1.50|*x(1)+|a(2,2)|*x(2)=|10||-1.4E+07|", row2);
    t.app.grid.set_text(1, 1, "3");
    t.app.grid.set_text(1, 7, "0.9");
    t.box.answers = {false, true};
    const std::string& q = t.app.st.msg.MsgReplaceFile;
    EXPECT_EQ((V{q + data("sys1.txt"), q + data("solutions/sys1.txt")}), save("sys1.txt"));
    EXPECT_EQ("2 1 5 \r\n1.50 a(2,2) 10 \r\n", read_file(data("sys1.txt")));  // No: untouched
    EXPECT_EQ("0.9 -1.4E+07 \r\n", read_file(data("solutions/sys1.txt")));
}

TEST_F(SaveTest, ConnectedModeWritesOnlyTheSolutionAndCancelDoesNothing) {
    t.with_file(Save_Click, std::nullopt);
    EXPECT_FALSE(fs::exists(data("solutions")));
    EXPECT_EQ(t.with_file(Open_Click, std::nullopt), V{});  // a cancelled Open does nothing either
    EXPECT_EQ(t.app.grid.text(2, 1), "1.50");
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
// whole and the new system file is not put in place either.
TEST_F(SaveTest, AFailedSolutionKeepsTheSystemFile) {
    fs::create_directories(data("sub"));
    std::string old = t.dir.write("data/sub/sys.txt", "old");
    save("sub/sys.txt");
    EXPECT_EQ("old", read_file(old));
    EXPECT_EQ(t.box.shown.back(), " Sorry, the file could not be saved: no such file or directory.");
    EXPECT_EQ(1, std::distance(fs::directory_iterator(data("sub")), fs::directory_iterator()));
}

const char* const kExample = "2 1 5 \r\n1 3 10 \r\n";

class OpenTest : public ::testing::Test {
  protected:
    // Writes data/<rel> and answers the next open dialog with it.
    V open(const std::string& rel, const std::string& bytes) {
        return t.with_file(Open_Click, t.dir.write("data/" + rel, bytes));
    }
    // Row r from a(r,1) to the solution column, the cells joined by blanks.
    std::string row(int r) {
        std::string s = t.app.grid.text(r, 1);
        for (int c = 2; c <= 2 * t.app.st.N + 3; ++c) (s += ' ') += t.app.grid.text(r, c);
        return s;
    }
    test::TestApp t;
};

// Each file is opened over another order-2 system: the message, the order then shown, and one row.
TEST_F(OpenTest, EachFileGivesItsOrderTokensAndMessage) {
    std::string too_wide;  // order 16382: beyond the grid's 16-bit column numbers
    for (int j = 0; j < 16383; ++j) too_wide += "1 ";
    const std::string kept = "1 *x(1)+ 3 *x(2)= 10  0";
    for (auto [bytes, bad, n, r, want] : std::vector<std::tuple<std::string, bool, int, int, std::string>>{
             {kExample, false, 2, 1, "2 *x(1)+ 1 *x(2)= 5  0"},
             // LF ends, runs of blanks, no final line end; extra tokens and lines ignored.
             {"  2.50   1e3 abc\n-0 +7 1E-3 99\nnot read", false, 2, 2, "-0 *x(1)+ +7 *x(2)= 1E-3  0"},
             {"2\t1 5\r\n", false, 1, 1, "2\t1 *x(1)= 5  0"},  // a tab is no separator
             // A short or blank line stops reading; the cells read so far stay.
             {"1 2 3 4\r\n5 6 7 8\r\n9 10\r\n", true, 3, 3, "9 *x(1)+ 10 *x(2)+ a(3,3) *x(3)= b(3)  0"},
             {"1 2 3 4\r\n  \r\n5 6 7 8\r\n", true, 3, 2, "a(2,1) *x(1)+ a(2,2) *x(2)+ a(2,3) *x(3)= b(2)  0"},
             // No order: the previous system stays.
             {"", true, 2, 2, kept},
             {"42 \r\n7 8\r\n", true, 2, 2, kept},
             {too_wide, true, 2, 2, kept}}) {
        open("sys1.txt", "1 2 5\r\n1 3 10\r\n");
        t.app.st.DataMode = kModeConnected;
        t.ui.on[Ctl::cmdSolution] = false;
        SCOPED_TRACE(bytes.substr(0, 40));
        EXPECT_EQ(bad ? V{t.app.st.msg.MsgBadFile} : V{}, open("case.txt", bytes));
        EXPECT_EQ(std::to_string(n), t.ui.text(Ctl::txtN));
        EXPECT_EQ(want, row(r));
        // A new system is in memory mode with Solution on and Eps at N/10.
        EXPECT_TRUE(bad || (t.app.st.DataMode == kModeMemory && t.ui.on[Ctl::cmdSolution] &&
                            t.ui.text(Ctl::txtEps) == "0." + std::to_string(n)));
    }
    EXPECT_EQ(t.ui.notes.back(), order_limit_note(16382));  // the last file: where larger systems go
    EXPECT_EQ(t.dir.path() + "/data/", t.cd.init_dirs.back());
}

TEST_F(OpenTest, StoredSolutionBecomesTheApproximationColumn) {
    // Too few values or a non-number: the values read so far, and MsgBadFile.
    for (auto [stored, want, bad] : {std::tuple{"  1.50 -2e1 7 8\r\nzzz\r\n", "1.5 -20 7", false},
                                     {"0.5 0.25\r\n", "0.5 0.25 0", true},
                                     {"1 x 3\r\n", "1 0 0", true}}) {
        t.dir.write("data/solutions/s.txt", stored);
        EXPECT_EQ(bad ? V{t.app.st.msg.MsgBadFile} : V{}, open("s.txt", "1 2 3 4\r\n5 6 7 8\r\n9 10 11 12\r\n"))
            << stored;
        EXPECT_EQ(want, t.app.grid.text(1, 9) + " " + t.app.grid.text(2, 9) + " " + t.app.grid.text(3, 9));
    }
    // A solution path that cannot even be tested (its folder a link to itself) is a failure of the
    // reader too, not a missing solution: MsgBadFile, and the zeros.
    fs::remove_all(t.dir.path() + "/data/solutions");
    fs::create_directory_symlink("solutions", t.dir.path() + "/data/solutions");
    EXPECT_EQ(V{t.app.st.msg.MsgBadFile}, open("s.txt", "1 2\r\n"));
    EXPECT_EQ("0", t.app.grid.text(1, 5));
}

}  // namespace
}  // namespace varnex
