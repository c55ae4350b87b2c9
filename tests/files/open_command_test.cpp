#include "files/open_command.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/text_io.h"
#include "support/fakes.h"

namespace varnex {
namespace {

// Open changes the current directory; the fixture puts it back.
class OpenTest : public ::testing::Test {
  protected:
    void TearDown() override { std::filesystem::current_path(cwd_); }
    // Writes data/<rel> and answers the next open dialog with it (or with `path` when given).
    void open(const std::string& rel, const std::string& bytes) {
        t.box.shown.clear();
        t.cd.next.push_back(t.dir.write("data/" + rel, bytes));
        Open_Click(t.app);
    }
    std::vector<std::string> row(int r, int from, int to) {
        std::vector<std::string> out;
        for (int c = from; c <= to; ++c) out.push_back(t.app.grid.text(r, c));
        return out;
    }
    std::vector<std::string> shown(const std::string& msg) { return {msg}; }

    // Where the test started, or the temporary folder when an earlier test left a removed folder current.
    std::filesystem::path cwd_ = [] {
        std::error_code ec;
        std::filesystem::path p = std::filesystem::current_path(ec);
        return ec ? std::filesystem::temp_directory_path() : p;
    }();
    test::TestApp t;
    using V = std::vector<std::string>;
};

TEST_F(OpenTest, ExampleSystemSetsMemoryModeBoxesAndArrays) {
    t.app.st.IterCount = 7;
    t.ui.on[Ctl::cmdSolution] = false;
    open("sys1.txt", "2 1 5 \r\n1 3 10 \r\n");
    EXPECT_EQ(V{}, t.box.shown);
    EXPECT_EQ((V{"System", "", "", "", "", "", "", "Solution"}), row(0, 0, 7));
    EXPECT_EQ((V{"", "2", "*x(1)+", "1", "*x(2)=", "5", "", "0"}), row(1, 0, 7));
    EXPECT_EQ((V{"", "1", "*x(1)+", "3", "*x(2)=", "10", "", "0"}), row(2, 0, 7));
    EXPECT_EQ("2", t.ui.text(Ctl::txtN));
    EXPECT_EQ("0.2", t.ui.text(Ctl::txtEps));
    EXPECT_EQ(kModeMemory, t.app.st.DataMode);
    EXPECT_TRUE(t.ui.on[Ctl::cmdSolution]);
    EXPECT_EQ(1, t.app.st.IterCount);
    EXPECT_EQ(3u, t.app.st.A.stride());
    EXPECT_EQ(3u, t.app.st.X.size());
    EXPECT_EQ(t.dir.path() + "/data/", t.cd.init_dirs.at(0));
    EXPECT_TRUE(std::filesystem::equivalent(t.dir.path() + "/data", std::filesystem::current_path()));
}

TEST_F(OpenTest, TokensKeepTheirTextWhateverTheSpacingAndExtras) {
    // LF line ends, runs of blanks, no final line end; extra tokens and lines ignored.
    open("odd.txt", "  2.50   1e3 abc\n-0 +7 1E-3 99\nnot read");
    EXPECT_EQ(V{}, t.box.shown);
    EXPECT_EQ((V{"2.50", "*x(1)+", "1e3", "*x(2)=", "abc"}), row(1, 1, 5));
    EXPECT_EQ((V{"-0", "*x(1)+", "+7", "*x(2)=", "1E-3"}), row(2, 1, 5));
    // A tab joins two numbers into one token: two tokens, so N = 1.
    open("tab.txt", "2\t1 5\r\n");
    EXPECT_EQ(1, t.app.st.N);
    EXPECT_EQ((V{"2\t1", "*x(1)=", "5"}), row(1, 1, 3));
    // Fewer lines than N: the rest keep their placeholders, without a message.
    open("few.txt", "1 2 3 4\r\n5 6 7 8\r\n");
    EXPECT_EQ(V{}, t.box.shown);
    EXPECT_EQ((V{"a(3,1)", "*x(1)+", "a(3,2)"}), row(3, 1, 3));
}

TEST_F(OpenTest, ShortOrBlankLineStopsWithBadFileAndTheCommandGoesOn) {
    open("short.txt", "1 2 3 4\r\n5 6 7 8\r\n9 10\r\n");
    EXPECT_EQ(shown(t.app.st.msg.MsgBadFile), t.box.shown);
    EXPECT_EQ((V{"9", "*x(1)+", "10", "*x(2)+", "a(3,3)", "*x(3)=", "b(3)", "", "0"}), row(3, 1, 9));
    EXPECT_EQ("3", t.ui.text(Ctl::txtN));
    EXPECT_EQ(kModeMemory, t.app.st.DataMode);
    for (const char* gap : {"", "  "}) {
        open("gap.txt", std::string("1 2 3 4\r\n") + gap + "\r\n5 6 7 8\r\n");
        EXPECT_EQ(shown(t.app.st.msg.MsgBadFile), t.box.shown);
        EXPECT_EQ("a(2,1)", t.app.grid.text(2, 1));  // not a copy of line 1
    }
}

TEST_F(OpenTest, FilesWithoutAnOrderLeaveThePreviousSystem) {
    open("good.txt", "2 1 5\r\n1 3 10\r\n");
    std::string too_wide;  // order 16382: the layout's 16-bit column indices cannot hold it
    for (int j = 0; j < 16383; ++j) too_wide += "1 ";
    for (const std::string& bytes :
         {std::string(), std::string("\r\n"), std::string("   \r\n1 2\r\n"), std::string("42 \r\n7 8\r\n"), too_wide}) {
        open("reject.txt", bytes);
        EXPECT_EQ(shown(t.app.st.msg.MsgBadFile), t.box.shown) << bytes.substr(0, 20);
        EXPECT_EQ("10", t.app.grid.text(2, 5));
        EXPECT_EQ(2, t.app.st.N);
    }
}

TEST_F(OpenTest, MissingFileCancelAndMissingDataFolder) {
    Open_Click(t.app);  // no data folder yet: no dialog
    EXPECT_EQ(shown(t.app.st.msg.MsgBadFile), t.box.shown);
    EXPECT_EQ(0, t.cd.opens);

    open("good.txt", "2 1 5\r\n1 3 10\r\n");
    t.app.st.IterCount = 9;
    t.app.st.X[1] = 4.0f;
    t.cd.next.push_back(std::nullopt);  // cancelled: nothing at all
    Open_Click(t.app);
    EXPECT_EQ(9, t.app.st.IterCount);

    for (const std::string& name : {t.dir.path() + "/data/none.txt", t.dir.path() + "/data"}) {
        t.box.shown.clear();
        t.cd.next.push_back(name);
        Open_Click(t.app);
        EXPECT_EQ(shown(t.app.st.msg.MsgNoFile), t.box.shown);
        EXPECT_EQ("10", t.app.grid.text(2, 5));
        EXPECT_EQ(1, t.app.st.IterCount);
        EXPECT_EQ(0.0f, t.app.st.X[1]);
    }
}

TEST_F(OpenTest, StoredSolutionBecomesTheApproximationColumn) {
    const std::string system = "1 2 3 4\r\n5 6 7 8\r\n9 10 11 12\r\n";
    struct Case {
        const char* stored;
        V column;
        bool bad;
    };
    for (const Case& c : {Case{"0.8 1.4 2 \r\n", {"0.8", "1.4", "2"}, false},
                          Case{"  1.50 -2e1 7 8\r\nzzz\r\n", {"1.5", "-20", "7"}, false},
                          Case{"0.5 0.25\r\n", {"0.5", "0.25", "0"}, true}, Case{"1 x 3\r\n", {"1", "0", "0"}, true},
                          Case{"", {"0", "0", "0"}, true}, Case{"\r\n1 2 3\r\n", {"0", "0", "0"}, true}}) {
        t.dir.write("data/solutions/s.txt", c.stored);
        open("s.txt", system);
        EXPECT_EQ(c.bad ? shown(t.app.st.msg.MsgBadFile) : V{}, t.box.shown) << c.stored;
        EXPECT_EQ(c.column, (V{t.app.grid.text(1, 9), t.app.grid.text(2, 9), t.app.grid.text(3, 9)})) << c.stored;
        EXPECT_EQ("12", t.app.grid.text(3, 7));
    }
}

TEST_F(OpenTest, SampleMatricesOpenWithTheirOrder) {
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "test matrices not present";
    t.dir.write("data/.keep", "");
    for (auto [name, n] : {std::pair{"bcsstk01.txt", 48},
                           {"bfwa62.txt", 62},
                           {"west0067.txt", 67},
                           {"fs_183_1.txt", 183},
                           {"impcol_a.txt", 207},
                           {"494_bus.txt", 494}}) {
        t.cd.next.push_back(dir + "/" + name);
        Open_Click(t.app);
        ASSERT_EQ(n, t.app.st.N) << name;
        // The last row holds the file's last line.
        std::string text = InputFile(dir + "/" + name).read_all();
        text.erase(text.size() - 2);
        std::vector<std::string_view> last;
        split_tokens(std::string_view(text).substr(text.rfind('\n') + 1), last);
        EXPECT_EQ(last.front(), t.app.grid.text(n, 1)) << name;
        EXPECT_EQ(last.back(), t.app.grid.text(n, 2 * n + 1)) << name;
    }
    EXPECT_EQ(V{}, t.box.shown);
}

}  // namespace
}  // namespace varnex
