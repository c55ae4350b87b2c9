// Import as other programs' files meet it: each Matrix Market form and delimited text as it lands in
// the grid, computed right-hand sides that read back exactly, the conventions of spreadsheets and
// editors, compressed files and archives, refusals that change nothing, Export and the clipboard
// blocks.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "commands/export_command.h"
#include "commands/grid_clipboard.h"
#include "commands/import_command.h"
#include "core/convert.h"
#include "core/order_notes.h"
#include "files/import_text.h"
#include "support/fakes.h"
#include "support/packed.h"

namespace varnex {
namespace {

using V = std::vector<std::string>;
const std::string kBanner = "%%MatrixMarket matrix ";

class ImportTest : public ::testing::Test {
  protected:
    void TearDown() override { set_decimal_separator('.'); }
    // Writes data/<rel> (and data/<b_rel> when given), imports the first, and returns the message shown
    // ("" for none); whether the system landed must agree with it.
    std::string import(const std::string& rel, const std::string& bytes, const std::string& b_rel = "",
                       const std::string& b_bytes = "") {
        t.box.shown.clear();
        t.ui.notes.clear();
        if (!b_rel.empty()) t.dir.write("data/" + b_rel, b_bytes);
        const bool landed = import_system(t.app, t.dir.write("data/" + rel, bytes));
        EXPECT_EQ(landed, t.box.shown.empty());
        return t.box.shown.empty() ? std::string() : t.box.shown[0];
    }
    std::string system() { return test::system_texts(t.app); }
    std::string bad(const std::string& where) { return t.app.st.msg.MsgBadFile + " " + where; }
    test::TestApp t;
};

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

TEST_F(ImportTest, AMissingRightHandSideIsTheRowSumInSinglePrecisionReadBackExactly) {
    // 1e8 + 1 rounds back to 1e8 in single precision (in double it would stay 100000001).
    ASSERT_EQ("", import("s.mtx", kBanner + "coordinate real general\n2 2 4\n1 1 1e8\n1 2 1\n2 2 0.1\n2 1 0.2\n"));
    EXPECT_EQ("1e8 1 1E+08 | 0.2 0.1 0.3", system());
    EXPECT_EQ(V{"no right-hand side found: b = A·1, so x = 1 solves it"}, t.ui.notes);
    ASSERT_EQ("", import("p.mtx", kBanner + "coordinate pattern symmetric\n3 3 3\n1 1\n3 1\n3 3\n"));
    EXPECT_EQ("1 0 1 2 | 0 0 0 0 | 1 0 1 2", system());
    // Random coefficients of every magnitude, in a file of over 64 KB: each b(i) is the row's sum taken
    // left to right in single precision, bit for bit, where seven digits would often write another
    // number; a(n,n), the file's last value, keeps its text.
    std::mt19937 gen(21);
    std::uniform_real_distribution<float> mant(-1.0f, 1.0f);
    std::uniform_int_distribution<int> expo(-30, 30);
    const int n = 100;
    std::string body;
    std::vector<float> sums(n, 0.0f);
    char buf[32];
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) {
            const std::string text(buf, single_to_exact_text(std::ldexp(mant(gen), expo(gen)), buf));
            body += text + "\n";
            sums[i - 1] += text_to_single(text);
        }
    EXPECT_EQ("", import("r.mtx", kBanner + "array real general\n100 100\n" + body));
    EXPECT_EQ(t.app.grid.text(n, 2 * n - 1) + "\n", body.substr(body.rfind('\n', body.size() - 2) + 1));
    for (int i = 1; i <= n; ++i) {
        const float b = text_to_single(t.app.grid.text(i, 2 * n + 1));
        EXPECT_EQ(std::bit_cast<uint32_t>(sums[i - 1]), std::bit_cast<uint32_t>(b)) << i;
    }
}

TEST_F(ImportTest, DelimitedTextAndTheConventionsOfSpreadsheetsAndEditors) {
    const std::string bom = "\xEF\xBB\xBF";
    for (auto [name, bytes, want] : std::vector<std::tuple<std::string, std::string, std::string>>{
             // A header of non-numbers, quotes, blanks around fields, a trailing delimiter, CR LF.
             {"a.csv", "\"a1\",a2,b\r\n\"1.5\", -2 ,3,\r\n4,\"5e1\",6\r\n\r\n", "1.5 -2 3 | 4 5e1 6"},
             // Semicolons and tabs allow the decimal comma.
             {"c.tsv", "x\ty\tz\n1,5\t2\t3e-1\n4\t-0,25\t6\n", "1.5 2 3e-1 | 4 -0.25 6"},
             // What a spreadsheet's "CSV UTF-8" writes, with a header behind the mark.
             {"h.csv", bom + "a;b;c\n1,5;2.5;3\n4;5;6\n", "1.5 2.5 3 | 4 5 6"},
             // CR-only line ends (old Mac programs) in both formats.
             {"r.csv", "1,2,3\r4,5,6\r", "1 2 3 | 4 5 6"},
             {"r.mtx", kBanner + "coordinate real general\r% c\r2 2 2\r1 1 1\r2 2 -2\r", "1 0 1 | 0 -2 -2"}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ("", import(name, bytes));
        EXPECT_EQ(want, system());
    }
    // A refusal in a CR-only file names the right line.
    EXPECT_EQ(bad("x.mtx, line 4, column 1: \"y\" is not a number"),
              import("x.mtx", kBanner + "array real general\r1 1\r%\ry\r"));
    // With a decimal comma as the user's separator every text lands as the solve commands read it.
    set_decimal_separator(',');
    EXPECT_EQ("", import("p.csv", "0.5,1.25\n"));
    EXPECT_EQ("0,5 1,25", system());
    EXPECT_EQ("", import("q.mtx", kBanner + "coordinate real skew-symmetric\n2 2 1\n2 1 2.5\n"));
    EXPECT_EQ("0 -2,5 -2,5 | 2,5 0 2,5", system());
    EXPECT_EQ(bad("s.mtx, line 3, column 1: \"1,5\" is not a number"),
              import("s.mtx", kBanner + "array real general\n1 1\n1,5\n"));
    // The quick check that spares a value its conversion passes only what the conversion reads.
    for (const char* yes : {"-1", "+2.5", ".5", "5.", "99999999999999999999999999999999999999.9"})
        EXPECT_TRUE(is_plain_decimal(yes, '.')) << yes;
    for (const char* no : {"", "-", ".", "1e5", "1,5", "1.2.3", " 1", "999999999999999999999999999999999999999"})
        EXPECT_FALSE(is_plain_decimal(no, '.')) << no;
}

TEST_F(ImportTest, CompressedFilesAndSuiteSparseArchivesAreReadAsWhatTheyHold) {
    const std::string a = kBanner + "coordinate real general\n2 2 3\n1 1 2\n1 2 1\n2 2 4\n";
    const std::string b = kBanner + "array real general\n2 1\n3\n8\n";
    for (const auto& [filter, ext] :
         std::vector<std::pair<std::string, std::string>>{{"gzip", ".gz"}, {"bzip2", ".bz2"}, {"xz", ".xz"}}) {
        SCOPED_TRACE(filter);
        // With a right-hand side beside it, itself compressed; delimited text.
        EXPECT_EQ("", import("k.mtx" + ext, test::compressed(filter, a), "k_b.mtx" + ext, test::compressed(filter, b)));
        EXPECT_EQ("2 1 3 | 0 4 8", system());
        EXPECT_EQ("", import("s.csv" + ext, test::compressed(filter, "1;2,5\n")));
        EXPECT_EQ("1 2.5", system());
    }
    // As SuiteSparse hands it out: NAME.tar.gz holding NAME/NAME.mtx, NAME/NAME_b.mtx and more.
    EXPECT_EQ(
        "", import("west.tar.gz",
                   test::tar_archive("gzip", {{"west/west_x.mtx", b}, {"west/west.mtx", a}, {"west/west_b.mtx", b}})));
    EXPECT_EQ("2 1 3 | 0 4 8", system());
    // A renamed archive: the one matrix in it, whatever its name.
    EXPECT_EQ("", import("z.zip", test::zip_archive({{"y/y.mtx", a}, {"y/y_b.mtx", b}})));
    EXPECT_EQ("2 1 3 | 0 4 8", system());
    // Refusals name the member, the unpacking fault, or what the archive lacks.
    EXPECT_EQ(
        bad("t.tar.gz/t/t_b.mtx, line 3, column 1: \"x\" is not a number"),
        import("t.tar.gz", test::tar_archive(
                               "gzip", {{"t/t.mtx", a}, {"t/t_b.mtx", kBanner + "array real general\n2 1\nx\n1\n"}})));
    EXPECT_EQ(bad("none.tar.xz: the archive holds no none.mtx (nor one other Matrix Market file)"),
              import("none.tar.xz", test::tar_archive("xz", {{"none/README", "text"}})));
    std::string damaged = test::compressed("gzip", a);
    damaged.resize(damaged.size() / 2);
    const std::string said = import("d.mtx.gz", damaged);
    EXPECT_EQ(0u, said.rfind(bad("d.mtx.gz: the gzip data cannot be unpacked"), 0)) << said;
    // A compressed file is known by its bytes whatever its name.
    EXPECT_TRUE(is_import_file(t.dir.write("z.txt", test::compressed("xz", "1 2\n"))));
    EXPECT_FALSE(is_import_file(t.dir.write("a.txt", "1 2\n")));
}

TEST_F(ImportTest, ImportLeavesTheStateOpenLeaves) {
    t.app.st.DataMode = kModeConnected;
    t.app.st.IterCount = 9;
    for (Ctl c : {Ctl::cmdA, Ctl::cmdB, Ctl::cmdSolution, Ctl::cmdIter}) t.ui.on[c] = false;
    t.with_file(Import_Click, t.dir.write("data/sys.csv", "1,2,3\n4,5,6\n"));
    EXPECT_EQ(std::tuple(kModeMemory, 1, "2", "0.2"),
              std::tuple(t.app.st.DataMode, t.app.st.IterCount, t.ui.text(Ctl::txtN), t.ui.text(Ctl::txtEps)));
    for (Ctl c : {Ctl::cmdA, Ctl::cmdB, Ctl::cmdSolution, Ctl::cmdIter}) EXPECT_TRUE(t.ui.on[c]);
    EXPECT_EQ("0", t.app.grid.text(2, 7));
    // Save then offers a text file beside the imported one, never the imported file itself, and
    // without the suffixes of a packed one.
    EXPECT_EQ(t.dir.path() + "/data/sys.txt", t.cd.FileName);
    EXPECT_EQ(t.dir.path() + "/data/", t.cd.init_dirs.back());
    t.with_file(Import_Click,
                t.dir.write("data/w.tar.gz",
                            test::tar_archive("gzip", {{"w/w.mtx", kBanner + "array real general\n1 1\n2\n"}})));
    EXPECT_EQ(t.dir.path() + "/data/w.txt", t.cd.FileName);
}

TEST_F(ImportTest, RefusalsSayWhichLineAndWhyAndChangeNothing) {
    ASSERT_EQ("", import("first.csv", "1,2,5\n1,3,10\n"));
    t.app.st.IterCount = 4;
    const std::string before = system();
    for (auto [name, bytes, says] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"c.mtx", kBanner + "coordinate complex general\n2 2 1\n1 1 1 0\n", "c.mtx, line 1: complex"},
             {"over.mtx", kBanner + "array real general\n2 2\n3e38\n0\n3e38\n0\n", "over.mtx: b = A·1 leaves"},
             {"ragged.csv", "1;2;3\n4;5\n", "ragged.csv, line 2: the row holds 2 values, the first row 3"},
             {"huge.mtx", kBanner + "coordinate real general\n20000 20000 1\n1 1 1\n", "huge.mtx"}}) {
        SCOPED_TRACE(name);
        const std::string said = import(name, bytes);
        EXPECT_EQ(0u, said.rfind(bad(says), 0)) << said;
        EXPECT_EQ(1u, t.box.shown.size());
        EXPECT_EQ(before, system());
        EXPECT_EQ(4, t.app.st.IterCount);
    }
    EXPECT_EQ(V{order_limit_note(20000)}, t.ui.notes);  // the last: an order past the grid's limit
    // A refusal of the right-hand side names its own file; a missing file is MsgNoFile.
    EXPECT_EQ(bad("m_b.mtx, line 4, column 1: \"x\" is not a number"),
              import("m.mtx", kBanner + "array real general\n2 2\n1\n0\n0\n1\n", "m_b.mtx",
                     kBanner + "array real general\n2 1\n1\nx\n"));
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
    const std::string block = copy_cells(t.app, 1, 1, 2, 6);
    EXPECT_EQ("1.50\t2\t3\n5\t6e0\t-7", block);
    EXPECT_EQ("-7\t8\t0.25", copy_cells(t.app, 2, 5, 2, 9));  // a(2,3), b(2), x(2); the spacer holds no value
    EXPECT_EQ("", copy_cells(t.app, 1, 2, 3, 2));             // operator cells only
    PasteReport r = paste_cells(t.app, 2, 1, block);
    EXPECT_EQ(6, r.written);
    EXPECT_EQ("1.50 2 3 4 | 1.50 2 3 8 | 5 6e0 -7 12", system());

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
    // Nothing goes into the approximation column.
    paste_cells(t.app, 1, 9, "1");
    EXPECT_EQ("Paste: the approximation column is read-only; nothing was pasted", t.ui.notes.back());
    EXPECT_EQ("0", t.app.grid.text(1, 9));
}

}  // namespace
}  // namespace varnex
