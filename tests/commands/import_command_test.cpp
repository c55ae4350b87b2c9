#include <gtest/gtest.h>

#include "commands/export_command.h"
#include "commands/grid_clipboard.h"
#include "import_fixture.h"

namespace varnex {
namespace {

using test::kBanner;
using V = std::vector<std::string>;
using ImportTest = test::ImportFixture;

TEST_F(ImportTest, MatrixMarketFormsKeepTheFileTextsAndMirrorTheRest) {
    const std::string b3 = kBanner + "array real general\n3 1\n7\n8.50\n9\n";
    for (auto [body, want] : std::vector<std::pair<std::string, std::string>>{
             // Comments, blank lines, tabs and CR LF; absent coordinates are "0"; texts stay as written.
             {"coordinate real general\r\n% a comment\r\n\r\n3 3 4\r\n1 1 2.50\r\n3\t2 -1e3\r\n2 3 +0.5\r\n1 3 7\r\n",
              "2.50 0 7 7 | 0 0 +0.5 8.50 | 0 -1e3 0 9"},
             {"coordinate integer symmetric\n3 3 3\n1 1 4\n3 1 -2\n2 2 5\n", "4 0 -2 7 | 0 5 0 8.50 | -2 0 0 9"},
             {"coordinate real skew-symmetric\n3 3 3\n2 1 -2.5\n3 1 +3\n3 2 4\n",
              "0 2.5 -3 7 | -2.5 0 -4 8.50 | +3 4 0 9"},
             // Arrays run down the columns.
             {"array real general\n3 3\n1\n2\n3\n4\n5\n6\n7\n8\n9\n", "1 4 7 7 | 2 5 8 8.50 | 3 6 9 9"},
             {"array real symmetric\n3 3\n1\n2\n3\n4\n5\n6\n", "1 2 3 7 | 2 4 5 8.50 | 3 5 6 9"},
             {"array real skew-symmetric\n3 3\n1\n-2\n3\n", "0 -1 2 7 | 1 0 -3 8.50 | -2 3 0 9"}}) {
        SCOPED_TRACE(body);
        ASSERT_EQ("", import("m.mtx", kBanner + body, "m_b.mtx", b3));
        EXPECT_EQ(want, system());
        EXPECT_EQ(V{"imported m.mtx: order 3"}, t.ui.notes);
    }
    // A coordinate right-hand side: its absent entries are "0".
    ASSERT_EQ("", import("c.mtx", kBanner + "array real general\n2 2\n1\n2\n3\n4\n", "c_b.mtx",
                         kBanner + "coordinate real general\n2 1 1\n2 1 -6\n"));
    EXPECT_EQ("1 3 0 | 2 4 -6", system());
}

TEST_F(ImportTest, MissingRightHandSideIsTheRowSumInSinglePrecision) {
    // 1e8 + 1 rounds back to 1e8 in single precision (in double it would stay 100000001).
    ASSERT_EQ("", import("s.mtx", kBanner + "coordinate real general\n2 2 4\n1 1 1e8\n1 2 1\n2 2 0.1\n2 1 0.2\n"));
    EXPECT_EQ("1e8 1 1E+08 | 0.2 0.1 0.3", system());
    EXPECT_EQ(V{"no right-hand side found: b = A·1, so x = 1 solves it"}, t.ui.notes);
    ASSERT_EQ("", import("p.mtx", kBanner + "coordinate pattern symmetric\n3 3 3\n1 1\n3 1\n3 3\n"));
    EXPECT_EQ("1 0 1 2 | 0 0 0 0 | 1 0 1 2", system());
    ASSERT_EQ("", import("k.mtx", kBanner + "array real skew-symmetric\n2 2\n-1.5\n"));
    EXPECT_EQ("0 1.5 1.5 | -1.5 0 -1.5", system());
}

TEST_F(ImportTest, ImportLeavesTheStateOpenLeaves) {
    t.app.st.DataMode = kModeConnected;
    t.app.st.IterCount = 9;
    for (Ctl c : {Ctl::cmdA, Ctl::cmdB, Ctl::cmdSolution, Ctl::cmdIter}) t.ui.on[c] = false;
    t.with_file(Import_Click, t.dir.write("data/sys.csv", "1,2,3\n4,5,6\n"));
    EXPECT_EQ(std::tuple(kModeMemory, 1, "2", "0.2"),
              std::tuple(t.app.st.DataMode, t.app.st.IterCount, t.ui.text(Ctl::txtN), t.ui.text(Ctl::txtEps)));
    for (Ctl c : {Ctl::cmdA, Ctl::cmdB, Ctl::cmdSolution, Ctl::cmdIter}) EXPECT_TRUE(t.ui.on[c]);
    EXPECT_EQ(3u, t.app.st.A.stride());
    EXPECT_EQ("0", t.app.grid.text(2, 7));
    // Save then offers a text file beside the imported one, never the imported file itself.
    EXPECT_EQ(t.dir.path() + "/data/sys.txt", t.cd.FileName);
    EXPECT_EQ(t.dir.path() + "/data/", t.cd.init_dirs.back());
}

TEST_F(ImportTest, DelimitedTextForms) {
    for (auto [name, bytes, want] : std::vector<std::tuple<std::string, std::string, std::string>>{
             // A header of non-numbers, quotes, blanks around fields, a trailing delimiter, CR LF.
             {"a.csv", "\"a1\",a2,b\r\n\"1.5\", -2 ,3,\r\n4,\"5e1\",6\r\n\r\n", "1.5 -2 3 | 4 5e1 6"},
             // Semicolons and tabs allow the decimal comma.
             {"b.csv", "1,5;2;3\n4;-0,25;6\n", "1.5 2 3 | 4 -0.25 6"},
             {"c.tsv", "x\ty\tz\n1,5\t2\t3e-1\n4\t5\t6\n", "1.5 2 3e-1 | 4 5 6"},
             {"d.txt", "7,8\n", "7 8"}}) {
        SCOPED_TRACE(name);
        ASSERT_EQ("", import(name, bytes));
        EXPECT_EQ(want, system());
    }
}

TEST_F(ImportTest, RefusalsSayWhichLineAndWhyAndChangeNothing) {
    ASSERT_EQ("", import("first.csv", "1,2,5\n1,3,10\n"));
    t.app.st.IterCount = 4;
    const std::string before = system();
    for (auto [name, bytes, says] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"c.mtx", kBanner + "coordinate complex general\n2 2 1\n1 1 1 0\n", "c.mtx, line 1: complex"},
             {"over.mtx", kBanner + "array real general\n2 2\n3e38\n0\n3e38\n0\n", "over.mtx: b = A·1 leaves"},
             {"ragged.csv", "1;2;3\n4;5\n", "ragged.csv, line 2: the row holds 2 values, the first row 3"},
             {"abc.csv", "1,2,3\n4,abc,6\n", "abc.csv, line 2, column 2: \"abc\" is not a number"}}) {
        SCOPED_TRACE(name);
        const std::string said = import(name, bytes);
        EXPECT_EQ(0u, said.rfind(bad(says), 0)) << said;
        EXPECT_EQ(1u, t.box.shown.size());
        EXPECT_EQ(before, system());
        EXPECT_EQ(4, t.app.st.IterCount);
    }
    // A refusal of the right-hand side names its own file; a missing file is MsgNoFile.
    EXPECT_EQ(bad("m_b.mtx, line 4, column 1: \"x\" is not a number"),
              import("m.mtx", kBanner + "array real general\n2 2\n1\n0\n0\n1\n", "m_b.mtx",
                     kBanner + "array real general\n2 1\n1\nx\n"));
    EXPECT_EQ(before, system());
    t.box.shown.clear();
    EXPECT_FALSE(import_system(t.app, t.dir.path() + "/data/none.mtx"));
    EXPECT_EQ(V{t.app.st.msg.MsgNoFile}, t.box.shown);
    EXPECT_EQ(before, system());
}

TEST_F(ImportTest, ExportWritesTheApproximationColumn) {
    ASSERT_EQ("", import("e.csv", "1,0,1\n0,1,2\n"));
    t.app.grid.set_text(1, 7, "1.5");
    t.app.grid.set_text(2, 7, "-2E-07");
    t.cd.FileName = "kept";
    t.cd.next = {t.dir.path() + "/data/x.mtx", t.dir.path() + "/data/x.csv", t.dir.path() + "/data/x.csv"};
    ExportSolution_Click(t.app);
    ExportSolution_Click(t.app);
    EXPECT_EQ("%%MatrixMarket matrix array real general\r\n2 1\r\n1.5\r\n-2E-07\r\n",
              test::read_file(t.dir.path() + "/data/x.mtx"));
    EXPECT_EQ("1.5\r\n-2E-07\r\n", test::read_file(t.dir.path() + "/data/x.csv"));
    EXPECT_EQ("kept", t.cd.FileName);
    // The exported file imports again as the right-hand side of a matrix of its order.
    EXPECT_EQ("", import("y.mtx", kBanner + "array real general\n2 2\n1\n0\n0\n1\n", "y_b.mtx",
                         test::read_file(t.dir.path() + "/data/x.mtx")));
    EXPECT_EQ("1 0 1.5 | 0 1 -2E-07", system());
    // Replacing asks first; No keeps the file.
    t.box.answers = {false};
    ExportSolution_Click(t.app);
    EXPECT_EQ(t.app.st.msg.MsgReplaceFile + t.dir.path() + "/data/x.csv", t.box.shown.back());
    EXPECT_EQ("1.5\r\n-2E-07\r\n", test::read_file(t.dir.path() + "/data/x.csv"));
}

TEST_F(ImportTest, CopyThenPasteRoundTripsAndSpreadsheetBlocksPaste) {
    ASSERT_EQ("", import("p.csv", "1.50,2,3,4\n5,6e0,-7,8\n9,10,11,12\n"));
    t.app.grid.set_text(2, 9, "0.25");
    // Columns 1..6 of rows 1..2: a(i,1) .. a(i,3) with their operator cells skipped.
    EXPECT_EQ("1.50\t2\t3\n5\t6e0\t-7", copy_cells(t.app, 1, 1, 2, 6));
    EXPECT_EQ("-7\t8\t0.25", copy_cells(t.app, 2, 5, 2, 9));  // a(2,3), b(2), x(2); the spacer holds no value
    EXPECT_EQ("", copy_cells(t.app, 1, 2, 3, 2));             // operator cells only

    const std::string block = copy_cells(t.app, 1, 1, 2, 6);
    PasteReport r = paste_cells(t.app, 2, 1, block);
    EXPECT_EQ(6, r.written);
    EXPECT_EQ("1.50 2 3 4 | 1.50 2 3 8 | 5 6e0 -7 12", system());
    EXPECT_EQ(block, copy_cells(t.app, 2, 1, 3, 6));

    // As a spreadsheet puts it on the clipboard: tabs, CR LF and a line end after the last row; an
    // operator cell starts at the value after it; the values past b(i) and below row N are left out.
    r = paste_cells(t.app, 2, 4, "a\t b \tc\r\nd\t\te\r\n");
    // Written, clipped, skipped, and the block written: top, left, bottom, right.
    EXPECT_EQ((std::vector{3, 2, 1, 2, 5, 3, 7}),
              (std::vector{r.written, r.clipped, r.skipped, r.top, r.left, r.bottom, r.right}));
    EXPECT_EQ("1.50 2 3 4 | 1.50 2 a b | 5 6e0 d 12", system());
    EXPECT_EQ(
        "pasted 3 values; 2 values lay outside the system's a(i,j) and b(i) cells and were left out; "
        "1 field was empty or held a blank and left its cell unchanged",
        t.ui.notes.back());
    // Blank-separated text; nothing goes into the approximation column.
    paste_cells(t.app, 1, 1, "  7   8 ");
    EXPECT_EQ("7 8 3 4", system().substr(0, 7));
    EXPECT_EQ("pasted 2 values", t.ui.notes.back());
    paste_cells(t.app, 1, 9, "1");
    EXPECT_EQ("Paste: the approximation column is read-only; nothing was pasted", t.ui.notes.back());
    EXPECT_EQ("0", t.app.grid.text(1, 9));
}

}  // namespace
}  // namespace varnex
