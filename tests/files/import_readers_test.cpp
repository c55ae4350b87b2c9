// The readers of Import on their own: each reason the Matrix Market reader refuses a matrix or a
// right-hand side for and the delimited-text reader a file for, with the line and value or field it
// names, and the values of an array with comment lines among them; and Import taking a file that
// begins with the banner for Matrix Market whatever its name.
#include <gtest/gtest.h>

#include "commands/import_command.h"
#include "core/convert.h"
#include "files/delimited_text.h"
#include "files/matrix_market.h"
#include "support/fakes.h"

namespace varnex {
namespace {

const std::string kBanner = "%%MatrixMarket matrix ";
const std::string kArray = kBanner + "array real general\n";
const std::string kCoord = kBanner + "coordinate real general\n";

// "LINE:COLUMN why" of the refusal of `matrix`, or of `rhs` as the right-hand side of that matrix;
// "accepted" and an array's values when neither is refused. As in Import, the matrix's values are converted only when
// no right-hand side comes with it (for b = A*1), and merely checked otherwise. A `matrix` that neither is empty nor
// begins with '%' goes to the delimited-text reader.
std::string refusal(const std::string& matrix, const std::string& rhs = "") {
    ImportedSystem sys;
    sys.owned = matrix;
    sys.text = sys.owned;
    try {
        if (matrix.empty() || matrix[0] == '%') {
            read_matrix_market("m.mtx", sys, rhs.empty());
            std::string values;
            for (float v : sys.dense_values) (values += ' ') += single_to_text(v);
            if (rhs.empty()) return "accepted" + values;
            sys.b_text = rhs;
            read_matrix_market_rhs("m_b.mtx", sys);
        } else {
            read_delimited("d.csv", sys);
        }
    } catch (const ImportRefusal& r) {
        return std::to_string(r.line()) + ":" + std::to_string(r.column()) + " " + r.why();
    }
    return "accepted";
}

TEST(ImportReaders, EachRefusalNamesItsLineValueAndReason) {
    const std::string a2 = kArray + "2 2\n1\n2\n3\n4\n";
    std::string wide;  // order 16382: one more than the grid's layout can index
    for (int j = 0; j <= 16382; ++j) wide += "1,";
    struct Case {
        std::string matrix, rhs, want;  // want: the start of "LINE:COLUMN why"
    };
    for (const Case& c : std::vector<Case>{
             // The banner.
             {"", "", "1:0 the file is empty"},
             {"%MatrixMarket matrix array real general\n1 1\n1\n", "", "1:0 a Matrix Market file begins with"},
             {kBanner + "array real\n1 1\n1\n", "", "1:0 the banner needs"},
             {"%%MatrixMarket vector array real general\n2\n", "", "1:0 only a matrix can be imported, not \"vector\""},
             {kBanner + "sparse real general\n", "", "1:0 unknown format \"sparse\""},
             {kBanner + "coordinate complex general\n2 2 1\n1 1 1 0\n", "", "1:0 complex values cannot be solved"},
             {kBanner + "coordinate double general\n", "", "1:0 unknown field \"double\""},
             {kBanner + "array pattern general\n", "", "1:0 a pattern matrix is written in coordinate format"},
             {kBanner + "coordinate real hermitian\n2 2 0\n", "", "1:0 a Hermitian matrix is complex"},
             {kBanner + "coordinate real upper\n", "", "1:0 unknown symmetry \"upper\""},
             // The size line, after comments that count as lines.
             {kCoord + "% only comments\n%\n", "", "3:0 the size line is missing"},
             {kCoord + "2 2\n", "", "2:0 the size line needs: rows columns entries"},
             {kArray + "2 2 4\n", "", "2:0 the size line needs: rows columns"},
             {kCoord + "19223372036854775808 2 1\n", "", "2:0 \"19223372036854775808\" is out of range"},
             {kArray + "2 2.0\n", "", "2:0 \"2.0\" is not a whole number"},
             {kCoord + "2 2 -1\n", "", "2:0 the size line holds a negative number"},
             {kCoord + "%\n3 4 1\n1 1 1\n", "", "3:0 the matrix is 3 x 4"},
             {kArray + "0 0\n", "", "2:0 the matrix has no rows"},
             {kCoord + "16382 16382 0\n", "", "2:0 order 16382 is more than the grid can hold (at most 16381)"},
             {kCoord + "2 2 5\n", "", "2:0 the size line announces more entries than an 2 x 2 matrix has"},
             // Array values: counted past comment lines, each checked where it stands.
             {kArray + "2 2\n1\n% 5 6 7\n2\n3\n", "", "2:0 the size line gives room for 4 values, the file holds 3"},
             {kArray + "2 2\n1\n2\n% c\n3\n4\n5\n", "", "8:0 more values than the size line (line 2)"},
             {kArray + "1 2\n", "", "2:0 the matrix is 1 x 2"},
             {kArray + "2 2\n1\n%\n2 abc\n4\n", "", "5:2 \"abc\" is not a number"},
             {kArray + "2 2\n1 %c\n2\n3\n", "", "3:2 \"%c\" is not a number"},
             {kBanner + "array real symmetric\n2 2\n1\n3e39\n1\n", "", "4:1 \"3e39\" is out of the single-precision"},
             {kArray + "1 1\nabc\n", kArray + "1 1\n1\n", "3:1 \"abc\" is not a number"},
             {kBanner + "array real symmetric\n1 1\n1e39\n", kArray + "1 1\n1\n", "3:1 \"1e39\" is out of"},
             {kArray + "16381 16381\n1\n", "", "2:0 the size line gives room for 268337161 values, more than the file"},
             // Comments right after the size line, between values, indented, holding numbers, after the
             // last value, with LF, CR LF and lone CR line ends: the values still run down the columns.
             {kArray + "2 2\n% a\n1\n%\n2\n  % 9 9 9\n3\n\t%\n4\n% end\n", "", "accepted 1 2 3 4"},
             {kArray + "2 2\r\n%a\r\n1\r\n2\r\n% 9\r\n3\r\n4\r\n%", "", "accepted 1 2 3 4"},
             {kArray + "2 2\r1\r% 9 9\r2\r3\r%\r4\r", "", "accepted 1 2 3 4"},
             {kArray + "1 1\n" + std::string(65536, '0') + "\n", "", "3:0 a value of more than 65535 characters"},
             // Coordinate entries.
             {kBanner + "coordinate pattern general\n2 2 1\n1 1 1\n", "", "3:0 a pattern entry is: row column"},
             {kCoord + "2 2 1\n1 1\n", "", "3:0 an entry is: row column value"},
             {kCoord + "2 2 1\n1 1 1\n2 2 1\n", "", "4:0 more entries than the 1 that the size line (line 2)"},
             {kCoord + "2 2 1\n3 1 1\n", "", "3:0 row 3 lies outside 1..2 given by the size line (line 2)"},
             {kCoord + "2 2 1\n1 0 1\n", "", "3:0 column 0 lies outside 1..2"},
             {kCoord + "2 2 1\n2 2 1..5\n", "", "3:3 \"1..5\" is not a number"},
             {kCoord + "1 1 1\n1 1 -\n", kArray + "1 1\n1\n", "3:3 \"-\" is not a number"},
             {kCoord + "2 2 3\n% c\n1 1 1\n2 2 1\n", "", "2:0 the size line announces 3 entries, the file holds 2"},
             {kBanner + "coordinate real skew-symmetric\n2 2 1\n1 1 1\n", "", "3:0 a skew-symmetric matrix has no"},
             {kCoord + "2 2 2\n1 2 1\n1 2 3\n", "", "4:0 entry (1, 2) is given twice"},
             {kBanner + "coordinate real symmetric\n2 2 2\n2 1 1\n1 2 1\n", "",
              "4:0 entry (1, 2) is given twice (with"},
             // The right-hand side: a general n x 1 matrix, each b(i) once.
             {a2, kBanner + "array real symmetric\n2 1\n1\n2\n", "1:0 a right-hand side is a general matrix"},
             {a2, kArray + "3 1\n1\n2\n3\n", "2:0 the right-hand side is 3 x 1, the matrix needs 2 x 1"},
             {a2, kArray + "2 1\n1\nx\n", "4:1 \"x\" is not a number"},
             {a2, kCoord + "2 1 2\n2 1 1\n2 1 2\n", "4:0 b(2) is given twice"},
             {a2, kCoord + "2 1 1\n2 1 1e39\n", "3:3 \"1e39\" is out of the single-precision range"},
             // Delimited text: a value is named by its field.
             {" \n\n", "", "0:0 the file holds no values"},
             {"1 2 3\n4 5 6\n", "", "1:0 no comma, semicolon or tab separates the values"},
             {"1,\"2,3\n4,5,6\n", "", "1:0 a quoted field is not closed"},
             {"1,\"2\" x,3\n4,5,6\n", "", "1:0 text after a closing quote"},
             {"x,y\n", "", "1:0 the file holds a header line and no values"},
             {"a,b,c\nx,y,z\n1,2,3\n4,5,6\n", "", "2:0 a second line of column names"},
             {"5,\n", "", "1:0 a row needs the coefficients and the right-hand side"},
             {wide, "", "1:0 order 16382 is more than the grid can hold (at most 16381)"},
             // A file far too short for the order of its first row is refused as its rows run out.
             {wide.substr(4), "", "2:0 the file ends after 1 rows"},
             {"1;2;3\n4;5\n", "", "2:0 the row holds 2 values, the first row 3"},
             {"1,,3\n4,5,6\n", "", "1:2 the value is empty"},
             {"1,2 5,3\n4,5,6\n", "", "1:2 the value holds a blank"},
             {"1,2,3\n4,abc,6\n", "", "2:2 \"abc\" is not a number"},
             {"nan,2,3\n4,5,6\n", "", "1:1 \"nan\" is not a number"},
             {"1\t2\t-inf\n4\t5\t6\n", "", "1:3 \"-inf\" is not a number"},
             {"x,y,b\n1,2,3\n4,2.5e400,6\n", "", "3:2 \"2.5e400\" is out of the single-precision range"},
             // A point is no decimal mark beside commas that separate; both are beside semicolons.
             {"1;2,5;3.5\n4;\"1,5,5\";6\n", "", "2:2 \"1,5,5\" is not a number"},
             {"1,2,3,4\n5,6,7,8\n", "", "3:0 the file ends after 2 rows"},
             {"1,2,3\n\n4,5,6\n", "", "2:0 an empty line between the rows"},
             {"1,2,3\n4,5,6\n7,8,9\n", "", "3:0 more rows than the 2"}}) {
        SCOPED_TRACE(c.matrix.substr(0, 80) + " | " + c.rhs);
        const std::string got = refusal(c.matrix, c.rhs);
        EXPECT_EQ(c.want, got.substr(0, c.want.size()));
    }
}

TEST(MatrixMarket, ImportReadsABannerWhateverTheFileIsCalled) {
    test::TempDir dir;
    // A byte-order mark, blanks and a banner in any case before it; b = A*1 shows the Matrix Market path.
    for (const auto& [name, banner] : std::vector<std::pair<std::string, std::string>>{
             {"system.txt", kBanner}, {"table.csv", "\xEF\xBB\xBF  %%matrixmarket matrix "}, {"noext", kBanner}}) {
        SCOPED_TRACE(name);
        ImportedSystem sys;
        read_import(dir.write(name, banner + "coordinate real general\n2 2 1\n1 1 5\n"), sys);
        EXPECT_TRUE(sys.b_computed);
    }
}

}  // namespace
}  // namespace varnex
