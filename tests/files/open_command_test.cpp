#include "files/open_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/text_files.h"
#include "files/text_io.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::TestApp;

// Every test runs a command that changes the process's current directory: the fixture puts it back.
class OpenTest : public ::testing::Test {
  protected:
    void TearDown() override { std::filesystem::current_path(cwd_); }

    // Writes data/<rel> below the application folder and returns its full path.
    std::string data_file(const std::string& rel, const std::string& bytes) {
        return t.dir.write("data/" + rel, bytes);
    }
    // Answers the next open dialog with the path and runs the command.
    void open(const std::string& path) {
        t.cd.next.push_back(path);
        Open_Click(t.app);
    }
    std::vector<std::string> row(int r) {
        std::vector<std::string> out;
        for (int c = 0; c < t.app.grid.cols(); ++c) out.push_back(t.app.grid.text(r, c));
        return out;
    }
    std::vector<std::string> approximations() {
        std::vector<std::string> out;
        for (int i = 1; i <= t.app.st.N; ++i) out.push_back(t.app.grid.text(i, 2 * t.app.st.N + 3));
        return out;
    }

    std::filesystem::path cwd_ = std::filesystem::current_path();
    TestApp t;
};

TEST_F(OpenTest, ExampleSystemSetsMemoryModeButtonsBoxesAndArrays) {
    std::string path = data_file("sys1.txt", "2 1 5 \r\n1 3 10 \r\n");
    t.app.st.IterCount = 7;
    for (Ctl c : {Ctl::cmdA, Ctl::cmdB, Ctl::cmdSolution, Ctl::cmdIter}) t.ui.on[c] = false;
    open(path);

    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(2, t.app.st.N);
    EXPECT_EQ((std::vector<std::string>{"", "2", "*x(1)+", "1", "*x(2)=", "5", "", "0"}), row(1));
    EXPECT_EQ((std::vector<std::string>{"", "1", "*x(1)+", "3", "*x(2)=", "10", "", "0"}), row(2));
    EXPECT_EQ("System", t.app.grid.text(0, 0));
    EXPECT_EQ("Solution", t.app.grid.text(0, 7));
    EXPECT_EQ("2", t.ui.text(Ctl::txtN));
    EXPECT_EQ("0.2", t.ui.text(Ctl::txtEps));
    EXPECT_EQ(kModeMemory, t.app.st.DataMode);
    for (Ctl c : {Ctl::cmdA, Ctl::cmdB, Ctl::cmdSolution, Ctl::cmdIter}) EXPECT_TRUE(t.ui.on[c]);
    EXPECT_EQ(1, t.app.st.IterCount);
    EXPECT_EQ(3u, t.app.st.A.stride());
    for (auto* v : {&t.app.st.B, &t.app.st.X, &t.app.st.R, &t.app.st.D}) EXPECT_EQ(3u, v->size());
    // The dialog starts in the data folder, which became the current directory.
    EXPECT_EQ(t.dir.path() + "/data/", t.cd.init_dirs.at(0));
    EXPECT_TRUE(std::filesystem::equivalent(t.dir.path() + "/data", std::filesystem::current_path()));
}

TEST_F(OpenTest, TokensKeepTheirTextAndBlanksTabsLfAndExtrasAreReadAsGiven) {
    // Two blanks before, three between, LF line ends, no final line end; extra tokens and lines ignored.
    std::string path = data_file("odd.txt", "  2.50   1e3 abc\n-0 +7 1E-3 99\nnot read\n");
    open(path);
    EXPECT_EQ(2, t.app.st.N);
    EXPECT_EQ((std::vector<std::string>{"", "2.50", "*x(1)+", "1e3", "*x(2)=", "abc", "", "0"}), row(1));
    EXPECT_EQ((std::vector<std::string>{"", "-0", "*x(1)+", "+7", "*x(2)=", "1E-3", "", "0"}), row(2));
    EXPECT_TRUE(t.box.shown.empty());

    // A tab joins two numbers into one token: the first line then holds two tokens, so N = 1.
    open(data_file("tab.txt", "2\t1 5\r\n"));
    EXPECT_EQ(1, t.app.st.N);
    EXPECT_EQ("2\t1", t.app.grid.text(1, 1));
    EXPECT_EQ("5", t.app.grid.text(1, 3));
}

TEST_F(OpenTest, FewerLinesThanNKeepPlaceholdersWithoutMessage) {
    open(data_file("short.txt", "1 2 3 4\r\n5 6 7 8\r\n"));
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(3, t.app.st.N);
    EXPECT_EQ("a(3,1)", t.app.grid.text(3, 1));
    EXPECT_EQ("b(3)", t.app.grid.text(3, 7));
    EXPECT_EQ("7", t.app.grid.text(2, 5));
}

TEST_F(OpenTest, ShortLineKeepsWhatWasWrittenAndTheCommandGoesOn) {
    open(data_file("bad.txt", "1 2 3 4\r\n5 6 7 8\r\n9 10\r\n"));
    EXPECT_EQ((std::vector<std::string>{t.app.st.msg.MsgBadFile}), t.box.shown);
    EXPECT_EQ(3, t.app.st.N);
    EXPECT_EQ("9", t.app.grid.text(3, 1));
    EXPECT_EQ("10", t.app.grid.text(3, 3));
    EXPECT_EQ("a(3,3)", t.app.grid.text(3, 5));
    // The failure came before the stored solution was written: the approximations stay "0".
    EXPECT_EQ((std::vector<std::string>{"0", "0", "0"}), approximations());
    EXPECT_EQ(kModeMemory, t.app.st.DataMode);
    EXPECT_EQ("3", t.ui.text(Ctl::txtN));
    EXPECT_EQ(4u, t.app.st.X.size());
}

// Files that give no system at all leave the previous system in place, with the message.
TEST_F(OpenTest, EmptyFileSingleTokenAndBlankLinesAreRejected) {
    open(data_file("good.txt", "2 1 5\r\n1 3 10\r\n"));
    ASSERT_TRUE(t.box.shown.empty());
    for (const char* bytes : {"", "\r\n", "   \r\n1 2\r\n", "42 \r\n7 8\r\n"}) {
        SCOPED_TRACE(bytes);
        t.box.shown.clear();
        open(data_file("reject.txt", bytes));
        EXPECT_EQ((std::vector<std::string>{t.app.st.msg.MsgBadFile}), t.box.shown);
        EXPECT_EQ(2, t.app.st.N);
        EXPECT_EQ("1", t.app.grid.text(1, 3));
        EXPECT_EQ("2", t.ui.text(Ctl::txtN));
    }
    // An empty or blank line among lines 2..N does not repeat the line before it.
    for (const char* bytes : {"1 2 3 4\r\n\r\n5 6 7 8\r\n", "1 2 3 4\r\n  \r\n5 6 7 8\r\n"}) {
        t.box.shown.clear();
        open(data_file("gap.txt", bytes));
        EXPECT_EQ((std::vector<std::string>{t.app.st.msg.MsgBadFile}), t.box.shown);
        EXPECT_EQ(3, t.app.st.N);
        EXPECT_EQ("a(2,1)", t.app.grid.text(2, 1));
    }
}

TEST_F(OpenTest, MissingFileKeepsGridButResetsTheRest) {
    open(data_file("good.txt", "2 1 5\r\n1 3 10\r\n"));
    t.app.st.IterCount = 9;
    t.app.st.X[1] = 4.0f;
    open(t.dir.path() + "/data/none.txt");
    EXPECT_EQ((std::vector<std::string>{t.app.st.msg.MsgNoFile}), t.box.shown);
    EXPECT_EQ("5", t.app.grid.text(1, 5));
    EXPECT_EQ(1, t.app.st.IterCount);
    EXPECT_EQ(0.0f, t.app.st.X[1]);

    // A folder is no ordinary file either.
    t.box.shown.clear();
    open(t.dir.path() + "/data");
    EXPECT_EQ((std::vector<std::string>{t.app.st.msg.MsgNoFile}), t.box.shown);
}

TEST_F(OpenTest, CancelledDialogChangesNothing) {
    data_file("x.txt", "1 1\r\n");
    t.app.st.IterCount = 5;
    t.cd.next.push_back(std::nullopt);
    Open_Click(t.app);
    EXPECT_EQ(1, t.cd.opens);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(kModeEmpty, t.app.st.DataMode);
    EXPECT_EQ(5, t.app.st.IterCount);
    EXPECT_TRUE(t.ui.text(Ctl::txtN).empty());
}

TEST_F(OpenTest, WithoutDataFolderTheCommandEndsWithBadFile) {
    Open_Click(t.app);
    EXPECT_EQ((std::vector<std::string>{t.app.st.msg.MsgBadFile}), t.box.shown);
    EXPECT_EQ(0, t.cd.opens);
    EXPECT_EQ(kModeEmpty, t.app.st.DataMode);
}

TEST_F(OpenTest, StoredSolutionBecomesTheApproximationColumn) {
    std::string path = data_file("sys1.txt", "2 1 5\r\n1 3 10\r\n");
    data_file("solutions/sys1.txt", "0.8 1.4 \r\n");
    open(path);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ((std::vector<std::string>{"0.8", "1.4"}), approximations());

    // More values than N: the first N; further lines ignored. Texts come back in the shared form.
    data_file("solutions/sys1.txt", "  1.50 -2e1 7\r\nzzz\r\n");
    open(path);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ((std::vector<std::string>{"1.5", "-20"}), approximations());
}

TEST_F(OpenTest, BadStoredSolutionShowsBadFileAndKeepsWhatWasConverted) {
    std::string path = data_file("s.txt", "1 2 3 4\r\n5 6 7 8\r\n9 10 11 12\r\n");
    const std::string& bad = t.app.st.msg.MsgBadFile;
    struct Case {
        const char* solution;
        std::vector<std::string> expected;
    };
    for (const Case& c : {Case{"0.5 0.25\r\n", {"0.5", "0.25", "0"}}, Case{"1 x 3\r\n", {"1", "0", "0"}},
                          Case{"", {"0", "0", "0"}}, Case{"\r\n1 2 3\r\n", {"0", "0", "0"}}}) {
        SCOPED_TRACE(c.solution);
        data_file("solutions/s.txt", c.solution);
        t.box.shown.clear();
        open(path);
        EXPECT_EQ((std::vector<std::string>{bad}), t.box.shown);
        EXPECT_EQ(c.expected, approximations());
        // The message came from the solution: the system is laid out and the command completed.
        EXPECT_EQ("12", t.app.grid.text(3, 7));
        EXPECT_EQ("3", t.ui.text(Ctl::txtN));
    }
}

TEST_F(OpenTest, GetSolutionZeroesWhenThereIsNoFile) {
    t.app.st.N = 3;
    std::vector<float> x{9, 9, 9, 9};
    get_solution(t.app, t.dir.path() + "/data/nothing.txt", x);
    EXPECT_EQ((std::vector<float>{9, 0, 0, 0}), x);
    EXPECT_TRUE(t.box.shown.empty());
}

TEST_F(OpenTest, SampleMatricesOpenWithTheirOrder) {
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "test matrices not present";
    t.dir.write("data/.keep", "");
    const std::pair<const char*, int> files[] = {{"bcsstk01.txt", 48},  {"bfwa62.txt", 62},    {"west0067.txt", 67},
                                                 {"fs_183_1.txt", 183}, {"impcol_a.txt", 207}, {"494_bus.txt", 494}};
    for (auto [name, n] : files) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/" + name;
        open(path);
        EXPECT_TRUE(t.box.shown.empty());
        ASSERT_EQ(n, t.app.st.N);
        // Spot-check the last row against the file's own last line.
        std::string text = InputFile(path).read_all();
        LineReader lines(text);
        std::string_view last;
        for (int k = 0; k < n; ++k) last = lines.next();
        std::vector<std::string_view> tokens;
        split_tokens(last, tokens);
        ASSERT_EQ(static_cast<std::size_t>(n) + 1, tokens.size());
        EXPECT_EQ(tokens[0], t.app.grid.text(n, 1));
        EXPECT_EQ(tokens[n], t.app.grid.text(n, 2 * n + 1));
    }
}

}  // namespace
}  // namespace varnex
