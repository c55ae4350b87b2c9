// Import as other programs' files meet it: every value checked where it stands, the conventions of
// spreadsheets and editors (byte-order mark, CR line ends, decimal commas), computed right-hand sides
// that read back exactly, and compressed files and archives.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <random>

#include "core/convert.h"
#include "files/import_text.h"
#include "import_fixture.h"
#include "support/packed.h"

namespace varnex {
namespace {

using test::kBanner;
using ImportChecks = test::ImportFixture;

TEST_F(ImportChecks, ByteOrderMarksCrLineEndsIndentedCommentsAndDecimalMarksAreRead) {
    const std::string bom = "\xEF\xBB\xBF";
    for (auto [name, bytes, want] : std::vector<std::tuple<std::string, std::string, std::string>>{
             // What a spreadsheet's "CSV UTF-8" writes, and a header behind the mark.
             {"u.csv", bom + "1,2,3\r\n4,5,6\r\n", "1 2 3 | 4 5 6"},
             {"h.csv", bom + "a;b;c\n1,5;2.5;3\n4;5;6\n", "1.5 2.5 3 | 4 5 6"},
             // CR-only line ends (old Mac programs) in both formats.
             {"r.csv", "1,2,3\r4,5,6\r", "1 2 3 | 4 5 6"},
             {"r.mtx", kBanner + "coordinate real general\r% c\r2 2 2\r1 1 1\r2 2 -2\r", "1 0 1 | 0 -2 -2"},
             // A mark and blanks before the banner, blanks before a comment, an array with CRs.
             {"b.mtx", bom + "  " + kBanner + "array real general\n  % indented\n2 2\n1\n\t% again\n2\n3\n4\n",
              "1 3 4 | 2 4 6"},
             {"c.mtx", kBanner + "array real symmetric\r2 2\r  %x\r1\r2\r3\r", "1 2 3 | 2 3 5"}}) {
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
}

// b(i) read back from the grid as the solve commands read it.
float b_value(const App& app, int i) { return text_to_single(app.grid.text(i, 2 * app.st.N + 1)); }

TEST_F(ImportChecks, AComputedRightHandSideReadsBackToTheExactSum) {
    // 1 + 1.1920929e-07 is 1.0000001 in single precision; seven digits would write "1".
    EXPECT_EQ("", import("one.mtx", kBanner + "array real general\n2 2\n1\n0\n1.1920929e-07\n1\n"));
    EXPECT_EQ("1 1.1920929e-07 1.0000001 | 0 1 1", system());
    // Random coefficients of every magnitude: each b(i) is the row's sum taken left to right in
    // single precision, bit for bit, in at most nine significant digits.
    std::mt19937 gen(21);
    std::uniform_real_distribution<float> mant(-1.0f, 1.0f);
    std::uniform_int_distribution<int> expo(-30, 30);
    const int n = 40;
    std::string body;
    std::vector<float> sums(n, 0.0f);
    char buf[32];
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) {
            const float v = std::ldexp(mant(gen), expo(gen));
            const std::string text(buf, single_to_exact_text(v, buf));
            body += text + "\n";
            sums[i - 1] += text_to_single(text);
        }
    EXPECT_EQ("", import("r.mtx",
                         kBanner + "array real general\n" + std::to_string(n) + " " + std::to_string(n) + "\n" + body));
    for (int i = 1; i <= n; ++i) {
        EXPECT_EQ(std::bit_cast<uint32_t>(sums[i - 1]), std::bit_cast<uint32_t>(b_value(t.app, i))) << i;
        std::string digits = t.app.grid.text(i, 2 * n + 1);
        digits = digits.substr(0, digits.find('E'));
        EXPECT_LE(std::count_if(digits.begin(), digits.end(), ::isdigit), 9 + (digits.find("0.") == 0 ? 5 : 0));
    }
}

TEST(PlainDecimal, EveryPlainDecimalIsASinglePrecisionNumber) {
    // The quick check passes only texts that the number conversion reads; the rest go to it.
    for (const char* yes : {"0", "-1", "+2.5", ".5", "5.", "99999999999999999999999999999999999999.9"})
        EXPECT_TRUE(is_plain_decimal(yes, '.')) << yes;
    for (const char* no : {"", "-", ".", "1e5", "1,5", "1.2.3", " 1", "999999999999999999999999999999999999999"})
        EXPECT_FALSE(is_plain_decimal(no, '.')) << no;
    std::mt19937 gen(8);
    const std::string alphabet = "0123456789.+-e";
    std::uniform_int_distribution<std::size_t> len(0, 42), pick(0, alphabet.size() - 1);
    for (int k = 0; k < 100000; ++k) {
        std::string s(len(gen), ' ');
        for (char& c : s) c = alphabet[pick(gen)];
        if (is_plain_decimal(s, '.')) {
            EXPECT_NO_THROW(text_to_single(s)) << s;
        }
    }
}

TEST_F(ImportChecks, CompressedFilesAndSuiteSparseArchivesAreReadAsWhatTheyHold) {
    const std::string a = kBanner + "coordinate real general\n2 2 3\n1 1 2\n1 2 1\n2 2 4\n";
    const std::string b = kBanner + "array real general\n2 1\n3\n8\n";
    for (const auto& [filter, ext] :
         std::vector<std::pair<std::string, std::string>>{{"gzip", ".gz"}, {"bzip2", ".bz2"}, {"xz", ".xz"}}) {
        SCOPED_TRACE(filter);
        // Without a right-hand side, then with one beside it (itself compressed).
        EXPECT_EQ("", import("m" + ext + ".mtx" + ext, test::compressed(filter, a)));
        EXPECT_EQ("2 1 3 | 0 4 4", system());
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
    EXPECT_EQ("", import("lone.tgz", test::tar_archive("gzip", {{"other/other.mtx", a}})));
    EXPECT_EQ("2 1 3 | 0 4 4", system());
    EXPECT_EQ("", import("z.zip", test::zip_archive({{"z/z.mtx", a}, {"z/z_b.mtx", b}})));
    EXPECT_EQ("2 1 3 | 0 4 8", system());
    // Refusals name the member, the unpacking fault, or what the archive lacks.
    EXPECT_EQ(bad("t.tar.gz/t/t_b.mtx, line 3, column 1: \"x\" is not a number"),
              import("t.tar.gz", test::tar_archive("gzip", {{"t/t.mtx", a},
                                                            {"t/t_b.mtx",
                                                             "%%MatrixMarket matrix "
                                                             "array real general\n2 1\nx\n1\n"}})));
    EXPECT_EQ(bad("none.tar.xz: the archive holds no none.mtx (nor one other Matrix Market file)"),
              import("none.tar.xz", test::tar_archive("xz", {{"none/README", "text"}})));
    std::string damaged = test::compressed("gzip", a);
    damaged.resize(damaged.size() / 2);
    const std::string said = import("d.mtx.gz", damaged);
    EXPECT_EQ(0u, said.rfind(bad("d.mtx.gz: the gzip data cannot be unpacked"), 0)) << said;
}

TEST_F(ImportChecks, CompressedNamesAndBytesGoToImport) {
    // Save then offers the text file that the packed one would unpack to, without its suffixes.
    t.cd.next.push_back(t.dir.write("data/w.tar.gz", test::tar_archive("gzip", {{"w/w.mtx",
                                                                                 "%%MatrixMarket matrix "
                                                                                 "array real general\n1 1\n2\n"}})));
    Import_Click(t.app);
    EXPECT_EQ(t.dir.path() + "/data/w.txt", t.cd.FileName);
    EXPECT_TRUE(is_import_file("/x/a.MTX"));
    EXPECT_TRUE(is_import_file("/x/a.csv.bz2"));
    EXPECT_TRUE(is_import_file("/x/bcsstk01.tar.gz"));
    EXPECT_FALSE(is_import_file(t.dir.write("a.txt", "1 2\n")));
    EXPECT_TRUE(is_import_file(t.dir.write("z.txt", test::compressed("xz", "1 2\n"))));
    EXPECT_FALSE(is_import_file(t.dir.path() + "/missing.txt"));
}

}  // namespace
}  // namespace varnex
